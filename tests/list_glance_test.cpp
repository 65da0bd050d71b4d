// The list's one-open glance at a drawing gives what FileDateSize, FileCheck and FileHeaderIn give:
// headers accepted and refused at the same byte, and the same rows for every kind of path.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cmath>
#include <map>

#include "jww/header_glance.h"
#include "jww/stream.h"
#include "list/ListFile.h"
#include "tests/jww_bytes.h"

using jwwtest::Bytes;

namespace {

// Header rows with every name and the memo in the Unicode string form.
class UnicodeNamesIO : public jwwtest::HeaderBytesIO {
 public:
  explicit UnicodeNamesIO(Bytes& b) : HeaderBytesIO(b), b_(b) {}
  void Str(const std::u16string& v, jww::StrKind) { b_.ustr(v); }
  void ColorExPass2(const jww::TEntJwwColorExNo& c, int) {
    b_.ustr(c.astrUDColorName).i32(c.aPrtPenColor).i32(c.anPrtPenWidth).f64(c.adPrtTenHankei);
  }
  void LineTypeExPass2(const jww::TEntJwwLineTypeExNo& t, int) {
    b_.ustr(t.astrUDLTypeName).i32(t.anUDLTypeSegment);
    for (double p : t.aadUDLTypePitch) b_.f64(p);
  }

 private:
  Bytes& b_;
};

// A header with a two-line memo, a paper code, distinct scales and names of every length form
// (empty, short, 255 bytes and more); `nameLength` sets the long names' length.
jww::TJwwData Doc(size_t nameLength = 300) {
  jww::TJwwData d;
  Bytes::SizeTables(d);
  d.Enthd.strMemo = u"一階平面図\r\n縮尺 1/100";
  d.Enthd.nZumen = 12;
  for (int g = 0; g < 16; ++g) {
    d.EntLgrp[g].adScale = 1 + g * 25;
    d.EntLgrp[g].aStrGLayName = g % 2 ? u"グループ" : u"";
  }
  for (int i = 0; i < 256; ++i)
    d.EntLay[i].aStrLayName = i % 37 == 0 ? std::u16string(nameLength, u'L') : i % 3 ? u"" : u"通り芯";
  for (int i = 0; i < 257; ++i) d.EntColS[i].astrUDColorName = i % 100 == 0 ? std::u16string(nameLength, u'C') : u"c";
  for (int i = 0; i < 33; ++i) d.EntLtpS[i].astrUDLTypeName = u"線種";
  return d;
}

std::string UnicodeHeader(const jww::TJwwData& d, int ver) {
  Bytes b;
  b.raw("JwwData.").i32(ver);
  UnicodeNamesIO io(b);
  jww::HeaderRows(io, d, ver);
  return b.data();
}

// Key -> value of the lines (keys are unique in a list file).
std::map<std::u16string, std::u16string> Values(const std::vector<std::u16string>& lines) {
  std::map<std::u16string, std::u16string> m;
  for (const auto& l : lines) {
    const size_t tab = l.find(u'\t');
    if (tab != std::u16string::npos) m[l.substr(0, tab)] = l.substr(tab + 1);
  }
  return m;
}

// The rows of slot `slot` as the separate calls give them: FileDateSize for the file system's
// facts, FileCheck and FileHeaderIn for the drawing's.
std::map<std::u16string, std::u16string> SeparateReads(const std::u16string& path, int slot) {
  const jww::TRegional r;
  const std::u16string k = u"%%" + jww::Utf8ToStr(std::to_string(slot));
  std::map<std::u16string, std::u16string> m;
  const jww::TFileDateSize ds = jww::FileDateSize(path);
  m[k + u"D"] = dravik::DateText(ds.time, r);
  m[k + u"T"] = dravik::TimeText(ds.time, r);
  m[k + u"J"] = dravik::EraDateText(ds.time);
  m[k + u"SZ"] = jww::FormatThousands(ds.size, r.thousandSep);
  jww::TJwwData d;
  const bool drawing = d.FileCheck(path) && d.FileHeaderIn(path);
  const std::u16string memo = drawing ? d.Enthd.strMemo : u"";
  const size_t br = memo.find(u"\r\n");
  const std::u16string m1 = memo.substr(0, br), m2 = br == std::u16string::npos ? u"" : memo.substr(br + 2);
  m[k + u"m1"] = m1.empty() ? u" " : m1;
  m[k + u"m2"] = m2.empty() ? u" " : m2;
  m[k + u"p"] = drawing ? dravik::PaperLabel(d.Enthd.nZumen) : u" ";
  const char16_t* hex = u"0123456789abcdef";
  for (int g = 0; g < 16; ++g)
    m[k + u"SS" + hex[g]] = drawing ? dravik::ScaleText(d.EntLgrp[g].adScale, r) : u" ";
  return m;
}

}  // namespace

TEST(ListGlance, HeaderAcceptedAndReadAsHeaderInAtEveryLength) {
  const jww::TJwwData doc = Doc();
  const std::vector<std::pair<std::string, std::string>> headers = {
      {"220", Bytes().Header(doc, 220).data()},
      {"420", Bytes().Header(doc, 420).data()},
      {"700 with entities after it", Bytes().Header(doc, 700).fill(100, 0xFF).data()},
      {"600, Unicode strings", UnicodeHeader(doc, 600)},
      {"600, Unicode names of 255 units and more", UnicodeHeader(Doc(255), 600)},
  };
  jww::HeaderGlance glance;
  jww::TJwwData d;
  for (const auto& [name, whole] : headers) {
    SCOPED_TRACE(name);
    std::string bytes = whole;
    int accepted = 0;
    auto same = [&](size_t size) {
      jww::InStream a(bytes.data(), size), b(bytes.data(), size);
      jww::TDrawingGlance g;
      const bool glanced = glance.HeaderOf(a, g);
      ASSERT_EQ(glanced, d.HeaderIn(b)) << "size " << size;
      if (!glanced) return;
      ++accepted;
      ASSERT_EQ(a.Position(), b.Position()) << "size " << size;
      ASSERT_EQ(g.memo, d.Enthd.strMemo);
      ASSERT_EQ(g.nZumen, d.Enthd.nZumen);
      for (int k = 0; k < 16; ++k) ASSERT_EQ(g.scales[k], d.EntLgrp[k].adScale) << k;
    };
    // Prefixes: the first 64 lengths, then every 17th (through every kind of field and string),
    // then the last 64.
    for (size_t n = 0; n <= bytes.size(); n += n < 64 || n + 64 >= bytes.size() ? 1 : 17) same(n);
    // The whole header with one byte made 0xFF: long lengths, half a Unicode marker, a version out
    // of range, a memo or name swallowing what follows.
    for (size_t at = 0; at < bytes.size(); at += 13) {
      bytes[at] = '\xFF';
      same(bytes.size());
      bytes[at] = whole[at];
    }
    EXPECT_GT(accepted, 1);
  }
}

TEST(ListGlance, ListRowsAsTheSeparateReadsGiveThem) {
  jwwtest::TempDir dir;
  const std::string good = Bytes().Header(Doc(), 600).data();
  // Names long enough that the header goes on past the first 64 KiB of the file.
  const std::string large = Bytes().Header(Doc(9000), 700).fill(5000, 0).data();
  ASSERT_GT(large.size(), 70000u);
  jww::TJwwData rescaled = Doc();  // scales that differ from the slot before in some groups
  rescaled.EntLgrp[3].adScale = 0.5;
  rescaled.EntLgrp[5].adScale = std::nan("");
  std::vector<std::pair<std::string, std::string>> files = {
      {"v220.jww", Bytes().Header(Doc(), 220).data()},
      {"rescaled.jww", Bytes().Header(rescaled, 420).data()},
      {"v600.jww", good},
      {"unicode.jww", UnicodeHeader(Doc(), 600)},
      {"cut-version.jww", good.substr(0, 10)},
      {"cut-middle.jww", good.substr(0, good.size() / 2)},
      {"cut-before-last-value.jww", good.substr(0, good.size() - 8)},
      {"last-value-partly.jww", good.substr(0, good.size() - 7)},
      {"large.jww", large},
      {"large-cut-past-64k.jww", large.substr(0, 70000)},
      {"large-cut-within-64k.jww", large.substr(0, 60000)},
      {"foreign.jww", std::string(100000, 'x')},
      {"empty.jww", ""},
  };
  std::vector<std::u16string> paths;
  for (const auto& [name, bytes] : files) paths.push_back(Bytes().raw(bytes).WriteTo(dir.path(name)));
  paths.push_back(jww::Utf8ToStr(dir.path("missing.jww")));
  const std::string folder = dir.path("folder.jww"), fifo = dir.path("pipe.jww");
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  paths.push_back(jww::Utf8ToStr(folder));
  paths.push_back(jww::Utf8ToStr(fifo));
  // A socket exists but cannot be opened: its date comes from stat alone.
  const std::string sock = dir.path("socket.jww");
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(sock.size(), sizeof addr.sun_path);
  std::copy(sock.begin(), sock.end(), addr.sun_path);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  paths.push_back(jww::Utf8ToStr(sock));
  if (::geteuid() != 0) {  // root opens anything
    paths.push_back(Bytes().raw(good).WriteTo(dir.path("unreadable.jww")));
    ::chmod(dir.path("unreadable.jww").c_str(), 0);
  }

  jww::TJwwData doc;
  Bytes::SizeTables(doc);
  const auto lines = dravik::ListFileLines(paths, 0, doc, jww::TRegional{});
  ::close(fd);
  EXPECT_TRUE(doc.EntLay.empty());  // the document is left empty
  const auto got = Values(lines);
  int drawings = 0;
  for (size_t i = 0; i < paths.size(); ++i) {
    SCOPED_TRACE(jww::StrToUtf8(paths[i]));
    const std::u16string slot = u"%%" + jww::Utf8ToStr(std::to_string(i + 1));
    for (const auto& [key, value] : SeparateReads(paths[i], static_cast<int>(i) + 1))
      EXPECT_EQ(got.at(key), value) << jww::StrToUtf8(key);
    drawings += got.at(slot + u"SS1") != u" ";
  }
  // Four whole headers, the one lacking only part of its last value, and the large one.
  EXPECT_EQ(drawings, 6);
}
