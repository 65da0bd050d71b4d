#include "codepage.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace jww {
namespace {

// iconv descriptors are stateless for code page 932 and UTF-16LE, so one per direction serves
// every call; the mutex keeps concurrent callers (tests, tools) from sharing one mid-call.
struct Converter {
  iconv_t cd;
  std::mutex lock;
  Converter(const char* to, const char* from) : cd(iconv_open(to, from)) {}
  ~Converter() {
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
};

Converter& Encoder() {
  static Converter c("CP932", "UTF-16LE");
  return c;
}

bool IsAscii(std::string_view s) {
  for (unsigned char ch : s)
    if (ch >= 0x80) return false;
  return true;
}

}  // namespace

namespace {

// Decoding goes through a table generated at build time from the system converter
// (cp932_table_gen): reading a drawing decodes hundreds of names, a lookup costs a fraction of a
// converter call, and no process pays for building the table (1-2 ms, up to 14 ms under load).
#include "cp932_decode.inc"

struct DecodeTable {
  static constexpr char16_t kLead = 0xFFFF;  // in `single`: the first byte of a two-byte character
  const char16_t* single = kCp932Single;
  /// U+FFFD where the pair is no character.
  char16_t Pair(uint8_t lead, uint8_t trail) const {
    const unsigned row = kCp932LeadRow[lead];
    return row ? kCp932Pair[row - 1][trail] : u'\uFFFD';
  }
};

constexpr bool AsciiIsItself() {
  for (unsigned c = 0; c < 0x80; ++c)
    if (kCp932Single[c] != c) return false;
  return true;
}

const DecodeTable& Table() {
  static constexpr DecodeTable table;
  return table;
}

}  // namespace

std::u16string AnsiToStr(std::string_view bytes) {
  std::u16string out;
  AnsiToStrAppend(bytes, out);
  return out;
}

void AnsiToStrAppend(std::string_view bytes, std::u16string& out) {
  // Most drawing strings are plain ASCII: widen them without any lookup.
  if (IsAscii(bytes)) {
    out.append(bytes.begin(), bytes.end());
    return;
  }
  const DecodeTable& t = Table();
  // At most one character a byte: sized once and trimmed, no capacity check per character.
  const size_t start = out.size();
  out.resize(start + bytes.size());
  char16_t* o = out.data() + start;
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t n = bytes.size();
  for (size_t i = 0; i < n; ++i) {
    const char16_t ch = t.single[p[i]];
    if (ch != DecodeTable::kLead) {
      *o++ = ch;
    } else if (i + 1 < n && t.Pair(p[i], p[i + 1]) != u'\uFFFD') {
      *o++ = t.Pair(p[i], p[i + 1]);
      ++i;
    } else {
      // A lead byte without a valid second byte: one replacement, and the next byte starts anew.
      *o++ = u'\uFFFD';
    }
  }
  out.resize(static_cast<size_t>(o - out.data()));
}

namespace {

/// AnsiTextTo's decoding into `start`, which has room for as many characters as there are
/// bytes; returns the text's length. Inlined into both of AnsiTextTo's ways, as it was when it
/// had only one.
[[gnu::always_inline]] inline size_t AnsiTextInto(std::string_view bytes, char16_t* const start) {
  const size_t n = bytes.size();
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  // A run of printable ASCII is its own text (as AnsiToStrAppend widens it).
  size_t i = 0;
  while (i < n && static_cast<uint8_t>(p[i] - 0x20) < 0x60) {
    start[i] = p[i];
    ++i;
  }
  char16_t* o = start + i;
  if (i < n) {
    // The rest through the table; ASCII decodes to itself there, so the text is the same as if
    // all of it had been decoded (or, all ASCII, widened as AnsiToStrAppend does).
    static_assert(AsciiIsItself(), "code page 932 table: ASCII must decode to itself");
    const DecodeTable& t = Table();
    for (; i < n; ++i) {
      char16_t ch = t.single[p[i]];
      if (ch == DecodeTable::kLead) {
        // A lead byte without a valid second byte: one replacement, the next byte starts anew.
        ch = i + 1 < n ? t.Pair(p[i], p[i + 1]) : u'\uFFFD';
        if (ch != u'\uFFFD') ++i;
      }
      if (ch < 0x20) {
        if (ch == 0) break;  // the text ends at its first NUL
        continue;            // a control character is dropped
      }
      *o++ = ch;
    }
  }
  return static_cast<size_t>(o - start);
}

}  // namespace

void AnsiTextTo(std::string_view bytes, std::u16string& out) {
  // One pass over the bytes. A string with room for as many characters as there are bytes (a
  // kept name, a short text) takes the text in its own memory, sized once and trimmed at the
  // end. Into a string without that room, a text of up to 255 bytes (every string with a one-byte
  // length) is decoded on the stack and then copied: sized by its byte count, the string of a
  // text of two-byte characters would take memory from the heap for room its characters do not
  // need (a fresh string holds up to seven in itself).
  constexpr size_t kOnStack = 255;
  const size_t n = bytes.size();
  if (n > out.capacity() && n <= kOnStack) {
    char16_t buf[kOnStack];
    out.assign(buf, AnsiTextInto(bytes, buf));
    return;
  }
  out.resize(n);
  out.resize(AnsiTextInto(bytes, out.data()));
}

namespace {

// Encoding goes through a per-character table filled on first sight of each character by one
// converter call: drawings repeat the same few hundred characters, so nearly every character is a
// lookup. Slot value 0 = not yet asked; kNoForm = no code page 932 form; otherwise
// (byte count << 16) | bytes, the first byte in the low bits (so a form is stored with one
// two-byte store), with kApprox set when the form decodes to another character (the converter
// maps U+00A5 to 0x5C, which reads back as a backslash).
class EncodeTable {
 public:
  static constexpr uint32_t kNoForm = 1u << 24;
  static constexpr uint32_t kApprox = 1u << 25;

  uint32_t Get(char16_t ch) {
    uint32_t v = slot_[ch].load(std::memory_order_relaxed);
    return v ? v : Ask(ch);
  }

  /// Puts the form of a slot value without kNoForm at `o` (room for two bytes); returns its end.
  static char* Put(uint32_t v, char* o) {
    const uint16_t bytes = static_cast<uint16_t>(v);
    std::memcpy(o, &bytes, 2);
    return o + ((v >> 16) & 0xFF);
  }

 private:
  uint32_t Ask(char16_t ch) {
    Converter& c = Encoder();
    std::lock_guard<std::mutex> guard(c.lock);
    const char in[2] = {static_cast<char>(ch & 0xFF), static_cast<char>(ch >> 8)};
    char* src = const_cast<char*>(in);
    size_t srcLeft = sizeof in;
    char out[8];
    char* dst = out;
    size_t dstLeft = sizeof out;
    size_t r = iconv(c.cd, &src, &srcLeft, &dst, &dstLeft);
    iconv(c.cd, nullptr, nullptr, nullptr, nullptr);
    const size_t n = sizeof out - dstLeft;
    uint32_t v = kNoForm;
    if (r != static_cast<size_t>(-1) && srcLeft == 0 && (n == 1 || n == 2)) {
      v = n == 1 ? (1u << 16) | static_cast<uint8_t>(out[0])
                 : (2u << 16) | static_cast<uint8_t>(out[0]) | (static_cast<uint8_t>(out[1]) << 8);
    }
    if (v != kNoForm) {
      if (AnsiToStr(std::string_view(out, n)) != std::u16string(1, ch)) v |= kApprox;
    }
    slot_[ch].store(v, std::memory_order_relaxed);
    return v;
  }

  std::atomic<uint32_t> slot_[65536] = {};
};

EncodeTable& Encoding() {
  static EncodeTable* table = new EncodeTable();  // never freed: used until exit
  return *table;
}

bool IsSurrogate(char16_t ch) { return ch >= 0xD800 && ch <= 0xDFFF; }

// Encodes the text; returns false when a character has no code page 932 form, or (with `exact`)
// none that decodes to the same character. With `replace`, such a character (a surrogate pair
// counts as one) becomes "?" and encoding continues.
bool Encode(std::u16string_view text, std::string* out, bool replace, bool exact = false) {
  const uint32_t refused = exact ? EncodeTable::kNoForm | EncodeTable::kApprox : EncodeTable::kNoForm;
  bool allRepresentable = true;
  EncodeTable* table = nullptr;
  // Room for the longest result (two bytes a character), trimmed at the end.
  const size_t start = out ? out->size() : 0;
  if (out) out->resize(start + 2 * text.size());
  char* o = out ? out->data() + start : nullptr;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t ch = text[i];
    if (ch < 0x80) {
      if (o) *o++ = static_cast<char>(ch);
      continue;
    }
    uint32_t v = EncodeTable::kNoForm;
    if (IsSurrogate(ch)) {
      // No surrogate has a form; a pair is one character and one "?".
      if (ch <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) ++i;
    } else {
      if (!table) table = &Encoding();
      v = table->Get(ch);
    }
    if (v & refused) {
      allRepresentable = false;
      if (!replace) break;
      if (o) *o++ = '?';
    } else if (o) {
      o = EncodeTable::Put(v, o);
    }
  }
  if (out) out->resize(static_cast<size_t>(o - out->data()));
  return allRepresentable;
}

}  // namespace

std::string StrToAnsi(std::u16string_view text) {
  std::string out;
  Encode(text, &out, true);
  return out;
}

bool IsAnsiRepresentable(std::u16string_view text) { return Encode(text, nullptr, false, true); }

bool StrToAnsiExact(std::u16string_view text, std::string& out) {
  out.resize(2 * text.size());
  const size_t n = StrToAnsiExactInto(text, out.data());
  if (n == kNotExact) return false;
  out.resize(n);
  return true;
}

size_t StrToAnsiExactInto(std::u16string_view text, char* out) {
  constexpr uint32_t kRefused = EncodeTable::kNoForm | EncodeTable::kApprox;
  char* o = out;
  EncodeTable* table = nullptr;
  const char16_t* p = text.data();
  const char16_t* const end = p + text.size();
  // ASCII four characters at a time (names, numbers and the ASCII parts of texts): one test for
  // the four, then their low bytes side by side.
  while (p != end) {
    while (end - p >= 4) {
      uint64_t four;
      std::memcpy(&four, p, 8);
      if (four & 0xFF80FF80FF80FF80u) break;
      const uint32_t bytes = static_cast<uint32_t>((four & 0xFF) | ((four >> 8) & 0xFF00) |
                                                   ((four >> 16) & 0xFF0000) | ((four >> 24) & 0xFF000000));
      std::memcpy(o, &bytes, 4);
      o += 4;
      p += 4;
    }
    if (p == end) break;
    const char16_t ch = *p++;
    if (ch < 0x80) {
      *o++ = static_cast<char>(ch);
      continue;
    }
    if (IsSurrogate(ch)) return kNotExact;
    if (!table) table = &Encoding();
    const uint32_t v = table->Get(ch);
    if (v & kRefused) return kNotExact;
    o = EncodeTable::Put(v, o);
  }
  return static_cast<size_t>(o - out);
}

namespace {

// Bytes of a file name that are not UTF-8 map one to one onto lone low surrogates, which decoding
// valid UTF-8 never yields, so a path survives the round trip through UTF-16 exactly.
constexpr char16_t kEscapeBase = 0xDC00;

std::u16string DecodeUtf8(std::string_view s, bool escapeBytes) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    uint8_t b = static_cast<uint8_t>(s[i]);
    uint32_t cp;
    size_t len;
    if (b < 0x80) {
      cp = b;
      len = 1;
    } else if ((b & 0xE0) == 0xC0) {
      cp = b & 0x1F;
      len = 2;
    } else if ((b & 0xF0) == 0xE0) {
      cp = b & 0x0F;
      len = 3;
    } else if ((b & 0xF8) == 0xF0) {
      cp = b & 0x07;
      len = 4;
    } else {
      out.push_back(escapeBytes ? static_cast<char16_t>(kEscapeBase + b) : u'\uFFFD');
      ++i;
      continue;
    }
    bool ok = i + len <= s.size();
    for (size_t k = 1; ok && k < len; ++k) {
      uint8_t c = static_cast<uint8_t>(s[i + k]);
      if ((c & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!ok || cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(escapeBytes ? static_cast<char16_t>(kEscapeBase + b) : u'\uFFFD');
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

std::string EncodeUtf8(std::u16string_view t, bool unescapeBytes) {
  // Paths and most texts are ASCII, or start so: that part is narrowed in one pass, without a
  // call per byte.
  size_t ascii = 0;
  while (ascii < t.size() && t[ascii] < 0x80) ++ascii;
  std::string out(ascii, '\0');
  for (size_t i = 0; i < ascii; ++i) out[i] = static_cast<char>(t[i]);
  if (ascii == t.size()) return out;
  out.reserve(t.size());
  for (size_t i = ascii; i < t.size(); ++i) {
    uint32_t cp = t[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < t.size() && t[i + 1] >= 0xDC00 &&
        t[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (t[i + 1] - 0xDC00);
      ++i;
    } else if (unescapeBytes && cp >= kEscapeBase + 0x80 && cp <= kEscapeBase + 0xFF) {
      out.push_back(static_cast<char>(cp - kEscapeBase));
      continue;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace

std::u16string Utf8ToStr(std::string_view utf8) { return DecodeUtf8(utf8, false); }
std::string StrToUtf8(std::u16string_view text) { return EncodeUtf8(text, false); }
std::u16string PathFromNative(std::string_view bytes) { return DecodeUtf8(bytes, true); }
std::string NativePath(std::u16string_view path) { return EncodeUtf8(path, true); }

}  // namespace jww
