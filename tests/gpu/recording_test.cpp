#include "platform/gpu/recording.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/shader_asm/shader_asm.h"

namespace {

std::vector<uint32_t> Assemble(const char* text) {
  ShaderProgram p;
  EXPECT_EQ(AssembleShaderText(text, std::strlen(text), "test", p), D3D_OK) << text;
  std::vector<uint32_t> tokens;
  SerializeShader(p, tokens);
  return tokens;
}

Image SolidImage(uint32_t w, uint32_t h, uint32_t argb, bool cube = false) {
  Image img;
  img.format = D3DFMT_A8R8G8B8;
  img.cube = cube;
  img.faces.resize(cube ? 6 : 1);
  ImageLevel l{w, h, std::vector<uint8_t>(size_t(w) * h * 4)};
  for (size_t i = 0; i < size_t(w) * h; ++i) std::memcpy(&l.bytes[i * 4], &argb, 4);
  for (auto& face : img.faces) face.push_back(l);
  return img;
}

struct ColouredVertex {
  float x, y, z;
  uint32_t colour;
};

class RecordingTest : public ::testing::Test {
 protected:
  void SetUp() override { dev = CreateRecordingDevice(); }
  void TearDown() override {
    if (dev) {
      EXPECT_EQ(dev->Release(), 0u) << "leaked resources";
    }
  }
  RecordingDevice* dev = nullptr;
};

// The states the program relies on without ever setting them.
TEST_F(RecordingTest, DefaultsAreDirect3DNines) {
  EXPECT_EQ(dev->state().renderState(D3DRS_LIGHTING), 1u);
  EXPECT_EQ(dev->state().renderState(D3DRS_CULLMODE), D3DCULL_CCW);
  EXPECT_EQ(dev->state().samplerState(7, D3DSAMP_ADDRESSU), D3DTADDRESS_WRAP);
}

TEST_F(RecordingTest, DrawsCarryTheStateOfTheirMomentAndACopyOfTheVertices) {
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
  float c2[4] = {0.5f, 0.25f, 1.0f, 1.0f};
  dev->SetPixelShaderConstantF(2, c2, 1);
  D3DMATRIX world = IdentityMatrix();
  world.m[3][0] = 7.0f;
  dev->SetTransform(D3DTS_WORLD, &world);
  dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  ColouredVertex v[3] = {{0, 0, 0, 0xFF112233}, {1, 0, 0, 0xFF445566}, {0, 1, 0, 0xFF778899}};
  ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(ColouredVertex)), D3D_OK);
  v[0].x = 99.0f;  // the recording must not see later changes of the caller's memory

  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  c2[0] = 0.0f;
  dev->SetPixelShaderConstantF(2, c2, 1);
  ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_LINELIST, 1, v, sizeof(ColouredVertex)), D3D_OK);

  auto draws = dev->Draws();
  ASSERT_EQ(draws.size(), 2u);
  const RecordedCall& a = *draws[0];
  EXPECT_EQ(a.state->renderState(D3DRS_CULLMODE), D3DCULL_CW);
  EXPECT_EQ(a.state->pixelConstants[2][0], 0.5f);
  EXPECT_EQ(a.state->world.m[3][0], 7.0f);
  EXPECT_EQ(a.vertexCount(), 3u);
  EXPECT_EQ(a.vertexFloat(0, 0), 0.0f);
  EXPECT_EQ(a.vertexUint(2, 12), 0xFF778899u);
  EXPECT_EQ(a.vertexFloat(3, 0), 0.0f);  // beyond the vertices: neutral

  const RecordedCall& b = *draws[1];
  EXPECT_EQ(b.state->renderState(D3DRS_CULLMODE), D3DCULL_NONE);
  EXPECT_EQ(b.state->pixelConstants[2][0], 0.0f);
  EXPECT_EQ(b.vertexCount(), 2u);
  EXPECT_EQ(b.vertexFloat(0, 0), 99.0f);

  // The calls are kept in order with their arguments.
  ASSERT_EQ(dev->calls().size(), 8u);
  EXPECT_EQ(dev->calls()[0].describe(), "SetRenderState(22, 2)");
  EXPECT_EQ(dev->calls()[1].f, std::vector<float>({0.5f, 0.25f, 1.0f, 1.0f}));
  dev->clearCalls();
  EXPECT_TRUE(dev->calls().empty());
}

TEST_F(RecordingTest, FormatAndDeclarationReplaceEachOtherAndSetTheVertexSize) {
  static const D3DVERTEXELEMENT9 decl[] = {
      {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
  IDirect3DVertexDeclaration9* vd = nullptr;
  ASSERT_EQ(dev->CreateVertexDeclaration(decl, &vd), D3D_OK);
  dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  EXPECT_EQ(dev->state().vertexElements().size(), 2u);
  dev->SetVertexDeclaration(vd);
  EXPECT_EQ(dev->state().fvf, 0u);
  EXPECT_EQ(dev->state().vertexElements().size(), 1u);
  dev->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
  EXPECT_FALSE(dev->state().declaration);
  auto e = dev->state().vertexElements();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[1].Usage, D3DDECLUSAGE_TEXCOORD);
  EXPECT_EQ(e[1].Offset, 12u);
  EXPECT_EQ(vd->Release(), 0u);

  // Vertex counts of strips and fans.
  float v[6 * 6] = {};
  dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
  ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, 24), D3D_OK);
  ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 3, v, 24), D3D_OK);
  ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_LINESTRIP, 4, v, 24), D3D_OK);
  // A user-memory draw leaves stream 0 unset, as Direct3D 9 does.
  IDirect3DVertexBuffer9* vb = nullptr;
  ASSERT_EQ(dev->CreateVertexBuffer(96, 0, 0, D3DPOOL_MANAGED, &vb), D3D_OK);
  dev->SetStreamSource(0, vb, 24, 24);
  ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 0, v, 24), D3D_OK);  // draws nothing
  EXPECT_EQ(dev->state().streamBuffer.get(), vb);
  ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, 24), D3D_OK);
  EXPECT_EQ(dev->Draws().back()->state->streamBuffer.get(), vb);
  EXPECT_FALSE(dev->state().streamBuffer);
  EXPECT_EQ(dev->state().streamStride, 0u);
  EXPECT_EQ(vb->Release(), 0u);
  // A zero format is ignored.
  EXPECT_EQ(dev->SetFVF(0), D3D_OK);
  EXPECT_EQ(dev->state().fvf, uint32_t(D3DFVF_XYZRHW | D3DFVF_TEX1));

  auto d = dev->Draws();
  EXPECT_EQ(d[0]->vertexCount(), 4u);
  EXPECT_EQ(d[1]->vertexCount(), 5u);
  EXPECT_EQ(d[2]->vertexCount(), 5u);
}

TEST_F(RecordingTest, BadArgumentsFailWithoutChangingState) {
  float c[4 * 4] = {1, 2, 3, 4};
  EXPECT_EQ(dev->SetVertexShaderConstantF(255, c, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->SetVertexShaderConstantF(0xFFFFFFFFu, c, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->SetVertexShaderConstantF(255, c, 1), D3D_OK);
  EXPECT_EQ(dev->SetPixelShaderConstantF(31, c, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->SetPixelShaderConstantF(0, nullptr, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->state().pixelConstants[31][0], 0.0f);
  EXPECT_EQ(dev->state().vertexConstants[255][3], 4.0f);
  EXPECT_EQ(dev->SetTexture(8, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->SetRenderState(D3DRENDERSTATETYPE(300), 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->SetTransform(D3DTRANSFORMSTATETYPE(17), nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->SetStreamSource(1, nullptr, 0, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->SetFVF(0x10000), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->GetViewport(nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->Clear(0, 0, 1.0f, 0), D3DERR_INVALIDCALL);

  float v[12] = {};
  // No vertex format yet; then vertices shorter than the format.
  EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, 16), D3DERR_INVALIDCALL);
  dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, 12), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, nullptr, 16), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 0, v, 16), D3D_OK);  // nothing drawn
  EXPECT_TRUE(dev->Draws().back()->bytes.empty());
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_INVALIDCALL);

  EXPECT_EQ(dev->EndScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->BeginScene(), D3D_OK);
  EXPECT_EQ(dev->BeginScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->Present(), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->EndScene(), D3D_OK);
  EXPECT_EQ(dev->Present(), D3D_OK);
  // Failed calls are recorded with their result.
  EXPECT_EQ(dev->calls().front().result, D3DERR_INVALIDCALL);
  EXPECT_NE(dev->calls().front().describe().find("-> 0x8876086C"), std::string::npos);
}

TEST_F(RecordingTest, BuffersLockIntoRealMemoryAndIndexedDrawsAreChecked) {
  IDirect3DVertexBuffer9* vb = nullptr;
  IDirect3DIndexBuffer9* ib = nullptr;
  ASSERT_EQ(dev->CreateVertexBuffer(72 * 4, 0, 0, D3DPOOL_MANAGED, &vb), D3D_OK);
  ASSERT_EQ(dev->CreateIndexBuffer(12 * 2, 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, &ib), D3D_OK);
  void* p = nullptr;
  ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
  void* q = nullptr;
  EXPECT_EQ(vb->Lock(0, 0, &q, 0), D3DERR_INVALIDCALL);  // already locked
  std::memset(p, 0x3F, 288);
  ASSERT_EQ(vb->Unlock(), D3D_OK);
  EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
  EXPECT_EQ(vb->Lock(280, 16, &q, 0), D3DERR_INVALIDCALL);  // past the end
  EXPECT_EQ(q, nullptr);
  ASSERT_EQ(vb->Lock(72, 72, &q, 0), D3D_OK);
  EXPECT_EQ(static_cast<uint8_t*>(q) - static_cast<uint8_t*>(p), 72);
  vb->Unlock();

  uint32_t idx[6] = {0, 1, 2, 2, 1, 3};
  ASSERT_EQ(ib->Lock(0, 0, &p, 0), D3D_OK);
  std::memcpy(p, idx, sizeof idx);
  ib->Unlock();

  static const D3DVERTEXELEMENT9 decl[] = {
      {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
      {0, 60, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_TEXCOORD, 1},
      D3DDECL_END()};
  IDirect3DVertexDeclaration9* vd = nullptr;
  ASSERT_EQ(dev->CreateVertexDeclaration(decl, &vd), D3D_OK);
  dev->SetVertexDeclaration(vd);
  dev->SetStreamSource(0, vb, 0, 72);
  dev->SetIndices(ib);
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 3, 1), D3D_OK);
  // Past the index buffer's end, or reaching vertices beyond the stream.
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 3, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 4, 0, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 4, 0, 1), D3D_OK);
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, -1, 0, 4, 0, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, -1, 0, 4, 3, 1), D3D_OK);

  auto draws = dev->Draws();
  ASSERT_EQ(draws.size(), 7u);
  EXPECT_EQ(draws[1]->state->indices.get(), ib);

  // Bad declarations.
  static const D3DVERTEXELEMENT9 bad[] = {{0, 0, 99, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
  IDirect3DVertexDeclaration9* none = reinterpret_cast<IDirect3DVertexDeclaration9*>(1);
  EXPECT_EQ(dev->CreateVertexDeclaration(bad, &none), D3DERR_INVALIDCALL);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(dev->CreateIndexBuffer(12, 0, D3DFMT_INDEX16, 0, &ib), D3DERR_INVALIDCALL);

  dev->SetStreamSource(0, nullptr, 0, 0);
  dev->SetIndices(nullptr);
  dev->SetVertexDeclaration(nullptr);
  EXPECT_EQ(vb->Release(), 0u);
  EXPECT_EQ(vd->Release(), 0u);
  // The recording still holds the index buffer after the program let go.
  EXPECT_EQ(static_cast<IDirect3DIndexBuffer9*>(draws[0]->state->indices.get())->Release(), 0u);
  EXPECT_EQ(dev->liveResources(), 0u);
  EXPECT_EQ(draws[0]->state->indices.get()->Length(), 24u);
}

TEST_F(RecordingTest, ReferenceCountsFollowDirect3D9) {
  EXPECT_EQ(dev->refCount(), 1u);
  IDirect3DVertexBuffer9* vb = nullptr;
  IDirect3DTexture9* tex = nullptr;
  IDirect3DCubeTexture9* cube = nullptr;
  ASSERT_EQ(dev->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &vb), D3D_OK);
  ASSERT_EQ(dev->CreateTextureFromImage(SolidImage(4, 2, 0xFF0000FF), &tex), D3D_OK);
  ASSERT_EQ(dev->CreateCubeTextureFromImage(SolidImage(2, 2, 0xFF00FF00, true), &cube), D3D_OK);
  EXPECT_EQ(dev->liveResources(), 3u);
  // Every resource holds the device: releasing it now reports three leaks.
  EXPECT_EQ(dev->refCount(), 4u);

  // Binding does not change the counts the program sees.
  EXPECT_EQ(dev->SetTexture(0, tex), D3D_OK);
  EXPECT_EQ(dev->SetTexture(7, cube), D3D_OK);
  EXPECT_EQ(tex->AddRef(), 2u);
  EXPECT_EQ(tex->Release(), 1u);
  EXPECT_EQ(tex->Release(), 0u);
  // Still bound: the device keeps it usable, but it no longer counts.
  EXPECT_EQ(dev->liveResources(), 2u);
  EXPECT_EQ(dev->refCount(), 3u);
  EXPECT_EQ(dev->state().textures[0].get()->Width(), 4u);
  EXPECT_EQ(dev->SetTexture(0, nullptr), D3D_OK);  // frees it

  EXPECT_EQ(vb->Release(), 0u);
  EXPECT_EQ(cube->Release(), 0u);
  EXPECT_EQ(dev->liveResources(), 0u);
  EXPECT_EQ(dev->refCount(), 1u);

  // A leak shows in the device's own Release.
  RecordingDevice* other = CreateRecordingDevice();
  IDirect3DVertexBuffer9* leak = nullptr;
  ASSERT_EQ(other->CreateVertexBuffer(16, 0, 0, 0, &leak), D3D_OK);
  EXPECT_EQ(other->Release(), 1u);
  // Resources of another device are refused.
  EXPECT_EQ(dev->SetStreamSource(0, leak, 0, 16), D3DERR_INVALIDCALL);
  EXPECT_EQ(leak->Release(), 0u);  // the last reference: the device goes too
}

TEST_F(RecordingTest, ShadersMustBeWellFormedAssembledCode) {
  auto vs = Assemble("vs_1_1\ndcl_position v0\nm4x4 oPos, v0, c0\n");
  auto ps = Assemble("ps_2_0\ndcl v0\nmov oC0, v0\n");
  IDirect3DVertexShader9* v = nullptr;
  IDirect3DPixelShader9* p = nullptr;
  ASSERT_EQ(dev->CreateVertexShader(vs.data(), &v), D3D_OK);
  ASSERT_EQ(dev->CreatePixelShader(ps.data(), &p), D3D_OK);
  EXPECT_EQ(static_cast<RecordingVertexShader*>(v)->program.code.size(), 1u);

  IDirect3DVertexShader9* wrong = nullptr;
  EXPECT_EQ(dev->CreateVertexShader(ps.data(), &wrong), D3DERR_INVALIDCALL);
  EXPECT_EQ(wrong, nullptr);
  uint32_t garbage[8] = {0x12345678, 1, 2, 3, 4, 5, 6, kShaderEndToken};
  EXPECT_EQ(dev->CreateVertexShader(garbage, &wrong), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->CreateVertexShader(nullptr, &wrong), D3DERR_INVALIDCALL);

  dev->failCreateShader = D3DERR_OUTOFVIDEOMEMORY;
  EXPECT_EQ(dev->CreateVertexShader(vs.data(), &wrong), D3DERR_OUTOFVIDEOMEMORY);
  EXPECT_EQ(wrong, nullptr);

  EXPECT_EQ(v->Release(), 0u);
  EXPECT_EQ(p->Release(), 0u);
  EXPECT_EQ(dev->CallsOf(CallKind::CreateVertexShader).size(), 5u);
}

TEST_F(RecordingTest, TexturesAreCheckedBeforeUpload) {
  IDirect3DTexture9* t = nullptr;
  Image img = SolidImage(8, 4, 0xFFFFFFFF);
  img.faces[0][0].bytes.pop_back();  // short level
  EXPECT_EQ(dev->CreateTextureFromImage(img, &t), D3DERR_INVALIDCALL);
  EXPECT_EQ(t, nullptr);
  Image empty;
  EXPECT_EQ(dev->CreateTextureFromImage(empty, &t), D3DERR_INVALIDCALL);
  IDirect3DCubeTexture9* c = nullptr;
  EXPECT_EQ(dev->CreateCubeTextureFromImage(SolidImage(4, 4, 0), &c), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->CreateCubeTextureFromImage(SolidImage(4, 2, 0, true), &c), D3DERR_INVALIDCALL);

  Image chain = SolidImage(4, 2, 0xFF808080);
  chain.faces[0].push_back({2, 1, std::vector<uint8_t>(8)});
  chain.faces[0].push_back({1, 1, std::vector<uint8_t>(4)});
  ASSERT_EQ(dev->CreateTextureFromImage(chain, &t), D3D_OK);
  EXPECT_EQ(t->LevelCount(), 3u);
  chain.faces[0].push_back({1, 1, std::vector<uint8_t>(4)});  // one level too many
  IDirect3DTexture9* t2 = nullptr;
  EXPECT_EQ(dev->CreateTextureFromImage(chain, &t2), D3DERR_INVALIDCALL);

  Image dxt;
  dxt.format = D3DFMT_DXT1;
  dxt.faces.resize(1);
  dxt.faces[0].push_back({8, 8, std::vector<uint8_t>(32)});
  ASSERT_EQ(dev->CreateTextureFromImage(dxt, &t2), D3D_OK);
  EXPECT_EQ(dev->CallsOf(CallKind::CreateTexture).size(), 5u);  // failed ones recorded too

  dev->failCreateTexture = D3DERR_OUTOFVIDEOMEMORY;
  IDirect3DTexture9* t3 = nullptr;
  EXPECT_EQ(dev->CreateTextureFromImage(SolidImage(1, 1, 0), &t3), D3DERR_OUTOFVIDEOMEMORY);
  EXPECT_EQ(t3, nullptr);
  t->Release();
  t2->Release();
}

}  // namespace
