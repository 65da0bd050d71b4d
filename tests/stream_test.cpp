// File streams: the paths they open, and the buffer the last stream let go, which the next
// stream reads into.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>

#include "common/codepage.h"
#include "jww/header_glance.h"
#include "jww/list_memory.h"
#include "jww/stream.h"
#include "tests/entity_bytes.h"
#include "tests/jww_bytes.h"

namespace {

using jww::InStream;
using jww::TJwwData;

constexpr size_t kWhole = size_t{4} << 20;

std::string Pattern(size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed) >> 3);
  return s;
}

std::string ReadAll(InStream& s, size_t chunk) {
  std::string out;
  std::string buf(chunk, '\0');
  for (size_t got; (got = s.Read(buf.data(), chunk)) > 0;) out.append(buf, 0, got);
  return out;
}

// A stream takes the buffer a larger file's stream left, whose bytes past the new file's end are
// that file's. The new file is the larger one's start, so any byte read, shown or skipped past
// its end would look right: the stream must still end exactly where its file ends, read whole
// or through a smaller buffer. Two streams open at once never share the buffer.
TEST(InStreamBuffer, ABufferLeftByALargerFileShowsOnlyTheFilesOwnBytes) {
  jwwtest::TempDir dir;
  const std::string large = Pattern(200000, 7), head = large.substr(0, 30001), other = Pattern(20000, 3);
  auto write = [&](const std::string& name, const std::string& bytes) {
    jwwtest::Bytes b;
    b.raw(bytes.data(), bytes.size());
    return b.WriteTo(dir.path(name));
  };
  const auto largePath = write("large", large), headPath = write("head", head), otherPath = write("other", other);

  jww::ReleaseListMemory();
  const uint8_t* largeBuffer = nullptr;
  {
    auto s = InStream::OpenFile(largePath, 1 << 16, nullptr, kWhole);
    ASSERT_TRUE(s);
    largeBuffer = s->PeekInView(0);
    ASSERT_EQ(ReadAll(*s, 70000), large);
  }
  struct Case {
    size_t bufferLimit, wholeUpTo;
  };
  for (const Case c : {Case{1 << 16, kWhole}, Case{4096, 0}, Case{1 << 16, kWhole}}) {
    SCOPED_TRACE(c.bufferLimit);
    auto s = InStream::OpenFile(headPath, c.bufferLimit, nullptr, c.wholeUpTo);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->PeekInView(0), largeBuffer);  // the buffer is handed on from stream to stream
    char id[8];
    ASSERT_EQ(s->Read(id, sizeof id), sizeof id);
    EXPECT_EQ(s->InView(), c.wholeUpTo ? head.size() - 8 : 4096 - 8);
    EXPECT_EQ(s->RestInView() != nullptr, c.wholeUpTo != 0);
    EXPECT_EQ(std::string(id, 8) + ReadAll(*s, 999), head);
    EXPECT_EQ(s->Remaining(), 0u);
    EXPECT_EQ(s->Skip(1), 0u);
    EXPECT_EQ(s->PeekInView(1), nullptr);
  }
  auto a = InStream::OpenFile(headPath, 1 << 16, nullptr, kWhole);
  auto b = InStream::OpenFile(otherPath, 1 << 16, nullptr, kWhole);
  ASSERT_TRUE(a && b);
  EXPECT_NE(a->PeekInView(0), b->PeekInView(0));
  std::string gotA, gotB;
  char buf[1000];
  for (size_t n; (n = a->Read(buf, sizeof buf)) > 0;) {
    gotA.append(buf, n);
    gotB.append(buf, b->Read(buf, sizeof buf));
  }
  gotB += ReadAll(*b, 1000);
  EXPECT_EQ(gotA, head);
  EXPECT_EQ(gotB, other);
}

// A drawing cut short, read right after the whole drawing (whose bytes then follow the cut in the
// buffer), fails as it fails in a process that read nothing before; a drawing read after a larger
// one reads as it reads alone.
TEST(InStreamBuffer, ADrawingReadAfterALargerOneReadsAsAlone) {
  jwwtest::Bytes b;
  b.Header(600);
  jwwtest::StreamBytes sb(b, 600);
  constexpr uint32_t kLines = 2000;
  sb.Count(kLines);
  for (uint32_t i = 0; i < kLines; ++i) {
    jww::TEntJwwLine line;
    line.start_x = i;
    line.end_y = -1.0 * i;
    sb.Entity(line);
  }
  b.u16(0);
  jwwtest::TempDir dir;
  const auto whole = b.WriteTo(dir.path("whole.jww"));
  struct Result {
    bool ok;
    std::string message;
    uint64_t offset;
    jww::Integer lines;
    double lastX;
  };
  auto read = [](const std::u16string& path) {
    TJwwData d;
    const bool ok = d.FileIn(path);
    return Result{ok, d.LastError().message, d.LastError().offset, d.EntLineN,
                  d.EntLineN > 0 ? d.EntLine[d.EntLineN - 1].start_x : -1.0};
  };
  auto expectSame = [](const Result& x, const Result& y) {
    EXPECT_EQ(x.ok, y.ok);
    EXPECT_EQ(x.message, y.message);
    EXPECT_EQ(x.offset, y.offset);
    EXPECT_EQ(x.lines, y.lines);
    EXPECT_EQ(x.lastX, y.lastX);
  };
  for (size_t cut : {b.size() - 1, b.size() - 40, b.size() / 2, size_t{20000}}) {
    SCOPED_TRACE(cut);
    jwwtest::Bytes part;
    part.raw(b.data().data(), cut);
    const auto path = part.WriteTo(dir.path("cut.jww"));
    jww::ReleaseListMemory();
    const Result alone = read(path);
    EXPECT_FALSE(alone.ok);
    ASSERT_TRUE(read(whole).ok);
    expectSame(read(path), alone);
  }
  jwwtest::Bytes small;
  small.Header(600);
  jwwtest::StreamBytes(small, 600).Count(1).Entity(jww::TEntJwwLine{});
  small.u16(0);
  small.fill(20000, 0);  // large enough to be read into a kept buffer
  const auto smallPath = small.WriteTo(dir.path("small.jww"));
  jww::ReleaseListMemory();
  const Result alone = read(smallPath);
  ASSERT_TRUE(read(whole).ok);
  expectSame(read(smallPath), alone);
}

// A path reaches the file system as the same bytes however it is written: plain ASCII (made in
// place up to 511 characters, at 512 and beyond as any other path), Japanese, or holding a byte
// that is no UTF-8 (carried as its escape character). Every way of opening a drawing finds it.
TEST(InStreamOpen, EveryFormOfPathOpensItsFile) {
  jwwtest::TempDir dir;
  const std::string deep = dir.path(std::string(200, 'a')) + "/" + std::string(200, 'b');
  ASSERT_EQ(::mkdir(dir.path(std::string(200, 'a')).c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(deep.c_str(), 0700), 0);
  auto ofLength = [&](size_t n) {
    const size_t name = n - deep.size() - 1;
    return deep + "/" + std::string(name - 4, 'c') + ".jww";
  };
  jwwtest::Bytes b;
  b.Header(600);
  jwwtest::StreamBytes(b, 600).Count(1).Entity(jww::TEntJwwLine{});
  b.u16(0);
  jww::HeaderGlance glance;
  for (const std::string& native : {dir.path("plain.jww"), ofLength(510), ofLength(511), ofLength(512),
                                    ofLength(513), dir.path("\xE5\x9B\xB3\xE9\x9D\xA2.jww"),
                                    dir.path("bad\xFF\x80.jww")}) {
    SCOPED_TRACE(native.size());
    b.WriteTo(native);
    const std::u16string path = jww::PathFromNative(native);
    TJwwData d;
    EXPECT_TRUE(d.FileCheck(path));
    EXPECT_TRUE(d.FileHeaderIn(path));
    EXPECT_TRUE(d.FilePrevIn(path, 10));
    ASSERT_TRUE(d.FileIn(path)) << d.LastError().message;
    EXPECT_EQ(d.EntLineN, 1);
    EXPECT_TRUE(glance.Glance(path).drawing);
    const char* why = nullptr;
    EXPECT_FALSE(InStream().Open(path + u"x", 1 << 16, &why));
    EXPECT_STREQ(why, jww::kCannotOpen);
  }
}

}  // namespace
