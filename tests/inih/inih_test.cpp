// platform/inih stands in for Debian's inih in the Windows build; here, on
// Linux, both read the same bytes and must call back identically.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/inih/differential.h"

namespace {

using inih_diff::Trace;

// Compares both libraries on `bytes` through a byte reader and, when there is
// no NUL to cut the string short, through the string entry point.
void ExpectSame(const std::string& bytes) {
  SCOPED_TRACE(testing::PrintToString(bytes));
  Trace debian = inih_diff::Stream(ini_parse_stream, bytes), ours = inih_diff::Stream(tarn_ini_parse_stream, bytes);
  EXPECT_EQ(ours.calls, debian.calls);
  EXPECT_EQ(ours.result, debian.result);
  if (bytes.find('\0') != std::string::npos) return;
  debian = inih_diff::String(ini_parse_string, bytes), ours = inih_diff::String(tarn_ini_parse_string, bytes);
  EXPECT_EQ(ours.calls, debian.calls);
  EXPECT_EQ(ours.result, debian.result);
}

std::string Repeat(char c, size_t n) { return std::string(n, c); }

TEST(Inih, MatchesDebianOnEachRule) {
  // The harness itself sees what Debian's library does.
  Trace t = inih_diff::Stream(ini_parse_stream, "[s]\na = 1\n b\nc\n");
  EXPECT_EQ(t.calls, (std::vector<std::string>{"read 200", "read 200", "[s] a = 1", "read 200", "[s] a = b",
                                               "read 200", "read 200"}));
  EXPECT_EQ(t.result, 4);

  const std::string nul(1, '\0');
  const std::string bom = "\xEF\xBB\xBF";
  const std::vector<std::string> cases = {
      // blank lines, whitespace, separators
      "", "\n", "\n\n\n", "a=b", "a = b \n", "\ta\t=\tb\t\n", "\va=b\f", "a:b", "a:b=c", "a=b:c", "a==b",
      "= value", "name =", "=", ":", "name", "  name  \nx=y", "a b = c d",
      // comments
      " ; x", "# x\n;y\n", "#a=b", "a=b;c", "a=b ;c", "a=b\t;c", "a= ;c", "a=;c", "a=#c", "a=b #c",
      "a ;=b", "a;=b", "[s] ;c\nk=v", "[s];c\nk=v",
      // sections
      "[s]\na=b", "[ s ]\n a=b", "[", "[a", "[a\nb=c", "[a;b]\nk=v", "[a ;b]\nk=v", "[]\nx=y", "[a]]x\nk=v",
      "[a]b=c", "[[a]\nk=v", "  [s]\nk=v", "[S]\nK=V",
      "[" + Repeat('s', 48) + "]\nk=v", "[" + Repeat('s', 49) + "]\nk=v", "[" + Repeat('s', 50) + "]\nk=v",
      "[" + Repeat('s', 120) + "]\nk=v",
      // line ends and odd bytes
      "a=b\r\n[s]\r\nc=d\r\n", "a=b\r", "a=b\rc=d", "\r\n\r\n", "\xA0" "a=b\xA0", "a=\x85", "a=\xFF\xFE",
      "a=b" + nul + "c\nd=e", nul + "\nk=v", "k=v\n " + nul + "x", "[s" + nul + "]\nk=v",
      // byte order mark: first line only
      bom + "a=b", bom + "[s]\nk=v", bom + " a=b", bom, bom + "\n", "x=1\n" + bom + "a=b", "\xEF\xBB", "\xEF" "a=b",
      bom + bom + "a=b",
      // continuation lines
      "a=1\n  2\n\t3 ;c\n  ;d\n#e\n 4", "a=1\n\n 2", "a=1\n;c\n 2", "[s]\na=1\n[t]\n 2", "  cont\na=1",
      "a=1\n [x]", "a=1\n b=2", "= v\n cont", "bad\n a=1", "a=1\nbad\n 2", "a=1\n 2 ", "a=\n \n x",
      Repeat('n', 60) + "=1\n 2", Repeat('n', 49) + "=1\n 2", Repeat('n', 50) + "=1\n 2",
      // the handler's refusals
      "b=1", "b=1\nb=2", "x\nb=1", "a=1\nb=2\nzz", "b=1\n 2", "a=1\nb\n", "[b]\nb=1",
  };
  size_t count = cases.size();
  for (const std::string& c : cases) ExpectSame(c);

  // Lines around the 200-byte buffer: longer ones reach the parser in pieces.
  for (size_t length : {198u, 199u, 200u, 201u, 202u, 398u, 399u, 400u, 401u}) {
    const std::vector<std::string> lines = {
        "k=" + Repeat('x', length - 2), "[" + Repeat('s', length - 2) + "]", ";" + Repeat('c', length - 1),
        "k=" + Repeat('x', length - 4) + "=y", Repeat(' ', length - 3) + "a=b", "k=" + Repeat(' ', length - 2),
        "k=v" + Repeat(' ', length - 6) + ";c", "k=1\n" + Repeat(' ', length - 1) + "2"};
    for (const std::string& line : lines) {
      ExpectSame(line + "\nn=1\n");
      ExpectSame(line + "\r\nn=1\n");
      ExpectSame(line);
      count += 3;
    }
  }
  std::printf("%zu crafted inputs\n", count);
}

TEST(Inih, MatchesDebianOnPseudoRandomLines) {
  // The characters that matter to the parser, and a few bytes that might.
  const std::string alphabet = "[]=:;# \t\r\nab";
  uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next = [&state](uint32_t n) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    return uint32_t(state % n);
  };
  size_t lines = 0, errors = 0, pairs = 0;
  for (int document = 0; document < 3000; document++) {
    std::string text = next(20) == 0 ? "\xEF\xBB\xBF" : "";
    size_t length = next(10) == 0 ? 150 + next(300) : next(60);
    for (size_t i = 0; i < length; i++) {
      uint32_t pick = next(200);
      text += pick == 0 ? '\0' : pick == 1 ? '\xBB' : alphabet[pick % alphabet.size()];
    }
    ExpectSame(text);
    Trace t = inih_diff::Stream(ini_parse_stream, text);
    errors += t.result > 0;
    for (const std::string& call : t.calls) {
      lines += call.rfind("read", 0) == 0;
      pairs += call[0] == '[';
    }
    if (testing::Test::HasFailure()) break;
  }
  // The generator must keep reaching errors and pairs for the comparison to mean much.
  EXPECT_GT(errors, 1000u);
  EXPECT_GT(pairs, 1000u);
  // Each document ends with one read that finds nothing.
  std::printf("3000 pseudo-random documents, %zu lines, %zu pairs, %zu with errors\n", lines - 3000, pairs, errors);
}

}  // namespace
