#include <gtest/gtest.h>

#include "tests/jww_bytes.h"

TEST(Smoke, BuiltHeaderReadsBack) {
  jwwtest::TempDir dir;
  auto path = jwwtest::Bytes().Header(700).WriteTo(dir.path("a.jww"));
  jww::TJwwData d;
  EXPECT_TRUE(d.FileHeaderIn(path));
  EXPECT_EQ(d.Enthd.jwVer, 700);
}
