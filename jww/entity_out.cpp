// The entity stream as written: the drawing's entities in drawing order, the block definitions in
// use with their own entities, then (version 700) the bound-image section. The record layouts are
// the ones the reader uses (schema.h); this file adds the writer's normalisations as its hooks.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "common/Func_2.h"
#include "jww/JwwUnit.h"
#include "jww/archive.h"
#include "jww/out_stream.h"
#include "jww/schema.h"
#include "jww/writer.h"

namespace jww {

namespace {

// Extended line types 31..45 and colours 101..116 as the nearest standard ones, for versions
// that know neither (below 420).
constexpr Byte kStyleBelow420[15] = {1, 4, 3, 6, 8, 8, 2, 5, 7, 6, 6, 8, 8, 17, 17};
constexpr Word kColorBelow420[16] = {2, 8, 3, 6, 4, 5, 1, 2, 5, 8, 4, 3, 6, 5, 2, 2};

bool StandardOrExtendedColor(Word c) { return (c >= 1 && c <= 9) || (c >= 101 && c <= 356); }

// The line type of an attribute part as it is written for `kind` (1..7 entities, 8 a definition).
Byte StyleOut(Byte s, int kind, Integer ver, Byte defStyle) {
  if (ver < 420 && (kind == kEntLine || kind == kEntEnko)) {
    if (s >= 31 && s <= 45) s = kStyleBelow420[s - 31];
    else if (s >= 46 && s <= 62) s = defStyle;
  }
  switch (kind) {
    case kEntLine:
    case kEntEnko:
      if (!((s >= 1 && s <= 9) || (s >= 11 && s <= 19) || (s >= 31 && s <= 62))) s = defStyle;
      break;
    case kEntTen:
      if (s != 1 && s != 100) s = 1;
      break;
    case kEntMoji:
      if (s < 1 || s > 9) s = 1;
      break;
    default:
      break;
  }
  return s;
}

// The colour as it is written for `kind`.
Word ColorOut(Word col, int kind, Integer ver, Word defColor) {
  if (kind < kEntLine || kind > kEntSolid) return col;
  if (ver < 420) {
    if (col >= 101 && col <= 116) col = kColorBelow420[col - 101];
    else if (col >= 117 && col <= 356) col = defColor;
  }
  if (!StandardOrExtendedColor(col) && !(kind == kEntSolid && col == 10)) col = defColor;
  return col;
}

// StyleOut and ColorOut of one FileOut as tables, since every object asks. Colours above 356
// all become the default colour, so one slot stands for them.
class AttrRules {
 public:
  AttrRules(Integer ver, Integer defcol, Integer defltp) {
    const Byte defStyle = static_cast<Byte>(defltp);
    const Word defColor = static_cast<Word>(defcol);
    for (int kind = 0; kind <= kEntBlockDef; ++kind)
      for (int s = 0; s < 256; ++s) style_[kind][s] = StyleOut(static_cast<Byte>(s), kind, ver, defStyle);
    for (int c = 0; c <= kTopColor; ++c) {
      color_[0][c] = ColorOut(static_cast<Word>(c), kEntLine, ver, defColor);
      color_[1][c] = ColorOut(static_cast<Word>(c), kEntSolid, ver, defColor);
    }
  }
  Byte Style(Byte s, int kind) const { return style_[kind][s]; }
  Word Color(Word c, int kind) const {
    if (kind > kEntSolid) return c;
    return color_[kind == kEntSolid][std::min<Word>(c, kTopColor)];
  }
  /// The attribute part as it is written for `kind`.
  TEntJwwAttr Normalized(const TEntJwwAttr& a, int kind) const {
    TEntJwwAttr c = a;
    c.nPenStyle = Style(a.nPenStyle, kind);
    c.nPenColor = Color(a.nPenColor, kind);
    if (c.nLayer > 15) c.nLayer = 0;
    if (c.nGLayer > 15) c.nGLayer = 0;
    if (c.nPenWidth > 30000) c.nPenWidth = 0;
    return c;
  }

 private:
  static constexpr int kTopColor = 357;
  Byte style_[kEntBlockDef + 1][256];
  Word color_[2][kTopColor + 1];
};

// True when DelMarkChar would change the text, so that the common clean text is written without
// a copy.
// Four characters at a time: a character below U+0020, or one that "| 2" makes 0x5E ("^" 0x5E
// and "\\" 0x5C are the only two), sets the top bit of its lane in the result. Exact for "any
// lane" (a borrow only runs on from a lane that is itself found).
uint64_t MarkLanes(uint64_t four) {
  constexpr uint64_t kOnes = 0x0001000100010001u, kTops = 0x8000800080008000u;
  const uint64_t control = (four - 0x20 * kOnes) & ~four & kTops;
  const uint64_t mark = (four | 2 * kOnes) ^ (0x5E * kOnes);
  return control | ((mark - kOnes) & ~mark & kTops);
}

bool IsMarkChar(char16_t c) { return c < 0x20 || (c | 2) == 0x5E; }

bool NeedsMarkCleaning(std::u16string_view t) {
  size_t i = 0;
  for (; i + 4 <= t.size(); i += 4) {
    uint64_t four;
    std::memcpy(&four, t.data() + i, 8);
    if (MarkLanes(four)) return true;
  }
  for (; i < t.size(); ++i)
    if (IsMarkChar(t[i])) return true;
  return false;
}

// Equality of two texts as one comparison of their bytes (string's own == compares character
// by character).
bool SameText(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
}

bool StartsWith(std::u16string_view t, std::u16string_view prefix) {
  return t.size() >= prefix.size() && t.compare(0, prefix.size(), prefix) == 0;
}

// The file-name part of an image path as the drawing's author's system wrote it (folders end at
// "\" or "/", a drive at ":"); empty for text that cannot be a path.
string ImageFileName(std::u16string_view path) {
  for (char16_t c : path)
    if (c < 0x20 || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'?' || c == u'*')
      return {};
  const size_t cut = path.find_last_of(u"\\/:");
  return string(cut == std::u16string_view::npos ? path : path.substr(cut + 1));
}

// The definitions the stream may write: the first n2 (those in use among them are written).
size_t WrittenDefinitions(const TJwwData& d) {
  return std::min<size_t>(static_cast<size_t>(std::max<Integer>(d.Enthd.n2, 0)), d.EntBlockDef.size());
}

// The entity lists an entity stream is written from: the drawing's, or one definition's.
struct EntityLists {
  const TEntJwwLine* line;
  const TEntJwwEnko* enko;
  const TEntJwwTen* ten;
  const TEntJwwMoji* moji;
  const TEntJwwSunpo* sunpo;
  const TEntJwwSolid* solid;
  const TEntJwwBlock* block;
  Integer count[8];  // valid entries per kind: the list's count, never beyond its length

  template <class T>
  static Integer Valid(Integer n, const std::vector<T>& v) {
    return std::clamp<Integer>(n, 0, static_cast<Integer>(std::min<size_t>(v.size(), INT32_MAX)));
  }
  static EntityLists Of(const TJwwData& d) {
    return {d.EntLine.data(), d.EntEnko.data(), d.EntTen.data(), d.EntMoji.data(), d.EntSunpo.data(),
            d.EntSolid.data(), d.EntBlock.data(),
            {0, Valid(d.EntLineN, d.EntLine), Valid(d.EntEnkoN, d.EntEnko), Valid(d.EntTenN, d.EntTen),
             Valid(d.EntMojiN, d.EntMoji), Valid(d.EntSunpoN, d.EntSunpo),
             Valid(d.EntSolidN, d.EntSolid), Valid(d.EntBlockN, d.EntBlock)}};
  }
  static EntityLists Of(const TEntJwwBlockDef& b) {
    return {b.mLine.data(), b.mEnko.data(), b.mTen.data(), b.mMoji.data(), b.mSunpo.data(),
            b.mSolid.data(), b.mBlock.data(),
            {0, Valid(b.mLineN, b.mLine), Valid(b.mEnkoN, b.mEnko), Valid(b.mTenN, b.mTen),
             Valid(b.mMojiN, b.mMoji), Valid(b.mSunpoN, b.mSunpo), Valid(b.mSolidN, b.mSolid),
             Valid(b.mBlockN, b.mBlock)}};
  }
  /// True when the drawing-order entry names an entity these lists hold. Without branches on
  /// the kind (count[0] is 0, a negative number compares as a large one): drawing orders mix
  /// kinds, which no branch predictor follows.
  bool Holds(const TEntJwwNo& no) const {
    const auto kind = static_cast<uint32_t>(no.EntType);
    const Integer n = count[kind <= kEntBlock ? kind : 0];
    return static_cast<uint32_t>(no.EntNo) < static_cast<uint32_t>(n);
  }
};

// Definition numbers as written: the running numbers of the definitions written, 0 for a number
// whose first definition is not written or that no definition has. A table indexed by number when
// the numbers are dense, as MakeBlockTree and construction leave them; a hash map otherwise.
class Renumbering {
 public:
  explicit Renumbering(const TJwwData& d, size_t written) {
    // The definitions written are the first n2 in use, numbered 0, 1, ... in list order. A number
    // is looked up as ChangeBlockNo does (the first definition that has it).
    const size_t defN =
        std::max(written, std::min<size_t>(static_cast<size_t>(std::max<Integer>(d.EntBlockDefN, 0)),
                                           d.EntBlockDef.size()));
    Cardinal top = 0;
    for (size_t i = 0; i < defN; ++i) top = std::max(top, d.EntBlockDef[i].nNumber);
    const bool dense = top < 4 * defN + 1024;
    if (dense) {
      table_.assign(static_cast<size_t>(top) + 1, kUnset);
    } else {
      map_.reserve(defN);
    }
    Cardinal running = 0;
    for (size_t i = 0; i < defN; ++i) {
      const TEntJwwBlockDef& b = d.EntBlockDef[i];
      const bool isWritten = i < written && b.ref_flag;
      const Cardinal to = isWritten ? running : 0;
      if (isWritten) ++running;
      if (!dense) map_.emplace(b.nNumber, to);
      else if (table_[b.nNumber] == kUnset) table_[b.nNumber] = to;
    }
    for (Cardinal& v : table_)
      if (v == kUnset) v = 0;
  }
  Cardinal operator()(Cardinal n) const {
    if (!map_.empty()) {
      const auto it = map_.find(n);
      return it == map_.end() ? 0 : it->second;
    }
    return n < table_.size() ? table_[n] : 0;
  }

 private:
  static constexpr Cardinal kUnset = 0xFFFFFFFFu;  // never a running number: at most 2^31 definitions
  std::vector<Cardinal> table_;
  std::unordered_map<Cardinal, Cardinal> map_;
};

// Names repeat from record to record (the texts of a drawing name the same few fonts; a
// dimension's font alternates with its text): the written bytes of the last two distinct short
// clean names are kept and copied.
class NameCache {
 public:
  struct Entry {
    string name;
    size_t size = 0;  // 0: empty (a name takes at least its length byte)
    uint8_t bytes[kShortStrBytes];
  };
  const Entry* Find(const string& v) {
    if (entry_[last_].size && SameText(entry_[last_].name, v)) return &entry_[last_];
    Entry& other = entry_[1 - last_];
    if (other.size && SameText(other.name, v)) {
      last_ = 1 - last_;
      return &other;
    }
    return nullptr;
  }
  /// `v` is short and clean (no mark, no character below U+0020); it replaces the entry used
  /// longer ago.
  const Entry* Add(const string& v) {
    last_ = 1 - last_;
    Entry& e = entry_[last_];
    e.name = v;
    e.size = ShortStrBytes(v, e.bytes);
    return &e;
  }

 private:
  Entry entry_[2];
  int last_ = 0;
};

// Writing side of the record schemas, plus the stream-level state of one FileOut: the archive,
// the attribute rules and the definition renumbering.
class EntityWriteIO : public NumberWriteIO {
 public:
  EntityWriteIO(OutStream& s, TJwwData& d, Integer ver)
      : NumberWriteIO(s), d_(d), ver_(ver), rules_(ver, d.defcoljww, d.defltpjww),
        renumber_(d, WrittenDefinitions(d)) {}
  using NumberWriteIO::Num;

  Integer Ver() const { return ver_; }

  /// A fixed part is encoded straight into the stream's buffer: its size is known beforehand, so
  /// room is taken once and the fields go in without a check each.
  template <class Body>
  [[gnu::always_inline]] void Fixed(Part part, Check, Body&& body) {
    FixedOut f{*this, {s_.Reserve(FixedSize(part, ver_))}};
    body(f);
    s_.Advance(f.out.p);
  }
  void Str(const string& v, StrKind kind) {
    if (kind == StrKind::kMemo) {
      StrOut(s_, v);
      return;
    }
    const NameCache::Entry* e = names_.Find(v);
    if (!e) {
      if (v.size() > kShortStrChars || NeedsMarkCleaning(v)) {
        StrOut(s_, DelMarkChar(v));
        return;
      }
      e = names_.Add(v);
    }
    s_.Write(e->bytes, e->size);
  }

  /// A text entity's text: marks cleaned, then image references rewritten as FileOutOpt asks.
  void TextStr(const string& v) {
    static constexpr std::u16string_view kImage = u"^@BM";
    static constexpr std::u16string_view kBound = u"^@BM%temp%";
    if (!NeedsMarkCleaning(v) && !StartsWith(v, kImage)) {
      // Clean, so without U+0000: a short one goes straight into the buffer.
      if (v.size() <= kShortStrChars) {
        uint8_t* p = s_.Reserve(4 + 2 * v.size());
        s_.Advance(p + ShortStrBytes(v, p));
      } else {
        StrOut(s_, v);
      }
      return;
    }
    string t = DelMarkChar(v);
    if ((d_.FileOutOpt & 8) && StartsWith(t, kBound)) t = string(kImage) + t.substr(kBound.size());
    if ((d_.FileOutOpt & 1) && StartsWith(t, kImage)) {
      const size_t comma = t.find(u',');
      if (comma != string::npos) {
        const std::u16string_view path = std::u16string_view(t).substr(kImage.size(), comma - kImage.size());
        t = string(kImage) + ImageFileName(path) + t.substr(comma);
      }
    }
    StrOut(s_, t);
  }

  Byte WrittenStyle(const TEntJwwAttr& a, int kind) const { return rules_.Style(a.nPenStyle, kind); }
  Word WrittenColor(const TEntJwwAttr& a, int kind) const { return rules_.Color(a.nPenColor, kind); }

  /// The long time field a stored dtime announces (bit 31): its 8 bytes are written as zeros, so
  /// that readers, which skip them, stay in step.
  void LongTime(const TEntJwwBlockDef&, Integer) { s_.Fill(8, 0); }

  // ---- stream level -----------------------------------------------------------------------

  void Tag(int kind) {
    uint8_t* p = s_.Reserve(TArchive::kMaxTagBytes);
    s_.Advance(p + archive_.TagOut(kind, static_cast<uint16_t>(ver_), p));
  }
  void ObjectDone() { archive_.ObjectDone(); }

  /// An SXF dimension of a document of version 420 or later, written below 420, becomes the
  /// dimension and six objects of its own: older versions have no room for its parts.
  bool Expands(const TEntJwwSunpo& e) const { return ver_ < 420 && d_.Enthd.jwVer >= 420 && e.bSxfMode != 0; }

  /// Objects an entity list of `n` drawing-order entries writes.
  Cardinal ObjectCount(const EntityLists& L, const std::vector<TEntJwwNo>& order, size_t n) const {
    Cardinal count = 0;
    const bool expanding = ver_ < 420 && d_.Enthd.jwVer >= 420;
    for (size_t i = 0; i < n; ++i) {
      const TEntJwwNo& no = order[i];
      const bool held = L.Holds(no);
      count += held;
      if (expanding && held && no.EntType == kEntSunpo && Expands(L.sunpo[no.EntNo])) count += 6;
    }
    return count;
  }

  void EntityList(const EntityLists& L, const std::vector<TEntJwwNo>& order, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      const TEntJwwNo& no = order[i];
      if (L.Holds(no)) Entity(L, no.EntType, no.EntNo);
    }
  }

 private:
  // The policy a fixed part's fields go through: unchecked puts into the room Fixed took.
  struct FixedOut {
    static constexpr bool kReading = false;
    EntityWriteIO& io;
    BytePut out;

    Integer Ver() const { return io.ver_; }
    template <class T>
    void Num(const T& v) {
      out.Put(v);
    }
    template <class T, class Fix>
    void Num(const T& v, Fix&& fix) {
      out.Put(static_cast<T>(fix(v)));
    }
    void Attr(const TEntJwwAttr& a, int kind) {
      const TEntJwwAttr c = io.rules_.Normalized(a, kind);
      AttrFields(*this, c, io.ver_);
    }
    /// Definition numbers are written as the running numbers of the definitions written.
    void BlockNumber(const Cardinal& n) { out.Put(io.renumber_(n)); }
  };

  void Entity(const EntityLists& L, int kind, Integer i) {
    Tag(kind);
    switch (kind) {
      case kEntLine: LineRecord(*this, L.line[i]); break;
      case kEntEnko: EnkoRecord(*this, L.enko[i]); break;
      case kEntTen: TenRecord(*this, L.ten[i], 1.0); break;
      case kEntMoji: MojiRecord(*this, L.moji[i]); break;
      case kEntSunpo: SunpoRecord(*this, L.sunpo[i]); break;
      case kEntSolid: SolidRecord(*this, L.solid[i]); break;
      case kEntBlock: BlockRecord(*this, L.block[i]); break;
      default: break;
    }
    ObjectDone();
    if (kind == kEntSunpo && Expands(L.sunpo[i])) SxfParts(L.sunpo[i]);
  }

  void SxfParts(const TEntJwwSunpo& e) {
    for (const TEntJwwLine* l : {&e.Ho1, &e.Ho2}) {
      Tag(kEntLine);
      LineRecord(*this, *l);
      ObjectDone();
    }
    for (const TEntJwwTen* p : {&e.Te1, &e.Te2, &e.Kt1, &e.Kt2}) {
      TEntJwwTen t = *p;
      // The dimension's own points stand out as temporary points once they are separate.
      if (p == &e.Kt1 || p == &e.Kt2) t.bKariten = 1;
      Tag(kEntTen);
      TenRecord(*this, t, 0.0);
      ObjectDone();
    }
  }

  TJwwData& d_;
  Integer ver_;
  TArchive archive_;
  AttrRules rules_;
  Renumbering renumber_;
  NameCache names_;
};

}  // namespace

void EntityStreamOut(OutStream& s, TJwwData& d, Integer ver) {
  EntityWriteIO io(s, d, ver);

  // The counts are those of the objects actually written, so that a drawing order that skips or
  // names missing entries still gives a file readers follow.
  const EntityLists drawing = EntityLists::Of(d);
  const size_t n1 = static_cast<size_t>(std::clamp<Integer>(d.Enthd.n1, 0, static_cast<Integer>(d.EntNo.size())));
  CountOut(s, io.ObjectCount(drawing, d.EntNo, n1));
  io.EntityList(drawing, d.EntNo, n1);

  // Only the definitions in use are written, in list order; MakeBlockTree numbered them 0, 1, ...
  const size_t n2 = WrittenDefinitions(d);
  Cardinal inUse = 0;
  for (size_t p = 0; p < n2; ++p)
    if (d.EntBlockDef[p].ref_flag) ++inUse;
  CountOut(s, inUse);
  Integer pos = 0;
  for (size_t p = 0; p < n2; ++p) {
    TEntJwwBlockDef& b = d.EntBlockDef[p];
    if (!b.ref_flag) continue;
    ++pos;
    io.Tag(kEntBlockDef);
    BlockDefHead(io, static_cast<const TEntJwwBlockDef&>(b), pos);
    b.mNo.resize(static_cast<size_t>(std::max<Integer>(b.N, 0)));
    const EntityLists lists = EntityLists::Of(b);
    CountOut(s, io.ObjectCount(lists, b.mNo, b.mNo.size()));
    io.ObjectDone();
    io.EntityList(lists, b.mNo, b.mNo.size());
  }

  if (ver >= 700) BindImageOut(s, d);
}

}  // namespace jww
