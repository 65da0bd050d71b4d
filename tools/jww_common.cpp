// What the jww subcommands share: reading a drawing and saying why it failed.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "common/codepage.h"
#include "jww/stream.h"
#include "tools/jww_commands.h"

namespace jwwtool {

bool ParseOptions(CLI::App& app, int argc, char** argv, int& status) {
  try {
    app.parse(argc, argv);
    return true;
  } catch (const CLI::ParseError& e) {
    status = app.exit(e) == 0 ? 0 : 2;  // --help is not an error; wrong options are a usage error
    return false;
  }
}

bool ReadDrawing(jww::TJwwData& doc, const std::string& path, const std::optional<int>& budget) {
  const std::u16string name = jww::Utf8ToStr(path);
  return ReportRead(doc, path, budget ? doc.FilePrevIn(name, *budget) : doc.FileIn(name));
}

bool ReportRead(const jww::TJwwData& doc, const std::string& path, bool ok) {
  if (!ok) {
    const jww::TJwwError& e = doc.LastError();
    if (e.message == jww::kNotRegular || e.message == jww::kCannotOpen)
      std::fprintf(stderr, "jww: %s: %s\n", path.c_str(), e.message.c_str());  // nothing was read
    else
      std::fprintf(stderr, "jww: %s: %s at byte %llu\n", path.c_str(),
                   e.message.empty() ? "cannot read" : e.message.c_str(),
                   static_cast<unsigned long long>(e.offset));
  }
  return ok;
}

}  // namespace jwwtool
