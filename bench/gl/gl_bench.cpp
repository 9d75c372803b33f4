// Draw calls per second on the OpenGL device: small DrawPrimitiveUP quads
// (text and cursor drawing) and an indexed mesh of 100,000 triangles through
// an assembled shader pair (model drawing). Each batch ends with glFinish,
// so the figures include the rasteriser's work, not just queuing.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/gl/gl_device.h"
#include "platform/gpu/device.h"
#include "platform/image/image.h"
#include "platform/shader_asm/shader_asm.h"
#include "tests/gl/gl_context.h"
#include "tests/gl/lit_mesh.h"

namespace {

IDirect3DDevice9* NewDevice(benchmark::State& state) {
  std::string why;
  if (!GLTestContext::Get(&why)) {
    state.SkipWithError(("no OpenGL 3.3 context: " + why).c_str());
    return nullptr;
  }
  IDirect3DDevice9* dev = nullptr;
  if (FAILED(CreateGLDevice(1024, 768, &dev))) {
    state.SkipWithError("CreateGLDevice failed");
    return nullptr;
  }
  dev->SetRenderState(D3DRS_LIGHTING, 0);
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
  return dev;
}

// Text-sized textured quads, each its own DrawPrimitiveUP, blended.
void BM_DrawPrimitiveUPQuads(benchmark::State& state) {
  IDirect3DDevice9* dev = NewDevice(state);
  if (!dev) return;
  Image img;
  img.format = D3DFMT_A8R8G8B8;
  img.faces.resize(1);
  img.faces[0].push_back({16, 16, std::vector<uint8_t>(16 * 16 * 4, 0xC0)});
  BuildMipChain(img);
  IDirect3DTexture9* tex = nullptr;
  dev->CreateTextureFromImage(img, &tex);
  dev->SetTexture(0, tex);
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
  const int batch = int(state.range(0));
  struct V {
    float x, y, z, rhw, u, v;
  } q[4];
  int n = 0;
  for (auto _ : state) {
    dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    for (int i = 0; i < batch; ++i, ++n) {
      float x = float((n * 13) % 1000), y = float((n * 7) % 740), h = 20, w = 12;
      q[0] = {x, y, 0, 1, 0, 0};
      q[1] = {x, y + h, 0, 1, 0, 1};
      q[2] = {x + w, y, 0, 1, 1, 0};
      q[3] = {x + w, y + h, 0, 1, 1, 1};
      dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(V));
    }
    glFinish();
  }
  state.SetItemsProcessed(state.iterations() * batch);
  state.counters["draws/s"] =
      benchmark::Counter(double(state.iterations() * batch), benchmark::Counter::kIsRate);
  dev->SetTexture(0, nullptr);
  tex->Release();
  dev->Release();
}
BENCHMARK(BM_DrawPrimitiveUPQuads)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

// A 224 x 224 grid of quads (100,352 triangles) seen from above, one
// DrawIndexedPrimitive per iteration, through a vs_2_0 / ps_2_0 pair that
// transforms, lights and textures as the model shaders do.
void BM_DrawIndexedMesh100k(benchmark::State& state) {
  IDirect3DDevice9* dev = NewDevice(state);
  if (!dev) return;
  const int cells = 224;
  std::vector<LitVertex> verts;
  for (int y = 0; y <= cells; ++y)
    for (int x = 0; x <= cells; ++x) {
      float fx = float(x) / cells * 2 - 1, fy = float(y) / cells * 2 - 1;
      verts.push_back({{fx, fy, 0.05f * std::sin(fx * 9) * std::cos(fy * 7)}, {0, 0, 1}, {fx, fy}});
    }
  std::vector<uint32_t> idx;
  for (int y = 0; y < cells; ++y)
    for (int x = 0; x < cells; ++x) {
      uint32_t a = y * (cells + 1) + x, b = a + 1, c = a + cells + 1, d = c + 1;
      for (uint32_t i : {a, b, d, a, d, c}) idx.push_back(i);
    }
  LitMesh mesh = UploadLitMesh(dev, verts, idx);
  const char* vsText =
      "vs_2_0\ndcl_position v0\ndcl_normal v1\ndcl_texcoord0 v2\n"
      "m4x4 oPos, v0, c0\nm3x3 r0.xyz, v1, c8\ndp3 r1.x, r0, c13\nmax r1.x, r1.x, c14.x\n"
      "mov oD0, r1.x\nmov oT0, v2\n";
  const char* psText =
      "ps_2_0\ndcl v0\ndcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0\nmul oC0, r0, v0\n";
  IDirect3DVertexShader9* vs = nullptr;
  IDirect3DPixelShader9* ps = nullptr;
  ShaderProgram prog;
  std::vector<uint32_t> tokens;
  AssembleShaderText(vsText, std::strlen(vsText), "bench", prog);
  SerializeShader(prog, tokens);
  dev->CreateVertexShader(tokens.data(), &vs);
  AssembleShaderText(psText, std::strlen(psText), "bench", prog);
  SerializeShader(prog, tokens);
  dev->CreatePixelShader(tokens.data(), &ps);
  if (!vs || !ps) {
    state.SkipWithError("shaders did not assemble");
    return;
  }
  Image img;
  img.format = D3DFMT_A8R8G8B8;
  img.faces.resize(1);
  img.faces[0].push_back({64, 64, std::vector<uint8_t>(64 * 64 * 4, 0x9F)});
  BuildMipChain(img);
  IDirect3DTexture9* tex = nullptr;
  dev->CreateTextureFromImage(img, &tex);

  // Clip = p * M with M scaling the grid onto 90% of the screen, z = 0.5.
  const float m[4][4] = {{0.9f, 0, 0, 0}, {0, 0.9f, 0, 0}, {0, 0, 0.1f, 0}, {0, 0, 0.5f, 1}};
  float t[4][4];
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) t[i][j] = m[j][i];
  const float ident[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  const float light[4] = {0.3f, 0.2f, 0.93f, 0}, zero[4] = {0, 0, 0, 0};
  dev->SetVertexShaderConstantF(0, &t[0][0], 4);
  dev->SetVertexShaderConstantF(8, &ident[0][0], 4);
  dev->SetVertexShaderConstantF(13, light, 1);
  dev->SetVertexShaderConstantF(14, zero, 1);
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  dev->SetVertexShader(vs);
  dev->SetPixelShader(ps);
  dev->SetTexture(0, tex);
  mesh.Bind(dev);
  const uint32_t tris = uint32_t(idx.size() / 3);
  for (auto _ : state) {
    dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, uint32_t(verts.size()), 0, tris);
    glFinish();
  }
  state.SetItemsProcessed(state.iterations() * tris);
  state.counters["draws/s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["triangles"] = double(tris);
  dev->SetTexture(0, nullptr);
  dev->SetVertexShader(nullptr);
  dev->SetPixelShader(nullptr);
  dev->SetStreamSource(0, nullptr, 0, 0);
  dev->SetIndices(nullptr);
  dev->SetVertexDeclaration(nullptr);
  mesh.Release();
  for (IUnknown* r : std::initializer_list<IUnknown*>{vs, ps, tex}) r->Release();
  dev->Release();
}
BENCHMARK(BM_DrawIndexedMesh100k)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
