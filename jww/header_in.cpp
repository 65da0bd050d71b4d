// File check and header reading.
#include <cstring>

#include "common/Func_2.h"
#include "jww/JwwUnit.h"
#include "jww/header_io.h"
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

string TJwwData::StrIn(InStream& s) {
  uint8_t n8 = 0;
  s.ReadValue(n8);
  uint32_t n = n8;
  if (n == 255) {
    uint16_t n16 = 0;
    if (s.ReadValue(n16) == 2) {
      if (n16 == 0xFFFE) {
        // The Unicode form newer writers use: a second length counted in UTF-16 code units,
        // then UTF-16LE text, taken as it stands.
        uint8_t u8 = 0;
        s.ReadValue(u8);
        uint32_t units = u8;
        if (units == 255) {
          uint16_t u16 = 0;
          if (s.ReadValue(u16) == 2) units = u16;
        }
        std::u16string text(units, u'\0');
        size_t got = s.Read(text.data(), units * 2u);
        text.resize(got / 2);
        size_t nul = text.find(u'\0');
        if (nul != std::u16string::npos) text.resize(nul);
        return text;
      }
      n = n16;
    }
  }
  if (n == 0) return {};
  char small[256];
  std::string large;
  char* buf = small;
  if (n > sizeof small) {
    large.resize(n);
    buf = large.data();
  }
  size_t got = s.Read(buf, n);
  return BytesToStr(std::string_view(buf, got));
}

string TJwwData::StrInNoCtrl(InStream& s) {
  string text = StrIn(s);
  for (char16_t c : text)
    if (c < 0x20) return DelCtrlChar(text);
  return text;
}

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
    auto s = InStream::OpenFile(FName);
    if (!s) {
      SetLastError("cannot open file", 0);
      return false;
    }
    return HeaderIn(*s);
  } catch (...) {
    SetLastError(kIOError, 0);
    return false;
  }
}

}  // namespace jww
