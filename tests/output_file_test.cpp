// The one output routine every writer goes through: what it does to each kind of existing name,
// the reasons it gives, its temporary files and their removal when a killed writer left them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <set>

#include "common/Func_2.h"
#include "tests/jww_bytes.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) { return jww::ReadWholeFile(jww::PathFromNative(path)).value_or("<none>"); }

std::set<std::string> Names(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

void Age(const std::string& path, long seconds) {
  const timespec t[2] = {{std::time(nullptr) - seconds, 0}, {std::time(nullptr) - seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), t, AT_SYMLINK_NOFOLLOW), 0) << path;
}

}  // namespace

// Each kind of name an output can be given: what is written where, what stays, and the reason
// when it is refused. Nothing but the expected files is ever left in the folder.
TEST(OutputFile, EachKindOfTarget) {
  jwwtest::TempDir dir;
  const std::string d = dir.dir();
  jwwtest::Bytes().raw("old").WriteTo(d + "/private.txt");
  ::chmod((d + "/private.txt").c_str(), 0600);
  jwwtest::Bytes().raw("old").WriteTo(d + "/real.txt");
  ::chmod((d + "/real.txt").c_str(), 0640);
  fs::create_symlink("real.txt", d + "/link.txt");
  // Dangling links are written through, as editors do: the file is made where they point.
  fs::create_symlink("hop.txt", d + "/dangling.txt");
  fs::create_symlink(d + "/made.txt", d + "/hop.txt");
  fs::create_symlink("nowhere/x.txt", d + "/lost.txt");
  fs::create_directory(d + "/folder");
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string sockPath = d + "/sock";
  ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", sockPath.c_str());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

  struct Case {
    std::string path;  // relative to the folder unless absolute
    std::string reason;  // "" when the write succeeds
    std::string readBack;  // the file that must then hold "new"
    mode_t mode;  // its permission bits, 0 for a device
  };
  const Case cases[] = {
      {"new.txt", "", "new.txt", 0644},  // the test runs with umask 022 (set below)
      {"private.txt", "", "private.txt", 0600},
      {"link.txt", "", "real.txt", 0640},
      {"dangling.txt", "", "made.txt", 0644},
      {"lost.txt", "No such file or directory", "", 0},
      {"/dev/null", "", "", 0},
      {"", "No such file or directory", "", 0},
      {"folder", "Is a directory", "", 0},
      {"x.pdf/", "Is a directory", "", 0},
      {"missing/x.pdf", "No such file or directory", "", 0},
      {"private.txt/x", "Not a directory", "", 0},
      {"sock", "not a regular file", "", 0},
      {std::string(300, 'n') + ".pdf", "File name too long", "", 0},
      {"/dev/full", "No space left on device", "", 0},
  };
  const mode_t mask = ::umask(022);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string path = c.path.empty() || c.path[0] == '/' ? c.path : d + "/" + c.path;
    // Asked beforehand, without writing, the routine gives the same reason (a full device only
    // tells when written to).
    EXPECT_EQ(jww::TOutputFile::Problem(path), c.path == "/dev/full" ? "" : c.reason);
    std::string why;
    const bool ok = jww::WriteFileAtomic(jww::PathFromNative(path), "new", &why);
    EXPECT_EQ(ok, c.reason.empty());
    EXPECT_EQ(why, c.reason);
    if (!c.readBack.empty()) {
      EXPECT_EQ(Read(d + "/" + c.readBack), "new");
      struct stat st;
      ASSERT_EQ(::stat((d + "/" + c.readBack).c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, c.mode);
    }
  }
  ::umask(mask);
  ::close(sock);
  EXPECT_TRUE(fs::is_symlink(d + "/link.txt"));
  EXPECT_TRUE(fs::is_symlink(d + "/dangling.txt") && fs::is_symlink(d + "/hop.txt"));
  EXPECT_TRUE(fs::is_symlink(d + "/lost.txt"));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
  EXPECT_EQ(Names(d), (std::set<std::string>{"dangling.txt", "folder", "hop.txt", "link.txt", "lost.txt", "made.txt",
                                             "new.txt", "private.txt", "real.txt", "sock"}));
}

// While it is written, the output's temporary file says whose it is and is locked; a failed write
// removes it, and the target keeps its old bytes.
TEST(OutputFile, TemporaryNameLockAndAbort) {
  jwwtest::TempDir dir;
  const std::string target = dir.path("out.pdf");
  jwwtest::Bytes().raw("old").WriteTo(target);
  jww::TOutputFile out;
  ASSERT_TRUE(out.Open(target));
  const std::string temp = ".out.pdf.dravik-tmp-" + std::to_string(::getpid());
  EXPECT_EQ(Names(dir.dir()), (std::set<std::string>{"out.pdf", temp}));
  const int other = ::open(dir.path(temp).c_str(), O_RDONLY);
  EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);  // held by the writer
  ::close(other);
  ASSERT_TRUE(out.Write("half"));
  out.Abort();
  EXPECT_EQ(Names(dir.dir()), (std::set<std::string>{"out.pdf"}));
  EXPECT_EQ(Read(target), "old");

  // A name too long to take the additions gets the short form.
  const std::string longName = std::string(250, 'l');
  jww::TOutputFile out2;
  ASSERT_TRUE(out2.Open(dir.path(longName)));
  EXPECT_TRUE(Names(dir.dir()).count(".dravik-tmp-" + std::to_string(::getpid())));
  ASSERT_TRUE(out2.Write("x") && out2.Commit());
  EXPECT_EQ(Read(dir.path(longName)), "x");
}

// What a killed writer left is removed once it is a day old and nobody holds its lock; anything
// else in the folder stays.
TEST(OutputFile, StaleTemporariesAreRemoved) {
  jwwtest::TempDir dir;
  struct Case {
    std::string name;
    long age;
    bool locked;
    bool removed;
  };
  const Case cases[] = {
      {".out.pdf.dravik-tmp-4242", 2 * 86400, false, true},
      {".out.pdf.dravik-tmp-4242-3", 2 * 86400, false, true},
      {".dravik-tmp-17", 2 * 86400, false, true},
      {".busy.png.dravik-tmp-99", 2 * 86400, true, false},   // a writer still at work
      {".fresh.dxf.dravik-tmp-99", 3600, false, false},      // perhaps still being written
      {".notes.dravik-tmp-x", 2 * 86400, false, false},      // not a name the writer makes
      {"out.pdf.dravik-tmp-4242", 2 * 86400, false, false},  // not hidden: not ours
      {".dravik-XXXXXX", 2 * 86400, false, false},
  };
  std::vector<int> held;
  for (const Case& c : cases) {
    jwwtest::Bytes().raw("partial").WriteTo(dir.path(c.name));
    Age(dir.path(c.name), c.age);
    if (c.locked) {
      held.push_back(::open(dir.path(c.name).c_str(), O_RDONLY));
      ASSERT_EQ(::flock(held.back(), LOCK_EX), 0);
    }
  }
  fs::create_symlink("/etc/hostname", dir.path(".link.dravik-tmp-5"));
  EXPECT_EQ(jww::RemoveStaleTemporaries(dir.dir() + "/"), 3);
  const std::set<std::string> left = Names(dir.dir());
  for (const Case& c : cases) EXPECT_EQ(left.count(c.name), c.removed ? 0u : 1u) << c.name;
  EXPECT_TRUE(left.count(".link.dravik-tmp-5"));
  for (int fd : held) ::close(fd);
}
