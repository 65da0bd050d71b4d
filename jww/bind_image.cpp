// The bound-image folder: packed copies (one gzip member, named as the image with ".gz") and
// unpacked copies, and the six operations that move between them.
//
// Entry names come from drawings someone else made, so every operation skips an entry whose name
// is not plain (the reader's rule), opens nothing through a symbolic link, and writes through a
// temporary file beside the target that is renamed over it only once complete: a failure (bad
// gzip data, a full device) leaves no partial file, the entry's name unchanged, and the next
// entry follows. Images are streamed through 1 MiB buffers, never held whole.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>

#include "common/Func_2.h"
#include "jww/entity_in.h"

namespace jww {

namespace {

constexpr size_t kBuffer = 1 << 20;

bool IsPacked(const string& name) {
  const size_t dot = name.rfind(u'.');
  return dot != string::npos && SameTextAscii(std::u16string_view(name).substr(dot), u".gz");
}

/// The unpacked copy's name: without the last extension for a packed entry.
string UnpackedName(const string& name) { return IsPacked(name) ? name.substr(0, name.rfind(u'.')) : name; }

/// Opens an existing regular file for reading, never through a symbolic link; -1 otherwise.
int OpenSource(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool WriteAll(int fd, const unsigned char* p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

/// Up to n bytes; 0 at the end, -1 on an error.
ssize_t ReadSome(int fd, unsigned char* p, size_t n) {
  for (;;) {
    const ssize_t r = ::read(fd, p, n);
    if (r < 0 && errno == EINTR) continue;
    return r;
  }
}

/// A new file beside `target`, created exclusively (so never through a link), that replaces
/// `target` on Commit and is removed otherwise.
class TempBeside {
 public:
  explicit TempBeside(const std::string& target) : target_(target) {
    std::string temp;
    fd_ = CreateTemporaryBeside(target, temp);
    if (fd_ >= 0) path_ = temp;
  }
  ~TempBeside() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TempBeside(const TempBeside&) = delete;
  TempBeside& operator=(const TempBeside&) = delete;

  int fd() const { return fd_; }
  bool Commit() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return false;
    if (::rename(path_.c_str(), target_.c_str()) != 0) return false;
    path_.clear();
    return true;
  }

 private:
  std::string target_, path_;
  int fd_ = -1;
};

struct Buffers {
  std::unique_ptr<unsigned char[]> in{new unsigned char[kBuffer]};
  std::unique_ptr<unsigned char[]> out{new unsigned char[kBuffer]};
};

/// Inflates the gzip member in `src` into `dst`.
bool Unpack(int src, int dst, Buffers& b) {
  z_stream z{};
  if (inflateInit2(&z, 15 + 16) != Z_OK) return false;
  bool ok = false, done = false;
  while (!done) {
    const ssize_t got = ReadSome(src, b.in.get(), kBuffer);
    if (got <= 0) break;  // an error, or the end before the member ended
    z.next_in = b.in.get();
    z.avail_in = static_cast<uInt>(got);
    // Until this input is used up and no output is left pending (a full output buffer may
    // hide more).
    do {
      z.next_out = b.out.get();
      z.avail_out = static_cast<uInt>(kBuffer);
      const int rc = inflate(&z, Z_NO_FLUSH);
      if ((rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) ||
          !WriteAll(dst, b.out.get(), kBuffer - z.avail_out)) {
        inflateEnd(&z);
        return false;
      }
      if (rc == Z_STREAM_END) done = ok = true;
    } while (!done && (z.avail_in > 0 || z.avail_out == 0));
  }
  inflateEnd(&z);
  return ok;
}

/// Deflates `src` into `dst` as one gzip member (level 9, memory level 8, default strategy).
bool Pack(int src, int dst, Buffers& b) {
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  bool ok = true;
  for (int flush = Z_NO_FLUSH; ok && flush != Z_FINISH;) {
    const ssize_t got = ReadSome(src, b.in.get(), kBuffer);
    if (got < 0) {
      ok = false;
      break;
    }
    flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
    z.next_in = b.in.get();
    z.avail_in = static_cast<uInt>(got);
    int rc;
    do {
      z.next_out = b.out.get();
      z.avail_out = static_cast<uInt>(kBuffer);
      rc = deflate(&z, flush);
      if (rc == Z_STREAM_ERROR || !WriteAll(dst, b.out.get(), kBuffer - z.avail_out)) {
        ok = false;
        break;
      }
    } while (z.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
  }
  deflateEnd(&z);
  return ok;
}

bool Copy(int src, int dst, Buffers& b) {
  for (;;) {
    const ssize_t got = ReadSome(src, b.in.get(), kBuffer);
    if (got < 0) return false;
    if (got == 0) return true;
    if (!WriteAll(dst, b.in.get(), static_cast<size_t>(got))) return false;
  }
}

using Transfer = bool (*)(int, int, Buffers&);

/// Runs `how` from `from` into a new file that replaces `to` only when the transfer succeeded.
bool Transform(const std::string& from, const std::string& to, Transfer how, Buffers& b) {
  const int src = OpenSource(from);
  if (src < 0) return false;
  TempBeside tmp(to);
  bool ok = tmp.fd() >= 0 && how(src, tmp.fd(), b);
  ::close(src);
  return ok && tmp.Commit();
}

std::string FolderPath(const TJwwData& d, const string& name) { return ToFsPath(d.BindImageFolder + name).string(); }

/// Deletes a file of the folder (a link under that name is removed itself, never followed).
void DeleteInFolder(const TJwwData& d, const string& name) {
  if (!IsPlainImageName(name)) return;
  const std::string path = FolderPath(d, name);
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ::unlink(path.c_str());
}

template <class Each>
void ForEachImage(TJwwData& d, Each&& each) {
  const Integer n = std::min<Integer>(d.BindImageN, static_cast<Integer>(d.BindImage.size()));
  for (Integer i = 0; i < n; ++i) {
    try {
      each(d.BindImage[static_cast<size_t>(i)]);
    } catch (...) {  // one entry's failure (even lack of memory) never stops the others
    }
  }
}

}  // namespace

void TJwwData::BindImageExplode() {
  std::unique_ptr<Buffers> b;
  ForEachImage(*this, [&](TBindImageType& img) {
    const string plain = UnpackedName(img.Fname);
    if (!IsPacked(img.Fname) || !IsPlainImageName(img.Fname) || !IsPlainImageName(plain)) return;
    if (!b) b = std::make_unique<Buffers>();
    Transform(FolderPath(*this, img.Fname), FolderPath(*this, plain), Unpack, *b);
  });
}

void TJwwData::BindImagePack() {
  std::unique_ptr<Buffers> b;
  ForEachImage(*this, [&](TBindImageType& img) {
    if (IsPacked(img.Fname) || !IsPlainImageName(img.Fname)) return;
    const string packed = img.Fname + u".gz";
    if (!b) b = std::make_unique<Buffers>();
    if (Transform(FolderPath(*this, img.Fname), FolderPath(*this, packed), Pack, *b)) img.Fname = packed;
  });
}

void TJwwData::BindImageCopy(const string& dst) {
  string folder = dst;
  if (folder.empty() || folder.back() != kPathDelim) folder += kPathDelim;
  std::unique_ptr<Buffers> b;
  ForEachImage(*this, [&](TBindImageType& img) {
    const string name = UnpackedName(img.Fname);
    if (!IsPlainImageName(img.Fname) || !IsPlainImageName(name)) return;
    if (!b) b = std::make_unique<Buffers>();
    Transform(FolderPath(*this, name), ToFsPath(folder + name).string(), Copy, *b);
  });
}

void TJwwData::BindImageDeleteFile() {
  ForEachImage(*this, [&](TBindImageType& img) { DeleteInFolder(*this, img.Fname); });
}

void TJwwData::BindImageDeleteGzFile() {
  ForEachImage(*this, [&](TBindImageType& img) {
    if (IsPacked(img.Fname)) DeleteInFolder(*this, img.Fname);
  });
}

void TJwwData::BindImageDeleteNonGzFile() {
  ForEachImage(*this, [&](TBindImageType& img) {
    if (IsPlainImageName(img.Fname)) DeleteInFolder(*this, UnpackedName(img.Fname));
  });
}

}  // namespace jww
