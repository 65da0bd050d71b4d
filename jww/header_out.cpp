// FileOut as a whole operation, the header as written, and the string and count primitives.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "common/Func_2.h"
#include "jww/JwwUnit.h"
#include "jww/archive.h"
#include "jww/header_io.h"
#include "jww/out_stream.h"
#include "jww/writer.h"

namespace jww {

namespace {

bool IsAscii(std::u16string_view t) {
  for (char16_t c : t)
    if (c >= 0x80) return false;
  return true;
}

// Lead bytes of code page 932 two-byte characters.
bool IsLeadByte(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

void LengthOut(OutStream& s, size_t n) {
  if (n < 255) {
    s.Put(static_cast<uint8_t>(n));
  } else {
    s.Put(uint8_t{255});
    s.Put(static_cast<uint16_t>(n));
  }
}

void AnsiOut(OutStream& s, const char* p, size_t n) {
  LengthOut(s, n);
  s.Write(p, n);
}

void UnicodeOut(OutStream& s, std::u16string_view t) {
  if (t.size() > kMaxStrLength) {
    size_t n = kMaxStrLength;
    // Never split a surrogate pair.
    if (t[n - 1] >= 0xD800 && t[n - 1] <= 0xDBFF) --n;
    t = t.substr(0, n);
  }
  s.Put(uint8_t{255});
  s.Put(uint16_t{0xFFFE});
  LengthOut(s, t.size());
  s.Write(t.data(), t.size() * 2);  // UTF-16LE on a little-endian host
}

string Numbered(const char16_t* prefix, int n) {
  string s = prefix;
  for (char c : std::to_string(n)) s.push_back(static_cast<char16_t>(c));
  return s;
}

bool IsUsableSegmentCount(Integer n) { return n == 2 || n == 4 || n == 6 || n == 8; }

// Writing side of HeaderRows: the clamps come in as `fix`, names are cleaned, and the rows whose
// values depend on their neighbours are the hooks below.
class HeaderWriteIO : public NumberWriteIO {
 public:
  explicit HeaderWriteIO(OutStream& s) : NumberWriteIO(s) {}
  using NumberWriteIO::Num;
  void LastNum(const Double& v) { s_.Put(v); }
  void Str(const string& v, StrKind kind) {
    if (kind == StrKind::kMemo) StrOut(s_, v);
    else StrOut(s_, DelMarkChar(v));
  }
  void Reserved(size_t n, uint8_t fill) { s_.Fill(n, fill); }

  void PrintValue(const TEntJwwHeader& h, Integer ver) {
    // Unsigned arithmetic: out-of-range settings wrap instead of overflowing.
    uint32_t p = static_cast<uint32_t>(h.nPrtDispOnlyNonDraw);
    if (ver >= 600) p += h.nPrtDpi > 0 ? 10u * static_cast<uint32_t>(h.nPrtDpi) : 10u;
    s_.Put(static_cast<Integer>(p));
  }

  void ColorExPass2(const TEntJwwColorExNo& c, int i) {
    string name = DelMarkChar(c.astrUDColorName);
    if (DelSpaceChar(name).empty()) name = Numbered(u"Color_", i);
    StrOut(s_, name);
    // Only the named colours 0..16 print differently from how they show.
    s_.Put(i <= 16 ? c.aPrtPenColor : c.aPenColor);
    s_.Put(c.anPrtPenWidth);
    s_.Put(c.adPrtTenHankei);
  }

  void LineTypeExPass1(const TEntJwwLineTypeExNo& t, int i) {
    if (i >= 17 && !IsUsableSegmentCount(t.anUDLTypeSegment)) {
      // A user line type without a usable pattern becomes the standard dashed one.
      s_.Put(static_cast<Integer>(0xC3C3C3C3u));
      s_.Put(Integer{8});
      s_.Put(Integer{1});
      s_.Put(Integer{8});
      return;
    }
    s_.Put(t.alLType == 0 ? Integer{-1} : t.alLType);  // an empty pattern would draw nothing
    s_.Put(t.anTokushuSenUintDot);
    s_.Put(t.anTokushuSenPich);
    s_.Put(t.anPrtTokushuSenPich);
  }

  void LineTypeExPass2(const TEntJwwLineTypeExNo& t, int i) {
    if (i >= 17 && !IsUsableSegmentCount(t.anUDLTypeSegment)) {
      StrOut(s_, Numbered(u"LType_", i));
      s_.Put(Integer{2});
      s_.Put(Double{1.0});
      s_.Put(Double{1.0});
      s_.Fill(8 * sizeof(Double), 0);
      return;
    }
    string name = DelMarkChar(t.astrUDLTypeName);
    if (DelSpaceChar(name).empty()) name = Numbered(u"LType_", i);
    StrOut(s_, name);
    s_.Put(t.anUDLTypeSegment);
    for (Double p : t.aadUDLTypePitch) s_.Put(p);
  }
};

}  // namespace

void StrOut(OutStream& s, const string& text) {
  std::u16string_view t = text;
  // The stored length counts the bytes before the first NUL, and a reader stops there too.
  if (const size_t nul = t.find(u'\0'); nul != std::u16string_view::npos) t = t.substr(0, nul);

  if (t.size() <= kShortStrChars) {
    // Most names and texts are short: encoded straight into the stream's buffer.
    uint8_t* p = s.Reserve(4 + 2 * t.size());
    s.Advance(p + ShortStrBytes(t, p));
    return;
  }
  if (IsAscii(t)) {
    const size_t n = std::min(t.size(), kMaxStrLength);
    char buf[256];
    if (n < sizeof buf) {
      for (size_t i = 0; i < n; ++i) buf[i] = static_cast<char>(t[i]);
      AnsiOut(s, buf, n);
    } else {
      std::string b(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(n));
      AnsiOut(s, b.data(), n);
    }
    return;
  }
  // The code page form only when it reads back as the same text: the converter would store
  // U+00A5 as 0x5C, which every reader takes for a backslash.
  std::string b;
  if (!StrToAnsiExact(t, b)) {
    UnicodeOut(s, t);
    return;
  }
  if (b.size() > kMaxStrLength) {
    // Cut at the last character boundary that fits; boundaries are only known from the start.
    size_t i = 0, fit = 0;
    while (i < b.size()) {
      const size_t next = i + (IsLeadByte(static_cast<uint8_t>(b[i])) ? 2 : 1);
      if (next > kMaxStrLength) break;
      fit = i = next;
    }
    b.resize(fit);
  }
  AnsiOut(s, b.data(), b.size());
}

size_t ShortStrBytes(std::u16string_view t, uint8_t* out) {
  const size_t n = StrToAnsiExactInto(t, reinterpret_cast<char*>(out + 1));
  if (n != kNotExact) {
    out[0] = static_cast<uint8_t>(n);
    return 1 + n;
  }
  const uint8_t head[4] = {255, 0xFE, 0xFF, static_cast<uint8_t>(t.size())};
  std::memcpy(out, head, sizeof head);
  std::memcpy(out + sizeof head, t.data(), 2 * t.size());  // UTF-16LE on a little-endian host
  return sizeof head + 2 * t.size();
}

void CountOut(OutStream& s, Cardinal n) {
  uint8_t buf[6];
  s.Write(buf, CountBytes(n, buf));
}

bool HasHeaderTables(const TJwwData& d) {
  return d.EntLgrp.size() >= 16 && d.EntLay.size() >= 256 && d.EntCol.size() >= 10 &&
         d.EntLtp1.size() >= 8 && d.EntLtp2.size() >= 5 && d.EntLtp3.size() >= 4 &&
         d.EntColS.size() >= 257 && d.EntLtpS.size() >= 33 && d.EntMoj.size() >= 10;
}

void HeaderOut(OutStream& s, const TJwwData& d, Integer ver) {
  s.Write("JwwData.", 8);
  s.Put(ver);
  HeaderWriteIO io(s);
  HeaderRows(io, d, ver);
}

Boolean WriteJwwFile(TJwwData& d, const string& FName, Integer ver, uint64_t failAfter, std::string* why) {
  std::string reason;
  std::unique_ptr<OutStream> s;
  try {
    // Nothing is created, and the document is not touched, for a version no reader accepts or
    // a document without tables.
    if (ver < kWriteMinVersion || ver > kWriteMaxVersion) {
      reason = "version outside 220..700";
    } else if (!HasHeaderTables(d)) {
      reason = "the document has no header tables";
    } else if (!(s = OutStream::CreateBeside(FName, &reason))) {
    } else {
      d.Enthd.jwID = u"JwwData.";
      s->FailAfter(failAfter);
      HeaderOut(*s, d, ver);
      EntityStreamOut(*s, d, ver);
      s->Commit();
      return true;
    }
  } catch (const std::bad_alloc&) {
    reason = std::strerror(ENOMEM);
  } catch (...) {
    reason = s && !s->Reason().empty() ? s->Reason() : kIOError;
  }
  // The stream's destructor removes its temporary file; FName is as it was.
  if (why) *why = std::move(reason);
  return false;
}

Boolean TJwwData::FileOut(const string& FName, Integer Ver) {
  std::string why;
  if (WriteJwwFile(*this, FName, Ver, UINT64_MAX, &why)) {
    ClearLastError();
    return true;
  }
  try {
    SetLastError(why.c_str(), 0);
  } catch (...) {
  }
  return false;
}

void TJwwData::SetFileOutOption(Integer n) { FileOutOpt = (n >= 0 && n <= 15) ? n : 0; }

}  // namespace jww
