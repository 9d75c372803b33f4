// Texture and shader registries: device resources shared by name. Each record
// is reference counted; a failed load leaves a registered record whose device
// object is null (drawing code tests for it).
#pragma once
#include <cstdint>

#include "foundation/str.h"
#include "platform/gpu/device.h"

struct TextureRecord {
  TextureRecord* prev;
  TextureRecord* next;
  uint32_t refs;                    // 1 on creation
  String name;                      // as requested, below "Textures/"
  uint32_t kind;                    // 0 = 2D texture, 1 = cube texture
  IDirect3DBaseTexture9* texture;   // null until loaded, or after a failed load
};

struct VertexShaderRecord {
  VertexShaderRecord* prev;
  VertexShaderRecord* next;
  uint32_t refs;
  String name;  // "Shaders/" + name + ".VSH"
  IDirect3DVertexShader9* shader;
};

struct PixelShaderRecord {
  PixelShaderRecord* prev;
  PixelShaderRecord* next;
  uint32_t refs;
  String name;  // "Shaders/" + name + ".PSH"
  IDirect3DPixelShader9* shader;
};

// Registry heads, newest first; null when empty.
extern TextureRecord* TextureList;
extern VertexShaderRecord* VertexShaderList;
extern PixelShaderRecord* PixelShaderList;

// Load-or-get by exact name. cube selects a cube texture for a new record; a
// record found by name keeps the kind it was created with.
TextureRecord* LoadTexture(const String& name, bool cube);
// Creates the device texture when a device exists and the record has none.
void LoadTextureData(TextureRecord* record);
void ReleaseTexture(TextureRecord* record);  // drops one reference
void ReleaseAllTextures();                   // destroys every record (at exit)

VertexShaderRecord* LoadVertexShader(const String& name);
void LoadVertexShaderData(VertexShaderRecord* record);
void ReleaseAllVertexShaders();

PixelShaderRecord* LoadPixelShader(const String& name);
void LoadPixelShaderData(PixelShaderRecord* record);
void ReleasePixelShader(PixelShaderRecord* record);
void ReleaseAllPixelShaders();

// Lets content loading below the drawing layer (models, fonts, the aircraft)
// create device objects and use these registries (assets/drawing_hooks.h).
// Every program that draws calls it once before loading content.
void InstallDrawingHooks();
