// The JWW writer's parts, shared by FileOut, the tools and the tests: the string and count
// primitives, the header, the entity stream and the bound-image section. Library-internal.
//
// Everything here writes to an OutStream and throws TJwwIOError when the stream fails; FileOut
// catches it, removes the temporary file and returns False.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "jww/JwwUnit.h"
#include "jww/out_stream.h"

namespace jww {

/// Oldest and newest format versions the writer produces (and the readers accept).
inline constexpr Integer kWriteMinVersion = 220;
inline constexpr Integer kWriteMaxVersion = 700;

/// The longest string, in bytes (or UTF-16 units for the Unicode form), the writer stores. The
/// 16-bit lengths 0xFFFE and 0xFFFF are never written: 0xFFFE announces the Unicode form to
/// readers, and 0xFFFF is taken as an escape by some of them.
inline constexpr size_t kMaxStrLength = 0xFFFD;

/// A length-prefixed string: text code page 932 can hold is stored in code page 932 (one length
/// byte 0..254, or 255 and a 16-bit length); other text in the Unicode form (255, 0xFFFE, a
/// length in UTF-16 units, UTF-16LE), so no character is lost. The text ends at its first U+0000;
/// a longer text than kMaxStrLength is cut at a character boundary.
void StrOut(OutStream& s, const string& text);

/// Texts of up to kShortStrChars characters have a one-byte length in either form (the code page
/// form takes at most two bytes a character): StrOut of such a text takes at most kShortStrBytes.
inline constexpr size_t kShortStrChars = 127;
inline constexpr size_t kShortStrBytes = 4 + 2 * kShortStrChars;
/// The bytes StrOut writes for `text` (at most kShortStrChars characters, no U+0000), put at
/// `out`, which has room for 4 + 2 * text.size() bytes; returns their number.
size_t ShortStrBytes(std::u16string_view text, uint8_t* out);

/// The number-moving half of every writing IO policy (header rows and entity records): a value
/// is written as it stands, or as fix(v) where the schema names a writer's clamp.
class NumberWriteIO {
 public:
  static constexpr bool kReading = false;
  explicit NumberWriteIO(OutStream& s) : s_(s) {}

  template <class T>
  void Num(const T& v) {
    s_.Put(v);
  }
  template <class T, class Fix>
  void Num(const T& v, Fix&& fix) {
    s_.Put(static_cast<T>(fix(v)));
  }

 protected:
  OutStream& s_;
};

/// A count: a Word below 0xFFFF, otherwise 0xFFFF and the count as a Cardinal.
void CountOut(OutStream& s, Cardinal n);

/// True when the nine header tables have the lengths the header needs.
bool HasHeaderTables(const TJwwData& d);

/// "JwwData.", the version and header rows 3..44 with the writer's clamps and name cleaning.
void HeaderOut(OutStream& s, const TJwwData& d, Integer ver);

/// The entity list, the block definitions in use and, from version 700, the bound-image section.
/// Changes the document only as writing must: each written definition's mNo gets length N, and
/// the bound images' exf flags are recomputed (version 700 and above).
void EntityStreamOut(OutStream& s, TJwwData& d, Integer ver);

/// Version 700 bound-image section: marks the images that texts refer to (exf), then writes the
/// marked ones that can be opened.
void BindImageOut(OutStream& s, TJwwData& d);

/// FileOut with fault injection: the output fails once `failAfter` bytes have been written. On
/// failure `why` (when given) says why in one short phrase: the system's reason for a file that
/// could not be created or written, or what made the document unwritable.
Boolean WriteJwwFile(TJwwData& d, const string& FName, Integer ver, uint64_t failAfter = UINT64_MAX,
                     std::string* why = nullptr);

}  // namespace jww
