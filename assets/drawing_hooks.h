// What loading content asks of the drawing side: the device objects of a
// model, and the textures and shaders that fonts and the aircraft hold for
// their drawing. The drawing layer (render/) fills these in with
// InstallDrawingHooks; a program without it (the flight runner) loads
// geometry and tables only, and the records it would have drawn with stay null.
#pragma once
#include <cstdint>

struct MDL;
struct TextureRecord;
struct VertexShaderRecord;
struct PixelShaderRecord;
class String;

struct DrawingHooks {
  // Creates the device objects a loaded model lacks (when a device exists);
  // releases the ones it holds.
  void (*createModelObjects)(MDL* model) = nullptr;
  void (*releaseModelObjects)(MDL* model) = nullptr;
  // The shared texture and shader registries: load-or-get by name, drop a reference.
  TextureRecord* (*loadTexture)(const String& name, bool cube) = nullptr;
  void (*releaseTexture)(TextureRecord* record) = nullptr;
  VertexShaderRecord* (*loadVertexShader)(const String& name) = nullptr;
  PixelShaderRecord* (*loadPixelShader)(const String& name) = nullptr;
  void (*releasePixelShader)(PixelShaderRecord* record) = nullptr;
};

extern DrawingHooks Drawing;  // all null until the drawing side installs them

