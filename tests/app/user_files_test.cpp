// Where flights and screenshots go: the XDG directories, their fallbacks,
// and dated names that never replace a file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "app/user_files.h"
#include "foundation/files.h"

namespace {

TEST(UserFiles, XdgDirectoriesFallBackToHomeAndDatedNamesDoNotCollide) {
  setenv("HOME", "/home/pilot", 1);
  setenv("XDG_DATA_HOME", "relative/ignored", 1);  // not absolute: the rule says ignore it
  unsetenv("XDG_PICTURES_DIR");
  EXPECT_EQ(FlightsDirectory(), "/home/pilot/.local/share/tarnsim/flights");
  EXPECT_EQ(ScreenshotsDirectory(), "/home/pilot/Pictures/tarnsim");
  setenv("XDG_DATA_HOME", "/data", 1);
  setenv("XDG_PICTURES_DIR", "/pics", 1);
  EXPECT_EQ(FlightsDirectory(), "/data/tarnsim/flights");
  EXPECT_EQ(ScreenshotsDirectory(), "/pics/tarnsim");

  std::string dir = ::testing::TempDir() + "user_files/a/b";
  std::string reason;
  ASSERT_TRUE(MakePrivateFolders(dir, reason)) << reason;
  EXPECT_TRUE(MakePrivateFolders(dir, reason));  // already there
  std::string first = DatedPath(dir, "flight", ".tarnflight");
  EXPECT_EQ(first.rfind(dir + "/flight-20", 0), 0u) << first;
  std::ofstream(first) << "x";
  std::string second = DatedPath(dir, "flight", ".tarnflight");
  // Within the same second "-2" goes before the extension.
  std::string stem = first.substr(0, first.size() - 11);
  EXPECT_TRUE(second == stem + "-2.tarnflight" || (second != first && second.rfind(stem, 0) != 0)) << second;
  std::remove(first.c_str());
  std::ofstream(dir + "/file") << "x";
  EXPECT_FALSE(MakePrivateFolders(dir + "/file/c", reason));
  EXPECT_EQ(reason, "ERROR_PATH_NOT_FOUND: a part of the path is not a folder");
}

}  // namespace
