// The token stream: exact round trips, and garbage in every shape refused
// without a crash, a hang or a read out of bounds (the suite runs under
// AddressSanitizer in CI).
#include <random>

#include "tests/shader_asm/asm_test_util.h"

namespace {

TEST(ShaderAsmTokens, RoundTripIsExact) {
  int n;
  const char* const* programs = GoodPrograms(n);
  for (int i = 0; i < n; ++i) {
    ShaderProgram p = MustAssemble(programs[i]);
    std::vector<uint32_t> tokens;
    SerializeShader(p, tokens);
    EXPECT_EQ(tokens.back(), kShaderEndToken);
    EXPECT_EQ(tokens.front() >> 16, p.kind == ShaderKind::Vertex ? 0xFFFEu : 0xFFFFu);
    EXPECT_EQ(ShaderTokenCount(tokens.data()), tokens.size());

    ShaderProgram back;
    ASSERT_TRUE(DeserializeShader(tokens.data(), back)) << programs[i];
    EXPECT_TRUE(SamePrograms(p, back)) << programs[i];
    std::vector<uint32_t> again;
    SerializeShader(back, again);
    EXPECT_EQ(tokens, again);
    EXPECT_EQ(TranslateToGLSL(p), TranslateToGLSL(back));
  }
}

TEST(ShaderAsmTokens, BadStreamsAreRefused) {
  ShaderProgram p = MustAssemble("vs_2_0\ndcl_position v0\ndef c9, 1, 2, 3, 4\nm4x4 oPos, v0, c0\nmov oD0, c9\n");
  std::vector<uint32_t> good;
  SerializeShader(p, good);
  ShaderProgram out;
  EXPECT_FALSE(DeserializeShader(nullptr, out));
  EXPECT_EQ(ShaderTokenCount(nullptr), 0u);

  // Every cut short of the end token is refused, and never read past.
  for (size_t n = 0; n < good.size(); ++n) {
    std::vector<uint32_t> cut(good.begin(), good.begin() + long(n));
    EXPECT_FALSE(DeserializeShader(cut.data(), cut.size(), out)) << n;
    EXPECT_TRUE(out.code.empty());
  }
  auto refused = [&](std::vector<uint32_t> t, const char* what) {
    t.resize(t.size() + 64, 0);  // room for a reader that runs on
    EXPECT_FALSE(DeserializeShader(t.data(), out)) << what;
    EXPECT_EQ(ShaderTokenCount(t.data()), 0u) << what;
  };
  std::vector<uint32_t> t = good;
  t[0] = 0xFFFE0300;  // vs_3_0
  refused(t, "version");
  t = good;
  t[1] = 17;  // too many inputs
  refused(t, "input count");
  t = good;
  t[2] |= 0xF0000000u;  // stray bits in a declaration
  refused(t, "declaration bits");
  t = good;
  t[5] = 0x7F800000u;  // infinite def value
  refused(t, "def value");
  t = good;
  t.back() = 0;  // no end token
  refused(t, "end token");
  // An instruction whose register is out of range for the version.
  ShaderProgram q = p;
  q.code[1].dst.index = 2;  // oD2
  std::vector<uint32_t> bad;
  SerializeShader(q, bad);
  refused(bad, "oD2");
  q = p;
  q.code[0].src[1].index = 253;  // m4x4 runs past c255
  SerializeShader(q, bad);
  refused(bad, "matrix");
  q = p;
  q.inputs.clear();  // v0 read without a declaration
  SerializeShader(q, bad);
  refused(bad, "undeclared");
}

// A random stream under a bounded reader: refused or a program that passes
// every check; either way nothing breaks.
bool ExerciseTokens(std::vector<uint32_t> tokens) {
  ShaderProgram out;
  bool ok = DeserializeShader(tokens.data(), tokens.size(), out);
  // The length-free reader, with just enough zero padding behind the stream
  // for its documented bound (AddressSanitizer catches any read beyond).
  std::vector<uint32_t> padded = tokens;
  if (padded.size() < kMaxShaderTokens) padded.resize(kMaxShaderTokens, 0);
  ShaderProgram out2;
  bool ok2 = DeserializeShader(padded.data(), out2);
  if (ok) {
    EXPECT_TRUE(ok2);
    EXPECT_TRUE(SamePrograms(out, out2));
    EXPECT_FALSE(TranslateToGLSL(out).empty());
    ShaderState s;
    InterpretShader(out, s);
  }
  return ok;
}

TEST(ShaderAsmTokens, FuzzedStreams) {
  std::mt19937 rng(1234);
  int n;
  const char* const* programs = GoodPrograms(n);
  int accepted = 0, total = 0;
  for (int i = 0; i < n; ++i) {
    ShaderProgram p = MustAssemble(programs[i]);
    std::vector<uint32_t> good;
    SerializeShader(p, good);
    for (int round = 0; round < 100; ++round) {
      std::vector<uint32_t> t = good;
      int edits = 1 + int(rng() % 4);
      for (int e = 0; e < edits; ++e) {
        size_t at = rng() % t.size();
        switch (rng() % 4) {
          case 0: t[at] ^= 1u << (rng() % 32); break;
          case 1: t[at] = rng(); break;
          case 2: t[at] = rng() % 8; break;
          case 3: t.resize(at + 1); break;
        }
      }
      accepted += ExerciseTokens(t);
      ++total;
    }
  }
  // Most single-bit changes in a register field still make a valid program;
  // the fuzzing must have reached both outcomes.
  EXPECT_GT(accepted, 0);
  EXPECT_LT(accepted, total);
}

// Random damage to source text: either it still assembles, or exactly one
// well-formed error line names the file and a line that exists.
bool ExerciseSource(const std::string& text) {
  ShaderProgram p;
  LogCapture log;
  HRESULT hr = AssembleShaderText(text.data(), text.size(), "Fuzz.VSH", p);
  if (hr == D3D_OK) {
    EXPECT_EQ(log.text(), "");
    std::vector<uint32_t> tokens;
    SerializeShader(p, tokens);
    ShaderProgram back;
    EXPECT_TRUE(DeserializeShader(tokens.data(), tokens.size(), back));
    EXPECT_TRUE(SamePrograms(p, back));
    EXPECT_FALSE(TranslateToGLSL(p).empty());
    ShaderState s;
    InterpretShader(p, s);
    return true;
  }
  EXPECT_EQ(hr, D3DXERR_INVALIDDATA);
  std::vector<std::string> lines = log.lines();
  EXPECT_EQ(lines.size(), 1u) << log.text();
  EXPECT_EQ(log.text().back(), '\n');
  const std::string l = lines.empty() ? "" : lines[0];
  EXPECT_EQ(l.compare(0, 9, "Fuzz.VSH("), 0) << l;
  size_t close = l.find("): error: ");
  if (close == std::string::npos) {
    ADD_FAILURE() << l;
    return false;
  }
  int line = std::stoi(l.substr(9, close - 9));
  int lineCount = 1;
  for (char c : text) lineCount += c == '\n';
  EXPECT_GE(line, 1);
  EXPECT_LE(line, lineCount);
  EXPECT_GT(l.size(), close + 10) << "no problem text";
  EXPECT_LT(l.size(), 200u) << l;
  return false;
}

TEST(ShaderAsmTokens, FuzzedSources) {
  std::mt19937 rng(99);
  int n;
  const char* const* programs = GoodPrograms(n);
  static const char kPieces[] = "rvcatsoPDTC0123456789.,[]+-_;/*xyzwrgba \n\t\r#\x01\xff";
  int accepted = 0, total = 0;
  for (int i = 0; i < n; ++i) {
    std::string good = programs[i];
    for (size_t cut = 0; cut <= good.size(); cut += 5) ExerciseSource(good.substr(0, cut));
    for (int round = 0; round < 100; ++round) {
      std::string t = good;
      int edits = 1 + int(rng() % 3);
      for (int e = 0; e < edits && !t.empty(); ++e) {
        size_t at = rng() % t.size();
        switch (rng() % 4) {
          case 0: t[at] = kPieces[rng() % (sizeof kPieces - 1)]; break;
          case 1: t.insert(at, 1, kPieces[rng() % (sizeof kPieces - 1)]); break;
          case 2: t.erase(at, 1 + rng() % 4); break;
          case 3: t[at] = char(rng()); break;
        }
      }
      ++total;
      accepted += ExerciseSource(t);
    }
  }
  EXPECT_GT(accepted, 0);
  EXPECT_LT(accepted, total);
}

}  // namespace
