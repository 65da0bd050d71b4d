// jww diff: what changed from one drawing to another, as text or JSON; exit status 0 when the
// drawings are the same, 1 when they differ, 2 on trouble, as diff(1) and version control expect.
#include <CLI/CLI.hpp>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <nlohmann/json.hpp>
#include <string>

#include "common/codepage.h"
#include "compare/Compare.h"
#include "tools/jww_commands.h"
#include "tools/jww_compare.h"

namespace jwwtool {

namespace {

const char* StatusName(compare::Status s) {
  switch (s) {
    case compare::Status::Removed: return "removed";
    case compare::Status::Added: return "added";
    case compare::Status::Moved: return "moved";
    default: return "changed";
  }
}

void PrintText(const compare::Result& r) {
  for (const std::string& h : r.header) std::printf("%s\n", Shown(h).c_str());
  for (const compare::EntityChange& e : r.entities) {
    const std::string where = e.where.empty() ? "" : "in block " + Shown(e.where) + ": ";
    const char mark = e.status == compare::Status::Removed ? '-'
                      : e.status == compare::Status::Added ? '+'
                      : e.status == compare::Status::Moved ? '>'
                                                           : '~';
    std::printf("%c %s%s\n", mark, where.c_str(), Shown(e.what).c_str());
    for (const std::string& c : e.changes) std::printf("    %s\n", Shown(c).c_str());
  }
  for (const std::string& i : r.images) std::printf("%s\n", Shown(i).c_str());
  if (!r.Same())
    std::printf("%zu removed, %zu added, %zu changed, %s%zu unchanged\n", r.removed, r.added, r.changed,
                r.moved ? (std::to_string(r.moved) + " moved, ").c_str() : "", r.unchanged);
}

void PrintJson(const compare::Result& r) {
  using Json = nlohmann::ordered_json;
  Json j;
  j["same"] = r.Same();
  j["header"] = r.header;
  Json list = Json::array();
  for (const compare::EntityChange& e : r.entities) {
    Json x;
    x["status"] = StatusName(e.status);
    x["kind"] = compare::KindLabel(e.kind);
    x["where"] = e.where;
    x["what"] = e.what;
    if (e.status == compare::Status::Changed || e.status == compare::Status::Moved) x["changes"] = e.changes;
    if (e.status == compare::Status::Moved) x["by"] = {e.dx, e.dy};
    list.push_back(std::move(x));
  }
  j["entities"] = std::move(list);
  j["images"] = r.images;
  j["counts"] = {{"removed", r.removed}, {"added", r.added}, {"changed", r.changed}, {"moved", r.moved}, {"unchanged", r.unchanged}};
  std::printf("%s\n", j.dump(1, ' ', false, Json::error_handler_t::replace).c_str());
}

// Where --open puts the change picture: a folder of its own in the temporary folder, kept after
// the run, since the viewer reads the file after this process has ended. Named after the new
// drawing, so a viewer's title tells the pictures of several pairs apart. "" when no folder can
// be made.
std::string OpenedPicturePath(const std::string& newFile) {
  std::string folder = (std::filesystem::temp_directory_path() / "jww-diff-XXXXXX").string();
  if (!::mkdtemp(folder.data())) return "";
  std::string stem = std::filesystem::path(newFile).stem().string();
  if (stem.empty() || stem[0] == '.' || stem[0] == '-') stem = "drawing" + stem;
  return folder + "/" + stem + "-changes.pdf";
}

// Hands `path` to the desktop's opener (xdg-open, found through PATH) and waits for it; false,
// with the reason, when it cannot be run or fails.
bool OpenInViewer(const std::string& path, std::string& why) {
  char* args[] = {const_cast<char*>("xdg-open"), const_cast<char*>(path.c_str()), nullptr};
  pid_t pid = 0;
  if (const int e = ::posix_spawnp(&pid, "xdg-open", nullptr, nullptr, args, ::environ); e != 0) {
    why = "xdg-open cannot be run (" + std::string(std::strerror(e)) + ")";
    return false;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) {
      why = "xdg-open was lost";
      return false;
    }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  why = WIFEXITED(status) ? "xdg-open failed with status " + std::to_string(WEXITSTATUS(status))
                          : std::string("xdg-open was ended by a signal");
  return false;
}

}  // namespace

int Diff(int argc, char** argv) {
  CLI::App app{"Compares two drawings: header values, entities (in any order), block definitions and "
               "bound images. Exit status 0 when they are the same, 1 when they differ, 2 on trouble."};
  std::string oldFile, newFile;
  bool json = false;
  compare::Options opt;
  app.add_option("old", oldFile, "The old drawing (.jww)")->required();
  app.add_option("new", newFile, "The new drawing (.jww)")->required();
  app.add_flag("--json", json, "Write the differences as JSON (UTF-8)");
  app.add_option("--tolerance", opt.tolerance, "Largest difference of coordinates that still matches, in paper mm")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  std::string picture;
  double dpi = 150;
  app.add_option("-o,--output", picture,
                 "Also write the change picture (.pdf .svg .png) at the new drawing's paper: unchanged grey, "
                 "removed red, added blue, changed orange, moved purple");
  bool open = false;
  app.add_flag("--open", open,
                "Also open the change picture in the desktop's viewer (xdg-open): the -o file, or else a PDF in "
                "the temporary folder, which is kept for the viewer; for git difftool -x");
  app.add_option("--dpi", dpi, "Resolution of a PNG change picture, 10..1200 (default 150)")->check(CLI::Range(10.0, 1200.0));
  if (int status; !ParseOptions(app, argc, argv, status)) return status;
  if (!std::isfinite(opt.tolerance)) {
    std::fprintf(stderr, "jww: --tolerance must be a finite number (see 'jww diff --help')\n");
    return 2;
  }
  std::string format = picture.empty() ? "" : ExportFormat(picture);
  if (!picture.empty() && format != "pdf" && format != "svg" && format != "png") {
    std::fprintf(stderr, "jww: %s: the change picture is .pdf, .svg or .png (see 'jww diff --help')\n",
                 Shown(picture).c_str());
    return 2;
  }
  // Before two drawings are read and compared.
  if (!picture.empty() && !OutputPossible(picture, OutputNoun(format))) return 2;

  try {
    ImageFolder imagesA, imagesB;
    jww::TJwwData a, b;
    imagesA.Use(a);
    imagesB.Use(b);
    if (!ReadDrawing(a, oldFile, std::nullopt) || !ReadDrawing(b, newFile, std::nullopt)) return 2;
    // Images are compared by their bytes in the folders: one that did not get there would be
    // taken for a change.
    for (const auto& [doc, file] : {std::pair{&a, &oldFile}, std::pair{&b, &newFile}})
      if (!doc->LastError().message.empty()) {
        std::fprintf(stderr, "jww: %s: %s\n", Shown(*file).c_str(), doc->LastError().message.c_str());
        return 2;
      }
    const compare::Result r = compare::Compare(a, b, opt);
    const bool ownPicture = open && picture.empty();
    if (ownPicture) {
      picture = OpenedPicturePath(newFile);
      format = "pdf";
      if (picture.empty()) {
        std::fprintf(stderr, "jww: cannot make a folder for the change picture in %s\n",
                     Shown(std::filesystem::temp_directory_path().string()).c_str());
        return 2;
      }
    }
    if (!picture.empty()) {
      // The change drawing goes through the export of jww convert, in the colours it was given.
      ImageFolder work;
      jww::TJwwData changes = compare::ChangeDrawing(a, b, r);
      const std::string tmp = work.Path() + "/changes.jww";
      if (work.Path().empty() || !changes.FileOut(jww::Utf8ToStr(tmp), 600)) {
        std::fprintf(stderr, "jww: %s: cannot make the change picture\n", Shown(picture).c_str());
        return 2;
      }
      ExportOptions how;
      how.dpi = dpi;
      how.quiet = true;
      how.look.colour = scene::Look::Colour::Colour;
      if (Export(tmp, picture, format, how) != 0) {
        std::error_code ec;
        if (open && ownPicture) std::filesystem::remove_all(std::filesystem::path(picture).parent_path(), ec);
        return 2;
      }
    }
    if (json)
      PrintJson(r);
    else
      PrintText(r);
    if (std::fflush(stdout) != 0) {
      std::fprintf(stderr, "jww: cannot write the differences\n");
      return 2;
    }
    if (std::string why; open && !OpenInViewer(picture, why)) {
      std::fprintf(stderr, "jww: %s: cannot open the change picture: %s\n", Shown(picture).c_str(), why.c_str());
      return 2;
    }
    return r.Same() ? 0 : 1;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "jww: out of memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "jww: %s\n", e.what());
  }
  return 2;  // 1 would say "different"
}

}  // namespace jwwtool
