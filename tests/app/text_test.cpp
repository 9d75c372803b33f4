// Text layout, escapes, missing-symbol markers and the software cursor, on
// the recording device with a font built in memory.
#include <gtest/gtest.h>

#include <string>

#include "app/camera.h"
#include "app/keys.h"
#include "app/shell.h"
#include "assets/font.h"
#include "assets/text.h"
#include "foundation/log.h"
#include "platform/gpu/recording.h"
#include "render/draw.h"
#include "tests/app/recorded_quads.h"

namespace {

constexpr uint32_t kTexturedFVF = D3DFVF_XYZRHW | D3DFVF_TEX1;
constexpr uint32_t kColouredFVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

class TextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto& b : KeyState) b = 0;
    rec = CreateRecordingDevice(800, 600);
    Device = rec;
    // A 1x1 texture stands for the atlas, so rebinding it can be seen.
    Image image;
    image.format = D3DFMT_A8R8G8B8;
    image.faces.resize(1);
    image.faces[0].push_back(ImageLevel{1, 1, {255, 255, 255, 255}});
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(Device->CreateTextureFromImage(image, &tex), D3D_OK);
    atlas.texture = tex;
    font.texture = &atlas;
    font.textureWidth = 1000;
    font.textureHeight = 500;
    BuildSymbols(300);
    CurrentFont = &font;
    rec->clearCalls();
  }
  void TearDown() override {
    CurrentFont = nullptr;
    if (atlas.texture) atlas.texture->Release();
    Device = nullptr;
    rec->Release();
  }
  // Symbols 0 .. count-1, the first 256 the character cells. Symbol k: u from
  // k/1000 to (k+1)/1000, v from 0.1 to 0.2, aspect 0.5 + k/1000.
  void BuildSymbols(uint32_t count) {
    font.symbols.clear();
    for (uint32_t k = 0; k < count; k++) AddSymbol(k < 256 ? "Characters" : "Extra", k);
  }
  void AddSymbol(const char* key, uint32_t k) {
    FontSymbol s;
    s.key = String(key);
    s.left = k / 1000.0;
    s.right = (k + 1) / 1000.0;
    s.top = 0.1;
    s.bottom = 0.2;
    s.aspect = Aspect(k);
    font.symbols.push(s);
  }
  static double Aspect(uint32_t k) { return 0.5 + k / 1000.0; }

  // Corners in strip order undone: (x, y), (x, y + h), (x + w, y + h), (x + w, y);
  // texture corners (left, top), (left, bottom), (right, bottom), (right, top).
  void ExpectSymbolQuad(const RecordedCall* d, uint32_t k, double x, double y, double h) {
    ASSERT_EQ(d->kind, CallKind::DrawPrimitiveUP);
    EXPECT_EQ(d->u[0], uint32_t(D3DPT_TRIANGLESTRIP));
    EXPECT_EQ(d->state->fvf, kTexturedFVF);
    Quad q = ReadQuad(d);
    float w = float(Aspect(k) * h);
    const double xs[4] = {x, x, x + w, x + w}, ys[4] = {y, y + h, y + h, y};
    const double us[4] = {k / 1000.0, k / 1000.0, (k + 1) / 1000.0, (k + 1) / 1000.0}, vs[4] = {0.1, 0.2, 0.2, 0.1};
    for (int i = 0; i < 4; i++) {
      EXPECT_FLOAT_EQ(q.x[i], float(xs[i])) << i;
      EXPECT_FLOAT_EQ(q.y[i], float(ys[i])) << i;
      EXPECT_FLOAT_EQ(q.u[i], float(us[i])) << i;
      EXPECT_FLOAT_EQ(q.v[i], float(vs[i])) << i;
    }
  }
  // A red untextured square inset by 2 pixels from the cell (x, y, size).
  void ExpectMarker(const RecordedCall* d, double x, double y, double size) {
    ASSERT_EQ(d->kind, CallKind::DrawPrimitiveUP);
    EXPECT_EQ(d->state->fvf, kColouredFVF);
    EXPECT_EQ(d->state->textures[0].get(), nullptr);
    EXPECT_EQ(d->state->pixelShader.get(), nullptr);
    Quad q = ReadQuad(d);
    const double xs[4] = {x + 2, x + 2, x + size - 2, x + size - 2}, ys[4] = {y + 2, y + size - 2, y + size - 2, y + 2};
    for (int i = 0; i < 4; i++) {
      EXPECT_FLOAT_EQ(q.x[i], float(xs[i])) << i;
      EXPECT_FLOAT_EQ(q.y[i], float(ys[i])) << i;
      EXPECT_EQ(q.colour[i], 0xFFFF0000u) << i;
    }
  }

  RecordingDevice* rec = nullptr;
  TextureRecord atlas{};
  Font font;
};

TEST_F(TextTest, LineFeedReturnsThePenAndPenAdvancesBySymbolWidth) {
  DrawText(10, 20, 16, String("AB\nC"));
  auto draws = rec->Draws();
  ASSERT_EQ(draws.size(), 3u) << rec->Describe();
  ExpectSymbolQuad(draws[0], 'A', 10, 20, 16);
  ExpectSymbolQuad(draws[1], 'B', 10 + Aspect('A') * 16, 20, 16);
  ExpectSymbolQuad(draws[2], 'C', 10, 36, 16);  // back to x, one height down
  // Blending on with the font bound while drawing; off after. DrawText leaves
  // the colour alone: register c2 is the caller's.
  EXPECT_EQ(draws[0]->state->renderState(D3DRS_ALPHABLENDENABLE), 1u);
  EXPECT_EQ(draws[0]->state->textures[0].get(), atlas.texture);
  EXPECT_EQ(rec->state().renderState(D3DRS_ALPHABLENDENABLE), 0u);
  EXPECT_EQ(rec->Count(CallKind::SetPixelShaderConstantF), 0u);
}

TEST_F(TextTest, ColourAndSymbolEscapesAndEscapedCharacters) {
  SetPixelConstantVector(0, 0, 0, 1);
  rec->clearCalls();
  LogCapture log;
  DrawText(0, 0, 10, String("A\\CF08FB\\S0042\\\\\\n\\S0x01"));
  auto draws = rec->Draws();
  ASSERT_EQ(draws.size(), 6u) << rec->Describe();
  EXPECT_FLOAT_EQ(draws[0]->state->pixelConstants[2][0], 0.0f);  // A: the caller's black
  // \C sets register c2 from three hex digits and takes no room: B follows A.
  const float* c = draws[1]->state->pixelConstants[2];
  EXPECT_FLOAT_EQ(c[0], 1.0f);
  EXPECT_FLOAT_EQ(c[1], 0.0f);
  EXPECT_FLOAT_EQ(c[2], 8.0f / 15);
  EXPECT_FLOAT_EQ(c[3], 1.0f);
  double x = Aspect('A') * 10;
  ExpectSymbolQuad(draws[1], 'B', x, 0, 10);
  x += Aspect('B') * 10;
  ExpectSymbolQuad(draws[2], 42, x, 0, 10);  // \S: four decimal digits name a symbol
  x += Aspect(42) * 10;
  ExpectSymbolQuad(draws[3], '\\', x, 0, 10);  // a doubled backslash draws a backslash
  x += Aspect('\\') * 10;
  ExpectSymbolQuad(draws[4], 'n', x, 0, 10);  // backslash + other: that character, no line feed
  x += Aspect('n') * 10;
  ExpectSymbolQuad(draws[5], 0, x, 0, 10);  // a malformed index draws symbol 0
  EXPECT_EQ(log.text(), "String->toint error! \"0x01\", 1\n");
}

TEST_F(TextTest, MissingSymbolsDrawRedMarkersHeightWideWithoutReadingPastTheTable) {
  DrawText(5, 7, 20, String("\\S0300A\\S9999"));
  auto draws = rec->Draws();
  ASSERT_EQ(draws.size(), 3u) << rec->Describe();
  ExpectMarker(draws[0], 5, 7, 20);
  // The pen moved on by the height; the font's texture is bound again.
  ExpectSymbolQuad(draws[1], 'A', 25, 7, 20);
  EXPECT_EQ(draws[1]->state->textures[0].get(), atlas.texture);
  ExpectMarker(draws[2], 25 + Aspect('A') * 20, 7, 20);

  // Characters 128..255 read as unsigned: in a 100-symbol font codes 100..255
  // are markers, and none may read outside the table.
  BuildSymbols(100);
  std::string all;
  for (int c = 1; c < 256; c++)
    if (c != '\n' && c != '\\') all.push_back(char(c));
  rec->clearCalls();
  DrawText(0, 0, 8, String(all.c_str()));
  ASSERT_EQ(rec->Draws().size(), all.size());
  uint32_t markers = 0;
  for (const RecordedCall* d : rec->Draws()) markers += d->state->fvf == kColouredFVF ? 1 : 0;
  EXPECT_EQ(markers, 156u);

  // No font: markers; no device: nothing.
  CurrentFont = nullptr;
  rec->clearCalls();
  DrawText(0, 0, 10, String("AB"));
  ASSERT_EQ(rec->Draws().size(), 2u);
  ExpectMarker(rec->Draws()[1], 10, 0, 10);
  Device = nullptr;
  DrawText(0, 0, 10, String("AB"));
  DrawSymbolCentred(1, 0, 0, 0);
  Device = rec;
  EXPECT_EQ(rec->Draws().size(), 2u);
}

TEST_F(TextTest, EscapeCutShortEndsTheText) {
  LogCapture log;
  for (const char* t : {"A\\", "A\\C", "A\\C12", "A\\CFFF", "A\\S", "A\\S004"}) {
    rec->clearCalls();
    DrawText(0, 0, 10, String(t));
    EXPECT_EQ(rec->Draws().size(), 1u) << t << "\n" << rec->Describe();
    EXPECT_EQ(rec->Count(CallKind::SetPixelShaderConstantF), 0u) << t;
    EXPECT_EQ(rec->state().renderState(D3DRS_ALPHABLENDENABLE), 0u) << t;
  }
  EXPECT_EQ(log.text(), "");  // nothing beyond the text is read or converted
  // Exactly four characters after the escape are enough.
  rec->clearCalls();
  DrawText(0, 0, 10, String("\\S0007"));
  ASSERT_EQ(rec->Draws().size(), 1u);
  ExpectSymbolQuad(rec->Draws()[0], 7, 0, 0, 10);
}

TEST_F(TextTest, RandomEscapesNeverReadPastTheText) {
  // Short texts made of escape material, each in a buffer of exactly its own
  // size (a sanitizer build sees any read beyond it).
  const char alphabet[] = "\\CS0123456789ABCDEFx\n-";
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7FFF;
  };
  LogCapture log;
  for (int round = 0; round < 300; round++) {
    std::string t;
    uint32_t length = next() % 12;
    for (uint32_t i = 0; i < length; i++) t.push_back(alphabet[next() % (sizeof alphabet - 1)]);
    rec->clearCalls();
    DrawText(3, 4, 12, String(t.c_str()));
    EXPECT_LE(rec->Draws().size(), t.size()) << t;
    for (const RecordedCall* d : rec->Draws()) {
      Quad q = ReadQuad(d);
      EXPECT_GE(q.x[0], 3.0f) << t;
      EXPECT_GE(q.y[0], 4.0f) << t;
    }
    EXPECT_EQ(rec->state().renderState(D3DRS_ALPHABLENDENABLE), 0u) << t;
  }
}

TEST_F(TextTest, CursorOutlineThenWhiteCentredOverEverythingSizedByButtons) {
  // The cursor symbols follow the 256 character cells.
  BuildSymbols(256);
  AddSymbol("Cursor Cross", 256);
  AddSymbol("Cursor Default", 257);
  MouseX = 300;
  MouseY = 200;
  MouseLookLock = false;
  CursorKind = 0;
  // No button 35 pixels; mouse look (right button) 30; the left button wins.
  const struct {
    uint32_t keys[2];
    double size;
  } cases[] = {{{0, 0}, 35}, {{VK_RBUTTON, 0}, 30}, {{VK_RBUTTON, VK_LBUTTON}, 40}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    for (uint32_t k : c.keys)
      if (k) PressKey(k);
    rec->clearCalls();
    DrawCursor();
    auto draws = rec->Draws();
    ASSERT_EQ(draws.size(), 5u) << rec->Describe();
    // Four dark copies half a pixel right, down, left and up, then the white one.
    double w = Aspect(257) * c.size;
    const double dx[5] = {0.5, 0, -0.5, 0, 0}, dy[5] = {0, 0.5, 0, -0.5, 0};
    for (int i = 0; i < 5; i++) {
      // cos and sin of pi/2 etc. are not exact zeros; the float quad hides that.
      ExpectSymbolQuad(draws[i], 257, 300 + dx[i] - w / 2, 200 + dy[i] - c.size / 2, c.size);
      const float* colour = draws[i]->state->pixelConstants[2];
      for (int k = 0; k < 4; k++) EXPECT_FLOAT_EQ(colour[k], i < 4 && k < 3 ? 0.0f : 1.0f);
      EXPECT_EQ(draws[i]->state->renderState(D3DRS_ZENABLE), uint32_t(D3DZB_FALSE));
    }
    // The depth test is back on afterwards, blending off.
    EXPECT_EQ(rec->state().renderState(D3DRS_ZENABLE), uint32_t(D3DZB_TRUE));
    EXPECT_EQ(rec->state().renderState(D3DRS_ALPHABLENDENABLE), 0u);
  }
  ReleaseKey(VK_LBUTTON);
  ReleaseKey(VK_RBUTTON);

  // Without the cursor symbol: five markers.
  BuildSymbols(256);
  rec->clearCalls();
  DrawCursor();
  ASSERT_EQ(rec->Draws().size(), 5u);
  for (const RecordedCall* d : rec->Draws()) EXPECT_EQ(d->state->fvf, kColouredFVF);
  ExpectMarker(rec->Draws()[4], 300 - 17.5, 200 - 17.5, 35);
}

}  // namespace
