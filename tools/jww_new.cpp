// jww new: an empty drawing with the settings of a new drawing.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "common/codepage.h"
#include "tools/jww_commands.h"

namespace jwwtool {

int New(int argc, char** argv) {
  CLI::App app{"Writes an empty drawing with the default settings of a new drawing."};
  std::string out;
  int version = 600;
  app.add_option("output", out, "The drawing to write (.jww); an existing file is replaced only on success")
      ->required();
  app.add_option("--version", version, "Format version to write, 220..700 (default 600)")
      ->check(CLI::Range(220, 700));
  if (int status; !ParseOptions(app, argc, argv, status)) return status;

  jww::TJwwData d;
  d.DataDefaultSet();
  if (!d.FileOut(jww::PathFromNative(out), version)) {
    std::fprintf(stderr, "jww: %s: cannot write a version %d drawing: %s\n", Shown(out).c_str(), version,
                 d.LastError().message.c_str());
    return 1;
  }
  return 0;
}

}  // namespace jwwtool
