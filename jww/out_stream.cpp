#include "jww/out_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "common/codepage.h"

namespace jww {

// The buffer is left uninitialised: clearing a megabyte on every FileOut costs more than writing
// a small drawing.
OutStream::OutStream() : storage_(new uint8_t[kBufferBytes]) {
  buf_ = cur_ = storage_.get();
  end_ = buf_ + kBufferBytes;
}

std::unique_ptr<OutStream> OutStream::CreateBeside(const std::u16string& target) {
  std::string path = NativePath(target);
  if (path.empty() || path.back() == '/') return nullptr;
  // A drawing reached through a symbolic link is replaced where it lies; the link stays a link.
  struct stat lst;
  if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real) {
      path = real;
      std::free(real);
    }
  }
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string tmpl = dir + ".dravik-jww-XXXXXX";
  const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) return nullptr;  // errno from mkostemp
  // mkstemp makes the file 0600; a drawing is an ordinary document, so give it the usual mode,
  // or the mode of the file it is going to replace.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  mode_t mode = 0666 & ~mask;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 0777;
  if (::fchmod(fd, mode) != 0) {
    const int err = errno;
    ::close(fd);
    ::unlink(tmpl.c_str());
    errno = err;
    return nullptr;
  }
  std::unique_ptr<OutStream> s(new OutStream());
  s->fd_ = fd;
  s->tempPath_ = std::move(tmpl);
  s->targetPath_ = path;
  return s;
}

OutStream::~OutStream() {
  if (!committed_) Discard();
}

void OutStream::Discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!tempPath_.empty()) {
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
  }
}

void OutStream::Sink(const uint8_t* p, size_t n) {
  if (flushed_ + n > failAfter_) {
    // Deliver what fits, then fail: the sink then holds a prefix, as after a real full device.
    const size_t fits = failAfter_ > flushed_ ? static_cast<size_t>(failAfter_ - flushed_) : 0;
    if (fits > 0) Sink(p, fits);
    errno_ = ENOSPC;
    throw TJwwIOError(kIOError);
  }
  if (fd_ < 0) {
    memory_.append(reinterpret_cast<const char*>(p), n);
    flushed_ += n;
    return;
  }
  while (n > 0) {
    const ssize_t w = ::write(fd_, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      errno_ = w < 0 ? errno : ENOSPC;  // a write of nothing: the device took no more
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
  if (fd_ < 0) {
    committed_ = true;
    return;
  }
  bool ok = ::fsync(fd_) == 0;
  if (!ok) errno_ = errno;
  if (::close(fd_) != 0 && ok) {
    ok = false;
    errno_ = errno;
  }
  fd_ = -1;
  if (ok && ::rename(tempPath_.c_str(), targetPath_.c_str()) != 0) {
    ok = false;
    errno_ = errno;
  }
  if (!ok) {
    Discard();
    throw TJwwIOError(kIOError);
  }
  tempPath_.clear();
  committed_ = true;
}

}  // namespace jww
