// The shader constant registers the program writes, named once. The drawing
// code sets them by these names; the content shaders read them by number and
// name them in their header comments ("; c8-c11: world"), and
// tests/content/shader_registers_test.cpp holds the two sides together.
//
// Every register is four floats. A matrix takes four registers from its first
// one, register r + i holding column i (the matrix transposed), so that a
// shader forms each output component as one four-component dot product
// (m4x4 and its relatives). Registers from kFirstShaderOwnRegister on belong
// to the shaders' own constants (def).
#pragma once

// Vertex shader registers.
constexpr int kVertexProjection = 0;    // c0-c3: projection
constexpr int kVertexView = 4;          // c4-c7: view, the camera's rotation only
constexpr int kVertexWorld = 8;         // c8-c11: world matrix of the draw, camera-relative
constexpr int kVertexWorldW = 12;       // c12: (0, 0, 0, 1)
constexpr int kVertexLightPoint = 13;   // c13: a light point far away along LightDirection
constexpr int kVertexZero = 14;         // c14: (0, 0, 0, 0)
constexpr int kVertexCamera = 15;       // c15: (CameraPosition, 1)
constexpr int kVertexSecondWorld = 15;  // c15-c18: a second world matrix (the straps' balloon end)

// Pixel shader registers.
constexpr int kPixelAmbient = 0;      // c0: (ShaderColour0, 1)
constexpr int kPixelSun = 1;          // c1: (ShaderColour1, 1)
constexpr int kPixelColour = 2;       // c2: colour multiplier of the draw, white after SetupFrame
constexpr int kPixelShade = 3;        // c3: (ShaderColour3, 1)
constexpr int kPixelRunTime = 4;      // c4: (RunTime, 0, 0, 0)
constexpr int kPixelProjection = 6;   // c6-c9: projection
constexpr int kPixelView = 10;        // c10-c13: view

constexpr int kFirstShaderOwnRegister = 20;

enum class ShaderStage { kVertex, kPixel };

// One row of the layout. `name` is the word a shader's header comment uses
// for the register; `forAuthors` marks registers the program writes for
// content authors although no shipped shader reads them (they stay written:
// a shader may start reading them any time).
struct ShaderRegister {
  ShaderStage stage;
  int first;
  int count;  // 4: a matrix; 1: a vector
  const char* name;
  bool forAuthors;
};

// Registers of different meaning may share a number (c15 is the camera
// position and, during the strap draw, the first column of the second world
// matrix); a shader names the one it means.
constexpr ShaderRegister kShaderRegisters[] = {
    {ShaderStage::kVertex, kVertexProjection, 4, "projection", false},
    {ShaderStage::kVertex, kVertexView, 4, "view", false},
    {ShaderStage::kVertex, kVertexWorld, 4, "world", false},
    {ShaderStage::kVertex, kVertexWorldW, 1, "world w", true},
    {ShaderStage::kVertex, kVertexLightPoint, 1, "light point", false},
    {ShaderStage::kVertex, kVertexZero, 1, "zero", true},
    {ShaderStage::kVertex, kVertexCamera, 1, "camera", true},
    {ShaderStage::kVertex, kVertexSecondWorld, 4, "second world", false},
    {ShaderStage::kPixel, kPixelAmbient, 1, "ambient", false},
    {ShaderStage::kPixel, kPixelSun, 1, "sun", false},
    {ShaderStage::kPixel, kPixelColour, 1, "colour", false},
    {ShaderStage::kPixel, kPixelShade, 1, "shade", false},
    {ShaderStage::kPixel, kPixelRunTime, 1, "run time", true},
    {ShaderStage::kPixel, kPixelProjection, 4, "projection", true},
    {ShaderStage::kPixel, kPixelView, 4, "view", true},
};
