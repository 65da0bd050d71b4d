// dravik-list: the window's list button for scripts. Writes the same bytes as the window for the
// same drawings and slot count, and says on standard error what went wrong.
#include <CLI/CLI.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <fstream>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "common/Func_2.h"
#include "jww/JwwUnit.h"
#include "list/Fill.h"
#include "list/ListFile.h"

namespace {

// Paths one per line; blank lines are skipped, a trailing CR is dropped. A line longer than any
// path can be (PATH_MAX bytes, and a CR) is refused as soon as it is seen, so that input without
// line breaks (/dev/zero) is not gathered until the memory runs out. False with `why` set when the
// list cannot be read.
bool ReadPathList(std::istream& in, std::vector<std::string>& out, std::string& why) {
  constexpr size_t kLongest = PATH_MAX;  // counts the terminating zero, which leaves room for a CR
  std::string line;
  size_t number = 1;
  for (char c; in.get(c);) {
    if (c != '\n') {
      if (line.size() == kLongest) {
        why = "line " + std::to_string(number) + " is longer than any path (" + std::to_string(kLongest) + " bytes)";
        return false;
      }
      line.push_back(c);
      continue;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) out.push_back(line);
    line.clear();
    ++number;
  }
  if (in.bad()) {
    why = "cannot read it";
    return false;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (!line.empty()) out.push_back(line);
  return true;
}

// A drawing path as the list names it: absolute, so that the folder line and the path keys say
// where the drawing is whatever directory the tool ran in. The bytes of the name are kept as they
// are ("./" in front dropped); the file system resolves nothing else.
std::u16string AbsolutePath(const std::string& arg) {
  if (!arg.empty() && arg.front() == '/') return jww::PathFromNative(arg);
  std::string rel = arg;
  while (rel.size() > 2 && rel.compare(0, 2, "./") == 0) rel.erase(0, 2);
  std::string cwd(256, '\0');
  while (::getcwd(cwd.data(), cwd.size()) == nullptr) {
    if (errno != ERANGE) return jww::PathFromNative(arg);
    cwd.resize(cwd.size() * 2);
  }
  cwd.resize(std::char_traits<char>::length(cwd.c_str()));
  if (cwd.empty() || cwd.back() != '/') cwd += '/';
  return jww::PathFromNative(cwd + rel);
}

// A size as people read it: "512 bytes", "48.3 MiB", "2.0 GiB".
std::string Size(uint64_t bytes) {
  static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  double v = static_cast<double>(bytes) / 1024;
  size_t unit = 0;
  while (v >= 1024 && unit + 1 < std::size(kUnits)) {
    v /= 1024;
    ++unit;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f %s", v, kUnits[unit]);
  return buf;
}

// The index sheet in one step: the list's values go from the generator straight into the template.
int FillTemplate(const std::string& templ, const std::string& output, const std::vector<std::u16string>& paths,
                 int slotCount) {
  const size_t dot = output.rfind('.');
  std::string ext = dot == std::string::npos || output.find('/', dot) != std::string::npos ? "" : output.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext != "jww") {
    std::cerr << "dravik-list: " << output << ": --template writes a drawing (.jww); 'jww fill' writes PDF, SVG, PNG and DXF\n";
    return 2;
  }
  jww::TJwwData doc;
  dravik::TemplateImages images;
  std::string why;
  if (!dravik::ReadTemplate(jww::PathFromNative(templ), doc, images, why)) {
    if (!why.empty()) {
      std::cerr << "dravik-list: " << why << "\n";
      return 1;
    }
    std::cerr << "dravik-list: " << templ << ": not a readable drawing (" << doc.LastError().message << ")\n";
    return 2;
  }
  dravik::ListValues values;
  jww::TJwwData JWW;
  dravik::ListFileOut(paths, slotCount, JWW, jww::RegionalFromLocale(), values);
  dravik::FillPlan plan(doc, values);
  if (plan.KeyCount() == 0) {
    std::cerr << "dravik-list: no %% key in the template\n";
    return 1;
  }
  const std::u16string tpl16 = jww::PathFromNative(templ), out16 = jww::PathFromNative(output);
  for (int64_t k = 1; k <= plan.SheetCount(); ++k)
    if (dravik::SameFile(tpl16, dravik::SheetName(out16, k))) {
      std::cerr << "dravik-list: " << jww::NativePath(dravik::SheetName(out16, k))
                << ": is the template itself, which is never replaced\n";
      return 2;
    }
  if (!dravik::WriteFilledSheets(doc, plan, out16, doc.Enthd.jwVer, dravik::FillAnchor::kStart, why)) {
    std::cerr << "dravik-list: " << why << "\n";
    return 1;
  }
  if (const int64_t stale = dravik::StaleSheets(out16, plan.SheetCount()))
    std::cerr << "dravik-list: " << dravik::StaleSheetsNote(out16, plan.SheetCount(), stale) << "\n";
  return 0;
}

// Free space for an unprivileged writer in the folder of `output`; UINT64_MAX when unknown.
uint64_t DiskRoom(const std::string& output) {
  const size_t slash = output.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string(".") : output.substr(0, slash + 1);
  struct statvfs fs;
  if (::statvfs(folder.c_str(), &fs) != 0) return UINT64_MAX;
  return static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
}

// Why `output` must not be written over, or "" when it may: a drawing (it starts with the
// drawing signature) or one of the files being listed would be lost to the list file.
std::string ProtectedOutput(const std::string& output, const std::vector<std::string>& files) {
  struct stat out;
  if (::stat(output.c_str(), &out) != 0 || !S_ISREG(out.st_mode)) return {};
  for (const std::string& f : files) {
    struct stat in;
    if (::stat(f.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
      return "it is one of the drawings to list";
  }
  const int fd = ::open(output.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {};
  char head[8];
  const ssize_t n = ::read(fd, head, sizeof head);
  ::close(fd);
  if (n == 8 && std::memcmp(head, "JwwData.", 8) == 0) return "it is a JWW drawing";
  return {};
}

int Run(int argc, char** argv) {
  CLI::App app{
      "Writes the list file of the given drawings (.jww): a folder line, 37 keyed lines per\n"
      "slot and a closing line, tab-separated, CR LF, code page 932. The same bytes as the\n"
      "Dravik window's list button."};
  app.set_version_flag("--version", std::string("dravik-list ") + DRAVIK_VERSION);
  int slots = 10;
  std::string output;
  std::string from;
  std::vector<std::string> files;
  app.add_option("-n,--slots", slots, "Number of slots (at least as many as drawings are written; a negative number counts as its absolute value)")
      ->capture_default_str();
  bool force = false;
  app.add_option("-o,--output", output,
                 "The list file to write; never a drawing or one of the listed files unless --force")
      ->required();
  app.add_flag("--force", force, "Write the output even when it is a JWW drawing or one of the listed files");
  app.add_option("--from", from, "Read drawing paths, one per line, from FILE ('-' for standard input)");
  app.add_option("files", files, "Drawing paths, in slot order");
  std::string templ;
  app.add_option("--template", templ,
                 "Instead of the list file, write the index sheet: this template drawing with every list key "
                 "in its texts replaced by its value, to the output (.jww; more drawings than the template's "
                 "rows give OUTPUT-2.jww, ...). 'jww fill' does the same from a list file, also as PDF.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help, --version
  } catch (const CLI::ParseError& e) {
    std::cerr << "dravik-list: " << e.what() << " (see 'dravik-list --help')\n";
    return 2;
  }
  // Before the path list and the drawings are read.
  if (const std::string why = jww::TOutputFile::Problem(output); !why.empty()) {
    std::cerr << "dravik-list: cannot write " << output << ": " << why << "\n";
    return 1;
  }

  if (!from.empty()) {
    std::string why;
    bool ok;
    if (from == "-") {
      ok = ReadPathList(std::cin, files, why);
    } else {
      std::ifstream in(from);
      if (!in) {
        std::cerr << "dravik-list: cannot read " << from << "\n";
        return 1;
      }
      ok = ReadPathList(in, files, why);
    }
    if (!ok) {
      std::cerr << "dravik-list: " << (from == "-" ? "standard input" : from) << ": " << why << "\n";
      return 1;
    }
  }
  if (files.empty()) {
    std::cerr << "dravik-list: no drawing given (name drawings as arguments or with --from)\n";
    return 2;
  }

  // (An index sheet is a drawing by design; its own check keeps the template.)
  if (!force && templ.empty()) {
    if (const std::string why = ProtectedOutput(output, files); !why.empty()) {
      std::cerr << "dravik-list: refusing to write " << output << ": " << why
                << " (--force writes it all the same)\n";
      return 2;
    }
  }

  std::vector<std::u16string> paths;
  paths.reserve(files.size());
  for (const std::string& f : files) paths.push_back(AbsolutePath(f));
  const std::u16string LstName = jww::PathFromNative(output);
  const int slotCount = dravik::SlotCountOf(slots);

  // Refused before anything is made: a list too large for the memory or the disk at hand would
  // only fail after filling one of them.
  const uint64_t needed = dravik::ListFileMinimumSize(paths.size(), slotCount);
  if (const uint64_t room = dravik::ListFileRoom(LstName); needed > room) {
    const bool disk = DiskRoom(output) == room;
    std::cerr << "dravik-list: cannot write " << output << ": " << slotCount << " slots need at least "
              << Size(needed) << ", more than the " << Size(room)
              << (disk ? " free on the disk\n" : " of memory available\n");
    return 1;
  }

  if (!templ.empty()) return FillTemplate(templ, output, paths, slotCount);

  jww::TJwwData JWW;
  std::string why;
  if (!dravik::WriteListFile(LstName, paths, slotCount, JWW, jww::RegionalFromLocale(), {}, &why)) {
    std::cerr << "dravik-list: cannot write " << output << ": " << why << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << "dravik-list: out of memory\n";
  } catch (const std::exception& e) {  // whatever was not foreseen ends as one line, not an abort
    std::cerr << "dravik-list: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "dravik-list: unexpected failure\n";
  }
  return 1;
}
