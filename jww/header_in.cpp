// File check and header reading.
#include <cstring>

#include "common/Func_2.h"
#include "jww/JwwUnit.h"
#include "jww/header_io.h"
#include "jww/entity_in.h"
#include "jww/stream.h"

namespace jww {

namespace {

constexpr Integer kMinVersion = 220;
constexpr Integer kMaxVersion = 700;

// The first 8 bytes as text, ending at the first NUL (a short file gives fewer bytes).
string ReadId(InStream& s) {
  char buf[8] = {};
  size_t got = s.Read(buf, sizeof buf);
  return BytesToStr(std::string_view(buf, got));
}

}  // namespace

namespace {

// One archive string: a length byte 0..254, or 255 and a 16-bit length, then code page 932 bytes;
// or 255, the marker 0xFFFE and a length in UTF-16 units, then UTF-16LE text (the Unicode form
// newer writers use), taken as it stands. Either text ends at its first NUL.
// Unchecked (`strict` false, the header's way): a read at the end of the data delivers what is
// there. Strict (the entity stream's way): the data ending inside the string is a File I/O Error.
string ReadArchiveString(InStream& s, bool strict) {
  auto read = [&](void* dst, size_t n) {
    size_t got = s.Read(dst, n);
    if (strict && got != n) throw TJwwIOError(kIOError);
    return got;
  };
  uint8_t n8 = 0;
  read(&n8, 1);
  uint32_t n = n8;
  if (n == 255) {
    uint16_t n16 = 0;
    if (read(&n16, 2) == 2) {
      if (n16 == 0xFFFE) {
        uint8_t u8 = 0;
        read(&u8, 1);
        uint32_t units = u8;
        if (units == 255) {
          uint16_t u16 = 0;
          if (read(&u16, 2) == 2) units = u16;
        }
        std::u16string text(units, u'\0');
        text.resize(read(text.data(), units * 2u) / 2);
        size_t nul = text.find(u'\0');
        if (nul != std::u16string::npos) text.resize(nul);
        return text;
      }
      n = n16;
    }
  }
  if (n == 0) return {};
  // Most names are printable ASCII and lie whole in the stream's view: widen them where they lie
  // (the same text the decoding below gives, without its copies and passes).
  if (const uint8_t* in = s.TakeInView(n)) {
    bool plain = true;
    for (uint32_t i = 0; i < n && plain; ++i) plain = in[i] >= 0x20 && in[i] < 0x80;
    if (plain) return string(in, in + n);
    return BytesToStr(std::string_view(reinterpret_cast<const char*>(in), n));
  }
  char small[256];
  std::string large;
  char* buf = small;
  if (n > sizeof small) {
    large.resize(n);
    buf = large.data();
  }
  size_t got = read(buf, n);
  return BytesToStr(std::string_view(buf, got));
}

string WithoutCtrlChars(string text) {
  for (char16_t c : text)
    if (c < 0x20) return DelCtrlChar(text);
  return text;
}

}  // namespace

string TJwwData::StrIn(InStream& s) { return ReadArchiveString(s, false); }

string TJwwData::StrInNoCtrl(InStream& s) { return WithoutCtrlChars(ReadArchiveString(s, false)); }

string StrInNoCtrlStrict(InStream& s) { return WithoutCtrlChars(ReadArchiveString(s, true)); }

Boolean TJwwData::FileCheck(const string& FName) {
  auto s = InStream::OpenFile(FName, 12);
  if (!s) return false;
  if (ReadId(*s) != u"JwwData.") return false;
  Integer ver = 0;
  if (s->ReadValue(ver) != 4) return false;
  return ver >= kMinVersion && ver <= kMaxVersion;
}

Boolean TJwwData::HeaderIn(InStream& s) {
  try {
    EntLgrp.assign(16, {});
    EntLay.assign(256, {});
    EntCol.assign(10, {});
    EntLtp1.assign(8, {});
    EntLtp2.assign(5, {});
    EntLtp3.assign(4, {});
    EntMoj.assign(10, {});
    EntColS.assign(257, {});
    EntLtpS.assign(33, {});

    Enthd.jwID = ReadId(s);
    if (Enthd.jwID != u"JwwData.") throw TJwwIOError(kHeaderError);
    s.ReadValue(Enthd.jwVer);
    if (Enthd.jwVer < kMinVersion || Enthd.jwVer > kMaxVersion) throw TJwwIOError(kVersionError);

    HeaderReadIO io(s);
    HeaderRows(io, *this, Enthd.jwVer);
    return true;
  } catch (const TJwwIOError& e) {
    SetLastError(e.what(), s.Position());
  } catch (...) {
    SetLastError(kIOError, s.Position());
  }
  return false;
}

Boolean TJwwData::FileHeaderIn(const string& FName) {
  ClearLastError();
  try {
    DataInit();
    const char* why = kCannotOpen;
    auto s = InStream::OpenFile(FName, 1 << 16, &why);
    if (!s) {
      SetLastError(why, 0);
      return false;
    }
    return HeaderIn(*s);
  } catch (...) {
    SetLastError(kIOError, 0);
    return false;
  }
}

}  // namespace jww
