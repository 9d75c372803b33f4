#include "render/overlay.h"

#include <algorithm>
#include <cmath>

#include "assets/font.h"
#include "foundation/str.h"
#include "platform/gpu/device.h"
#include "render/draw.h"
#include "render/text.h"
#include "render/view.h"

namespace {

// Untextured, blended, over everything: overlays never hide behind the scene.
void FlatState() {
  Device->SetTexture(0, nullptr);
  Device->SetPixelShader(nullptr);
  Device->SetVertexShader(nullptr);
  Device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  Device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  Device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
}

}  // namespace

double OverlayScale() {
  double w = ScreenRight + 1, h = ScreenBottom + 1;
  return std::max(0.6, std::min(w / 1280, h / 800));
}

double TextWidth(const std::string& text, double height) {
  double width = 0;
  uint32_t count = CurrentFont ? CurrentFont->symbols.count : 0;
  for (size_t i = 0, bytes; i < text.size(); i += bytes) {
    int cell = NextCell(text.data() + i, text.size() - i, bytes);
    width += (cell >= 0 && uint32_t(cell) < count ? CurrentFont->symbols[cell].aspect : 1) * height;
  }
  return width;
}

void DrawPlate(double x0, double y0, double x1, double y1, float r, float g, float b, float a) {
  if (!Device) return;
  FlatState();
  DrawScreenQuadColoured(x0, y0, r, g, b, a, x0, y1, r, g, b, a, x1, y1, r, g, b, a, x1, y0, r, g, b, a);
  Device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
}

void DrawOutlinedText(double x, double y, double height, const std::string& text, float r, float g,
                      float b, float a) {
  if (!Device || text.empty()) return;
  // Text escapes begin with a backslash: a literal one is doubled.
  std::string plain;
  for (char c : text) {
    if (c == '\\') plain += '\\';
    plain += c;
  }
  String s(plain.c_str());
  SetPixelConstantVector(0, 0, 0, a * 0.8f);
  DrawText(x + 1, y + 1, height, s);
  SetPixelConstantVector(r, g, b, a);
  DrawText(x, y, height, s);
}

void DrawScreenLine(double x0, double y0, double x1, double y1, double width, float r, float g, float b,
                    float a) {
  if (!Device) return;
  double dx = x1 - x0, dy = y1 - y0, len = std::sqrt(dx * dx + dy * dy);
  if (len <= 0) return;
  double nx = -dy / len * width / 2, ny = dx / len * width / 2;
  FlatState();
  DrawScreenQuadColoured(x0 + nx, y0 + ny, r, g, b, a, x1 + nx, y1 + ny, r, g, b, a, x1 - nx, y1 - ny, r,
                         g, b, a, x0 - nx, y0 - ny, r, g, b, a);
  Device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
}
