// gldemo: a textured, lit box turning through an assembled vertex and pixel
// shader pair, with a fixed-function text-like banner on top, drawn by the
// OpenGL device in a hidden window. Writes the last frame as a PNG.
//
//   tarn-gldemo [output.png] [frames]
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "platform/gl/gl_device.h"
#include "platform/gpu/device.h"
#include "platform/image/image.h"
#include "platform/shader_asm/shader_asm.h"
#include "tests/gl/gl_context.h"
#include "tests/gl/lit_mesh.h"

namespace {

const int kWidth = 640, kHeight = 480;

// The register layout of the program's own shaders: c0-c3 projection,
// c4-c7 view, c8-c11 world (all transposed), c13 light direction, c16 light
// colour, c17 ambient.
const char* kVertexShader =
    "vs_2_0\n"
    "dcl_position v0\n"
    "dcl_normal v1\n"
    "dcl_texcoord0 v2\n"
    "m4x4 r0, v0, c8\n"
    "m4x4 r1, r0, c4\n"
    "m4x4 oPos, r1, c0\n"
    "m3x3 r2.xyz, v1, c8\n"
    "dp3 r3.x, r2, c13\n"
    "max r3.x, r3.x, c14.x\n"
    "mad oD0, r3.x, c16, c17\n"
    "mov oT0, v2\n";
const char* kPixelShader =
    "ps_2_0\n"
    "dcl v0\n"
    "dcl t0.xy\n"
    "dcl_2d s0\n"
    "texld r0, t0, s0\n"
    "mul r0, r0, v0\n"
    "mov oC0, r0\n";


struct Mat {
  float m[4][4];
};

Mat Mul(const Mat& a, const Mat& b) {
  Mat r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 4; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
  return r;
}

Mat Identity() {
  Mat r{};
  for (int i = 0; i < 4; ++i) r.m[i][i] = 1.0f;
  return r;
}

// Register r + i holds column i: what dp4 against a row vector needs.
void SetMatrix(IDirect3DDevice9* d, uint32_t reg, const Mat& m) {
  float t[4][4];
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) t[i][j] = m.m[j][i];
  d->SetVertexShaderConstantF(reg, &t[0][0], 4);
}

IDirect3DTexture9* MakeTexture(IDirect3DDevice9* d, uint32_t size,
                               uint32_t (*texel)(uint32_t x, uint32_t y)) {
  Image img;
  img.format = D3DFMT_A8R8G8B8;
  img.faces.resize(1);
  ImageLevel l{size, size, std::vector<uint8_t>(size_t(size) * size * 4)};
  for (uint32_t y = 0; y < size; ++y)
    for (uint32_t x = 0; x < size; ++x) {
      uint32_t c = texel(x, y);
      std::memcpy(&l.bytes[(size_t(y) * size + x) * 4], &c, 4);
    }
  img.faces[0].push_back(std::move(l));
  BuildMipChain(img);
  IDirect3DTexture9* t = nullptr;
  if (FAILED(d->CreateTextureFromImage(img, &t))) return nullptr;
  return t;
}

// Bricks: mortar lines every 8 rows, staggered joints.
uint32_t Brick(uint32_t x, uint32_t y) {
  uint32_t row = y / 8, shift = (row & 1) ? 8 : 0;
  bool mortar = (y % 8) == 0 || ((x + shift) % 16) == 0;
  uint32_t noise = (x * 73856093u ^ y * 19349663u) >> 28;
  if (mortar) return D3DCOLOR_ARGB(255, 200, 196, 186);
  return D3DCOLOR_ARGB(255, 150 + noise * 3, 60 + noise * 2, 40 + noise);
}

// "TARN" in a 5x7 dot font, white on transparent, two texels per dot.
uint32_t Letters(uint32_t x, uint32_t y) {
  static const char* glyphs[4][7] = {
      {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."},
      {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"},
      {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"},
      {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}};
  uint32_t gx = x / 2, gy = y / 2;  // 64 x 16 texels: 32 x 8 dots
  if (gy >= 1 && gy < 8) {
    uint32_t letter = gx / 8, col = gx % 8;
    if (letter < 4 && col >= 1 && col < 6 && glyphs[letter][gy - 1][col - 1] == '#')
      return 0xFFFFFFFF;
  }
  return 0x00FFFFFF;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out = argc > 1 ? argv[1] : std::string(TARN_BINARY_DIR) + "/gldemo.png";
  int frames = argc > 2 ? std::atoi(argv[2]) : 90;
  std::string why;
  GLTestContext* ctx = GLTestContext::Get(&why);
  if (!ctx) {
    Log("gldemo: no OpenGL 3.3 context: %s\n", why.c_str());
    return 1;
  }
  IDirect3DDevice9* dev = nullptr;
  if (FAILED(CreateGLDevice(kWidth, kHeight, &dev))) {
    Log("gldemo: CreateGLDevice failed\n");
    return 1;
  }
  SetGLPresentFunction(
      dev, [](void* w) { SDL_GL_SwapWindow(static_cast<SDL_Window*>(w)); }, ctx->window);

  // The box: four vertices and two triangles per face, outward normals,
  // counter-clockwise seen from outside as the models are wound.
  std::vector<LitVertex> verts;
  std::vector<uint32_t> indices;
  const float axes[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  for (const auto& n : axes) {
    // Two tangents with u x v = n.
    float u[3], v[3];
    if (n[0] != 0) {
      u[0] = 0; u[1] = n[0]; u[2] = 0;
      v[0] = 0; v[1] = 0; v[2] = 1;
    } else if (n[1] != 0) {
      u[0] = -n[1]; u[1] = 0; u[2] = 0;
      v[0] = 0; v[1] = 0; v[2] = 1;
    } else {
      u[0] = 1; u[1] = 0; u[2] = 0;
      v[0] = 0; v[1] = n[2]; v[2] = 0;
    }
    uint32_t base = uint32_t(verts.size());
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (const auto& c : corners) {
      LitVertex bv;
      for (int i = 0; i < 3; ++i) {
        bv.p[i] = n[i] + c[0] * u[i] + c[1] * v[i];
        bv.n[i] = n[i];
      }
      bv.uv[0] = (c[0] + 1) * 0.5f;
      bv.uv[1] = (1 - c[1]) * 0.5f;
      verts.push_back(bv);
    }
    for (uint32_t i : {0u, 1u, 2u, 0u, 2u, 3u}) indices.push_back(base + i);
  }
  LitMesh mesh = UploadLitMesh(dev, verts, indices);

  IDirect3DVertexShader9* vs = nullptr;
  IDirect3DPixelShader9* ps = nullptr;
  for (int kind = 0; kind < 2; ++kind) {
    const char* text = kind == 0 ? kVertexShader : kPixelShader;
    ShaderProgram prog;
    std::vector<uint32_t> tokens;
    if (FAILED(AssembleShaderText(text, std::strlen(text), "gldemo", prog))) return 1;
    SerializeShader(prog, tokens);
    HRESULT hr = kind == 0 ? dev->CreateVertexShader(tokens.data(), &vs)
                           : dev->CreatePixelShader(tokens.data(), &ps);
    if (FAILED(hr)) {
      Log("gldemo: shader creation failed\n");
      return 1;
    }
  }
  IDirect3DTexture9* bricks = MakeTexture(dev, 64, Brick);
  IDirect3DTexture9* letters = nullptr;
  {
    Image img;
    img.format = D3DFMT_A8R8G8B8;
    img.faces.resize(1);
    ImageLevel l{64, 16, std::vector<uint8_t>(64 * 16 * 4)};
    for (uint32_t y = 0; y < 16; ++y)
      for (uint32_t x = 0; x < 64; ++x) {
        uint32_t c = Letters(x, y);
        std::memcpy(&l.bytes[(y * 64 + x) * 4], &c, 4);
      }
    img.faces[0].push_back(std::move(l));
    BuildMipChain(img);
    dev->CreateTextureFromImage(img, &letters);
  }

  // Projection as the frame set-up builds it (view Y is depth, Z is up).
  const float fov = 60.0f, n = 0.1f, f = 100.0f;
  const float t = std::tan(fov * 3.14159265f / 360.0f), q = f / (f - n);
  Mat proj{};
  proj.m[0][0] = float(kHeight) / (float(kWidth) * t);
  proj.m[1][2] = q;
  proj.m[1][3] = 1.0f;
  proj.m[2][1] = 1.0f / t;
  proj.m[3][2] = -n * q;
  const float light[4] = {0.4f, -0.6f, 0.7f, 0.0f};
  const float zero[4] = {0, 0, 0, 0};
  const float lightColour[4] = {0.9f, 0.85f, 0.75f, 1.0f};
  const float ambient[4] = {0.25f, 0.27f, 0.32f, 0.0f};
  float len = std::sqrt(light[0] * light[0] + light[1] * light[1] + light[2] * light[2]);
  const float lightDir[4] = {light[0] / len, light[1] / len, light[2] / len, 0.0f};

  for (int frame = 0; frame < frames; ++frame) {
    float a = 0.6f + float(frame) * 0.03f;
    Mat rz = Identity(), rx = Identity(), tr = Identity();
    rz.m[0][0] = std::cos(a);
    rz.m[0][1] = std::sin(a);
    rz.m[1][0] = -std::sin(a);
    rz.m[1][1] = std::cos(a);
    float b = 0.45f;
    rx.m[1][1] = std::cos(b);
    rx.m[1][2] = std::sin(b);
    rx.m[2][1] = -std::sin(b);
    rx.m[2][2] = std::cos(b);
    tr.m[3][1] = 5.0f;
    Mat world = Mul(Mul(rz, rx), tr);

    dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, D3DCOLOR_ARGB(255, 40, 70, 110),
               1.0f, 0);
    dev->BeginScene();
    dev->SetRenderState(D3DRS_LIGHTING, 0);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    dev->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    dev->SetRenderState(D3DRS_ZWRITEENABLE, 1);
    for (uint32_t s = 0; s < 8; ++s) {
      dev->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
      dev->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
      dev->SetSamplerState(s, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    }
    SetMatrix(dev, 0, proj);
    SetMatrix(dev, 4, Identity());
    SetMatrix(dev, 8, world);
    dev->SetVertexShaderConstantF(13, lightDir, 1);
    dev->SetVertexShaderConstantF(14, zero, 1);
    dev->SetVertexShaderConstantF(16, lightColour, 1);
    dev->SetVertexShaderConstantF(17, ambient, 1);

    dev->SetVertexShader(vs);
    dev->SetPixelShader(ps);
    dev->SetTexture(0, bricks);
    mesh.Bind(dev);
    dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, uint32_t(verts.size()), 0,
                              uint32_t(indices.size() / 3));

    // The overlay, as text is drawn: fixed function, blended, no depth.
    dev->SetVertexShader(nullptr);
    dev->SetPixelShader(nullptr);
    dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    dev->SetRenderState(D3DRS_ZWRITEENABLE, 0);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    dev->SetTexture(0, nullptr);
    struct CV {
      float x, y, z, rhw;
      uint32_t c;
    } banner[4] = {{16, 16, 0, 1, 0x90000000}, {16, 96, 0, 1, 0x90000000},
                   {300, 16, 0, 1, 0x90000000}, {300, 96, 0, 1, 0x90000000}};
    dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, banner, sizeof(CV));
    struct TV {
      float x, y, z, rhw;
      uint32_t c;
      float u, v;
    } text[4] = {{28, 24, 0, 1, 0xFFFFD040, 0, 0}, {28, 88, 0, 1, 0xFFFFD040, 0, 1},
                 {284, 24, 0, 1, 0xFFFFD040, 1, 0}, {284, 88, 0, 1, 0xFFFFD040, 1, 1}};
    // Clamped, so the filter does not wrap the glyphs' bottom row to the top.
    dev->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    dev->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    dev->SetTexture(0, letters);
    dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, text, sizeof(TV));
    dev->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    dev->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    dev->EndScene();
    if (frame + 1 < frames) dev->Present();
  }

  std::vector<uint32_t> argb;
  uint32_t w = 0, h = 0;
  ReadGLBackBuffer(dev, argb, &w, &h);
  std::string reason;
  bool ok = WritePngFile(out.c_str(), w, h, argb, reason);
  if (!ok) Log("gldemo: can't write \"%s\": %s\n", out.c_str(), reason.c_str());
  dev->Present();

  dev->SetTexture(0, nullptr);
  dev->SetStreamSource(0, nullptr, 0, 0);
  dev->SetIndices(nullptr);
  dev->SetVertexDeclaration(nullptr);
  mesh.Release();
  vs->Release();
  ps->Release();
  bricks->Release();
  letters->Release();
  uint32_t left = dev->Release();
  Log("gldemo: %d frames, %s %s, device references left %u, GL errors %u\n", frames, out.c_str(),
      ok ? "written" : "NOT written", left, GLErrorCount());
  return ok && left == 0 && GLErrorCount() == 0 ? 0 : 1;
}
