// The entity stream as written: the drawing's entities in drawing order, the block definitions in
// use with their own entities, then (version 700) the bound-image section. The record layouts are
// the ones the reader uses (schema.h); this file adds the writer's normalisations as its hooks.
#include <algorithm>
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

// The attribute part as it is written for `kind` (1..7 entities, 8 a definition).
TEntJwwAttr NormalizedAttr(const TEntJwwAttr& a, int kind, Integer ver, Integer defcol, Integer defltp) {
  TEntJwwAttr c = a;
  Byte& s = c.nPenStyle;
  Word& col = c.nPenColor;
  const Byte defStyle = static_cast<Byte>(defltp);
  const Word defColor = static_cast<Word>(defcol);
  if (ver < 420) {
    if (kind == kEntLine || kind == kEntEnko) {
      if (s >= 31 && s <= 45) s = kStyleBelow420[s - 31];
      else if (s >= 46 && s <= 62) s = defStyle;
    }
    if (kind >= kEntLine && kind <= kEntSolid) {
      if (col >= 101 && col <= 116) col = kColorBelow420[col - 101];
      else if (col >= 117 && col <= 356) col = defColor;
    }
  }
  switch (kind) {
    case kEntLine:
    case kEntEnko:
      if (!((s >= 1 && s <= 9) || (s >= 11 && s <= 19) || (s >= 31 && s <= 62))) s = defStyle;
      if (!StandardOrExtendedColor(col)) col = defColor;
      break;
    case kEntTen:
      if (s != 1 && s != 100) s = 1;
      if (!StandardOrExtendedColor(col)) col = defColor;
      break;
    case kEntMoji:
      if (s < 1 || s > 9) s = 1;
      if (!StandardOrExtendedColor(col)) col = defColor;
      break;
    case kEntSunpo:
      if (!StandardOrExtendedColor(col)) col = defColor;
      break;
    case kEntSolid:
      if (!StandardOrExtendedColor(col) && col != 10) col = defColor;
      break;
    default:
      break;
  }
  if (c.nLayer > 15) c.nLayer = 0;
  if (c.nGLayer > 15) c.nGLayer = 0;
  if (c.nPenWidth > 30000) c.nPenWidth = 0;
  return c;
}

// True when DelMarkChar would change the text, so that the common clean text is written without
// a copy.
bool NeedsMarkCleaning(std::u16string_view t) {
  for (char16_t c : t)
    if (c < 0x20 || c == u'^' || c == u'\\') return true;
  return false;
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
  /// True when the drawing-order entry names an entity these lists hold.
  bool Holds(const TEntJwwNo& no) const {
    return no.EntType >= kEntLine && no.EntType <= kEntBlock && no.EntNo >= 0 &&
           no.EntNo < count[no.EntType];
  }
};

// Writing side of the record schemas, plus the stream-level state of one FileOut: the archive
// and the definition renumbering.
class EntityWriteIO : public NumberWriteIO {
 public:
  EntityWriteIO(OutStream& s, TJwwData& d, Integer ver) : NumberWriteIO(s), d_(d), ver_(ver) {
    // The definitions written are the first n2 in use, numbered 0, 1, ... in list order. A number
    // is looked up as ChangeBlockNo does (the first definition that has it); one whose definition
    // is not written becomes 0, so that no insertion points at nothing or at another definition.
    const size_t n2 = WrittenDefinitions(d);
    const size_t defN = std::max(n2, std::min<size_t>(static_cast<size_t>(std::max<Integer>(d.EntBlockDefN, 0)),
                                                      d.EntBlockDef.size()));
    Cardinal running = 0;
    renumber_.reserve(defN);
    for (size_t i = 0; i < defN; ++i) {
      const TEntJwwBlockDef& b = d.EntBlockDef[i];
      const bool written = i < n2 && b.ref_flag;
      renumber_.emplace(b.nNumber, written ? running : 0);
      if (written) ++running;
    }
  }
  using NumberWriteIO::Num;

  Integer Ver() const { return ver_; }

  template <class Body>
  void Fixed(Part, Check, Body&& body) {
    body(*this);
  }
  void Attr(const TEntJwwAttr& a, int kind) {
    const TEntJwwAttr c = Normalized(a, kind);
    AttrFields(*this, c, ver_);
  }
  void Str(const string& v, StrKind kind) {
    if (kind == StrKind::kMemo || !NeedsMarkCleaning(v)) StrOut(s_, v);
    else StrOut(s_, DelMarkChar(v));
  }

  /// A text entity's text: marks cleaned, then image references rewritten as FileOutOpt asks.
  void TextStr(const string& v) {
    static constexpr std::u16string_view kImage = u"^@BM";
    static constexpr std::u16string_view kBound = u"^@BM%temp%";
    if (!NeedsMarkCleaning(v) && !StartsWith(v, kImage)) {
      StrOut(s_, v);
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

  /// Definition numbers are written as the running numbers of the definitions written; a number
  /// no written definition carries as 0.
  void BlockNumber(const Cardinal& n) {
    auto it = renumber_.find(n);
    s_.Put(it == renumber_.end() ? Cardinal{0} : it->second);
  }
  Byte WrittenStyle(const TEntJwwAttr& a, int kind) const { return Normalized(a, kind).nPenStyle; }
  Word WrittenColor(const TEntJwwAttr& a, int kind) const { return Normalized(a, kind).nPenColor; }

  /// The long time field a stored dtime announces (bit 31): its 8 bytes are written as zeros, so
  /// that readers, which skip them, stay in step.
  void LongTime(const TEntJwwBlockDef&, Integer) { s_.Fill(8, 0); }

  // ---- stream level -----------------------------------------------------------------------

  void Tag(int kind) {
    const auto t = archive_.TagOut(kind, static_cast<uint16_t>(ver_));
    s_.Write(t.bytes, t.size);
  }
  void ObjectDone() { archive_.ObjectDone(); }

  /// An SXF dimension of a document of version 420 or later, written below 420, becomes the
  /// dimension and six objects of its own: older versions have no room for its parts.
  bool Expands(const TEntJwwSunpo& e) const { return ver_ < 420 && d_.Enthd.jwVer >= 420 && e.bSxfMode != 0; }

  /// Objects an entity list of `n` drawing-order entries writes.
  Cardinal ObjectCount(const EntityLists& L, const std::vector<TEntJwwNo>& order, size_t n) const {
    Cardinal count = 0;
    for (size_t i = 0; i < n; ++i) {
      const TEntJwwNo& no = order[i];
      if (!L.Holds(no)) continue;
      ++count;
      if (no.EntType == kEntSunpo && Expands(L.sunpo[no.EntNo])) count += 6;
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
  TEntJwwAttr Normalized(const TEntJwwAttr& a, int kind) const {
    return NormalizedAttr(a, kind, ver_, d_.defcoljww, d_.defltpjww);
  }

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
  std::unordered_map<Cardinal, Cardinal> renumber_;
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
