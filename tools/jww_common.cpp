// What the jww subcommands share: options, reading a drawing, saying why a read failed in words a
// newcomer can follow, and showing names and texts on a terminal safely.
#include <CLI/CLI.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/Func_2.h"
#include "common/codepage.h"
#include "tools/jww_commands.h"

namespace jwwtool {

namespace {

// One escape for a character a terminal would act on: "\n", "\r", "\t" or "\xHH".
void AppendEscaped(std::string& out, unsigned c) {
  char buf[8];
  switch (c) {
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: std::snprintf(buf, sizeof buf, "\\x%02x", c); out += buf;
  }
}

bool IsControl(uint32_t c) { return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F); }

// Why a drawing could not be opened, in the system's words when it has some.
std::string OpenFailure(const std::string& path, const std::string& library) {
  if (library == jww::kNotRegular) return library;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  ::close(fd);
  return "cannot open the drawing";
}

}  // namespace

std::string Shown(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  for (size_t i = 0; i < n;) {
    const unsigned char b = s[i];
    // Length and smallest code point of a well-formed UTF-8 sequence starting with b.
    size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    uint32_t c = len == 1 ? b : len == 2 ? (b & 0x1Fu) : len == 3 ? (b & 0x0Fu) : (b & 0x07u);
    bool ok = len > 0 && i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) {
      ok = (s[i + k] & 0xC0) == 0x80;
      c = (c << 6) | (s[i + k] & 0x3Fu);
    }
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    ok = ok && c >= kSmallest[len] && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
    if (!ok) {  // a byte that is not UTF-8 is shown as its value
      AppendEscaped(out, b);
      ++i;
    } else if (IsControl(c)) {
      AppendEscaped(out, c);
      i += len;
    } else {
      out.append(bytes, i, len);
      i += len;
    }
  }
  return out;
}

std::string ShownText(const std::u16string& text) {
  std::u16string safe;
  safe.reserve(text.size());
  std::string esc;
  for (char16_t c : text) {
    if (!IsControl(c)) {
      safe.push_back(c);
      continue;
    }
    esc.clear();
    AppendEscaped(esc, c);
    safe.append(esc.begin(), esc.end());
  }
  return jww::StrToUtf8(safe);
}

bool ParseOptions(CLI::App& app, int argc, char** argv, int& status) {
  const std::string name = std::string("jww ") + argv[0];
  app.name(name);  // the help's usage line names the command as it is typed
  try {
    app.parse(argc, argv);
    return true;
  } catch (const CLI::Success& e) {
    status = app.exit(e);  // --help
    return false;
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "jww: %s (see '%s --help')\n", e.what(), name.c_str());
    status = 2;
    return false;
  }
}

bool OutputPossible(const std::string& out, const std::string& what) {
  const std::string why = jww::TOutputFile::Problem(out);
  if (why.empty()) return true;
  std::fprintf(stderr, "jww: %s: cannot write %s: %s\n", Shown(out).c_str(), what.c_str(), why.c_str());
  return false;
}

std::string OutputNoun(const std::string& format) {
  return format == "jww" ? "a drawing" : "the " + format + " file";
}

bool ReadDrawing(jww::TJwwData& doc, const std::string& path, const std::optional<int>& budget) {
  const std::u16string name = jww::PathFromNative(path);  // the name's bytes, UTF-8 or not
  return ReportRead(doc, path, budget ? doc.FilePrevIn(name, *budget) : doc.FileIn(name));
}

std::string ReadFailure(const jww::TJwwData& doc, const std::string& path) {
  const jww::TJwwError& e = doc.LastError();
  if (e.message == jww::kNotRegular || e.message == jww::kCannotOpen) return OpenFailure(path, e.message);
  if (e.message == jww::kHeaderError) return "not a JWW drawing (no 'JwwData.' at the start)";
  struct stat st {};
  const bool sized = ::stat(path.c_str(), &st) == 0;
  const auto size = static_cast<unsigned long long>(sized ? st.st_size : 0);
  const auto at = static_cast<unsigned long long>(e.offset);
  char buf[160];
  // The header's signature and version take the first 12 bytes.
  const bool early = sized && (e.message == jww::kIOError ? at >= size : e.message == jww::kVersionError && size < 12);
  if (early) {
    std::snprintf(buf, sizeof buf, "the drawing ends early (byte %llu of %llu)", at, size);
  } else if (e.message == jww::kVersionError) {
    std::snprintf(buf, sizeof buf, "format version %d is not one Dravik reads (220 to 700)", doc.Enthd.jwVer);
  } else if (e.message == jww::kIOError) {
    if (sized)
      std::snprintf(buf, sizeof buf, "the drawing is damaged: unreadable data at byte %llu of %llu", at, size);
    else
      std::snprintf(buf, sizeof buf, "the drawing is damaged: unreadable data at byte %llu", at);
  } else {
    return (e.message.empty() ? std::string("cannot read the drawing") : e.message) + " at byte " + std::to_string(at);
  }
  return buf;
}

bool ReportRead(const jww::TJwwData& doc, const std::string& path, bool ok) {
  if (!ok) std::fprintf(stderr, "jww: %s: %s\n", Shown(path).c_str(), ReadFailure(doc, path).c_str());
  return ok;
}

}  // namespace jwwtool
