// The head-up font atlas: DejaVu Sans Mono glyphs in the font format's
// default cell grid (16 per row, 43 x 72 texels, 51 x 80 apart, from (4, 4))
// and the cursor shapes in the free column to its right. White with the
// coverage in alpha: the font shader colours it.
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "content/builders.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/str.h"

namespace content {

const CursorCell kCursorCells[8] = {
    {"Cursor Default", 824, 4, 64}, {"Cursor Cross", 890, 4, 64},   {"Cursor Move", 956, 4, 64},
    {"Cursor Rotate", 824, 70, 64}, {"Cursor MoveV", 890, 70, 64},  {"Cursor MoveH", 956, 70, 64},
    {"Cursor Move45", 824, 136, 64}, {"Cursor Move135", 890, 136, 64},
};

namespace {

constexpr int kCellW = 43, kCellH = 72, kStepX = 51, kStepY = 80, kStart = 4, kPerRow = 16;
constexpr double kEmPixels = 62.0;
constexpr int kBaseline = 57;  // texels below the cell's top

struct P {
  double x, y;
};

bool InPolygon(const std::vector<P>& poly, P p) {
  bool inside = false;
  for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
    if ((poly[i].y > p.y) != (poly[j].y > p.y) &&
        p.x < (poly[j].x - poly[i].x) * (p.y - poly[i].y) / (poly[j].y - poly[i].y) + poly[i].x)
      inside = !inside;
  }
  return inside;
}

P Turn(P p, double angle) {
  double c = std::cos(angle), s = std::sin(angle);
  return {p.x * c - p.y * s, p.x * s + p.y * c};
}

// A double-headed arrow along +X through the centre.
bool InDoubleArrow(P p) {
  p.y = std::fabs(p.y);
  p.x = std::fabs(p.x);
  if (p.x <= 0.62 && p.y <= 0.07) return true;
  return InPolygon({{0.95, 0.0}, {0.55, 0.3}, {0.55, 0.0}}, p);
}

// Shapes in cell coordinates: x right, y down, -1..1, the hot spot at 0.
bool InCursor(int kind, P p) {
  switch (kind) {
    case 0: {  // arrow with its tip on the hot spot
      const double k = 1.0;
      std::vector<P> arrow = {{0, 0},           {0, 0.86 * k},    {0.22 * k, 0.66 * k}, {0.38 * k, 0.98 * k},
                              {0.52 * k, 0.91 * k}, {0.36 * k, 0.6 * k}, {0.64 * k, 0.6 * k}};
      return InPolygon(arrow, p);
    }
    case 1: {  // cross hair with an open centre
      double ax = std::fabs(p.x), ay = std::fabs(p.y);
      if (ax < 0.07 && ay > 0.2 && ay < 0.92) return true;
      if (ay < 0.07 && ax > 0.2 && ax < 0.92) return true;
      return ax < 0.07 && ay < 0.07;
    }
    case 2:  // four-way move
      return InDoubleArrow(p) || InDoubleArrow(Turn(p, M_PI / 2));
    case 3: {  // rotate: three quarters of a ring with an arrow head
      double r = std::sqrt(p.x * p.x + p.y * p.y), a = std::atan2(p.y, p.x);
      if (r > 0.5 && r < 0.66 && !(a > -M_PI / 2 && a < 0.0)) return true;
      return InPolygon({{0.3, 0.0}, {0.86, 0.0}, {0.58, -0.36}}, p);
    }
    case 4:
      return InDoubleArrow(Turn(p, M_PI / 2));
    case 5:
      return InDoubleArrow(p);
    case 6:  // lower left to upper right
      return InDoubleArrow(Turn(p, M_PI / 4));
    default:  // upper left to lower right
      return InDoubleArrow(Turn(p, -M_PI / 4));
  }
}

uint32_t Be32(const std::vector<unsigned char>& d, size_t at) {
  return uint32_t(d[at]) << 24 | uint32_t(d[at + 1]) << 16 | uint32_t(d[at + 2]) << 8 | d[at + 3];
}

// The TrueType rasteriser trusts the offsets inside a font, so a damaged file
// could make it read out of bounds: accept only a font whose table directory
// lies inside the file and whose every table matches its checksum.
bool FontFileIsSound(const std::vector<unsigned char>& d) {
  if (d.size() < 12) return false;
  const uint32_t tables = uint32_t(d[4]) << 8 | d[5];
  if (tables == 0 || 12 + size_t(tables) * 16 > d.size()) return false;
  for (uint32_t i = 0; i < tables; ++i) {
    const size_t rec = 12 + size_t(i) * 16;
    const uint32_t tag = Be32(d, rec), checksum = Be32(d, rec + 4), offset = Be32(d, rec + 8),
                   length = Be32(d, rec + 12);
    if (offset > d.size() || length > d.size() - offset) return false;
    uint32_t sum = 0;
    for (uint32_t at = 0; at < length; at += 4) {
      uint32_t word = 0;
      for (uint32_t k = 0; k < 4; ++k) {
        uint32_t byte = at + k < length ? d[offset + at + k] : 0;
        if (tag == 0x68656164u && at == 8) byte = 0;  // "head": its adjustment field counts as zero
        word = word << 8 | byte;
      }
      sum += word;
    }
    if (sum != checksum) return false;
  }
  return true;
}

}  // namespace

bool PaintFontAtlas(const char* ttfPath, Bitmap& out) {
  std::string bytes, reason;
  ReadWholeFile(ttfPath, FileKind::Content, bytes, reason);
  std::vector<unsigned char> ttf(bytes.begin(), bytes.end());
  stbtt_fontinfo font;
  if (ttf.empty() || !FontFileIsSound(ttf) || !stbtt_InitFont(&font, ttf.data(), stbtt_GetFontOffsetForIndex(ttf.data(), 0))) {
    Log("tarn-content: cannot read the font \"%s\"\n", ttfPath);
    return false;
  }
  out = Bitmap(kFontAtlasWidth, kFontAtlasHeight, 4);
  for (size_t i = 0; i < out.pixels.size(); i += 4) out.pixels[i] = out.pixels[i + 1] = out.pixels[i + 2] = 255;

  const float scale = stbtt_ScaleForMappingEmToPixels(&font, float(kEmPixels));
  for (int code = 0; code < 256; ++code) {
    int cp = int(CodePointOfCell(uint8_t(code)));
    if (!cp || !stbtt_FindGlyphIndex(&font, cp)) continue;
    const int cellX = (code % kPerRow) * kStepX + kStart, cellY = (code / kPerRow) * kStepY + kStart;
    int advance, bearing;
    stbtt_GetCodepointHMetrics(&font, cp, &advance, &bearing);
    const float shiftX = (kCellW - advance * scale) * 0.5f;  // centre the advance in the cell
    int x0, y0, x1, y1;
    stbtt_GetCodepointBitmapBoxSubpixel(&font, cp, scale, scale, shiftX - std::floor(shiftX), 0, &x0, &y0, &x1, &y1);
    int w = x1 - x0, h = y1 - y0;
    if (w <= 0 || h <= 0) continue;
    std::vector<unsigned char> glyph(size_t(w) * h);
    stbtt_MakeCodepointBitmapSubpixel(&font, glyph.data(), w, h, w, scale, scale, shiftX - std::floor(shiftX), 0, cp);
    for (int gy = 0; gy < h; ++gy)
      for (int gx = 0; gx < w; ++gx) {
        int cx = int(std::floor(shiftX)) + x0 + gx, cy = kBaseline + y0 + gy;
        if (cx < 0 || cx >= kCellW || cy < 0 || cy >= kCellH) continue;  // stay inside the cell
        out.At(cellX + cx, cellY + cy)[3] = glyph[size_t(gy) * w + gx];
      }
  }

  // Cursors, 4 x 4 samples per texel for smooth but crisp edges.
  for (int kind = 0; kind < 8; ++kind) {
    const CursorCell& cell = kCursorCells[kind];
    for (int y = 0; y < cell.size; ++y)
      for (int x = 0; x < cell.size; ++x) {
        int hits = 0;
        for (int sy = 0; sy < 4; ++sy)
          for (int sx = 0; sx < 4; ++sx) {
            P p{((x + (sx + 0.5) / 4.0) / cell.size) * 2.0 - 1.0, ((y + (sy + 0.5) / 4.0) / cell.size) * 2.0 - 1.0};
            p.x *= 1.08;  // a small margin so the outline pass stays inside the cell
            p.y *= 1.08;
            hits += InCursor(kind, p) ? 1 : 0;
          }
        out.At(cell.x + x, cell.y + y)[3] = uint8_t(hits * 255 / 16);
      }
  }
  return true;
}

}  // namespace content
