// Whole-drawing reading: FileIn and, under an item budget, FilePrevIn. After the header comes the
// entity stream: the drawing's entity list, the block definitions with their own entity lists
// and, in version 700, the bound-image section. The records themselves are read through the
// schemas of jww/schema.h, the tags and counts through jww/archive.h.
//
// Trust: the file is hostile. Every count is compared with the bytes that remain before anything
// is sized by it, and any read that meets the end of the file ends the read with "File I/O
// Error", so no loop can spin on an exhausted file.
#include <algorithm>
#include <cstring>

#include "common/Func_2.h"
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
  /// AttrIn: all seven fields cleared, then 15 bytes (13 up to version 350, without nPenWidth).
  void Attr(TEntJwwAttr& a, int) {
    a = {};
    AttrFields(*this, a, ver_);
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
  void Str(string& v, StrKind) { v = StrInNoCtrlStrict(s_); }
  void TextStr(string& v) { v = StrInNoCtrlStrict(s_); }
  void BlockNumber(Cardinal& n) { Num(n); }
  static Byte WrittenStyle(const TEntJwwAttr& a, int) { return a.nPenStyle; }
  static Word WrittenColor(const TEntJwwAttr& a, int) { return a.nPenColor; }
  /// A long time field: its 8 bytes are skipped and dtime becomes the definition's position.
  void LongTime(TEntJwwBlockDef& d, Integer pos) {
    if (s_.Skip(8) != 8) throw TJwwIOError(kIOError);
    d.dtime = static_cast<Cardinal>(pos);
  }

 private:
  InStream& s_;
  Integer ver_;
};

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
};

class StreamReader {
 public:
  StreamReader(TJwwData& d, InStream& s, bool bounded, Integer budget)
      : d_(d), s_(s), io_(s, d.Enthd.jwVer), bounded_(bounded), budget_(budget) {}

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
    StartOrder(top, n);
    ReserveLists(top, n);
    EntityList(top, n);

    const uint16_t w = s_.Get<uint16_t>();
    if (w != 0 && BudgetLeft()) Definitions(w == 0xFFFF ? s_.Get<Cardinal>() : w);

    if (!bounded_ && ver >= 700) BindImagesIn(d_, s_);
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
  /// (those of dropped objects stay EntType 0). A preview keeps only the entries it reads, so its
  /// cost follows the budget, not what the file claims; its count grows as it reads.
  void StartOrder(TLists& t, Cardinal count) {
    if (!bounded_) {
      if (count >= kReserveFrom) ReserveList(t.order, count);
      t.order.assign(count, TEntJwwNo{});
      t.orderN = static_cast<Integer>(count);
      return;
    }
    t.order.clear();
    t.order.reserve(std::min<uint64_t>(count, static_cast<uint64_t>(std::max<Integer>(budget_ - items_, 0))));
    t.orderN = 0;
  }

  /// Sizes each kind's list once, before a large entity list is read: to the stored count, but
  /// never to more objects of that kind than the remaining bytes could hold. Growing instead
  /// copies each list several times and has the kernel clear about twice its final memory.
  void ReserveLists(TLists& t, Cardinal count) {
    if (bounded_ || count < kReserveFrom) return;
    const Integer ver = d_.Enthd.jwVer;
    const uint64_t left = s_.Remaining();
    auto cap = [&](uint64_t minBytes) { return static_cast<size_t>(std::min<uint64_t>(count, left / minBytes)); };
    ReserveList(t.line, cap(2 + FixedSize(Part::kLine, ver)));
    ReserveList(t.enko, cap(2 + FixedSize(Part::kEnko, ver)));
    ReserveList(t.ten, cap(2 + FixedSize(Part::kTen, ver)));
    ReserveList(t.moji, cap(2 + FixedSize(Part::kMoji, ver)));
    ReserveList(t.sunpo, cap(2 + FixedSize(Part::kLine, ver) + FixedSize(Part::kMoji, ver)));
    ReserveList(t.solid, cap(2 + FixedSize(Part::kSolid, ver)));
    ReserveList(t.block, cap(2 + FixedSize(Part::kBlock, ver)));
  }
  /// Smaller lists grow as they fill: reserving for every kind would cost more than it saves.
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
    size_t pos = 0;
    while (read < count && BudgetLeft()) {
      if (bounded_) ++items_;
      const EntKind kind = ar_.ReadEntityTag(s_);
      if (kind == kEntNone) continue;  // unrecognised: neither an object nor a counter step
      const Integer index = ReadObject(t, kind);
      if (index >= 0) {
        if (bounded_) {
          t.order.push_back(TEntJwwNo{kind, index});
          t.orderN = static_cast<Integer>(t.order.size());
        } else {
          t.order[pos] = TEntJwwNo{kind, index};
        }
        ++pos;
      }
      ++read;
      ar_.ObjectDone();
    }
    // As in a whole read, the entries of dropped objects are EntType 0 entries at the end.
    if (bounded_) {
      t.order.resize(t.order.size() + (read - pos));
      t.orderN = static_cast<Integer>(t.order.size());
    }
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
  bool bounded_;
  Integer budget_;
  Integer items_ = 0;
};

}  // namespace

Boolean TJwwData::DrawingIn(InStream& s, bool bounded, Integer ZMaxN) {
  ClearLastError();
  bool ok = false;
  try {
    DataInit();
    if (!HeaderIn(s)) return false;  // no block tree after a header failure
    StreamReader(*this, s, bounded, ZMaxN).Run();
    ok = true;
  } catch (const TJwwIOError& e) {
    SetLastError(e.what(), s.Position());
  } catch (...) {
    SetLastError(kIOError, s.Position());
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
    if (auto s = InStream::OpenFile(FName, 1 << 16, &why)) return DrawingIn(*s, false, 0);
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
    if (auto s = InStream::OpenFile(FName, 1 << 16, &why)) return DrawingIn(*s, true, ZMaxN);
    DataInit();
    SetLastError(why, 0);
  } catch (...) {
    SetLastError(kIOError, 0);
  }
  return false;
}

}  // namespace jww
