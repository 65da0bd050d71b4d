// Upper case for matching names, the same on every machine: Unicode's simple mapping (one
// character to one, so lengths never change), independent of the process's locale.
#pragma once

#include <string>
#include <string_view>

namespace jww {

/// The simple upper-case mapping of one code point (U+0000..U+10FFFF); others unchanged.
char32_t UpperChar(char32_t c);

/// The text with every character upper-cased by UpperChar. Surrogate pairs are mapped as the
/// character they form; an unpaired surrogate is kept. The result has the text's length.
std::u16string UpperCase(std::u16string_view text);

}  // namespace jww
