#include <gtest/gtest.h>
#include "jww/JwwUnit.h"
TEST(Smoke, NewDocumentIsEmpty) { jww::TJwwData d; EXPECT_EQ(d.Enthd.jwVer, 0); }
