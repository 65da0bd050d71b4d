// Whole-drawing reading: FileIn and, under an item budget, FilePrevIn. After the header comes the
// entity stream: the drawing's entity list, the block definitions with their own entity lists
// and, in version 700, the bound-image section. The records themselves are read through the
// schemas of jww/schema.h, the tags and counts through jww/archive.h.
//
// Trust: the file is hostile. Every count is compared with the bytes that remain before anything
// is sized by it, and any read that meets the end of the file ends the read with "File I/O
// Error", so no loop can spin on an exhausted file.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <unordered_set>

#include "common/Func_2.h"
#include "common/codepage.h"
#include "jww/JwwUnit.h"
#include "jww/archive.h"
#include "jww/entity_in.h"
#include "jww/list_memory.h"
#include "jww/schema.h"
#include "jww/stream.h"

namespace jww {

namespace {

/// Raised when a checked fixed part comes up short: the object is dropped, the read goes on.
struct TDropObject {};

/// An attribute part that lies whole at `q` (15 bytes; 13 without nPenWidth, up to version 350,
/// whose nPenWidth then reads 0). It is put together in two words - the fields in their places,
/// the byte of padding after nPenStyle zero - that are stored whole: a record whose attribute
/// part is written field by field and then copied waits for those small stores to settle.
inline TEntJwwAttr AttrAt(const uint8_t* q, bool width) {
  static_assert(sizeof(TEntJwwAttr) == 16 && offsetof(TEntJwwAttr, nPenStyle) == 4 &&
                offsetof(TEntJwwAttr, nPenColor) == 6 && offsetof(TEntJwwAttr, nPenWidth) == 8 &&
                offsetof(TEntJwwAttr, nLayer) == 10 && offsetof(TEntJwwAttr, nGLayer) == 12 &&
                offsetof(TEntJwwAttr, sFlg) == 14);
  uint64_t lo, hi;
  std::memcpy(&lo, q, 8);  // lGroup, nPenStyle, nPenColor and the byte after them
  lo = (lo & 0xFF'FFFF'FFFFu) | (lo >> 40 & 0xFFFFu) << 48;
  if (width) {
    std::memcpy(&hi, q + 7, 8);  // nPenWidth, nLayer, nGLayer, sFlg
  } else {
    std::memcpy(&hi, q + 5, 8);  // nPenColor (cleared: nPenWidth 0), nLayer, nGLayer, sFlg
    hi &= ~uint64_t{0xFFFF};
  }
  TEntJwwAttr a;
  std::memcpy(static_cast<void*>(&a), &lo, 8);
  std::memcpy(reinterpret_cast<unsigned char*>(&a) + 8, &hi, 8);
  return a;
}

/// The value of type T whose bytes lie at `q` (any alignment).
template <class T>
inline T ValueAt(const uint8_t* q) {
  T v;
  std::memcpy(&v, q, sizeof v);
  return v;
}
/// A Double and a Cardinal at `q`.
inline Double DoubleAt(const uint8_t* q) { return ValueAt<Double>(q); }
inline Cardinal CardinalAt(const uint8_t* q) { return ValueAt<Cardinal>(q); }

/// Reads the fields of a fixed part out of the block that was read for it.
class BufReadIO {
 public:
  static constexpr bool kReading = true;
  BufReadIO(const uint8_t* p, Integer ver) : p_(p), ver_(ver) {}
  Integer Ver() const { return ver_; }
  template <class T>
  void Num(T& v) {
    std::memcpy(&v, p_, sizeof v);
    p_ += sizeof v;
  }
  template <class T, class F>
  void Num(T& v, F&&) {
    Num(v);
  }
  /// AttrIn: 15 bytes (13 up to version 350, without nPenWidth).
  void Attr(TEntJwwAttr& a, int) {
    a = AttrAt(p_, ver_ >= 351);
    p_ += ver_ >= 351 ? 15 : 13;
  }
  void BlockNumber(Cardinal& n) { Num(n); }

 private:
  const uint8_t* p_;
  Integer ver_;
};

/// The reading policy of the record schemas over the stream.
class EntityReadIO {
 public:
  static constexpr bool kReading = true;
  EntityReadIO(InStream& s, Integer ver) : s_(s), ver_(ver) {}
  Integer Ver() const { return ver_; }

  /// The whole fixed part at once (in place when the stream has it in view), then its fields
  /// from that block.
  template <class Body>
  void Fixed(Part part, Check chk, Body&& body) {
    const size_t n = FixedSize(part, ver_);
    const uint8_t* p = s_.TakeInView(n);
    uint8_t buf[96];
    if (!p) {
      if (s_.Read(buf, n) != n) {
        if (chk == Check::kChecked) throw TDropObject{};
        throw TJwwIOError(kIOError);
      }
      p = buf;
    }
    BufReadIO f(p, ver_);
    body(f);
  }
  template <class T>
  void Num(T& v) {
    if (s_.ReadValue(v) != sizeof v) throw TJwwIOError(kIOError);
  }
  template <class T, class F>
  void Num(T& v, F&&) {
    Num(v);
  }
  void Str(string& v, StrKind) {
    // Names repeat: every text names its font, dimensions often carry the same text. A name
    // whose bytes equal one of the last two decoded is taken from there instead of decoded again.
    const uint8_t* raw = nullptr;
    size_t rawN = 0;
    if (const uint8_t* len = s_.PeekInView(1); len && *len < 255) {
      rawN = 1 + *len;
      raw = s_.PeekInView(rawN);
    }
    if (raw) {
      if (const Memo* m = Recalled(raw, rawN)) {
        s_.Skip(rawN);
        v = m->text;
        return;
      }
    }
    v = StrInNoCtrlStrict(s_);
    if (raw) Remember(raw, rawN, v);
  }
  /// Str over a string that lies whole at `raw`, `n` bytes with its length prefix, outside the
  /// stream (whose caller moves past it): the same text, the same memory of recent names.
  void NameAt(string& v, const uint8_t* raw, size_t n) {
    if (raw[0] == 255) return TextAt(v, raw, n);
    if (const Memo* m = Recalled(raw, n)) {
      v = m->text;
      return;
    }
    TextAt(v, raw, n);
    Remember(raw, n, v);
  }
  /// StrInNoCtrlStrict over a string that lies whole at `raw` (`n` bytes with its prefix).
  static void TextAt(string& v, const uint8_t* raw, size_t n) {
    if (raw[0] < 255) {
      AnsiTextTo(std::string_view(reinterpret_cast<const char*>(raw + 1), raw[0]), v);
      return;
    }
    InStream whole(raw, n);
    v = StrInNoCtrlStrict(whole);
  }
  void TextStr(string& v) {
    if (skipTexts_) SkipStrStrict();
    else v = StrInNoCtrlStrict(s_);
  }
  void BlockNumber(Cardinal& n) { Num(n); }
  /// A summary read does not keep the texts of text entities: they are passed over, with the
  /// same checks, instead of decoded.
  void SkipTexts(bool skip) { skipTexts_ = skip; }
  static Byte WrittenStyle(const TEntJwwAttr& a, int) { return a.nPenStyle; }
  static Word WrittenColor(const TEntJwwAttr& a, int) { return a.nPenColor; }
  /// A long time field: its 8 bytes are skipped and dtime becomes the definition's position.
  void LongTime(TEntJwwBlockDef& d, Integer pos) {
    if (s_.Skip(8) != 8) throw TJwwIOError(kIOError);
    d.dtime = static_cast<Cardinal>(pos);
  }

 private:
  /// Moves past an archive string in any of its forms (StrInNoCtrlStrict's); the end of the
  /// file inside it ends the read, as it does there.
  void SkipStrStrict() {
    uint64_t bytes = s_.Get<uint8_t>();
    if (bytes == 255) {
      bytes = s_.Get<uint16_t>();
      if (bytes == 0xFFFE) {
        uint64_t units = s_.Get<uint8_t>();
        if (units == 255) units = s_.Get<uint16_t>();
        bytes = units * 2;
      }
    }
    if (s_.Skip(bytes) != bytes) throw TJwwIOError(kIOError);
  }

  /// A name remembered: its bytes on file, length byte first (so `raw[0]` tells its length; 255,
  /// which no remembered name has, marks an empty slot), and its text.
  struct Memo {
    uint8_t raw[256] = {255};
    string text;
  };

  /// Whether the `n` bytes at `p` (length byte first, below 255) are those of `m`. Names are
  /// short (a font: about 14 bytes), so they are compared a word at a time in place, without a
  /// call: the length byte settles most mismatches, two words most matches. `m.raw` has room
  /// for any length; the bytes at `p` are read only within their `n`.
  static bool Same(const Memo& m, const uint8_t* p, size_t n) {
    if (m.raw[0] != p[0]) return false;
    const uint8_t* k = m.raw;
    if (n >= 8) {
      for (size_t i = 0; i + 8 < n; i += 8)
        if (ValueAt<uint64_t>(k + i) != ValueAt<uint64_t>(p + i)) return false;
      return ValueAt<uint64_t>(k + n - 8) == ValueAt<uint64_t>(p + n - 8);
    }
    if (n >= 4) return ValueAt<uint32_t>(k) == ValueAt<uint32_t>(p) && ValueAt<uint32_t>(k + n - 4) == ValueAt<uint32_t>(p + n - 4);
    for (size_t i = 1; i < n; ++i)
      if (k[i] != p[i]) return false;
    return true;
  }
  /// The remembered name with the `n` bytes at `raw`, the one met last tried first; nullptr
  /// when neither is.
  const Memo* Recalled(const uint8_t* raw, size_t n) {
    if (Same(memo_[recent_], raw, n)) return &memo_[recent_];
    if (Same(memo_[recent_ ^ 1], raw, n)) {
      recent_ ^= 1;
      return &memo_[recent_];
    }
    return nullptr;
  }
  /// Remembers `text`, decoded from the `n` bytes at `raw`, in place of the older name.
  void Remember(const uint8_t* raw, size_t n, const string& text) {
    recent_ ^= 1;
    std::memcpy(memo_[recent_].raw, raw, n);
    memo_[recent_].text = text;
  }

  InStream& s_;
  Integer ver_;
  bool skipTexts_ = false;
  Memo memo_[2];
  int recent_ = 0;
};

/// How many objects of each kind (index EntKind 1..7) an entity list holds, counted over its bytes
/// before it is read so that each kind's list is sized once, for what the stream holds of it.
/// The walk takes the tags as TArchive::ReadEntityTag does (on a copy of the archive) and steps
/// over each record as the schemas read it: fixed parts, optional tails, strings. It stops where
/// the bytes end or a tag would end the read, so it never counts more objects than the read
/// makes; the lists grow past a short count as they fill.
struct TKindTally {
  size_t n[8] = {};
};

TKindTally TallyKinds(const uint8_t* p, const uint8_t* end, Integer ver, TArchive ar, Cardinal count) {
  TKindTally t;
  auto left = [&] { return static_cast<size_t>(end - p); };
  auto u16 = [](const uint8_t* q) {
    uint16_t v;
    std::memcpy(&v, q, 2);
    return v;
  };
  // Steps over a string in any of its forms; false when the bytes end inside it.
  auto str = [&] {
    if (left() < 1) return false;
    size_t bytes = *p++;
    if (bytes == 255) {
      if (left() < 2) return false;
      bytes = u16(p);
      p += 2;
      if (bytes == 0xFFFE) {
        if (left() < 1) return false;
        size_t units = *p++;
        if (units == 255) {
          if (left() < 2) return false;
          units = u16(p);
          p += 2;
        }
        bytes = units * 2;
      }
    }
    if (left() < bytes) return false;
    p += bytes;
    return true;
  };
  auto fixed = [&](Part part) {
    const size_t n = FixedSize(part, ver);
    if (left() < n) return false;
    p += n;
    return true;
  };
  // A point: its fixed part and, after a style of 100, its tail.
  auto ten = [&] {
    if (left() < FixedSize(Part::kTen, ver)) return false;
    const size_t tail = p[4] == 100 ? kTenTailBytes : 0;  // nPenStyle follows the 4-byte group
    p += FixedSize(Part::kTen, ver);
    if (left() < tail) return false;
    p += tail;
    return true;
  };
  // The fixed bytes that start a record of each kind (a dimension: attributes, line, text).
  const size_t lead[8] = {0,
                          FixedSize(Part::kLine, ver),
                          FixedSize(Part::kEnko, ver),
                          FixedSize(Part::kTen, ver),
                          FixedSize(Part::kMoji, ver),
                          FixedSize(Part::kAttr, ver) + FixedSize(Part::kLine, ver) + FixedSize(Part::kMoji, ver),
                          FixedSize(Part::kSolid, ver),
                          FixedSize(Part::kBlock, ver)};
  Cardinal lastIndex = 0;
  int lastKind = kEntNone;
  // The objects of a run of one kind are counted in a register and added at the run's end:
  // an increment of the tally in memory for every object put a store and its reload on the
  // walk's chain.
  int runKind = kEntNone;
  size_t run = 0;
  for (Cardinal read = 0; read < count;) {
    if (left() < 2) break;
    // The walk is a chain of dependent loads (each record's size gives the next tag's place):
    // bringing the bytes ahead into the first-level cache keeps it off the slower levels.
    __builtin_prefetch(p + 384);
    const uint16_t tag = u16(p);
    p += 2;
    Cardinal index = 0;
    if (tag > 0x8000 && tag != TArchive::kNewClassTag) {
      index = tag - 0x8000u;  // nearly every object: a reference in two bytes
    } else if (tag == TArchive::kNewClassTag) {
      if (left() < 4) break;
      const uint16_t n = u16(p + 2);
      p += 4;
      if (n > kMaxClassNameBytes || left() < n) break;
      const EntKind kind = EntityClassOf(std::string_view(reinterpret_cast<const char*>(p), n));
      p += n;
      if (kind == kEntNone) break;
      index = ar.Register(kind);
      lastIndex = 0;  // the registration may have moved a class
    } else if (tag == TArchive::kBigRefTag) {
      if (left() < 4) break;
      std::memcpy(&index, p, 4);
      p += 4;
      index &= ~TArchive::kBigRefFlag;
    }
    // Objects of one kind mostly come in runs: the walk then runs ahead on predicted branches
    // (a lookup without branches measured slower: it puts every step on the chain).
    if (index != lastIndex || index == 0) {
      lastKind = ar.EntityKindAt(index);
      lastIndex = index;
    }
    const int kind = lastKind;
    if (kind == kEntNone) continue;  // neither an object nor a counter step
    const size_t n = lead[kind];
    if (left() < n) break;
    // The optional tails of a point (style 100) and a solid (pen colour 10), read before the
    // fixed part is passed: nPenStyle follows the 4-byte group, nPenColor the style.
    size_t extra = 0;
    if (kind == kEntTen && p[4] == 100) extra = kTenTailBytes;
    else if (kind == kEntSolid && u16(p + 5) == 10) extra = kSolidColorBytes;
    p += n;
    if (left() < extra) break;
    p += extra;
    if (kind == kEntMoji || kind == kEntSunpo) {
      if (!str() || !str()) break;
      if (kind == kEntSunpo && ver >= 420) {
        if (left() < sizeof(Word)) break;
        p += sizeof(Word);  // bSxfMode
        if (!fixed(Part::kLine) || !fixed(Part::kLine) || !ten() || !ten() || !ten() || !ten()) break;
      }
    }
    if (kind != runKind) {
      t.n[runKind] += run;
      runKind = kind;
      run = 0;
    }
    ++run;
    ++read;
    ar.ObjectDone();
  }
  t.n[runKind] += run;
  return t;
}

/// The lists one entity list fills: the drawing's or one definition's.
struct TLists {
  std::vector<TEntJwwLine>& line;
  Integer& lineN;
  std::vector<TEntJwwEnko>& enko;
  Integer& enkoN;
  std::vector<TEntJwwTen>& ten;
  Integer& tenN;
  std::vector<TEntJwwMoji>& moji;
  Integer& mojiN;
  std::vector<TEntJwwSunpo>& sunpo;
  Integer& sunpoN;
  std::vector<TEntJwwSolid>& solid;
  Integer& solidN;
  std::vector<TEntJwwBlock>& block;
  Integer& blockN;
  std::vector<TEntJwwNo>& order;
  Integer& orderN;     ///< Enthd.n1 or the definition's N: the valid entries of `order`
  Double noTailScale;  ///< scale of a point without tail: 1.0 in the drawing, 0.0 in a definition

  /// Calls f(list, kind) for the list of each kind.
  template <class F>
  void EachKind(F&& f) {
    f(line, kEntLine);
    f(enko, kEntEnko);
    f(ten, kEntTen);
    f(moji, kEntMoji);
    f(sunpo, kEntSunpo);
    f(solid, kEntSolid);
    f(block, kEntBlock);
  }
};

class StreamReader {
 public:
  /// `summary`, when given, makes this a summary read (FileSummaryIn): see SummaryList.
  StreamReader(TJwwData& d, InStream& s, bool bounded, Integer budget, TJwwKindCounts* summary)
      : d_(d), s_(s), io_(s, d.Enthd.jwVer), bounded_(bounded && !summary), budget_(budget), summary_(summary) {}

  /// After Run: the images BindImageExp could not write, "" when none (BindImagesIn).
  std::string imagesLost;

  void Run() {
    const Integer ver = d_.Enthd.jwVer;
    const Cardinal n = ReadCount(s_);
    CheckCount(n, MinEntityBytes(ver));
    d_.Enthd.n2 = 0;
    d_.EntBlockDefN = 0;
    TLists top{d_.EntLine,  d_.EntLineN,  d_.EntEnko,  d_.EntEnkoN,  d_.EntTen,
               d_.EntTenN,  d_.EntMoji,   d_.EntMojiN, d_.EntSunpo,  d_.EntSunpoN,
               d_.EntSolid, d_.EntSolidN, d_.EntBlock, d_.EntBlockN, d_.EntNo,
               d_.Enthd.n1, 1.0};
    if (summary_) {
      SummaryList(n);
    } else {
      StartOrder(top, n);
      ReserveLists(top, n);
      EntityList(top, n);
    }

    const uint16_t w = s_.Get<uint16_t>();
    if (w != 0 && BudgetLeft()) Definitions(w == 0xFFFF ? s_.Get<Cardinal>() : w);

    if (!bounded_ && ver >= 700) imagesLost = BindImagesIn(d_, s_);
  }

  /// After a summary read (also one that failed): the font names GetFontNames would give.
  void SummaryFontNames() {
    TFontNameList list(d_);
    for (const string* name : textFonts_) list.Visit(*name);
    for (const string* name : dimensionFonts_) list.Visit(*name);
    list.VisitDefinitions();
  }

 private:
  // The fewest bytes an entity object or a definition can take on file, for the count checks.
  static uint64_t MinEntityBytes(Integer ver) { return 2 + FixedSize(Part::kTen, ver); }
  static uint64_t MinDefinitionBytes(Integer ver) { return 2 + FixedSize(Part::kBlockDef, ver) + 1 + 2; }

  /// A count that the rest of the file could not hold ends the read before it sizes anything.
  void CheckCount(uint64_t count, uint64_t minBytes) const {
    if (count > s_.Remaining() / minBytes) throw TJwwIOError(kIOError);
  }

  bool BudgetLeft() const { return !bounded_ || items_ < budget_; }

  /// Sizes a drawing order for `count` objects. A whole read has the stored count of entries
  /// (those of dropped objects stay EntType 0): its room is made here and its entries appended
  /// as the objects are read, each written once; EndOrder completes it. A preview keeps only the
  /// entries it reads, so its cost follows the budget, not what the file claims; its count grows
  /// as it reads.
  void StartOrder(TLists& t, Cardinal count) {
    if (!bounded_) {
      t.order.clear();
      ReserveList(t.order, count);
      t.order.reserve(count);  // the whole order or nothing: the appends never reallocate
      t.orderN = static_cast<Integer>(count);
      return;
    }
    t.order.clear();
    t.order.reserve(std::min<uint64_t>(count, static_cast<uint64_t>(std::max<Integer>(budget_ - items_, 0))));
    t.orderN = 0;
  }

  /// After a whole read's list, also one the end of the file cut short: the entries of the
  /// objects not read (dropped, or beyond where the read ended) are EntType 0 entries at the end.
  /// Within the room StartOrder made, so it cannot fail.
  void EndOrder(TLists& t, Cardinal count) {
    if (!bounded_) t.order.resize(count);
  }

  /// Sizes each kind's list, before an entity list is read, so that it grows about once. The
  /// drawing's own list starts each kind from the memory its list had in the last document read
  /// (the library's store keeps it, small lists included): read again, or a drawing like it, it
  /// fits, and nothing is counted; only when a kind's list runs out is the rest counted
  /// (InViewObjects). A definition's list whose bytes are all in view (a file read whole, a
  /// memory stream) gets room for what the stream holds of each kind (TallyKinds); one read
  /// through a window has its rooms made as the windows come, from what the window in view holds.
  /// Growing as the lists fill would copy each list several times and have the kernel clear about
  /// twice its final memory; reserving every kind for the stored count would ask for memory no
  /// list uses.
  void ReserveLists(TLists& t, Cardinal count) {
    tallied_ = false;
    counted_ = false;
    std::fill(std::begin(keptOwner_), std::end(keptOwner_), size_t{0});
    if (bounded_ || count < kTallyFrom) return;
    tallied_ = true;
    if (&t.line == &d_.EntLine) {
      // The drawing's own list starts from the memory its lists had in the last document read
      // (the library's store): read again, or a drawing like it, it fits, and nothing is
      // counted. Only when a kind's list runs out is the rest of the list counted
      // (InViewObjects), so that no list grows more than once.
      t.EachKind([&](auto& list, EntKind kind) { keptOwner_[kind] = TakeKept(list, count); });
      return;
    }
    const uint8_t* p = s_.RestInView();
    if (!p) return;  // read through a window: room is made as the windows come
    counted_ = true;
    const TKindTally k = TallyKinds(p, p + s_.Remaining(), d_.Enthd.jwVer, ar_, count);
    t.EachKind([&](auto& list, EntKind kind) { ReserveList(list, k.n[kind]); });
  }
  /// An empty list of the drawing's own list of `count` objects takes the block its kind had
  /// when that drawing was read last, else the largest kept block of its kind that is not far
  /// beyond what `count` objects could fill: a small drawing read after a large one leaves the
  /// large blocks, and below kLargeList objects (blocks the allocator gives without faults) it
  /// takes none larger than its whole list could fill. Returns the drawing the block was kept
  /// for (0: none taken).
  template <class T>
  static size_t TakeKept(std::vector<T>& v, Cardinal count) {
    if (!v.empty() || v.capacity() != 0) return 0;
    const size_t most = size_t{count} * sizeof(T) * (count >= kLargeList ? 4 : 1);
    auto b = list_cache::TakeLargest(list_cache::Key<T>(), most, count);
    if (!b) return 0;
    v.swap(static_cast<list_cache::ListBlock<T>&>(*b).list);
    return b->owner;
  }
  /// Whether `v` must grow for one more entry: the rest of the list is counted first then.
  template <class T>
  static bool Exhausted(const std::vector<T>& v) {
    return v.size() == v.capacity();
  }
  /// Reserves room for `n` more entries of `v`.
  template <class T>
  static void ReserveMore(std::vector<T>& v, size_t n) {
    if (v.capacity() - v.size() >= n) return;
    try {
      v.reserve(v.size() + n);
    } catch (const std::bad_alloc&) {
      // The list grows as it fills.
    } catch (const std::length_error&) {
    }
  }
  /// From this many objects a list's blocks are large enough that taking a kept one larger than
  /// needed costs less than faulting fresh memory in (TakeKept).
  static constexpr Cardinal kLargeList = 4096;
  /// Lists of a few objects grow as they fill: counting them first, or asking the store for
  /// each kind, would cost more than it saves (the store keeps no small lists of theirs).
  static constexpr Cardinal kTallyFrom = list_cache::kSmallListsFrom;
  /// A summary reserves room for the insertions of a list from this many objects on.
  static constexpr Cardinal kReserveFrom = 4096;

  void Definitions(Cardinal count) {
    const Integer ver = d_.Enthd.jwVer;
    CheckCount(count, MinDefinitionBytes(ver));
    // A preview holds only the definitions it starts (see StartOrder).
    const Integer stored = static_cast<Integer>(count);
    d_.Enthd.n2 = bounded_ ? 0 : stored;
    d_.EntBlockDefN = d_.Enthd.n2;
    if (bounded_) d_.EntBlockDef.clear();
    else d_.EntBlockDef.assign(count, TEntJwwBlockDef{});
    for (Cardinal p = 1; p <= count && BudgetLeft(); ++p) {
      if (bounded_) {
        d_.EntBlockDef.emplace_back();
        d_.Enthd.n2 = d_.EntBlockDefN = static_cast<Integer>(p);
      }
      TEntJwwBlockDef& def = d_.EntBlockDef[p - 1];
      ar_.ReadDefinitionTag(s_);
      try {
        BlockDefHead(io_, def, static_cast<Integer>(p));
      } catch (const TDropObject&) {
        throw TJwwIOError(kIOError);  // a definition is never dropped: the read ends
      }
      const Cardinal m = ReadCount(s_);
      CheckCount(m, MinEntityBytes(ver));
      ar_.ObjectDone();
      TLists lists{def.mLine,  def.mLineN,  def.mEnko,  def.mEnkoN,  def.mTen,
                   def.mTenN,  def.mMoji,   def.mMojiN, def.mSunpo,  def.mSunpoN,
                   def.mSolid, def.mSolidN, def.mBlock, def.mBlockN, def.mNo,
                   def.N,      0.0};
      StartOrder(lists, m);
      ReserveLists(lists, m);
      EntityList(lists, m);
    }
  }

  void EntityList(TLists& t, Cardinal count) {
    Cardinal read = 0;
    try {
      if (!bounded_ && tallied_) {
        // The walk over the bytes in view; what it cannot settle goes through the general path,
        // and each new window of the file takes the walk up again.
        uint64_t walked = ~uint64_t{0};
        bool counted = counted_;
        while (read < count) {
          if (s_.ViewStart() != walked) {
            walked = s_.ViewStart();
            InViewObjects(t, count, read, counted);
            counted = false;
            if (read >= count) break;
          }
          NextObject(t, read);
        }
        tallied_ = false;
      }
      while (read < count && BudgetLeft()) NextObject(t, read);
    } catch (...) {
      EndOrder(t, count);
      throw;
    }
    EndOrder(t, count);
    GiveBackUnused(t);
    // As in a whole read, the entries of dropped objects are EntType 0 entries at the end.
    if (bounded_) {
      t.order.resize(read);
      t.orderN = static_cast<Integer>(t.order.size());
    }
  }

  /// Kept memory taken for a kind the list turned out not to hold goes back to the store, for
  /// the drawing it was kept for. Out of line: EntityList stays small enough that the walk it
  /// calls is compiled on its own.
  [[gnu::noinline]] void GiveBackUnused(TLists& t) {
    const bool own = &t.line == &d_.EntLine;
    t.EachKind([&](auto& list, EntKind kind) {
      if (list.empty() && list.capacity() != 0) RecycleList(list, own ? keptOwner_[kind] : 0);
    });
  }

  /// One tag and, unless it is unrecognised, the object it starts. Inlined: it is the whole
  /// body of the general loop, which a streamed file takes for every object.
  [[gnu::always_inline]] void NextObject(TLists& t, Cardinal& read) {
    if (bounded_) ++items_;
    // Nearly every tag is a two-byte reference to a class already introduced: taken here from
    // the buffer, the rest through the archive.
    EntKind kind;
    uint16_t tag = 0;
    if (const uint8_t* p = s_.PeekInView(2)) std::memcpy(&tag, p, 2);
    if (tag > 0x8000 && tag != TArchive::kNewClassTag) {
      s_.TakeInView(2);
      kind = ar_.EntityKindAt(tag - 0x8000u);
    } else {
      kind = ar_.ReadEntityTag(s_);
    }
    if (kind == kEntNone) return;  // unrecognised: neither an object nor a counter step
    const Integer index = ReadObject(t, kind);
    if (index >= 0) {
      t.order.push_back(TEntJwwNo{kind, index});
      if (bounded_) t.orderN = static_cast<Integer>(t.order.size());
    }
    ++read;
    ar_.ObjectDone();
  }

  // The walk's less frequent steps, kept out of its body (which takes everything else inline).
  /// NextObject, for an object the walk leaves to the general path.
  [[gnu::noinline]] void OneObject(TLists& t, Cardinal& read) { NextObject(t, read); }
  /// A text's two strings that lie whole at `font` and `text` (`fontN`, `textN` bytes with
  /// their length prefixes), decoded into its record.
  [[gnu::noinline]] void MojiStringsAt(TEntJwwMoji& e, const uint8_t* font, size_t fontN, const uint8_t* text,
                                       size_t textN) {
    io_.NameAt(e.strFontName, font, fontN);
    EntityReadIO::TextAt(e.str, text, textN);
  }
  /// Counts the `left` objects of the list that lie at `p` (the archive's counter `done` steps
  /// behind) and gives every kind's list room for what remains of it.
  [[gnu::noinline]] void Recount(TLists& t, const uint8_t* p, const uint8_t* end, Cardinal done, Cardinal left) {
    TArchive at = ar_;
    at.ObjectsDone(done);
    TKindTally k = TallyKinds(p, end, d_.Enthd.jwVer, at, left);
    size_t seen = 0;
    for (size_t n : k.n) seen += n;
    const bool window = seen < left && s_.InView() < s_.Remaining();
    if (window) {
      // Only a window of the list is in view: the rest is taken to hold its kinds as the window
      // does, with a little more, so that a list read through many windows grows about once.
      // Only the kinds out of room grow then; the others keep the room they have.
      for (size_t& n : k.n) {
        if (seen != 0) n = static_cast<size_t>(static_cast<uint64_t>(n) * left / seen);
        n = std::min<size_t>(n + n / 32 + 16, left);
      }
    }
    t.EachKind([&](auto& list, EntKind kind) {
      if (!window || Exhausted(list)) ReserveMore(list, k.n[kind]);
    });
  }

  /// The objects of a whole read that lie in view (all of a file read whole or a memory stream,
  /// the window of a file read through one), when ReserveLists made the list ready for the walk
  /// - `counted`: each kind's list has room for what the list holds of it; else the lists' room
  /// as it stands is filled until a kind runs out, and what is in view is counted then: nearly every
  /// tag is a reference and nearly every record a fixed part that lies whole in the buffer, so
  /// those are decoded straight from it and appended to their list within the room it has -
  /// each record written once, with no per-field bounds checks and no stream cursor to update.
  /// Dimensions, texts whose strings the buffer does not hold whole and objects whose tag
  /// introduces a class go through NextObject with the stream moved to them first; anything the
  /// buffer cannot settle (a record the data cuts short, more objects of a kind than counted)
  /// ends this walk and the general path goes on from there, so that every check, error and
  /// error offset is that of the general path. Returns with the stream at the first object not
  /// read.
  void InViewObjects(TLists& t, Cardinal count, Cardinal& readOut, bool counted) {
    const uint8_t* p = s_.PeekInView(1);
    if (!p || readOut >= count) return;
    try {
      if (d_.Enthd.jwVer >= 351) InViewWalk<true>(t, count, readOut, p, counted);
      else InViewWalk<false>(t, count, readOut, p, counted);
    } catch (...) {
      // NextObject left the stream where its error lies; the lists keep what was read.
      Counts(t);
      throw;
    }
    Counts(t);
  }

  /// Each list's count is its size: the walk appends without counting.
  static void Counts(TLists& t) {
    t.lineN = static_cast<Integer>(t.line.size());
    t.enkoN = static_cast<Integer>(t.enko.size());
    t.tenN = static_cast<Integer>(t.ten.size());
    t.mojiN = static_cast<Integer>(t.moji.size());
    t.sunpoN = static_cast<Integer>(t.sunpo.size());
    t.solidN = static_cast<Integer>(t.solid.size());
    t.blockN = static_cast<Integer>(t.block.size());
  }

  /// Makes a record from `fields` at the end of `v`, whose capacity the caller has checked;
  /// returns its index.
  template <class T, class... F>
  [[gnu::always_inline]] static Integer Append(std::vector<T>& v, F... fields) {
    v.emplace_back(fields...);
    return static_cast<Integer>(v.size() - 1);
  }

  /// InViewObjects' walk, for versions that store nPenWidth (kWidth, 351 on) or not. Its state
  /// (where it stands, the objects read, the archive's pending counter steps, the last class)
  /// is kept in locals that nothing takes the address of, and handed out only where the general
  /// path takes over, so that it can stay in registers. Each record is made in place at the
  /// end of its list, within the list's capacity, from its fields as they lie in the buffer (in
  /// the order of the schema's field lists, LineFields and the others): its room is written
  /// once, not cleared first, and a list never holds a record that was not read.
  template <bool kWidth>
  [[gnu::flatten]] void InViewWalk(TLists& t, Cardinal count, Cardinal& readOut, const uint8_t* p, bool counted) {
    constexpr Integer kVer = kWidth ? 351 : 350;  // for the sizes of the fixed parts
    constexpr size_t attrBytes = FixedSize(Part::kAttr, kVer);
    constexpr size_t lineBytes = FixedSize(Part::kLine, kVer);
    constexpr size_t enkoBytes = FixedSize(Part::kEnko, kVer);
    constexpr size_t tenBytes = FixedSize(Part::kTen, kVer);
    constexpr size_t solidBytes = FixedSize(Part::kSolid, kVer);
    constexpr size_t blockBytes = FixedSize(Part::kBlock, kVer);
    constexpr size_t mojiBytes = FixedSize(Part::kMoji, kVer);
    // The fields after the attribute part, as the cases below take them (FixedSize is checked
    // against the field lists themselves).
    constexpr size_t D = sizeof(Double), C = sizeof(Cardinal);
    static_assert(lineBytes == attrBytes + 4 * D && enkoBytes == attrBytes + 7 * D + C &&
                  tenBytes == attrBytes + 2 * D + C && kTenTailBytes == C + 2 * D &&
                  solidBytes == attrBytes + 8 * D && kSolidColorBytes == C && blockBytes == attrBytes + 5 * D + C &&
                  mojiBytes == attrBytes + 4 * D + C + 4 * D);
    const Double noTail = t.noTailScale;
    std::vector<TEntJwwNo>& order = t.order;
    const uint8_t* synced = p;  // where the stream stands
    const uint8_t* end = p + s_.InView();
    Cardinal read = readOut;
    Cardinal done = 0;  // objects handled since the archive's counter was brought up to date
    Cardinal lastIndex = 0;
    EntKind lastKind = kEntNone;
    // The kinds of the class indices met, by the index's low bits: where kinds alternate, a
    // look-up here instead of the archive's scan of its seven classes, whose result the
    // dispatch waits on. Forgotten whenever the general path has registered a class.
    struct KindSlot {
      Cardinal index;
      EntKind kind;
    };
    KindSlot kinds[16];
    auto forget = [&kinds] {
      for (KindSlot& k : kinds) k = {~Cardinal{0}, kEntNone};  // no index has bit 31 set
    };
    forget();
    while (read < count) {
      size_t left = static_cast<size_t>(end - p);
      if (left < 2) break;
      uint16_t tag;
      std::memcpy(&tag, p, 2);
      const uint8_t* q = p + 2;
      left -= 2;
      Cardinal index;
      if (tag > 0x8000 && tag != TArchive::kNewClassTag) {
        index = tag - 0x8000u;  // nearly every object: a reference in two bytes
      } else if (tag == TArchive::kBigRefTag) {
        if (left < 4) break;
        std::memcpy(&index, q, 4);
        index &= ~TArchive::kBigRefFlag;
        q += 4;
        left -= 4;
      } else if (tag == TArchive::kNewClassTag) {
        goto one;  // a class introduced (once per class): the general path registers it
      } else {
        p = q;  // unrecognised: neither an object nor a counter step
        continue;
      }
      if (index != lastIndex) {
        KindSlot& k = kinds[index & 15];
        if (k.index != index) k = {index, ar_.EntityKindAt(index)};
        lastKind = k.kind;
        lastIndex = index;
      }
      {
        // The record's fields after its attribute part, at `b`; made in place from them, the
        // record is written once, where making room first (resize, emplace_back()) clears it
        // and then writes it again. Each case enters the record in the drawing order and moves
        // past it itself, so that nothing but the walk's position is carried out of the switch.
        const uint8_t* const b = q + attrBytes;
        switch (lastKind) {
          case kEntNone:
            p = q;  // a reference to no entity class: neither an object nor a counter step
            continue;
          case kEntLine:
            if (left < lineBytes) goto general;
            if (Exhausted(t.line)) goto full;
            order.push_back(TEntJwwNo{kEntLine, Append(t.line, AttrAt(q, kWidth), DoubleAt(b), DoubleAt(b + 8),
                                                       DoubleAt(b + 16), DoubleAt(b + 24))});
            p = q + lineBytes;
            break;
          case kEntEnko:
            if (left < enkoBytes) goto general;
            if (Exhausted(t.enko)) goto full;
            order.push_back(TEntJwwNo{kEntEnko, Append(t.enko, AttrAt(q, kWidth), DoubleAt(b), DoubleAt(b + 8),
                                                       DoubleAt(b + 16), DoubleAt(b + 24), DoubleAt(b + 32),
                                                       DoubleAt(b + 40), DoubleAt(b + 48), CardinalAt(b + 56))});
            p = q + enkoBytes;
            break;
          case kEntTen: {
            // nPenStyle follows the 4-byte group; a style of 100 brings the tail.
            if (left < tenBytes) goto general;
            if (Exhausted(t.ten)) goto full;
            const bool tail = q[4] == 100;
            const size_t used = tenBytes + (tail ? kTenTailBytes : 0);
            if (left < used) goto general;
            const uint8_t* const r = q + tenBytes;  // the tail: nCode, radKaitenKaku, dBairitsu
            order.push_back(TEntJwwNo{kEntTen, Append(t.ten, AttrAt(q, kWidth), DoubleAt(b), DoubleAt(b + 8),
                                                      CardinalAt(b + 16), tail ? CardinalAt(r) : 0u,
                                                      tail ? DoubleAt(r + 4) : 0.0, tail ? DoubleAt(r + 12) : noTail)});
            p = q + used;
            break;
          }
          case kEntSolid: {
            // nPenColor follows the style; a colour of 10 brings the solid's own colour.
            if (left < solidBytes) goto general;
            if (Exhausted(t.solid)) goto full;
            uint16_t color;
            std::memcpy(&color, q + 5, 2);
            const bool own = color == 10;
            const size_t used = solidBytes + (own ? kSolidColorBytes : 0);
            if (left < used) goto general;
            order.push_back(TEntJwwNo{kEntSolid, Append(t.solid, AttrAt(q, kWidth), DoubleAt(b), DoubleAt(b + 8),
                                                        DoubleAt(b + 16), DoubleAt(b + 24), DoubleAt(b + 32),
                                                        DoubleAt(b + 40), DoubleAt(b + 48), DoubleAt(b + 56),
                                                        own ? CardinalAt(q + solidBytes) : 0u)});
            p = q + used;
            break;
          }
          case kEntBlock:
            if (left < blockBytes) goto general;
            if (Exhausted(t.block)) goto full;
            order.push_back(TEntJwwNo{kEntBlock, Append(t.block, AttrAt(q, kWidth), DoubleAt(b), DoubleAt(b + 8),
                                                        DoubleAt(b + 16), DoubleAt(b + 24), DoubleAt(b + 32),
                                                        CardinalAt(b + 40))});
            p = q + blockBytes;
            break;
          case kEntMoji: {
            // A text of the drawing or a definition whose strings lie whole in the buffer.
            if (left < mojiBytes) goto one;
            const uint8_t* font = q + mojiBytes;
            const size_t fontN = StrExtent(font, left - mojiBytes);
            if (fontN == 0) goto one;
            const uint8_t* text = font + fontN;
            const size_t textN = StrExtent(text, left - mojiBytes - fontN);
            if (textN == 0) goto one;
            if (Exhausted(t.moji)) goto full;
            // The record is made from its fields, its strings empty, and they are decoded into
            // it where it lies.
            Double sizeX = DoubleAt(b + 36), sizeY = DoubleAt(b + 44), spacing = DoubleAt(b + 52);
            header_fix::FiniteSize(sizeX);
            header_fix::FiniteSize(sizeY);
            header_fix::FiniteSpacing(spacing);
            order.push_back(TEntJwwNo{kEntMoji, Append(t.moji, AttrAt(q, kWidth), DoubleAt(b), DoubleAt(b + 8),
                                                       DoubleAt(b + 16), DoubleAt(b + 24), CardinalAt(b + 32), sizeX,
                                                       sizeY, spacing, DoubleAt(b + 60))});
            MojiStringsAt(t.moji.back(), font, fontN, text, textN);
            p = text + textN;
            break;
          }
          default:
            if (!counted && lastKind == kEntSunpo && Exhausted(t.sunpo)) goto full;
            goto one;
        }
      }
      ++read;
      ++done;
      continue;
    one: {
      // A dimension, a text whose strings the buffer does not hold whole, or an object whose
      // tag introduces a class: through the general path from its tag, and the walk goes on
      // after it.
      s_.Skip(static_cast<uint64_t>(p - synced));
      ar_.ObjectsDone(done);
      done = 0;
      Counts(t);
      readOut = read;
      OneObject(t, readOut);
      read = readOut;
      // The object may have taken the stream into the next window: the walk goes on in view.
      p = synced = s_.PeekInView(1);
      if (!p) return;
      end = p + s_.InView();
      lastIndex = 0;  // a class it introduced may have moved an index
      lastKind = kEntNone;
      if (tag == TArchive::kNewClassTag) forget();  // only a new class registers one
      continue;
    }
    full: {
      // A kind's list ran out of its room: the rest of the list is counted from this object
      // on, every list gets room for what remains of its kind, and the object is taken again.
      // A list that was counted already, or that the count cannot settle, goes on through the
      // general path.
      if (counted) break;
      counted = true;
      Recount(t, p, end, done, count - read);
      continue;
    }
    general:
      break;
    }
    s_.Skip(static_cast<uint64_t>(p - synced));
    ar_.ObjectsDone(done);
    readOut = read;
  }

  /// The bytes a string takes at `p` in any of its forms (length prefix included) when all of
  /// them are among the `left` bytes there; 0 otherwise.
  static size_t StrExtent(const uint8_t* p, size_t left) {
    if (left < 1) return 0;
    size_t head = 1;
    size_t bytes = p[0];
    if (bytes == 255) {
      if (left < 3) return 0;
      uint16_t n16;
      std::memcpy(&n16, p + 1, 2);
      head = 3;
      bytes = n16;
      if (n16 == 0xFFFE) {
        if (left < 4) return 0;
        size_t units = p[3];
        head = 4;
        if (units == 255) {
          if (left < 6) return 0;
          uint16_t u16;
          std::memcpy(&u16, p + 4, 2);
          units = u16;
          head = 6;
        }
        bytes = units * 2;
      }
    }
    return left - head >= bytes ? head + bytes : 0;
  }

  /// The drawing's own entity list, read for a summary: every object is read and checked as in
  /// EntityList, but only block insertions are kept (and entered in the drawing order); the other
  /// kinds are counted, and of texts and dimensions each distinct font name is noted once.
  void SummaryList(Cardinal count) {
    TJwwKindCounts& c = *summary_;
    c = TJwwKindCounts{};
    c.stored = static_cast<Integer>(count);
    d_.EntNo.clear();
    d_.Enthd.n1 = 0;
    if (count >= kReserveFrom)
      ReserveList(d_.EntBlock, std::min<uint64_t>(count, s_.Remaining() / (2 + FixedSize(Part::kBlock, d_.Enthd.jwVer))));
    io_.SkipTexts(true);
    auto note = [](std::unordered_set<string>& seen, std::vector<const string*>& order, const string& name) {
      if (!order.empty() && *order.back() == name) return;  // most texts use the font before them
      auto [it, added] = seen.insert(name);
      if (added) order.push_back(&*it);
    };
    for (Cardinal read = 0; read < count; ++read) {
      const EntKind kind = ar_.ReadEntityTag(s_);
      if (kind == kEntNone) {
        --read;  // unrecognised: neither an object nor a counter step
        continue;
      }
      switch (kind) {
        case kEntLine: Scratch(c.line, [&] { LineRecord(io_, line_); }); break;
        case kEntEnko: Scratch(c.enko, [&] { EnkoRecord(io_, enko_); }); break;
        case kEntTen: Scratch(c.ten, [&] { TenRecord(io_, ten_, 1.0); }); break;
        case kEntMoji:
          // A fresh record's names are empty; the reused one's are emptied to match.
          moji_.strFontName.clear();
          Scratch(c.moji, [&] { MojiRecord(io_, moji_); },
                  [&] { note(fontsSeen_, textFonts_, moji_.strFontName); });
          break;
        case kEntSunpo:
          sunpo_.Moji.strFontName.clear();
          Scratch(c.sunpo, [&] { SunpoRecord(io_, sunpo_); },
                  [&] { note(dimensionFontsSeen_, dimensionFonts_, sunpo_.Moji.strFontName); });
          break;
        case kEntSolid: Scratch(c.solid, [&] { SolidRecord(io_, solid_); }); break;
        case kEntBlock: {
          const Integer index = Add(d_.EntBlock, d_.EntBlockN, [&](auto& e) { BlockRecord(io_, e); });
          if (index >= 0) {
            d_.EntNo.push_back(TEntJwwNo{kEntBlock, index});
            d_.Enthd.n1 = static_cast<Integer>(d_.EntNo.size());
            ++c.block;
          }
          break;
        }
        default: break;
      }
      ar_.ObjectDone();
    }
    io_.SkipTexts(false);  // the definitions' texts are kept
  }

  /// Reads one object into a reused record and counts it, unless it was dropped; `kept` then
  /// notes what the summary needs of it. An object the end of the file cuts short still counts
  /// (and is noted), as its partly read record stays in a whole read's list.
  template <class Body, class Kept = void (*)()>
  static void Scratch(Integer& n, Body&& body, Kept&& kept = [] {}) {
    try {
      body();
    } catch (const TDropObject&) {
      return;
    } catch (const TJwwIOError&) {
      ++n;
      kept();
      throw;
    }
    ++n;
    kept();
  }

  /// Appends one object to its list; returns its index, or -1 when it was dropped.
  template <class T, class Body>
  static Integer Add(std::vector<T>& list, Integer& n, Body&& body) {
    list.emplace_back();
    ++n;
    try {
      body(list.back());
    } catch (const TDropObject&) {
      list.pop_back();
      --n;
      return -1;
    }
    return n - 1;
  }

  Integer ReadObject(TLists& t, EntKind kind) {
    switch (kind) {
      case kEntLine:
        return Add(t.line, t.lineN, [&](auto& e) { LineRecord(io_, e); });
      case kEntEnko:
        return Add(t.enko, t.enkoN, [&](auto& e) { EnkoRecord(io_, e); });
      case kEntTen:
        return Add(t.ten, t.tenN, [&](auto& e) { TenRecord(io_, e, t.noTailScale); });
      case kEntMoji:
        return Add(t.moji, t.mojiN, [&](auto& e) { MojiRecord(io_, e); });
      case kEntSunpo:
        return Add(t.sunpo, t.sunpoN, [&](auto& e) { SunpoRecord(io_, e); });
      case kEntSolid:
        return Add(t.solid, t.solidN, [&](auto& e) { SolidRecord(io_, e); });
      case kEntBlock:
        return Add(t.block, t.blockN, [&](auto& e) { BlockRecord(io_, e); });
      default:
        return -1;
    }
  }

  TJwwData& d_;
  InStream& s_;
  EntityReadIO io_;
  TArchive ar_;
  /// Whether the entity list about to be read is walked in view (InViewObjects), and whether
  /// ReserveLists counted it whole (else its lists start from the room they have).
  bool tallied_ = false;
  bool counted_ = false;
  /// The drawing each kind's kept block was kept for (TakeKept), by kind.
  size_t keptOwner_[8] = {};
  bool bounded_;
  Integer budget_;
  Integer items_ = 0;
  // A summary read's counts, reused records and the distinct font names in the order met.
  TJwwKindCounts* summary_;
  TEntJwwLine line_;
  TEntJwwEnko enko_;
  TEntJwwTen ten_;
  TEntJwwMoji moji_;
  TEntJwwSunpo sunpo_;
  TEntJwwSolid solid_;
  std::unordered_set<string> fontsSeen_, dimensionFontsSeen_;
  std::vector<const string*> textFonts_, dimensionFonts_;
};

}  // namespace

namespace {
/// Whole reads take a file of up to this size in one read() into one buffer (whose memory stays
/// for the next read), so that its lists are sized by what it holds; a larger file is read
/// through a window of this size, walked in place as it comes. A read's peak memory stays its
/// lists plus this much, and the window stays in the processor's second-level cache while it is
/// decoded (a 3.6 MB file read whole and then walked cost a tenth more).
constexpr size_t kWindow = size_t{256} << 10;
}  // namespace

Boolean TJwwData::DrawingIn(InStream& s, bool bounded, Integer ZMaxN, TJwwKindCounts* summary) {
  ClearLastError();
  if (summary) *summary = TJwwKindCounts{};
  bool ok = false;
  std::optional<StreamReader> reader;  // in place: a read makes no allocation it need not
  try {
    {
      // The header tables keep their memory for the header about to be read: HeaderIn gives
      // each its fixed size again at once, so freeing and allocating them again (with their
      // hundreds of names) would only cost time.
      auto lgrp = std::move(EntLgrp);
      auto lay = std::move(EntLay);
      auto col = std::move(EntCol);
      auto ltp1 = std::move(EntLtp1);
      auto ltp2 = std::move(EntLtp2);
      auto ltp3 = std::move(EntLtp3);
      auto moj = std::move(EntMoj);
      auto colS = std::move(EntColS);
      auto ltpS = std::move(EntLtpS);
      DataInit();
      EntLgrp = std::move(lgrp);
      EntLay = std::move(lay);
      EntCol = std::move(col);
      EntLtp1 = std::move(ltp1);
      EntLtp2 = std::move(ltp2);
      EntLtp3 = std::move(ltp3);
      EntMoj = std::move(moj);
      EntColS = std::move(colS);
      EntLtpS = std::move(ltpS);
    }
    if (!HeaderIn(s)) return false;  // no block tree after a header failure
    reader.emplace(*this, s, bounded, ZMaxN, summary);
    reader->Run();
    ok = true;
    // The drawing is whole; an image that did not reach the folder is told, not failed on.
    if (!reader->imagesLost.empty()) SetLastError(reader->imagesLost.c_str(), s.Position());
  } catch (const TJwwIOError& e) {
    SetLastError(e.what(), s.Position());
  } catch (...) {
    SetLastError(kIOError, s.Position());
  }
  if (summary && reader) {
    try {
      reader->SummaryFontNames();
    } catch (...) {
      FontNames = {};
      FontNameN = 0;
      if (ok) SetLastError("cannot list the font names (out of memory)", s.Position());
      ok = false;
    }
  }
  try {
    MakeBlockTree();
  } catch (...) {
    EntBlockTree = {};
    EntBlockTreeN = 0;
    if (ok) SetLastError("cannot build the block tree (out of memory)", s.Position());
    ok = false;
  }
  return ok;
}

Boolean TJwwData::FileIn(const string& FName) {
  try {
    const char* why = kCannotOpen;
    InStream s;
    if (s.Open(FName, kWindow, &why, kWindow)) return DrawingIn(s, false, 0);
    DataInit();
    SetLastError(why, 0);
  } catch (...) {
    SetLastError(kIOError, 0);
  }
  return false;
}

Boolean TJwwData::FileSummaryIn(const string& FName, TJwwKindCounts& counts) {
  counts = TJwwKindCounts{};
  try {
    const char* why = kCannotOpen;
    InStream s;
    if (s.Open(FName, kWindow, &why, kWindow)) return DrawingIn(s, false, 0, &counts);
    DataInit();
    SetLastError(why, 0);
  } catch (...) {
    SetLastError(kIOError, 0);
  }
  return false;
}

Boolean TJwwData::FilePrevIn(const string& FName, Integer ZMaxN) {
  try {
    const char* why = kCannotOpen;
    InStream s;
    if (s.Open(FName, 1 << 16, &why)) return DrawingIn(s, true, ZMaxN);
    DataInit();
    SetLastError(why, 0);
  } catch (...) {
    SetLastError(kIOError, 0);
  }
  return false;
}

}  // namespace jww
