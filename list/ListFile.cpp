#include "list/ListFile.h"

#include <algorithm>
#include <cmath>

namespace dravik {

using jww::TLocalTime;
using jww::TRegional;
using jww::TwoDigits;

namespace {

const std::u16string kBlank = u" ";

std::u16string OrBlank(std::u16string s) { return s.empty() ? kBlank : s; }

std::u16string Digits(int64_t v) {
  std::string s = std::to_string(v);
  return std::u16string(s.begin(), s.end());
}

std::u16string DateText(const TLocalTime& t, const TRegional& r) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d", t.year);
  std::u16string y(buf, buf + 4);
  return y + r.dateSep + TwoDigits(t.month) + r.dateSep + TwoDigits(t.day);
}

std::u16string TimeText(const TLocalTime& t, const TRegional& r) {
  return TwoDigits(t.hour) + r.timeSep + TwoDigits(t.minute) + r.timeSep + TwoDigits(t.second);
}

// Words of a file name: split at ASCII spaces; a space at the very start of what is left ends
// the words (the remaining keys get " ").
std::vector<std::u16string> NameWords(const std::u16string& name) {
  std::vector<std::u16string> words(9, kBlank);
  std::u16string rest = name + u" ";
  for (int k = 0; k < 9; ++k) {
    size_t p = rest.find(u' ');
    if (p == std::u16string::npos || p == 0) continue;
    words[k] = rest.substr(0, p);
    rest = rest.substr(p + 1);
  }
  return words;
}

class Writer {
 public:
  explicit Writer(std::vector<std::u16string>& lines) : lines_(lines) {}
  void Add(int slot, const char16_t* code, const std::u16string& value) {
    std::u16string line = u"%%";
    line += Digits(slot);
    line += code;
    line += u'\t';
    line += value.empty() ? kBlank : value;
    lines_.push_back(std::move(line));
  }

 private:
  std::vector<std::u16string>& lines_;
};

constexpr const char16_t* kWordCodes[9] = {u"fs1", u"fs2", u"fs3", u"fs4", u"fs5",
                                           u"fs6", u"fs7", u"fs8", u"fs9"};
constexpr const char16_t* kScaleCodes[16] = {u"SS0", u"SS1", u"SS2", u"SS3", u"SS4", u"SS5",
                                             u"SS6", u"SS7", u"SS8", u"SS9", u"SSa", u"SSb",
                                             u"SSc", u"SSd", u"SSe", u"SSf"};

void BlankDrawingRows(Writer& w, int slot) {
  w.Add(slot, u"mm", kBlank);
  w.Add(slot, u"m1", kBlank);
  w.Add(slot, u"m2", kBlank);
  w.Add(slot, u"p", kBlank);
  for (const char16_t* code : kScaleCodes) w.Add(slot, code, kBlank);
}

void EmptySlot(Writer& w, int slot) {
  w.Add(slot, u"F", kBlank);
  w.Add(slot, u"e", kBlank);
  w.Add(slot, u"f", kBlank);
  for (const char16_t* code : kWordCodes) w.Add(slot, code, kBlank);
  for (const char16_t* code : {u"DT", u"D", u"T", u"J", u"SZ"}) w.Add(slot, code, kBlank);
  BlankDrawingRows(w, slot);
}

void FileSlot(Writer& w, int slot, const std::u16string& path, jww::TJwwData& JWW,
              const TRegional& r) {
  const std::u16string base = jww::ExtractFileBaseName(path);
  w.Add(slot, u"F", path);
  w.Add(slot, u"e", jww::ExtractFileName(path));
  w.Add(slot, u"f", base);
  const auto words = NameWords(base);
  for (int k = 0; k < 9; ++k) w.Add(slot, kWordCodes[k], words[k]);

  const jww::TFileDateSize ds = jww::FileDateSize(path);
  w.Add(slot, u"DT", DateText(ds.time, r) + u" " + TimeText(ds.time, r));
  w.Add(slot, u"D", DateText(ds.time, r));
  w.Add(slot, u"T", TimeText(ds.time, r));
  w.Add(slot, u"J", EraDateText(ds.time));
  w.Add(slot, u"SZ", jww::FormatThousands(ds.size, r.thousandSep));

  // A drawing whose header cannot be read whole is treated like a file that is no drawing.
  if (!JWW.FileCheck(path) || !JWW.FileHeaderIn(path)) {
    JWW.DataFree();
    BlankDrawingRows(w, slot);
    return;
  }

  const std::u16string& memo = JWW.Enthd.strMemo;
  std::u16string m1 = memo, m2;
  size_t br = memo.find(u"\r\n");
  if (br != std::u16string::npos) {
    m1 = memo.substr(0, br);
    m2 = memo.substr(br + 2);
  }
  w.Add(slot, u"mm", OrBlank(m1 + u" " + m2));
  w.Add(slot, u"m1", OrBlank(m1));
  w.Add(slot, u"m2", OrBlank(m2));
  w.Add(slot, u"p", PaperLabel(JWW.Enthd.nZumen));
  for (int g = 0; g < 16; ++g) w.Add(slot, kScaleCodes[g], ScaleText(JWW.EntLgrp[g].adScale, r));
  JWW.DataFree();
}

}  // namespace

std::u16string PaperLabel(int nZumen) { return OrBlank(jww::PaperLabel(nZumen)); }

std::u16string ScaleText(double x, const TRegional& r) {
  // 0 has no reciprocal and NaN or infinity no meaning as a scale: the value is left blank.
  if (x == 0 || !std::isfinite(x)) return kBlank;
  if (jww::IsSameVal(1.0, x)) return u"1/1";
  if (x > 1) return u"1/" + jww::FloatToStrGeneral(jww::RoundDec(1, 2, x), r.decimalSep);
  const double inv = 1 / x;
  if (!std::isfinite(inv)) return kBlank;
  return jww::FloatToStrGeneral(jww::RoundDec(1, 2, inv), r.decimalSep) + u"/1";
}

std::u16string EraDateText(const TLocalTime& t) {
  const jww::TJpEra era = jww::JpEraDate(t);
  std::u16string year = era.eraName.empty() ? std::u16string() : Digits(era.eraYear);
  std::u16string pad(year.size() < 2 ? 2 - year.size() : 0, u' ');
  return era.eraName + pad + year + u"年" + TwoDigits(t.month) + u"月" + TwoDigits(t.day) + u"日";
}

std::vector<std::u16string> ListFileLines(const std::vector<std::u16string>& files, int DatNum,
                                          jww::TJwwData& JWW, const TRegional& regional,
                                          const ListProgress& progress) {
  std::vector<std::u16string> lines;
  if (files.empty()) return lines;
  const int total = std::max(static_cast<int>(files.size()), std::max(DatNum, 0));
  lines.reserve(2 + static_cast<size_t>(total) * kLinesPerSlot);
  lines.push_back(u"%%PA\t" + jww::ExtractFileFolder(files.front()));
  Writer w(lines);
  for (int i = 0; i < total; ++i) {
    if (i < static_cast<int>(files.size())) FileSlot(w, i + 1, files[i], JWW, regional);
    else EmptySlot(w, i + 1);
    if (progress) progress(i + 1, total);
  }
  lines.push_back(kBlank);
  return lines;
}

std::string ListFileBytes(const std::vector<std::u16string>& lines) {
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) out += "\r\n";
    out += jww::StrToAnsi(lines[i]);
  }
  return out;
}

bool SaveListFile(const std::u16string& LstName, const std::vector<std::u16string>& lines) {
  if (jww::WriteFileAtomic(LstName, ListFileBytes(lines))) return true;
  jww::DeleteFileIfExists(LstName);
  return false;
}

}  // namespace dravik
