#include "jww/out_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/Func_2.h"

namespace jww {

// The buffer is left uninitialised: clearing a megabyte on every FileOut costs more than writing
// a small drawing.
OutStream::OutStream() : storage_(new uint8_t[kBufferBytes]) {
  buf_ = cur_ = storage_.get();
  end_ = buf_ + kBufferBytes;
}

std::unique_ptr<OutStream> OutStream::CreateBeside(const std::u16string& target, std::string* why) {
  auto file = std::make_unique<TOutputFile>();
  if (!file->Open(target)) {
    if (why) *why = file->Reason();
    return nullptr;
  }
  std::unique_ptr<OutStream> s(new OutStream());
  s->file_ = std::move(file);
  return s;
}

OutStream::~OutStream() {
  if (!committed_) Discard();
}

void OutStream::Discard() {
  if (file_) file_->Abort();
}

void OutStream::Sink(const uint8_t* p, size_t n) {
  if (flushed_ + n > failAfter_) {
    // Deliver what fits, then fail: the sink then holds a prefix, as after a real full device.
    const size_t fits = failAfter_ > flushed_ ? static_cast<size_t>(failAfter_ - flushed_) : 0;
    if (fits > 0) Sink(p, fits);
    errno_ = ENOSPC;
    throw TJwwIOError(kIOError);
  }
  if (!file_) {
    memory_.append(reinterpret_cast<const char*>(p), n);
    flushed_ += n;
    return;
  }
  while (n > 0) {
    const ssize_t w = ::write(file_->fd(), p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      errno_ = w < 0 ? errno : ENOSPC;  // a write of nothing: the device took no more
      file_->Fail(errno_);
      throw TJwwIOError(kIOError);
    }
    p += w;
    n -= static_cast<size_t>(w);
    flushed_ += static_cast<uint64_t>(w);
  }
}

void OutStream::Flush() {
  const size_t n = static_cast<size_t>(cur_ - buf_);
  cur_ = buf_;
  if (n > 0) Sink(buf_, n);
}

void OutStream::WriteSlow(const void* src, size_t n) {
  const auto* p = static_cast<const uint8_t*>(src);
  Flush();
  if (n >= kBufferBytes) {
    Sink(p, n);
    return;
  }
  std::memcpy(cur_, p, n);
  cur_ += n;
}

void OutStream::Fill(size_t n, uint8_t byte) {
  while (n > 0) {
    if (cur_ == end_) Flush();
    const size_t take = std::min(n, static_cast<size_t>(end_ - cur_));
    std::memset(cur_, byte, take);
    cur_ += take;
    n -= take;
  }
}

void OutStream::Commit() {
  try {
    Flush();
  } catch (...) {
    Discard();
    throw;
  }
  if (file_ && !file_->Commit()) {
    Discard();
    throw TJwwIOError(kIOError);
  }
  committed_ = true;
}

std::string OutStream::Reason() const {
  if (file_ && !file_->Reason().empty()) return file_->Reason();
  return errno_ ? std::strerror(errno_) : std::string();
}

}  // namespace jww
