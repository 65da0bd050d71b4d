// jww dump --text: a drawing as sorted lines of text, for line-oriented diff tools and for
// version control (git's textconv): one line per header value and per entity.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "compare/Compare.h"
#include "tools/jww_commands.h"
#include "tools/jww_compare.h"

namespace jwwtool {

int DumpText(const std::string& file) {
  ImageFolder images;
  jww::TJwwData d;
  images.Use(d);
  if (!ReadDrawing(d, file, std::nullopt)) return 1;
  for (const std::string& line : compare::TextForm(d)) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "jww: cannot write the text: %s\n", std::strerror(errno));
    return 1;
  }
  return 0;
}

}  // namespace jwwtool
