// Build-time generator of the code page 932 decoding table (cp932_decode.inc): asks the system
// converter once for every single byte and every two-byte pair, so that no process pays for
// building the table when it first decodes text (1-2 ms, more on a busy machine).
//
// Output: kCp932Single[256] (the character of a single byte; 0xFFFF for the first byte of a
// two-byte character; U+FFFD for no character), kCp932LeadRow[256] (0, or 1 + the row of a
// lead byte in kCp932Pair) and kCp932Pair[rows][256] (U+FFFD where the pair is no character).
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

iconv_t cd;

// 1: one UTF-16 unit decoded into *out; -1: incomplete (a lead byte); 0: no character.
int Decode(const char* in, size_t n, char16_t* out) {
  char* src = const_cast<char*>(in);
  size_t srcLeft = n;
  unsigned char buf[8];
  char* dst = reinterpret_cast<char*>(buf);
  size_t dstLeft = sizeof buf;
  const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  const int err = r == static_cast<size_t>(-1) ? errno : 0;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (err == EINVAL) return -1;
  if (err != 0 || srcLeft != 0 || sizeof buf - dstLeft != 2) return 0;
  *out = static_cast<char16_t>(buf[0] | (buf[1] << 8));
  return 1;
}

void Row(const char16_t* v, size_t n) {
  for (size_t i = 0; i < n; ++i) std::printf("0x%04X,%s", static_cast<unsigned>(v[i]), i % 12 == 11 ? "\n" : "");
}

}  // namespace

int main() {
  cd = iconv_open("UTF-16LE", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    std::fprintf(stderr, "cp932_table_gen: the system converter has no CP932\n");
    return 1;
  }
  char16_t single[256];
  unsigned leadRow[256] = {};
  std::vector<std::vector<char16_t>> pairs;
  for (int b = 0; b < 256; ++b) {
    const char in[1] = {static_cast<char>(b)};
    char16_t ch = u'\uFFFD';
    const int r = Decode(in, 1, &ch);
    single[b] = r == 1 ? ch : r < 0 ? char16_t(0xFFFF) : u'\uFFFD';
    if (r >= 0) continue;
    std::vector<char16_t> row(256, u'\uFFFD');
    for (int t = 0; t < 256; ++t) {
      const char two[2] = {static_cast<char>(b), static_cast<char>(t)};
      char16_t c2;
      if (Decode(two, 2, &c2) == 1) row[static_cast<size_t>(t)] = c2;
    }
    pairs.push_back(row);
    leadRow[b] = static_cast<unsigned>(pairs.size());
  }
  iconv_close(cd);

  std::printf("// Generated at build time by cp932_table_gen from the system converter.\n");
  std::printf("inline constexpr char16_t kCp932Single[256] = {\n");
  Row(single, 256);
  std::printf("};\ninline constexpr unsigned char kCp932LeadRow[256] = {\n");
  for (int b = 0; b < 256; ++b) std::printf("%u,%s", leadRow[b], b % 16 == 15 ? "\n" : "");
  std::printf("};\ninline constexpr char16_t kCp932Pair[%zu][256] = {\n", pairs.size());
  for (const auto& row : pairs) {
    std::printf("{\n");
    Row(row.data(), row.size());
    std::printf("},\n");
  }
  std::printf("};\n");
  return std::ferror(stdout) ? 1 : 0;
}
