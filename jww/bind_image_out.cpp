// The bound-image section of a version 700 drawing: which images are embedded, and their bytes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

#include "common/Func_2.h"
#include "common/unicase.h"
#include "jww/JwwUnit.h"
#include "jww/entity_in.h"
#include "jww/out_stream.h"
#include "jww/writer.h"

namespace jww {

namespace {

constexpr std::u16string_view kBoundRef = u"^@BM%temp%";

// A text that refers to a bound image marks the first image entry whose name begins with the
// referred name (the entries carry ".gz" and the like after it).
void MarkFromText(const string& str, const std::vector<string>& upperNames, std::vector<TBindImageType>& images,
                  size_t n) {
  if (str.size() <= kBoundRef.size() || str.compare(0, kBoundRef.size(), kBoundRef) != 0) return;
  const size_t comma = str.find(u',');
  if (comma == string::npos || comma <= kBoundRef.size()) return;
  const string name = UpperCase(std::u16string_view(str).substr(kBoundRef.size(), comma - kBoundRef.size()));
  for (size_t i = 0; i < n; ++i) {
    if (upperNames[i].compare(0, name.size(), name) == 0 && upperNames[i].size() >= name.size()) {
      images[i].exf = true;
      return;
    }
  }
}

void MarkFromOrder(const std::vector<TEntJwwNo>& order, size_t n, const std::vector<TEntJwwMoji>& texts,
                   Integer textN, const std::vector<string>& upperNames, std::vector<TBindImageType>& images,
                   size_t imageN) {
  const size_t valid = std::min<size_t>(static_cast<size_t>(std::max<Integer>(textN, 0)), texts.size());
  for (size_t i = 0; i < std::min(n, order.size()); ++i) {
    const TEntJwwNo& no = order[i];
    if (no.EntType != kEntMoji || no.EntNo < 0 || static_cast<size_t>(no.EntNo) >= valid) continue;
    MarkFromText(texts[static_cast<size_t>(no.EntNo)].str, upperNames, images, imageN);
  }
}

struct OpenImage {
  size_t entry;
  int fd;  // -1 for bytes kept in memory
  Integer size;
};

// Closes whatever is still open, however the section ends.
struct OpenImages {
  std::vector<OpenImage> list;
  ~OpenImages() {
    for (auto& o : list)
      if (o.fd >= 0) ::close(o.fd);
  }
};

void CopyImage(OutStream& s, OpenImage& img, const std::string* kept) {
  if (img.fd < 0) {
    s.Write(kept->data(), kept->size());
    return;
  }
  char buf[1 << 16];
  uint64_t left = static_cast<uint64_t>(img.size);
  while (left > 0) {
    const ssize_t got = ::read(img.fd, buf, static_cast<size_t>(std::min<uint64_t>(left, sizeof buf)));
    if (got < 0 && errno == EINTR) continue;
    // The size is already written: a file that shrank or fails now cannot be completed, and a
    // shorter copy would leave readers out of step. The whole write fails instead.
    if (got <= 0) throw TJwwIOError(kIOError);
    s.Write(buf, static_cast<size_t>(got));
    left -= static_cast<uint64_t>(got);
  }
  ::close(img.fd);
  img.fd = -1;
}

}  // namespace

void BindImageOut(OutStream& s, TJwwData& d) {
  const size_t imageN =
      std::min<size_t>(static_cast<size_t>(std::max<Integer>(d.BindImageN, 0)), d.BindImage.size());
  for (auto& img : d.BindImage) img.exf = false;

  std::vector<string> upperNames(imageN);
  for (size_t i = 0; i < imageN; ++i) upperNames[i] = UpperCase(d.BindImage[i].Fname);

  // Texts of every definition count, in use or not: an image stays with the drawing as long as
  // something in it refers to the image.
  const size_t n1 = static_cast<size_t>(std::max<Integer>(d.Enthd.n1, 0));
  MarkFromOrder(d.EntNo, n1, d.EntMoji, d.EntMojiN, upperNames, d.BindImage, imageN);
  const size_t n2 = std::min<size_t>(static_cast<size_t>(std::max<Integer>(d.Enthd.n2, 0)), d.EntBlockDef.size());
  for (size_t p = 0; p < n2; ++p) {
    const auto& b = d.EntBlockDef[p];
    MarkFromOrder(b.mNo, static_cast<size_t>(std::max<Integer>(b.N, 0)), b.mMoji, b.mMojiN, upperNames,
                  d.BindImage, imageN);
  }

  // Every marked image is opened before the count is written, so the count always equals the
  // images that follow; one that cannot be opened (or is too large for the format) is unmarked.
  OpenImages open;
  const bool embed = d.BindImageExp || d.BindImageExr || d.BindImageKeep;
  for (size_t i = 0; i < imageN; ++i) {
    TBindImageType& img = d.BindImage[i];
    if (!img.exf) continue;
    img.exf = false;
    // Bytes kept in memory need no file, so no name rule applies to them.
    const std::string* kept = i < d.BindImageData.size() ? d.BindImageData[i].get() : nullptr;
    if (embed && kept && !kept->empty() && kept->size() <= INT32_MAX) {
      img.exf = true;
      open.list.push_back({i, -1, static_cast<Integer>(kept->size())});
      continue;
    }
    // A name from a drawing becomes part of a path: only plain names inside the folder are read,
    // by the same rule the reader applies before it writes image files.
    if (!embed || !IsPlainImageName(img.Fname)) continue;
    // Never waits on a FIFO under an image's name: the check below refuses it.
    // The name as the reader made it (NativePath): a name that is no valid text (a lone
    // surrogate) reaches the same file.
    const int fd = ::open(NativePath(d.BindImageFolder + img.Fname).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > INT32_MAX) {
      ::close(fd);
      continue;
    }
    img.exf = true;
    open.list.push_back({i, fd, static_cast<Integer>(st.st_size)});
  }

  s.Put(static_cast<Integer>(open.list.size()));
  for (auto& o : open.list) {
    StrOut(s, d.BindImage[o.entry].Fname);
    s.Put(o.size);
    CopyImage(s, o, o.fd < 0 ? d.BindImageData[o.entry].get() : nullptr);
  }
}

}  // namespace jww
