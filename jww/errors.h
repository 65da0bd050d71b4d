// The words a reader's LastError() says why it failed with: part of the library's public contract,
// so that callers can tell the failures apart (and tell a user in words of their own).
#pragma once

namespace jww {

inline constexpr const char* kHeaderError = "JWW-Header Error";    ///< not a drawing
inline constexpr const char* kVersionError = "JWW-Version Error";  ///< a version outside 220..700
inline constexpr const char* kIOError = "File I/O Error";          ///< the data ends or does not fit
inline constexpr const char* kCannotOpen = "cannot open file";
inline constexpr const char* kNotRegular = "not a regular file";   ///< a FIFO, device or folder

}  // namespace jww
