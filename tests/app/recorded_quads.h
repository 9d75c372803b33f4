// Reading screen quads back from the recording device: their corners in the
// order the drawing code gave them, and the text a run of font quads spells.
#pragma once
#include <cmath>
#include <string>
#include <vector>

#include "assets/font.h"
#include "platform/gpu/recording.h"
#include "render/draw.h"

struct Quad {
  float x[4], y[4];
  float u[4], v[4];
  uint32_t colour[4];
  bool textured;
};

// The strip holds corners 0, 1, 3, 2 of the quad; this undoes that.
inline Quad ReadQuad(const RecordedCall* d) {
  static const uint32_t strip[4] = {0, 1, 3, 2};
  Quad q{};
  q.textured = d->u[2] == sizeof(TexturedScreenVertex);
  for (int i = 0; i < 4; i++) {
    uint32_t k = strip[i];
    q.x[i] = d->vertexFloat(k, 0);
    q.y[i] = d->vertexFloat(k, 4);
    if (q.textured) {
      q.u[i] = d->vertexFloat(k, 16);
      q.v[i] = d->vertexFloat(k, 20);
    } else {
      q.colour[i] = d->vertexUint(k, 16);
    }
  }
  return q;
}

inline bool IsScreenQuad(const RecordedCall* d) {
  return d->kind == CallKind::DrawPrimitiveUP && d->u[0] == D3DPT_TRIANGLESTRIP && d->u[1] == 2 &&
         (d->state->fvf & D3DFVF_XYZRHW) == D3DFVF_XYZRHW;
}

// The character cell of CurrentFont whose top-left texture corner is (u, v);
// '?' when none is.
inline char CellAt(float u, float v) {
  if (!CurrentFont) return '?';
  for (uint32_t k = 0; k < 256 && k < CurrentFont->symbols.count; k++) {
    const FontSymbol& s = CurrentFont->symbols[k];
    if (std::fabs(float(s.left) - u) < 1e-6f && std::fabs(float(s.top) - v) < 1e-6f) return char(k);
  }
  return '?';
}

// The text spelled by the textured screen quads of the given height, a line
// feed wherever the top edge moves down.
inline std::string DecodeText(const std::vector<const RecordedCall*>& draws, double height) {
  std::string text;
  bool first = true;
  float lastY = 0;
  for (const RecordedCall* d : draws) {
    if (!IsScreenQuad(d)) continue;
    Quad q = ReadQuad(d);
    if (!q.textured || std::fabs(q.y[1] - q.y[0] - float(height)) > 1e-3f) continue;
    if (!first && q.y[0] > lastY) text += '\n';
    first = false;
    lastY = q.y[0];
    text += CellAt(q.u[0], q.v[0]);
  }
  return text;
}
