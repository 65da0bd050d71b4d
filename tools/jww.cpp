// jww: command-line access to drawings. One subcommand per file; this table is the only list.
#include <cstdio>
#include <cstring>

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
    {"build", jwwtool::Build, "build a drawing from a JSON recipe (docs/recipes.md)"},
};

int Usage(FILE* out) {
  std::fprintf(out, "usage: jww <command> [options] drawing.jww\n\ncommands:\n");
  for (const Entry& e : kCommands) std::fprintf(out, "  %-8s %s\n", e.name, e.summary);
  std::fprintf(out, "\n'jww <command> --help' describes a command's options.\n");
  return out == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(stderr);
  if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) return Usage(stdout);
  for (const Entry& e : kCommands)
    if (!std::strcmp(argv[1], e.name)) return e.run(argc - 1, argv + 1);
  std::fprintf(stderr, "jww: unknown command '%s'\n", argv[1]);
  return Usage(stderr);
}
