// The change picture as a drawing whose colours tell what changed.
#include <algorithm>
#include <map>
#include <unordered_map>

#include "compare/Compare.h"

namespace compare {

using namespace jww;

namespace {

// Extended colours of the change drawing: what happened to an entity.
constexpr Word kGrey = 101, kRed = 102, kBlue = 103, kOrange = 104, kPurple = 105;

void Paint(TEntJwwAttr& a, Word c) { a.nPenColor = c; }
void Paint(TEntJwwLine& e, Word c) { Paint(e.att, c); }
void Paint(TEntJwwEnko& e, Word c) { Paint(e.att, c); }
void Paint(TEntJwwTen& e, Word c) { Paint(e.att, c); }
void Paint(TEntJwwMoji& e, Word c) { Paint(e.att, c); }
void Paint(TEntJwwSolid& e, Word c) { Paint(e.att, c); }
void Paint(TEntJwwBlock& e, Word c) { Paint(e.att, c); }
void Paint(TEntJwwSunpo& e, Word c) {
  for (TEntJwwAttr* a : {&e.att, &e.Sen.att, &e.Moji.att, &e.Ho1.att, &e.Ho2.att, &e.Te1.att, &e.Te2.att,
                         &e.Kt1.att, &e.Kt2.att})
    Paint(*a, c);
}

// The lists of the drawing or of one definition, addressed by kind.
struct Target {
  std::vector<TEntJwwNo>* no;
  Integer* noN;
  std::vector<TEntJwwLine>* line;
  Integer* lineN;
  std::vector<TEntJwwEnko>* enko;
  Integer* enkoN;
  std::vector<TEntJwwTen>* ten;
  Integer* tenN;
  std::vector<TEntJwwMoji>* moji;
  Integer* mojiN;
  std::vector<TEntJwwSunpo>* sunpo;
  Integer* sunpoN;
  std::vector<TEntJwwSolid>* solid;
  Integer* solidN;
  std::vector<TEntJwwBlock>* block;
  Integer* blockN;
};

Target Of(TJwwData& d) {
  return {&d.EntNo,  &d.Enthd.n1, &d.EntLine,  &d.EntLineN,  &d.EntEnko,  &d.EntEnkoN,  &d.EntTen,   &d.EntTenN,
          &d.EntMoji, &d.EntMojiN, &d.EntSunpo, &d.EntSunpoN, &d.EntSolid, &d.EntSolidN, &d.EntBlock, &d.EntBlockN};
}
Target Of(TEntJwwBlockDef& b) {
  return {&b.mNo,   &b.N,      &b.mLine,  &b.mLineN,  &b.mEnko,  &b.mEnkoN,  &b.mTen,   &b.mTenN,
          &b.mMoji, &b.mMojiN, &b.mSunpo, &b.mSunpoN, &b.mSolid, &b.mSolidN, &b.mBlock, &b.mBlockN};
}

// Every list trimmed to its count, so that appended entities get the next index.
template <class T>
void Trim(std::vector<T>& v, Integer n) {
  v.resize(static_cast<size_t>(std::clamp<Integer>(n, 0, static_cast<Integer>(v.size()))));
}
void Trim(Target t) {
  Trim(*t.no, *t.noN), Trim(*t.line, *t.lineN), Trim(*t.enko, *t.enkoN), Trim(*t.ten, *t.tenN);
  Trim(*t.moji, *t.mojiN), Trim(*t.sunpo, *t.sunpoN), Trim(*t.solid, *t.solidN), Trim(*t.block, *t.blockN);
  *t.noN = static_cast<Integer>(t.no->size());
}

template <class T>
void Append(Target t, std::vector<T>& list, Integer& n, const T& e, EntKind kind) {
  list.push_back(e);
  n = static_cast<Integer>(list.size());
  t.no->push_back({kind, n - 1});
  *t.noN = static_cast<Integer>(t.no->size());
}

// Colours every entity of a list; `code` gives each index its colour.
template <class T, class Code>
void PaintAll(std::vector<T>& list, Code code) {
  for (size_t i = 0; i < list.size(); ++i) Paint(list[i], code(i));
}

void PaintTarget(Target t, Word c) {
  auto all = [c](size_t) { return c; };
  PaintAll(*t.line, all), PaintAll(*t.enko, all), PaintAll(*t.ten, all), PaintAll(*t.moji, all);
  PaintAll(*t.sunpo, all), PaintAll(*t.solid, all), PaintAll(*t.block, all);
}

// Appends entity `ref` of drawing `from` (its drawing lists or a definition) to `t` in colour `c`.
void AppendFrom(const TJwwData& from, const EntityRef& ref, Target t, Word c) {
  auto take = [&](const auto& list, auto& out, Integer& n, EntKind kind) {
    if (ref.index < 0 || static_cast<size_t>(ref.index) >= list.size()) return;
    auto e = list[static_cast<size_t>(ref.index)];
    Paint(e, c);
    Append(t, out, n, e, kind);
  };
  const bool top = ref.def < 0;
  if (!top && static_cast<size_t>(ref.def) >= from.EntBlockDef.size()) return;
  const TEntJwwBlockDef* def = top ? nullptr : &from.EntBlockDef[static_cast<size_t>(ref.def)];
  switch (ref.kind) {
    case kEntLine: take(top ? from.EntLine : def->mLine, *t.line, *t.lineN, kEntLine); break;
    case kEntEnko: take(top ? from.EntEnko : def->mEnko, *t.enko, *t.enkoN, kEntEnko); break;
    case kEntTen: take(top ? from.EntTen : def->mTen, *t.ten, *t.tenN, kEntTen); break;
    case kEntMoji: take(top ? from.EntMoji : def->mMoji, *t.moji, *t.mojiN, kEntMoji); break;
    case kEntSunpo: take(top ? from.EntSunpo : def->mSunpo, *t.sunpo, *t.sunpoN, kEntSunpo); break;
    case kEntSolid: take(top ? from.EntSolid : def->mSolid, *t.solid, *t.solidN, kEntSolid); break;
    case kEntBlock: take(top ? from.EntBlock : def->mBlock, *t.block, *t.blockN, kEntBlock); break;
    default: break;
  }
}

}  // namespace

TJwwData ChangeDrawing(const TJwwData& a, const TJwwData& b, const Result& r) {
  TJwwData c = b;
  c.BindImage.clear();
  c.BindImageN = 0;
  c.BindImageFolder.clear();
  if (c.EntColS.size() < 105) c.EntColS.resize(105);
  const bool hundredths = c.Enthd.bSenHaba100;
  const struct {
    Word code;
    Integer rgb;  // red in the low byte
    const char16_t* name;
  } colours[] = {{kGrey, 0xA0A0A0, u"unchanged"}, {kRed, 0x0000E0, u"removed"},
                 {kBlue, 0xE00000, u"added"}, {kOrange, 0x0090FF, u"changed"}, {kPurple, 0xC02090, u"moved"}};
  for (const auto& k : colours) {
    TEntJwwColorExNo& e = c.EntColS[k.code - 100];
    e.aPenColor = e.aPrtPenColor = k.rgb;
    e.astrUDColorName = k.name;
    e.anPenWidth = e.anPrtPenWidth = hundredths ? 25 : 3;  // 0.25 mm
  }

  Trim(Of(c));
  const size_t defs = std::min(c.EntBlockDef.size(), static_cast<size_t>(std::max(c.EntBlockDefN, 0)));
  c.EntBlockDef.resize(defs);
  c.EntBlockDefN = static_cast<Integer>(defs);
  for (TEntJwwBlockDef& d : c.EntBlockDef) {
    Trim(Of(d));
    PaintTarget(Of(d), kGrey);
  }
  PaintTarget(Of(c), kGrey);

  // Added, changed and moved entities where they lie in the new drawing.
  std::vector<const EntityChange*> removed;
  std::map<std::pair<int, int>, Word> insertion;  // drawing-level insertion index -> colour
  for (const EntityChange& e : r.entities) {
    if (e.kind == kEntBlockDef) continue;
    if (e.status == Status::Removed) {
      removed.push_back(&e);
      continue;
    }
    const Word code = e.status == Status::Added ? kBlue : e.status == Status::Moved ? kPurple : kOrange;
    const EntityRef& at = e.after;
    Target t = at.def < 0 ? Of(c) : Of(c.EntBlockDef[static_cast<size_t>(at.def)]);
    const size_t i = static_cast<size_t>(at.index);
    switch (at.kind) {
      case kEntLine: Paint((*t.line)[i], code); break;
      case kEntEnko: Paint((*t.enko)[i], code); break;
      case kEntTen: Paint((*t.ten)[i], code); break;
      case kEntMoji: Paint((*t.moji)[i], code); break;
      case kEntSunpo: Paint((*t.sunpo)[i], code); break;
      case kEntSolid: Paint((*t.solid)[i], code); break;
      case kEntBlock:
        Paint((*t.block)[i], code);
        if (at.def < 0) insertion[{at.index, 0}] = code;
        break;
      default: break;
    }
  }

  // Insertions drawn in their own colour place a copy of their definition in that colour.
  Cardinal nextNumber = 1;
  std::unordered_map<Cardinal, size_t> byNumber;
  std::unordered_map<std::u16string, size_t> byName;
  for (size_t i = 0; i < c.EntBlockDef.size(); ++i) {
    nextNumber = std::max(nextNumber, c.EntBlockDef[i].nNumber + 1);
    byNumber.emplace(c.EntBlockDef[i].nNumber, i);
    byName.emplace(c.EntBlockDef[i].strName, i);
  }
  std::map<std::pair<size_t, Word>, Cardinal> copies;
  auto copyOf = [&](const TEntJwwBlockDef& src, Word code) {
    TEntJwwBlockDef d = src;
    Trim(Of(d));
    PaintTarget(Of(d), code);
    d.nNumber = nextNumber++;
    d.strName += u"~" + std::u16string(code == kRed    ? u"removed"
                                       : code == kBlue  ? u"added"
                                       : code == kPurple ? u"moved"
                                                         : u"changed");
    c.EntBlockDef.push_back(std::move(d));
    c.EntBlockDefN = static_cast<Integer>(c.EntBlockDef.size());
    return c.EntBlockDef.back().nNumber;
  };
  auto recolour = [&](TEntJwwBlock& ins, size_t def, Word code) {
    auto [it, fresh] = copies.emplace(std::make_pair(def, code), 0);
    if (fresh) it->second = copyOf(c.EntBlockDef[def], code);
    ins.nNumber = it->second;
  };
  for (const auto& [key, code] : insertion) {
    TEntJwwBlock& ins = c.EntBlock[static_cast<size_t>(key.first)];
    if (auto it = byNumber.find(ins.nNumber); it != byNumber.end()) recolour(ins, it->second, code);
  }

  // Removed entities of the old drawing, in red, where they lay: the drawing or the definition
  // of the same name. A removed insertion places its definition in red.
  std::unordered_map<Cardinal, const TEntJwwBlockDef*> oldDefs;
  for (const TEntJwwBlockDef& d : a.EntBlockDef) oldDefs.emplace(d.nNumber, &d);
  for (const EntityChange* e : removed) {
    const EntityRef& at = e->before;
    if (at.def >= 0) {
      if (static_cast<size_t>(at.def) >= a.EntBlockDef.size()) continue;
      const auto it = byName.find(a.EntBlockDef[static_cast<size_t>(at.def)].strName);
      if (it != byName.end()) AppendFrom(a, at, Of(c.EntBlockDef[it->second]), kRed);
      continue;
    }
    AppendFrom(a, at, Of(c), kRed);
    if (at.kind != kEntBlock) continue;
    TEntJwwBlock& ins = c.EntBlock.back();
    const auto old = oldDefs.find(ins.nNumber);
    if (old == oldDefs.end()) continue;
    const auto same = byName.find(old->second->strName);
    if (same != byName.end()) {
      recolour(ins, same->second, kRed);
    } else {
      // The definition is gone from the new drawing: its old content, in red. Insertions
      // inside it refer to the old drawing's numbers and are left out.
      TEntJwwBlockDef d = *old->second;
      d.mBlock.clear();
      d.mBlockN = 0;
      d.mNo.erase(std::remove_if(d.mNo.begin(), d.mNo.end(), [](const TEntJwwNo& n) { return n.EntType == kEntBlock; }),
                  d.mNo.end());
      d.N = static_cast<Integer>(d.mNo.size());
      ins.nNumber = copyOf(d, kRed);
    }
  }
  c.Enthd.n2 = c.EntBlockDefN;
  c.MakeBlockTree();
  return c;
}

}  // namespace compare
