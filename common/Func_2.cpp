#include "Func_2.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <random>
#include <set>

namespace jww {

// ---- text ------------------------------------------------------------------------------------

std::u16string BytesToStr(std::string_view bytes) {
  std::u16string s = AnsiToStr(bytes);
  size_t nul = s.find(u'\0');
  if (nul != std::u16string::npos) s.resize(nul);
  return s;
}

std::u16string DelCtrlChar(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text)
    if (c >= 0x20) out.push_back(c);
  return out;
}

std::u16string AsciiLower(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return out;
}

bool SameTextAscii(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && AsciiLower(a) == AsciiLower(b);
}

int32_t StrToIntDef0(std::u16string_view text) {
  size_t i = 0, n = text.size();
  while (i < n && (text[i] == u' ' || text[i] == u'\t')) ++i;
  while (n > i && (text[n - 1] == u' ' || text[n - 1] == u'\t')) --n;
  if (i == n) return 0;
  bool neg = false;
  if (text[i] == u'+' || text[i] == u'-') {
    neg = text[i] == u'-';
    ++i;
  }
  if (i == n) return 0;
  int64_t v = 0;
  for (; i < n; ++i) {
    if (text[i] < u'0' || text[i] > u'9') return 0;
    v = v * 10 + (text[i] - u'0');
    if (v > 2147483648LL) return 0;
  }
  if (neg) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return 0;
  return static_cast<int32_t>(v);
}

// ---- numbers ---------------------------------------------------------------------------------

bool IsFiniteDouble(double x) { return std::isfinite(x); }

bool IsSameVal(double a, double b) { return std::fabs(a - b) <= 1e-12; }

double RoundDec(int digits, int mode, double x) {
  static constexpr double kPow10[10] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
  if (digits < 0 || digits > 9) digits = 0;
  if (!std::isfinite(x)) return x;
  const double scale = kPow10[digits];
  double a = std::fabs(x) * scale;
  // Beyond 2^52 a double has no fractional part left to round; scaling back would only add error.
  if (!(a < 4503599627370496.0)) return x;
  if (mode == 0) {
    a = std::trunc(a);
  } else if (mode == 1) {
    a = std::trunc(a + 0.9999999999);
  } else {
    a = std::trunc(a + 0.5);
  }
  a /= scale;
  return std::signbit(x) ? -a : a;
}

std::u16string FloatToStrGeneral(double x, std::u16string_view decimalSep) {
  if (std::isnan(x)) return u"NAN";
  if (std::isinf(x)) return x > 0 ? u"INF" : u"-INF";
  // Whole numbers below 10^15 print as their digits; most scales are such (50, 100, 200).
  if (std::fabs(x) < 1e15 && x == std::trunc(x)) {
    const std::string digits = std::to_string(static_cast<int64_t>(x));
    return std::u16string(digits.begin(), digits.end());
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", x);
  std::string s(buf);
  std::u16string out;
  // "%G" writes "1E+20" and "1E-05"; the general form wants "1E20" and "1E-5".
  size_t e = s.find('E');
  std::string mant = e == std::string::npos ? s : s.substr(0, e);
  for (char c : mant) {
    if (c == '.') out += decimalSep;
    else out.push_back(static_cast<char16_t>(c));
  }
  if (e != std::string::npos) {
    out.push_back(u'E');
    size_t i = e + 1;
    if (s[i] == '-') out.push_back(u'-');
    if (s[i] == '+' || s[i] == '-') ++i;
    while (i + 1 < s.size() && s[i] == '0') ++i;
    for (; i < s.size(); ++i) out.push_back(static_cast<char16_t>(s[i]));
  }
  return out;
}

std::u16string FormatThousands(int64_t n, std::u16string_view thousandSep) {
  std::string digits = std::to_string(n < 0 ? -(n + 1) + 1ULL : static_cast<uint64_t>(n));
  std::u16string out;
  if (n < 0) out.push_back(u'-');
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += thousandSep;
    out.push_back(static_cast<char16_t>(digits[i]));
  }
  return out;
}

// ---- dates -----------------------------------------------------------------------------------

TJpEra JpEraDate(const TLocalTime& d) {
  struct Era {
    const char16_t* name;
    int first;   // yyyymmdd of the first day
    int offset;  // era year = Gregorian year - offset
  };
  static constexpr Era kEras[] = {
      {u"令和", 20190501, 2018}, {u"平成", 19890108, 1988}, {u"昭和", 19261225, 1925},
      {u"大正", 19120730, 1911}, {u"明治", 18681023, 1867},
  };
  TJpEra r;
  r.year = d.year;
  const int c = d.year * 10000 + d.month * 100 + d.day;
  for (const Era& e : kEras) {
    if (c >= e.first) {
      r.eraName = e.name;
      r.eraYear = d.year - e.offset;
      break;
    }
  }
  return r;
}

std::u16string TwoDigits(int v) {
  if (v >= 0 && v < 100) return {static_cast<char16_t>(u'0' + v / 10), static_cast<char16_t>(u'0' + v % 10)};
  const std::string digits = std::to_string(v);
  return std::u16string(digits.begin(), digits.end());
}

// ---- regional settings -----------------------------------------------------------------------

namespace {

// A separator the locale gives is used only when it is one printable ASCII character other than a
// digit or letter. Japanese formats put 年, 月, 時 between the fields (several bytes, and no
// separator at all), and some locales group thousands with a no-break space that code page 932
// cannot hold; those take the fallback instead.
std::u16string UsableSeparator(std::string_view s) {
  if (s.size() != 1) return {};
  const unsigned char c = static_cast<unsigned char>(s[0]);
  if (c < 0x20 || c > 0x7E || std::isalnum(c)) return {};
  return std::u16string(1, static_cast<char16_t>(c));
}

// The text between the first two fields of a date or time format ("%d/%m/%y" -> "/"), spaces
// skipped; empty when the format has none.
std::string_view SeparatorOf(const char* fmt) {
  if (!fmt) return {};
  for (const char* p = fmt; *p; ++p) {
    if (*p == '%') {
      if (p[1]) ++p;
      continue;
    }
    if (*p == ' ') continue;
    const char* end = p;
    while (*end && *end != '%' && *end != ' ') ++end;
    return std::string_view(p, static_cast<size_t>(end - p));
  }
  return {};
}

void UseIfUsable(std::u16string& sep, std::string_view fromLocale) {
  std::u16string s = UsableSeparator(fromLocale);
  if (!s.empty()) sep = std::move(s);
}

}  // namespace

TRegional RegionalFromLocale() {
  TRegional r;
  // Adopt the user's environment once; a program that already called setlocale keeps its choice.
  static const bool adopted = [] {
    const char* cur = setlocale(LC_ALL, nullptr);
    if (cur && std::strcmp(cur, "C") == 0) setlocale(LC_ALL, "");
    return true;
  }();
  (void)adopted;
  if (const lconv* lc = localeconv()) {
    if (lc->thousands_sep) UseIfUsable(r.thousandSep, lc->thousands_sep);
    if (lc->decimal_point) UseIfUsable(r.decimalSep, lc->decimal_point);
  }
  UseIfUsable(r.dateSep, SeparatorOf(nl_langinfo(D_FMT)));
  UseIfUsable(r.timeSep, SeparatorOf(nl_langinfo(T_FMT)));
  return r;
}

// ---- paths -----------------------------------------------------------------------------------

std::u16string ExtractFileFolder(std::u16string_view path) {
  size_t p = path.rfind(kPathDelim);
  std::u16string dir = p == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, p));
  if (dir.empty() || dir.back() != kPathDelim) dir.push_back(kPathDelim);
  return dir;
}

std::u16string ExtractFileName(std::u16string_view path) {
  size_t p = path.rfind(kPathDelim);
  return std::u16string(p == std::u16string_view::npos ? path : path.substr(p + 1));
}

std::u16string ExtractFileBaseName(std::u16string_view path) {
  std::u16string name = ExtractFileName(path);
  size_t dot = name.rfind(u'.');
  if (dot != std::u16string::npos) name.resize(dot);
  return name;
}

std::filesystem::path ToFsPath(std::u16string_view path) {
  return std::filesystem::path(NativePath(path));
}

std::u16string FromFsPath(const std::filesystem::path& p) { return PathFromNative(p.native()); }

std::u16string ExecutablePath() {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::u16string() : FromFsPath(p);
}

// ---- files -----------------------------------------------------------------------------------

TFileDateSize FileDateSize(std::u16string_view path) {
  struct stat st;
  if (::stat(NativePath(path).c_str(), &st) != 0) return {};
  return FileDateSizeOf(st);
}

TFileDateSize FileDateSizeOf(const struct ::stat& st) {
  TFileDateSize r;
  // Any entry but a folder has facts (a FIFO or device named as a drawing is listed with them).
  if (S_ISDIR(st.st_mode)) return r;
  std::tm tm{};
  time_t t = st.st_mtime;
  if (localtime_r(&t, &tm)) {
    r.time.year = tm.tm_year + 1900;
    r.time.month = tm.tm_mon + 1;
    r.time.day = tm.tm_mday;
    r.time.hour = tm.tm_hour;
    r.time.minute = tm.tm_min;
    r.time.second = tm.tm_sec;
  }
  r.size = static_cast<int64_t>(st.st_size);
  return r;
}

bool FileExists(std::u16string_view path) {
  struct stat st;
  return ::stat(NativePath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DeleteFileIfExists(std::u16string_view path) {
  std::string p = NativePath(path);
  return ::unlink(p.c_str()) == 0 || errno == ENOENT;
}

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// True for a name TOutputFile gives its temporary files: a dot, anything, the marker, a process
// number, and an optional "-<serial>".
bool IsTemporaryName(std::string_view name) {
  if (name.size() < 2 || name[0] != '.') return false;
  const size_t at = name.rfind(kTempMarker);
  if (at == std::string_view::npos) return false;
  std::string_view rest = name.substr(at + kTempMarker.size());
  const size_t dash = rest.find('-');
  std::string_view pid = rest.substr(0, dash), serial = dash == std::string_view::npos ? "0" : rest.substr(dash + 1);
  auto digits = [](std::string_view d) {
    return !d.empty() && d.find_first_not_of("0123456789") == std::string_view::npos;
  };
  return digits(pid) && digits(serial);
}

// A folder is swept once per process: the window writes its list file again and again.
bool FirstOutputIn(const std::string& folder) {
  static std::mutex m;
  static std::set<std::string> swept;
  std::lock_guard<std::mutex> lock(m);
  return swept.insert(folder).second;
}

}  // namespace

int RemoveStaleTemporaries(const std::string& folder, long age) {
  DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!d) return 0;
  const int dfd = ::dirfd(d);
  const time_t before = ::time(nullptr) - age;
  int removed = 0;
  while (const dirent* e = ::readdir(d)) {
    if (!IsTemporaryName(e->d_name)) continue;
    struct stat st;
    if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        st.st_mtime > before)
      continue;
    // A writer holds its lock until it has renamed or removed the file: a locked file is in use,
    // however old (a long export onto a slow disk).
    const int fd = ::openat(dfd, e->d_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlinkat(dfd, e->d_name, 0) == 0) ++removed;
    ::close(fd);
  }
  ::closedir(d);
  return removed;
}

int CreateTemporaryBeside(const std::string& target, std::string& temp) {
  const std::string folder = FolderOf(target);
  if (FirstOutputIn(folder)) RemoveStaleTemporaries(folder);
  std::string base = "." + target.substr(folder.size()) + std::string(kTempMarker) + std::to_string(::getpid());
  if (base.size() > NAME_MAX - 4) base = std::string(kTempMarker) + std::to_string(::getpid());
  int fd = -1;
  for (int serial = 0; serial < 1000; ++serial) {
    temp = folder + base + (serial ? "-" + std::to_string(serial) : std::string());
    // 0666 less the umask: the mode of an ordinary new document.
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0666);
    if (fd >= 0 || errno != EEXIST) break;
  }
  if (fd >= 0) ::flock(fd, LOCK_EX | LOCK_NB);  // a fresh file: nobody else holds it
  return fd;
}

bool TOutputFile::Refuse(std::string why) {
  Abort();
  reason_ = std::move(why);
  return false;
}

void TOutputFile::Fail(int err) { reason_ = std::strerror(err ? err : ENOSPC); }

namespace {

// The name a dangling link leads to: each link in the chain replaced by what it names (relative
// to the link's folder) until a name that is no link; false (errno set) for a chain that cannot
// be read or does not end.
bool FollowDangling(std::string& target) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat lst;
    if (::lstat(target.c_str(), &lst) != 0 || !S_ISLNK(lst.st_mode)) return true;
    std::string to(PATH_MAX, '\0');
    const ssize_t n = ::readlink(target.c_str(), to.data(), to.size());
    if (n < 0) return false;
    if (static_cast<size_t>(n) >= to.size()) {
      errno = ENAMETOOLONG;
      return false;
    }
    to.resize(static_cast<size_t>(n));
    target = !to.empty() && to[0] == '/' ? to : FolderOf(target) + to;
  }
  errno = ELOOP;
  return false;
}

}  // namespace

// Where a path is written: `target` (a link followed), in place for a device or FIFO, and whether
// an existing file (status `st`) is replaced; `why` when it cannot be.
struct TOutputFile::Destination {
  std::string target, why;
  bool inPlace = false, replacing = false;
  struct stat st {};
};

TOutputFile::Destination TOutputFile::Find(std::string_view path) {
  Destination d;
  // open(2) itself gives these reasons: "" names nothing, a trailing slash names a folder.
  if (path.empty()) return d.why = std::strerror(ENOENT), d;
  if (path.back() == '/') return d.why = std::strerror(EISDIR), d;
  d.target = std::string(path);
  if (::stat(d.target.c_str(), &d.st) == 0) {
    if (S_ISCHR(d.st.st_mode) || S_ISFIFO(d.st.st_mode)) return d.inPlace = true, d;
    if (S_ISDIR(d.st.st_mode)) return d.why = std::strerror(EISDIR), d;
    if (!S_ISREG(d.st.st_mode)) return d.why = "not a regular file", d;
    d.replacing = true;
    // A file reached through a symbolic link is replaced where it lies; the link stays a link.
    struct stat lst;
    if (::lstat(d.target.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
      if (char* real = ::realpath(d.target.c_str(), nullptr)) {
        d.target = real;
        std::free(real);
      }
    }
  } else if (errno != ENOENT) {
    d.why = std::strerror(errno);  // ENOTDIR, EACCES, ENAMETOOLONG, ELOOP ...
  } else if (!FollowDangling(d.target)) {
    d.why = std::strerror(errno);
  }
  return d;
}

std::string TOutputFile::Problem(std::string_view path) {
  const Destination d = Find(path);
  if (!d.why.empty() || d.inPlace) return d.why;
  // The temporary file is made in the target's folder, which must be there and writable.
  const std::string folder = FolderOf(d.target);
  if (::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
  return {};
}

bool TOutputFile::Open(std::string_view path) {
  Abort();
  reason_.clear();
  inPlace_ = false;
  Destination d = Find(path);
  if (!d.why.empty()) return Refuse(std::move(d.why));
  if (d.inPlace) {
    // Without O_NONBLOCK a FIFO nobody reads would hang the writer; with it, it fails (ENXIO).
    fd_ = ::open(d.target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return Refuse(std::strerror(errno));
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    inPlace_ = true;
    target_ = std::move(d.target);
    return true;
  }
  fd_ = CreateTemporaryBeside(d.target, temp_);
  if (fd_ < 0) {
    const int err = errno;
    temp_.clear();
    return Refuse(std::strerror(err));
  }
  if (d.replacing && ::fchmod(fd_, d.st.st_mode & 07777) != 0) return Refuse(std::strerror(errno));
  target_ = std::move(d.target);
  return true;
}

bool TOutputFile::Write(std::string_view bytes) {
  if (fd_ < 0) return Refuse(std::strerror(EBADF));
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t w = ::write(fd_, p, left);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      Fail(w < 0 ? errno : ENOSPC);  // a write of nothing: the device took no more
      return false;
    }
    p += w;
    left -= static_cast<size_t>(w);
  }
  return true;
}

bool TOutputFile::Commit() {
  if (fd_ < 0) return Refuse(std::strerror(EBADF));
  const int fd = fd_;
  fd_ = -1;
  // A device or pipe has nothing to sync (fsync fails on them) and nothing to rename.
  int err = !inPlace_ && ::fsync(fd) != 0 ? errno : 0;
  if (::close(fd) != 0 && !err) err = errno;
  if (!err && !inPlace_ && ::rename(temp_.c_str(), target_.c_str()) != 0) err = errno;
  if (err) {
    reason_ = std::strerror(err);
    if (!inPlace_ && !temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    return false;
  }
  temp_.clear();
  return true;
}

void TOutputFile::Abort() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!inPlace_ && !temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

bool WriteFileAtomic(std::u16string_view path, std::string_view bytes, std::string* why) {
  TOutputFile out;
  const bool ok = out.Open(path) && out.Write(bytes) && out.Commit();
  if (!ok && why) *why = out.Reason();
  return ok;
}

std::optional<std::string> ReadWholeFile(std::u16string_view path) {
  std::ifstream in(ToFsPath(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return data;
}

}  // namespace jww
