// Block definitions built by a program: a new, empty definition under a unique decorated name and
// a fresh number, the trimming of one definition's lists, and the guard that keeps nested
// insertions from forming a cycle.
#include <algorithm>
#include <climits>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "jww/construct.h"

namespace jww {

using namespace build;

namespace {

constexpr char16_t kDecoration[] = u"@@SfigorgFlag@@";

/// 0 in a drawing without definitions, else one more than the largest number. Should the largest
/// number already be the highest a Cardinal holds, the smallest free number is taken instead, so
/// that two definitions never share a number (an insertion would then show the wrong one).
Cardinal NewNumber(const TJwwData& d, Integer defs) {
  if (defs == 0) return 0;
  Cardinal top = 0;
  for (Integer i = 0; i < defs; ++i) top = std::max(top, d.EntBlockDef[static_cast<size_t>(i)].nNumber);
  if (top != UINT32_MAX) return top + 1;
  std::unordered_set<Cardinal> used;
  for (Integer i = 0; i < defs; ++i) used.insert(d.EntBlockDef[static_cast<size_t>(i)].nNumber);
  Cardinal n = 0;
  while (used.count(n)) ++n;
  return n;
}

}  // namespace

bool build::InsertionMakesCycle(const TJwwData& d, Integer bdn, Cardinal bn) {
  const Integer defs = std::min<Integer>(d.EntBlockDefN, static_cast<Integer>(d.EntBlockDef.size()));
  // Insertions find their definition by number: the first definition in list order that has it.
  std::unordered_map<Cardinal, Integer> byNumber;
  byNumber.reserve(static_cast<size_t>(defs));
  for (Integer i = 0; i < defs; ++i) byNumber.emplace(d.EntBlockDef[static_cast<size_t>(i)].nNumber, i);

  std::vector<bool> seen(static_cast<size_t>(defs), false);
  std::vector<Integer> todo;
  auto visit = [&](Cardinal number) {
    auto it = byNumber.find(number);
    if (it == byNumber.end() || seen[static_cast<size_t>(it->second)]) return false;
    seen[static_cast<size_t>(it->second)] = true;
    todo.push_back(it->second);
    return it->second == bdn;
  };
  if (visit(bn)) return true;
  while (!todo.empty()) {
    const TEntJwwBlockDef& def = d.EntBlockDef[static_cast<size_t>(todo.back())];
    todo.pop_back();
    const Integer n = std::min<Integer>(def.mBlockN, static_cast<Integer>(def.mBlock.size()));
    for (Integer k = 0; k < n; ++k)
      if (visit(def.mBlock[static_cast<size_t>(k)].nNumber)) return true;
  }
  return false;
}

Boolean TJwwData::AddBlkDef(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                            Integer bf, const string& ps) {
  try {
    if (bf < 1 || bf > 4) bf = 4;
    string name = ps;
    if (BlkNameDecorationPos(name) == std::u16string_view::npos)
      name += string(kDecoration) + static_cast<char16_t>(u'0' + bf);
    name = GetBlkName(name);

    if (EntBlockDefN < 0 || EntBlockDefN == INT_MAX) return false;
    const Integer defs = std::min<Integer>(EntBlockDefN, static_cast<Integer>(EntBlockDef.size()));
    TEntJwwBlockDef def;
    def.att = MakeAttr(cn, lg, ly, co, tp, wd);
    ColLtp_Check(def.att.nPenColor, def.att.nPenStyle);
    def.nNumber = NewNumber(*this, defs);
    def.strName = std::move(name);
    def.att.sFlg = Flags(FlagKind::kBlock, fl & 0xF);
    EntBlockDef.resize(static_cast<size_t>(EntBlockDefN) + 1);
    EntBlockDef.back() = std::move(def);
    ++EntBlockDefN;
    ++Enthd.n2;
    return true;
  } catch (...) {  // lack of memory: the counts are as before
    return false;
  }
}

void TJwwData::AddBlkDefPost(Integer bdn) {
  if (bdn < 0 || bdn >= EntBlockDefN || static_cast<size_t>(bdn) >= EntBlockDef.size()) return;
  TrimLists(DefinitionTarget(EntBlockDef[static_cast<size_t>(bdn)]));
}

}  // namespace jww
