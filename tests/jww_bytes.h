// A tiny builder of JWW byte streams for tests, so that each test shows the bytes it means:
//   Bytes b; b.Header(600).u16(0xFFFF).str("CDataSen") ...
// Header() writes a complete header through the same row list the library reads with, taking
// every value exactly as the given document holds it (no writer clamps).
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "common/Func_2.h"
#include "jww/JwwUnit.h"
#include "jww/header_io.h"

namespace jwwtest {

class Bytes {
 public:
  Bytes& u8(uint8_t v) { return raw(&v, 1); }
  Bytes& u16(uint16_t v) { return raw(&v, 2); }
  Bytes& u32(uint32_t v) { return raw(&v, 4); }
  Bytes& i32(int32_t v) { return raw(&v, 4); }
  Bytes& f64(double v) { return raw(&v, 8); }
  Bytes& raw(const void* p, size_t n) {
    data_.append(static_cast<const char*>(p), n);
    return *this;
  }
  Bytes& raw(std::string_view s) { return raw(s.data(), s.size()); }
  Bytes& fill(size_t n, uint8_t byte = 0) {
    data_.append(n, static_cast<char>(byte));
    return *this;
  }
  /// A length-prefixed string of raw (code page 932) bytes: one byte 0..254, or 255 + 16-bit length.
  Bytes& str(std::string_view ansi) {
    if (ansi.size() < 255) u8(static_cast<uint8_t>(ansi.size()));
    else u8(255).u16(static_cast<uint16_t>(ansi.size()));
    return raw(ansi);
  }
  /// A string given as UTF-16, stored in code page 932.
  Bytes& str(std::u16string_view text) { return str(jww::StrToAnsi(text)); }
  /// The Unicode string form: 255, 0xFFFE, a length in UTF-16 units, UTF-16LE.
  Bytes& ustr(std::u16string_view text) {
    u8(255).u16(0xFFFE);
    if (text.size() < 255) u8(static_cast<uint8_t>(text.size()));
    else u8(255).u16(static_cast<uint16_t>(text.size()));
    for (char16_t c : text) u16(c);
    return *this;
  }

  /// "JwwData.", the version, and rows 3..44 of `doc` (whose tables must be sized).
  Bytes& Header(const jww::TJwwData& doc, int32_t ver);
  /// The same for an empty drawing with sized, zeroed tables.
  Bytes& Header(int32_t ver) {
    jww::TJwwData doc;
    SizeTables(doc);
    return Header(doc, ver);
  }

  static void SizeTables(jww::TJwwData& d) {
    d.EntLgrp.assign(16, {});
    d.EntLay.assign(256, {});
    d.EntCol.assign(10, {});
    d.EntLtp1.assign(8, {});
    d.EntLtp2.assign(5, {});
    d.EntLtp3.assign(4, {});
    d.EntMoj.assign(10, {});
    d.EntColS.assign(257, {});
    d.EntLtpS.assign(33, {});
  }

  const std::string& data() const { return data_; }
  size_t size() const { return data_.size(); }

  /// Writes the bytes to a file; returns the path as the library takes it.
  std::u16string WriteTo(const std::string& path) const {
    std::ofstream(path, std::ios::binary).write(data_.data(), static_cast<std::streamsize>(data_.size()));
    return jww::Utf8ToStr(path);
  }

 private:
  std::string data_;
};

// Writes header rows raw, as the document holds them.
class HeaderBytesIO {
 public:
  static constexpr bool kReading = false;
  explicit HeaderBytesIO(Bytes& b) : b_(b) {}
  void Num(const int32_t& v) { b_.i32(v); }
  void Num(const double& v) { b_.f64(v); }
  template <class T, class Fix>
  void Num(const T& v, Fix&&) {
    Num(v);
  }
  void LastNum(const double& v) { b_.f64(v); }
  void Str(const std::u16string& v, jww::StrKind) { b_.str(v); }
  void Reserved(size_t n, uint8_t fill) { b_.fill(n, fill); }
  void PrintValue(const jww::TEntJwwHeader& h, int32_t) {
    b_.i32(h.nPrtDispOnlyNonDraw + 10 * h.nPrtDpi);
  }
  void ColorExPass2(const jww::TEntJwwColorExNo& c, int) {
    b_.str(c.astrUDColorName).i32(c.aPrtPenColor).i32(c.anPrtPenWidth).f64(c.adPrtTenHankei);
  }
  void LineTypeExPass1(const jww::TEntJwwLineTypeExNo& t, int) {
    b_.i32(t.alLType).i32(t.anTokushuSenUintDot).i32(t.anTokushuSenPich).i32(t.anPrtTokushuSenPich);
  }
  void LineTypeExPass2(const jww::TEntJwwLineTypeExNo& t, int) {
    b_.str(t.astrUDLTypeName).i32(t.anUDLTypeSegment);
    for (double p : t.aadUDLTypePitch) b_.f64(p);
  }

 private:
  Bytes& b_;
};

inline Bytes& Bytes::Header(const jww::TJwwData& doc, int32_t ver) {
  raw("JwwData.").i32(ver);
  HeaderBytesIO io(*this);
  jww::HeaderRows(io, doc, ver);
  return *this;
}

/// A scratch folder for one test, removed with everything in it when the test ends.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

inline TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "dravik-test-XXXXXX").string();
  dir_ = ::mkdtemp(tmpl.data()) ? tmpl : std::string();
}
inline TempDir::~TempDir() {
  std::error_code ec;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

/// The folder of real drawings, or "" when it is absent.
inline std::string CorpusDir() {
  if (const char* env = std::getenv("DRAVIK_CORPUS")) return env;
#ifdef DRAVIK_CORPUS_DIR
  if (std::filesystem::is_directory(DRAVIK_CORPUS_DIR)) return DRAVIK_CORPUS_DIR;
#endif
  return {};
}

}  // namespace jwwtest
