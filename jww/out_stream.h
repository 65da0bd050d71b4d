// Byte-level output of JWW files: a buffered little-endian writer over a file or memory.
//
// A file is never written under its own name. OutStream::CreateBeside opens a temporary file in
// the target's folder (TOutputFile; a device or pipe is written in place); Commit() flushes,
// syncs, closes and renames it over the target once everything is written. A stream destroyed without a successful Commit removes its temporary file, so a failed
// write leaves whatever was under the target name untouched.
//
// Every failure (a write the system refuses, a full device) throws TJwwIOError ("File I/O Error");
// the public writer catches it and returns False.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "jww/stream.h"

namespace jww {

class TOutputFile;

/// Unchecked little-endian writes into room taken with OutStream::Reserve.
struct BytePut {
  uint8_t* p;
  template <class T>
  void Put(const T& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    std::memcpy(p, &v, sizeof(T));
    p += sizeof(T);
  }
};

class OutStream {
 public:
  /// A memory sink; Data() holds what was written.
  OutStream();
  /// A new temporary file beside `target` (same folder, so the final rename stays on one file
  /// system), or `target` itself when it is a device or pipe (TOutputFile); nullptr when it
  /// cannot be written, with the reason in `why`.
  static std::unique_ptr<OutStream> CreateBeside(const std::u16string& target, std::string* why = nullptr);
  ~OutStream();
  OutStream(const OutStream&) = delete;
  OutStream& operator=(const OutStream&) = delete;

  void Write(const void* src, size_t n) {
    if (n <= static_cast<size_t>(end_ - cur_)) {
      std::memcpy(cur_, src, n);
      cur_ += n;
      return;
    }
    WriteSlow(src, n);
  }
  /// Little-endian value (this code runs on little-endian hosts only).
  template <class T>
  void Put(const T& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    Write(&v, sizeof(T));
  }
  void Fill(size_t n, uint8_t byte);

  /// Room for `n` bytes (at most kBufferBytes) at the returned address, flushing first when the
  /// buffer lacks it. The caller puts up to `n` bytes there and passes the end of what it put to
  /// Advance, with no other write in between: records are encoded straight into the buffer,
  /// without a bounds check per field.
  uint8_t* Reserve(size_t n) {
    if (n > static_cast<size_t>(end_ - cur_)) Flush();
    return cur_;
  }
  void Advance(uint8_t* end) { cur_ = end; }
  static constexpr size_t kBufferBytes = size_t{1} << 20;

  /// Bytes written so far.
  uint64_t Position() const { return flushed_ + static_cast<uint64_t>(cur_ - buf_); }

  /// Fault injection: every byte beyond the first `n` fails as a full device would.
  void FailAfter(uint64_t n) { failAfter_ = n; }

  /// File stream: flushes, syncs, closes and renames the temporary file over the target.
  /// Memory stream: flushes into Data(). Throws on failure (the temporary file is then removed).
  void Commit();

  /// The system's error number of the failure that made a write, Flush or Commit throw (ENOSPC
  /// for FailAfter); 0 while nothing failed.
  int SystemError() const { return errno_; }
  /// Why a write, Flush or Commit failed, in the system's words; empty while nothing failed.
  std::string Reason() const;

  /// What a memory stream holds after Commit (or Flush).
  const std::string& Data() const { return memory_; }
  /// Moves buffered bytes to the sink; throws on failure.
  void Flush();

 private:
  void WriteSlow(const void* src, size_t n);
  void Sink(const uint8_t* p, size_t n);
  void Discard();

  std::unique_ptr<TOutputFile> file_;  // none for a memory stream
  bool committed_ = false;
  std::string memory_;
  std::unique_ptr<uint8_t[]> storage_;
  uint8_t* buf_ = nullptr;
  uint8_t* cur_ = nullptr;
  uint8_t* end_ = nullptr;
  uint64_t flushed_ = 0;
  uint64_t failAfter_ = UINT64_MAX;
  int errno_ = 0;
};

}  // namespace jww
