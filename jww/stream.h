// Byte-level input of JWW files: a buffered little-endian reader over a file or a memory block.
//
// Reads come in two kinds, as the format's readers need them: unchecked reads deliver what is
// there (a short read at the end of the data leaves the rest of the value as it was), checked
// reads throw TJwwIOError when the data ends first. Everything a file says about sizes is hostile:
// callers compare counts with Remaining() before they allocate.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "jww/errors.h"

namespace jww {

/// The failure a reader raises internally; public operations catch it and return False.
/// `what()` is one of "JWW-Header Error", "JWW-Version Error", "File I/O Error".
class TJwwIOError : public std::runtime_error {
 public:
  explicit TJwwIOError(const char* message) : std::runtime_error(message) {}
};

/// Opens `path` for reading as a stream opens a file: never waiting (a FIFO is not waited on for
/// a writer), closed on exec. The descriptor, or -1 with errno set.
int OpenForReading(std::u16string_view path);

/// Frees the file buffer the last stream let go (kept for the next stream; ReleaseListMemory).
void ReleaseLastFileBuffer();

class InStream {
 public:
  /// Reads from memory the caller keeps alive.
  InStream(const void* data, size_t size);
  /// An empty stream, until Open makes it read a file.
  InStream() = default;
  /// Makes an empty stream read a file; false when the file cannot be opened or is not a regular
  /// file, and then `*why` (when given) says which: kCannotOpen or kNotRegular (the stream stays
  /// empty). The open never blocks: a FIFO or a device named as a drawing is refused, not waited
  /// on. `bufferLimit` caps the read-ahead, for callers that need only the first few bytes. A file
  /// of at most `wholeUpTo` bytes is read whole, with one read(), into one buffer at the first
  /// read (so that everything is in view); the buffer's memory is kept for the next stream
  /// (list_memory.h).
  bool Open(const std::u16string& path, size_t bufferLimit = 1 << 16, const char** why = nullptr,
            size_t wholeUpTo = 0);
  /// Open on a stream of its own; nullptr where Open gives false.
  static std::unique_ptr<InStream> OpenFile(const std::u16string& path, size_t bufferLimit = 1 << 16,
                                            const char** why = nullptr, size_t wholeUpTo = 0);
  ~InStream();
  InStream(const InStream&) = delete;
  InStream& operator=(const InStream&) = delete;

  /// Delivers up to n bytes; fewer only at the end of the data. Returns the count delivered.
  size_t Read(void* dst, size_t n) {
    if (n <= static_cast<size_t>(end_ - cur_)) {
      std::memcpy(dst, cur_, n);
      cur_ += n;
      return n;
    }
    return ReadSlow(dst, n);
  }

  /// Unchecked read of a little-endian value (this code runs on little-endian hosts only).
  template <class T>
  size_t ReadValue(T& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    // A constant-size copy compiles to a single load; values are read by the thousand.
    if (static_cast<size_t>(end_ - cur_) >= sizeof(T)) {
      std::memcpy(&v, cur_, sizeof(T));
      cur_ += sizeof(T);
      return sizeof(T);
    }
    return ReadSlow(&v, sizeof(T));
  }

  /// The next n bytes where they lie, when all of them are in view (the stream moves past
  /// them); nullptr otherwise (nothing moves). Saves a copy for fixed-size parts.
  const uint8_t* TakeInView(size_t n) {
    if (n > static_cast<size_t>(end_ - cur_)) return nullptr;
    const uint8_t* p = cur_;
    cur_ += n;
    return p;
  }

  /// The next n bytes where they lie, when all of them are in view; nullptr otherwise. Nothing
  /// moves: the pointer stays valid until the stream reads on past the bytes in view.
  const uint8_t* PeekInView(size_t n) const {
    return n <= static_cast<size_t>(end_ - cur_) ? cur_ : nullptr;
  }

  /// How many bytes from the position on are in view (all that remain of a memory stream or a
  /// file read whole; the rest of the buffer otherwise).
  size_t InView() const { return static_cast<size_t>(end_ - cur_); }

  /// Checked read: throws File I/O Error unless all bytes are there.
  void ReadExact(void* dst, size_t n) {
    if (Read(dst, n) != n) throw TJwwIOError(kIOError);
  }
  template <class T>
  T Get() {
    T v{};
    ReadExact(&v, sizeof(T));
    return v;
  }

  /// Moves forward by up to n bytes; returns the count skipped.
  uint64_t Skip(uint64_t n);

  /// All bytes from the position to the end, when they are in view (a memory stream, or a file
  /// read whole); nullptr otherwise. Nothing moves.
  const uint8_t* RestInView() const { return PeekInView(static_cast<size_t>(Remaining())); }

  /// The file position of the first byte in view: it changes whenever the stream reads on into a
  /// new window of the file.
  uint64_t ViewStart() const { return base_; }

  uint64_t Position() const { return base_ + static_cast<uint64_t>(cur_ - buf_); }
  uint64_t Size() const { return size_; }
  uint64_t Remaining() const { return size_ - Position(); }

 private:
  friend void ReleaseLastFileBuffer();
  static uint8_t* Storage(InStream& s);
  size_t ReadSlow(void* dst, size_t n);
  bool Refill();

  /// A byte whose construction writes nothing: a buffer of them is sized without clearing it.
  struct RawByte {
    uint8_t b;
    RawByte() {}
  };

  int fd_ = -1;
  std::vector<RawByte> storage_;  // the file buffer; none for a memory stream
  size_t capacity_ = 0;
  const uint8_t* buf_ = nullptr;  // start of the bytes in view
  const uint8_t* cur_ = nullptr;
  const uint8_t* end_ = nullptr;
  uint64_t base_ = 0;  // file position of buf_[0]
  uint64_t size_ = 0;
};

static_assert(sizeof(double) == 8 && sizeof(int32_t) == 4, "the format's widths");

}  // namespace jww
