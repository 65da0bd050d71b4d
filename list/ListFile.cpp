#include "list/ListFile.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include "jww/header_glance.h"
#include "jww/out_stream.h"

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

// Keys of one slot ("%%12" followed by the code), made in one buffer reused for every line.
class SlotWriter {
 public:
  SlotWriter(ListSink& sink, int slot) : sink_(sink), key_(u"%%" + Digits(slot)), prefix_(key_.size()) {}
  void Add(std::u16string_view code, std::u16string_view value) {
    key_.resize(prefix_);
    key_ += code;
    sink_.Line(key_, value.empty() ? std::u16string_view(kBlank) : value);
  }

 private:
  ListSink& sink_;
  std::u16string key_;
  size_t prefix_;
};

constexpr std::u16string_view kWordCodes[9] = {u"fs1", u"fs2", u"fs3", u"fs4", u"fs5",
                                               u"fs6", u"fs7", u"fs8", u"fs9"};
constexpr std::u16string_view kScaleCodes[16] = {u"SS0", u"SS1", u"SS2", u"SS3", u"SS4", u"SS5",
                                                 u"SS6", u"SS7", u"SS8", u"SS9", u"SSa", u"SSb",
                                                 u"SSc", u"SSd", u"SSe", u"SSf"};
constexpr std::u16string_view kSlotCodes[kLinesPerSlot] = {
    u"F",   u"e",   u"f",   u"fs1", u"fs2", u"fs3", u"fs4", u"fs5", u"fs6", u"fs7",
    u"fs8", u"fs9", u"DT",  u"D",   u"T",   u"J",   u"SZ",  u"mm",  u"m1",  u"m2",
    u"p",   u"SS0", u"SS1", u"SS2", u"SS3", u"SS4", u"SS5", u"SS6", u"SS7", u"SS8",
    u"SS9", u"SSa", u"SSb", u"SSc", u"SSd", u"SSe", u"SSf"};

void BlankDrawingRows(SlotWriter& w) {
  w.Add(u"mm", kBlank);
  w.Add(u"m1", kBlank);
  w.Add(u"m2", kBlank);
  w.Add(u"p", kBlank);
  for (std::u16string_view code : kScaleCodes) w.Add(code, kBlank);
}

void EmptySlot(SlotWriter& w) {
  for (std::u16string_view code : kSlotCodes) w.Add(code, kBlank);
}
// A memo as a list value: a list line cannot hold a line break or a tab (a memo holding CR LF,
// TAB would forge a line of its own), so each line break (CR LF, CR, LF) becomes one space and
// every other control character "?", as in paths and names.
std::u16string MemoText(std::u16string_view memo) {
  std::u16string out;
  out.reserve(memo.size());
  for (size_t i = 0; i < memo.size(); ++i) {
    const char16_t c = memo[i];
    if (c == u'\r' || c == u'\n') {
      if (c == u'\r' && i + 1 < memo.size() && memo[i + 1] == u'\n') ++i;
      out.push_back(u' ');
    } else {
      out.push_back(c < 0x20 || c == 0x7F ? u'?' : c);
    }
  }
  return out;
}


// The text of each group's scale for the previous drawing: drawings of one folder mostly share
// their scales, and the text of the same value is the same text.
struct ScaleTexts {
  uint64_t bits[16] = {};
  std::u16string text[16];
  bool filled = false;

  const std::u16string& Of(int g, double x, const TRegional& r) {
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    if (!filled || b != bits[g]) {
      bits[g] = b;
      text[g] = ScaleText(x, r);
    }
    return text[g];
  }
};

void FileSlot(SlotWriter& w, const std::u16string& path, jww::HeaderGlance& glance, ScaleTexts& scales,
              const TRegional& r) {
  const std::u16string base = PathText(jww::ExtractFileBaseName(path));
  w.Add(u"F", PathText(path));
  w.Add(u"e", PathText(jww::ExtractFileName(path)));
  w.Add(u"f", base);
  const auto words = NameWords(base);
  for (int k = 0; k < 9; ++k) w.Add(kWordCodes[k], words[k]);

  const jww::TDrawingGlance& g = glance.Glance(path);
  const std::u16string date = DateText(g.dateSize.time, r), time = TimeText(g.dateSize.time, r);
  w.Add(u"DT", date + u" " + time);
  w.Add(u"D", date);
  w.Add(u"T", time);
  w.Add(u"J", EraDateText(g.dateSize.time));
  w.Add(u"SZ", jww::FormatThousands(g.dateSize.size, r.thousandSep));

  // A drawing whose header cannot be read whole is treated like a file that is no drawing.
  if (!g.drawing) {
    BlankDrawingRows(w);
    return;
  }

  const std::u16string& memo = g.memo;
  std::u16string m1 = memo, m2;
  size_t br = memo.find(u"\r\n");
  if (br != std::u16string::npos) {
    m1 = memo.substr(0, br);
    m2 = memo.substr(br + 2);
  }
  m1 = MemoText(m1);
  m2 = MemoText(m2);
  w.Add(u"mm", OrBlank(m1 + u" " + m2));
  w.Add(u"m1", OrBlank(m1));
  w.Add(u"m2", OrBlank(m2));
  w.Add(u"p", PaperLabel(g.nZumen));
  for (int k = 0; k < 16; ++k) w.Add(kScaleCodes[k], scales.Of(k, g.scales[k], r));
  scales.filled = true;
}

// Appends text in code page 932; ASCII (keys, blanks, dates, numbers) in one pass without a table
// lookup, which the compiler turns into wide loads and stores.
void AppendAnsi(std::string& out, std::u16string_view text) {
  const size_t at = out.size();
  out.resize(at + text.size());
  char* dst = out.data() + at;
  char16_t bits = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    bits |= text[i];
    dst[i] = static_cast<char>(text[i]);
  }
  if (bits >= 0x80) {
    out.resize(at);
    out += jww::StrToAnsi(text);
  }
}

// Parts end at the first line end past this size: large enough that a write per part costs
// nothing, small enough that the last part's spare room is negligible.
constexpr size_t kPartSize = 1 << 20;
// A drained part is written and its buffer filled again: small enough to stay in the processor's
// cache and to need no fresh pages, large enough that the writes cost nothing.
constexpr size_t kDrainPartSize = 1 << 16;

class LinesSink final : public ListSink {
 public:
  explicit LinesSink(std::vector<std::u16string>& lines) : lines_(lines) {}
  void Line(std::u16string_view key, std::u16string_view value) override {
    std::u16string line(key);
    if (!value.empty()) {
      line += u'\t';
      line += value;
    }
    lines_.push_back(std::move(line));
  }

 private:
  std::vector<std::u16string>& lines_;
};

// Writes parts to a temporary file beside LstName and puts it in place; on failure a file named
// LstName is deleted (never a device or pipe written in place: as root that would be /dev/null),
// and `why` says why it failed.
bool WriteParts(const std::u16string& LstName, const std::function<bool(jww::OutStream&)>& fill,
                std::string* why = nullptr) {
  bool ok = false;
  std::string reason;
  std::unique_ptr<jww::OutStream> out;
  try {
    out = jww::OutStream::CreateBeside(LstName, &reason);
    if (out && fill(*out)) {
      out->Commit();
      ok = true;
    } else if (out && reason.empty()) {
      reason = out->Reason();
    }
  } catch (const std::bad_alloc&) {
    reason = std::strerror(ENOMEM);
  } catch (const std::exception&) {
    if (out) reason = out->Reason();
  }
  if (!ok) {
    struct stat st;
    if (::lstat(jww::NativePath(LstName).c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
      jww::DeleteFileIfExists(LstName);
    if (why) *why = reason.empty() ? std::string(jww::kIOError) : reason;
  }
  return ok;
}

}  // namespace

std::u16string PathText(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out)
    if (c < 0x20 || c == 0x7F) c = u'?';
  return out;
}

int SlotCountOf(int64_t n) {
  const int64_t a = n < 0 ? -n : n;
  return static_cast<int>(std::min<int64_t>(a, INT32_MAX));
}

uint64_t ListFileMinimumSize(size_t fileCount, int DatNum) {
  const uint64_t slots = std::max<uint64_t>(fileCount, static_cast<uint64_t>(std::max(DatNum, 0)));
  uint64_t codes = 0;
  for (std::u16string_view c : kSlotCodes) codes += c.size();
  // "%%PA", TAB, a folder of at least one character; then CR LF and the closing " ".
  uint64_t total = 6 + 3;
  // A slot of d-digit number: each line CR LF, "%%", the digits, its code, TAB and " ".
  uint64_t first = 1;
  for (int d = 1; first <= slots; ++d, first *= 10) {
    const uint64_t last = std::min(slots, first * 10 - 1);
    total += (last - first + 1) * (kLinesPerSlot * (6 + static_cast<uint64_t>(d)) + codes);
  }
  return total;
}

uint64_t ListFileRoom(const std::u16string& LstName) {
  uint64_t room = UINT64_MAX;
  // MemAvailable counts what the system can give without swapping; without it, the free pages.
  if (std::FILE* f = std::fopen("/proc/meminfo", "r")) {
    char line[256];
    unsigned long long kb = 0;
    while (std::fgets(line, sizeof line, f))
      if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) room = static_cast<uint64_t>(kb) * 1024;
    std::fclose(f);
  }
  if (room == UINT64_MAX) {
    const long pages = ::sysconf(_SC_AVPHYS_PAGES), size = ::sysconf(_SC_PAGESIZE);
    if (pages > 0 && size > 0) room = static_cast<uint64_t>(pages) * static_cast<uint64_t>(size);
  }
  std::string folder = jww::NativePath(LstName);
  const size_t slash = folder.rfind('/');
  folder = slash == std::string::npos ? std::string(".") : folder.substr(0, slash + 1);
  struct statvfs fs;
  if (::statvfs(folder.c_str(), &fs) == 0)
    room = std::min<uint64_t>(room, static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize);
  return room;
}

void ListBytes::Line(std::u16string_view key, std::u16string_view value) {
  if (drainFailed_) return;
  const size_t partSize = drain_ ? kDrainPartSize : kPartSize;
  if (parts_.empty() || parts_.back().size() >= partSize) {
    if (drain_ && !parts_.empty()) {
      if (!drain_(parts_.back())) {
        drainFailed_ = true;
        return;
      }
      parts_.back().clear();
    } else {
      parts_.emplace_back().reserve(partSize + (partSize >> 4));
    }
  }
  std::string& out = parts_.back();
  const size_t before = out.size();
  if (!first_) out += "\r\n";
  first_ = false;
  AppendAnsi(out, key);
  if (!value.empty()) {
    out += '\t';
    AppendAnsi(out, value);
  }
  size_ += out.size() - before;
}

bool ListBytes::FinishDrain() {
  if (drainFailed_) return false;
  if (drain_ && !parts_.empty() && !parts_.back().empty()) {
    if (!drain_(parts_.back())) drainFailed_ = true;
    parts_.back().clear();
  }
  return !drainFailed_;
}

std::string ListBytes::Joined() const {
  std::string out;
  out.reserve(static_cast<size_t>(size_));
  for (const std::string& p : parts_) out += p;
  return out;
}

void ListBytes::Clear() {
  parts_.clear();
  parts_.shrink_to_fit();
  size_ = 0;
  first_ = true;
  drainFailed_ = false;
}

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

std::u16string DateText(const TLocalTime& t, const TRegional& r) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d", t.year);
  std::u16string y(buf, buf + std::char_traits<char>::length(buf));
  return y + r.dateSep + TwoDigits(t.month) + r.dateSep + TwoDigits(t.day);
}

std::u16string TimeText(const TLocalTime& t, const TRegional& r) {
  return TwoDigits(t.hour) + r.timeSep + TwoDigits(t.minute) + r.timeSep + TwoDigits(t.second);
}

std::u16string EraDateText(const TLocalTime& t) {
  const jww::TJpEra era = jww::JpEraDate(t);
  std::u16string year = era.eraName.empty() ? std::u16string() : Digits(era.eraYear);
  std::u16string pad(year.size() < 2 ? 2 - year.size() : 0, u' ');
  return era.eraName + pad + year + u"年" + TwoDigits(t.month) + u"月" + TwoDigits(t.day) + u"日";
}

void ListFileOut(const std::vector<std::u16string>& files, int DatNum, jww::TJwwData& JWW,
                 const TRegional& regional, ListSink& sink, const ListProgress& progress) {
  if (files.empty()) return;
  const int total = std::max(static_cast<int>(files.size()), std::max(DatNum, 0));
  sink.Line(u"%%PA", PathText(jww::ExtractFileFolder(files.front())));
  jww::HeaderGlance glance;
  ScaleTexts scales;
  JWW.DataFree();
  for (int i = 0; i < total; ++i) {
    SlotWriter w(sink, i + 1);
    if (i < static_cast<int>(files.size())) FileSlot(w, files[i], glance, scales, regional);
    else EmptySlot(w);
    if (progress) progress(i + 1, total);
  }
  sink.Line(kBlank, {});
}

std::vector<std::u16string> ListFileLines(const std::vector<std::u16string>& files, int DatNum,
                                          jww::TJwwData& JWW, const TRegional& regional,
                                          const ListProgress& progress) {
  std::vector<std::u16string> lines;
  LinesSink sink(lines);
  ListFileOut(files, DatNum, JWW, regional, sink, progress);
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

bool SaveListFile(const std::u16string& LstName, const ListBytes& bytes) {
  return WriteParts(LstName, [&bytes](jww::OutStream& out) {
    for (const std::string& p : bytes.Parts()) out.Write(p.data(), p.size());
    return true;
  });
}

bool SaveListFile(const std::u16string& LstName, const std::vector<std::u16string>& lines) {
  return WriteParts(LstName, [&lines](jww::OutStream& out) {
    const std::string bytes = ListFileBytes(lines);
    out.Write(bytes.data(), bytes.size());
    return true;
  });
}

bool WriteListFile(const std::u16string& LstName, const std::vector<std::u16string>& files,
                   int DatNum, jww::TJwwData& JWW, const TRegional& regional,
                   const ListProgress& progress, std::string* why) {
  return WriteParts(LstName, [&](jww::OutStream& out) {
    ListBytes bytes;
    bytes.DrainTo([&out](std::string_view part) {
      out.Write(part.data(), part.size());
      return true;
    });
    ListFileOut(files, DatNum, JWW, regional, bytes, progress);
    return bytes.FinishDrain();
  }, why);
}

}  // namespace dravik
