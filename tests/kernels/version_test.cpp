// The version the library and its generated header report, against the one
// CMake's project(VERSION) sets (passed in as LAMINA_EXPECTED_VERSION).
#include <gtest/gtest.h>
#include <lamina/version.h>

#include <string>

namespace {

TEST(Version, LibraryReportsTheProjectVersion) {
  EXPECT_STREQ(lamina::version(), LAMINA_EXPECTED_VERSION);
  EXPECT_STREQ(lamina::version(), LAMINA_VERSION_STRING);
}

TEST(Version, NumbersSpellTheString) {
  const std::string parts = std::to_string(LAMINA_VERSION_MAJOR) + "." +
                            std::to_string(LAMINA_VERSION_MINOR) + "." +
                            std::to_string(LAMINA_VERSION_PATCH);
  EXPECT_EQ(parts, LAMINA_VERSION_STRING);
}

TEST(Version, NumberOrdersVersions) {
  EXPECT_EQ(LAMINA_VERSION_CODE, LAMINA_VERSION_NUMBER(LAMINA_VERSION_MAJOR, LAMINA_VERSION_MINOR,
                                                       LAMINA_VERSION_PATCH));
  EXPECT_LT(LAMINA_VERSION_NUMBER(0, 1, 9), LAMINA_VERSION_NUMBER(0, 2, 0));
  EXPECT_LT(LAMINA_VERSION_NUMBER(0, 99, 99), LAMINA_VERSION_NUMBER(1, 0, 0));
  EXPECT_GE(LAMINA_VERSION_CODE, LAMINA_VERSION_NUMBER(0, 2, 0));
}

}  // namespace
