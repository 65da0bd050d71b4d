#include "list/Fill.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/Func_2.h"
#include "common/codepage.h"

namespace dravik {

namespace {

const std::u16string kBlank = u" ";

// Slot numbers beyond this are no slot: no list comes near it, and slot x code stays one key.
constexpr int64_t kMaxSlot = int64_t{1} << 40;
constexpr size_t kMaxCodes = 1 << 16;

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads the decimal number at the start of `s`: its digit count in `len`; -1 when it is beyond
// kMaxSlot.
int64_t SlotNumber(std::u16string_view s, size_t& len) {
  int64_t n = 0;
  len = 0;
  while (len < s.size() && IsDigit(s[len])) {
    if (n <= kMaxSlot) n = n * 10 + (s[len] - u'0');
    ++len;
  }
  return n > kMaxSlot ? -1 : n;
}

void SetText(jww::TEntJwwMoji& m, std::u16string_view text, FillAnchor anchor);

}  // namespace

int ListValues::CodeIndex(std::u16string_view code, std::string_view bytes) {
  const std::u16string c(code);
  auto it = codeIndex_.find(c);
  if (it != codeIndex_.end()) {
    guess_ = static_cast<size_t>(it->second) + 1;
    return it->second;
  }
  if (codes_.size() >= kMaxCodes) return -1;
  codes_.push_back(c);
  codeBytes_.emplace_back(bytes);
  codeIndex_.emplace(c, static_cast<int>(codes_.size() - 1));
  guess_ = codes_.size();
  return static_cast<int>(codes_.size() - 1);
}

// Files the value of a "%%<slot><code>" key (bytes of the key as in the file); false for a key
// that is none.
bool ListValues::Keep(std::string_view key, uint64_t at, uint32_t len, bool blank) {
  if (key.size() < 3 || key[0] != '%' || key[1] != '%') return false;
  const std::string_view rest = key.substr(2);
  size_t digits = 0;
  int64_t slot = 0;
  while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') {
    if (slot <= kMaxSlot) slot = slot * 10 + (rest[digits] - '0');
    ++digits;
  }
  if (digits == 0 || slot < 1 || slot > kMaxSlot || digits == rest.size()) return false;
  const std::string_view codeBytes = rest.substr(digits);
  // The code expected next (after the last, the first again) compared as bytes, before any
  // conversion or lookup.
  int code = -1;
  if (!codes_.empty()) {
    if (guess_ >= codes_.size()) guess_ = 0;
    const std::string& g = codeBytes_[guess_];
    if (g.size() == codeBytes.size()) {
      size_t i = 0;
      while (i < g.size() && g[i] == codeBytes[i]) ++i;
      if (i == g.size()) code = static_cast<int>(guess_++);
    }
  }
  if (code < 0) code = CodeIndex(jww::AnsiToStr(codeBytes), codeBytes);
  if (code < 0) return false;
  ++lines_;
  // Every slot of a list has its lines, so a slot number far beyond the lines read is no list's:
  // it would ask for a table, and a run of sheets, out of all proportion to the file.
  if (slot > 2 * lines_ + 1024 || slot > UINT32_MAX || at >= (uint64_t{1} << 48)) return false;
  const Entry e{at << 16 | static_cast<uint64_t>(code), len, static_cast<uint32_t>(slot)};
  const size_t s = static_cast<size_t>(slot);
  if (s >= slotEnd_.size()) {
    if (s == slotEnd_.size() && entries_.back().Code() >= static_cast<uint32_t>(code)) ascending_ = false;
    slotEnd_.resize(s, entries_.size());
    entries_.push_back(e);
    slotEnd_[s - 1] = entries_.size();
  } else {
    late_[static_cast<uint64_t>(slot) << 16 | static_cast<uint64_t>(code)] = e;
  }
  if (!blank && slot > lastFilled_) lastFilled_ = slot;
  return true;
}

bool ListValues::Take(std::u16string_view key, std::u16string_view value) {
  if (key == kBlank && value.empty()) return true;  // the closing line
  if (key == u"%%PA") {
    folder_ = value;
    hasFolder_ = true;
    return true;
  }
  for (char16_t ch : key)
    if (ch >= 0x80) return false;  // keys are ASCII
  const std::string k(key.begin(), key.end());
  if (value.size() >= kWide) return false;
  if (!Keep(k, wide_.size(), static_cast<uint32_t>(value.size()) | kWide, value == kBlank)) return false;
  wide_ += value;
  return true;
}

bool ListValues::Parse(std::string bytes, std::string& why) {
  auto copy = std::make_unique_for_overwrite<char[]>(bytes.size() + 1);
  std::memcpy(copy.get(), bytes.data(), bytes.size());
  return Parse(std::move(copy), bytes.size(), why);
}

bool ListValues::Parse(std::unique_ptr<char[]> bytes, size_t size, std::string& why) {
  bytes_ = std::move(bytes);
  size_ = size;
  const char* const all = bytes_ ? bytes_.get() : "";
  if (!bytes_) size_ = 0;
  // A list's lines are some 35 bytes long.
  entries_.reserve(size_ / 32);
  const char* p = all;
  const char* const stop = all + size_;
  for (int64_t line = 1;; ++line) {
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(stop - p)));
    const char* end = nl ? nl : stop;
    const char* tab = static_cast<const char*>(std::memchr(p, '\t', static_cast<size_t>(end - p)));
    if (end > p && end[-1] == '\r') --end;
    if (!tab || tab >= end) {
      const std::string_view text(p, static_cast<size_t>(end - p));
      // The closing " " ends a list; an empty last line is a line end after it.
      if (!nl && (text == " " || text.empty())) break;
      why = "line " + std::to_string(line) + " has no TAB between key and value";
      return false;
    }
    const char* value = tab + 1;
    const std::string_view key(p, static_cast<size_t>(tab - p));
    const size_t valueLen = static_cast<size_t>(end - value);
    bool ok;
    if (key.size() == 4 && key[2] == 'P' && key[3] == 'A' && key[0] == '%' && key[1] == '%') {
      folder_.clear();
      jww::AnsiToStrAppend(std::string_view(value, valueLen), folder_);
      hasFolder_ = ok = true;
    } else {
      ok = valueLen < kWide && Keep(key, static_cast<uint64_t>(value - all), static_cast<uint32_t>(valueLen),
                                    valueLen == 1 && *value == ' ');
    }
    if (!ok) {
      why = "line " + std::to_string(line) + " holds no list key";
      return false;
    }
    if (!nl) break;
    p = nl + 1;
  }
  if (!hasFolder_) {
    why = "no %%PA line";
    return false;
  }
  return true;
}

size_t ListValues::LongestCodeAt(std::u16string_view text) const {
  size_t best = 0;
  for (const std::u16string& c : codes_)
    if (c.size() > best && text.substr(0, c.size()) == c) best = c.size();
  return best;
}

const ListValues::Entry* ListValues::Find(int64_t slot, size_t code) const {
  if (slot < 1 || code >= kMaxCodes) return nullptr;
  if (!late_.empty()) {
    auto it = late_.find(static_cast<uint64_t>(slot) << 16 | code);
    if (it != late_.end()) return &it->second;
  }
  if (slot > static_cast<int64_t>(slotEnd_.size())) return nullptr;
  const size_t s = static_cast<size_t>(slot);
  const auto begin = entries_.begin() + static_cast<ptrdiff_t>(s >= 2 ? slotEnd_[s - 2] : 0);
  const auto end = entries_.begin() + static_cast<ptrdiff_t>(slotEnd_[s - 1]);
  if (ascending_) {
    // A slot's lines usually hold every code in order: the code's number is its place.
    if (static_cast<ptrdiff_t>(code) < end - begin && begin[static_cast<ptrdiff_t>(code)].Code() == code)
      return &begin[static_cast<ptrdiff_t>(code)];
    auto it = std::lower_bound(begin, end, code, [](const Entry& e, size_t c) { return e.Code() < c; });
    return it != end && it->Code() == code ? &*it : nullptr;
  }
  for (auto it = end; it != begin; --it)
    if (it[-1].Code() == code) return &it[-1];
  return nullptr;
}

void ListValues::AppendValue(std::u16string& out, int64_t slot, size_t code) const {
  const Entry* e = Find(slot, code);
  if (!e) out += kBlank;
  else if (e->len & kWide) out.append(wide_, e->At(), e->len & ~kWide);
  else jww::AnsiToStrAppend(std::string_view(bytes_.get() + e->At(), e->len), out);
}

std::u16string ListValues::Value(int64_t slot, size_t code) const {
  std::u16string v;
  AppendValue(v, slot, code);
  return v;
}

bool ReadListFile(const std::u16string& path, ListValues& values, std::string& why) {
  // One buffer of the file's size, not cleared first, and large reads: a list of ten thousand
  // drawings is 13 MB.
  const int fd = ::open(jww::NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  std::unique_ptr<char[]> bytes;
  size_t size = 0, got = 0;
  bool ok = fd >= 0 && ::fstat(fd, &st) == 0;
  if (ok && !S_ISREG(st.st_mode)) {
    errno = EISDIR;
    ok = !S_ISDIR(st.st_mode);  // a pipe or device is read to its end
  }
  if (ok) {
    size = S_ISREG(st.st_mode) ? static_cast<size_t>(st.st_size) + 1 : 1 << 16;  // + 1: the end seen at once
    bytes = std::make_unique_for_overwrite<char[]>(size);
    for (;;) {
      if (got == size) {
        auto more = std::make_unique_for_overwrite<char[]>(size * 2);
        std::memcpy(more.get(), bytes.get(), got);
        bytes = std::move(more);
        size *= 2;
      }
      const ssize_t n = ::read(fd, bytes.get() + got, size - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ok = false;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
  }
  const int err = errno;
  if (fd >= 0) ::close(fd);
  if (!ok) {
    why = std::string("cannot read it: ") + std::strerror(err);
    return false;
  }
  return values.Parse(std::move(bytes), got, why);
}

FillPlan::FillPlan(jww::TJwwData& doc, const ListValues& values) : values_(values) {
  auto scan = [&](jww::TEntJwwMoji& m) {
    const std::u16string& s = m.str;
    std::vector<Piece> pieces;
    size_t from = 0, at = 0;
    while ((at = s.find(u"%%", at)) != std::u16string::npos) {
      const std::u16string_view rest = std::u16string_view(s).substr(at + 2);
      Piece p;
      size_t keyLen = 0;
      if (rest.substr(0, 2) == u"PA") {
        p.code = -2;
        keyLen = 4;
      } else {
        size_t digits;
        const int64_t slot = SlotNumber(rest, digits);
        const size_t code = digits && slot >= 1 ? values.LongestCodeAt(rest.substr(digits)) : 0;
        if (code) {
          p.slot = slot;
          p.code = static_cast<int>(std::find(values.Codes().begin(), values.Codes().end(),
                                              rest.substr(digits, code)) -
                                    values.Codes().begin());
          keyLen = 2 + digits + code;
          if (slot > rows_) rows_ = slot;
        }
      }
      if (!keyLen) {
        at += 1;
        continue;
      }
      p.literal = s.substr(from, at - from);
      pieces.push_back(std::move(p));
      ++keys_;
      at += keyLen;
      from = at;
    }
    if (pieces.empty()) return;
    Piece tail;
    tail.literal = s.substr(from);
    pieces.push_back(std::move(tail));
    sites_.push_back({&m, s, m.start_x, m.start_y, m.end_x, m.end_y, std::move(pieces)});
  };
  auto texts = [&](std::vector<jww::TEntJwwMoji>& moji, jww::Integer mojiN,
                   std::vector<jww::TEntJwwSunpo>& sunpo, jww::Integer sunpoN) {
    for (jww::Integer i = 0; i < mojiN && static_cast<size_t>(i) < moji.size(); ++i) scan(moji[i]);
    for (jww::Integer i = 0; i < sunpoN && static_cast<size_t>(i) < sunpo.size(); ++i) scan(sunpo[i].Moji);
  };
  texts(doc.EntMoji, doc.EntMojiN, doc.EntSunpo, doc.EntSunpoN);
  for (jww::Integer d = 0; d < doc.EntBlockDefN && static_cast<size_t>(d) < doc.EntBlockDef.size(); ++d) {
    jww::TEntJwwBlockDef& def = doc.EntBlockDef[d];
    texts(def.mMoji, def.mMojiN, def.mSunpo, def.mSunpoN);
  }
}

int64_t FillPlan::SheetCount() const {
  if (rows_ < 1) return 1;
  return std::max<int64_t>(1, (values_.LastFilledSlot() + rows_ - 1) / rows_);
}

void FillPlan::Apply(int64_t sheet, FillAnchor anchor) {
  const int64_t offset = (sheet - 1) * rows_;
  std::u16string text;
  for (Site& site : sites_) {
    text.clear();
    for (const Piece& p : site.pieces) {
      text += p.literal;
      if (p.code == -2) text += values_.Folder();
      else if (p.code >= 0) values_.AppendValue(text, p.slot + offset, static_cast<size_t>(p.code));
    }
    jww::TEntJwwMoji& m = *site.text;
    m.start_x = site.x1;
    m.start_y = site.y1;
    m.end_x = site.x2;
    m.end_y = site.y2;
    SetText(m, text, anchor);
  }
}

void FillPlan::Restore() {
  for (Site& site : sites_) {
    site.text->str = site.original;
    site.text->start_x = site.x1;
    site.text->start_y = site.y1;
    site.text->end_x = site.x2;
    site.text->end_y = site.y2;
  }
}

namespace {

// SetTextKeepingAnchor, the text assigned into the record's own string (its room reused from
// sheet to sheet).
void SetText(jww::TEntJwwMoji& m, std::u16string_view text, FillAnchor anchor) {
  if (text.empty()) text = kBlank;
  // Vertical writing counts every character at full height, as construction does.
  const bool vertical = m.att.sFlg & 0x0020;
  const double len = vertical ? jww::TextExtentFixed(text, m.dSizeY, m.dKankaku)
                              : jww::TextExtent(text, m.dSizeX, m.dKankaku);
  const double high = vertical ? m.dSizeX : m.dSizeY;
  const double a = m.degKakudo;
  // Base point codes along the text's foot: 0 its start, 1 its middle, 2 its end.
  double sx = m.start_x, sy = m.start_y;
  if (anchor == FillAnchor::kCentre)
    jww::TextAnchorConvert(1, 0, (m.start_x + m.end_x) / 2, (m.start_y + m.end_y) / 2, len, high, a, sx, sy);
  else if (anchor == FillAnchor::kEnd)
    jww::TextAnchorConvert(2, 0, m.end_x, m.end_y, len, high, a, sx, sy);
  double ex, ey;
  jww::TextAnchorConvert(0, 2, sx, sy, len, high, a, ex, ey);
  m.start_x = sx;
  m.start_y = sy;
  m.end_x = ex;
  m.end_y = ey;
  m.str.assign(text);
}

}  // namespace

void SetTextKeepingAnchor(jww::TEntJwwMoji& m, std::u16string text, FillAnchor anchor) {
  SetText(m, text, anchor);
}

std::u16string SheetName(const std::u16string& out, int64_t sheet) {
  if (sheet <= 1) return out;
  const size_t slash = out.rfind(jww::kPathDelim);
  size_t dot = out.rfind(u'.');
  if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash) ||
      dot == (slash == std::u16string::npos ? 0 : slash + 1))
    dot = out.size();
  const std::string n = "-" + std::to_string(sheet);
  return out.substr(0, dot) + std::u16string(n.begin(), n.end()) + out.substr(dot);
}

int64_t StaleSheets(const std::u16string& out, int64_t made) {
  int64_t n = 0;
  while (jww::FileExists(SheetName(out, made + n + 1))) ++n;
  return n;
}

std::string StaleSheetsNote(const std::u16string& out, int64_t made, int64_t stale) {
  const std::string first = jww::NativePath(SheetName(out, made + 1));
  const std::string sheets = std::to_string(made) + (made == 1 ? " sheet" : " sheets");
  if (stale == 1) return first + " from an earlier fill is left as it was (this fill made " + sheets + ")";
  return first + " .. " + jww::NativePath(SheetName(out, made + stale)) + " (" + std::to_string(stale) +
         " sheets) from an earlier fill are left as they were (this fill made " + sheets + ")";
}

bool WriteFilledSheets(jww::TJwwData& doc, FillPlan& plan, const std::u16string& out, jww::Integer ver,
                       FillAnchor anchor, std::string& why,
                       const std::function<void(int64_t done, int64_t sheets)>& progress) {
  std::vector<std::u16string> written;
  bool ok = true;
  for (int64_t k = 1; k <= plan.SheetCount(); ++k) {
    if (progress) progress(k - 1, plan.SheetCount());
    const std::u16string name = SheetName(out, k);
    plan.Apply(k, anchor);
    if (!doc.FileOut(name, ver)) {
      why = jww::StrToUtf8(name) + ": " + doc.LastError().message;
      ok = false;
      break;
    }
    written.push_back(name);
  }
  plan.Restore();
  if (!ok)
    for (const std::u16string& name : written) jww::DeleteFileIfExists(name);
  return ok;
}

TemplateImages::~TemplateImages() {
  std::error_code ec;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
}

bool ReadTemplate(const std::u16string& path, jww::TJwwData& doc, TemplateImages& images, std::string& why) {
  why.clear();
  // The image list first, without any image; a folder is made only for a template with images.
  doc.BindImageExr = true;
  doc.BindImageExp = false;
  if (!doc.FileIn(path)) return false;
  bool hasImages = false;
  for (jww::Integer i = 0; i < doc.BindImageN && static_cast<size_t>(i) < doc.BindImage.size(); ++i)
    if (!doc.BindImage[i].Fname.empty() && doc.BindImage[i].Fsize > 0) hasImages = true;
  doc.BindImageExr = false;
  if (!hasImages) return true;
  std::error_code ec;
  std::string tmpl = (std::filesystem::temp_directory_path(ec) / "dravik-fill-XXXXXX").string();
  if (ec || !::mkdtemp(tmpl.data())) {
    why = std::string("cannot create a folder for the template's images: ") + std::strerror(ec ? ec.value() : errno);
    return false;
  }
  images.folder_ = tmpl;
  doc.BindImageFolder = jww::Utf8ToStr(tmpl + "/");
  doc.BindImageExp = true;
  if (!doc.FileIn(path)) return false;
  // The sheets would lack an image that did not reach the folder.
  if (!doc.LastError().message.empty()) {
    why = "cannot keep the template's images: " + doc.LastError().message;
    return false;
  }
  return true;
}

bool SameFile(const std::u16string& a, const std::u16string& b) {
  struct stat sa, sb;
  return ::stat(jww::NativePath(a).c_str(), &sa) == 0 && ::stat(jww::NativePath(b).c_str(), &sb) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace dravik
