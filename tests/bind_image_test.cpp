// The bound-image folder operations: packing and unpacking, copying, cleaning up, and what they
// refuse to touch (names that are not plain, symbolic links) or leave behind on failure.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>

#include "jww/JwwUnit.h"
#include "tests/jww_bytes.h"

using jww::TJwwData;
namespace fs = std::filesystem;

namespace {

std::string Noise(size_t n, unsigned seed = 1) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(rng() % 7 == 0 ? rng() : 'a' + i % 13);
  return s;
}

void Write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
std::string Read(const std::string& path) { return jww::ReadWholeFile(jww::Utf8ToStr(path)).value_or("<missing>"); }
bool Exists(const std::string& path) { return fs::exists(fs::symlink_status(path)); }

struct Folder {
  jwwtest::TempDir dir;
  std::string img;
  TJwwData d;
  Folder() {
    img = dir.path("TMP");
    fs::create_directory(img);
    d.BindImageFolder = jww::Utf8ToStr(img + "/");
  }
  std::string at(const std::string& name) const { return img + "/" + name; }
  void List(std::initializer_list<const char*> names) {
    d.BindImage.clear();
    for (const char* n : names) d.BindImage.push_back({jww::Utf8ToStr(n), 0, false});
    d.BindImageN = static_cast<int>(d.BindImage.size());
  }
  std::string Name(int i) const {
    const auto& f = d.BindImage[i].Fname;
    return std::string(f.begin(), f.end());
  }
};

}  // namespace

TEST(BindImage, PackAndUnpackGiveBackTheSameBytes) {
  Folder f;
  const std::string photo = Noise(3 << 19), icon = Noise(100, 2);
  Write(f.at("photo.jpg"), photo);
  Write(f.at("icon.png"), icon);
  Write(f.at("empty.bmp"), "");
  f.List({"photo.jpg", "missing.jpg", "icon.png", "empty.bmp", "done.gif.gz"});
  Write(f.at("done.gif.gz"), "not even gzip");
  f.d.BindImagePack();
  EXPECT_EQ(f.Name(0), "photo.jpg.gz");
  EXPECT_EQ(f.Name(1), "missing.jpg");  // skipped
  EXPECT_EQ(f.Name(2), "icon.png.gz");
  EXPECT_EQ(f.Name(3), "empty.bmp.gz");
  EXPECT_EQ(f.Name(4), "done.gif.gz");  // already packed
  EXPECT_EQ(Read(f.at("photo.jpg")), photo);  // the unpacked copy stays
  EXPECT_EQ(std::system(("gzip -t " + f.at("photo.jpg.gz") + " " + f.at("icon.png.gz") + " " +
                         f.at("empty.bmp.gz")).c_str()),
            0);
  // A second packing does nothing more.
  f.d.BindImagePack();
  EXPECT_EQ(f.Name(0), "photo.jpg.gz");
  EXPECT_FALSE(Exists(f.at("photo.jpg.gz.gz")));

  fs::remove(f.at("photo.jpg"));
  fs::remove(f.at("icon.png"));
  fs::rename(f.at("icon.png.gz"), f.at("ICON.PNG.GZ"));
  f.d.BindImage[2].Fname = u"ICON.PNG.GZ";  // the extension in any letter case
  f.d.BindImageExplode();
  EXPECT_EQ(Read(f.at("photo.jpg")), photo);
  EXPECT_EQ(Read(f.at("ICON.PNG")), icon);
  EXPECT_EQ(Read(f.at("empty.bmp")), "");
  EXPECT_TRUE(Exists(f.at("photo.jpg.gz")));
  // Bad gzip data leaves no unpacked copy.
  EXPECT_FALSE(Exists(f.at("done.gif")));
  EXPECT_EQ(f.d.BindImageN, 5);
  // Nothing but the expected files in the folder: no temporary files left behind.
  std::vector<std::string> names;
  for (auto& e : fs::directory_iterator(f.img)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"ICON.PNG", "ICON.PNG.GZ", "done.gif.gz", "empty.bmp",
                                             "empty.bmp.gz", "photo.jpg", "photo.jpg.gz"}));
}

TEST(BindImage, CopyAndTheThreeDeletions) {
  Folder f;
  Write(f.at("photo.jpg.gz"), "packed");
  Write(f.at("photo.jpg"), "image");
  Write(f.at("plan.png"), "plain");
  f.List({"photo.jpg.gz", "plan.png", "gone.gif.gz"});
  const std::string dst = f.dir.path("out");
  fs::create_directory(dst);
  f.d.BindImageCopy(jww::Utf8ToStr(dst));  // no trailing separator
  EXPECT_EQ(Read(dst + "/photo.jpg"), "image");
  EXPECT_EQ(Read(dst + "/plan.png"), "plain");
  EXPECT_FALSE(Exists(dst + "/photo.jpg.gz"));

  f.d.BindImageDeleteGzFile();
  EXPECT_FALSE(Exists(f.at("photo.jpg.gz")));
  EXPECT_TRUE(Exists(f.at("photo.jpg")));
  EXPECT_TRUE(Exists(f.at("plan.png")));
  Write(f.at("photo.jpg.gz"), "packed");
  f.d.BindImageDeleteNonGzFile();
  EXPECT_FALSE(Exists(f.at("photo.jpg")));
  EXPECT_FALSE(Exists(f.at("plan.png")));
  EXPECT_TRUE(Exists(f.at("photo.jpg.gz")));
  Write(f.at("plan.png"), "plain");
  f.d.BindImageDeleteFile();
  EXPECT_FALSE(Exists(f.at("photo.jpg.gz")));
  EXPECT_FALSE(Exists(f.at("plan.png")));
  EXPECT_EQ(f.d.BindImageN, 3);

  TJwwData empty;  // an empty list: nothing at all
  empty.BindImageFolder = f.d.BindImageFolder;
  empty.BindImagePack();
  empty.BindImageExplode();
  empty.BindImageDeleteFile();
  EXPECT_EQ(empty.BindImageN, 0);
}

TEST(BindImage, NamesThatAreNotPlainAndLinksAreLeftAlone) {
  Folder f;
  const std::string outside = f.dir.path("precious.txt");
  Write(outside, "keep");
  fs::create_directory(f.at("sub"));
  Write(f.at("sub/x.png"), "sub");
  f.List({"../precious.txt", "sub/x.png", "a:b.png", "..", "bad\x01.png"});
  for (int round = 0; round < 2; ++round) {
    f.d.BindImagePack();
    f.d.BindImageExplode();
    f.d.BindImageCopy(jww::Utf8ToStr(f.dir.path("")));
    f.d.BindImageDeleteNonGzFile();
    f.d.BindImageDeleteGzFile();
    f.d.BindImageDeleteFile();
  }
  EXPECT_EQ(Read(outside), "keep");
  EXPECT_EQ(Read(f.at("sub/x.png")), "sub");
  EXPECT_FALSE(Exists(outside + ".gz"));
  EXPECT_EQ(f.Name(0), "../precious.txt");

  // A link planted under an entry's name is never followed: not packed from, not written through.
  const std::string target = f.dir.path("target.txt");
  Write(target, "target");
  fs::create_symlink(target, f.at("link.png"));
  fs::create_symlink(target, f.at("photo.jpg"));
  jwwtest::TempDir src;
  Write(f.at("photo.jpg.gz"), "");
  f.List({"link.png", "photo.jpg.gz"});
  {
    TJwwData g;  // a real packed copy of "new" for photo.jpg.gz
    g.BindImageFolder = jww::Utf8ToStr(src.dir() + "/");
    Write(src.path("photo.jpg"), "new");
    g.BindImage = {{u"photo.jpg", 0, false}};
    g.BindImageN = 1;
    g.BindImagePack();
    fs::copy_file(src.path("photo.jpg.gz"), f.at("photo.jpg.gz"), fs::copy_options::overwrite_existing);
  }
  f.d.BindImagePack();
  EXPECT_EQ(f.Name(0), "link.png");
  EXPECT_FALSE(Exists(f.at("link.png.gz")));
  f.d.BindImageExplode();
  EXPECT_EQ(Read(target), "target");
  EXPECT_FALSE(fs::is_symlink(f.at("photo.jpg")));  // replaced by the unpacked copy itself
  EXPECT_EQ(Read(f.at("photo.jpg")), "new");
}

TEST(BindImage, AFullDeviceLeavesNoPartialFile) {
  Folder f;
  const std::string big = Noise(2 << 20, 3);
  Write(f.at("big.bmp"), big);
  Write(f.at("small.png"), "small");
  {
    TJwwData g;  // packed copies made before the device "fills up"
    g.BindImageFolder = f.d.BindImageFolder;
    g.BindImage = {{u"big.bmp", 0, false}, {u"small.png", 0, false}};
    g.BindImageN = 2;
    g.BindImagePack();
  }
  fs::remove(f.at("big.bmp"));
  fs::remove(f.at("small.png"));
  std::string raw(3 << 19, '\0');
  std::mt19937 rng(4);
  for (char& c : raw) c = static_cast<char>(rng());
  Write(f.at("huge.raw"), raw);  // random bytes: its packed copy is as big
  // A file size limit makes writes fail past 1 MiB as a full device would.
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit lim = old;
  lim.rlim_cur = 1 << 20;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
  f.List({"big.bmp.gz", "small.png.gz"});
  f.d.BindImageExplode();
  TJwwData p;
  p.BindImageFolder = f.d.BindImageFolder;
  p.BindImage = {{u"huge.raw", 0, false}, {u"small.png", 0, false}};
  p.BindImageN = 2;
  p.BindImagePack();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(Exists(f.at("big.bmp")));  // removed, not left half-written
  EXPECT_EQ(Read(f.at("small.png")), "small");  // the next entry followed
  EXPECT_EQ(p.BindImage[0].Fname, u"huge.raw");  // a failed packing keeps the name
  EXPECT_FALSE(Exists(f.at("huge.raw.gz")));
  EXPECT_EQ(p.BindImage[1].Fname, u"small.png.gz");
  std::vector<std::string> names;
  for (auto& e : fs::directory_iterator(f.img)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"big.bmp.gz", "huge.raw", "small.png", "small.png.gz"}));
}
