// The block tree (one node per placed block instance, laid out breadth first) and the lookups of
// block definitions by number and name.
//
// Use and placement are derived separately. A definition is in use when the drawing inserts it or
// a definition in use does; that is marked by a walk over the definitions, each visited once, so
// it holds for any drawing. The placement tree is bounded: a definition that inserts itself,
// directly or through others, is not expanded again beneath itself (the node is kept, its
// children are not added), and the tree holds at most kMaxBlockTreeNodes nodes beyond the
// drawing's own insertions, so that a chain of definitions each inserting the next many times
// ends in bounded memory and time. Nodes share their definition's name rather than copy it.
#include <cmath>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "jww/JwwUnit.h"
#include "jww/construct.h"

namespace jww {

namespace {

/// Upper bound on the nodes added beneath the drawing's own insertions.
constexpr Integer kMaxBlockTreeNodes = 1 << 20;
/// Upper bound on the ancestor steps the self-insertion guard may take in one tree.
constexpr int64_t kMaxAncestorSteps = int64_t{1} << 26;

constexpr std::u16string_view kDecoration = u"@@SFIG";

char16_t UpperForMatch(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - u'a' + u'A');
  if (c == u'\u017F') return u'S';  // long s upper-cases to S
  if (c == u'\u0131') return u'I';  // dotless i upper-cases to I
  return c;
}

/// Position of the decoration "@@SFIG" (any letter case), or npos.
size_t DecorationPos(std::u16string_view name) {
  if (name.size() < kDecoration.size()) return std::u16string_view::npos;
  for (size_t i = 0; i + kDecoration.size() <= name.size(); ++i) {
    size_t k = 0;
    while (k < kDecoration.size() && UpperForMatch(name[i + k]) == kDecoration[k]) ++k;
    if (k == kDecoration.size()) return i;
  }
  return std::u16string_view::npos;
}

std::u16string_view Undecorated(std::u16string_view name) {
  const size_t p = DecorationPos(name);
  return p == std::u16string_view::npos ? name : name.substr(0, p);
}

struct Placement {
  Double x, y, r1, r2, r3, r4;
};

Placement OwnPlacement(const TEntJwwBlock& b) {
  const Double c = std::cos(b.radKaitenKaku), s = std::sin(b.radKaitenKaku);
  return {b.DPKijunTen_x, b.DPKijunTen_y, c * b.dBairitsuX, -s * b.dBairitsuY,
          s * b.dBairitsuX, c * b.dBairitsuY};
}

}  // namespace

void TJwwData::MakeBlockTree() {
  EntBlockTree.clear();
  EntBlockTreeN = 0;
  const Integer defN = std::min<Integer>(EntBlockDefN, static_cast<Integer>(EntBlockDef.size()));
  for (Integer i = 0; i < defN; ++i) {
    EntBlockDef[i].ref_flag = false;
    EntBlockDef[i].ref_no = -1;
  }
  const Integer blockN = std::min<Integer>(EntBlockN, static_cast<Integer>(EntBlock.size()));
  if (blockN <= 0) return;

  // First definition (in list order) of each number.
  std::unordered_map<Cardinal, Integer> byNumber;
  byNumber.reserve(static_cast<size_t>(defN));
  for (Integer i = 0; i < defN; ++i) byNumber.emplace(EntBlockDef[i].nNumber, i);
  auto find = [&](Cardinal no) -> Integer {
    auto it = byNumber.find(no);
    return it == byNumber.end() ? -1 : it->second;
  };

  // In use: reached from the drawing's insertions. Each definition enters the walk once, so the
  // walk takes one step per insertion, whatever the tree below would hold.
  std::vector<Integer> walk;
  auto use = [&](Cardinal no) {
    const Integer i = find(no);
    if (i >= 0 && !EntBlockDef[i].ref_flag) {
      EntBlockDef[i].ref_flag = true;
      walk.push_back(i);
    }
  };
  for (Integer j = 0; j < blockN; ++j) use(EntBlock[j].nNumber);
  for (size_t w = 0; w < walk.size(); ++w) {
    const TEntJwwBlockDef& def = EntBlockDef[walk[w]];
    const Integer childN = std::min<Integer>(def.mBlockN, static_cast<Integer>(def.mBlock.size()));
    for (Integer l = 0; l < childN; ++l) use(def.mBlock[l].nNumber);
  }

  std::vector<TBlockName> names(static_cast<size_t>(defN));
  auto lookup = [&](TEntJwwBlockTree& node) {
    const Integer i = find(node.no);
    if (i < 0) return;
    node.defno = i;
    if (names[i].empty() && !EntBlockDef[i].strName.empty())
      names[i] = TBlockName(std::make_shared<const string>(EntBlockDef[i].strName));
    node.name = names[i];
  };

  EntBlockTree.reserve(static_cast<size_t>(blockN));
  for (Integer j = 0; j < blockN; ++j) {
    const TEntJwwBlock& b = EntBlock[j];
    const Placement m = OwnPlacement(b);
    TEntJwwBlockTree node;
    node.att = b.att;
    node.level = 0;
    node.parent = -1;
    node.no = b.nNumber;
    node.x = m.x;
    node.y = m.y;
    node.r1 = m.r1;
    node.r2 = m.r2;
    node.r3 = m.r3;
    node.r4 = m.r4;
    lookup(node);
    EntBlockTree.push_back(std::move(node));
  }

  const size_t limit = static_cast<size_t>(blockN) + kMaxBlockTreeNodes;
  int64_t ancestorSteps = 0;
  for (size_t k = 0; k < EntBlockTree.size(); ++k) {
    const Integer defno = EntBlockTree[k].defno;
    if (defno < 0) continue;
    const TEntJwwBlockDef& def = EntBlockDef[defno];
    const Integer childN = std::min<Integer>(def.mBlockN, static_cast<Integer>(def.mBlock.size()));
    if (childN <= 0) continue;
    // Not beneath itself: an ancestor of node k that places the same definition means a cycle.
    bool cycle = false;
    for (Integer a = EntBlockTree[k].parent; a >= 0 && !cycle; a = EntBlockTree[a].parent) {
      cycle = EntBlockTree[a].defno == defno;
      if (++ancestorSteps > kMaxAncestorSteps) cycle = true;
    }
    if (cycle) continue;
    // Taken before the tree grows: appending may move the nodes.
    const TEntJwwBlockTree parent = EntBlockTree[k];
    for (Integer l = 0; l < childN && EntBlockTree.size() < limit; ++l) {
      const TEntJwwBlock& b = def.mBlock[l];
      const Placement m = OwnPlacement(b);
      TEntJwwBlockTree node;
      node.att = def.att;
      node.level = parent.level + 1;
      node.parent = static_cast<Integer>(k);
      node.no = b.nNumber;
      node.x = parent.x + parent.r1 * m.x + parent.r2 * m.y;
      node.y = parent.y + parent.r3 * m.x + parent.r4 * m.y;
      node.r1 = parent.r1 * m.r1 + parent.r2 * m.r3;
      node.r2 = parent.r1 * m.r2 + parent.r2 * m.r4;
      node.r3 = parent.r3 * m.r1 + parent.r4 * m.r3;
      node.r4 = parent.r3 * m.r2 + parent.r4 * m.r4;
      lookup(node);
      EntBlockTree.push_back(std::move(node));
    }
  }
  EntBlockTreeN = static_cast<Integer>(EntBlockTree.size());

  Integer counter = 0;
  for (Integer i = 0; i < defN; ++i)
    if (EntBlockDef[i].ref_flag) EntBlockDef[i].ref_no = counter++;
  EntBlockNum = counter;
}

Cardinal TJwwData::ChangeBlockNo(Cardinal n) {
  const Integer defN = std::min<Integer>(EntBlockDefN, static_cast<Integer>(EntBlockDef.size()));
  for (Integer i = 0; i < defN; ++i) {
    const TEntJwwBlockDef& d = EntBlockDef[i];
    if (d.nNumber == n) return d.ref_flag ? static_cast<Cardinal>(d.ref_no) : n;
  }
  return 0;
}

Integer TJwwData::GetBlkNo(const string& ps) {
  const std::u16string_view want = Undecorated(ps);
  const Integer defN = std::min<Integer>(EntBlockDefN, static_cast<Integer>(EntBlockDef.size()));
  for (Integer i = 0; i < defN; ++i)
    if (Undecorated(EntBlockDef[i].strName) == want) return i;
  return -1;
}

Integer TJwwData::GetBlkNumber(Integer bdn) {
  if (bdn < 0 || bdn >= EntBlockDefN || bdn >= static_cast<Integer>(EntBlockDef.size())) return -1;
  return static_cast<Integer>(EntBlockDef[bdn].nNumber);
}

string TJwwData::GetBlkName(const string& ps) {
  if (GetBlkNo(ps) == -1) return ps;
  const std::u16string_view full(ps);
  const size_t p = DecorationPos(full);
  const string base(p == std::u16string_view::npos ? full : full.substr(0, p));
  const string decoration(p == std::u16string_view::npos ? std::u16string_view() : full.substr(p));
  for (int64_t n = 1;; ++n) {
    const std::string digits = std::to_string(n);
    string candidate = base + u"~" + string(digits.begin(), digits.end());
    if (GetBlkNo(candidate) == -1) return candidate + decoration;
  }
}

string GivenBlockName(const string& stored) {
  const size_t at = DecorationPos(stored);
  return at == std::u16string_view::npos || at == 0 ? stored : stored.substr(0, at);
}

size_t build::BlkNameDecorationPos(std::u16string_view name) { return DecorationPos(name); }

}  // namespace jww
