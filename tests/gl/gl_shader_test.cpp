// Assembled shaders on the GL device against the shader_asm interpreter: for
// each instruction, one draw through a vertex and pixel shader pair, the
// pixel read back and compared with what the interpreter computes for the
// same programs and constants.
#include <cmath>

#include "tests/gl/gl_test_util.h"

namespace {

constexpr uint32_t kClear = 0xFF102030;

// Inputs: vertex c20..c22 (passed to the pixel side as t0..t2), a matrix in
// vertex c24..c27 and pixel c4..c7. The pixel side maps results from
// -5..5 onto 0..1: oC0 = r0 * 0.1 + 0.5.
const float kInputs[3][4] = {{0.3f, -0.6f, 0.8f, 0.5f},
                             {-0.2f, 0.7f, 0.4f, -0.9f},
                             {0.9f, 0.1f, -0.5f, 0.25f}};
const float kMatrix[4][4] = {{0.5f, -0.25f, 1.0f, 0.1f},
                             {0.2f, 0.8f, -0.6f, 0.3f},
                             {-0.7f, 0.4f, 0.9f, -0.2f},
                             {0.15f, 0.35f, -0.45f, 0.6f}};
const float kScale[4] = {0.1f, 0.1f, 0.1f, 0.1f};
const float kBias[4] = {0.5f, 0.5f, 0.5f, 0.5f};

std::string VertexSource(const std::string& body, const char* version = "vs_2_0") {
  return std::string(version) +
         "\n"
         "dcl_position v0\n" +
         body +
         "\n"
         "mov oPos, v0\n"
         "mov oT0, c20\n"
         "mov oT1, c21\n"
         "mov oT2, c22\n"
         "mov oT3, r0\n";
}

std::string PixelSource(const std::string& body) {
  return "ps_2_0\n"
         "dcl t0\n"
         "dcl t1\n"
         "dcl t2\n"
         "dcl t3\n"
         "dcl_2d s0\n" +
         body +
         "\n"
         "mad r0, r0, c0, c1\n"
         "mov oC0, r0\n";
}

// The 2x2 texture on stage 0, point sampled with wrapping, as the
// interpreter's sampler reads it.
const uint32_t kTexels[4] = {0xFFFF8000, 0x8000FF40, 0xFF2040FF, 0x40FFFFFF};

void SampleTexels(void*, int sampler, SamplerKind, const float coord[4], float out[4]) {
  if (sampler != 0) {
    out[0] = out[1] = out[2] = 0.0f;
    out[3] = 1.0f;
    return;
  }
  auto wrap = [](float u) { return u - std::floor(u); };
  int x = std::min(1, int(wrap(coord[0]) * 2.0f)), y = std::min(1, int(wrap(coord[1]) * 2.0f));
  uint32_t c = kTexels[y * 2 + x];
  out[0] = float((c >> 16) & 0xFF) / 255.0f;
  out[1] = float((c >> 8) & 0xFF) / 255.0f;
  out[2] = float(c & 0xFF) / 255.0f;
  out[3] = float(c >> 24) / 255.0f;
}

struct Case {
  const char* name;
  std::string vs, ps;
};

class GLShaderTest : public GLDeviceTest {
 protected:
  void SetUp() override {
    GLDeviceTest::SetUp();
    if (!dev) return;
    ASSERT_EQ(dev->CreateTextureFromImage(TexelImage(2, 2, kTexels), &tex_), D3D_OK);
    static const D3DVERTEXELEMENT9 decl[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
    ASSERT_EQ(dev->CreateVertexDeclaration(decl, &decl_), D3D_OK);
  }
  void TearDown() override {
    if (dev) {
      Unbind();
      dev->SetTexture(0, nullptr);
      dev->SetVertexDeclaration(nullptr);
      if (tex_) tex_->Release();
      if (decl_) decl_->Release();
    }
    GLDeviceTest::TearDown();
  }

  // Creates and binds the pair with the inputs' constants and the texture.
  bool Bind(const std::vector<uint32_t>& vt, const std::vector<uint32_t>& pt) {
    if (dev->CreateVertexShader(vt.data(), &vs_) != D3D_OK || dev->CreatePixelShader(pt.data(), &ps_) != D3D_OK)
      return false;
    dev->SetVertexShaderConstantF(20, &kInputs[0][0], 3);
    dev->SetVertexShaderConstantF(24, &kMatrix[0][0], 4);
    dev->SetPixelShaderConstantF(0, kScale, 1);
    dev->SetPixelShaderConstantF(1, kBias, 1);
    dev->SetPixelShaderConstantF(4, &kMatrix[0][0], 4);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->SetTexture(0, tex_);
    dev->SetVertexDeclaration(decl_);
    dev->SetVertexShader(vs_);
    dev->SetPixelShader(ps_);
    return true;
  }
  bool DrawQuad() {
    float quad[4][3] = {{-1, -1, 0.5f}, {-1, 1, 0.5f}, {1, -1, 0.5f}, {1, 1, 0.5f}};
    return dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, 12) == D3D_OK;
  }
  void Unbind() {
    dev->SetVertexShader(nullptr);
    dev->SetPixelShader(nullptr);
    if (vs_) vs_->Release();
    if (ps_) ps_->Release();
    vs_ = nullptr;
    ps_ = nullptr;
  }

  // Draws the pair over the whole target and compares the centre pixel with
  // the interpreter's result.
  void Check(const Case& c) {
    SCOPED_TRACE(c.name);
    ShaderProgram vp, pp;
    ASSERT_EQ(AssembleShaderText(c.vs.data(), c.vs.size(), c.name, vp), D3D_OK) << c.vs;
    ASSERT_EQ(AssembleShaderText(c.ps.data(), c.ps.size(), c.name, pp), D3D_OK) << c.ps;
    std::vector<uint32_t> vt, pt;
    SerializeShader(vp, vt);
    SerializeShader(pp, pt);
    ASSERT_TRUE(Bind(vt, pt)) << TranslateToGLSL(vp) << TranslateToGLSL(pp);
    dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0);
    ASSERT_TRUE(DrawQuad());
    uint32_t got = Pixel(kWidth / 2, kHeight / 2);
    Unbind();

    ShaderState v;  // the quad's centre: (0, 0, 0.5, 1)
    v.v[0][2] = 0.5f;
    v.v[0][3] = 1.0f;
    std::memcpy(v.c[20], kInputs, sizeof kInputs);
    std::memcpy(v.c[24], kMatrix, sizeof kMatrix);
    InterpretShader(vp, v);
    ShaderState p;
    std::memcpy(p.t, v.oT, sizeof p.t);
    std::memcpy(p.v, v.oD, sizeof v.oD);
    std::memcpy(p.c[0], kScale, 16);
    std::memcpy(p.c[1], kBias, 16);
    std::memcpy(p.c[4], kMatrix, sizeof kMatrix);
    p.sample = SampleTexels;
    InterpretShader(pp, p);
    uint32_t want = kClear;
    if (!p.discarded) {
      uint32_t ch[4];
      for (int i = 0; i < 4; ++i) {
        float x = std::min(1.0f, std::max(0.0f, p.oC0[i]));
        ch[i] = uint32_t(std::lround(x * 255.0f));
      }
      want = D3DCOLOR_ARGB(ch[3], ch[0], ch[1], ch[2]);
    }
    EXPECT_TRUE(ColourNear(got, want, 2)) << "\n" << c.vs << c.ps;
  }

  IDirect3DTexture9* tex_ = nullptr;
  IDirect3DVertexDeclaration9* decl_ = nullptr;
  IDirect3DVertexShader9* vs_ = nullptr;
  IDirect3DPixelShader9* ps_ = nullptr;
};

// An instruction run in the vertex shader; the pixel shader shows its result.
Case V(const char* name, const std::string& body, const char* version = "vs_2_0") {
  return {name, VertexSource(body, version), PixelSource("mov r0, t3")};
}
// An instruction run in the pixel shader on the interpolated inputs.
Case P(const char* name, const std::string& body) {
  return {name, VertexSource("mov r0, c20"), PixelSource(body)};
}

// The instructions whose GL form differs most from a one-line GLSL
// expression, and the register forms the device has to wire up: relative
// constants, defs, masks, modifiers, samplers, interpolated texture registers.
TEST_F(GLShaderTest, InstructionsMatchTheInterpreter) {
  const Case cases[] = {
      V("rcp .w", "rcp r0, c22"),
      V("expp", "expp r0, c21.y"),
      V("log", "log r0, c22.y"),
      V("pow", "pow r0, c20.x, c21.y"),
      V("crs", "crs r0.xyz, c20, c21"),
      V("nrm", "nrm r0.xyz, c20"),
      V("lrp", "lrp r0, c22, c20, c21"),
      V("sincos", "sincos r0.xy, c20.z, c30, c31"),
      V("m4x3", "m4x3 r0.xyz, c21, c24"),
      V("m4x4 aliasing", "mov r0, c20\nm4x4 r0, r0, c24"),
      V("lit negative", "lit r0, c20"),
      V("mova rounds", "mova a0.x, c22.x\nmov r0, c[a0.x + 21]"),
      V("vs_1_1 mov a0 floors", "mov a0.x, c22.x\nmov r0, c[a0.x + 21]", "vs_1_1"),
      V("modifiers", "add_sat r0, -c20.yzxw, c21.wzyx"),
      V("def", "def c40, 0.25, -0.5, 1.0f, 0.\nadd r0, c20, c40"),
      // Edges where GLSL's built-ins differ from the design's rules.
      V("rsq of a negative", "rsq r0, c20.y"),
      V("log of zero", "def c41, 0, 0, 0, 0\nlog r0, c41.x"),
      V("pow 0^0", "def c41, 0, 0, 0, 0\npow r0, c41.x, c41.y"),
      V("nrm of zero", "def c41, 0, 0, 0, 0\nnrm r0, c41"),
      V("lit with a power", "def c41, 0.5, 0.5, 0, 2\nlit r0, c41"),
      V("vs_1_1 expp", "expp r0, c21.y", "vs_1_1"),
      V("relative read past c255", "mova a0.x, c22.x\nmov r0, c[a0.x + 255]"),
      V("add in place", "mov r0, c20\nadd r0, r0.wzyx, r0"),
      P("dp2add", "dp2add r0, t0, t1, t2.w"),
      P("cmp", "cmp r0, t0, t1, t2"),
      P("sincos", "sincos r0.xy, t1.y, c30, c31"),
      P("m3x3", "m3x3 r0.xyz, t1, c4"),
      P("texld", "texld r0, t0, s0"),
      P("texldp", "texldp r0, t2, s0"),
      P("texkill kills", "texkill t1\nmov r0, t0"),
      // t3 carries the vertex side's r0: all components positive here.
      {"texkill keeps", VertexSource("abs r0, c20"), PixelSource("texkill t3\nmov r0, t0")},
      P("saturate and negate", "add_sat r0, -t0, t1"),
  };
  for (const Case& c : cases) Check(c);
}

TEST_F(GLShaderTest, ConstantsAreUploadedOnlyWhenChanged) {
  ASSERT_TRUE(Bind(AssembleTokens(VertexSource("mov r0, c20")), AssembleTokens(PixelSource("mov r0, t3"))));
  dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  uint32_t linked = GLProgramsLinked(dev);
  ASSERT_TRUE(DrawQuad());
  uint32_t first = GLUniformUploads(dev);
  EXPECT_EQ(GLProgramsLinked(dev), linked + 1);
  // The same values again, and a draw: nothing to upload, nothing to link.
  dev->SetVertexShaderConstantF(20, &kInputs[0][0], 3);
  ASSERT_TRUE(DrawQuad());
  EXPECT_EQ(GLUniformUploads(dev), first);
  // One pixel constant changes: one upload, and the draw shows it.
  const float scale2[4] = {0.2f, 0.2f, 0.2f, 0.2f};
  dev->SetPixelShaderConstantF(0, scale2, 1);
  ASSERT_TRUE(DrawQuad());
  EXPECT_EQ(GLUniformUploads(dev), first + 1);
  // r0 = c20 = (0.3, -0.6, 0.8, 0.5): 0.2 * r0 + 0.5.
  EXPECT_TRUE(ColourNear(Pixel(kWidth / 2, kHeight / 2), D3DCOLOR_ARGB(153, 142, 97, 168), 1));
  EXPECT_EQ(GLProgramsLinked(dev), linked + 1);
}

}  // namespace
