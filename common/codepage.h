// Conversion between in-memory UTF-16 text and the bytes of the files Dravik reads and writes.
// Drawings, list files and settings files hold text in the ANSI code page of the system that made
// them; for Jw_cad that is Windows code page 932, which this module stands in for it on every
// platform. One converter per direction is opened once and reused.
#pragma once

#include <string>
#include <string_view>

namespace jww {

/// Decodes code page 932 bytes. Bytes that do not form a character decode to U+FFFD each; the
/// conversion never stops early and never fails.
std::u16string AnsiToStr(std::string_view bytes);
/// AnsiToStr appended to `out`, without a string of its own.
void AnsiToStrAppend(std::string_view bytes, std::u16string& out);
/// The text code page 932 bytes hold as a drawing's strings are read: decoded as AnsiToStr,
/// ending at the first NUL, with the control characters (below U+0020) dropped. Replaces `out`.
void AnsiTextTo(std::string_view bytes, std::u16string& out);

/// Encodes to code page 932. A character the code page cannot represent becomes "?".
std::string StrToAnsi(std::u16string_view text);

/// True when every character of the text has a code page 932 form that decodes to the same
/// character (so StrToAnsi loses nothing).
bool IsAnsiRepresentable(std::u16string_view text);

/// Encodes to code page 932 only when the bytes decode to exactly the same text: false (and
/// `out` unusable) when a character has no form or one that reads back as another character
/// (U+00A5 would become a backslash, U+2014 U+2015, U+203E a tilde).
bool StrToAnsiExact(std::u16string_view text, std::string& out);

/// StrToAnsiExact into `out`, which has room for two bytes a character: the number of bytes
/// written, or kNotExact where StrToAnsiExact returns false. Writers encode into their buffer
/// with it, without a string of their own.
inline constexpr size_t kNotExact = static_cast<size_t>(-1);
size_t StrToAnsiExactInto(std::u16string_view text, char* out);

/// UTF-8 <-> UTF-16, for paths, command lines and JSON. Invalid input becomes U+FFFD.
std::u16string Utf8ToStr(std::string_view utf8);
std::string StrToUtf8(std::u16string_view text);

/// A file name's bytes <-> UTF-16. Names are bytes on POSIX and need not be UTF-8: each byte that
/// is not part of a UTF-8 character decodes to U+DC80..U+DCFF (a lone surrogate, which UTF-8 text
/// never decodes to) and encodes back to itself, so every name reaches the same file again. Such a
/// character has no code page 932 form and is written as "?" where text is written.
std::u16string PathFromNative(std::string_view bytes);
std::string NativePath(std::u16string_view path);

}  // namespace jww
