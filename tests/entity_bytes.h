// Builds entity streams for fixtures and synthetic drawings: records go through the same schemas
// the library reads with, values exactly as given (no normalisation), tags and counts through the
// archive. Tests that need to show particular bytes write them by hand with jwwtest::Bytes.
#pragma once

#include "jww/archive.h"
#include "jww/schema.h"
#include "tests/jww_bytes.h"

namespace jwwtest {

/// Writes record fields raw, as the record holds them.
class RecordBytesIO {
 public:
  static constexpr bool kReading = false;
  RecordBytesIO(Bytes& b, int32_t ver) : b_(b), ver_(ver) {}
  int32_t Ver() const { return ver_; }
  template <class Body>
  void Fixed(jww::Part, jww::Check, Body&& body) {
    body(*this);
  }
  template <class T>
  void Num(const T& v) {
    b_.raw(&v, sizeof v);
  }
  template <class T, class F>
  void Num(const T& v, F&&) {
    Num(v);
  }
  void Attr(const jww::TEntJwwAttr& a, int) { jww::AttrFields(*this, a, ver_); }
  void Str(const std::u16string& v, jww::StrKind) { b_.str(v); }
  void TextStr(const std::u16string& v) { b_.str(v); }
  void BlockNumber(const jww::Cardinal& n) { Num(n); }
  static jww::Byte WrittenStyle(const jww::TEntJwwAttr& a, int) { return a.nPenStyle; }
  static jww::Word WrittenColor(const jww::TEntJwwAttr& a, int) { return a.nPenColor; }
  void LongTime(const jww::TEntJwwBlockDef&, int32_t) { b_.fill(8, 0xEE); }

 private:
  Bytes& b_;
  int32_t ver_;
};

/// An entity stream after a header: counts, tagged objects, definitions.
class StreamBytes {
 public:
  StreamBytes(Bytes& b, int32_t ver) : b_(b), io_(b, ver), ver_(ver) {}

  StreamBytes& Count(uint32_t n) {
    uint8_t buf[6];
    b_.raw(buf, jww::CountBytes(n, buf));
    return *this;
  }
  StreamBytes& Tag(int kind) {
    auto t = ar_.TagOut(kind, static_cast<uint16_t>(ver_));
    b_.raw(t.bytes, t.size);
    return *this;
  }
  template <class T>
  StreamBytes& Entity(const T& e) {
    Tag(KindOf(e));
    Record(e);
    ar_.ObjectDone();
    return *this;
  }
  /// A definition's tag, head and entity count; its entities follow with Entity().
  StreamBytes& Def(const jww::TEntJwwBlockDef& d, int32_t pos, uint32_t entities) {
    Tag(jww::kEntBlockDef);
    jww::BlockDefHead(io_, d, pos);
    Count(entities);
    ar_.ObjectDone();
    return *this;
  }
  jww::TArchive& archive() { return ar_; }

 private:
  static int KindOf(const jww::TEntJwwLine&) { return jww::kEntLine; }
  static int KindOf(const jww::TEntJwwEnko&) { return jww::kEntEnko; }
  static int KindOf(const jww::TEntJwwTen&) { return jww::kEntTen; }
  static int KindOf(const jww::TEntJwwMoji&) { return jww::kEntMoji; }
  static int KindOf(const jww::TEntJwwSunpo&) { return jww::kEntSunpo; }
  static int KindOf(const jww::TEntJwwSolid&) { return jww::kEntSolid; }
  static int KindOf(const jww::TEntJwwBlock&) { return jww::kEntBlock; }
  void Record(const jww::TEntJwwLine& e) { jww::LineRecord(io_, e); }
  void Record(const jww::TEntJwwEnko& e) { jww::EnkoRecord(io_, e); }
  void Record(const jww::TEntJwwTen& e) { jww::TenRecord(io_, e, 1.0); }
  void Record(const jww::TEntJwwMoji& e) { jww::MojiRecord(io_, e); }
  void Record(const jww::TEntJwwSunpo& e) { jww::SunpoRecord(io_, e); }
  void Record(const jww::TEntJwwSolid& e) { jww::SolidRecord(io_, e); }
  void Record(const jww::TEntJwwBlock& e) { jww::BlockRecord(io_, e); }

  Bytes& b_;
  RecordBytesIO io_;
  int32_t ver_;
  jww::TArchive ar_;
};

}  // namespace jwwtest
