// Text layout, escapes, missing-symbol markers and the cursor, on the recording device with a font in memory.
#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "app/camera.h"
#include "app/shell.h"
#include "assets/font.h"
#include "foundation/log.h"
#include "platform/gpu/recording.h"
#include "render/draw.h"
#include "render/overlay.h"
#include "render/resources.h"
#include "render/text.h"
#include "sim/keys.h"
#include "tests/app/recorded_quads.h"

namespace {

class TextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto& b : KeyState) b = 0;
    Device = rec = CreateRecordingDevice(800, 600);
    // A 1x1 texture stands for the atlas, so rebinding it can be seen.
    Image image;
    image.format = D3DFMT_A8R8G8B8;
    image.faces = {{ImageLevel{1, 1, {255, 255, 255, 255}}}};
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(Device->CreateTextureFromImage(image, &tex), D3D_OK);
    atlas.texture = tex, font.texture = &atlas, CurrentFont = &font;
    BuildSymbols(300);
    rec->clearCalls();
  }
  void TearDown() override {
    CurrentFont = nullptr;
    if (atlas.texture) atlas.texture->Release();
    Device = nullptr;
    rec->Release();
  }
  // Symbols 0 .. count-1 (the first 256 character cells, then `extra`). Symbol k: u from k/1000 to (k+1)/1000, v from
  // 0.1 to 0.2, aspect 0.5 + k/1000.
  void BuildSymbols(uint32_t count, std::vector<const char*> extra = {}) {
    font.symbols.clear();
    for (uint32_t k = 0; k < count + extra.size(); k++)
      font.symbols.push(FontSymbol{String(k < count ? "Characters" : extra[k - count]), k / 1000.0, 0.1,
                                   (k + 1) / 1000.0, 0.2, Aspect(k)});
  }
  static double Aspect(uint32_t k) { return 0.5 + k / 1000.0; }

  // Symbol k drawn at (x, y), h high: corners (x, y), (x, y + h), (x + w, y + h), (x + w, y) with texture corners
  // (left, top), (left, bottom), (right, bottom), (right, top). kMarker: the red untextured square, inset by 2 pixels
  // from the h-wide cell.
  static constexpr int kMarker = -1;
  void ExpectSymbolQuad(const RecordedCall* d, int k, double x, double y, double h) {
    Quad q;
    ASSERT_TRUE(ReadQuad(d, q));
    EXPECT_EQ(d->state->fvf, uint32_t(D3DFVF_XYZRHW | (k == kMarker ? D3DFVF_DIFFUSE : D3DFVF_TEX1)));
    double w = Aspect(k) * h, l = k / 1000.0, r = (k + 1) / 1000.0;
    if (k == kMarker) {
      EXPECT_TRUE(!d->state->textures[0].get() && !d->state->pixelShader.get());
      x += 2, y += 2, w = h -= 4;
    }
    const double xs[4] = {x, x, x + w, x + w}, ys[4] = {y, y + h, y + h, y};
    for (int i = 0; i < 4; i++) {
      EXPECT_FLOAT_EQ(q.x[i], float(xs[i])) << i;
      EXPECT_FLOAT_EQ(q.y[i], float(ys[i])) << i;
      EXPECT_EQ(q.colour[i], k == kMarker ? 0xFFFF0000u : 0u) << i;
      if (k == kMarker) continue;
      EXPECT_FLOAT_EQ(q.u[i], float(i < 2 ? l : r)) << i;
      EXPECT_FLOAT_EQ(q.v[i], i == 1 || i == 2 ? 0.2f : 0.1f) << i;
    }
  }

  RecordingDevice* rec = nullptr;
  TextureRecord atlas{};
  Font font;
};

TEST_F(TextTest, LayoutLineFeedsEscapesAndEscapedCharacters) {
  SetPixelConstantVector(0, 0, 0, 1);
  rec->clearCalls();
  LogCapture log;
  DrawText(10, 20, 16, String("AB\nC\\CF08FD\\S0042\\\\\\n\\S0x01"));
  auto d = rec->Draws();
  ASSERT_EQ(d.size(), 8u) << rec->Describe();
  ExpectSymbolQuad(d[0], 'A', 10, 20, 16);
  ExpectSymbolQuad(d[1], 'B', 10 + Aspect('A') * 16, 20, 16);
  ExpectSymbolQuad(d[2], 'C', 10, 36, 16);  // back to x, one height down
  // Blending on with the font bound while drawing, off after. The colour is the caller's until \C sets register c2 from
  // four hex digits (RGBA); the escape takes no room.
  EXPECT_EQ(d[0]->state->renderState(D3DRS_ALPHABLENDENABLE), 1u);
  EXPECT_EQ(d[0]->state->textures[0].get(), atlas.texture);
  EXPECT_EQ(rec->state().renderState(D3DRS_ALPHABLENDENABLE), 0u);
  EXPECT_FLOAT_EQ(d[2]->state->pixelConstants[2][0], 0.0f);
  const float want[4] = {1, 0, 8.0f / 15, 1};
  for (int k = 0; k < 4; k++) EXPECT_FLOAT_EQ(d[3]->state->pixelConstants[2][k], want[k]) << k;
  // Then \S with four decimal digits names a symbol, a doubled backslash draws a backslash, backslash + other draws
  // that character (no line feed), and a malformed index draws symbol 0 and says so.
  const uint32_t symbols[5] = {'D', 42, '\\', 'n', 0};
  double x = 10 + Aspect('C') * 16;
  for (int i = 0; i < 5; i++) {
    ExpectSymbolQuad(d[3 + i], symbols[i], x, 36, 16);
    x += Aspect(symbols[i]) * 16;
  }
  EXPECT_EQ(log.text(), "String->toint error! \"0x01\", 1\n");
}

TEST_F(TextTest, MissingSymbolsDrawRedMarkersHeightWideWithoutReadingPastTheTable) {
  DrawText(5, 7, 20, String("\\S0300A\\S9999"));
  auto d = rec->Draws();
  ASSERT_EQ(d.size(), 3u) << rec->Describe();
  ExpectSymbolQuad(d[0], kMarker, 5, 7, 20);
  // The pen moved on by the height; the font's texture is bound again.
  ExpectSymbolQuad(d[1], 'A', 25, 7, 20);
  EXPECT_EQ(d[1]->state->textures[0].get(), atlas.texture);
  ExpectSymbolQuad(d[2], kMarker, 25 + Aspect('A') * 20, 7, 20);

  // Codes read as unsigned: in a 100-symbol font 100..255 are markers, and none reads outside the table.
  BuildSymbols(100);
  std::string all;
  for (int c = 1; c < 256; c++)
    if (c != '\n' && c != '\\') all.push_back(char(c));
  rec->clearCalls();
  DrawText(0, 0, 8, String(all.c_str()));
  ASSERT_EQ(rec->Draws().size(), all.size());
  uint32_t markers = 0;
  for (const RecordedCall* m : rec->Draws()) markers += m->state->fvf == (D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  EXPECT_EQ(markers, 156u);

  CurrentFont = nullptr;  // no font: markers
  rec->clearCalls();
  DrawText(0, 0, 10, String("AB"));
  ASSERT_EQ(rec->Draws().size(), 2u);
  ExpectSymbolQuad(rec->Draws()[1], kMarker, 10, 0, 10);
}

// Paths and file words arrive in UTF-8: each character is one cell of the
// font's Windows Latin-1 page, a marker when the page has none, and a byte
// that starts no whole character (Latin-1 text, a cut sequence) its own cell.
TEST_F(TextTest, Utf8CharactersAreOneCellEachOrOneMarker) {
  DrawText(0, 0, 10, String("Jos\xC3\xA9 \xE2\x82\xAC\xE3\x83\x95|\xE9|\xE3\x83"));
  const int want[] = {'J', 'o', 's', 0xE9, ' ', 0x80, kMarker, '|', 0xE9, '|', 0xE3, 0x83};
  auto d = rec->Draws();
  ASSERT_EQ(d.size(), std::size(want)) << rec->Describe();
  double x = 0;
  for (size_t i = 0; i < d.size(); i++) {
    ExpectSymbolQuad(d[i], want[i], x, 0, 10);
    x += want[i] == kMarker ? 10 : Aspect(want[i]) * 10;
  }
  EXPECT_DOUBLE_EQ(TextWidth("Jos\xC3\xA9 \xE2\x82\xAC\xE3\x83\x95|\xE9|\xE3\x83", 10), x);
}

TEST_F(TextTest, EscapeCutShortEndsTheTextAndRandomEscapesNeverReadPastIt) {
  LogCapture log;
  for (const char* t : {"A\\", "A\\C", "A\\C12", "A\\CFFF", "A\\S", "A\\S004", "\\S0007"}) {
    rec->clearCalls();
    DrawText(0, 0, 10, String(t));
    ASSERT_EQ(rec->Draws().size(), 1u) << t << "\n" << rec->Describe();
    // Exactly four characters after the escape are enough.
    ExpectSymbolQuad(rec->Draws()[0], t[0] == 'A' ? 'A' : 7, 0, 0, 10);
    EXPECT_EQ(rec->Count(CallKind::SetPixelShaderConstantF), 0u) << t;
    EXPECT_EQ(rec->state().renderState(D3DRS_ALPHABLENDENABLE), 0u) << t;
  }
  EXPECT_EQ(log.text(), "");  // nothing beyond the text is read or converted

  // Random escape material, each text in a buffer of exactly its own size: a sanitizer build sees any read beyond it.
  const char alphabet[] = "\\CS0123456789ABCDEFx\n-";
  uint32_t seed = 12345;
  auto next = [&seed] { return ((seed = seed * 1103515245u + 12345u) >> 16) & 0x7FFF; };
  for (int round = 0; round < 300; round++) {
    std::string t(next() % 12, ' ');
    for (char& c : t) c = alphabet[next() % (sizeof alphabet - 1)];
    rec->clearCalls();
    DrawText(3, 4, 12, String(t.c_str()));
    EXPECT_LE(rec->Draws().size(), t.size()) << t;
    Quad q;
    for (const RecordedCall* d : rec->Draws()) {
      ASSERT_TRUE(ReadQuad(d, q));
      EXPECT_TRUE(q.x[0] >= 3 && q.y[0] >= 4) << t;
    }
    EXPECT_EQ(rec->state().renderState(D3DRS_ALPHABLENDENABLE), 0u) << t;
  }
}

TEST_F(TextTest, CursorOutlineThenWhiteCentredOverEverythingSizedByButtons) {
  // The cursor symbols follow the 256 character cells.
  BuildSymbols(256, {"Cursor Cross", "Cursor Default"});
  MouseX = 300, MouseY = 200;
  MouseLookLock = false, CursorKind = 0;
  // No button 35 pixels; mouse look (the right button) 30; the left button wins.
  const std::pair<uint32_t, double> cases[] = {{0, 35}, {VK_RBUTTON, 30}, {VK_LBUTTON, 40}};
  const double dx[5] = {0.5, 0, -0.5, 0, 0}, dy[5] = {0, 0.5, 0, -0.5, 0};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.second);
    if (c.first) PressKey(c.first);
    rec->clearCalls();
    DrawCursor();
    auto d = rec->Draws();
    ASSERT_EQ(d.size(), 5u) << rec->Describe();
    // Four dark copies half a pixel right, down, left, up, then the white one; depth test off (back on after).
    double w = Aspect(257) * c.second;
    for (int i = 0; i < 5; i++) {
      // cos and sin of pi/2 etc. are not exact zeros; the float quad hides that.
      ExpectSymbolQuad(d[i], 257, 300 + dx[i] - w / 2, 200 + dy[i] - c.second / 2, c.second);
      for (int k = 0; k < 4; k++) EXPECT_FLOAT_EQ(d[i]->state->pixelConstants[2][k], i < 4 && k < 3 ? 0.0f : 1.0f);
      EXPECT_EQ(d[i]->state->renderState(D3DRS_ZENABLE), uint32_t(D3DZB_FALSE));
    }
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
  for (int i = 0; i < 5; i++) ExpectSymbolQuad(rec->Draws()[i], kMarker, 300 + dx[i] - 17.5, 200 + dy[i] - 17.5, 35);
}

}  // namespace
