#include "render/text.h"

#include "assets/font.h"
#include "foundation/math.h"
#include "foundation/str.h"
#include "platform/gpu/device.h"
#include "render/draw.h"
#include "render/resources.h"
#include "render/shader_registers.h"

namespace {

void BindFont() {
  Device->SetTexture(0, CurrentFont && CurrentFont->texture ? CurrentFont->texture->texture : nullptr);
  Device->SetVertexShader(nullptr);
  Device->SetPixelShader(CurrentFont && CurrentFont->pixelShader ? CurrentFont->pixelShader->shader
                                                                 : nullptr);
}

void AlphaBlendOn() {
  Device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  Device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  Device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
}

uint32_t SymbolCount() { return CurrentFont ? CurrentFont->symbols.count : 0; }

// The opaque red square drawn where a symbol is missing; corners 2 px inside.
void DrawMissingMarker(double x0, double y0, double x1, double y1) {
  DrawScreenQuadColoured(x0, y0, 1, 0, 0, 1, x0, y1, 1, 0, 0, 1, x1, y1, 1, 0, 0, 1, x1, y0, 1, 0, 0, 1);
}

void DrawSymbolQuad(const FontSymbol& s, double x0, double y0, double x1, double y1) {
  DrawScreenQuadTextured(x0, y0, s.left, s.top, x0, y1, s.left, s.bottom, x1, y1, s.right, s.bottom,
                         x1, y0, s.right, s.top);
}

// One symbol of a text line at the pen; returns the pen's advance.
double DrawTextSymbol(uint32_t k, double cx, double cy, double h) {
  if (k < SymbolCount()) {
    const FontSymbol& s = CurrentFont->symbols[k];
    double w = s.aspect * h;
    DrawSymbolQuad(s, cx, cy, cx + w, cy + h);
    return w;
  }
  Device->SetTexture(0, nullptr);
  Device->SetPixelShader(nullptr);
  DrawMissingMarker(cx + 2, cy + 2, cx + h - 2, cy + h - 2);
  BindFont();
  return h;
}

}  // namespace

void DrawText(double x, double y, double height, String text) {
  if (!Device) return;
  AlphaBlendOn();
  BindFont();

  const char* t = text.c_str();
  uint32_t n = text.length();
  double cx = x, cy = y;
  for (uint32_t i = 0; i < n; i++) {
    uint8_t c = uint8_t(t[i]);
    uint32_t symbol;
    if (c == '\n') {
      cx = x;
      cy += height;
      continue;
    }
    if (c == '\\') {
      // An escape cut short by the end of the text ends the text: nothing
      // beyond it is read.
      if (i + 1 >= n) break;
      uint8_t e = uint8_t(t[++i]);
      if (e == 'C') {
        if (i + 4 >= n) break;
        float colour[4];
        HexColour(t[i + 1], t[i + 2], t[i + 3], t[i + 4], colour);
        Device->SetPixelShaderConstantF(kPixelColour, colour, 1);
        i += 4;
        continue;
      }
      if (e == 'S') {
        if (i + 4 >= n) break;
        char digits[5] = {t[i + 1], t[i + 2], t[i + 3], t[i + 4], 0};
        symbol = uint32_t(String(digits).toint());
        i += 4;
      } else {
        symbol = e;
      }
    } else {
      // UTF-8 (a path, a file's words) in the font's cells; a character the
      // font has no cell for is a marker. A byte that begins no whole UTF-8
      // character stands for its own cell.
      size_t bytes;
      int cell = NextCell(t + i, n - i, bytes);
      symbol = cell >= 0 ? uint32_t(cell) : UINT32_MAX;
      i += uint32_t(bytes - 1);
    }
    cx += DrawTextSymbol(symbol, cx, cy, height);
  }
  Device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
}

void DrawSymbolCentred(uint32_t index, double x, double y, double height) {
  if (!Device) return;
  AlphaBlendOn();
  Device->SetRenderState(D3DRS_ZWRITEENABLE, 0);
  Device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  if (index < SymbolCount()) {
    const FontSymbol& s = CurrentFont->symbols[index];
    double h = height != 0 ? height : (s.bottom - s.top) * CurrentFont->textureHeight;
    double w = s.aspect * h;
    BindFont();
    DrawSymbolQuad(s, x - w / 2, y - h / 2, x + w / 2, y + h / 2);
  } else {
    double h = height;
    Device->SetTexture(0, nullptr);
    Device->SetPixelShader(nullptr);
    DrawMissingMarker(x - h / 2 + 2, y - h / 2 + 2, x + h / 2 - 2, y + h / 2 - 2);
  }
  Device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
  Device->SetRenderState(D3DRS_ZWRITEENABLE, 1);
  Device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
}
