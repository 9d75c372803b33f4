// Assembled shaders on the GL device against the shader_asm interpreter: for
// each instruction one draw through a vertex and pixel shader pair, the pixel
// read back and compared with what the interpreter computes.
#include <cmath>

#include "tests/gl/gl_test_util.h"

namespace {

// Inputs: vertex c20..c22 (passed to the pixel side as t0..t2), a matrix in
// vertex c24..c27 and pixel c4..c7. The pixel side maps results from
// -5..5 onto 0..1: oC0 = r0 * c0 + c1 = r0 * 0.1 + 0.5.
const float kInputs[3][4] = {{0.3f, -0.6f, 0.8f, 0.5f}, {-0.2f, 0.7f, 0.4f, -0.9f}, {0.9f, 0.1f, -0.5f, 0.25f}};
const float kMatrix[4][4] = {
    {0.5f, -0.25f, 1.0f, 0.1f}, {0.2f, 0.8f, -0.6f, 0.3f}, {-0.7f, 0.4f, 0.9f, -0.2f}, {0.15f, 0.35f, -0.45f, 0.6f}};
const float kScaleBias[2][4] = {{0.1f, 0.1f, 0.1f, 0.1f}, {0.5f, 0.5f, 0.5f, 0.5f}};

std::string VertexSource(const std::string& body, const char* version = "vs_2_0") {
  return std::string(version) + "\ndcl_position v0\n" + body +
         "\nmov oPos, v0\nmov oT0, c20\nmov oT1, c21\nmov oT2, c22\nmov oT3, r0\n";
}
std::string PixelSource(const std::string& body) {
  return "ps_2_0\ndcl t0\ndcl t1\ndcl t2\ndcl t3\ndcl_2d s0\n" + body + "\nmad r0, r0, c0, c1\nmov oC0, r0\n";
}

// The 2x2 texture on stage 0, point sampled with wrapping, as the
// interpreter's sampler reads it; other stages are unbound: (0, 0, 0, 1).
const uint32_t kTexels[4] = {0xFFFF8000, 0x8000FF40, 0xFF2040FF, 0x40FFFFFF};

void SampleTexels(void*, int sampler, SamplerKind, const float coord[4], float out[4]) {
  int x = std::min(1, int((coord[0] - std::floor(coord[0])) * 2.0f));
  int y = std::min(1, int((coord[1] - std::floor(coord[1])) * 2.0f));
  uint32_t c = sampler == 0 ? kTexels[y * 2 + x] : 0xFF000000u;
  for (int i = 0; i < 4; ++i) out[i] = float(c >> (i == 3 ? 24 : 16 - 8 * i) & 0xFF) / 255.0f;
}

// The texture, the vertex format and the inputs' constants are set once:
// every pair linked afterwards must pick them up.
class GLShaderTest : public GLDeviceTest {
 protected:
  void SetUp() override {
    GLDeviceTest::SetUp();
    if (!dev) return;
    BindTexels(2, 2, kTexels);
    dev->SetVertexShaderConstantF(20, &kInputs[0][0], 3);
    dev->SetVertexShaderConstantF(24, &kMatrix[0][0], 4);
    dev->SetPixelShaderConstantF(0, &kScaleBias[0][0], 2);
    dev->SetPixelShaderConstantF(4, &kMatrix[0][0], 4);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->SetFVF(D3DFVF_XYZ);
  }

  // Binds the pair; the device keeps the shaders while they are bound.
  bool Bind(const std::vector<uint32_t>& vt, const std::vector<uint32_t>& pt) {
    IDirect3DVertexShader9* vs = nullptr;
    IDirect3DPixelShader9* ps = nullptr;
    bool ok = dev->CreateVertexShader(vt.data(), &vs) == D3D_OK && dev->CreatePixelShader(pt.data(), &ps) == D3D_OK;
    dev->SetVertexShader(vs);
    dev->SetPixelShader(ps);
    if (vs) vs->Release();
    if (ps) ps->Release();
    return ok;
  }
  // A quad over the whole target; returns the centre pixel.
  uint32_t Draw() {
    float quad[4][3] = {{-1, -1, 0.5f}, {-1, 1, 0.5f}, {1, -1, 0.5f}, {1, 1, 0.5f}};
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, 12), D3D_OK);
    return Pixel(kWidth / 2, kHeight / 2);
  }

  // Draws the pair and compares the centre pixel with the interpreter's result.
  void Check(const char* name, const std::string& vs, const std::string& ps) {
    SCOPED_TRACE(name);
    ShaderProgram vp, pp;
    ASSERT_EQ(AssembleShaderText(vs.data(), vs.size(), name, vp), D3D_OK) << vs;
    ASSERT_EQ(AssembleShaderText(ps.data(), ps.size(), name, pp), D3D_OK) << ps;
    std::vector<uint32_t> vt, pt;
    SerializeShader(vp, vt);
    SerializeShader(pp, pt);
    ASSERT_TRUE(Bind(vt, pt)) << TranslateToGLSL(vp) << TranslateToGLSL(pp);
    dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0);
    uint32_t got = Draw();

    ShaderState v;  // the quad's centre: (0, 0, 0.5, 1)
    v.v[0][2] = 0.5f;
    v.v[0][3] = 1.0f;
    std::memcpy(v.c[20], kInputs, sizeof kInputs);
    std::memcpy(v.c[24], kMatrix, sizeof kMatrix);
    InterpretShader(vp, v);
    ShaderState p;
    std::memcpy(p.t, v.oT, sizeof p.t);
    std::memcpy(p.v, v.oD, sizeof v.oD);
    std::memcpy(p.c[0], kScaleBias, sizeof kScaleBias);
    std::memcpy(p.c[4], kMatrix, sizeof kMatrix);
    p.sample = SampleTexels;
    InterpretShader(pp, p);
    uint32_t want = kClear, ch[4];
    for (int i = 0; i < 4; ++i) ch[i] = uint32_t(std::lround(std::min(1.0f, std::max(0.0f, p.oC0[i])) * 255.0f));
    if (!p.discarded) want = D3DCOLOR_ARGB(ch[3], ch[0], ch[1], ch[2]);
    EXPECT_TRUE(ColourNear(got, want, 2)) << "\n" << vs << ps;
  }
};

// Every instruction, and the register forms the device has to wire up:
// relative constants, defs, masks, modifiers, samplers, interpolated texture
// registers.
TEST_F(GLShaderTest, InstructionsMatchTheInterpreter) {
  // Run in the vertex shader; the pixel shader shows the result.
  const char* vertexCases[][2] = {
      {"sub", "sub r0, c20, c22"}, {"mul", "mul r0, c20, c21"}, {"mad", "mad r0, c20, c21, c22"},
      {"dp3", "dp3 r0, c20, c21"}, {"dp4", "dp4 r0, c20, c22"}, {"rsq", "rsq r0, c21.x"}, {"exp", "exp r0, c20.y"},
      {"logp", "logp r0, c20.z"}, {"min", "min r0, c20, c21"}, {"max", "max r0, c20, c21"},
      {"slt", "slt r0, c20, c21"}, {"sge", "sge r0, c20, c21"}, {"frc", "frc r0, c21"}, {"abs", "abs r0, c21"},
      {"m3x4", "m3x4 r0, c22, c24"}, {"m3x2", "m3x2 r0.xy, c21, c24"}, {"dst", "dst r0, c20, c21"},
      {"rcp .w", "rcp r0, c22"}, {"expp", "expp r0, c21.y"}, {"log", "log r0, c22.y"},
      {"pow", "pow r0, c20.x, c21.y"}, {"crs", "crs r0.xyz, c20, c21"}, {"nrm", "nrm r0.xyz, c20"},
      {"lrp", "lrp r0, c22, c20, c21"}, {"sincos", "sincos r0.xy, c20.z, c30, c31"},
      {"m4x3", "m4x3 r0.xyz, c21, c24"}, {"m4x4 aliasing", "mov r0, c20\nm4x4 r0, r0, c24"},
      {"lit negative", "lit r0, c20"}, {"mova rounds", "mova a0.x, c22.x\nmov r0, c[a0.x + 21]"},
      {"modifiers", "add_sat r0, -c20.yzxw, c21.wzyx"}, {"def", "def c40, 0.25, -0.5, 1.0f, 0.\nadd r0, c20, c40"},
      // Edges where GLSL's built-ins differ from the design's rules.
      {"rsq of a negative", "rsq r0, c20.y"}, {"log of zero", "def c41, 0, 0, 0, 0\nlog r0, c41.x"},
      {"pow 0^0", "def c41, 0, 0, 0, 0\npow r0, c41.x, c41.y"}, {"nrm of zero", "def c41, 0, 0, 0, 0\nnrm r0, c41"},
      {"lit with a power", "def c41, 0.5, 0.5, 0, 2\nlit r0, c41"},
      {"relative read past c255", "mova a0.x, c22.x\nmov r0, c[a0.x + 255]"},
      {"add in place", "mov r0, c20\nadd r0, r0.wzyx, r0"}};
  for (auto& c : vertexCases) Check(c[0], VertexSource(c[1]), PixelSource("mov r0, t3"));
  Check("vs_1_1 mov a0 floors", VertexSource("mov a0.x, c22.x\nmov r0, c[a0.x + 21]", "vs_1_1"),
        PixelSource("mov r0, t3"));
  Check("vs_1_1 expp", VertexSource("expp r0, c21.y", "vs_1_1"), PixelSource("mov r0, t3"));
  // Run in the pixel shader on the interpolated inputs.
  const char* pixelCases[][2] = {
      {"dp2add", "dp2add r0, t0, t1, t2.w"}, {"cmp", "cmp r0, t0, t1, t2"}, {"sincos", "sincos r0.xy, t1.y, c30, c31"},
      {"m3x3", "m3x3 r0.xyz, t1, c4"}, {"texld", "texld r0, t0, s0"}, {"texldp", "texldp r0, t2, s0"},
      {"texkill kills", "texkill t1\nmov r0, t0"}, {"saturate and negate", "add_sat r0, -t0, t1"}};
  for (auto& c : pixelCases) Check(c[0], VertexSource("mov r0, c20"), PixelSource(c[1]));
  // t3 carries the vertex side's r0: all components positive here.
  Check("texkill keeps", VertexSource("abs r0, c20"), PixelSource("texkill t3\nmov r0, t0"));
}

TEST_F(GLShaderTest, ConstantsAreUploadedOnlyWhenChanged) {
  ASSERT_TRUE(Bind(AssembleTokens(VertexSource("mov r0, c20")), AssembleTokens(PixelSource("mov r0, t3"))));
  dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  uint32_t linked = GLProgramsLinked(dev);
  Draw();
  uint32_t first = GLUniformUploads(dev);
  EXPECT_EQ(GLProgramsLinked(dev), linked + 1);
  // The same values again, and a draw: nothing to upload, nothing to link.
  dev->SetVertexShaderConstantF(20, &kInputs[0][0], 3);
  Draw();
  EXPECT_EQ(GLUniformUploads(dev), first);
  // One pixel constant changes: one upload, and the draw shows it.
  const float scale2[4] = {0.2f, 0.2f, 0.2f, 0.2f};
  dev->SetPixelShaderConstantF(0, scale2, 1);
  // r0 = c20 = (0.3, -0.6, 0.8, 0.5): 0.2 * r0 + 0.5.
  EXPECT_TRUE(ColourNear(Draw(), D3DCOLOR_ARGB(153, 142, 97, 168), 1));
  EXPECT_EQ(GLUniformUploads(dev), first + 1);
  EXPECT_EQ(GLProgramsLinked(dev), linked + 1);
}

}  // namespace
