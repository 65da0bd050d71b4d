// Runs a command-line program of the project as a user would, capturing its exit status and
// standard error.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "tests/jww_bytes.h"

namespace jwwtest {

struct ToolRun {
  int status;
  std::string err;
};

/// `args` is shell text (quote paths with spaces). Standard input is empty.
inline ToolRun RunTool(const std::string& program, const std::string& args, const TempDir& dir) {
  const std::string errFile = dir.path("stderr.txt");
  const std::string cmd = program + " " + args + " 2>" + errFile + " </dev/null";
  const int rc = std::system(cmd.c_str());
  return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1,
          jww::ReadWholeFile(jww::Utf8ToStr(errFile)).value_or("")};
}

}  // namespace jwwtest
