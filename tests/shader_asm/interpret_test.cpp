// Every instruction on the CPU interpreter against values worked out by hand.
#include <array>
#include <cfloat>
#include <cstring>
#include <cmath>
#include <limits>

#include "tests/shader_asm/asm_test_util.h"

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

// Assembles and runs once with the given constants c0.. (vertex or pixel).
ShaderState Execute(const std::string& text, std::vector<std::array<float, 4>> constants = {},
                    ShaderState start = ShaderState()) {
  ShaderProgram p = MustAssemble(text);
  for (size_t i = 0; i < constants.size(); ++i)
    for (int k = 0; k < 4; ++k) start.c[i][k] = constants[i][k];
  InterpretShader(p, start);
  return start;
}

void ExpectVec(const float* got, float x, float y, float z, float w, const char* what, float tol = 0.0f) {
  float want[4] = {x, y, z, w};
  for (int i = 0; i < 4; ++i) {
    if (std::isinf(want[i]) || tol == 0.0f)
      EXPECT_EQ(got[i], want[i]) << what << " component " << i;
    else
      EXPECT_NEAR(got[i], want[i], tol) << what << " component " << i;
  }
}

const std::vector<std::array<float, 4>> kC = {
    {1, 2, 3, 4},      // c0
    {5, 6, 7, 8},      // c1
    {-4, 0, 0.5f, 2},  // c2
    {0, 0, 0, 0},      // c3
};

TEST(ShaderAsmInterpret, MoveArithmeticAndDots) {
  ShaderState s = Execute(
      "vs_2_0\n"
      "mov r0.yw, -c0.wzyx\n"     // (0, -3, 0, -1)
      "mad r4, c0, c1, -c0\n"     // (4, 10, 18, 28)
      "dp3 r5, c0, c1\n"          // 5 + 12 + 21 = 38
      "dp4 r6.xz, c0, c1\n"       // 70 in x and z
      "mov r7, c0.xy\n"           // (1, 2, 2, 2)
      "mov_sat r8, c2\n",         // (0, 0, 0.5, 1)
      kC);
  ExpectVec(s.r[0], 0, -3, 0, -1, "mov");
  ExpectVec(s.r[4], 4, 10, 18, 28, "mad");
  ExpectVec(s.r[5], 38, 38, 38, 38, "dp3");
  ExpectVec(s.r[6], 70, 0, 70, 0, "dp4");
  ExpectVec(s.r[7], 1, 2, 2, 2, "short swizzle");
  ExpectVec(s.r[8], 0, 0, 0.5f, 1, "sat");
}

TEST(ShaderAsmInterpret, ScalarInstructions) {
  ShaderState s = Execute(
      "vs_2_0\n"
      "rcp r0.x, c0.y\n"     // 0.5
      "rcp r0.y, c3.x\n"     // 1/0 = +inf
      "rcp r0.z, c0\n"       // no swizzle reads .w: 0.25
      "rcp r0.w, -c3.x\n"    // -0 also gives +inf
      "rsq r1.x, c2.x\n"     // |-4| -> 0.5
      "rsq r1.y, c3.x\n"     // +inf
      "expp r3, c0.z\n"      // vs_2_0: replicated 8
      "log r4.x, c1.z\n"     // log2 7
      "log r4.y, -c2.w\n"    // |−2| -> 1
      "log r4.z, c3.x\n"     // -FLT_MAX
      "logp r4.w, c0.w\n"    // 2
      "pow r5.x, c2.x, c2.z\n"  // |-4|^0.5 = 2
      "pow r5.y, c3.x, c3.x\n"  // 0^0 = 1
      "pow r5.z, c3.x, c0.x\n"  // 0^1 = 0
      "pow r5.w, c3.x, c2.x\n", // 0^-4 = +inf
      kC);
  ExpectVec(s.r[0], 0.5f, kInf, 0.25f, kInf, "rcp");
  ExpectVec(s.r[1], 0.5f, kInf, 0.0f, 0.0f, "rsq");
  ExpectVec(s.r[3], 8, 8, 8, 8, "expp 2.0");
  EXPECT_NEAR(s.r[4][0], std::log2(7.0f), 1e-6f);
  EXPECT_EQ(s.r[4][1], 1.0f);
  EXPECT_EQ(s.r[4][2], -FLT_MAX);
  EXPECT_EQ(s.r[4][3], 2.0f);
  ExpectVec(s.r[5], 2, 1, 0, kInf, "pow");

  // vs_1_1's expp is the four-part form: (2^floor, fraction, 2^x, 1).
  ShaderState old = Execute("vs_1_1\ndef c9, 2.5, 0, 0, 0\nexpp r0, c9.x\nlogp r1, c9.x\n");
  ExpectVec(old.r[0], 4, 0.5f, std::exp2(2.5f), 1, "expp 1.1");
  ExpectVec(old.r[1], std::log2(2.5f), std::log2(2.5f), std::log2(2.5f), std::log2(2.5f), "logp 1.1");
}

TEST(ShaderAsmInterpret, ComparisonsAndSelections) {
  ShaderState s = Execute(
      "vs_1_1\n"
      "def c10, 2, 2, 2, 2\n"
      "def c11, 1.25, -1.25, 0, 3\n"
      "slt r0, c0, c10\n"   // (1, 0, 0, 0)
      "sge r1, c0, c10\n"   // (0, 1, 1, 1)
      "frc r4, c11\n",      // (0.25, 0.75, 0, 0)
      kC);
  ExpectVec(s.r[0], 1, 0, 0, 0, "slt");
  ExpectVec(s.r[1], 0, 1, 1, 1, "sge");
  ExpectVec(s.r[4], 0.25f, 0.75f, 0, 0, "frc");

  // cmp selects: -0 counts as >= 0, and an infinity on the side not taken
  // does not leak into the result.
  ShaderState p = Execute(
      "ps_2_0\n"
      "def c10, 1, -1, 0, -0\n"
      "def c11, 10, 20, 30, 40\n"
      "def c12, -10, -20, -30, -40\n"
      "cmp r0, c10, c11, c12\n"         // (10, -20, 30, 40)
      "rcp r1, c3.x\n"                  // +inf everywhere
      "cmp r2, c10, c11, r1\n"          // (10, inf, 30, 40)
      "cmp r3, -c10, r1, c12\n");       // (-10, inf, inf, inf)
  ExpectVec(p.r[0], 10, -20, 30, 40, "cmp");
  ExpectVec(p.r[2], 10, kInf, 30, 40, "cmp inf");
  ExpectVec(p.r[3], -10, kInf, kInf, kInf, "cmp negated");
}

TEST(ShaderAsmInterpret, Sm2VectorInstructions) {
  ShaderState s = Execute(
      "vs_2_0\n"
      "def c10, 3, 4, 0, 2\n"
      "def c11, 0.25, 8, 4, 0\n"
      "def c12, 1.5707963, 0, 0, 0\n"
      "crs r1.xyz, c0, c1\n"           // (2*7-3*6, 3*5-1*7, 1*6-2*5) = (-4, 8, -4)
      "nrm r2, c10\n"                  // (0.6, 0.8, 0, 0.4)
      "nrm r3, c3\n"                   // zero stays zero
      "lrp r4, c11.x, c11.y, c11.z\n"  // 4 + 0.25 * (8 - 4) = 5
      "mov r5, c1\n"
      "sincos r5.xy, c3.x\n"           // (1, 0, 7, 8)
      "mov r6, c1\n"
      "sincos r6.y, c12.x\n",          // sin(pi/2) in y only
      kC);
  ExpectVec(s.r[1], -4, 8, -4, 0, "crs");
  ExpectVec(s.r[2], 0.6f, 0.8f, 0, 0.4f, "nrm", 1e-6f);
  ExpectVec(s.r[3], 0, 0, 0, 0, "nrm zero");
  ExpectVec(s.r[4], 5, 5, 5, 5, "lrp");
  ExpectVec(s.r[5], 1, 0, 7, 8, "sincos");
  ExpectVec(s.r[6], 5, 1, 7, 8, "sincos .y", 1e-6f);
}

TEST(ShaderAsmInterpret, MatrixMacrosAndAliasing) {
  // Rows c4..c7 of a matrix with a translation in the last row's w.
  std::vector<std::array<float, 4>> c = {
      {1, 2, 3, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
      {1, 0, 0, 10}, {0, 2, 0, 20}, {0, 0, 3, 30}, {1, 1, 1, 1},
  };
  ShaderState s = Execute(
      "vs_1_1\n"
      "mov r9, c0\n"
      "m4x4 r0, c0, c4\n"        // (11, 24, 39, 7)
      "mov r1, c1\n"
      "m4x3 r1.xyz, c0, c4\n"    // (11, 24, 39, 0)
      "m3x2 r4.xy, c0, c4\n"     // (1, 4, 0, 0)
      "m4x4 r9, r9, c4\n",       // aliasing: same as r0
      c);
  ExpectVec(s.r[0], 11, 24, 39, 7, "m4x4");
  ExpectVec(s.r[1], 11, 24, 39, 0, "m4x3");
  ExpectVec(s.r[4], 1, 4, 0, 0, "m3x2");
  ExpectVec(s.r[9], 11, 24, 39, 7, "m4x4 in place");

  // Destination aliasing a source in a per-component instruction.
  ShaderState a = Execute("vs_2_0\nmov r0, c0\nadd r0, r0.wzyx, r0\ncrs r1.xyz, c0, c1\ncrs r1.xyz, r1, c0\n", kC);
  ExpectVec(a.r[0], 5, 5, 5, 5, "add in place");
  // (-4, 8, -4) x (1, 2, 3) = (8*3 - -4*2, -4*1 - -4*3, -4*2 - 8*1) = (32, 8, -16)
  ExpectVec(a.r[1], 32, 8, -16, 0, "crs in place");
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
      "mov r5, c7\n"                 // def wins for direct reads too
      "mov r6, c[3 + a0.x]\n"         // the other written orders: c5
      "mov r7, c4[2]\n"               // c6
      "mov r8, c4[a0.x + 1].yx\n"     // c7.yxxx
      "mov r9, -c[a0.y+3].zw\n",      // -c2.zwww
      c);
  EXPECT_EQ(s.a0[1], -1);
  EXPECT_EQ(s.a0[3], 0);
  ExpectVec(s.r[0], 5, 50, 0, 1, "c[a0.x + 3]");
  ExpectVec(s.r[1], 2, 20, 0, 1, "c[a0.y + 3]");
  ExpectVec(s.r[2], 70, 71, 72, 73, "def'd relative");
  ExpectVec(s.r[3], 0, 0, 0, 0, "below c0");
  ExpectVec(s.r[4], 0, 0, 0, 0, "past c255");
  ExpectVec(s.r[5], 70, 71, 72, 73, "def'd direct");
  ExpectVec(s.r[6], 5, 50, 0, 1, "c[3 + a0.x]");
  ExpectVec(s.r[7], 6, 60, 0, 1, "c4[2]");
  ExpectVec(s.r[8], 71, 70, 70, 70, "c4[a0.x + 1].yx");
  ExpectVec(s.r[9], 0, -1, -1, -1, "-c[a0.y+3].zw");

  // vs_1_1 mov to a0.x floors; a NaN or huge value is pinned, not undefined.
  std::vector<std::array<float, 4>> c1(20, {0, 0, 0, 0});
  c1[0] = {1.9f, -0.5f, 1e30f, 0};
  c1[1] = {11, 0, 0, 0};
  c1[2] = {12, 0, 0, 0};
  ShaderState t = Execute("vs_1_1\nmov a0.x, c0.x\nmov r0, c[a0.x]\nmov a0.x, c0.y\nmov r1, c[a0.x + 3]\n"
                          "mov a0.x, c0.z\nmov r2, c[a0.x]\nrcp r3, c3.x\nmul r3, r3, c3\nmov a0.x, r3.x\n",
                          c1);
  ExpectVec(t.r[0], 11, 0, 0, 0, "floor 1.9");
  ExpectVec(t.r[1], 12, 0, 0, 0, "floor -0.5 = -1");
  ExpectVec(t.r[2], 0, 0, 0, 0, "huge index reads zero");
  EXPECT_TRUE(std::isnan(t.r[3][0]));
  EXPECT_EQ(t.a0[0], -1024);
}

TEST(ShaderAsmInterpret, LightingHelpers) {
  ShaderState s = Execute(
      "vs_1_1\n"
      "def c10, 9, 2, 3, 9\n"
      "def c11, 9, 5, 9, 7\n"
      "def c12, 0.5, 0.25, 0, 2\n"
      "def c13, -0.5, 0.25, 0, 2\n"
      "def c15, 0.5, 0.5, 0, 200\n"
      "dst r0, c10, c11\n"   // (1, 10, 3, 7)
      "lit r1, c12\n"        // (1, 0.5, 0.0625, 1)
      "lit r2, c13\n"        // (1, 0, 0, 1)
      "lit r4, c15\n");      // power clamped to 127.9961
  ExpectVec(s.r[0], 1, 10, 3, 7, "dst");
  ExpectVec(s.r[1], 1, 0.5f, 0.0625f, 1, "lit", 1e-6f);
  ExpectVec(s.r[2], 1, 0, 0, 1, "lit unlit");
  EXPECT_NEAR(s.r[4][2], std::exp2(-127.9961f), 1e-40f);
  EXPECT_GT(s.r[4][2], 0.0f);
}

void Sampler(void* user, int sampler, SamplerKind kind, const float coord[4], float out[4]) {
  int* calls = static_cast<int*>(user);
  ++*calls;
  out[0] = coord[0];
  out[1] = coord[1];
  out[2] = coord[2];
  out[3] = float(sampler) + (kind == SamplerKind::Cube ? 0.5f : 0.0f);
}

TEST(ShaderAsmInterpret, TexturesAndKill) {
  const char* text =
      "ps_2_0\n"
      "dcl t0\n"
      "dcl t1\n"
      "dcl v0\n"
      "dcl_2d s3\n"
      "dcl_cube s5\n"
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
  ExpectVec(s.r[0], 0.25f, 0.5f, 0, 3, "texld 2d");
  ExpectVec(s.r[1], 0.25f, 0.5f, 0.75f, 5.5f, "texld cube");
  ExpectVec(s.r[2], -0.25f, -0.5f, 0, 3, "texldp");
  ExpectVec(s.oC0, 0.25f, 0.25f, 0, 3, "output");
  EXPECT_FALSE(s.depthWritten);

  // No sampler callback: an unbound texture reads (0, 0, 0, 1).
  ShaderState unbound = Execute("ps_2_0\ndcl t0\ndcl_2d s0\ntexld r0, t0, s0\nmov oC0, r0\n");
  ExpectVec(unbound.oC0, 0, 0, 0, 1, "unbound");

  // texkill discards on a negative x, y or z among the named components.
  const char* kill = "ps_2_0\ndcl t0\ntexkill t0\nmov oC0, t0\n";
  for (int i = 0; i < 4; ++i) {
    ShaderState k;
    for (int j = 0; j < 4; ++j) k.t[0][j] = j == i ? -0.001f : 1.0f;
    ShaderState out = Execute(kill, {}, k);
    EXPECT_EQ(out.discarded, i < 3) << "negative component " << i;
  }
  ShaderState masked;
  masked.t[0][0] = -1;
  EXPECT_FALSE(Execute("ps_2_0\ndcl t0\ntexkill t0.yz\n", {}, masked).discarded);
  EXPECT_TRUE(Execute("ps_2_0\ndcl t0\ntexkill t0.xy\n", {}, masked).discarded);
}

TEST(ShaderAsmInterpret, Dp2addAndDepth) {
  ShaderState s = Execute(
      "ps_2_0\ndef c10, 2, 3, 100, 100\ndef c11, 4, 5, 100, 7\n"
      "dp2add r1, c10, c11, c11\n"  // no swizzle: reads .w, 8 + 15 + 7
      "mov oDepth, c2.z\n",
      kC);
  ExpectVec(s.r[1], 30, 30, 30, 30, "dp2add w");
  EXPECT_TRUE(s.depthWritten);
  EXPECT_EQ(s.oDepth, 0.5f);
}

TEST(ShaderAsmInterpret, StateDefaultsAndOutputs) {
  // Temporaries start at zero whatever the state held; unwritten outputs take
  // their defaults; colours leave clamped.
  ShaderState start;
  for (auto& r : start.r)
    for (float& f : r) f = 99;
  for (auto& d : start.oD)
    for (float& f : d) f = 99;
  start.a0[0] = 7;
  std::vector<std::array<float, 4>> c = {{2, -1, 0.5f, 1}};
  ShaderState s = Execute(
      "vs_1_1\n"
      "add r1, r0, c0\n"
      "mov oD1, r1\n"
      "mov oT3.xy, c0\n"
      "mov oPos, c[a0.x]\n"
      "mov oFog, c0.z\n"
      "mov oPts, c0.x\n",
      c, start);
  ExpectVec(s.r[1], 2, -1, 0.5f, 1, "zeroed temporaries");
  ExpectVec(s.oD[0], 1, 1, 1, 1, "oD0 default");
  ExpectVec(s.oD[1], 1, 0, 0.5f, 1, "oD1 clamped");
  ExpectVec(s.oT[0], 0, 0, 0, 1, "oT0 default");
  ExpectVec(s.oT[3], 2, -1, 0, 1, "oT3 partly written");
  ExpectVec(s.oPos, 2, -1, 0.5f, 1, "a0 starts at zero");
  EXPECT_EQ(s.oFog, 0.5f);
  EXPECT_EQ(s.oPts, 2.0f);

  // Saturation turns NaN into 0.
  ShaderState n = Execute("vs_2_0\nrcp r0, c3.x\nmul r0, r0, c3\nmov_sat oT0, r0\nmov_sat r1, r0\n", kC);
  EXPECT_TRUE(std::isnan(n.r[0][0]));
  ExpectVec(n.r[1], 0, 0, 0, 0, "sat NaN");
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
  ExpectVec(s.oT[0], 0, 0, 0, 1, "defaults only");
  EXPECT_EQ(s.oPts, 1.0f);
}

}  // namespace
