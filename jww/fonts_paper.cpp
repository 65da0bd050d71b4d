// Paper size of a drawing and the font names its texts use.
#include <algorithm>

#include "jww/JwwUnit.h"

namespace jww {

namespace {

struct PaperMm {
  Integer code;
  const char16_t* label;
  Double w, h;
};

// Landscape, longer side first. Codes without a size of their own take the size of A0.
constexpr PaperMm kPapers[] = {
    {0, u"A0", 1189, 841},       {1, u"A1", 841, 594},         {2, u"A2", 594, 420},
    {3, u"A3", 420, 297},        {4, u"A4", 297, 210},         {8, u"2A", 1682, 1189},
    {9, u"3A", 2378, 1682},      {10, u"4A", 3364, 2378},      {11, u"5A", 4756, 3364},
    {12, u"10m", 10000, 7073},   {13, u"50m", 50000, 35366},   {14, u"100m", 100000, 70732},
};

}  // namespace

string PaperLabel(Integer nZumen) {
  for (const PaperMm& p : kPapers)
    if (p.code == nZumen) return p.label;
  return {};
}

void TJwwData::GetPaperSize(Double& px, Double& py) {
  px = kPapers[0].w;
  py = kPapers[0].h;
  for (const PaperMm& p : kPapers) {
    if (p.code == Enthd.nZumen) {
      px = p.w;
      py = p.h;
    }
  }
}

Integer TJwwData::GetFontNamesIndex(const string& s) {
  std::u16string_view name(s);
  for (int i = 0; i < 3 && !name.empty() && name.front() == u'@'; ++i) name.remove_prefix(1);
  const Integer n = std::min<Integer>(FontNameN, static_cast<Integer>(FontNames.size()));
  for (Integer i = 0; i < n; ++i)
    if (FontNames[i] == name) return i;
  return -1;
}

void TJwwData::GetFontNames() {
  FontNameN = 0;
  FontNames.clear();
  FontNames.reserve(100);
  auto visit = [this](const string& name) {
    if (GetFontNamesIndex(name) != -1) return;
    FontNames.push_back(name);
    ++FontNameN;
  };
  auto visitLists = [&](const std::vector<TEntJwwMoji>& moji, Integer mojiN,
                        const std::vector<TEntJwwSunpo>& sunpo, Integer sunpoN) {
    mojiN = std::min<Integer>(mojiN, static_cast<Integer>(moji.size()));
    sunpoN = std::min<Integer>(sunpoN, static_cast<Integer>(sunpo.size()));
    for (Integer i = 0; i < mojiN; ++i) visit(moji[i].strFontName);
    for (Integer i = 0; i < sunpoN; ++i) visit(sunpo[i].Moji.strFontName);
  };
  visitLists(EntMoji, EntMojiN, EntSunpo, EntSunpoN);
  const Integer defN = std::min<Integer>(EntBlockDefN, static_cast<Integer>(EntBlockDef.size()));
  for (Integer i = 0; i < defN; ++i) {
    const TEntJwwBlockDef& d = EntBlockDef[i];
    visitLists(d.mMoji, d.mMojiN, d.mSunpo, d.mSunpoN);
  }
  FontNames.shrink_to_fit();
}

}  // namespace jww
