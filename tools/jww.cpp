// jww: command-line access to drawings. One subcommand per file; this table is the only list.
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "tools/jww_commands.h"

namespace {

struct Entry {
  const char* name;
  jwwtool::Command run;
  const char* summary;
};

constexpr Entry kCommands[] = {
    {"info", jwwtool::Info, "version, memo, paper, counts per kind, fonts, definitions, block tree, images"},
    {"dump", jwwtool::Dump, "the whole drawing as JSON (UTF-8)"},
    {"convert", jwwtool::Convert, "write a drawing as another format version (--version), or as .pdf .svg .png (--dpi) .dxf"},
    {"new", jwwtool::New, "write an empty drawing with the default settings"},
    {"fill", jwwtool::Fill, "fill a template drawing's list keys from a list file: an index sheet (.jww .pdf .svg .png .dxf)"},
    {"build", jwwtool::Build, "build a drawing from a JSON recipe (docs/recipes.md)"},
    {"diff", jwwtool::Diff, "what changed from one drawing to another (exit 0 same, 1 different, 2 trouble)"},
};

int Usage() {
  std::printf("usage: jww <command> [options] drawing.jww\n\ncommands:\n");
  for (const Entry& e : kCommands) std::printf("  %-8s %s\n", e.name, e.summary);
  std::printf("\n'jww <command> --help' describes a command's options; 'jww --version' says which "
              "Dravik this is.\n");
  return 0;
}

int Run(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "jww: no command given ('jww --help' lists them)\n");
    return 2;
  }
  if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) return Usage();
  if (!std::strcmp(argv[1], "--version")) {
    std::printf("jww (Dravik) %s\n", DRAVIK_VERSION);
    return 0;
  }
  for (const Entry& e : kCommands)
    if (!std::strcmp(argv[1], e.name)) return e.run(argc - 1, argv + 1);
  std::fprintf(stderr, "jww: unknown command '%s' ('jww --help' lists them)\n", jwwtool::Shown(argv[1]).c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Whatever a command did not foresee ends as one line and a failure, never as an abort.
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "jww: out of memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "jww: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "jww: unexpected failure\n");
  }
  return 1;
}
