// Text and symbol drawing with CurrentFont: screen-space quads in back-buffer
// pixels, y growing downwards.
#pragma once
#include <cstdint>

#include "foundation/str.h"

// Lays out text with its first line's top-left corner at (x, y); every symbol
// is height pixels tall. A line feed starts a new line; "\Crgba" (four hex
// digits) sets the colour in pixel register c2; "\Snnnn" draws symbol nnnn; a
// backslash before any other character draws that character. The text colour
// is whatever pixel register c2 holds: callers set it beforehand.
void DrawText(double x, double y, double height, String text);

// Draws one symbol centred on (x, y); height 0 means its natural texel height.
void DrawSymbolCentred(uint32_t index, double x, double y, double height);
