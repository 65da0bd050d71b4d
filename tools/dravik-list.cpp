// dravik-list: the window's list button for scripts. Writes the same bytes as the window for the
// same drawings and slot count, and says on standard error what went wrong.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "list/ListFile.h"
#include "common/Func_2.h"
#include "jww/JwwUnit.h"

namespace {

// Paths one per line; blank lines are skipped, a trailing CR is dropped.
bool ReadPathList(std::istream& in, std::vector<std::string>& out) {
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) out.push_back(line);
  }
  return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
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
  app.add_option("-o,--output", output, "The list file to write")->required();
  app.add_option("--from", from, "Read drawing paths, one per line, from FILE ('-' for standard input)");
  app.add_option("files", files, "Drawing paths, in slot order");
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help, --version
  } catch (const CLI::ParseError& e) {
    std::cerr << "dravik-list: " << e.what() << "\nTry 'dravik-list --help' for more information.\n";
    return 2;
  }

  if (!from.empty()) {
    bool ok;
    if (from == "-") {
      ok = ReadPathList(std::cin, files);
    } else {
      std::ifstream in(from);
      if (!in) {
        std::cerr << "dravik-list: cannot read " << from << "\n";
        return 1;
      }
      ok = ReadPathList(in, files);
    }
    if (!ok) {
      std::cerr << "dravik-list: cannot read " << from << "\n";
      return 1;
    }
  }
  if (files.empty()) {
    std::cerr << "dravik-list: no drawing given (name drawings as arguments or with --from)\n";
    return 2;
  }

  std::vector<std::u16string> paths;
  paths.reserve(files.size());
  for (const std::string& f : files) paths.push_back(jww::Utf8ToStr(f));

  jww::TJwwData JWW;
  const auto lines = dravik::ListFileLines(paths, std::abs(slots), JWW, jww::RegionalFromLocale());
  if (!dravik::SaveListFile(jww::Utf8ToStr(output), lines)) {
    std::cerr << "dravik-list: cannot write " << output << "\n";
    return 1;
  }
  return 0;
}
