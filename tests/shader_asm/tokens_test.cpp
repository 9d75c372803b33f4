// The token stream and the source text: exact round trips of every good
// program, and garbage in every shape refused without a crash, a hang or a
// read out of bounds (the suite runs under AddressSanitizer in CI).
#include <algorithm>
#include <random>
#include <regex>

#include "tests/shader_asm/asm_test_util.h"

namespace {

TEST(ShaderAsmTokens, BadStreamsAreRefused) {
  ShaderProgram p = MustAssemble("vs_2_0\ndcl_position v0\ndef c9, 1, 2, 3, 4\nm4x4 oPos, v0, c0\nmov oD0, c9\n");
  std::vector<uint32_t> good;
  SerializeShader(p, good);
  ShaderProgram out;
  EXPECT_FALSE(DeserializeShader(nullptr, out));
  EXPECT_EQ(ShaderTokenCount(nullptr), 0u);

  // Every cut short of the end token is refused, and never read past (random
  // damage is left to the fuzz below).
  for (size_t n = 0; n < good.size(); ++n) {
    std::vector<uint32_t> cut(good.begin(), good.begin() + long(n));
    EXPECT_FALSE(DeserializeShader(cut.data(), cut.size(), out)) << n;
    EXPECT_TRUE(out.code.empty());
  }
}

// What an accepted program must survive: the exact round trip through the
// token stream, translation and a run.
void ExpectUsable(const ShaderProgram& p) {
  std::vector<uint32_t> tokens, again;
  SerializeShader(p, tokens);
  EXPECT_EQ(tokens.back(), kShaderEndToken);
  EXPECT_EQ(tokens.front() >> 16, p.kind == ShaderKind::Vertex ? 0xFFFEu : 0xFFFFu);
  EXPECT_EQ(ShaderTokenCount(tokens.data()), tokens.size());
  ShaderProgram back;
  EXPECT_TRUE(DeserializeShader(tokens.data(), back));
  EXPECT_TRUE(SamePrograms(p, back));
  SerializeShader(back, again);
  EXPECT_EQ(tokens, again);
  EXPECT_FALSE(TranslateToGLSL(p).empty());
  ShaderState s;
  InterpretShader(p, s);
}

// A damaged stream under both readers: refused, or a program that passes
// every check; the length-free reader gets just enough zero padding for its
// documented bound (AddressSanitizer catches any read beyond).
bool ExerciseTokens(std::vector<uint32_t> tokens) {
  ShaderProgram out, out2;
  bool ok = DeserializeShader(tokens.data(), tokens.size(), out);
  if (tokens.size() < kMaxShaderTokens) tokens.resize(kMaxShaderTokens, 0);
  bool ok2 = DeserializeShader(tokens.data(), out2);
  if (ok) {
    EXPECT_TRUE(ok2);
    EXPECT_TRUE(SamePrograms(out, out2));
    ExpectUsable(out);
  }
  return ok;
}

// Damaged source text: either it still assembles, or exactly one well-formed
// error line names the file and a line that exists.
bool ExerciseSource(const std::string& text) {
  ShaderProgram p;
  LogCapture log;
  HRESULT hr = AssembleShaderText(text.data(), text.size(), "Fuzz.VSH", p);
  if (hr == D3D_OK) {
    EXPECT_EQ(log.text(), "");
    ExpectUsable(p);
    return true;
  }
  EXPECT_EQ(hr, D3DXERR_INVALIDDATA);
  static const std::regex kLine("Fuzz\\.VSH\\(([0-9]+)\\): error: [^\n]+\n");
  const std::string logged = log.text();
  std::smatch m;
  if (!std::regex_match(logged, m, kLine)) {
    ADD_FAILURE() << logged;
    return false;
  }
  EXPECT_LE(logged.size(), 200u) << logged;
  int line = std::stoi(m[1]);
  EXPECT_GE(line, 1);
  EXPECT_LE(line, 1 + std::count(text.begin(), text.end(), '\n'));
  return false;
}

TEST(ShaderAsmTokens, FuzzedStreamsAndSources) {
  std::mt19937 rng(1234);
  static const char kPieces[] = "rvcatsoPDTC0123456789.,[]+-_;/*xyzwrgba \n\t\r#\x01\xff";
  int n;
  const char* const* programs = GoodPrograms(n);
  int streamsAccepted = 0, sourcesAccepted = 0, total = 0;
  for (int i = 0; i < n; ++i) {
    const std::string good = programs[i];
    const ShaderProgram program = MustAssemble(good);
    ExpectUsable(program);
    std::vector<uint32_t> goodTokens;
    SerializeShader(program, goodTokens);
    for (size_t cut = 0; cut <= good.size(); cut += 5) ExerciseSource(good.substr(0, cut));
    for (int round = 0; round < 100; ++round, ++total) {
      std::vector<uint32_t> t = goodTokens;
      for (int e = 1 + int(rng() % 4); e > 0; --e) {
        size_t at = rng() % t.size();
        switch (rng() % 4) {
          case 0: t[at] ^= 1u << (rng() % 32); break;
          case 1: t[at] = rng(); break;
          case 2: t[at] = rng() % 8; break;
          case 3: t.resize(at + 1); break;
        }
      }
      streamsAccepted += ExerciseTokens(t);
      std::string s = good;
      for (int e = 1 + int(rng() % 3); e > 0 && !s.empty(); --e) {
        size_t at = rng() % s.size();
        switch (rng() % 4) {
          case 0: s[at] = kPieces[rng() % (sizeof kPieces - 1)]; break;
          case 1: s.insert(at, 1, kPieces[rng() % (sizeof kPieces - 1)]); break;
          case 2: s.erase(at, 1 + rng() % 4); break;
          case 3: s[at] = char(rng()); break;
        }
      }
      sourcesAccepted += ExerciseSource(s);
    }
  }
  // Most single-bit changes in a register field still make a valid program;
  // the fuzzing must have reached both outcomes for both inputs.
  EXPECT_GT(streamsAccepted, 0);
  EXPECT_LT(streamsAccepted, total);
  EXPECT_GT(sourcesAccepted, 0);
  EXPECT_LT(sourcesAccepted, total);
}

}  // namespace
