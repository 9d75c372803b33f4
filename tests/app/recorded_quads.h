// Screen quads read back from the recording device, and the text a run of font quads spells.
#pragma once
#include <cmath>
#include <string>
#include <vector>

#include "assets/font.h"
#include "platform/gpu/recording.h"
#include "render/draw.h"

struct Quad {
  float x[4], y[4], u[4], v[4];
  uint32_t colour[4];
  bool textured;
};

// False unless the call draws a two-triangle strip of pre-transformed vertices (quad corners 0, 1, 3, 2).
inline bool ReadQuad(const RecordedCall* d, Quad& q) {
  if (d->kind != CallKind::DrawPrimitiveUP || d->u[0] != D3DPT_TRIANGLESTRIP || d->u[1] != 2 ||
      (d->state->fvf & D3DFVF_XYZRHW) != D3DFVF_XYZRHW)
    return false;
  q.textured = d->u[2] == sizeof(TexturedScreenVertex);
  for (uint32_t i = 0; i < 4; i++) {
    uint32_t k = i < 2 ? i : 5 - i;
    q.x[i] = d->vertexFloat(k, 0);
    q.y[i] = d->vertexFloat(k, 4);
    q.u[i] = q.textured ? d->vertexFloat(k, 16) : 0;
    q.v[i] = q.textured ? d->vertexFloat(k, 20) : 0;
    q.colour[i] = q.textured ? 0 : d->vertexUint(k, 16);
  }
  return true;
}

// The text spelled by the textured screen quads of the given height: each quad's character is the cell of CurrentFont
// with its top-left texture corner ('?' when none), a line feed wherever the top edge moves down.
inline std::string DecodeText(const std::vector<const RecordedCall*>& draws, double height) {
  std::string text;
  float lastY = -1e9f;
  Quad q;
  for (const RecordedCall* d : draws) {
    if (!ReadQuad(d, q) || !q.textured || std::fabs(q.y[1] - q.y[0] - float(height)) > 1e-3f) continue;
    if (lastY > -1e9f && q.y[0] > lastY) text += '\n';
    lastY = q.y[0];
    char c = '?';
    for (uint32_t k = 0; CurrentFont && k < 256 && k < CurrentFont->symbols.count; k++) {
      const FontSymbol& s = CurrentFont->symbols[k];
      if (std::fabs(float(s.left) - q.u[0]) < 1e-6f && std::fabs(float(s.top) - q.v[0]) < 1e-6f) c = char(k);
    }
    text += c;
  }
  return text;
}

// The light pass of outlined overlay text (the dark outline under it skipped) at one height.
inline std::string DecodeLightText(const std::vector<const RecordedCall*>& draws, double height) {
  std::vector<const RecordedCall*> light;
  for (const RecordedCall* d : draws)
    if (d->state->pixelConstants[2][0] > 0.5f) light.push_back(d);
  return DecodeText(light, height);
}
