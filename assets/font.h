// Fonts: a texture atlas and a table of rectangles ("symbols") in it, read
// from "Fonts/<name>.fnt" and shared by name. The first 256 symbols of a text
// font are its character cells; later ones are named (cursors, markers).
#pragma once
#include <cstdint>

#include "foundation/array.h"
#include "foundation/str.h"

struct TextureRecord;      // render/resources.h
struct PixelShaderRecord;

struct FontSymbol {
  String key;  // name of the symbol, or of the symbol array that produced it
  double left, top, right, bottom;  // texture coordinates (0..1 across the texture)
  double aspect;                    // width / height in texels
};
TARN_BYTEWISE_MOVABLE(FontSymbol);

struct Font {
  uint8_t loaded = 0;  // set once reading was attempted; a font is read at most once
  Font* prev = nullptr;
  Font* next = nullptr;
  uint32_t refs = 1;
  String name;  // without folder and extension
  TextureRecord* texture = nullptr;          // from the "Texture" entry
  PixelShaderRecord* pixelShader = nullptr;  // "font", loaded with "TextureSize"
  Array<FontSymbol> symbols;                 // in definition order
  double textureWidth = 0, textureHeight = 0;  // texels
};

extern Font* FontRegistry;  // newest first; null when empty
extern Font* CurrentFont;   // the font text and symbols are drawn with

// Load-or-get by name; never null. A new font is read from its ".fnt" file.
Font* LoadFont(const String& name);
// Drops one reference; the last one unlinks and destroys the font.
void ReleaseFont(Font* font);
void ReleaseAllFonts();  // empties the registry whatever the counts (at exit)

// Reads "Fonts/<name>.fnt" into a font once (sets loaded first).
void ReadFont(Font* font);

// Index of the first symbol of CurrentFont with that key, or -1.
int32_t FindSymbol(const String& name);
