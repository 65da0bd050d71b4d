// Paper size of a drawing and the font names its texts use.
#include <algorithm>

#include "jww/JwwUnit.h"
#include "jww/entity_in.h"

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

namespace {

/// The name as the lookup compares it: up to three leading "@" removed.
std::u16string_view LookupName(std::u16string_view name) {
  for (int i = 0; i < 3 && !name.empty() && name.front() == u'@'; ++i) name.remove_prefix(1);
  return name;
}

}  // namespace

Integer TJwwData::GetFontNamesIndex(const string& s) {
  const std::u16string_view name = LookupName(s);
  const Integer n = std::min<Integer>(FontNameN, static_cast<Integer>(FontNames.size()));
  for (Integer i = 0; i < n; ++i)
    if (FontNames[i] == name) return i;
  return -1;
}

TFontNameList::TFontNameList(TJwwData& d) : d_(d) {
  d_.FontNameN = 0;
  d_.FontNames.clear();
}

// A name is stored as the text holds it, once: a name with a leading "@" is never found again by
// the lookup, and storing it for every text that uses it made the list (and the time to build
// it) grow with the texts rather than with the fonts.
void TFontNameList::Visit(const string& name) {
  if (stored_.count(name)) return;
  const std::u16string_view key = LookupName(name);
  if (key.size() != name.size() && stored_.count(string(key))) return;
  d_.FontNames.push_back(name);
  d_.FontNameN = static_cast<Integer>(d_.FontNames.size());
  stored_.insert(name);
}

void TFontNameList::VisitLists(const std::vector<TEntJwwMoji>& moji, Integer mojiN,
                               const std::vector<TEntJwwSunpo>& sunpo, Integer sunpoN) {
  mojiN = std::min<Integer>(mojiN, static_cast<Integer>(moji.size()));
  sunpoN = std::min<Integer>(sunpoN, static_cast<Integer>(sunpo.size()));
  for (Integer i = 0; i < mojiN; ++i) Visit(moji[i].strFontName);
  for (Integer i = 0; i < sunpoN; ++i) Visit(sunpo[i].Moji.strFontName);
}

void TFontNameList::VisitDefinitions() {
  const Integer defN = std::min<Integer>(d_.EntBlockDefN, static_cast<Integer>(d_.EntBlockDef.size()));
  for (Integer i = 0; i < defN; ++i) {
    const TEntJwwBlockDef& b = d_.EntBlockDef[i];
    VisitLists(b.mMoji, b.mMojiN, b.mSunpo, b.mSunpoN);
  }
}

void TJwwData::GetFontNames() {
  TFontNameList list(*this);
  list.VisitLists(EntMoji, EntMojiN, EntSunpo, EntSunpoN);
  list.VisitDefinitions();
  FontNames.shrink_to_fit();
}

}  // namespace jww
