// What the tools do with the files they are told to write: the reasons they give, devices, links
// and modes, names that are not UTF-8, bound images carried whatever their names, drawings the
// list generator must not overwrite, and a full disk.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "tests/jww_bytes.h"
#include "tests/tool_run.h"

#if defined(DRAVIK_JWW_TOOL) && defined(DRAVIK_LIST_TOOL)
namespace {

namespace fs = std::filesystem;

jwwtest::ToolRun Jww(const std::string& args, const jwwtest::TempDir& dir) {
  return jwwtest::RunTool(DRAVIK_JWW_TOOL, args, dir);
}
jwwtest::ToolRun List(const std::string& args, const jwwtest::TempDir& dir) {
  return jwwtest::RunTool(DRAVIK_LIST_TOOL, args, dir);
}

std::string Read(const std::string& path) { return jww::ReadWholeFile(jww::PathFromNative(path)).value_or("<none>"); }
std::string Q(const std::string& s) { return "'" + s + "'"; }
int Lines(const std::string& s) { return static_cast<int>(std::count(s.begin(), s.end(), '\n')); }

std::set<std::string> Names(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

struct Image {
  std::u16string name;
  std::string bytes;
};

// A version 700 drawing whose texts refer to its images (an unreferenced image is not kept).
void ImageDrawing(const std::string& path, const std::vector<Image>& images) {
  jww::TJwwData d;
  d.DataDefaultSet();
  std::set<std::u16string> referred;
  for (const Image& i : images) {
    if (referred.insert(i.name).second) {
      ASSERT_TRUE(d.AddEntMoji(0, 0, 0, 1, 1, 0, 0, 0, 0.0, 0.0, 1.0, 0.0, 3.0, 3.0, 0.0, 0.0, u"",
                               u"^@BM%temp%" + i.name + u",1"));
    }
    jww::TBindImageType t;
    t.Fname = i.name;
    t.Fsize = static_cast<jww::Integer>(i.bytes.size());
    d.BindImage.push_back(t);
    d.BindImageData.push_back(std::make_shared<const std::string>(i.bytes));
  }
  d.BindImageN = static_cast<jww::Integer>(d.BindImage.size());
  d.BindImageKeep = true;
  ASSERT_TRUE(d.FileOut(jww::PathFromNative(path), 700)) << d.LastError().message;
}

}  // namespace

// Every failure to write names the file and gives the real reason, in one line.
TEST(Outputs, FailuresGiveTheReason) {
  jwwtest::TempDir dir;
  const std::string a = dir.path("a.jww");
  ASSERT_EQ(Jww("new " + a, dir).status, 0);  // A0 paper
  struct Case {
    std::string args, reason;
  };
  const Case cases[] = {
      {"convert --format jww " + a + " ''", ": cannot write a drawing: No such file or directory"},
      {"convert --format jww " + a + " /", "/: cannot write a drawing: Is a directory"},
      {"convert --format jww " + a + " x.pdf/", "x.pdf/: cannot write a drawing: Is a directory"},
      {"convert " + a + " " + dir.path("no/x.pdf"), "cannot write the pdf file: No such file or directory"},
      {"convert " + a + " " + dir.path("no/x.png"), "cannot write the png file: No such file or directory"},
      {"convert " + a + " " + dir.path("no/x.svg"), "cannot write the svg file: No such file or directory"},
      {"convert " + a + " " + dir.path("no/x.dxf"), "cannot write the dxf file: No such file or directory"},
      {"convert --format jww " + a + " /dev/full", "No space left on device"},
      {"convert --format pdf " + a + " /dev/full", "cannot write the pdf file: No space left on device"},
      {"convert " + a + " /dev/full.dxf", "Permission denied"},
      {"convert " + a + " " + dir.path("big.png") + " --dpi 1200", "416 dpi is the most that fits"},
      {"convert " + dir.path("missing.jww") + " x.pdf", "missing.jww: No such file or directory"},
      {"info " + dir.path("missing.jww"), "missing.jww: No such file or directory"},
  };
  for (const Case& c : cases) {
    if (c.reason == "Permission denied" && ::geteuid() == 0) continue;  // root may write in /dev
    SCOPED_TRACE(c.args);
    const jwwtest::ToolRun r = Jww(c.args, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    EXPECT_EQ(Lines(r.err), 1) << r.err;
  }
  EXPECT_EQ(Names(dir.dir()), (std::set<std::string>{"a.jww", "stderr.txt"}));
}

// Where an output cannot be made is told before anything is read (so before a long read and
// paint): here the inputs are missing too, and the output's folder is what is reported.
TEST(Outputs, TheOutputsFolderIsCheckedFirst) {
  jwwtest::TempDir dir;
  const std::string m = dir.path("missing.jww"), no = dir.path("no/");
  ASSERT_EQ(Jww("new " + dir.path("a.jww"), dir).status, 0);
  struct Case {
    bool list;
    std::string args;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {false, "convert " + m + " " + no + "x.pdf", 1, "jww: " + no + "x.pdf: cannot write the pdf file: No such file or directory\n"},
      {false, "convert " + m + " " + no + "x.jww", 1, "jww: " + no + "x.jww: cannot write a drawing: No such file or directory\n"},
      {false, "convert " + m + " " + dir.path("a.jww/x.png"), 1, "a.jww/x.png: cannot write the png file: Not a directory\n"},
      {false, "fill " + m + " " + dir.path("List.txt") + " " + no + "i.jww", 1, "jww: " + no + "i.jww: cannot write a drawing: No such file or directory\n"},
      {false, "diff " + m + " " + m + " -o " + no + "d.svg", 2, "jww: " + no + "d.svg: cannot write the svg file: No such file or directory\n"},
      {true, "--from " + dir.path("paths.txt") + " -o " + no + "List.txt", 1, "dravik-list: cannot write " + no + "List.txt: No such file or directory\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const jwwtest::ToolRun r = c.list ? List(c.args, dir) : Jww(c.args, dir);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_EQ(Lines(r.err), 1) << r.err;
  }
}

// An existing output that is a device is written in place, never replaced; one reached through a
// link is replaced where it lies, keeping the link and the file's mode; a name that is not UTF-8
// is read and written under its own bytes. The same for every format.
TEST(Outputs, DevicesLinksModesAndNameBytes) {
  jwwtest::TempDir dir;
  const std::string sj = dir.path("\x82\xa0.jww");  // Shift-JIS, not UTF-8
  ASSERT_EQ(Jww("new " + Q(sj), dir).status, 0);
  ASSERT_TRUE(fs::exists(sj));
  for (const std::string ext : {"jww", "dxf", "svg", "png", "pdf"}) {
    SCOPED_TRACE(ext);
    // The format comes from the extension: a link gives a device one.
    const std::string dev = dir.path("dev." + ext);
    fs::create_symlink("/dev/null", dev);
    jwwtest::ToolRun r = Jww("convert " + Q(sj) + " " + dev + " --dpi 10", dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(dev));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    const std::string real = dir.path("real." + ext), link = dir.path("link." + ext);
    jwwtest::Bytes().raw("old").WriteTo(real);
    ASSERT_EQ(::chmod(real.c_str(), 0600), 0);
    fs::create_symlink("real." + ext, link);
    r = Jww("convert " + Q(sj) + " " + link + " --dpi 10", dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_GT(Read(real).size(), 100u);
    struct stat st;
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    const std::string out = dir.path("out\xe9." + ext);
    r = Jww("convert " + Q(sj) + " " + Q(out) + " --dpi 10", dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_GT(Read(out).size(), 100u);
  }
  // A pipe as standard output ("; true" takes the redirections RunTool appends).
  Jww("convert --format jww " + Q(sj) + " /dev/stdout | head -c 8 >" + dir.path("head") + "; true", dir);
  EXPECT_EQ(Read(dir.path("head")), "JwwData.");
  for (const std::string& n : Names(dir.dir())) {
    EXPECT_EQ(n.find("\xef\xbf\xbd"), std::string::npos) << n;  // no name decoded as UTF-8
    EXPECT_EQ(n.find("dravik-tmp"), std::string::npos) << n;
  }
}
// Bound images go along whatever their names and whatever the temporary folder: a name longer
// than a file name may be, two images of one name (the first entry's bytes stay with it), and no
// usable TMPDIR at all.
TEST(Outputs, ConvertCarriesEveryImage) {
  jwwtest::TempDir dir;
  const std::u16string longName = std::u16string(309, u'n') + u".jpg";  // 313 bytes
  struct Case {
    std::string label;
    std::vector<Image> images;
    std::vector<Image> expected;
  };
  const Case cases[] = {
      {"plain", {{u"a.jpg", "jpeg bytes"}}, {{u"a.jpg", "jpeg bytes"}}},
      {"long name", {{longName, "long"}}, {{longName, "long"}}},
      {"same name twice", {{u"dup.png", "first"}, {u"dup.png", "second"}}, {{u"dup.png", "first"}}},
      {"packed and not", {{u"b.png.gz", std::string("\x1f\x8b", 2)}, {u"c.bmp", std::string(70000, 'c')}},
       {{u"b.png.gz", std::string("\x1f\x8b", 2)}, {u"c.bmp", std::string(70000, 'c')}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string in = dir.path("in.jww"), out = dir.path("out.jww");
    ImageDrawing(in, c.images);
    for (const std::string& tmp : {dir.path("missing"), std::string("/dev/full")}) {
      fs::remove(out);
      const jwwtest::ToolRun r = jwwtest::RunTool("TMPDIR=" + tmp + " " DRAVIK_JWW_TOOL, "convert " + in + " " + out, dir);
      ASSERT_EQ(r.status, 0) << r.err;
      jww::TJwwData d;
      d.BindImageKeep = true;
      ASSERT_TRUE(d.FileIn(jww::PathFromNative(out)));
      ASSERT_EQ(d.BindImageN, static_cast<jww::Integer>(c.expected.size()));
      for (size_t i = 0; i < c.expected.size(); ++i) {
        EXPECT_EQ(d.BindImage[i].Fname, c.expected[i].name);
        ASSERT_LT(i, d.BindImageData.size());
        ASSERT_TRUE(d.BindImageData[i]);
        EXPECT_EQ(*d.BindImageData[i], c.expected[i].bytes);
      }
    }
  }
}

// The list file never replaces a drawing or a file it lists, unless told to (exit 2, the file
// as it was).
TEST(Outputs, ListRefusesDrawingsAndItsInputs) {
  jwwtest::TempDir dir;
  const std::string a = dir.path("a.jww"), b = dir.path("b.jww"), notes = dir.path("notes.txt");
  ASSERT_EQ(Jww("new " + a, dir).status, 0);
  ASSERT_EQ(Jww("new " + b, dir).status, 0);
  ASSERT_EQ(::link(a.c_str(), dir.path("hard.lst").c_str()), 0);
  fs::create_symlink("notes.txt", dir.path("notes.lst"));
  struct Case {
    std::string args;
    int status;
    std::string reason;
    std::string file;  // refused: the file that must stay as it was; written: the list file
  };
  const Case cases[] = {
      {"-o " + a + " " + a, 2, "it is one of the drawings to list", a},
      {"-o " + a + " " + b, 2, "it is a JWW drawing", a},               // dravik-list -o *.jww
      {"-o " + dir.path("hard.lst") + " " + a, 2, "it is one of the drawings to list", a},
      {"-o " + dir.path("notes.lst") + " " + notes, 2, "it is one of the drawings to list", notes},
      {"-o " + notes + " " + a, 0, "", notes},
      {"-o " + dir.path("notes.lst") + " " + a, 0, "", notes},
      {"--force -o " + dir.path("hard.lst") + " " + a, 0, "", dir.path("hard.lst")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    jwwtest::Bytes().raw("notes").WriteTo(notes);
    const std::string before = Read(c.file);
    const jwwtest::ToolRun r = List(c.args, dir);
    EXPECT_EQ(r.status, c.status) << r.err;
    if (c.status) {
      EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
      EXPECT_EQ(Lines(r.err), 1);
      EXPECT_EQ(Read(c.file), before);
    } else {
      EXPECT_EQ(Read(c.file).substr(0, 4), "%%PA");
    }
  }
}

// A full disk: every writer fails with the system's reason, keeps the old file and leaves no
// temporary file. Needs a private tmpfs (a mount namespace of its own).
TEST(Outputs, FullDiskKeepsTheOldFile) {
  jwwtest::TempDir dir;
  const std::string a = dir.path("a.jww"), mnt = dir.path("mnt");
  ASSERT_EQ(Jww("new " + a, dir).status, 0);
  fs::create_directory(mnt);
  const std::string unshare = ::geteuid() == 0 ? "unshare -m" : "unshare -rm";
  if (std::system((unshare + " true 2>/dev/null").c_str()) != 0) GTEST_SKIP() << "no mount namespace here";
  const std::string script =
      "mount -t tmpfs -o size=128k tmpfs " + mnt + " || exit 3; cd " + mnt +
      "; for f in o.jww o.dxf o.svg o.pdf o.png l.txt; do printf old >$f; done"
      "; dd if=/dev/zero of=fill bs=4k 2>/dev/null"
      "; for f in o.jww o.dxf o.svg o.pdf o.png; do " DRAVIK_JWW_TOOL " convert " + a + " $f --dpi 30; echo \"$f $? $(cat $f)\"; done"
      "; " DRAVIK_LIST_TOOL " -n 1000 -o l.txt " + a + "; echo \"l.txt $? $(cat l.txt)\""
      "; echo left $(ls -A)";
  const jwwtest::ToolRun r =
      jwwtest::RunTool(unshare + " sh -c " + Q(script) + " >" + dir.path("result"), "", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string result = Read(dir.path("result"));
  for (const char* f : {"o.jww", "o.dxf", "o.svg", "o.pdf", "o.png", "l.txt"})
    EXPECT_NE(result.find(std::string(f) + " 1 old\n"), std::string::npos) << f << "\n" << result;
  EXPECT_NE(result.find("left fill l.txt o.dxf o.jww o.pdf o.png o.svg\n"), std::string::npos) << result;
  EXPECT_EQ(Lines(r.err), 6) << r.err;
  size_t full = 0;
  for (size_t at = 0; (at = r.err.find("No space left on device", at)) != std::string::npos; ++at) ++full;
  EXPECT_EQ(full, 5u) << r.err;
  EXPECT_NE(r.err.find("more than the 0 bytes free on the disk"), std::string::npos) << r.err;
}
#endif
