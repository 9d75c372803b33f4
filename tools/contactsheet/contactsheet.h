// Offscreen pictures of the content, drawn through the simulator's own
// registries, model drawing and shaders on the OpenGL device (or, on Windows,
// the Direct3D 9 device): the aircraft as its drawing composes it, the
// island, the sky and the head-up font.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/math.h"

struct MDL;
class IDirect3DDevice9;

namespace contactsheet {

// Loads the models, textures and shaders the scene and the aircraft use from
// the working directory (a run directory). Needs Device.
struct Content;
Content* LoadContent();
void ReleaseContent(Content* content);

// A camera looking from eye at target (world metres, Z up).
Quat LookAt(const Vec3& eye, const Vec3& target);

// Resets the view state as the scene reset does (light, colours, field of view).
void ResetView();

// Draws one frame: the sky, optionally the island, the aircraft at pose
// (position, orientation) with the given yoke inputs, and optional text.
struct Frame {
  Vec3 eye{0, 0, 5};
  Quat look{0, 0, 0, 1};
  bool island = true;
  bool aircraft = true;
  bool strapsCut = false;  // balloon drawn alone with the default vertex shader
  Vec3 planePosition{70, 70, 2};
  Quat planeOrientation{0, 0, 0.7071067811865476, 0.7071067811865476};
  double pitchInput = 0, rollInput = 0;
  bool text = false;  // a line of text and the eight cursors
};
void DrawFrame(Content* content, const Frame& frame);

// Reads a device's back buffer as packed ARGB pixels, rows from the top
// (ReadGLBackBuffer, ReadD3D9BackBuffer).
typedef bool (*BackBufferReader)(IDirect3DDevice9* device, std::vector<uint32_t>& argb,
                                 uint32_t* width, uint32_t* height);
// Writes the device's back buffer to a PNG file; false on failure.
bool SaveBackBuffer(const std::string& path, BackBufferReader read);

// Loads the content of the working directory, draws every picture of the
// sheet and writes each to <out>/<name>.png; false when one could not be
// written. Needs Device (800 x 600).
bool TakeShots(const std::string& out, BackBufferReader read);

}  // namespace contactsheet
