// The windsock on the edge of the start meadow: a mast and a sock in the
// usual five bands, orange at the mouth. The sock is its own node, drawn
// turned into the wind at the mast's head; the mast stands on the ground.
#include <cmath>

#include "content/builders.h"

namespace content {

namespace {
// Texture: the sock's bands on the left half (v along the sock, mouth at the
// top), the mast's grey on the right.
constexpr Region kSockRegion{0.0, 0.0, 0.5, 1.0};
constexpr Region kMastRegion{0.5, 0.0, 1.0, 1.0};
constexpr int kRingPoints = 12;

// Mast and sock are both open tubes, textured round their circumference.
void AddTube(MeshNode& node, const std::vector<std::vector<Vec3>>& rings, const Region& region) {
  LoftOptions o;
  o.cylindricalUV = true;
  o.region = region;
  AddLoft(node, rings, o);
}
}  // namespace

ModelFile BuildWindsockModel() {
  ModelFile m;
  m.scale = 0.1;
  // Model frame: z up from the foot of the mast; the sock's pivot at the
  // origin of its node, its length along +Y (downwind once turned).
  const Vec3 x{1, 0, 0}, y{0, 1, 0};
  std::vector<std::vector<Vec3>> mastRings;
  for (double z : {0.0, kWindsockMastHeight + 0.15}) mastRings.push_back(Ring({0, 0, z}, x, y, 0.06, 0.06, kRingPoints));
  AddTube(m.Add("Mast"), mastRings, kMastRegion);

  // The sock's rings about +Y: e1 x e2 = +Y.
  const Vec3 e1{0, 0, 1}, e2{1, 0, 0};
  std::vector<std::vector<Vec3>> sockRings;
  constexpr int kBands = 5;
  for (int i = 0; i <= kBands; i++) {
    const double s = double(i) / kBands;
    const double r = kWindsockMouthRadius + (kWindsockTailRadius - kWindsockMouthRadius) * s;
    sockRings.push_back(Ring({0, s * kWindsockLength, 0}, e1, e2, r, r, kRingPoints));
  }
  AddTube(m.Add("Sock"), sockRings, kSockRegion);
  return m;
}

Bitmap PaintWindsockTexture() {
  const int n = 64;
  Bitmap img(n, n, 3);
  for (int y = 0; y < n; y++)
    for (int x = 0; x < n; x++) {
      uint8_t* p = img.At(x, y);
      if (x >= n / 2) {  // the mast: galvanised grey
        p[0] = 150, p[1] = 154, p[2] = 158;
        continue;
      }
      // Five bands down the sock, orange first at the mouth.
      const bool orange = (y * 5 / n) % 2 == 0;
      p[0] = orange ? 238 : 244, p[1] = orange ? 96 : 242, p[2] = orange ? 24 : 236;
    }
  return img;
}

}  // namespace content
