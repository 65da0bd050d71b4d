#include "stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "common/codepage.h"
#include "jww/list_memory.h"

namespace jww {

namespace {

// The file buffer the last stream let go, for the next stream to read into: its bytes were the
// last ones a read went through, so they are still in the caches, where a buffer of its own size
// kept since the drawing was last read (the list store's best fit) has long been pushed out, and
// the read() would write the file into memory that has to be fetched first. One buffer for the
// process, of kMinBlockBytes up to kMaxLastBuffer; a stream needing more, or finding it taken,
// uses the list store as before, and the buffer it replaces goes there. Moved in and out under a
// flag no thread waits on, as the kept header tables.
constexpr size_t kMaxLastBuffer = size_t{1} << 20;

template <class Buffer>
struct LastBuffer {
  std::atomic_flag busy;
  Buffer buffer;
};

template <class Buffer>
LastBuffer<Buffer>& TheLastBuffer() {
  static auto* last = new LastBuffer<Buffer>;  // never destroyed, as the list store
  return *last;
}

// Swaps `v` (empty, no capacity) with the last buffer when that holds at least `n` bytes.
template <class Buffer>
void TakeLastBuffer(Buffer& v, size_t n) {
  auto& last = TheLastBuffer<Buffer>();
  if (last.busy.test_and_set(std::memory_order_acquire)) return;
  if (last.buffer.capacity() >= n) v.swap(last.buffer);
  last.busy.clear(std::memory_order_release);
}

// Makes `v`'s memory the last buffer, handing the one it replaces to the list store; hands `v`'s
// own there instead when it is outside the last buffer's sizes or the place is taken.
template <class Buffer>
void KeepLastBuffer(Buffer& v) {
  const size_t bytes = v.capacity() * sizeof(v[0]);
  if (bytes >= list_cache::kMinBlockBytes && bytes <= kMaxLastBuffer) {
    auto& last = TheLastBuffer<Buffer>();
    if (!last.busy.test_and_set(std::memory_order_acquire)) {
      v.clear();
      v.swap(last.buffer);
      last.busy.clear(std::memory_order_release);
    }
  }
  RecycleList(v);
}

}  // namespace

void ReleaseLastFileBuffer() {
  auto& last = TheLastBuffer<std::vector<InStream::RawByte>>();
  while (last.busy.test_and_set(std::memory_order_acquire)) {
  }
  std::vector<InStream::RawByte> freed;
  freed.swap(last.buffer);
  last.busy.clear(std::memory_order_release);
}

InStream::InStream(const void* data, size_t size)
    : buf_(static_cast<const uint8_t*>(data)),
      cur_(buf_),
      end_(buf_ + size),
      size_(size) {}

namespace {

// The file system's form of `path` (NativePath) written into `buf` when it is plain ASCII and
// fits, as nearly every path is: one pass, and no string made for each file opened. nullptr
// otherwise.
template <size_t N>
const char* AsciiPath(std::u16string_view path, char (&buf)[N]) {
  if (path.size() >= N) return nullptr;
  char16_t wide = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    wide |= path[i];
    buf[i] = static_cast<char>(path[i]);
  }
  if (wide >= 0x80) return nullptr;
  buf[path.size()] = '\0';
  return buf;
}

}  // namespace

int OpenForReading(std::u16string_view path) {
  char ascii[512];
  std::string other;
  const char* native = AsciiPath(path, ascii);
  if (!native) {
    other = NativePath(path);
    native = other.c_str();
  }
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer. It changes nothing
  // for a regular file, the only kind read further.
  return ::open(native, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
}

bool InStream::Open(const std::u16string& path, size_t bufferLimit, const char** why, size_t wholeUpTo) {
  const int fd = OpenForReading(path);
  if (fd < 0) {
    if (why) *why = errno == ENXIO ? kNotRegular : kCannotOpen;
    return false;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (why) *why = kNotRegular;
    ::close(fd);
    return false;
  }
  fd_ = fd;
  size_ = static_cast<uint64_t>(st.st_size);
  // No larger than the file: most drawings are small, and the list reads thousands of them.
  const uint64_t limit = size_ <= wholeUpTo ? size_ : bufferLimit;
  capacity_ = static_cast<size_t>(std::max<uint64_t>(1, std::min<uint64_t>(limit, size_)));
  TakeLastBuffer(storage_, capacity_);
  ReserveList(storage_, capacity_);
  storage_.resize(capacity_);
  buf_ = cur_ = end_ = Storage(*this);
  return true;
}

std::unique_ptr<InStream> InStream::OpenFile(const std::u16string& path, size_t bufferLimit,
                                             const char** why, size_t wholeUpTo) {
  std::unique_ptr<InStream> s(new InStream());
  if (!s->Open(path, bufferLimit, why, wholeUpTo)) return nullptr;
  return s;
}

InStream::~InStream() {
  if (fd_ >= 0) ::close(fd_);
  KeepLastBuffer(storage_);
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
