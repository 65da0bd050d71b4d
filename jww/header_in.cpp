// File check and header reading; the list's one-open glance at a drawing.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <functional>
#include <type_traits>

#include "common/Func_2.h"
#include "common/codepage.h"
#include "jww/JwwUnit.h"
#include "jww/header_glance.h"
#include "jww/header_io.h"
#include "jww/list_memory.h"
#include "jww/entity_in.h"
#include "jww/stream.h"

namespace jww {

namespace {

constexpr Integer kMinVersion = 220;
constexpr Integer kMaxVersion = 700;

// The first 8 bytes as text, ending at the first NUL (a short file gives fewer bytes), into `id`.
void ReadId(InStream& s, string& id) {
  char buf[8] = {};
  const size_t got = s.Read(buf, sizeof buf);
  // A drawing's own identification, the one every read meets, needs no decoding (and goes into
  // the memory `id` has).
  if (got == sizeof buf && std::memcmp(buf, "JwwData.", sizeof buf) == 0) id.assign(u"JwwData.", 8);
  else id = BytesToStr(std::string_view(buf, got));
}

// Whether the first 8 bytes (`got` of them there) read as the drawing identification, as ReadId
// reads them.
bool IsDrawingId(const char* id, size_t got) {
  return (got == 8 && std::memcmp(id, "JwwData.", 8) == 0) ||
         BytesToStr(std::string_view(id, got)) == u"JwwData.";
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

// The bytes of text that follow a string's first length byte 255 (a 16-bit length, or the
// Unicode marker and its length in units), as ReadArchiveString (unchecked) would consume them.
uint64_t LongStringTextSize(InStream& s) {
  uint16_t n16 = 0;
  if (s.Read(&n16, 2) != 2) return 255;
  if (n16 != 0xFFFE) return n16;
  uint8_t u8 = 0;
  s.Read(&u8, 1);
  uint32_t units = u8;
  if (units == 255) {
    uint16_t u16 = 0;
    if (s.Read(&u16, 2) == 2) units = u16;
  }
  return units * 2u;
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
  InStream s;
  if (!s.Open(FName, 12)) return false;
  char id[8] = {};
  if (!IsDrawingId(id, s.Read(id, sizeof id))) return false;
  Integer ver = 0;
  if (s.ReadValue(ver) != 4) return false;
  return ver >= kMinVersion && ver <= kMaxVersion;
}

namespace {

// The bytes a run of fixed-width fields takes on file; a walk that the compiler folds into a few
// additions (into a constant where the run has no version condition).
class RunSizeIO : public HeaderTableReadHooks<RunSizeIO> {
 public:
  static constexpr bool kReading = false;
  template <class T>
  void Num(T&) {
    bytes += sizeof(T);
  }
  template <class T, class Fix>
  void Num(T&, Fix&&) {
    bytes += sizeof(T);
  }
  void LastNum(Double&) { bytes += sizeof(Double); }
  void Reserved(size_t n, uint8_t) { bytes += n; }
  void PrintValue(TEntJwwHeader&, Integer) { bytes += sizeof(Integer); }
  size_t bytes = 0;
};

// The extended entries' fields that lie on file as they lie in memory, each such part moved at
// once: `n` bytes into `entry` from its member at `offset` on.
static_assert(std::is_standard_layout_v<TEntJwwColorExNo> && std::is_standard_layout_v<TEntJwwLineTypeExNo>);
template <class Entry>
void MoveInto(Entry& entry, size_t offset, const uint8_t* p, size_t n) {
  std::memcpy(reinterpret_cast<unsigned char*>(&entry) + offset, p, n);
}
static_assert(offsetof(TEntJwwColorExNo, anPrtPenWidth) == offsetof(TEntJwwColorExNo, aPrtPenColor) + 4 &&
              offsetof(TEntJwwColorExNo, adPrtTenHankei) == offsetof(TEntJwwColorExNo, aPrtPenColor) + 8);
static_assert(offsetof(TEntJwwLineTypeExNo, anTokushuSenUintDot) == offsetof(TEntJwwLineTypeExNo, alLType) + 4 &&
              offsetof(TEntJwwLineTypeExNo, anTokushuSenPich) == offsetof(TEntJwwLineTypeExNo, alLType) + 8 &&
              offsetof(TEntJwwLineTypeExNo, anPrtTokushuSenPich) == offsetof(TEntJwwLineTypeExNo, alLType) + 12);

// A run of fixed-width fields whose bytes are known to be there: each field is one load at a
// known distance from the run's start, with no check and no cursor kept in memory.
class UncheckedRunIO : public HeaderTableReadHooks<UncheckedRunIO> {
 public:
  static constexpr bool kReading = true;
  explicit UncheckedRunIO(const uint8_t* p) : p_(p) {}
  template <class T>
  void Num(T& v) {
    std::memcpy(&v, p_, sizeof v);
    p_ += sizeof v;
  }
  template <class T, class Fix>
  void Num(T& v, Fix&&) {
    Num(v);
  }
  void LastNum(Double& v) { Num(v); }
  void Reserved(size_t n, uint8_t) { p_ += n; }
  // The four numbers of an extended line type, moved at once.
  void LineTypeExPass1(TEntJwwLineTypeExNo& t, int) {
    constexpr size_t kHead = 4 * sizeof(Integer);
    MoveInto(t, offsetof(TEntJwwLineTypeExNo, alLType), p_, kHead);
    p_ += kHead;
  }
  void PrintValue(TEntJwwHeader& h, Integer) {
    Integer p = 0;
    Num(p);
    h.nPrtDpi = p / 10;  // C++ division truncates toward zero, as the format wants
    h.nPrtDispOnlyNonDraw = p % 10;
  }

 private:
  const uint8_t* p_;
};

// Thrown by HeaderWholeIO when the header does not lie whole in the bytes in view.
struct NotWhole {};

// A name that is not empty (or the data ending at its length byte), as ReadArchiveString reads a
// whole one, decoded into the name's own memory; returns where it ends. Kept out of line: the
// empty names, nearly all, then need no frame for the decoding.
[[gnu::noinline]] const uint8_t* NamedStr(const uint8_t* p, const uint8_t* end, string& v, StrKind kind) {
  if (p == end) throw NotWhole{};
  const size_t n = *p;
  if (n < 255) {
    if (static_cast<size_t>(end - p) <= n) throw NotWhole{};
    const uint8_t* text = p + 1;
    // Most names are printable ASCII: widened straight into the name's own memory, checked as
    // they go (a name of the same length as before, as the standard colour and line-type names
    // of one drawing after another, needs no resizing).
    // A name that starts with a lead byte (a Japanese one) goes straight to the decoding.
    uint8_t unusual = text[0] >= 0x80;
    if (!unusual) {
      if (v.size() != n) v.resize(n);
      char16_t* out = v.data();
      for (size_t i = 0; i < n; ++i) {
        unusual |= static_cast<uint8_t>(static_cast<uint8_t>(text[i] - 0x20) >= 0x60);
        out[i] = text[i];
      }
      if (!unusual) return text + n;
    }
    const std::string_view bytes(reinterpret_cast<const char*>(text), n);
    if (kind == StrKind::kName) {
      // Decoded, cut at a NUL and without controls in one pass over the name's own memory.
      AnsiTextTo(bytes, v);
      return text + n;
    }
    v.clear();
    AnsiToStrAppend(bytes, v);
    const size_t nul = v.find(u'\0');
    if (nul != string::npos) v.resize(nul);
    return text + n;
  }
  // The long and Unicode forms. The strict reading fails exactly when the name does not lie whole
  // in view; whole, it gives what the unchecked reading gives.
  InStream rest(p, static_cast<size_t>(end - p));
  try {
    v = kind == StrKind::kMemo ? ReadArchiveString(rest, true) : StrInNoCtrlStrict(rest);
  } catch (const TJwwIOError&) {
    throw NotWhole{};
  }
  return p + rest.Position();
}

// The reading of a header that lies whole in the bytes in view (nearly every file: a file up to
// 4 MiB is read whole, and the first buffer of a larger one holds its header): each run of
// fixed-width fields is bounds-checked once and moved field by field from known distances, names
// are made where they lie, and a name that is empty (most of the 562) costs one byte test.
// Every field it writes it writes only when all of its bytes are there, and with the value
// HeaderReadIO gives; when the header ends early it throws NotWhole, and the header is read again
// by HeaderReadIO, which delivers what a cut-short header holds.
class HeaderWholeIO {
 public:
  static constexpr bool kReading = true;
  HeaderWholeIO(const uint8_t* p, const uint8_t* end) : start_(p), p_(p), end_(end) {}

  size_t Consumed() const { return static_cast<size_t>(p_ - start_); }

  template <class Fields>
  void Fixed(Fields& fields) {
    RunSizeIO size;
    fields(size);
    if (static_cast<size_t>(end_ - p_) < size.bytes) throw NotWhole{};
    UncheckedRunIO run(p_);
    fields(run);
    p_ += size.bytes;
  }

  void Str(string& v, StrKind kind) {
    if (p_ != end_ && *p_ == 0) {
      ++p_;
      if (v.empty()) return;
      v.clear();
    } else {
      p_ = NamedStr(p_, end_, v, kind);
    }
    if (kind == StrKind::kName && v.capacity() > header_tables::kMaxKeptName) [[unlikely]]
      longName_ |= OverKeptBound(v);
  }

  /// Whether a name holds more memory than the kept tables keep (it is that long itself).
  bool LongName() const { return longName_; }

  // The fields after an extended entry's name, moved at once (MoveInto).
  void ColorExPass2(TEntJwwColorExNo& c, int) {
    Str(c.astrUDColorName, StrKind::kName);
    constexpr size_t kTail = sizeof c.aPrtPenColor + sizeof c.anPrtPenWidth + sizeof c.adPrtTenHankei;
    if (static_cast<size_t>(end_ - p_) < kTail) throw NotWhole{};
    MoveInto(c, offsetof(TEntJwwColorExNo, aPrtPenColor), p_, kTail);
    p_ += kTail;
  }
  void LineTypeExPass2(TEntJwwLineTypeExNo& t, int) {
    Str(t.astrUDLTypeName, StrKind::kName);
    constexpr size_t kTail = sizeof t.anUDLTypeSegment + sizeof t.aadUDLTypePitch;
    if (static_cast<size_t>(end_ - p_) < kTail) throw NotWhole{};
    std::memcpy(&t.anUDLTypeSegment, p_, sizeof t.anUDLTypeSegment);
    MoveInto(t, offsetof(TEntJwwLineTypeExNo, aadUDLTypePitch), p_ + sizeof t.anUDLTypeSegment,
             sizeof t.aadUDLTypePitch);
    p_ += kTail;
  }

 private:
  // A name holding memory for more than header_tables::kMaxKeptName characters: memory left from
  // a longer name (one a caller gave a document whose tables were kept) goes back now; true when
  // the name itself is that long.
  [[gnu::noinline]] static bool OverKeptBound(string& v) {
    if (v.size() > header_tables::kMaxKeptName) return true;
    string(v).swap(v);
    return false;
  }

  const uint8_t* const start_;
  const uint8_t* p_;
  const uint8_t* const end_;
  bool longName_ = false;
};

// The header tables at their fixed sizes. Entries already there (the document's own, or the set
// a freed document left) are kept as they are: a whole header overwrites every field of them (the
// extended tables exist on file from version 420 on).
void SizeTables(TJwwData& d) {
  auto size = [](auto& table, size_t n) {
    if (table.size() != n) {
      table.clear();
      table.resize(n);
    }
  };
  size(d.EntLgrp, 16);
  size(d.EntLay, 256);
  size(d.EntCol, 10);
  size(d.EntLtp1, 8);
  size(d.EntLtp2, 5);
  size(d.EntLtp3, 4);
  size(d.EntMoj, 10);
  if (d.Enthd.jwVer >= 420) {
    size(d.EntColS, 257);
    size(d.EntLtpS, 33);
  } else {
    d.EntColS.assign(257, {});
    d.EntLtpS.assign(33, {});
  }
}

// The header tables with every entry as constructed, for a header read field by field.
void ResetTables(TJwwData& d) {
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

}  // namespace

Boolean TJwwData::HeaderIn(InStream& s) {
  namesChecked_.value = false;
  try {
    // A document without tables takes the set a freed document left (list_memory.h).
    header_tables::Take(*this);
    ReadId(s, Enthd.jwID);
    if (Enthd.jwID != u"JwwData.") {
      ResetTables(*this);
      throw TJwwIOError(kHeaderError);
    }
    s.ReadValue(Enthd.jwVer);
    if (Enthd.jwVer < kMinVersion || Enthd.jwVer > kMaxVersion) {
      ResetTables(*this);
      throw TJwwIOError(kVersionError);
    }

    if (const uint8_t* p = s.PeekInView(0)) {
      SizeTables(*this);
      HeaderWholeIO io(p, p + s.InView());
      try {
        HeaderRows(io, *this, Enthd.jwVer);
        s.Skip(io.Consumed());
        // Below version 420 the extended tables are not on file: their names were cleared, not
        // checked.
        namesChecked_.value = Enthd.jwVer >= 420 && !io.LongName();
        return true;
      } catch (const NotWhole&) {
        // Read again below: what the whole reading wrote, the reading below writes again alike.
      }
    }
    ResetTables(*this);
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
    InStream s;
    if (!s.Open(FName, 1 << 16, &why)) {
      SetLastError(why, 0);
      return false;
    }
    return HeaderIn(s);
  } catch (...) {
    SetLastError(kIOError, 0);
    return false;
  }
}

// ---- the list's glance ------------------------------------------------------------------------

namespace {

// The header tables in fixed storage, reused from drawing to drawing: HeaderRows writes every
// value of them, so nothing needs clearing or allocating per drawing.
struct GlanceDoc {
  TEntJwwHeader Enthd;
  std::array<TEntJwwLayerGroup, 16> EntLgrp;
  std::array<TEntJwwLayer, 256> EntLay;
  std::array<TEntJwwColorNo, 10> EntCol;
  std::array<TEntJwwLineTypeNo, 8> EntLtp1;
  std::array<TEntJwwRandomLineNo, 5> EntLtp2;
  std::array<TEntJwwLineTypeNo, 4> EntLtp3;
  std::array<TEntJwwColorExNo, 257> EntColS;
  std::array<TEntJwwLineTypeExNo, 33> EntLtpS;
  std::array<TEntJwwMojiType, 10> EntMoj;
};

// HeaderReadIO's walk consuming the same bytes, so that a header is accepted or refused exactly as
// HeaderIn would: the memo is read as it reads it, the paper code and the group scales are read,
// and everything else (names, fixed fields, reserved bytes) is only counted and stepped over in
// one move before the next read. A read at the end of the data consumes what is there and a step
// stops there, so steps taken together end where the single reads would.
class HeaderGlanceIO : public HeaderTableReadHooks<HeaderGlanceIO> {
 public:
  // None of the reader's derived fields is shown: values not read are never looked at.
  static constexpr bool kReading = false;
  HeaderGlanceIO(InStream& s, const GlanceDoc& d) : s_(s), d_(d) {}

  template <class T>
  void Num(T& v) {
    if constexpr (std::is_same_v<T, Integer>) {
      if (&v == &d_.Enthd.nZumen) return Read(v);
    } else if constexpr (std::is_same_v<T, Double>) {
      const std::less_equal<const Double*> le;
      if (le(&d_.EntLgrp.front().adScale, &v) && le(&v, &d_.EntLgrp.back().adScale)) return Read(v);
    }
    pending_ += sizeof(T);
  }
  template <class T, class Fix>
  void Num(T& v, Fix&&) {
    Num(v);
  }
  void LastNum(Double& v) {
    Flush();
    if (s_.ReadValue(v) == 0) throw TJwwIOError(kIOError);
  }
  void Str(string& v, StrKind kind) {
    Flush();
    if (kind == StrKind::kMemo) {
      v = ReadArchiveString(s_, false);
      return;
    }
    uint8_t n8 = 0;
    s_.ReadValue(n8);
    pending_ = n8 < 255 ? n8 : LongStringTextSize(s_);
  }
  void Reserved(size_t n, uint8_t) { pending_ += n; }
  void PrintValue(TEntJwwHeader& h, Integer) { Num(h.nPrtDpi); }

 private:
  template <class T>
  void Read(T& v) {
    Flush();
    s_.ReadValue(v);
  }
  void Flush() {
    if (!s_.TakeInView(pending_)) s_.Skip(pending_);
    pending_ = 0;
  }

  InStream& s_;
  const GlanceDoc& d_;
  uint64_t pending_ = 0;
};

// As much of a file as FileHeaderIn reads ahead: headers that end within it (nearly all) are
// read from memory after one read().
constexpr size_t kGlanceBuffer = 1 << 16;

}  // namespace

struct HeaderGlance::Scratch {
  GlanceDoc doc;
  uint8_t buffer[kGlanceBuffer];
};

HeaderGlance::HeaderGlance() : scratch_(new Scratch) {}
HeaderGlance::~HeaderGlance() = default;

bool HeaderGlance::HeaderOf(InStream& s, TDrawingGlance& out) {
  out.drawing = false;
  try {
    // FileCheck's test: the identification (plain bytes nearly always; otherwise decoded as
    // ReadId does) and a whole version within range.
    char id[8] = {};
    if (!IsDrawingId(id, s.Read(id, sizeof id))) return false;
    Integer ver = 0;
    if (s.ReadValue(ver) != sizeof ver || ver < kMinVersion || ver > kMaxVersion) return false;
    GlanceDoc& d = scratch_->doc;
    HeaderGlanceIO io(s, d);
    HeaderRows(io, d, ver);
    out.memo.swap(d.Enthd.strMemo);
    out.nZumen = d.Enthd.nZumen;
    for (int g = 0; g < 16; ++g) out.scales[g] = d.EntLgrp[g].adScale;
    out.drawing = true;
  } catch (...) {
    out.drawing = false;
  }
  return out.drawing;
}

const TDrawingGlance& HeaderGlance::Glance(const string& path) {
  TDrawingGlance& out = result_;
  out.drawing = false;
  // Opened as a stream opens a file: a FIFO or device is not waited on.
  const int fd = OpenForReading(path);
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    // Present but not readable (or gone): the list still shows what stat says of it.
    if (fd >= 0) ::close(fd);
    out.dateSize = FileDateSize(path);
    return out;
  }
  out.dateSize = FileDateSizeOf(st);
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return out;
  }
  const size_t want = static_cast<size_t>(std::min<uint64_t>(kGlanceBuffer, static_cast<uint64_t>(st.st_size)));
  size_t got = 0;
  while (got < want) {
    const ssize_t r = ::read(fd, scratch_->buffer + got, want - got);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;  // the file shrank or failed: it ends here, as for a stream
    got += static_cast<size_t>(r);
  }
  ::close(fd);
  InStream mem(scratch_->buffer, got);
  if (HeaderOf(mem, out)) return out;
  // Only the start of a longer file is in memory: a header that goes on past it is read again
  // from the file, the way FileHeaderIn reads it.
  if (got == want && want < static_cast<uint64_t>(st.st_size)) {
    if (auto s = InStream::OpenFile(path, kGlanceBuffer)) HeaderOf(*s, out);
  }
  return out;
}

}  // namespace jww
