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

// Code page 932 text that is mostly ASCII (keys, numbers, dates) without the converter.
std::u16string Decode(std::string_view bytes) {
  for (unsigned char c : bytes)
    if (c >= 0x80) return jww::AnsiToStr(bytes);
  return std::u16string(bytes.begin(), bytes.end());
}

}  // namespace

int ListValues::CodeIndex(std::u16string_view code) {
  if (guess_ < codes_.size() && codes_[guess_] == code) return static_cast<int>(guess_++);
  const std::u16string c(code);
  auto it = codeIndex_.find(c);
  if (it != codeIndex_.end()) {
    guess_ = static_cast<size_t>(it->second) + 1;
    return it->second;
  }
  if (codes_.size() >= kMaxCodes) return -1;
  codes_.push_back(c);
  codeIndex_.emplace(c, static_cast<int>(codes_.size() - 1));
  guess_ = codes_.size();
  return static_cast<int>(codes_.size() - 1);
}

int ListValues::CodeIndexBytes(std::string_view code) {
  // Codes are ASCII: compared byte for character with the expected one before any conversion.
  if (guess_ < codes_.size() && codes_[guess_].size() == code.size() &&
      std::equal(code.begin(), code.end(), codes_[guess_].begin(),
                 [](char a, char16_t b) { return static_cast<unsigned char>(a) == b; }))
    return static_cast<int>(guess_++);
  return CodeIndex(Decode(code));
}

// Files the value of a "%%<slot><code>" key (bytes of the key as in the file); false for a key
// that is none.
bool ListValues::Keep(std::string_view key, Ref value, bool blank) {
  if (key.substr(0, 2) != "%%") return false;
  const std::string_view rest = key.substr(2);
  size_t len = 0;
  int64_t slot = 0;
  while (len < rest.size() && rest[len] >= '0' && rest[len] <= '9') {
    if (slot <= kMaxSlot) slot = slot * 10 + (rest[len] - '0');
    ++len;
  }
  if (len == 0 || slot < 1 || slot > kMaxSlot || len == rest.size()) return false;
  const int code = CodeIndexBytes(rest.substr(len));
  if (code < 0) return false;
  ++lines_;
  // Every slot of a list has its lines, so a slot number far beyond the lines read is no list's:
  // it would ask for a table, and a run of sheets, out of all proportion to the file.
  if (slot > 2 * lines_ + 1024) return false;
  const size_t c = static_cast<size_t>(code);
  if (slot > static_cast<int64_t>(dense_.size())) dense_.resize(static_cast<size_t>(slot));
  std::vector<Ref>& row = dense_[static_cast<size_t>(slot - 1)];
  if (row.size() <= c) row.resize(c + 1);
  row[c] = value;
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
  if (value.size() >= kMissing) return false;
  const Ref ref{wide_.size(), static_cast<uint32_t>(value.size()), true};
  if (!Keep(k, ref, value == kBlank)) return false;
  wide_ += value;
  return true;
}

bool ListValues::Parse(std::string bytes, std::string& why) {
  bytes_ = std::move(bytes);
  const std::string_view all(bytes_);
  size_t at = 0;
  for (int64_t line = 1; at <= all.size(); ++line) {
    size_t end = all.find('\n', at);
    const bool last = end == std::string_view::npos;
    if (last) end = all.size();
    std::string_view text = all.substr(at, end - at);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    const size_t from = at;
    at = end + 1;
    const size_t tab = text.find('\t');
    if (tab == std::string_view::npos) {
      // The closing " " ends a list; an empty last line is a line end after it.
      if (last && (text == " " || text.empty())) break;
      why = "line " + std::to_string(line) + " has no TAB between key and value";
      return false;
    }
    const std::string_view key = text.substr(0, tab), value = text.substr(tab + 1);
    bool ok;
    if (key == "%%PA") {
      folder_ = Decode(value);
      hasFolder_ = ok = true;
    } else {
      ok = value.size() < kMissing && Keep(key, Ref{from + tab + 1, static_cast<uint32_t>(value.size()), false}, value == " ");
    }
    if (!ok) {
      why = "line " + std::to_string(line) + " holds no list key";
      return false;
    }
    if (last) break;
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

const ListValues::Ref* ListValues::Find(int64_t slot, size_t code) const {
  if (slot >= 1 && slot <= static_cast<int64_t>(dense_.size())) {
    const std::vector<Ref>& row = dense_[static_cast<size_t>(slot - 1)];
    if (code < row.size() && row[code].len != kMissing) return &row[code];
  }
  return nullptr;
}

void ListValues::AppendValue(std::u16string& out, int64_t slot, size_t code) const {
  const Ref* r = Find(slot, code);
  if (!r) out += kBlank;
  else if (r->wide) out.append(wide_, r->at, r->len);
  else out += Decode(std::string_view(bytes_).substr(r->at, r->len));
}

std::u16string ListValues::Value(int64_t slot, size_t code) const {
  std::u16string v;
  AppendValue(v, slot, code);
  return v;
}

bool ReadListFile(const std::u16string& path, ListValues& values, std::string& why) {
  // One buffer of the file's size and large reads: a list of ten thousand drawings is 13 MB.
  const int fd = ::open(jww::NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  std::string bytes;
  bool ok = fd >= 0 && ::fstat(fd, &st) == 0;
  if (ok && !S_ISREG(st.st_mode)) {
    errno = EISDIR;
    ok = !S_ISDIR(st.st_mode);  // a pipe or device is read to its end
  }
  if (ok) {
    bytes.resize(S_ISREG(st.st_mode) ? static_cast<size_t>(st.st_size) + 1 : 0);  // + 1: the end seen at once
    size_t got = 0;
    for (;;) {
      if (got == bytes.size()) bytes.resize(std::max<size_t>(bytes.size() * 2, 1 << 16));
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ok = false;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    bytes.resize(got);
  }
  const int err = errno;
  if (fd >= 0) ::close(fd);
  if (!ok) {
    why = std::string("cannot read it: ") + std::strerror(err);
    return false;
  }
  return values.Parse(std::move(bytes), why);
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
    SetTextKeepingAnchor(m, text, anchor);
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

void SetTextKeepingAnchor(jww::TEntJwwMoji& m, std::u16string text, FillAnchor anchor) {
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
  m.str = std::move(text);
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

bool WriteFilledSheets(jww::TJwwData& doc, FillPlan& plan, const std::u16string& out, jww::Integer ver,
                       FillAnchor anchor, std::string& why) {
  std::vector<std::u16string> written;
  bool ok = true;
  for (int64_t k = 1; k <= plan.SheetCount(); ++k) {
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
  return doc.FileIn(path);
}

bool SameFile(const std::u16string& a, const std::u16string& b) {
  struct stat sa, sb;
  return ::stat(jww::NativePath(a).c_str(), &sa) == 0 && ::stat(jww::NativePath(b).c_str(), &sb) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace dravik
