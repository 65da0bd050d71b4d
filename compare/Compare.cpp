#include "compare/Compare.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <utility>

#include "common/Func_2.h"
#include "compare/fields.h"
#include "jww/entity_in.h"

namespace compare {

using namespace jww;
using detail::DefNames;
using detail::Field;
using detail::Fields;
using detail::Type;

namespace {

// ---- hashing ---------------------------------------------------------------------------------

uint64_t Mix(uint64_t h, uint64_t v) {
  h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
  h ^= h >> 31;
  h *= 0xBF58476D1CE4E5B9ull;
  return h ^ (h >> 29);
}

// One value into a running hash: cheap, since every entity has a dozen or more values; the
// result is mixed once at the end (Final).
uint64_t Step(uint64_t h, uint64_t v) { return (((h << 5) | (h >> 59)) ^ v) * 0x100000001B3ull; }
uint64_t Final(uint64_t h) { return Mix(h, 0); }

// The cell of a value on a grid of the tolerance's size (`inv` is 1 / tolerance); values too
// large for a cell number (and non-finite ones) stand for themselves.
int64_t Cell(double v, double inv) {
  const double s = v * inv;
  if (std::fabs(s) < 4e18) return static_cast<int64_t>(s + (s < 0 ? -0.5 : 0.5));
  int64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

int64_t Floor(double v, double tol) {
  const double s = std::floor(v / tol);
  return std::fabs(s) < 4e18 ? static_cast<int64_t>(s) : (s < 0 ? std::numeric_limits<int64_t>::min() / 2
                                                                   : std::numeric_limits<int64_t>::max() / 2);
}

struct Keys {
  uint64_t full = 0, geo = 0;
};

Keys Hash(const Fields& f, double inv) {
  uint64_t full = 0x1234, geo = 0x5678;
  for (int i = 0; i < f.n; ++i) {
    const Field& x = f.f[i];
    uint64_t v;
    switch (x.type) {
      case Type::Num: v = static_cast<uint64_t>(Cell(x.a, inv)); break;
      case Type::Point:
        v = static_cast<uint64_t>(Cell(x.a, inv)) * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(Cell(x.b, inv));
        break;
      case Type::Text: v = std::hash<std::u16string_view>{}(*x.s); break;
      default: v = static_cast<uint64_t>(x.i);
    }
    full = Step(full, v);
    if (x.geo) geo = Step(geo, v);
  }
  return {Final(full), Final(geo)};
}

// The new entities by a hash, for lookups in constant time: buckets of chains in index order.
class HashIndex {
 public:
  void Build(const std::vector<Keys>& keys, const std::vector<char>& used, bool full) {
    size_t size = 16;
    while (size < 2 * keys.size()) size <<= 1;
    mask_ = size - 1;
    head_.assign(size, -1);
    next_.assign(keys.size(), -1);
    for (size_t j = keys.size(); j-- > 0;) {
      if (used[j]) continue;
      const size_t b = Bucket(full ? keys[j].full : keys[j].geo);
      next_[j] = head_[b];
      head_[b] = static_cast<int32_t>(j);
    }
  }
  /// The first entity of the bucket of `h`; entities already taken at its front are dropped.
  int32_t First(uint64_t h, const std::vector<char>& used) {
    int32_t& head = head_[Bucket(h)];
    while (head >= 0 && used[static_cast<size_t>(head)]) head = next_[static_cast<size_t>(head)];
    return head;
  }
  int32_t Next(int32_t j) const { return next_[static_cast<size_t>(j)]; }

 private:
  size_t Bucket(uint64_t h) const { return static_cast<size_t>(h ^ (h >> 32)) & mask_; }
  size_t mask_ = 0;
  std::vector<int32_t> head_, next_;
};

bool Near(double a, double b, double tol) {
  return a == b || std::fabs(a - b) <= tol || (std::isnan(a) && std::isnan(b));
}

bool SameValue(const Field& x, const Field& y, double tol) {
  switch (x.type) {
    case Type::Num: return Near(x.a, y.a, tol);
    case Type::Point: return Near(x.a, y.a, tol) && Near(x.b, y.b, tol);
    case Type::Text: return *x.s == *y.s;
    default: return x.i == y.i;
  }
}

bool SameGeo(const Fields& a, const Fields& b, double tol) {
  for (int i = 0; i < a.n; ++i)
    if (a.f[i].geo && !SameValue(a.f[i], b.f[i], tol)) return false;
  return true;
}

bool SameAttrs(const Fields& a, const Fields& b, double tol) {
  for (int i = 0; i < a.n; ++i)
    if (!a.f[i].geo && !SameValue(a.f[i], b.f[i], tol)) return false;
  return true;
}

// How far apart two matching geometries lie: the largest difference of any value.
double Distance(const Fields& a, const Fields& b) {
  double d = 0;
  for (int i = 0; i < a.n; ++i) {
    if (!a.f[i].geo) continue;
    d = std::max(d, std::fabs(a.f[i].a - b.f[i].a));
    if (a.f[i].type == Type::Point) d = std::max(d, std::fabs(a.f[i].b - b.f[i].b));
  }
  return d;
}

std::vector<std::string> Differences(const Fields& a, const Fields& b, double tol) {
  std::vector<std::string> out;
  for (int i = 0; i < a.n; ++i)
    if (!a.f[i].geo && !SameValue(a.f[i], b.f[i], tol))
      out.push_back(detail::FieldName(a.f[i]) + " " + detail::Shown(a.f[i]) + " " + kArrow + " " +
                    detail::Shown(b.f[i]));
  return out;
}

// ---- moved entities --------------------------------------------------------------------------

// A hash of an entity's shape and values that ignores where it lies: every point taken from the
// first (each kind's geometry starts with a point), everything else as it is.
uint64_t ShapeKey(const Fields& f, double inv) {
  const double x0 = f.f[0].a, y0 = f.f[0].b;
  uint64_t h = 0x9ABC;
  for (int i = 0; i < f.n; ++i) {
    const Field& x = f.f[i];
    uint64_t v;
    switch (x.type) {
      case Type::Num: v = static_cast<uint64_t>(Cell(x.a, inv)); break;
      case Type::Point:
        v = static_cast<uint64_t>(Cell(x.a - x0, inv)) * 0x9E3779B97F4A7C15ull +
            static_cast<uint64_t>(Cell(x.b - y0, inv));
        break;
      case Type::Text: v = std::hash<std::u16string_view>{}(*x.s); break;
      default: v = static_cast<uint64_t>(x.i);
    }
    h = Step(h, v);
  }
  return Final(h);
}

// `b` is `a` moved by (dx, dy): every point moved by it, every other value the same.
bool Translated(const Fields& a, const Fields& b, double dx, double dy, double tol) {
  for (int i = 0; i < a.n; ++i) {
    const Field &x = a.f[i], &y = b.f[i];
    if (x.type != Type::Point) {
      if (!SameValue(x, y, tol)) return false;
    } else if (!(std::fabs(y.a - x.a - dx) <= 2 * tol && std::fabs(y.b - x.b - dy) <= 2 * tol)) {
      return false;
    }
  }
  return true;
}

// ---- records equal as stored ----------------------------------------------------------------

// Most entities of a revision are stored exactly as before; a comparison of the records' own
// values confirms those without filling their field lists (a third of the time on a large
// drawing). False means "compare the fields", not "different".
bool Same(const TEntJwwAttr& x, const TEntJwwAttr& y) {
  return x.lGroup == y.lGroup && x.nPenStyle == y.nPenStyle && x.nPenColor == y.nPenColor &&
         x.nPenWidth == y.nPenWidth && x.nLayer == y.nLayer && x.nGLayer == y.nGLayer && x.sFlg == y.sFlg;
}
bool Identical(const TEntJwwLine& x, const TEntJwwLine& y) {
  return Same(x.att, y.att) && x.start_x == y.start_x && x.start_y == y.start_y && x.end_x == y.end_x &&
         x.end_y == y.end_y;
}
bool Identical(const TEntJwwEnko& x, const TEntJwwEnko& y) {
  return Same(x.att, y.att) && x.start_x == y.start_x && x.start_y == y.start_y && x.dHankei == y.dHankei &&
         x.radKaishiKaku == y.radKaishiKaku && x.radEnkoKaku == y.radEnkoKaku &&
         x.radKatamukiKaku == y.radKatamukiKaku && x.dHenpeiRitsu == y.dHenpeiRitsu && x.bZenEnFlg == y.bZenEnFlg;
}
bool Identical(const TEntJwwTen& x, const TEntJwwTen& y) {
  return Same(x.att, y.att) && x.start_x == y.start_x && x.start_y == y.start_y && x.bKariten == y.bKariten &&
         x.nCode == y.nCode && x.radKaitenKaku == y.radKaitenKaku && x.dBairitsu == y.dBairitsu;
}
bool Identical(const TEntJwwMoji& x, const TEntJwwMoji& y) {
  return Same(x.att, y.att) && x.start_x == y.start_x && x.start_y == y.start_y && x.end_x == y.end_x &&
         x.end_y == y.end_y && x.nMojiShu == y.nMojiShu && x.dSizeX == y.dSizeX && x.dSizeY == y.dSizeY &&
         x.dKankaku == y.dKankaku && x.degKakudo == y.degKakudo && x.strFontName == y.strFontName && x.str == y.str;
}
bool Identical(const TEntJwwSolid& x, const TEntJwwSolid& y) {
  return Same(x.att, y.att) && x.start_x == y.start_x && x.start_y == y.start_y && x.end_x == y.end_x &&
         x.end_y == y.end_y && x.DPoint2_x == y.DPoint2_x && x.DPoint2_y == y.DPoint2_y &&
         x.DPoint3_x == y.DPoint3_x && x.DPoint3_y == y.DPoint3_y && x.Color == y.Color;
}
bool Identical(const TEntJwwSunpo& x, const TEntJwwSunpo& y) {
  return Same(x.att, y.att) && x.bSxfMode == y.bSxfMode && Identical(x.Sen, y.Sen) && Identical(x.Moji, y.Moji) &&
         Identical(x.Ho1, y.Ho1) && Identical(x.Ho2, y.Ho2) && Identical(x.Te1, y.Te1) && Identical(x.Te2, y.Te2) &&
         Identical(x.Kt1, y.Kt1) && Identical(x.Kt2, y.Kt2);
}
// An insertion's definition number stands for a name: equal numbers are the same definition only
// where both drawings number their definitions alike (Matcher::Alike checks that first).
bool Identical(const TEntJwwBlock& x, const TEntJwwBlock& y) {
  return Same(x.att, y.att) && x.DPKijunTen_x == y.DPKijunTen_x && x.DPKijunTen_y == y.DPKijunTen_y &&
         x.dBairitsuX == y.dBairitsuX && x.dBairitsuY == y.dBairitsuY && x.radKaitenKaku == y.radKaitenKaku &&
         x.nNumber == y.nNumber;
}

// A hash of a record's stored values, agreeing with Identical: equal records hash alike (0 and
// -0 are one value). No field list is filled, so it costs a few instructions a value.
uint64_t Bits(double v) {
  uint64_t u = 0;
  if (v != 0) std::memcpy(&u, &v, sizeof u);
  return u;
}
uint64_t Raw(const TEntJwwAttr& a) {
  return Step(Step(static_cast<uint64_t>(a.lGroup) << 8 | a.nPenStyle,
                   static_cast<uint64_t>(a.nPenColor) << 48 | static_cast<uint64_t>(a.nPenWidth) << 32 |
                       static_cast<uint64_t>(a.nLayer) << 16 | a.nGLayer),
              a.sFlg);
}
template <class... D>
uint64_t Raw(uint64_t h, D... v) {
  ((h = Step(h, Bits(v))), ...);
  return Final(h);
}
uint64_t RawHash(const TEntJwwLine& x) { return Raw(Raw(x.att), x.start_x, x.start_y, x.end_x, x.end_y); }
uint64_t RawHash(const TEntJwwEnko& x) {
  return Raw(Step(Raw(x.att), static_cast<uint64_t>(x.bZenEnFlg)), x.start_x, x.start_y, x.dHankei, x.radKaishiKaku,
             x.radEnkoKaku, x.radKatamukiKaku, x.dHenpeiRitsu);
}
uint64_t RawHash(const TEntJwwTen& x) {
  return Raw(Step(Raw(x.att), static_cast<uint64_t>(x.bKariten) << 32 | static_cast<uint32_t>(x.nCode)), x.start_x,
             x.start_y, x.radKaitenKaku, x.dBairitsu);
}
uint64_t RawHash(const TEntJwwMoji& x) {
  const uint64_t texts = std::hash<std::u16string_view>{}(x.str) ^ std::hash<std::u16string_view>{}(x.strFontName) * 31;
  return Raw(Step(Step(Raw(x.att), x.nMojiShu), texts), x.start_x, x.start_y, x.end_x, x.end_y, x.dSizeX, x.dSizeY,
             x.dKankaku, x.degKakudo);
}
uint64_t RawHash(const TEntJwwSolid& x) {
  return Raw(Step(Raw(x.att), static_cast<uint32_t>(x.Color)), x.start_x, x.start_y, x.end_x, x.end_y, x.DPoint2_x,
             x.DPoint2_y, x.DPoint3_x, x.DPoint3_y);
}
uint64_t RawHash(const TEntJwwBlock& x) {
  return Raw(Step(Raw(x.att), x.nNumber), x.DPKijunTen_x, x.DPKijunTen_y, x.dBairitsuX, x.dBairitsuY, x.radKaitenKaku);
}
uint64_t RawHash(const TEntJwwSunpo& x) {
  uint64_t h = Step(Raw(x.att), x.bSxfMode);
  for (uint64_t part : {RawHash(x.Sen), RawHash(x.Moji), RawHash(x.Ho1), RawHash(x.Ho2), RawHash(x.Te1),
                        RawHash(x.Te2), RawHash(x.Kt1), RawHash(x.Kt2)})
    h = Step(h, part);
  return Final(h);
}

// The new records by their stored values, for pairing records stored exactly alike in any order
// (a list reordered): open addressing, one slot per distinct record, holding the unpaired records
// of that value as a chain, so a lookup touches a slot and a record, and duplicates cost no
// rescans. Its memory is the caller's, kept from one list to the next: fresh memory costs the
// kernel's clearing of every page.
struct ExactScratch {
  struct Slot {
    uint32_t tag = 0;
    int32_t head = -1;  ///< the first record of the slot's value not yet taken; kFree, kSpent
  };
  static constexpr int32_t kFree = -1, kSpent = -2;  ///< no value yet; a value all taken
  std::vector<Slot> slots;
  std::vector<int32_t> next;
  std::vector<uint32_t> order;
  std::vector<uint64_t> hashes;
};

template <class R>
class ExactIndex {
 public:
  using Slot = ExactScratch::Slot;

  ExactIndex(const std::vector<R>& b, size_t n, const std::vector<char>& used, ExactScratch& scratch)
      : b_(b), x_(scratch) {
    // Hashed first, then placed with the slots a few records ahead already on their way into
    // the cache: the slots are met in random order, and waiting for each took most of the time.
    // Descending, so that each chain starts with the first record of its value.
    x_.order.clear(), x_.hashes.clear();
    for (size_t j = n; j-- > 0;)
      if (!used[j]) x_.order.push_back(static_cast<uint32_t>(j)), x_.hashes.push_back(RawHash(b[j]));
    size_t size = 16;
    while (size < 2 * x_.order.size()) size <<= 1;
    mask_ = size - 1;
    x_.slots.assign(size, Slot{});
    x_.next.resize(n);
    const size_t m = x_.order.size();
    for (size_t k = 0; k < m; ++k) {
      if (k + kAhead < m) __builtin_prefetch(&x_.slots[x_.hashes[k + kAhead] & mask_]);
      const uint32_t j = x_.order[k];
      Slot& s = Find(x_.hashes[k], b[j], true);
      x_.next[j] = s.head;
      s.head = static_cast<int32_t>(j);
    }
  }

  /// Pairs each record of `a` not yet matched with a new record stored exactly alike, if one is
  /// left.
  void TakeAll(const std::vector<R>& a, size_t n, std::vector<int>& match, std::vector<char>& used) {
    x_.order.clear(), x_.hashes.clear();
    for (size_t i = 0; i < n; ++i)
      if (match[i] < 0) x_.order.push_back(static_cast<uint32_t>(i)), x_.hashes.push_back(RawHash(a[i]));
    // Two stages ahead: the slot, then (once the slot is at hand) the record it names.
    const size_t m = x_.order.size();
    for (size_t k = 0; k < m; ++k) {
      if (k + 2 * kAhead < m) __builtin_prefetch(&x_.slots[x_.hashes[k + 2 * kAhead] & mask_]);
      if (k + kAhead < m) {
        const Slot& s = x_.slots[x_.hashes[k + kAhead] & mask_];
        if (s.head >= 0) {
          __builtin_prefetch(&b_[static_cast<size_t>(s.head)]);
          __builtin_prefetch(&x_.next[static_cast<size_t>(s.head)]);
        }
      }
      const uint32_t i = x_.order[k];
      Slot& s = Find(x_.hashes[k], a[i], false);
      const int32_t j = s.head;
      if (j < 0) continue;
      const int32_t following = x_.next[static_cast<size_t>(j)];
      s.head = following >= 0 ? following : ExactScratch::kSpent;
      match[i] = j, used[static_cast<size_t>(j)] = 1;
    }
  }

 private:
  static constexpr size_t kAhead = 8;
  // The slot of `x`'s value; a free one (where it would go) when there is none.
  Slot& Find(uint64_t h, const R& x, bool building) {
    const auto tag = static_cast<uint32_t>(h >> 32);
    for (size_t at = static_cast<size_t>(h) & mask_;; at = (at + 1) & mask_) {
      Slot& s = x_.slots[at];
      if (s.head == ExactScratch::kFree) {
        if (building) s.tag = tag;
        return s;
      }
      // A value all taken matches nothing more: the lookup goes on, to a free slot.
      if (s.head >= 0 && s.tag == tag && Identical(x, b_[static_cast<size_t>(s.head)])) return s;
    }
  }
  const std::vector<R>& b_;
  ExactScratch& x_;
  size_t mask_ = 0;
};

// ---- one kind's lists ------------------------------------------------------------------------

template <class R>
struct List {
  const std::vector<R>* v = nullptr;
  size_t n = 0;
  const DefNames* names = nullptr;
  int def = -1;
  void Get(size_t i, Fields& f) const {
    f.n = 0;
    f.part = nullptr;
    detail::Fill((*v)[i], *names, f);
  }
};

template <class R>
List<R> MakeList(const std::vector<R>& v, Integer count, const DefNames& names, int def) {
  return {&v, std::min(v.size(), static_cast<size_t>(std::max(count, 0))), &names, def};
}

class Matcher {
 public:
  /// `sameNumbering`: both drawings give each definition number the same name.
  Matcher(double tol, bool sameNumbering, Result& r) : tol_(tol), inv_(1 / tol), sameNumbering_(sameNumbering), r_(r) {}

  /// Records stored exactly alike, and so the same entity.
  template <class R>
  bool Alike(const R& x, const R& y) const {
    if constexpr (std::is_same_v<R, TEntJwwBlock>) return sameNumbering_ && Identical(x, y);
    return Identical(x, y);
  }

  template <class R>
  void Run(EntKind kind, const List<R>& a, const List<R>& b, const std::string& where) {
    std::vector<int> match(a.n, -1);  // old entity -> new entity
    const std::vector<R>& ra = *a.v;
    const std::vector<R>& rb = *b.v;
    std::vector<char> used(b.n, 0);
    std::vector<char> changed(a.n, 0);  // 1: changed, kMoved: moved by by[i]
    std::vector<std::pair<double, double>> by;
    // Fields are large; two reused ones keep the walk free of allocation.
    thread_local Fields fa, fb;

    // A revision keeps most records where they were: walking both lists side by side (stepping
    // over one record added or removed) pairs the records stored exactly alike without hashing
    // them. What this leaves, the hash passes match whatever its order.
    // A walk that has lost step (a list reordered, or many records added in one place) is given
    // up after a run of misses: the lookahead of one record would not find its step again.
    constexpr size_t kLostStep = 64;
    for (size_t i = 0, j = 0, misses = 0; i < a.n && j < b.n && misses < kLostStep;) {
      if (Alike(ra[i], rb[j])) {
        match[i] = static_cast<int>(j), used[j] = 1;
        ++i, ++j, misses = 0;
        continue;
      }
      ++misses;
      if (i + 1 < a.n && Alike(ra[i + 1], rb[j])) {
        ++i;
      } else if (j + 1 < b.n && Alike(ra[i], rb[j + 1])) {
        ++j;
      } else {
        ++i, ++j;
      }
    }

    // Then the records stored exactly alike wherever they lie: most of a reordered list.
    if (!std::is_same_v<R, TEntJwwBlock> || sameNumbering_) ExactIndex<R>(rb, b.n, used, exact_).TakeAll(ra, a.n, match, used);

    // The hash passes see only what is left, in lists of their own: their keys and indexes then
    // take memory for a few entities, not for the whole list.
    std::vector<uint32_t> restA, restB;
    for (size_t i = 0; i < a.n; ++i)
      if (match[i] < 0) restA.push_back(static_cast<uint32_t>(i));
    for (size_t j = 0; j < b.n; ++j)
      if (!used[j]) restB.push_back(static_cast<uint32_t>(j));
    std::vector<Keys> ka(restA.size()), kb(restB.size());
    std::vector<char> takenB(restB.size(), 0);
    for (size_t k = 0; k < restB.size(); ++k) b.Get(restB[k], fb), kb[k] = Hash(fb, inv_);

    // Two hash passes: the same entity with the same attributes, then the same geometry. Equal
    // hashes are confirmed value by value.
    HashIndex index;
    for (int pass = 0; pass < 2 && !restB.empty(); ++pass) {
      index.Build(kb, takenB, pass == 0);
      for (size_t ki = 0; ki < restA.size(); ++ki) {
        const size_t i = restA[ki];
        if (match[i] >= 0) continue;
        a.Get(i, fa);
        if (pass == 0) ka[ki] = Hash(fa, inv_);
        const uint64_t h = pass == 0 ? ka[ki].full : ka[ki].geo;
        for (int32_t k = index.First(h, takenB); k >= 0; k = index.Next(k)) {
          const auto kk = static_cast<size_t>(k);
          if (takenB[kk] || (pass == 0 ? kb[kk].full : kb[kk].geo) != h) continue;
          const size_t j = restB[kk];
          bool same = pass == 0 && Alike(ra[i], rb[j]);
          if (!same) {
            b.Get(j, fb);
            if (!SameGeo(fa, fb, tol_)) continue;
            same = SameAttrs(fa, fb, tol_);
            if (pass == 0 && !same) continue;
          }
          match[i] = static_cast<int>(j), used[j] = 1, takenB[kk] = 1, changed[i] = !same;
          break;
        }
      }
    }

    // What is left: the nearest candidate within the tolerance, which may lie in a neighbouring
    // cell. Geometry starts with a point, whose cell indexes the grid.
    std::unordered_map<uint64_t, std::vector<uint32_t>> grid;
    auto cellKey = [](int64_t cx, int64_t cy) {
      return Mix(static_cast<uint64_t>(cx), static_cast<uint64_t>(cy));
    };
    for (const uint32_t j : restB) {
      if (used[j]) continue;
      b.Get(j, fb);
      grid[cellKey(Floor(fb.f[0].a, tol_), Floor(fb.f[0].b, tol_))].push_back(static_cast<uint32_t>(j));
    }
    if (!grid.empty()) {
      for (const uint32_t i : restA) {
        if (match[i] >= 0) continue;
        a.Get(i, fa);
        const int64_t cx = Floor(fa.f[0].a, tol_), cy = Floor(fa.f[0].b, tol_);
        int best = -1;
        double bestD = 0;
        bool bestSame = false;
        for (int dx = -1; dx <= 1; ++dx)
          for (int dy = -1; dy <= 1; ++dy) {
            const auto g = grid.find(cellKey(cx + dx, cy + dy));
            if (g == grid.end()) continue;
            for (uint32_t j : g->second) {
              if (used[j]) continue;
              b.Get(j, fb);
              if (!SameGeo(fa, fb, tol_)) continue;
              const double d = Distance(fa, fb);
              const bool same = SameAttrs(fa, fb, tol_);
              if (best < 0 || d < bestD || (d == bestD && same && !bestSame))
                best = static_cast<int>(j), bestD = d, bestSame = same;
            }
          }
        if (best >= 0) match[i] = best, used[static_cast<size_t>(best)] = 1, changed[i] = !bestSame;
      }
    }

    PairMoved(a, b, restA, restB, match, used, changed, by);

    for (size_t i = 0; i < a.n; ++i) {
      if (match[i] < 0) {
        a.Get(i, fa);
        Add(Status::Removed, kind, where, {kind, a.def, static_cast<int>(i)}, {}, detail::Describe(kind, fa), {});
      } else if (changed[i] == kMoved) {
        a.Get(i, fa);
        const auto [dx, dy] = by[i];
        Add(Status::Moved, kind, where, {kind, a.def, static_cast<int>(i)}, {kind, b.def, match[i]},
            detail::Describe(kind, fa), {"moved by (" + Num(dx) + ", " + Num(dy) + ")"});
        r_.entities.back().dx = dx, r_.entities.back().dy = dy;
      } else if (changed[i]) {
        a.Get(i, fa);
        b.Get(static_cast<size_t>(match[i]), fb);
        Add(Status::Changed, kind, where, {kind, a.def, static_cast<int>(i)}, {kind, b.def, match[i]},
            detail::Describe(kind, fa), Differences(fa, fb, tol_));
      } else {
        ++r_.unchanged;
      }
    }
    for (size_t j = 0; j < b.n; ++j) {
      if (used[j]) continue;
      b.Get(j, fb);
      Add(Status::Added, kind, where, {}, {kind, b.def, static_cast<int>(j)}, detail::Describe(kind, fb), {});
    }
  }

  static constexpr char kMoved = 2;

  // Moved entities among the unmatched: a removed and an added entity of the same shape and
  // values (ShapeKey), one a translation of the other. Each group of one shape pairs only when it
  // has as many removed entities as added ones and, taken in the order of their first points,
  // every pair moved by the same vector: one entity moved, or a group of them moved together.
  // Anything less clear (two of one shape moved different ways, one moved and one deleted)
  // stays removed and added, so no pairing is a guess.
  template <class R>
  void PairMoved(const List<R>& a, const List<R>& b, const std::vector<uint32_t>& restA,
                 const std::vector<uint32_t>& restB, std::vector<int>& match, std::vector<char>& used,
                 std::vector<char>& state, std::vector<std::pair<double, double>>& by) {
    struct Group {
      std::vector<uint32_t> is, js;
    };
    std::unordered_map<uint64_t, Group> groups;
    thread_local Fields fa, fb;
    for (const uint32_t i : restA)
      if (match[i] < 0) a.Get(i, fa), groups[ShapeKey(fa, inv_)].is.push_back(i);
    if (groups.empty()) return;
    for (const uint32_t j : restB) {
      if (used[j]) continue;
      b.Get(j, fb);
      if (const auto g = groups.find(ShapeKey(fb, inv_)); g != groups.end()) g->second.js.push_back(j);
    }
    // In the order of the first point; the list index settles ties, so the pairing never depends
    // on anything but the drawings.
    using Placed = std::tuple<double, double, uint32_t>;
    auto placed = [](const List<R>& l, const std::vector<uint32_t>& which, Fields& f) {
      std::vector<Placed> out;
      for (const uint32_t k : which) l.Get(k, f), out.emplace_back(f.f[0].a, f.f[0].b, k);
      std::sort(out.begin(), out.end());
      return out;
    };
    for (auto& entry : groups) {
      const Group& g = entry.second;
      if (g.js.size() != g.is.size()) continue;
      const std::vector<Placed> pa = placed(a, g.is, fa), pb = placed(b, g.js, fb);
      const double dx = std::get<0>(pb[0]) - std::get<0>(pa[0]), dy = std::get<1>(pb[0]) - std::get<1>(pa[0]);
      bool all = true;
      for (size_t k = 0; all && k < pa.size(); ++k) {
        a.Get(std::get<2>(pa[k]), fa);
        b.Get(std::get<2>(pb[k]), fb);
        all = Translated(fa, fb, dx, dy, tol_);
      }
      if (!all) continue;
      if (by.empty()) by.resize(state.size());
      for (size_t k = 0; k < pa.size(); ++k) {
        const uint32_t i = std::get<2>(pa[k]), j = std::get<2>(pb[k]);
        match[i] = static_cast<int>(j), used[j] = 1, state[i] = kMoved, by[i] = {dx, dy};
      }
    }
  }

  void Add(Status s, EntKind kind, const std::string& where, EntityRef before, EntityRef after, std::string what,
           std::vector<std::string> changes) {
    if (s == Status::Changed && changes.empty()) {  // equal within the tolerance after all
      ++r_.unchanged;
      return;
    }
    (s == Status::Removed ? r_.removed
     : s == Status::Added ? r_.added
     : s == Status::Moved ? r_.moved
                          : r_.changed)++;
    r_.entities.push_back({s, kind, where, before, after, std::move(what), std::move(changes)});
  }

 private:
  double tol_, inv_;
  bool sameNumbering_;
  ExactScratch exact_;
  Result& r_;
};

// Every kind of a drawing's own lists (def -1) or of one definition.
struct Lists {
  List<TEntJwwLine> line;
  List<TEntJwwEnko> enko;
  List<TEntJwwTen> ten;
  List<TEntJwwMoji> moji;
  List<TEntJwwSunpo> sunpo;
  List<TEntJwwSolid> solid;
  List<TEntJwwBlock> block;
};

Lists DrawingLists(const TJwwData& d, const DefNames& n) {
  return {MakeList(d.EntLine, d.EntLineN, n, -1),   MakeList(d.EntEnko, d.EntEnkoN, n, -1),
          MakeList(d.EntTen, d.EntTenN, n, -1),     MakeList(d.EntMoji, d.EntMojiN, n, -1),
          MakeList(d.EntSunpo, d.EntSunpoN, n, -1), MakeList(d.EntSolid, d.EntSolidN, n, -1),
          MakeList(d.EntBlock, d.EntBlockN, n, -1)};
}

Lists DefinitionLists(const TEntJwwBlockDef& b, const DefNames& n, int def) {
  return {MakeList(b.mLine, b.mLineN, n, def),   MakeList(b.mEnko, b.mEnkoN, n, def),
          MakeList(b.mTen, b.mTenN, n, def),     MakeList(b.mMoji, b.mMojiN, n, def),
          MakeList(b.mSunpo, b.mSunpoN, n, def), MakeList(b.mSolid, b.mSolidN, n, def),
          MakeList(b.mBlock, b.mBlockN, n, def)};
}

void MatchLists(Matcher& m, const Lists& a, const Lists& b, const std::string& where) {
  m.Run(kEntLine, a.line, b.line, where);
  m.Run(kEntEnko, a.enko, b.enko, where);
  m.Run(kEntTen, a.ten, b.ten, where);
  m.Run(kEntMoji, a.moji, b.moji, where);
  m.Run(kEntSunpo, a.sunpo, b.sunpo, where);
  m.Run(kEntSolid, a.solid, b.solid, where);
  m.Run(kEntBlock, a.block, b.block, where);
}

// Visits every entity of lists `l` with its fields filled.
template <class Fn>
void ForEachEntity(const Lists& l, Fn&& fn) {
  thread_local Fields f;
  auto walk = [&](EntKind k, const auto& list) {
    for (size_t i = 0; i < list.n; ++i) {
      list.Get(i, f);
      fn(k, f);
    }
  };
  walk(kEntLine, l.line);
  walk(kEntEnko, l.enko);
  walk(kEntTen, l.ten);
  walk(kEntMoji, l.moji);
  walk(kEntSunpo, l.sunpo);
  walk(kEntSolid, l.solid);
  walk(kEntBlock, l.block);
}

size_t DefCount(const TJwwData& d) {
  return std::min(d.EntBlockDef.size(), static_cast<size_t>(std::max(d.EntBlockDefN, 0)));
}

int DefEntities(const TEntJwwBlockDef& b) {
  return b.mLineN + b.mEnkoN + b.mTenN + b.mMojiN + b.mSunpoN + b.mSolidN + b.mBlockN;
}

// ---- header ----------------------------------------------------------------------------------

using Lines = std::vector<std::pair<std::string, std::string>>;

std::string Hex(int64_t v, int digits) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%0*llX", digits, static_cast<unsigned long long>(static_cast<uint32_t>(v)));
  return buf;
}

// A 24-bit colour stored red in the low byte, as #RRGGBB.
std::string Rgb(Integer c) {
  char buf[16];
  const auto u = static_cast<uint32_t>(c);
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", u & 0xFF, (u >> 8) & 0xFF, (u >> 16) & 0xFF);
  return buf;
}

std::string Nth(const char* what, size_t n) { return std::string(what) + " " + std::to_string(n); }

// Header names and the extended tables are compared as every writer stores them (names cleaned
// of marks, blank names numbered, unusable user line types made the standard dashed one), so a
// drawing written again is no change.
// The cleaning as the writer does it (DelMarkChar), written out: GCC 12 warns of an overlap that
// cannot happen when DelMarkChar's one-space assignment is inlined here (-Wrestrict).
std::u16string Clean(std::u16string_view text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i + 1 < text.size() &&
        ((text[i] == u'^' && text[i + 1] == u'm') || (text[i] == u'\\' && text[i + 1] == u'n'))) {
      ++i;
      continue;
    }
    if (text[i] >= 0x20) out.push_back(text[i]);
  }
  if (out.empty() && !text.empty()) out.push_back(u' ');
  return out;
}
std::string Name(const std::u16string& s) { return detail::Quote(Clean(s)); }
std::string NameOr(const std::u16string& s, const char* prefix, size_t i) {
  const std::u16string clean = Clean(s);
  return DelSpaceChar(clean).empty() ? "\"" + std::string(prefix) + std::to_string(i) + "\"" : detail::Quote(clean);
}

Lines HeaderLines(const TJwwData& d) {
  Lines out;
  auto put = [&](std::string k, std::string v) { out.emplace_back(std::move(k), std::move(v)); };
  const TEntJwwHeader& h = d.Enthd;
  put("version", std::to_string(h.jwVer));
  put("memo", detail::Quote(h.strMemo));
  const std::string label = StrToUtf8(PaperLabel(h.nZumen));
  put("paper", label.empty() ? "code " + std::to_string(h.nZumen) : label);
  char hex[40];
  for (size_t g = 0; g < d.EntLgrp.size(); ++g) {
    const TEntJwwLayerGroup& e = d.EntLgrp[g];
    std::snprintf(hex, sizeof hex, "%zX", g);
    const std::string k = std::string("layer group ") + hex;
    put(k + " scale", "1/" + Num(e.adScale));
    put(k + " name", Name(e.aStrGLayName));
    put(k + " state", std::to_string(e.anGLay));
    put(k + " protect", std::to_string(e.anGLayProtect));
  }
  for (size_t l = 0; l < d.EntLay.size(); ++l) {
    const TEntJwwLayer& e = d.EntLay[l];
    std::snprintf(hex, sizeof hex, "%zX-%zX", l / 16, l % 16);
    const std::string k = std::string("layer ") + hex;
    put(k + " name", Name(e.aStrLayName));
    put(k + " state", std::to_string(e.aanLay));
    put(k + " protect", std::to_string(e.aanLayProtect));
  }
  for (size_t i = 0; i < d.EntCol.size(); ++i) {
    const TEntJwwColorNo& e = d.EntCol[i];
    const std::string k = Nth("pen", i + 1);
    put(k + " colour", Rgb(e.aPenColor));
    put(k + " width", std::to_string(e.anPenWidth));
    put(k + " print colour", Rgb(e.aPrtPenColor));
    put(k + " print width", std::to_string(e.anPrtPenWidth));
    put(k + " print point radius", Num(e.adPrtTenHankei));
  }
  auto lineType = [&](const std::string& k, const TEntJwwLineTypeNo& e) {
    put(k + " pattern", Hex(e.alLType, 8));
    put(k + " dot unit", std::to_string(e.anTokushuSenUintDot));
    put(k + " pitch", std::to_string(e.anTokushuSenPich));
    put(k + " print pitch", std::to_string(e.anPrtTokushuSenPich));
  };
  for (size_t i = 0; i < d.EntLtp1.size(); ++i) lineType(Nth("line type", i + 1), d.EntLtp1[i]);
  for (size_t i = 0; i < d.EntLtp2.size(); ++i) {
    const TEntJwwRandomLineNo& e = d.EntLtp2[i];
    const std::string k = Nth("random line", i + 1);
    put(k + " pattern", Hex(e.alLType, 8));
    put(k + " width", std::to_string(e.anRandSenWide));
    put(k + " pitch", std::to_string(e.anTokushuSenPich));
    put(k + " print width", std::to_string(e.anPrtRandSenWide));
    put(k + " print pitch", std::to_string(e.anPrtTokushuSenPich));
  }
  for (size_t i = 0; i < d.EntLtp3.size(); ++i) lineType(Nth("double line type", i + 1), d.EntLtp3[i]);
  for (size_t i = 0; i < d.EntColS.size(); ++i) {
    const TEntJwwColorExNo& e = d.EntColS[i];
    const std::string k = Nth("extended colour", i);
    put(k + " name", NameOr(e.astrUDColorName, "Color_", i));
    put(k + " colour", Rgb(e.aPenColor));
    put(k + " width", std::to_string(e.anPenWidth));
    // Only the named colours 0..16 print differently from how they show.
    put(k + " print colour", Rgb(i <= 16 ? e.aPrtPenColor : e.aPenColor));
    put(k + " print width", std::to_string(e.anPrtPenWidth));
    put(k + " print point radius", Num(e.adPrtTenHankei));
  }
  for (size_t i = 0; i < d.EntLtpS.size(); ++i) {
    TEntJwwLineTypeExNo e = d.EntLtpS[i];
    const int segs = e.anUDLTypeSegment;
    if (i >= 17 && segs != 2 && segs != 4 && segs != 6 && segs != 8) {
      e = {static_cast<Integer>(0xC3C3C3C3u), 8, 1, 8, {}, 2, {}};
      e.aadUDLTypePitch[0] = e.aadUDLTypePitch[1] = 1.0;
    }
    if (e.alLType == 0) e.alLType = -1;  // an empty pattern would draw nothing
    const std::string k = Nth("extended line type", i);
    put(k + " name", NameOr(e.astrUDLTypeName, "LType_", i));
    lineType(k, {e.alLType, e.anTokushuSenUintDot, e.anTokushuSenPich, e.anPrtTokushuSenPich});
    std::string seg = std::to_string(e.anUDLTypeSegment) + ":";
    for (double v : e.aadUDLTypePitch) seg += " " + Num(v);
    put(k + " segments", seg);
  }
  for (size_t i = 0; i < d.EntMoj.size(); ++i) {
    const TEntJwwMojiType& e = d.EntMoj[i];
    const std::string k = Nth("text type", i + 1);
    put(k + " width", Num(e.adMojiX));
    put(k + " height", Num(e.adMojiY));
    put(k + " spacing", Num(e.adMojiD));
    put(k + " colour", std::to_string(e.anMojiCol));
  }
  return out;
}

// ---- bound images ----------------------------------------------------------------------------

struct Image {
  std::string name;
  Integer size = 0;
  std::string hash;  ///< of the content, "" when the file is not at hand
};

std::vector<Image> Images(const TJwwData& d) {
  std::vector<Image> out;
  const size_t n = std::min(d.BindImage.size(), static_cast<size_t>(std::max(d.BindImageN, 0)));
  for (size_t i = 0; i < n; ++i) {
    const TBindImageType& b = d.BindImage[i];
    Image im{StrToUtf8(b.Fname), b.Fsize, {}};
    if (!d.BindImageFolder.empty() && IsPlainImageName(b.Fname)) {
      if (auto bytes = ReadWholeFile(d.BindImageFolder + b.Fname)) {
        uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a, 64 bits
        for (unsigned char c : *bytes) h = (h ^ c) * 0x100000001B3ull;
        char buf[24];
        std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
        im.hash = buf;
      }
    }
    out.push_back(std::move(im));
  }
  return out;
}

}  // namespace

Result Compare(const TJwwData& a, const TJwwData& b, const Options& opt) {
  Result r;
  const double tol = std::isfinite(opt.tolerance) && opt.tolerance > 0 ? opt.tolerance : 1e-6;

  // Header: the named values, in order; a value only one drawing has (a hostile table size)
  // is compared with nothing.
  const Lines ha = HeaderLines(a), hb = HeaderLines(b);
  std::unordered_map<std::string_view, std::string_view> newValues;
  for (const auto& [k, v] : hb) newValues.emplace(k, v);
  for (const auto& [k, v] : ha) {
    const auto it = newValues.find(k);
    const std::string_view nv = it == newValues.end() ? std::string_view("(none)") : it->second;
    if (nv != v) r.header.push_back(k + " " + v + " " + kArrow + " " + std::string(nv));
  }

  const DefNames na = detail::MakeDefNames(a), nb = detail::MakeDefNames(b);
  bool sameNumbering = na.size() == nb.size();
  for (auto it = na.begin(); sameNumbering && it != na.end(); ++it) {
    const auto other = nb.find(it->first);
    sameNumbering = other != nb.end() && *other->second == *it->second;
  }
  Matcher m(tol, sameNumbering, r);
  MatchLists(m, DrawingLists(a, na), DrawingLists(b, nb), "");

  // Block definitions by name; two of one name pair up in their order.
  std::unordered_map<std::u16string_view, std::vector<int>> byName;
  const size_t defsA = DefCount(a), defsB = DefCount(b);
  for (size_t j = defsB; j-- > 0;) byName[b.EntBlockDef[j].strName].push_back(static_cast<int>(j));
  std::vector<char> defUsed(defsB, 0);
  auto defText = [](const TEntJwwBlockDef& d) {
    return std::string("block definition ") + detail::Quote(detail::GivenName(d.strName)) + " (" +
           std::to_string(DefEntities(d)) + " entities)";
  };
  for (size_t i = 0; i < defsA; ++i) {
    const TEntJwwBlockDef& da = a.EntBlockDef[i];
    auto it = byName.find(da.strName);
    if (it == byName.end() || it->second.empty()) {
      m.Add(Status::Removed, kEntBlockDef, "", {kEntBlockDef, -1, static_cast<int>(i)}, {}, defText(da), {});
      continue;
    }
    const int j = it->second.back();
    it->second.pop_back();
    defUsed[static_cast<size_t>(j)] = 1;
    ++r.unchanged;
    MatchLists(m, DefinitionLists(da, na, static_cast<int>(i)), DefinitionLists(b.EntBlockDef[j], nb, j),
               StrToUtf8(detail::GivenName(da.strName)));
  }
  for (size_t j = 0; j < defsB; ++j)
    if (!defUsed[j])
      m.Add(Status::Added, kEntBlockDef, "", {}, {kEntBlockDef, -1, static_cast<int>(j)}, defText(b.EntBlockDef[j]), {});

  // Bound images by name, then by size and content.
  const std::vector<Image> ia = Images(a), ib = Images(b);
  std::unordered_map<std::string_view, const Image*> newImages;
  for (const Image& im : ib) newImages.emplace(im.name, &im);
  std::unordered_map<std::string_view, bool> seen;
  for (const Image& im : ia) {
    seen[im.name] = true;
    const auto it = newImages.find(im.name);
    const std::string shown = "image " + detail::Quote(Utf8ToStr(im.name));
    if (it == newImages.end()) {
      r.images.push_back(shown + " removed");
    } else if (im.size != it->second->size) {
      r.images.push_back(shown + " size " + std::to_string(im.size) + " " + kArrow + " " +
                         std::to_string(it->second->size));
    } else if (!im.hash.empty() && !it->second->hash.empty() && im.hash != it->second->hash) {
      r.images.push_back(shown + " content changed");
    }
  }
  for (const Image& im : ib)
    if (!seen.count(im.name)) r.images.push_back("image " + detail::Quote(Utf8ToStr(im.name)) + " added");
  return r;
}

std::vector<std::string> TextForm(const TJwwData& d) {
  std::vector<std::string> out;
  for (const auto& [k, v] : HeaderLines(d)) out.push_back(k + " " + v);
  std::vector<std::string> ents;
  const DefNames names = detail::MakeDefNames(d);
  ForEachEntity(DrawingLists(d, names),
                [&](EntKind k, const Fields& f) { ents.push_back(detail::FullLine(k, f)); });
  for (size_t i = 0; i < DefCount(d); ++i) {
    const TEntJwwBlockDef& b = d.EntBlockDef[i];
    const std::string prefix = "in " + detail::Quote(b.strName) + ": ";
    ents.push_back("block definition " + detail::Quote(b.strName));
    ForEachEntity(DefinitionLists(b, names, static_cast<int>(i)),
                  [&](EntKind k, const Fields& f) { ents.push_back(prefix + detail::FullLine(k, f)); });
  }
  std::sort(ents.begin(), ents.end());
  out.insert(out.end(), ents.begin(), ents.end());
  for (const Image& im : Images(d))
    out.push_back("image " + detail::Quote(Utf8ToStr(im.name)) + " size " + std::to_string(im.size) +
                  (im.hash.empty() ? "" : " content " + im.hash));
  return out;
}

}  // namespace compare
