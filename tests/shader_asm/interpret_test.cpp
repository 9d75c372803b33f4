// The CPU interpreter against values worked out by hand, for every instruction
// and the forms the GL device is checked against it with: these values are what
// a correct GL translation must produce.
#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "tests/shader_asm/asm_test_util.h"

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

const std::vector<std::array<float, 4>> kC = {
    {1, 2, 3, 4},     {5, 6, 7, 8},     {-4, 0, 0.5f, 2}, {0, 0, 0, 0},           // c0..c3
    {1, 0, 0, 10},    {0, 2, 0, 20},    {0, 0, 3, 30},    {1, 1, 1, 1},           // c4..c7: a matrix
    {1, -1, 0, -0.0f}, {10, 20, 30, 40},                                          // c8, c9
};

// Assembles and runs once with the given constants c0.. (vertex or pixel).
ShaderState Execute(const std::string& text, const std::vector<std::array<float, 4>>& constants = kC,
                    ShaderState start = ShaderState()) {
  ShaderProgram p = MustAssemble(text);
  for (size_t i = 0; i < constants.size(); ++i)
    for (int k = 0; k < 4; ++k) start.c[i][k] = constants[i][k];
  InterpretShader(p, start);
  return start;
}

void ExpectVec(const float* got, std::array<float, 4> want, const std::string& what, float tol = 0.0f) {
  for (int i = 0; i < 4; ++i) {
    if (std::isinf(want[i]) || tol == 0.0f)
      EXPECT_EQ(got[i], want[i]) << what << " component " << i;
    else
      EXPECT_NEAR(got[i], want[i], tol) << what << " component " << i;
  }
}

// Each program leaves its result in r0 (starting from zero), run with kC.
TEST(ShaderAsmInterpret, InstructionResults) {
  struct Case {
    const char* version;
    const char* body;
    std::array<float, 4> r0;
    float tol = 0.0f;
  } cases[] = {
      // Moves, swizzles, masks and modifiers, in every spelling.
      {"vs_2_0", "mov r0.yw, -c0.wzyx", {0, -3, 0, -1}},
      {"vs_2_0", "mov r0, c0.xy", {1, 2, 2, 2}},  // a short swizzle repeats its last
      {"vs_2_0", "MOV_SAT_PP R0.rgb, C2.bgr", {0.5f, 0, 0, 0}},
      // Arithmetic, one instruction per component; dot products.
      {"vs_2_0", "add r0.x, c0, c1\nsub r0.y, c0, c1.x\nmul r0.z, c0, c1\nmad r0.w, c0, c1, -c0", {6, -3, 21, 28}},
      {"vs_2_0", "dp3 r0.xy, c0, c1\ndp4 r0.zw, c0, c1", {38, 38, 70, 70}},
      // Comparisons and per-component functions.
      {"vs_1_1", "slt r0, c0, c2.w", {1, 0, 0, 0}},
      {"vs_1_1", "sge r0, c0, c2.w", {0, 1, 1, 1}},
      {"vs_1_1", "min r0, c0, c2.w", {1, 2, 2, 2}},
      {"vs_1_1", "max r0, c0, c2.w", {2, 2, 3, 4}},
      {"vs_1_1", "def c11, 1.25, -1.25, 0, 3\nfrc r0, c11", {0.25f, 0.75f, 0, 0}},
      {"vs_2_0", "nop\nabs r0, c2", {4, 0, 0.5f, 2}},
      {"vs_1_1", "def c11, 9, 2, 3, 9\ndef c12, 9, 5, 9, 7\ndst r0, c11, c12", {1, 10, 3, 7}},
      {"vs_2_0", "mov_sat r0, c2", {0, 0, 0.5f, 1}},
      {"vs_1_1", "def c11, 1.0f, +2e1, .25F, 3.5e-1f\nmov r0, c11", {1, 20, 0.25f, 0.35f}},
      {"vs_1_1", "def c255, 1e38, -1e-38, -0, 16777217\nmov r0, c255", {1e38f, -1e-38f, 0, 16777216}},
      // Scalar instructions: a missing swizzle reads .w; zero and negative inputs.
      {"vs_2_0", "rcp r0.x, c0.y\nrcp r0.y, c3.x\nrcp r0.z, c0\nrcp r0.w, -c3.x", {0.5f, kInf, 0.25f, kInf}},
      {"vs_2_0", "rsq r0.x, c2.x\nrsq r0.y, c3.x", {0.5f, kInf, 0, 0}},  // |-4|
      {"vs_2_0", "expp r0, c0.z", {8, 8, 8, 8}},
      {"vs_2_0", "exp r0, c2.x", {0.0625f, 0.0625f, 0.0625f, 0.0625f}},
      {"vs_2_0", "log r0, c1.z", {std::log2(7.0f), std::log2(7.0f), std::log2(7.0f), std::log2(7.0f)}, 1e-6f},
      {"vs_2_0", "log r0.y, -c2.w\nlog r0.z, c3.x\nlogp r0.w, c0.w", {0, 1, -FLT_MAX, 2}},
      {"vs_2_0", "pow r0.x, c2.x, c2.z\npow r0.y, c3.x, c3.x\npow r0.z, c3.x, c0.x\npow r0.w, c3.x, c2.x",
       {2, 1, 0, kInf}},  // |-4|^0.5, 0^0, 0^1, 0^-4
      // vs_1_1's expp is the four-part form: (2^floor, fraction, 2^x, 1).
      {"vs_1_1", "def c11, 2.5, 0, 0, 0\nexpp r0, c11.x", {4, 0.5f, std::exp2(2.5f), 1}},
      {"vs_1_1", "def c11, 2.5, 0, 0, 0\nlogp r0, c11.x", {1.3219281f, 1.3219281f, 1.3219281f, 1.3219281f}, 1e-6f},
      // Selections: -0 counts as >= 0, and an infinity on the
      // side cmp does not take does not leak into the result.
      {"ps_2_0", "cmp r0, c8, c9, -c9", {10, -20, 30, 40}},
      {"ps_2_0", "rcp r1, c3.x\ncmp r0, c8, c9, r1", {10, kInf, 30, 40}},
      {"ps_2_0", "rcp r1, c3.x\ncmp r0, -c8, r1, -c9", {-10, kInf, kInf, kInf}},
      {"ps_2_0", "def c11, 2, 3, 100, 100\ndef c12, 4, 5, 100, 7\ndp2add r0, c11, c12, c12", {30, 30, 30, 30}},
      // Version 2 vector instructions.
      {"vs_2_0", "crs r0.xyz, c0, c1", {-4, 8, -4, 0}},
      {"vs_2_0", "def c11, 3, 4, 0, 2\nnrm r0, c11", {0.6f, 0.8f, 0, 0.4f}, 1e-6f},
      {"vs_2_0", "nrm r0, c3", {0, 0, 0, 0}},
      {"vs_2_0", "def c11, 0.25, 8, 4, 0\nlrp r0, c11.x, c11.y, c11.z", {5, 5, 5, 5}},
      {"vs_2_0", "mov r0, c1\nsincos r0.xy, c3.x, c10, c11", {1, 0, 7, 8}},  // the constants are ignored
      {"vs_2_0", "def c11, 1.5707963, 0, 0, 0\nmov r0, c1\nsincos r0.y, c11.x, c10, c11", {5, 1, 7, 8}, 1e-6f},
      // Matrix macros, and destinations that alias a source.
      {"vs_1_1", "m4x4 r0, c0, c4", {41, 84, 129, 10}},
      {"vs_1_1", "mov r0, c1\nm4x3 r0.xyz, c0, c4", {41, 84, 129, 8}},
      {"vs_1_1", "m3x4 r0, c0, c4", {1, 4, 9, 6}},
      {"vs_1_1", "mov r0, c1\nm3x3 r0.xyz, c0, c4", {1, 4, 9, 8}},
      {"vs_1_1", "mov r0, c1\nm3x2 r0.xy, c0, c4", {1, 4, 7, 8}},
      {"vs_1_1", "mov r0, c0\nm4x4 r0, r0, c4", {41, 84, 129, 10}},
      {"vs_2_0", "mov r0, c0\nadd r0, r0.wzyx, r0", {5, 5, 5, 5}},
      {"vs_2_0", "crs r0.xyz, c0, c1\ncrs r0.xyz, r0, c0", {32, 8, -16, 0}},
      // lit clamps the power to 127.9961.
      {"vs_1_1", "def c11, 0.5, 0.25, 0, 2\nlit r0, c11", {1, 0.5f, 0.0625f, 1}, 1e-6f},
      {"vs_1_1", "def c11, -0.5, 0.25, 0, 2\nlit r0, c11", {1, 0, 0, 1}},
      {"vs_1_1", "def c11, 0.5, 0.5, 0, 200\nlit r0, c11", {1, 0.5f, std::exp2(-127.9961f), 1}, 1e-40f},
  };
  for (const Case& c : cases) {
    std::string text = std::string(c.version) + "\n" + c.body + "\n";
    ExpectVec(Execute(text).r[0], c.r0, text, c.tol);
  }
}

TEST(ShaderAsmInterpret, AddressRegisterAndRelativeReads) {
  std::vector<std::array<float, 4>> c(20);
  for (int i = 0; i < 20; ++i) c[i] = {float(i), float(i * 10), 0, 1};
  c[0] = {1.5f, -1.5f, 2.49f, -0.5f};
  ShaderState s = Execute(
      "vs_2_0\n"
      "def c7, 70, 71, 72, 73\n"
      "mova a0, c0\n"                 // round to nearest: (2, -1, 2, 0)
      "mov r0, c[a0.x + 3]\n"         // c5
      "mov r1, c[a0.y + 3]\n"         // c2
      "mov r2, c[a0.z + 5]\n"         // c7: the def wins over the uploaded value
      "mov r3, c[a0.y]\n"             // c-1: outside, reads zero
      "mov r4, c[a0.x + 255]\n"       // c257: outside, reads zero
      "mov r5, c7\n"                  // def wins for direct reads too
      "mov r6, c[3 + a0.x]\n"         // the other written orders: c5
      "mov r7, c4[2]\n"               // c6
      "mov r8, c4[a0.x + 1].yx\n"     // c7.yxxx
      "mov r9, -c[a0.y+3].zw\n",      // -c2.zwww
      c);
  EXPECT_EQ(s.a0[1], -1);
  EXPECT_EQ(s.a0[3], 0);
  const std::array<float, 4> want[10] = {{5, 50, 0, 1},     {2, 20, 0, 1},     {70, 71, 72, 73}, {0, 0, 0, 0},
                                         {0, 0, 0, 0},      {70, 71, 72, 73},  {5, 50, 0, 1},    {6, 60, 0, 1},
                                         {71, 70, 70, 70},  {0, -1, -1, -1}};
  for (int i = 0; i < 10; ++i) ExpectVec(s.r[i], want[i], "r" + std::to_string(i));

  // vs_1_1 mov to a0.x floors; a NaN or huge value is pinned, not undefined.
  std::vector<std::array<float, 4>> c1(20, {0, 0, 0, 0});
  c1[0] = {1.9f, -0.5f, 1e30f, 0};
  c1[1] = {11, 0, 0, 0};
  c1[2] = {12, 0, 0, 0};
  ShaderState t = Execute("vs_1_1\nmov a0.x, c0.x\nmov r0, c[a0.x]\nmov a0.x, c0.y\nmov r1, c[a0.x + 3]\n"
                          "mov a0.x, c0.z\nmov r2, c[a0.x]\nrcp r3, c3.x\nmul r3, r3, c3\nmov a0.x, r3.x\n",
                          c1);
  ExpectVec(t.r[0], {11, 0, 0, 0}, "floor 1.9");
  ExpectVec(t.r[1], {12, 0, 0, 0}, "floor -0.5 = -1");
  ExpectVec(t.r[2], {0, 0, 0, 0}, "huge index reads zero");
  EXPECT_TRUE(std::isnan(t.r[3][0]));
  EXPECT_EQ(t.a0[0], -1024);
}

void Sampler(void* user, int sampler, SamplerKind kind, const float coord[4], float out[4]) {
  ++*static_cast<int*>(user);
  std::memcpy(out, coord, 12);
  out[3] = float(sampler) + (kind == SamplerKind::Cube ? 0.5f : 0.0f);
}

TEST(ShaderAsmInterpret, TexturesKillAndDepth) {
  const char* text =
      "ps_2_0\ndcl t0\ndcl t1\ndcl v0\ndcl_2d s3\ndcl_cube s5\n"
      "texld r0, t0, s3\n"     // 2D: xy only
      "texld r1, t0, s5\n"     // cube: xyz
      "texldp r2, t1, s3\n"    // divided by w
      "texkill t1.w\n"         // w is never tested
      "mul oC0, r0, v0\n";
  ShaderState start;
  const float t0[4] = {0.25f, 0.5f, 0.75f, 2.0f}, t1[4] = {1.0f, 2.0f, 3.0f, -4.0f}, v0[4] = {1, 0.5f, 1, 1};
  std::memcpy(start.t[0], t0, 16);
  std::memcpy(start.t[1], t1, 16);
  std::memcpy(start.v[0], v0, 16);
  int calls = 0;
  start.sample = Sampler;
  start.sampleUser = &calls;
  ShaderState s = Execute(text, {}, start);
  EXPECT_EQ(calls, 3);
  EXPECT_FALSE(s.discarded);
  ExpectVec(s.r[0], {0.25f, 0.5f, 0, 3}, "texld 2d");
  ExpectVec(s.r[1], {0.25f, 0.5f, 0.75f, 5.5f}, "texld cube");
  ExpectVec(s.r[2], {-0.25f, -0.5f, 0, 3}, "texldp");
  ExpectVec(s.oC0, {0.25f, 0.25f, 0, 3}, "output");
  EXPECT_FALSE(s.depthWritten);

  // texkill discards on a negative x, y or z among the named components.
  for (int i = 0; i < 4; ++i) {
    ShaderState k;
    for (int j = 0; j < 4; ++j) k.t[0][j] = j == i ? -0.001f : 1.0f;
    EXPECT_EQ(Execute("ps_2_0\ndcl t0\ntexkill t0\nmov oC0, t0\n", {}, k).discarded, i < 3) << i;
  }
  ShaderState masked;
  masked.t[0][0] = -1;
  EXPECT_FALSE(Execute("ps_2_0\ndcl t0\ntexkill t0.yz\n", {}, masked).discarded);
  EXPECT_TRUE(Execute("ps_2_0\ndcl t0\ntexkill t0.xy\n", {}, masked).discarded);

  ShaderState d = Execute("ps_2_0\nmov oDepth, c2.z\n");
  EXPECT_TRUE(d.depthWritten);
  EXPECT_EQ(d.oDepth, 0.5f);
}

TEST(ShaderAsmInterpret, StateDefaultsAndOutputs) {
  // Unwritten outputs take their defaults; colours leave clamped; a0 starts at zero.
  ShaderState s = Execute(
      "vs_1_1\nadd r1, r0, c2\nmov oD1, r1\nmov oT3.xy, c2\nmov oPos, c[a0.x]\nmov oFog, c2.z\nmov oPts, c2.w\n");
  ExpectVec(s.r[1], {-4, 0, 0.5f, 2}, "temporaries start at zero");
  ExpectVec(s.oD[0], {1, 1, 1, 1}, "oD0 default");
  ExpectVec(s.oD[1], {0, 0, 0.5f, 1}, "oD1 clamped");
  ExpectVec(s.oT[0], {0, 0, 0, 1}, "oT0 default");
  ExpectVec(s.oT[3], {-4, 0, 0, 1}, "oT3 partly written");
  ExpectVec(s.oPos, {1, 2, 3, 4}, "a0 starts at zero");
  EXPECT_EQ(s.oFog, 0.5f);
  EXPECT_EQ(s.oPts, 2.0f);

  // Saturation turns NaN into 0.
  ShaderState n = Execute("vs_2_0\nrcp r0, c3.x\nmul r0, r0, c3\nmov_sat oT0, r0\nmov_sat r1, r0\n");
  EXPECT_TRUE(std::isnan(n.r[0][0]));
  ExpectVec(n.r[1], {0, 0, 0, 0}, "sat NaN");
}

TEST(ShaderAsmInterpret, HandBuiltBadProgramIsNotRun) {
  // A program that never went through the assembler or the token reader is
  // still checked: no register number may index past the state.
  ShaderProgram p = MustAssemble("vs_2_0\nmov oT0, c0\n");
  p.code[0].src[0].index = 4000;
  ShaderState s;
  s.c[0][0] = 5;
  s.oPts = 7;
  InterpretShader(p, s);
  ExpectVec(s.oT[0], {0, 0, 0, 1}, "defaults only");
  EXPECT_EQ(s.oPts, 1.0f);
}

}  // namespace
