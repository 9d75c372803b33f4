// Texture and shader registries on the recording device: load-or-get, the
// paths and failure lines, kinds, release one and release all.
#include <vector>

#include "test_support.h"

namespace {

class ResourcesTest : public AssetTest {
 protected:
  void SetUp() override {
    AssetTest::SetUp();
    UseDevice();
  }
};

TEST_F(ResourcesTest, TexturesAreSharedByExactName) {
  std::vector<uint8_t> tga(18 + 16, 0x5A);  // 2 x 2, 32-bit uncompressed
  std::fill(tga.begin(), tga.begin() + 18, 0);
  tga[2] = 2, tga[12] = 2, tga[14] = 2, tga[16] = 32;
  WriteBytes("Textures/Island.tga", tga);
  LogCapture log;
  TextureRecord* a = LoadTexture(String("Island.tga"), false);
  EXPECT_EQ(LoadTexture(String("Island.tga"), true), a);  // the kind stays 2D
  EXPECT_EQ(log.text(), "");
  EXPECT_TRUE(a->refs == 2u && a->kind == 0u);
  ASSERT_NE(a->texture, nullptr);
  EXPECT_EQ(a->texture->GetType(), D3DRTYPE_TEXTURE);
  EXPECT_EQ(rec->Count(CallKind::CreateTexture), 1u);  // loaded once

  TextureRecord* upper = LoadTexture(String("ISLAND.tga"), false);
  EXPECT_NE(upper, a);
  EXPECT_EQ(TextureList, upper);
  EXPECT_EQ(log.text(), "Loading texture \"Textures/ISLAND.tga\"... D3DXERR_INVALIDDATA\n");
  EXPECT_EQ(upper->texture, nullptr);
  // One release drops one reference; release-all empties the list whatever
  // the counts (the device must then hold no live objects).
  ReleaseTexture(a);
  EXPECT_EQ(a->refs, 1u);
  upper->refs = 3;
  ReleaseAllTextures();
  EXPECT_EQ(TextureList, nullptr);
}

TEST_F(ResourcesTest, ShadersAssembleCreateAndReportFailures) {
  WriteText("Shaders/Default.VSH", "vs_1_1\ndcl_position v0\nm4x4 oPos, v0, c0\n");
  WriteText("Shaders/Default.PSH", "ps_2_0\nmov oC0, c0\n");
  WriteText("Shaders/Broken.PSH", "ps_2_0\nfrobnicate r0\n");
  LogCapture log;
  VertexShaderRecord* v = LoadVertexShader(String("Default"));
  PixelShaderRecord* p = LoadPixelShader(String("Default"));
  EXPECT_EQ(log.text(), "");
  EXPECT_NE(v->shader, nullptr);
  EXPECT_NE(p->shader, nullptr);
  EXPECT_EQ(LoadPixelShader(String("Default")), p);
  EXPECT_EQ(p->refs, 2u);
  EXPECT_EQ(rec->Count(CallKind::CreatePixelShader), 1u);

  log.clear();
  VertexShaderRecord* missing = LoadVertexShader(String("Sky"));
  EXPECT_EQ(log.text(), "Assembling vertex shader \"Shaders/Sky.VSH\"... D3DXERR_INVALIDDATA\n");
  EXPECT_EQ(missing->shader, nullptr);
  log.clear();
  PixelShaderRecord* broken = LoadPixelShader(String("Broken"));
  // The assembler names the problem, then the registry its line.
  auto lines = log.lines();
  ASSERT_GE(lines.size(), 1u);
  EXPECT_EQ(lines.back(), "Assembling pixel shader \"Shaders/Broken.PSH\"... D3DXERR_INVALIDDATA");
  EXPECT_EQ(broken->shader, nullptr);

  // A device that rejects the code.
  rec->failCreateShader = D3DERR_INVALIDCALL;
  WriteText("Shaders/Again.PSH", "ps_2_0\nmov oC0, c0\n");
  log.clear();
  PixelShaderRecord* again = LoadPixelShader(String("Again"));
  EXPECT_EQ(log.text(), "Creating pixel shader \"Shaders/Again.PSH\"... D3DERR_INVALIDCALL\n");
  EXPECT_EQ(again->shader, nullptr);

  ReleaseAllPixelShaders();
  ReleaseAllVertexShaders();
  EXPECT_EQ(PixelShaderList, nullptr);
  EXPECT_EQ(VertexShaderList, nullptr);

  // Without a device the records stay empty, silently.
  Device = nullptr;
  log.clear();
  TextureRecord* t = LoadTexture(String("SkyCube.dds"), true);
  VertexShaderRecord* sky = LoadVertexShader(String("Sky"));
  EXPECT_EQ(log.text(), "");
  EXPECT_TRUE(t->texture == nullptr && t->kind == 1u && sky->shader == nullptr);
  Device = rec;
}

}  // namespace
