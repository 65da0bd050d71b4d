#include "stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/codepage.h"
#include "jww/list_memory.h"

namespace jww {

InStream::InStream(const void* data, size_t size)
    : buf_(static_cast<const uint8_t*>(data)),
      cur_(buf_),
      end_(buf_ + size),
      size_(size) {}

std::unique_ptr<InStream> InStream::OpenFile(const std::u16string& path, size_t bufferLimit,
                                             const char** why, size_t wholeUpTo) {
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer. It changes nothing
  // for a regular file, the only kind read further.
  int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    if (why) *why = errno == ENXIO ? kNotRegular : kCannotOpen;
    return nullptr;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (why) *why = kNotRegular;
    ::close(fd);
    return nullptr;
  }
  std::unique_ptr<InStream> s(new InStream());
  s->fd_ = fd;
  s->size_ = static_cast<uint64_t>(st.st_size);
  // No larger than the file: most drawings are small, and the list reads thousands of them.
  const uint64_t limit = s->size_ <= wholeUpTo ? s->size_ : bufferLimit;
  s->capacity_ = static_cast<size_t>(std::max<uint64_t>(1, std::min<uint64_t>(limit, s->size_)));
  ReserveList(s->storage_, s->capacity_);
  s->storage_.resize(s->capacity_);
  s->buf_ = s->cur_ = s->end_ = Storage(*s);
  return s;
}

InStream::~InStream() {
  if (fd_ >= 0) ::close(fd_);
  RecycleList(storage_);
}

uint8_t* InStream::Storage(InStream& s) { return &s.storage_.data()->b; }

bool InStream::Refill() {
  if (fd_ < 0) return false;
  base_ = Position();
  // The buffer is filled as far as the file goes: a file read whole is then all in view.
  uint8_t* const buf = Storage(*this);
  size_t got = 0;
  while (got < capacity_) {
    const ssize_t r = ::read(fd_, buf + got, capacity_ - got);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  buf_ = cur_ = buf;
  end_ = buf_ + got;
  // A file that shrinks while it is read ends here; one that grows is read to its first size.
  if (got == 0) size_ = base_;
  else if (base_ + got > size_) end_ = buf_ + (size_ - base_);
  return end_ > cur_;
}

size_t InStream::ReadSlow(void* dst, size_t n) {
  auto* out = static_cast<uint8_t*>(dst);
  size_t done = 0;
  while (done < n) {
    if (cur_ == end_ && !Refill()) break;
    size_t take = std::min(n - done, static_cast<size_t>(end_ - cur_));
    std::memcpy(out + done, cur_, take);
    cur_ += take;
    done += take;
  }
  return done;
}

uint64_t InStream::Skip(uint64_t n) {
  uint64_t inView = static_cast<uint64_t>(end_ - cur_);
  if (n <= inView) {
    cur_ += n;
    return n;
  }
  uint64_t avail = Remaining();
  uint64_t take = std::min(n, avail);
  if (fd_ < 0) {
    cur_ += take;
    return take;
  }
  uint64_t target = Position() + take;
  if (::lseek(fd_, static_cast<off_t>(target), SEEK_SET) < 0) return 0;
  base_ = target;
  buf_ = cur_ = end_ = Storage(*this);
  return take;
}

}  // namespace jww
