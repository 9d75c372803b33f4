// Texture and shader registries on the recording device: load-or-get, the
// paths and failure lines, kinds, release one and release all.
#include "test_support.h"

namespace {

using ResourcesTest = DeviceAssetTest;

TEST_F(ResourcesTest, TexturesAreSharedByExactName) {
  std::vector<uint8_t> tga(18 + 16, 0x5A);  // 2 x 2, 32-bit uncompressed
  std::fill(tga.begin(), tga.begin() + 18, 0);
  tga[2] = 2, tga[12] = 2, tga[14] = 2, tga[16] = 32;
  WriteBytes("Textures/Island.tga", tga);
  LogCapture log;
  TextureRecord* a = LoadTexture(String("Island.tga"), false);
  EXPECT_EQ(LoadTexture(String("Island.tga"), true), a);  // the kind stays 2D
  EXPECT_EQ(log.text(), "");
  EXPECT_TRUE(a->refs == 2 && a->kind == 0 && a->texture && a->texture->GetType() == D3DRTYPE_TEXTURE);
  EXPECT_EQ(rec->Count(CallKind::CreateTexture), 1u);  // loaded once

  // Another case is another record; the same file too where the file system
  // ignores case (Windows).
  TextureRecord* upper = LoadTexture(String("ISLAND.tga"), false);
  bool sameFile = std::filesystem::exists("Textures/ISLAND.tga");
  EXPECT_TRUE(upper != a && TextureList == upper && (upper->texture != nullptr) == sameFile);
  EXPECT_EQ(log.text(), sameFile ? "" : "Loading texture \"Textures/ISLAND.tga\"... D3DXERR_INVALIDDATA\n");
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
  EXPECT_TRUE(v->shader && p->shader && LoadPixelShader(String("Default")) == p && p->refs == 2);
  EXPECT_EQ(rec->Count(CallKind::CreatePixelShader), 1u);

  log.clear();
  EXPECT_EQ(LoadVertexShader(String("Sky"))->shader, nullptr);
  EXPECT_EQ(log.text(), "Assembling vertex shader \"Shaders/Sky.VSH\"... D3DXERR_INVALIDDATA\n");
  log.clear();
  EXPECT_EQ(LoadPixelShader(String("Broken"))->shader, nullptr);
  ASSERT_FALSE(log.lines().empty());  // the assembler names the problem, then the registry its line
  EXPECT_EQ(log.lines().back(), "Assembling pixel shader \"Shaders/Broken.PSH\"... D3DXERR_INVALIDDATA");

  rec->failCreateShader = D3DERR_INVALIDCALL;  // a device that rejects the code
  WriteText("Shaders/Again.PSH", "ps_2_0\nmov oC0, c0\n");
  log.clear();
  EXPECT_EQ(LoadPixelShader(String("Again"))->shader, nullptr);
  EXPECT_EQ(log.text(), "Creating pixel shader \"Shaders/Again.PSH\"... D3DERR_INVALIDCALL\n");
  ReleaseAllPixelShaders(), ReleaseAllVertexShaders();
  EXPECT_TRUE(PixelShaderList == nullptr && VertexShaderList == nullptr);

  Device = nullptr;  // without a device the records stay empty, silently
  log.clear();
  TextureRecord* t = LoadTexture(String("SkyCube.dds"), true);
  EXPECT_TRUE(log.text().empty() && t->texture == nullptr && t->kind == 1 && !LoadVertexShader(String("Sky"))->shader);
}

}  // namespace
