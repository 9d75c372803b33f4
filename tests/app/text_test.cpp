// Text layout, escapes, missing-symbol markers, centred symbols and the
// software cursor, on the recording device with a font built in memory.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

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
    // Symbol k: u from k/1000 to (k+1)/1000, v from 0.1 to 0.2, aspect 0.5 + k/1000.
    BuildSymbols(symbolCount);
    CurrentFont = &font;
    rec->clearCalls();
  }
  void TearDown() override {
    CurrentFont = nullptr;
    if (atlas.texture) atlas.texture->Release();
    atlas.texture = nullptr;
    Device = nullptr;
    rec->Release();
  }
  // Symbols 0 .. count-1 (the first 256 are character cells).
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
    s.aspect = 0.5 + k / 1000.0;
    font.symbols.push(s);
  }
  static double Aspect(uint32_t k) { return 0.5 + k / 1000.0; }

  void ExpectSymbolQuad(const RecordedCall* d, uint32_t k, double x, double y, double h) {
    ASSERT_EQ(d->kind, CallKind::DrawPrimitiveUP);
    EXPECT_EQ(d->u[0], uint32_t(D3DPT_TRIANGLESTRIP));
    EXPECT_EQ(d->state->fvf, kTexturedFVF);
    Quad q = ReadQuad(d);
    float w = float(Aspect(k) * h);
    const double xs[4] = {x, x, x + w, x + w}, ys[4] = {y, y + h, y + h, y};
    for (int i = 0; i < 4; i++) {
      EXPECT_FLOAT_EQ(q.x[i], float(xs[i])) << i;
      EXPECT_FLOAT_EQ(q.y[i], float(ys[i])) << i;
    }
    // Texture corners: (left, top), (left, bottom), (right, bottom), (right, top).
    EXPECT_FLOAT_EQ(q.u[0], float(k / 1000.0));
    EXPECT_FLOAT_EQ(q.v[0], 0.1f);
    EXPECT_FLOAT_EQ(q.v[1], 0.2f);
    EXPECT_FLOAT_EQ(q.u[2], float((k + 1) / 1000.0));
    EXPECT_FLOAT_EQ(q.v[3], 0.1f);
  }
  void ExpectMarker(const RecordedCall* d, double x0, double y0, double x1, double y1) {
    ASSERT_EQ(d->kind, CallKind::DrawPrimitiveUP);
    EXPECT_EQ(d->state->fvf, kColouredFVF);
    EXPECT_EQ(d->state->textures[0].get(), nullptr);
    EXPECT_EQ(d->state->pixelShader.get(), nullptr);
    Quad q = ReadQuad(d);
    const double xs[4] = {x0, x0, x1, x1}, ys[4] = {y0, y1, y1, y0};
    for (int i = 0; i < 4; i++) {
      EXPECT_FLOAT_EQ(q.x[i], float(xs[i])) << i;
      EXPECT_FLOAT_EQ(q.y[i], float(ys[i])) << i;
      EXPECT_EQ(q.colour[i], 0xFFFF0000u) << i;
    }
  }

  static constexpr uint32_t symbolCount = 300;
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

  // Blending on with the font bound while drawing; off after.
  EXPECT_EQ(draws[0]->state->renderState(D3DRS_ALPHABLENDENABLE), 1u);
  EXPECT_EQ(draws[0]->state->textures[0].get(), atlas.texture);
  EXPECT_EQ(rec->state().renderState(D3DRS_ALPHABLENDENABLE), 0u);
  // DrawText leaves the colour alone: register c2 is the caller's.
  EXPECT_EQ(rec->Count(CallKind::SetPixelShaderConstantF), 0u);
}

TEST_F(TextTest, ColourEscapeSetsRegisterTwoAndDrawsNothing) {
  SetPixelConstantVector(0, 0, 0, 1);
  rec->clearCalls();
  DrawText(0, 0, 10, String("A\\CF08FB"));
  auto draws = rec->Draws();
  ASSERT_EQ(draws.size(), 2u) << rec->Describe();
  EXPECT_FLOAT_EQ(draws[0]->state->pixelConstants[2][0], 0.0f);  // A: the caller's black
  const float* c = draws[1]->state->pixelConstants[2];
  EXPECT_FLOAT_EQ(c[0], 1.0f);
  EXPECT_FLOAT_EQ(c[1], 0.0f);
  EXPECT_FLOAT_EQ(c[2], 8.0f / 15);
  EXPECT_FLOAT_EQ(c[3], 1.0f);
  // The six escape characters take no room: B follows A directly.
  ExpectSymbolQuad(draws[1], 'B', Aspect('A') * 10, 0, 10);
}

TEST_F(TextTest, SymbolEscapeAndEscapedCharacters) {
  LogCapture log;
  DrawText(0, 0, 10, String("\\S0042\\\\\\n\\S0x01"));
  auto draws = rec->Draws();
  ASSERT_EQ(draws.size(), 4u) << rec->Describe();
  ExpectSymbolQuad(draws[0], 42, 0, 0, 10);
  double x = Aspect(42) * 10;
  ExpectSymbolQuad(draws[1], '\\', x, 0, 10);  // a doubled backslash draws a backslash
  x += Aspect('\\') * 10;
  ExpectSymbolQuad(draws[2], 'n', x, 0, 10);  // backslash + other: that character, no line feed
  x += Aspect('n') * 10;
  ExpectSymbolQuad(draws[3], 0, x, 0, 10);  // a malformed index draws symbol 0
  EXPECT_EQ(log.text(), "String->toint error! \"0x01\", 1\n");
}

TEST_F(TextTest, MissingSymbolDrawsRedMarkerHeightWideAndRebindsTheFont) {
  DrawText(5, 7, 20, String("\\S0300A\\S9999"));
  auto draws = rec->Draws();
  ASSERT_EQ(draws.size(), 3u) << rec->Describe();
  ExpectMarker(draws[0], 5 + 2, 7 + 2, 5 + 20 - 2, 7 + 20 - 2);
  // The pen moved on by the height; the font's texture is bound again.
  ExpectSymbolQuad(draws[1], 'A', 25, 7, 20);
  EXPECT_EQ(draws[1]->state->textures[0].get(), atlas.texture);
  double x = 25 + Aspect('A') * 20;
  ExpectMarker(draws[2], x + 2, 9, x + 18, 25);
}

TEST_F(TextTest, EscapeCutShortEndsTheText) {
  LogCapture log;
  const char* texts[] = {"A\\", "A\\C", "A\\C12", "A\\CFFF", "A\\S", "A\\S004"};
  for (const char* t : texts) {
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

TEST_F(TextTest, EveryByteValueDrawsOneQuadOrMarker) {
  // Characters 128..255 exist in a 300-symbol font; in a 100-symbol font they
  // are markers. Neither may read outside the table.
  BuildSymbols(100);
  std::string all;
  for (int c = 1; c < 256; c++)
    if (c != '\n' && c != '\\') all.push_back(char(c));
  DrawText(0, 0, 8, String(all.c_str()));
  auto draws = rec->Draws();
  ASSERT_EQ(draws.size(), all.size());
  uint32_t markers = 0;
  for (const RecordedCall* d : draws) markers += d->state->fvf == kColouredFVF ? 1 : 0;
  EXPECT_EQ(markers, 156u);  // codes 100..255
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
    size_t drawn = rec->Draws().size();
    EXPECT_LE(drawn, t.size()) << t;
    for (const RecordedCall* d : rec->Draws()) {
      Quad q = ReadQuad(d);
      EXPECT_GE(q.x[0], 3.0f) << t;
      EXPECT_GE(q.y[0], 4.0f) << t;
    }
    EXPECT_EQ(rec->state().renderState(D3DRS_ALPHABLENDENABLE), 0u) << t;
  }
}

TEST_F(TextTest, CentredSymbolTakesItsNaturalHeightOverEverything) {
  DrawSymbolCentred(256, 100, 200, 0);
  auto draws = rec->Draws();
  ASSERT_EQ(draws.size(), 1u);
  // Natural height: (bottom - top) * textureHeight = 0.1 * 500 = 50 texels.
  double h = 50, w = Aspect(256) * h;
  ExpectSymbolQuad(draws[0], 256, 100 - w / 2, 200 - h / 2, h);
  // Drawn over everything, and the depth test is back on afterwards.
  EXPECT_EQ(draws[0]->state->renderState(D3DRS_ZENABLE), uint32_t(D3DZB_FALSE));
  EXPECT_EQ(rec->state().renderState(D3DRS_ZENABLE), uint32_t(D3DZB_TRUE));
  EXPECT_EQ(rec->state().renderState(D3DRS_ALPHABLENDENABLE), 0u);
}

TEST_F(TextTest, NoFontDrawsMarkersAndNoDeviceDrawsNothing) {
  CurrentFont = nullptr;
  DrawText(0, 0, 10, String("AB"));
  auto draws = rec->Draws();
  ASSERT_EQ(draws.size(), 2u);
  ExpectMarker(draws[0], 2, 2, 8, 8);
  ExpectMarker(draws[1], 12, 2, 18, 8);
  Device = nullptr;
  DrawText(0, 0, 10, String("AB"));
  DrawSymbolCentred(1, 0, 0, 0);
  Device = rec;
  EXPECT_EQ(rec->Draws().size(), 2u);
}

class CursorTest : public TextTest {
 protected:
  void SetUp() override {
    TextTest::SetUp();
    // The cursor symbols follow the 256 character cells.
    BuildSymbols(256);
    AddSymbol("Cursor Cross", 256);
    AddSymbol("Cursor Default", 257);
    MouseX = 300;
    MouseY = 200;
    MouseLookLock = false;
    CursorKind = 0;
  }
  void ExpectCursor(double size) {
    auto draws = rec->Draws();
    ASSERT_EQ(draws.size(), 5u) << rec->Describe();
    double w = Aspect(257) * size;
    const double cx[5] = {0.5, 0, -0.5, 0, 0}, cy[5] = {0, 0.5, 0, -0.5, 0};
    for (int i = 0; i < 5; i++) {
      SCOPED_TRACE(i);
      // cos and sin of pi/2 etc. are not exact zeros; the float quad hides that.
      ExpectSymbolQuad(draws[i], 257, MouseX + cx[i] - w / 2, MouseY + cy[i] - size / 2, size);
      const float* c = draws[i]->state->pixelConstants[2];
      float v = i < 4 ? 0.0f : 1.0f;
      EXPECT_FLOAT_EQ(c[0], v);
      EXPECT_FLOAT_EQ(c[1], v);
      EXPECT_FLOAT_EQ(c[2], v);
      EXPECT_FLOAT_EQ(c[3], 1.0f);
    }
  }
};

TEST_F(CursorTest, OutlineFourOffsetsThenWhiteAtSizesByButtonsAndMarkersWithoutSymbol) {
  DrawCursor();
  ExpectCursor(35);

  rec->clearCalls();
  PressKey(VK_RBUTTON);  // mouse look
  DrawCursor();
  ExpectCursor(30);

  rec->clearCalls();
  PressKey(VK_LBUTTON);  // the left button wins
  DrawCursor();
  ExpectCursor(40);

  ReleaseKey(VK_LBUTTON);
  ReleaseKey(VK_RBUTTON);

  // Without the cursor symbol: five markers.
  rec->clearCalls();
  MouseLookLock = false;
  BuildSymbols(256);
  DrawCursor();
  auto draws = rec->Draws();
  ASSERT_EQ(draws.size(), 5u);
  for (const RecordedCall* d : draws) EXPECT_EQ(d->state->fvf, kColouredFVF);
  ExpectMarker(draws[4], 300 - 17.5 + 2, 200 - 17.5 + 2, 300 + 17.5 - 2, 200 + 17.5 - 2);
}

}  // namespace
