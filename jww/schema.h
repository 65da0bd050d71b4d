// The entity records and the block definition as they lie in the entity stream, written down once
// and driven in both directions (like the header rows of header_io.h).
//
// Each record is a function template over an IO policy and the record type (`T` or `const T`, so a
// writer can be const-correct). The policy moves the values:
//
//   IO::kReading               true for a reader; reader-only derivations sit under
//                              `if constexpr (IO::kReading)`
//   io.Ver()                   the format version of the stream
//   io.Fixed(part, chk, body)  a record's fixed part: `body(f)` moves its fields through the policy
//                              `f` (a reader takes the whole part in one read first; `chk` says
//                              whether a short read drops the object or ends the read)
//   io.Attr(att, kind)         the attribute part; a writer normalises a copy for `kind` first
//                              (AttrOut) and then runs AttrFields, a reader clears it (AttrIn)
//   io.Num(v) / io.Num(v, fix) a Byte, Word, Cardinal or Double; a writer writes fix(v)
//   io.Str(v, StrKind::kName)  a length-prefixed string, control characters dropped on reading
//   io.TextStr(v)              the text of a text entity (a writer rewrites image references)
//   io.BlockNumber(n)          a definition number; a writer translates it (ChangeBlockNo)
//   io.WrittenStyle(att, kind) nPenStyle / nPenColor as they stand on file after Attr
//   io.WrittenColor(att, kind) (the conditions of the optional tails follow them)
//   io.LongTime(def, pos)      the 8 further bytes of a definition whose dtime has bit 31 set
//
// The fixed part sizes (FixedSize) are asserted below against the field lists themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "jww/header_io.h"
#include "jww/jwwtype.h"

namespace jww {

/// Which fixed part: the seven entity kinds, the block definition, or an attribute part alone.
enum class Part : int {
  kAttr = 0,
  kLine = kEntLine,
  kEnko = kEntEnko,
  kTen = kEntTen,
  kMoji = kEntMoji,
  kSolid = kEntSolid,
  kBlock = kEntBlock,
  kBlockDef = kEntBlockDef,
};

/// Whether a short read of a fixed part drops the object (checked) or ends the whole read.
enum class Check : bool { kUnchecked = false, kChecked = true };

/// Bytes of a fixed part for version 351 and later; two less (no nPenWidth) for 350 and earlier.
/// Index: Part (kAttr, line, arc, point, text, —, solid, block insertion, definition).
inline constexpr size_t kFixedBytes[9] = {15, 47, 75, 35, 83, 0, 79, 59, 27};
constexpr size_t FixedSize(Part p, Integer ver) {
  return kFixedBytes[static_cast<int>(p)] - (ver <= 350 ? 2 : 0);
}
/// Bytes of a point's tail (nCode, radKaitenKaku, dBairitsu) and of a solid's own colour.
inline constexpr size_t kTenTailBytes = 20;
inline constexpr size_t kSolidColorBytes = 4;

// ---- attribute part -------------------------------------------------------------------------

template <class IO, class A>
constexpr void AttrFields(IO& io, A& a, Integer ver) {
  io.Num(a.lGroup);
  io.Num(a.nPenStyle);
  io.Num(a.nPenColor);
  if (ver >= 351) io.Num(a.nPenWidth);
  io.Num(a.nLayer);
  io.Num(a.nGLayer);
  io.Num(a.sFlg);
}

inline void AttrCopy(const TEntJwwAttr& src, TEntJwwAttr& dst) { dst = src; }

// ---- fixed parts ----------------------------------------------------------------------------

template <class IO, class T>
constexpr void LineFields(IO& io, T& e) {
  io.Attr(e.att, kEntLine);
  io.Num(e.start_x);
  io.Num(e.start_y);
  io.Num(e.end_x);
  io.Num(e.end_y);
}

template <class IO, class T>
constexpr void EnkoFields(IO& io, T& e) {
  io.Attr(e.att, kEntEnko);
  io.Num(e.start_x);
  io.Num(e.start_y);
  io.Num(e.dHankei);
  io.Num(e.radKaishiKaku);
  io.Num(e.radEnkoKaku);
  io.Num(e.radKatamukiKaku);
  io.Num(e.dHenpeiRitsu);
  io.Num(e.bZenEnFlg);
}

template <class IO, class T>
constexpr void TenFields(IO& io, T& e) {
  io.Attr(e.att, kEntTen);
  io.Num(e.start_x);
  io.Num(e.start_y);
  io.Num(e.bKariten);
}

template <class IO, class T>
constexpr void TenTail(IO& io, T& e) {
  io.Num(e.nCode);
  io.Num(e.radKaitenKaku);
  io.Num(e.dBairitsu);
}

template <class IO, class T>
constexpr void MojiFields(IO& io, T& e) {
  io.Attr(e.att, kEntMoji);
  io.Num(e.start_x);
  io.Num(e.start_y);
  io.Num(e.end_x);
  io.Num(e.end_y);
  io.Num(e.nMojiShu);
  io.Num(e.dSizeX, header_fix::MojiSize);
  io.Num(e.dSizeY, header_fix::MojiSize);
  io.Num(e.dKankaku);
  io.Num(e.degKakudo);
}

template <class IO, class T>
constexpr void SolidFields(IO& io, T& e) {
  io.Attr(e.att, kEntSolid);
  io.Num(e.start_x);
  io.Num(e.start_y);
  io.Num(e.end_x);
  io.Num(e.end_y);
  io.Num(e.DPoint2_x);
  io.Num(e.DPoint2_y);
  io.Num(e.DPoint3_x);
  io.Num(e.DPoint3_y);
}

template <class IO, class T>
constexpr void BlockFields(IO& io, T& e) {
  io.Attr(e.att, kEntBlock);
  io.Num(e.DPKijunTen_x);
  io.Num(e.DPKijunTen_y);
  io.Num(e.dBairitsuX);
  io.Num(e.dBairitsuY);
  io.Num(e.radKaitenKaku);
  io.BlockNumber(e.nNumber);
}

template <class IO, class T>
constexpr void BlockDefFields(IO& io, T& d) {
  io.Attr(d.att, kEntBlockDef);
  io.BlockNumber(d.nNumber);
  io.Num(d.bRefferd);
  io.Num(d.dtime);
}

// ---- whole records --------------------------------------------------------------------------

template <class IO, class T>
void LineRecord(IO& io, T& e, Check chk = Check::kChecked) {
  io.Fixed(Part::kLine, chk, [&](auto& f) { LineFields(f, e); });
}

template <class IO, class T>
void EnkoRecord(IO& io, T& e) {
  io.Fixed(Part::kEnko, Check::kChecked, [&](auto& f) { EnkoFields(f, e); });
}

/// A point; the tail (code, rotation, scale) follows only a point of style 100. A point without
/// tail reads with code 0, rotation 0 and scale `noTailScale` (1.0 in the drawing, 0.0 inside a
/// definition or a dimension).
template <class IO, class T>
void TenRecord(IO& io, T& e, Double noTailScale, Check chk = Check::kChecked) {
  io.Fixed(Part::kTen, chk, [&](auto& f) { TenFields(f, e); });
  if (io.WrittenStyle(e.att, kEntTen) == 100) {
    TenTail(io, e);
  } else if constexpr (IO::kReading) {
    e.nCode = 0;
    e.radKaitenKaku = 0;
    e.dBairitsu = noTailScale;
  }
}

/// The two strings after a text's fixed part. Only a text entity's own text is an image
/// reference (TextStr); a dimension's text is a plain string.
template <class IO, class T>
void MojiStrings(IO& io, T& e, bool entityText) {
  io.Str(e.strFontName, StrKind::kName);
  if (entityText) io.TextStr(e.str);
  else io.Str(e.str, StrKind::kName);
  if constexpr (IO::kReading) {
    header_fix::FiniteSize(e.dSizeX);
    header_fix::FiniteSize(e.dSizeY);
    header_fix::FiniteSpacing(e.dKankaku);
  }
}

template <class IO, class T>
void MojiRecord(IO& io, T& e, bool entityText = true, Check chk = Check::kChecked) {
  io.Fixed(Part::kMoji, chk, [&](auto& f) { MojiFields(f, e); });
  MojiStrings(io, e, entityText);
}

/// A dimension: its attribute part, the dimension line, the dimension text and, from version 420
/// on, bSxfMode with the two auxiliary lines and four points. Older versions store none of the
/// latter; they read with the dimension's attributes (points with style 0) and zeros.
template <class IO, class T>
void SunpoRecord(IO& io, T& e) {
  io.Fixed(Part::kAttr, Check::kUnchecked, [&](auto& f) { f.Attr(e.att, kEntSunpo); });
  LineRecord(io, e.Sen, Check::kUnchecked);
  MojiRecord(io, e.Moji, false, Check::kChecked);
  if (io.Ver() >= 420) {
    io.Num(e.bSxfMode);
    LineRecord(io, e.Ho1, Check::kUnchecked);
    LineRecord(io, e.Ho2, Check::kUnchecked);
    TenRecord(io, e.Te1, 0.0, Check::kUnchecked);
    TenRecord(io, e.Te2, 0.0, Check::kUnchecked);
    TenRecord(io, e.Kt1, 0.0, Check::kUnchecked);
    TenRecord(io, e.Kt2, 0.0, Check::kChecked);
  } else if constexpr (IO::kReading) {
    e.bSxfMode = 0;
    for (TEntJwwLine* l : {&e.Ho1, &e.Ho2}) {
      *l = TEntJwwLine{};
      AttrCopy(e.att, l->att);
    }
    for (TEntJwwTen* t : {&e.Te1, &e.Te2, &e.Kt1, &e.Kt2}) {
      *t = TEntJwwTen{};
      AttrCopy(e.att, t->att);
      t->att.nPenStyle = 0;
    }
  }
}

/// A solid; its own colour follows only when the pen colour on file is 10.
template <class IO, class T>
void SolidRecord(IO& io, T& e) {
  io.Fixed(Part::kSolid, Check::kChecked, [&](auto& f) { SolidFields(f, e); });
  if (io.WrittenColor(e.att, kEntSolid) == 10) io.Num(e.Color);
  else if constexpr (IO::kReading) e.Color = 0;
}

template <class IO, class T>
void BlockRecord(IO& io, T& e) {
  io.Fixed(Part::kBlock, Check::kChecked, [&](auto& f) { BlockFields(f, e); });
}

/// A block definition's head: fixed part, the long time field, the name. Its entity count and
/// entities follow in the stream. `pos` is the definition's 1-based position in the list: a
/// reader that meets a long time field replaces dtime with it.
template <class IO, class T>
void BlockDefHead(IO& io, T& d, Integer pos) {
  io.Fixed(Part::kBlockDef, Check::kChecked, [&](auto& f) { BlockDefFields(f, d); });
  if (d.dtime & 0x80000000u) io.LongTime(d, pos);
  io.Str(d.strName, StrKind::kName);
}

// ---- sizes ----------------------------------------------------------------------------------

namespace schema_detail {

/// Counts the bytes a field list moves, for the assertions below and the tests.
struct SizeIO {
  static constexpr bool kReading = false;
  Integer ver;
  size_t n = 0;
  constexpr Integer Ver() const { return ver; }
  template <class T>
  constexpr void Num(const T&) {
    n += sizeof(T);
  }
  template <class T, class F>
  constexpr void Num(const T&, F&&) {
    n += sizeof(T);
  }
  constexpr void Attr(const TEntJwwAttr& a, int) { AttrFields(*this, a, ver); }
  constexpr void BlockNumber(const Cardinal&) { n += 4; }
};

// The scalar members of the records that also hold strings or lists (which not every compiler
// can build in a constant expression), with the records' own member types.
#define JWW_M(R, f) decltype(R::f) f{}
struct MojiScalars {
  JWW_M(TEntJwwMoji, att); JWW_M(TEntJwwMoji, start_x); JWW_M(TEntJwwMoji, start_y);
  JWW_M(TEntJwwMoji, end_x); JWW_M(TEntJwwMoji, end_y); JWW_M(TEntJwwMoji, nMojiShu);
  JWW_M(TEntJwwMoji, dSizeX); JWW_M(TEntJwwMoji, dSizeY); JWW_M(TEntJwwMoji, dKankaku);
  JWW_M(TEntJwwMoji, degKakudo);
};
struct BlockDefScalars {
  JWW_M(TEntJwwBlockDef, att); JWW_M(TEntJwwBlockDef, nNumber); JWW_M(TEntJwwBlockDef, bRefferd);
  JWW_M(TEntJwwBlockDef, dtime);
};
#undef JWW_M

template <class T, class Fields>
constexpr size_t Measure(Integer ver, Fields fields) {
  SizeIO io{ver};
  T e{};
  fields(io, e);
  return io.n;
}

}  // namespace schema_detail

#define JWW_ASSERT_FIXED(T, FIELDS, PART)                                                   \
  static_assert(schema_detail::Measure<T>(351, [](auto& io, auto& e) { FIELDS(io, e); }) == \
                FixedSize(PART, 351));                                                      \
  static_assert(schema_detail::Measure<T>(350, [](auto& io, auto& e) { FIELDS(io, e); }) == \
                FixedSize(PART, 350))
JWW_ASSERT_FIXED(TEntJwwLine, LineFields, Part::kLine);
JWW_ASSERT_FIXED(TEntJwwEnko, EnkoFields, Part::kEnko);
JWW_ASSERT_FIXED(TEntJwwTen, TenFields, Part::kTen);
JWW_ASSERT_FIXED(schema_detail::MojiScalars, MojiFields, Part::kMoji);
JWW_ASSERT_FIXED(TEntJwwSolid, SolidFields, Part::kSolid);
JWW_ASSERT_FIXED(TEntJwwBlock, BlockFields, Part::kBlock);
JWW_ASSERT_FIXED(schema_detail::BlockDefScalars, BlockDefFields, Part::kBlockDef);
#undef JWW_ASSERT_FIXED
// The packed record sizes: a point with its tail is 55 bytes, a solid with its colour 83.
static_assert(schema_detail::Measure<TEntJwwTen>(351, [](auto& io, auto& e) { TenTail(io, e); }) ==
              kTenTailBytes);
static_assert(FixedSize(Part::kTen, 351) + kTenTailBytes == 55);
static_assert(FixedSize(Part::kSolid, 351) + kSolidColorBytes == 83);
static_assert(FixedSize(Part::kAttr, 351) == 15 && FixedSize(Part::kAttr, 350) == 13);

}  // namespace jww
