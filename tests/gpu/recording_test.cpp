#include "platform/gpu/recording.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "platform/shader_asm/shader_asm.h"

namespace {

std::vector<uint32_t> Assemble(const char* text) {
  ShaderProgram p;
  EXPECT_EQ(AssembleShaderText(text, std::strlen(text), "test", p), D3D_OK) << text;
  std::vector<uint32_t> tokens;
  SerializeShader(p, tokens);
  return tokens;
}

// One level of grey texels per face.
Image SolidImage(uint32_t w, uint32_t h, bool cube = false) {
  Image img;
  img.format = D3DFMT_A8R8G8B8;
  img.cube = cube;
  img.faces.assign(cube ? 6 : 1, {ImageLevel{w, h, std::vector<uint8_t>(size_t(w) * h * 4, 0x80)}});
  return img;
}

class RecordingTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(dev->Release(), 0u) << "leaked resources"; }
  RecordingDevice* dev = CreateRecordingDevice();
};

TEST_F(RecordingTest, DrawsCarryTheStateOfTheirMomentAndACopyOfTheVertices) {
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
  float c2[4] = {0.5f, 0.25f, 1.0f, 1.0f};
  dev->SetPixelShaderConstantF(2, c2, 1);
  dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  struct { float x, y, z; uint32_t colour; } v[3] = {
      {0, 0, 0, 0xFF112233}, {1, 0, 0, 0xFF445566}, {0, 1, 0, 0xFF778899}};
  ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof v[0]), D3D_OK);
  v[0].x = 99.0f;  // the recording must not see later changes of the caller's memory
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_LINELIST, 1, v, sizeof v[0]), D3D_OK);

  auto draws = dev->Draws();
  ASSERT_EQ(draws.size(), 2u);
  const RecordedCall& a = *draws[0];
  EXPECT_EQ(a.state->renderState(D3DRS_CULLMODE), D3DCULL_CW);
  EXPECT_EQ(a.state->pixelConstants[2][0], 0.5f);
  EXPECT_EQ(a.vertexUint(2, 12), 0xFF778899u);
  EXPECT_EQ(a.vertexFloat(3, 0), 0.0f);  // beyond the vertices: neutral
  const RecordedCall& b = *draws[1];
  EXPECT_EQ(b.state->renderState(D3DRS_CULLMODE), D3DCULL_NONE);
  EXPECT_EQ(b.vertexCount(), 2u);
  EXPECT_EQ(b.vertexFloat(0, 0), 99.0f);
  // The calls are kept in order with their arguments.
  ASSERT_EQ(dev->calls().size(), 6u);
  EXPECT_EQ(dev->calls()[0].describe(), "SetRenderState(22, 2)");
  // Vertex counts of strips and fans: what is copied.
  for (auto [type, prims, verts] : {std::tuple{D3DPT_TRIANGLESTRIP, 2u, 4u}, {D3DPT_TRIANGLEFAN, 3u, 5u},
                                    {D3DPT_LINESTRIP, 4u, 5u}}) {
    float many[6 * 4] = {};
    ASSERT_EQ(dev->DrawPrimitiveUP(type, prims, many, sizeof v[0]), D3D_OK);
    EXPECT_EQ(dev->Draws().back()->vertexCount(), verts) << type;
  }
}

TEST_F(RecordingTest, BadArgumentsFailWithoutChangingState) {
  float c[4 * 4] = {1, 2, 3, 4};
  EXPECT_EQ(dev->SetVertexShaderConstantF(255, c, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->SetVertexShaderConstantF(0xFFFFFFFFu, c, 2), D3DERR_INVALIDCALL);  // wraps
  EXPECT_EQ(dev->SetVertexShaderConstantF(255, c, 1), D3D_OK);
  EXPECT_EQ(dev->SetPixelShaderConstantF(31, c, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->state().pixelConstants[31][0], 0.0f);
  EXPECT_EQ(dev->state().vertexConstants[255][3], 4.0f);
  EXPECT_EQ(dev->SetTexture(8, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->SetRenderState(D3DRENDERSTATETYPE(300), 1), D3DERR_INVALIDCALL);
  float v[12] = {};
  // No vertex format yet; then vertices shorter than the format.
  EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, 16), D3DERR_INVALIDCALL);
  dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, 12), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, nullptr, 16), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->EndScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->BeginScene(), D3D_OK);
  EXPECT_EQ(dev->BeginScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->Present(), D3DERR_INVALIDCALL);
}

TEST_F(RecordingTest, BuffersLockIntoRealMemoryAndIndexedDrawsAreChecked) {
  IDirect3DVertexBuffer9* vb = nullptr;
  IDirect3DIndexBuffer9* ib = nullptr;
  ASSERT_EQ(dev->CreateVertexBuffer(72 * 4, 0, 0, D3DPOOL_MANAGED, &vb), D3D_OK);
  ASSERT_EQ(dev->CreateIndexBuffer(12 * 2, 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, &ib), D3D_OK);
  void *p = nullptr, *q = nullptr;
  ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
  EXPECT_EQ(vb->Lock(0, 0, &q, 0), D3DERR_INVALIDCALL);  // already locked
  ASSERT_EQ(vb->Unlock(), D3D_OK);
  EXPECT_EQ(vb->Lock(280, 16, &q, 0), D3DERR_INVALIDCALL);  // past the end
  EXPECT_EQ(q, nullptr);
  ASSERT_EQ(vb->Lock(72, 72, &q, 0), D3D_OK);
  EXPECT_EQ(static_cast<uint8_t*>(q) - static_cast<uint8_t*>(p), 72);
  vb->Unlock();
  const uint32_t idx[6] = {0, 1, 2, 2, 1, 3};
  ASSERT_EQ(ib->Lock(0, 0, &p, 0), D3D_OK);
  std::memcpy(p, idx, sizeof idx);
  ib->Unlock();
  dev->SetFVF(D3DFVF_XYZ);
  dev->SetStreamSource(0, vb, 0, 72);
  dev->SetIndices(ib);
  // Past the index buffer's end, or reaching vertices beyond the stream.
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 3, 1), D3D_OK);
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 3, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 4, 0, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 4, 0, 1), D3D_OK);
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, -1, 0, 4, 0, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, -1, 0, 4, 3, 1), D3D_OK);
  auto draws = dev->Draws();
  ASSERT_EQ(draws.size(), 7u);
  static const D3DVERTEXELEMENT9 bad[] = {{0, 0, 99, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
  IDirect3DVertexDeclaration9* none = reinterpret_cast<IDirect3DVertexDeclaration9*>(1);
  EXPECT_EQ(dev->CreateVertexDeclaration(bad, &none), D3DERR_INVALIDCALL);
  EXPECT_EQ(none, nullptr);
  dev->SetStreamSource(0, nullptr, 0, 0);
  dev->SetIndices(nullptr);
  EXPECT_EQ(vb->Release(), 0u);
  // The recording still holds the index buffer after the program let go.
  EXPECT_EQ(static_cast<IDirect3DIndexBuffer9*>(draws[0]->state->indices.get())->Release(), 0u);
  EXPECT_EQ(dev->liveResources(), 0u);
  EXPECT_EQ(draws[0]->state->indices.get()->Length(), 24u);
}

TEST_F(RecordingTest, ReferenceCountsFollowDirect3D9) {
  IDirect3DTexture9* tex = nullptr;
  IDirect3DCubeTexture9* cube = nullptr;
  IDirect3DVertexBuffer9* vb = nullptr;
  IDirect3DPixelShader9* ps = nullptr;
  ASSERT_EQ(dev->CreateTextureFromImage(SolidImage(4, 2), &tex), D3D_OK);
  ASSERT_EQ(dev->CreateCubeTextureFromImage(SolidImage(2, 2, true), &cube), D3D_OK);
  ASSERT_EQ(dev->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &vb), D3D_OK);
  ASSERT_EQ(dev->CreatePixelShader(Assemble("ps_2_0\nmov oC0, c0\n").data(), &ps), D3D_OK);
  EXPECT_EQ(dev->liveResources(), 4u);
  EXPECT_EQ(dev->refCount(), 5u);  // every resource holds the device
  // Binding does not change the counts the program sees.
  EXPECT_EQ(dev->SetTexture(0, tex), D3D_OK);
  EXPECT_EQ(dev->SetTexture(7, cube), D3D_OK);
  EXPECT_EQ(tex->AddRef(), 2u);
  EXPECT_EQ(tex->Release(), 1u);
  EXPECT_EQ(tex->Release(), 0u);
  // Still bound: the device keeps it usable, but it no longer counts.
  EXPECT_EQ(dev->liveResources(), 3u);
  EXPECT_EQ(dev->refCount(), 4u);
  EXPECT_EQ(dev->state().textures[0].get()->Width(), 4u);
  EXPECT_EQ(dev->SetTexture(0, nullptr), D3D_OK);  // frees it
  for (IUnknown* r : std::initializer_list<IUnknown*>{cube, vb, ps}) EXPECT_EQ(r->Release(), 0u);
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

TEST_F(RecordingTest, ShadersAndTexturesAreCheckedBeforeUse) {
  auto ps = Assemble("ps_2_0\ndcl v0\nmov oC0, v0\n");
  IDirect3DVertexShader9* wrong = nullptr;
  EXPECT_EQ(dev->CreateVertexShader(ps.data(), &wrong), D3DERR_INVALIDCALL);
  EXPECT_EQ(wrong, nullptr);
  uint32_t garbage[8] = {0x12345678, 1, 2, 3, 4, 5, 6, kShaderEndToken};
  EXPECT_EQ(dev->CreateVertexShader(garbage, &wrong), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->CreateVertexShader(nullptr, &wrong), D3DERR_INVALIDCALL);

  IDirect3DTexture9* t = nullptr;
  Image img = SolidImage(8, 4);
  img.faces[0][0].bytes.pop_back();  // short level
  EXPECT_EQ(dev->CreateTextureFromImage(img, &t), D3DERR_INVALIDCALL);
  EXPECT_EQ(t, nullptr);
  IDirect3DCubeTexture9* c = nullptr;
  EXPECT_EQ(dev->CreateCubeTextureFromImage(SolidImage(4, 4), &c), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->CreateCubeTextureFromImage(SolidImage(4, 2, true), &c), D3DERR_INVALIDCALL);
  Image chain = SolidImage(4, 2);
  chain.faces[0].push_back({2, 1, std::vector<uint8_t>(8)});
  chain.faces[0].push_back({1, 1, std::vector<uint8_t>(4)});
  ASSERT_EQ(dev->CreateTextureFromImage(chain, &t), D3D_OK);
  EXPECT_EQ(t->Release(), 0u);
  chain.faces[0].push_back({1, 1, std::vector<uint8_t>(4)});  // one level too many
  EXPECT_EQ(dev->CreateTextureFromImage(chain, &t), D3DERR_INVALIDCALL);
}

}  // namespace
