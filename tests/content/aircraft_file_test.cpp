// The aircraft file: the written defaults read back exactly and document
// every value; bad files cost only what is wrong, with a line naming the
// file, the line, the rule and the range; the default values generate the
// very model the content builder has always written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "content/aircraft_file.h"
#include "content/builders.h"

namespace {

using content::AircraftParams;

std::string Joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

TEST(AircraftFile, WrittenFileReadsBackExactlyAndDocumentsEveryValue) {
  AircraftParams changed;
  changed.finHeight = 0.1 + 0.2;  // no short decimal: needs all 17 digits
  changed.ballastCopies = 5;
  changed.beatPoweredRate = 2.7;
  changed.startHeading = -1e-7;
  const std::string text = content::AircraftText(changed);
  AircraftParams read;
  std::vector<std::string> problems;
  EXPECT_TRUE(content::ParseAircraft(text, "t.ini", read, problems)) << Joined(problems);
  EXPECT_TRUE(read == changed);
  EXPECT_EQ(content::AircraftChanges(AircraftParams(), read).size(), 4u);

  // Every value line carries its unit or range and what it does.
  std::istringstream lines(content::AircraftText(AircraftParams()));
  std::string line;
  int values = 0;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#' || line[0] == '[') continue;
    values++;
    size_t comment = line.find(" ; ");
    ASSERT_NE(comment, std::string::npos) << line;
    EXPECT_NE(line.find(" to ", comment), std::string::npos) << line;
    EXPECT_GT(line.size() - line.find(": ", comment), 8u) << line;
  }
  EXPECT_GT(values, 150);
}

TEST(AircraftFile, BadValuesKeepTheirDefaultsWithALineEach) {
  const std::string text =
      "[fin]\n"
      "height = 2.5\n"
      "hieght = 3\n"           // line 3: misspelt
      "mass = -4\n"            // line 4: out of range
      "leading_y = fast\n"     // line 5: not a number
      "[balloon]\n"
      "proxy_rings = 3.5\n"    // line 7: not whole
      "radius = nan\n"         // line 8
      "[wings]\n"
      "tip_x = 5\n";           // line 10: unknown section
  AircraftParams p;
  std::vector<std::string> problems;
  EXPECT_FALSE(content::ParseAircraft(text, "a.ini", p, problems));
  ASSERT_EQ(problems.size(), 6u) << Joined(problems);
  EXPECT_EQ(problems[0], "a.ini:3: unknown key fin.hieght (did you mean fin.height?)");
  EXPECT_EQ(problems[1], "a.ini:4: fin.mass: -4 is outside 0.1 to 100000 kg; it stays 40");
  EXPECT_NE(problems[2].find("a.ini:5: fin.leading_y: \"fast\" is not a finite number"), std::string::npos);
  EXPECT_NE(problems[3].find("a.ini:7: balloon.proxy_rings: \"3.5\" is not a whole number"), std::string::npos);
  EXPECT_NE(problems[4].find("a.ini:8: balloon.radius"), std::string::npos);
  EXPECT_EQ(problems[5], "a.ini:10: unknown key wings.tip_x (did you mean wing.tip_x?)");
  EXPECT_EQ(p.finHeight, 2.5);  // the good line counts
  AircraftParams expected;
  expected.finHeight = 2.5;
  EXPECT_TRUE(p == expected);
}

TEST(AircraftFile, ValuesThatCannotBeBuiltLeaveTheAircraftAsItWas) {
  AircraftParams p;
  p.finHeight = 1.0;
  std::vector<std::string> problems;
  // Each value is in range, together they are not a wing; the fin leaves its boom.
  EXPECT_FALSE(content::ParseAircraft("[wing]\nbreak_x = 5\n[fin]\ntrailing_y = -4.5\nheight = 2\n", "b.ini", p,
                                      problems));
  ASSERT_EQ(problems.size(), 2u) << Joined(problems);
  EXPECT_EQ(problems[0], "b.ini: the wing must run root_x < break_x < tip_x");
  EXPECT_NE(problems[1].find("fin must stand on the tail boom"), std::string::npos);
  EXPECT_NE(problems[1].find("the aircraft stays as it was"), std::string::npos);
  EXPECT_EQ(p.finHeight, 1.0);
  EXPECT_EQ(p.wingBreakX, 2.0);

  // Limits in order, and the held angle between them.
  problems.clear();
  EXPECT_FALSE(content::SetAircraftValue("legs.knee_angle=70", p, problems));
  EXPECT_NE(Joined(problems).find("knee_min <= knee_angle <= knee_max"), std::string::npos);
  EXPECT_EQ(p.kneeAngle, -25);
  problems.clear();
  EXPECT_TRUE(content::SetAircraftValue(" beat.powered_rate = 2.5 ", p, problems));
  EXPECT_EQ(p.beatPoweredRate, 2.5);
  EXPECT_FALSE(content::SetAircraftValue("beat=2", p, problems));
  EXPECT_FALSE(content::SetAircraftValue("beat.powered_rate=1e999", p, problems));
  EXPECT_EQ(p.beatPoweredRate, 2.5);
}

TEST(AircraftFile, HostileFilesAreRefusedWhole) {
  const std::string dir = ::testing::TempDir() + "aircraft_file_" + std::to_string(::getpid());
  std::filesystem::create_directories(dir + "/folder.ini");
  {
    std::ofstream(dir + "/binary.ini", std::ios::binary) << std::string("[fin]\nheight = 2\n\0\x01\xff", 20);
    std::ofstream huge(dir + "/huge.ini", std::ios::binary);
    huge << "[fin]\n" << std::string(64 * 1024, '#') << "\n";
  }
  for (const char* name : {"binary.ini", "folder.ini", "huge.ini", "missing.ini"}) {
    AircraftParams p;
    std::vector<std::string> problems;
    EXPECT_FALSE(content::ReadAircraftFile(dir + "/" + name, p, problems)) << name;
    ASSERT_EQ(problems.size(), 1u) << name;
    EXPECT_EQ(problems[0].rfind(dir + "/" + name + ": ", 0), 0u) << problems[0];
    EXPECT_TRUE(p == AircraftParams()) << name;
  }
  // Absurd sizes that would make millions of triangles are out of range.
  AircraftParams p;
  std::vector<std::string> problems;
  EXPECT_FALSE(content::SetAircraftValue("balloon.proxy_segments=100000", p, problems));
  std::filesystem::remove_all(dir);
}

TEST(AircraftFile, ShippedVariantsReadCleanly) {
  for (const char* name : {"SmallFin.ini", "Glider.ini"}) {
    AircraftParams p;
    std::vector<std::string> problems;
    EXPECT_TRUE(content::ReadAircraftFile(TARN_SOURCE_DIR "/content/aircraft/" + std::string(name), p, problems))
        << Joined(problems);
    EXPECT_FALSE(p == AircraftParams()) << name;
  }
}

TEST(AircraftFile, DefaultValuesGenerateTheShippedModel) {
  // FNV-1a of the raw model the content builder has always written.
  std::vector<uint8_t> bytes;
  content::WriteRawModel(content::BuildPlaneModel(AircraftParams()), bytes);
  uint64_t h = 0xcbf29ce484222325ull;
  for (uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ull;
  EXPECT_EQ(bytes.size(), 443825u);
  EXPECT_EQ(h, 0xb51368d7356bebb0ull);
  EXPECT_EQ(content::AircraftHash(AircraftParams()), content::AircraftHash(AircraftParams()));
  AircraftParams other;
  other.finHeight = 1.2;
  EXPECT_NE(content::AircraftHash(other), content::AircraftHash(AircraftParams()));
  EXPECT_EQ(content::AircraftDifferences(AircraftParams(), other),
            std::vector<std::string>{"fin.height: 1.5 -> 1.2"});
}

}  // namespace
