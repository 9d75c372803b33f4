// Where flights and screenshots go: the XDG directories, their fallbacks,
// and dated names that never replace a file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

// A desktop's localised Pictures folder, as xdg-user-dirs writes it; lines a
// shell would expand, or that are not the convention's two forms, are passed
// over and the folder falls back to ~/Pictures.
TEST(UserFiles, PicturesFolderFromUserDirsFileAndItsBadLines) {
  std::string config = ::testing::TempDir() + "user_dirs_config";
  std::filesystem::remove_all(config);  // a run before may have left a folder in the file's place
  ASSERT_TRUE(std::filesystem::create_directories(config));
  setenv("HOME", "/home/pilot", 1);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  unsetenv("XDG_PICTURES_DIR");
  auto with = [&](const std::string& text) {
    std::ofstream(config + "/user-dirs.dirs", std::ios::binary | std::ios::trunc) << text;
    return ScreenshotsDirectory();
  };
  const std::string fallback = "/home/pilot/Pictures/tarnsim";
  EXPECT_EQ(with("# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                 "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n"),
            "/home/pilot/Bilder/tarnsim");
  EXPECT_EQ(with("  XDG_PICTURES_DIR = \"/srv/photos/\"  # shared\r\n"), "/srv/photos/tarnsim");
  EXPECT_EQ(with("XDG_PICTURES_DIR=\"$HOME/My \\\"Pics\\\\\"\n"), "/home/pilot/My \"Pics\\/tarnsim");
  // The last usable line wins, as when a shell reads the file.
  EXPECT_EQ(with("XDG_PICTURES_DIR=\"/a\"\nXDG_PICTURES_DIR=\"$USER/b\"\nXDG_PICTURES_DIR=\"/c\"\n"),
            "/c/tarnsim");
  for (const char* bad : {
           "XDG_PICTURES_DIR=\"$HOME\"\n",             // the home folder: "no Pictures folder"
           "XDG_PICTURES_DIR=\"$HOME/\"\n",
           "XDG_PICTURES_DIR=\"Pictures\"\n",          // relative
           "XDG_PICTURES_DIR=$HOME/Pictures\n",        // unquoted
           "XDG_PICTURES_DIR=\"$HOME/Pictures\n",       // no closing quote
           "XDG_PICTURES_DIR=\"$(rm -rf ~)\"\n",
           "XDG_PICTURES_DIR=\"/tmp/`id`\"\n",
           "XDG_PICTURES_DIR=\"$HOME/${USER}\"\n",
           "XDG_PICTURES_DIR=\"$HOMEDIR/x\"\n",
           "XDG_PICTURES_DIR=\"/a\"; rm -rf /\n",       // more after the value
           "XDG_PICTURES_DIRX=\"/a\"\n",
           "# XDG_PICTURES_DIR=\"/a\"\n",
           "XDG_PICTURES_DIR=\"/a\x01b\"\n",
           "\xff\xfe\0\0garbage",
       })
    EXPECT_EQ(with(bad), fallback) << bad;
  EXPECT_EQ(with("XDG_PICTURES_DIR=\"/" + std::string(5000, 'x') + "\"\n"), fallback);
  EXPECT_EQ(with(std::string(20000, '#') + "\nXDG_PICTURES_DIR=\"/a\"\n"), fallback);  // too large
  // The variable wins over the file; a folder in place of the file is ignored.
  with("XDG_PICTURES_DIR=\"/from/file\"\n");
  setenv("XDG_PICTURES_DIR", "/from/env", 1);
  EXPECT_EQ(ScreenshotsDirectory(), "/from/env/tarnsim");
  unsetenv("XDG_PICTURES_DIR");
  std::remove((config + "/user-dirs.dirs").c_str());
  ASSERT_TRUE(std::filesystem::create_directories(config + "/user-dirs.dirs"));
  EXPECT_EQ(ScreenshotsDirectory(), fallback);
  unsetenv("XDG_CONFIG_HOME");
  std::filesystem::remove_all(config);
}

}  // namespace
