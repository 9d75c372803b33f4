// What the assembler accepts, how it reads it, and the one line it prints for
// each kind of bad line.
#include "tests/shader_asm/asm_test_util.h"

namespace {

TEST(ShaderAsmSyntax, VersionLines) {
  EXPECT_EQ(MustAssemble("vs.1.1").minor, 1);
  ShaderProgram vs = MustAssemble("  VS.2.0  ; trailing comment");
  EXPECT_TRUE(vs.kind == ShaderKind::Vertex && vs.major == 2 && vs.minor == 0);
  ShaderProgram ps = MustAssemble("// header\n\n/* block\n comment */ ps.2.0\r\n");
  EXPECT_TRUE(ps.kind == ShaderKind::Pixel && ps.major == 2 && ps.minor == 0);
}

TEST(ShaderAsmSyntax, Declarations) {
  ShaderProgram vs = MustAssemble("vs_2_0\ndcl_position0 v0\ndcl_texcoord1 v7.xy\ndcl_fog v9\nmov r0, v0\n");
  ASSERT_EQ(vs.inputs.size(), 3u);
  const ShaderDeclaration& t = vs.inputs[1];
  EXPECT_TRUE(t.usage == D3DDECLUSAGE_TEXCOORD && t.usageIndex == 1 && t.index == 7 && t.mask == 0x3);
  EXPECT_EQ(AttributeLocation(D3DDECLUSAGE_FOG, 0), -1);  // a usage without an attribute location
  // (Pixel inputs and sampler kinds show in the interpreter and GL suites.)


  // vs_1_1 without declarations: the version's fixed inputs, in order of use.
  ShaderProgram old = MustAssemble("vs_1_1\nmov oPos, v0\nmov oD0, v5\nmad oT0, v3, v8, v3\nmov oD1, v2\n");
  const int expect[5][4] = {{0, D3DDECLUSAGE_POSITION, 0, 0},
                            {5, D3DDECLUSAGE_COLOR, 0, 2},
                            {3, D3DDECLUSAGE_NORMAL, 0, 1},
                            {8, D3DDECLUSAGE_TEXCOORD, 1, 7},
                            {2, D3DDECLUSAGE_BLENDINDICES, 0, -1}};
  ASSERT_EQ(old.inputs.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    const ShaderDeclaration& d = old.inputs[i];
    EXPECT_EQ(d.index, expect[i][0]);
    EXPECT_EQ(d.usage, expect[i][1]);
    EXPECT_EQ(d.usageIndex, expect[i][2]);
    EXPECT_EQ(AttributeLocation(d.usage, d.usageIndex), expect[i][3]);
  }
}

TEST(ShaderAsmSyntax, RegisterLimitsAtTheEdge) {
  MustAssemble("vs_1_1\nmov r11, c255\nmov oT7, v15\nmov oD1, r11\n");
  MustAssemble("vs_2_0\ndcl_texcoord7 v15\nmov r11, v15\n");
  MustAssemble("ps_2_0\ndcl t7\ndcl v1\ndcl_2d s15\ntexld r11, t7, s15\nadd oC0, c31, v1\n");
}

// Each bad program with the exact line it must print.
TEST(ShaderAsmSyntax, BadLinesGiveOneExactLine) {
  struct Case {
    const char* text;
    const char* line;
  } cases[] = {
      {"mov r0, v0\n", "Bad.VSH(1): error: missing shader version line (vs_1_1, vs_2_0 or ps_2_0)"},
      {"ps_1_1\n", "Bad.VSH(1): error: shader version ps_1_1 is not supported: use ps_2_0"},
      {"vs_3_0\n", "Bad.VSH(1): error: shader version vs_3_0 is not supported"},
      {"vs_1\n", "Bad.VSH(1): error: unknown shader version 'vs_1'"},
      {"vs_1_1 r0\n", "Bad.VSH(1): error: unexpected text after the shader version"},
      {"vs_1_1\nvs_1_1\n", "Bad.VSH(2): error: shader version given twice"},
      {"vs_1_1\nfoo r0, r1\n", "Bad.VSH(2): error: unknown instruction 'foo'"},
      {"vs_2_0\n\n\nrep i0\n", "Bad.VSH(4): error: flow control instruction 'rep' is not supported"},
      {"vs_2_0\nsgn r0, r1, r2, r3\n", "Bad.VSH(2): error: instruction 'sgn' is not supported"},
      {"vs_2_0\ncmp r0, r1, r2, r3\n", "Bad.VSH(2): error: instruction 'cmp' is not available in vs_2_0"},
      {"vs_1_1\nadd r0, r1\n", "Bad.VSH(2): error: 'add' takes 3 operands, found 2"},
      {"ps_2_0\ntexkill\n", "Bad.VSH(2): error: 'texkill' takes 1 operand, found 0"},
      {"vs_1_1\nmov r0, r1,\n", "Bad.VSH(2): error: missing operand"},
      {"vs_1_1\nmov_x2 r0, r1\n", "Bad.VSH(2): error: instruction modifier '_x2' is not supported"},
      {"ps_2_0\nmov r0, r1_bx2\n", "Bad.VSH(2): error: source modifier '_bx2' is not supported"},
      {"vs_1_1\n#define X 1\n", "Bad.VSH(2): error: preprocessor directives are not supported"},
      {"vs_1_1\n+mov r0, r1\n", "Bad.VSH(2): error: unexpected '+mov r0, r1'"},
      {"vs_1_1\nmov r0, r1 r2\n", "Bad.VSH(2): error: bad operand 'r1 r2'"},
      {"vs_1_1\nmov r0, q1\n", "Bad.VSH(2): error: unknown register 'q1'"},
      {"ps_2_0\nadd r0, r1, r99999999999\n", "Bad.VSH(2): error: register r99999 is out of range (ps_2_0 has r0-r11)"},
      {"ps_2_0\nmov r0, c32\n", "Bad.VSH(2): error: register c32 is out of range (ps_2_0 has c0-c31)"},
      {"ps_2_0\nmov oC1, r0\n", "Bad.VSH(2): error: register oC1 is out of range (ps_2_0 has only oC0)"},
      {"vs_2_0\nmov a0.x, c0\n", "Bad.VSH(2): error: a0 can only be written by mova in vs_2_0"},
      {"vs_1_1\nmov r0, t0\n", "Bad.VSH(2): error: register t0 is not available in vs_1_1"},
      {"ps_2_0\nmov oPos, r0\n", "Bad.VSH(2): error: register oPos is not available in ps_2_0"},
      {"vs_1_1\nmov v0, r1\n", "Bad.VSH(2): error: register v0 cannot be written"},
      {"vs_1_1\nmov r0, oPos\n", "Bad.VSH(2): error: register oPos cannot be read"},
      {"vs_1_1\nmov -r0, r1\n", "Bad.VSH(2): error: a destination cannot be negated"},
      {"vs_1_1\nmov r0[a0.x], r1\n", "Bad.VSH(2): error: a destination cannot be addressed relatively"},
      {"vs_1_1\nmov oFog.y, r0\n", "Bad.VSH(2): error: register oFog has only one component (.x)"},
      {"vs_1_1\nmov r0, r1.xyzwx\n", "Bad.VSH(2): error: bad swizzle '.xyzwx'"},
      {"vs_1_1\nmov r0.yx, r1\n", "Bad.VSH(2): error: bad write mask '.yx'"},
      {"vs_1_1\nmov r0, c[a0.x + ]\n", "Bad.VSH(2): error: bad relative address 'c[a0.x + ]'"},
      {"vs_1_1\nmov r0, c[a0.x + 256]\n", "Bad.VSH(2): error: register c256 is out of range (vs_1_1 has c0-c255)"},
      {"vs_1_1\nmov r0, c[a0.y]\n", "Bad.VSH(2): error: relative addressing in vs_1_1 uses a0.x only"},
      {"ps_2_0\nmov r0, c[a0.x]\n",
       "Bad.VSH(2): error: relative addressing is only allowed on vertex shader constants"},
      {"vs_1_1\ndcl_position v0\nmov r0, v3\n", "Bad.VSH(3): error: input register v3 is not declared"},
      {"ps_2_0\ndcl t0\ntexld r0, t0, s0\n", "Bad.VSH(3): error: sampler s0 is not declared"},
      {"ps_2_0\ndcl t0\ndcl t0.xy\n", "Bad.VSH(3): error: register t0 is declared twice"},
      {"vs_2_0\ndcl_position v0\ndcl_position v1\n", "Bad.VSH(3): error: v1 repeats the usage of v0"},
      {"vs_2_0\ndcl_positiont v1\ndcl_position v0\n", "Bad.VSH(3): error: v0 and v1 share attribute location 0"},
      {"vs_2_0\ndcl_foo v0\n", "Bad.VSH(2): error: unknown declaration 'dcl_foo'"},
      {"vs_2_0\ndcl_texcoord16 v0\n", "Bad.VSH(2): error: usage index of 'dcl_texcoord16' is out of range (0-15)"},
      {"vs_2_0\ndcl v0\n", "Bad.VSH(2): error: dcl in a vertex shader needs a usage (dcl_position, dcl_texcoord0, ...)"},
      {"ps_2_0\ndcl_texcoord0 t0\n", "Bad.VSH(2): error: dcl_texcoord0 is not allowed in ps_2_0: declare inputs with dcl"},
      {"ps_2_0\ndcl_volume s0\n", "Bad.VSH(2): error: volume samplers are not supported"},
      {"vs_2_0\ndcl_2d s0\n", "Bad.VSH(2): error: samplers are not available in vs_2_0"},
      {"vs_1_1\nmov r0, r1\ndcl_position v0\n",
       "Bad.VSH(3): error: declarations and defs must come before the first instruction"},
      {"vs_1_1\ndef c0, 1, 2, 3\n", "Bad.VSH(2): error: def takes a constant register and four numbers"},
      {"vs_1_1\ndef r0, 1, 2, 3, 4\n", "Bad.VSH(2): error: def needs a constant register, not 'r0'"},
      {"vs_1_1\ndef c0, 1..0, 2, 3, 4\n", "Bad.VSH(2): error: bad number '1..0'"},
      {"vs_1_1\ndef c0, 1e39, 0, 0, 0\n", "Bad.VSH(2): error: number '1e39' is out of range"},
      {"vs_1_1\ndef c1, 0, 0, 0, 0\ndef c1, 1, 1, 1, 1\n", "Bad.VSH(3): error: register c1 is defined twice"},
      {"vs_2_0\nmova r0, c0\n", "Bad.VSH(2): error: mova writes a0 only"},
      {"vs_2_0\nmova_sat a0.x, c0\n", "Bad.VSH(2): error: a0 cannot be saturated"},
      {"vs_1_1\nm4x4 r0, v0, c253\n", "Bad.VSH(2): error: m4x4 matrix c253 runs past c255"},
      {"vs_1_1\nm3x3 r0, v0, c0\n", "Bad.VSH(2): error: m3x3 writes at most .xyz"},
      {"vs_2_0\nsincos r0.xy, c0.x\n", "Bad.VSH(2): error: 'sincos' takes 4 operands, found 2"},
      {"vs_2_0\nsincos r0.xy, c0.x, r1, c2\n",
       "Bad.VSH(2): error: sincos needs constant registers as its last two operands"},
      {"ps_2_0\ndcl t0\ndcl_2d s0\ntexld oC0, t0, s0\n", "Bad.VSH(4): error: texld writes a temporary register"},
      {"ps_2_0\ndcl_2d s0\nmov r0, s0\n", "Bad.VSH(3): error: sampler s0 can only be read by texld"},
      {"ps_2_0\ndcl t0\ntexld r0, t0, r1\n", "Bad.VSH(3): error: texld needs a sampler register as its last operand"},
      {"ps_2_0\ntexkill_sat r0\n", "Bad.VSH(2): error: texkill takes no _sat"},
      {"vs_1_1\nnop_sat\n", "Bad.VSH(2): error: 'nop' takes no modifier"},
      {"vs_1_1\n/* never closed\nmov r0, r1\n", "Bad.VSH(2): error: unterminated comment"},
      {"vs_1_1\nmov r0, q\rq\n", "Bad.VSH(2): error: unknown register 'q q'"},
      {"vs_1_1\nmov r0,\xC3\xA9 r1\n", "Bad.VSH(2): error: unexpected character 0xC3"},
      {"vs_1_1\nmov r0, r1 ; caf\xC3\xA9 is fine in a comment\nmov r0, zz\n", "Bad.VSH(3): error: unknown register 'zz'"},
  };
  for (const Case& c : cases) {
    std::string logged = AssembleError(c.text);
    EXPECT_EQ(logged, std::string(c.line) + "\n") << "source:\n" << c.text;
  }
}

TEST(ShaderAsmSyntax, ErrorLineNamesFileAndStaysShort) {
  std::string longName(300, 'q');
  std::string logged = AssembleError("vs_1_1\r\nmov r0, " + longName + "\r\n", "Shaders/Long.VSH");
  EXPECT_EQ(logged, "Shaders/Long.VSH(2): error: unknown register 'qqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqq...'\n");
  // A NUL inside the given length is a bad character, not the end of the text.
  std::string withNul("vs_1_1\nmov r0, r1\n\0mov r0, r2\n", 29);
  EXPECT_EQ(AssembleError(withNul, nullptr), "(shader)(3): error: unexpected character 0x00\n");
  // Format characters in the source reach the log as text.
  EXPECT_EQ(AssembleError("vs_1_1\nmov r0, %s%n\n"), "Bad.VSH(2): error: unknown register '%s%n'\n");
  // Null text with no length is an empty file.
  ShaderProgram p;
  LogCapture log;
  EXPECT_EQ(AssembleShaderText(nullptr, 0, "Null.VSH", p), D3DXERR_INVALIDDATA);
  EXPECT_EQ(log.text(), "Null.VSH(1): error: missing shader version line (vs_1_1, vs_2_0 or ps_2_0)\n");
}

}  // namespace
