// The bound-image section of a version 700 drawing: an Integer count, then per image its name,
// its size and (for a named image of positive size) its bytes.
//
// Names come from the drawing, so they are hostile: only a plain name is ever joined to
// BindImageFolder. Any other image keeps its list entry, but its bytes are skipped. With
// BindImageKeep the bytes stay in memory instead, under no file name, whatever the name is.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "common/Func_2.h"
#include "jww/entity_in.h"

namespace jww {

namespace {

constexpr size_t kBlock = 2048;

void SkipExact(InStream& s, uint64_t n) {
  if (s.Skip(n) != n) throw TJwwIOError(kIOError);
}

bool WriteAll(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = ENOSPC;  // a write of nothing: the device took no more
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// A new file beside `path` under a name of its own (".<name>.dravik-tmp-<pid>", O_EXCL: never an
// existing file or link); -1 when none can be made. `temp` receives its name.
int CreateTemporary(const std::string& path, std::string& temp) { return CreateTemporaryBeside(path, temp); }

// Copies `size` bytes of the drawing into `path` in blocks of 2048. The bytes go to a temporary
// file that is renamed over `path` once complete: the name is replaced, never written through,
// so neither a symbolic link nor a hard link planted in the folder under the image's name
// redirects the write. A file that cannot be created or written is removed again, and the
// image's remaining bytes are skipped so that the next entry is read from its own start. Returns
// the system's reason when the image was not written, else 0.
int ExportImage(const std::filesystem::path& path, InStream& s, uint64_t size) {
  std::string temp;
  const int fd = CreateTemporary(path.native(), temp);
  if (fd < 0) {
    const int err = errno;
    SkipExact(s, size);
    return err;
  }
  uint8_t buf[kBlock];
  int err = 0;
  uint64_t left = size;
  while (left > 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(left, kBlock));
    const size_t got = s.Read(buf, want);
    if (got != want) {
      ::close(fd);
      ::unlink(temp.c_str());
      throw TJwwIOError(kIOError);
    }
    left -= got;
    if (!err && !WriteAll(fd, buf, got)) err = errno;
  }
  if (::close(fd) != 0 && !err) err = errno;
  if (!err && ::rename(temp.c_str(), path.c_str()) != 0) err = errno;
  if (err) ::unlink(temp.c_str());
  return err;
}

}  // namespace

bool IsPlainImageName(const string& name) {
  // "." and ".." name folders; dots elsewhere (a..b.jpg.gz) are ordinary characters.
  if (name.empty() || name == u"." || name == u"..") return false;
  for (char16_t c : name)
    if (c < 0x20 || c == 0x7F || c == u'/' || c == u'\\' || c == u':') return false;
  return true;
}

std::string BindImagesIn(TJwwData& d, InStream& s) {
  d.BindImageInit();
  if (!d.BindImageExp && !d.BindImageExr && !d.BindImageKeep) return {};
  const Integer n = s.Get<Integer>();
  if (n <= 0) return {};  // a negative count lists nothing
  // Each entry takes at least a name length byte and its size.
  if (static_cast<uint64_t>(n) > s.Remaining() / 5) throw TJwwIOError(kIOError);
  d.BindImage.assign(static_cast<size_t>(n), TBindImageType{});
  d.BindImageN = n;
  // A writer embeds the first entry of a name (and a drawing should hold each name once): a later
  // entry of the same name never replaces the first one's file.
  std::set<std::string> exported;
  std::string firstLost;
  size_t lost = 0;
  auto lose = [&](const string& name, const std::string& why) {
    if (lost++ == 0) firstLost = StrToUtf8(name) + ": " + why;
  };
  for (TBindImageType& img : d.BindImage) {
    img.Fname = StrInNoCtrlStrict(s);
    img.Fsize = s.Get<Integer>();
    if (img.Fname.empty() || img.Fsize <= 0) continue;
    const uint64_t size = static_cast<uint64_t>(img.Fsize);
    if (size > s.Remaining()) throw TJwwIOError(kIOError);
    if (d.BindImageKeep) {
      auto bytes = std::make_shared<std::string>(static_cast<size_t>(size), '\0');
      s.ReadExact(bytes->data(), bytes->size());
      d.BindImageData.resize(d.BindImage.size());
      d.BindImageData[static_cast<size_t>(&img - d.BindImage.data())] = std::move(bytes);
    } else if (d.BindImageExp && IsPlainImageName(img.Fname) &&
               exported.insert(NativePath(d.BindImageFolder + img.Fname)).second) {
      if (const int err = ExportImage(ToFsPath(d.BindImageFolder + img.Fname), s, size))
        lose(img.Fname, std::strerror(err));
    } else {
      if (d.BindImageExp && !IsPlainImageName(img.Fname)) lose(img.Fname, "not a plain file name");
      SkipExact(s, size);
    }
  }
  if (!lost) return {};
  return "cannot write " + (lost == 1 ? std::string("a bound image") : std::to_string(lost) + " bound images") +
         " into the image folder (" + firstLost + (lost > 1 ? ", ..." : "") + ")";
}

}  // namespace jww
