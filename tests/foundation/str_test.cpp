#include "foundation/str.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "foundation/log.h"
#include "tests/temp_dir.h"

namespace {

// The tokens of `text` (or its words with `words`), each followed by '|'.
std::string Split(const char* text, bool words = false) {
  MEM buffer;
  buffer.Put_bytes(text, uint32_t(std::strlen(text)));
  buffer.pos = 0;
  String all(text), t;
  std::string out;
  for (uint32_t pos = 0; out.size() < 1000; out += std::string(t.c_str()) + "|") {
    t = words ? NextWord(all, pos) : NextToken(buffer);
    if (t.length() == 0) break;
  }
  return out;
}

TEST(Str, SelfAssignmentAndOverlongSubstringsStayTerminated) {
  String c("longer text");
  EXPECT_TRUE(String("abc") != String("abcd"));
  c = "x";
  c = c.c_str();  // assigning its own text
  EXPECT_STREQ(c.c_str(), "x");
  EXPECT_EQ(c.size, 2u);
  // A substring longer than the source copies what there is, terminated.
  String t = Substring(String("/c"), 4);
  EXPECT_EQ(t.size, 4u);
  EXPECT_EQ(t.data[0], 0);
  EXPECT_STREQ(Substring(String("/c body"), 5).c_str(), "body");  // size less the "/c "
}

TEST(Str, WordsSplitAtSeparatorsTokensSkipCommentsAndKeepQuotes) {
  EXPECT_EQ(Split("  alpha=beta,\tb\r\nc", true), "alpha|beta|b|c|");
  String s("one two");
  uint32_t pos = 0;
  NextWord(s, pos);
  EXPECT_EQ(pos, 4u);  // just past the separator that ended the word
  pos = 1000;
  EXPECT_EQ(NextWord(s, pos).size, 1u);

  EXPECT_EQ(Split("Size 12 // note\nStep 3"), "Size|12|Step|3|");
  EXPECT_EQ(Split("\"two words\" ab/*x*/cd a/b x=1,y"), "two words|abcd|a/b|x|1|y|");
  // Unterminated comment and quote: what was gathered, then the end.
  EXPECT_EQ(Split("ab/* never closed"), "ab|");
  EXPECT_EQ(Split("\"open quote"), "open quote|");
  EXPECT_EQ(Split("a/*/"), "a|");
  // An empty quoted string reads as the end of the input.
  EXPECT_EQ(Split("\"\" after"), "");
}

TEST(Str, NumbersParseTheDesignsWayAndReportBadText) {
  bool ok = false;
  EXPECT_EQ(String("-12.50").todouble(&ok), -12.5);
  EXPECT_TRUE(ok);
  EXPECT_EQ(String("1.2.5").todouble(), 12.5);  // the last point sets the scale
  // Repeated division by ten, not multiplication by 0.1.
  EXPECT_EQ(String("1.23").todouble(), 123.0 / 10.0 / 10.0);
  EXPECT_EQ(String("-42").toint(), -42);
  EXPECT_EQ(String("4294967297").toint(), 1);  // wraps, no overflow check
  double v[2] = {9, 9};
  String("1 = 2").toVEC2(v, &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(v[1], 2.0);
  String("5").toVEC2(v, &ok);
  EXPECT_EQ(v[1], 0.0);
  LogCapture log;
  EXPECT_EQ(String("1e3").todouble(&ok), 0.0);
  EXPECT_FALSE(ok);
  EXPECT_EQ(String("12a").toint(&ok), 0);
  EXPECT_FALSE(ok);
  String("1 2 ").toVEC2(v, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(v[0], 0.0);
  String("x 2").toVEC2(v, &ok);
  EXPECT_EQ(log.text(),
            "String->todouble error! \"1e3\"\n"
            "String->toint error! \"12a\", 2\n"
            "String->toVEC2 error! \"1 2 \" 4\n"
            "String->todouble error! \"x\"\n"
            "String->toVEC2 error! \"x 2\" 4\n");
}

TEST(Str, RandomTextNeverCrashesTheReaders) {
  // Random bytes, embedded NULs included, through every text reader; the
  // sanitizer build turns any read past a buffer into a failure. The
  // tokenizer must stop at size and always advance.
  std::srand(99);
  const char alphabet[] = "0123456789.-, =\t\n/*\"ab";
  LogCapture quiet;
  int failed = 0;
  for (int round = 0; round < 500; round++) {
    String s;
    uint32_t n = uint32_t(std::rand() % 12);
    s.Resize(n + 1);
    for (uint32_t i = 0; i < n; i++) s.data[i] = uint8_t(alphabet[std::rand() % (sizeof alphabet - 1)]);
    if (round % 7 == 0 && n) s.data[std::rand() % n] = 0;
    if (round % 11 == 0) s.Resize(n);  // text without its NUL
    bool ok;
    double v[2];
    s.todouble(&ok);
    failed += !ok;
    s.toint(&ok), s.toVEC2(v, &ok);
    s.pos = 0;
    for (int steps = 0; s.pos < s.size && steps < 100; steps++) {
      uint32_t before = s.pos;
      NextToken(s);
      ASSERT_GT(s.pos, before);
    }
    EXPECT_LE(s.pos, s.size);
    uint32_t pos = 0;
    for (int w = 0; w < 20 && NextWord(s, pos).length(); w++) continue;
    EXPECT_LE(pos, s.size);
    s.pos = 0;
    String t;
    while (s.pos < s.size) s.Get_string(t);
    EXPECT_EQ(t.data[t.size - 1], 0);
    s.pos = uint32_t(std::rand() % (n + 2));
    s.Get_uint32(), s.Get_VEC3F(), s.Get_QUATF();
    EXPECT_LE(s.pos, s.size + 1);
  }
  EXPECT_GT(failed, 50) << "the mix holds bad numbers";
  EXPECT_LT(failed, 450) << "and good ones";
}

// Saving replaces a file, and each console line of the file helpers once.
TEST(Files, SaveReplacesAndEveryFailureLineAppears) {
  std::string dir = MakeTempDir("tarn_files_"), name = dir + "/data.bin", empty = dir + "/empty";
  ASSERT_FALSE(dir.empty());
  MEM out, in;
  out.Put_string("longer text");
  SaveFile(name.c_str(), out);
  out.Resize(0);
  out.Put_string("ab");
  SaveFile(name.c_str(), out);  // replaces the file rather than appending
  EXPECT_TRUE(FileExists(name.c_str()));
  LogCapture log;
  LoadFile(name.c_str(), in);
  ASSERT_EQ(in.size, 3u);
  EXPECT_STREQ(reinterpret_cast<char*>(in.data), "ab");
  EXPECT_EQ(log.text(), "");

  SaveFile(empty.c_str(), MEM());
  LoadFile(empty.c_str(), in);
  EXPECT_EQ(in.size, 0u);
  LoadFile("x", in);
  LoadFile(dir.c_str(), in);  // a directory is not a file
  EXPECT_FALSE(FileExists(dir.c_str()));
  SaveFile((dir + "/missing/out.bin").c_str(), in);
  SaveFile((empty + "/out.bin").c_str(), in);  // a path through a plain file
#ifdef _WIN32
  const char* missingFolder = "ERROR_PATH_NOT_FOUND";  // Windows names the folder that is missing
#else
  const char* missingFolder = "ERROR_FILE_NOT_FOUND";  // ENOENT either way
#endif
  EXPECT_EQ(log.text(), "fread failed\n"
                        "Unable to load file \"x\": (ERROR_FILE_NOT_FOUND)\n"
                        "Unable to load file \"" + dir + "\": a folder, not a file\n"
                        "Unable to create file \"" + dir + "/missing/out.bin\": (" + missingFolder +
                            ": no such file or folder)\n"
                        "Unable to create file \"" + empty +
                            "/out.bin\": (ERROR_PATH_NOT_FOUND: a part of the path is not a folder)\n");

#ifndef _WIN32
  // A write that fails part-way (here: the file size limit) keeps the old
  // file whole and leaves no temporary file behind.
  log.clear();
  out.Resize(0);
  for (int i = 0; i < 100; i++) out.Put_string("0123456789");
  struct rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  struct rlimit small = saved;
  small.rlim_cur = 500;
  void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  EXPECT_FALSE(SaveFile(name.c_str(), out));
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, handler);
  EXPECT_EQ(log.text(), "Unable to create file \"" + name +
                            "\": (ERROR_FILE_TOO_LARGE: the file grew past the size this process may write)\n");
  LoadFile(name.c_str(), in);
  EXPECT_TRUE(in.size == 3 && std::strcmp(reinterpret_cast<char*>(in.data), "ab") == 0);
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) files += entry.is_regular_file();
  EXPECT_EQ(files, 2);  // data.bin and empty
#endif
  std::error_code ec;
  EXPECT_GT(std::filesystem::remove_all(dir, ec), 0u);
}

}  // namespace
