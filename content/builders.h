// The content builder's pieces: each returns a model or an image that the
// builder then writes into the run directory.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "content/aircraft_file.h"
#include "content/mesh.h"

namespace content {

// An 8-bit image, rows top first, `channels` bytes per pixel (RGB or RGBA).
struct Bitmap {
  int width = 0, height = 0, channels = 4;
  std::vector<uint8_t> pixels;

  Bitmap() = default;
  Bitmap(int w, int h, int c) : width(w), height(h), channels(c), pixels(size_t(w) * h * c, 0) {}
  uint8_t* At(int x, int y) { return &pixels[(size_t(y) * width + x) * channels]; }
};

// Six square faces in Direct3D order +X, -X, +Y, -Y, +Z, -Z.
struct CubeMap {
  int size = 0;
  Bitmap faces[6];
};

// The aircraft "PlaneTarn" as the aircraft file describes it.
ModelFile BuildPlaneModel(const AircraftParams& aircraft = AircraftParams());
ModelFile BuildIslandModel();
// "OpenSea": flat water from the island model's sea out to 60 km, drawn only
// (the aircraft lands on the island model alone), so that the sea, not its
// edge, meets the sky at the horizon.
ModelFile BuildOpenSeaModel();
ModelFile BuildSkyBoxModel();

// The aircraft's strap ends (index 1..4), model metres.
Vec3 PlaneStrapPoint(const AircraftParams& aircraft, int index, bool balloonEnd);

// Island terrain height (metres, world frame) at world (x, y), the surface
// the island model follows (water is flat at the sea level).
double IslandSurfaceHeight(double x, double y);
constexpr double kSeaLevel = -2.0;
// The start meadow around world (70, 70).
constexpr double kMeadowHeight = 0.1;
constexpr double kMeadowX = 70.0, kMeadowY = 70.0, kMeadowRadius = 60.0;

// The windsock "Windsock": nodes "Mast" (standing on its foot at the model's
// origin) and "Sock" (pivot at its node's origin, length along +Y), with its
// texture "Windsock.png". Placed by the scene at kWindsockX, kWindsockY.
ModelFile BuildWindsockModel();
Bitmap PaintWindsockTexture();
constexpr double kWindsockX = 38.0, kWindsockY = 80.0;  // world metres, ahead of the start, to the right
constexpr double kWindsockMastHeight = 6.0;              // metres, to the sock's pivot
constexpr double kWindsockLength = 3.6, kWindsockMouthRadius = 0.45, kWindsockTailRadius = 0.2;

Bitmap PaintIslandTexture();
// "Detail.png": grey grain about mid-grey, tiling, laid over the island and
// the sea at close range.
Bitmap PaintDetailTexture();
Bitmap PaintBodyTexture();
Bitmap PaintCockpitTexture();
CubeMap PaintSkyCube();

// The head-up font atlas: DejaVu Sans Mono cells in the default symbol grid
// and the eight cursor shapes. Returns false (and prints why) when the font
// file cannot be read.
bool PaintFontAtlas(const char* ttfPath, Bitmap& out);
struct CursorCell {
  const char* name;
  int x, y, size;  // texels
};
extern const CursorCell kCursorCells[8];
constexpr int kFontAtlasWidth = 1024;
constexpr int kFontAtlasHeight = 2048;

// The program's icon, `size` pixels square, RGBA.
Bitmap PaintIcon(int size);
// Writes the icon into iconDir/hicolor/<n>x<n>/apps/tarnsim.png for the
// usual theme sizes. Returns false when something could not be written.
bool BuildIcons(const std::string& iconDir);

// Writes everything into outDir (Models/, Textures/, Shaders/, Fonts/),
// copying the hand-written sources from sourceDir (the content folder).
// Returns false when something could not be written.
bool BuildContent(const std::string& sourceDir, const std::string& outDir, const std::string& fontPath);

}  // namespace content
