#include "common/unicase.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace jww {

namespace {

struct Run {
  uint32_t first, last;
  int32_t delta;
  uint32_t step;  // 1: every character of the run; 2: every other one (upper and lower alternate)
};

constexpr Run kRuns[] = {
#include "common/upper_table.inc"
};

}  // namespace

char32_t UpperChar(char32_t c) {
  if (c < 0x80) return c >= U'a' && c <= U'z' ? c - 32 : c;
  // The last run that starts at or before c.
  const Run* r = std::upper_bound(std::begin(kRuns), std::end(kRuns), static_cast<uint32_t>(c),
                                  [](uint32_t v, const Run& run) { return v < run.first; });
  if (r == std::begin(kRuns)) return c;
  --r;
  if (c > r->last || (c - r->first) % r->step != 0) return c;
  return static_cast<char32_t>(static_cast<int64_t>(c) + r->delta);
}

std::u16string UpperCase(std::u16string_view text) {
  std::u16string out(text);
  for (size_t i = 0; i < out.size(); ++i) {
    const char16_t c = out[i];
    if (c < 0x80) {
      if (c >= u'a' && c <= u'z') out[i] = static_cast<char16_t>(c - 32);
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < out.size() && out[i + 1] >= 0xDC00 && out[i + 1] <= 0xDFFF) {
      const char32_t cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (out[i + 1] - 0xDC00);
      const char32_t up = UpperChar(cp);
      out[i] = static_cast<char16_t>(0xD800 + ((up - 0x10000) >> 10));
      out[i + 1] = static_cast<char16_t>(0xDC00 + ((up - 0x10000) & 0x3FF));
      ++i;
    } else if (c < 0xD800 || c > 0xDFFF) {
      out[i] = static_cast<char16_t>(UpperChar(c));
    }
  }
  return out;
}

}  // namespace jww
