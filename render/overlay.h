// Screen overlays drawn over the scene: translucent plates, text with a dark
// outline (readable over sky, sea and sand alike), filled bars and needles.
// Back-buffer pixels, y down. With a null Device nothing is drawn.
#pragma once
#include <string>

// The size factor of overlays for the current back buffer: 1 at 1280 x 800,
// proportional to the smaller of width / 1280 and height / 800, never below 0.6.
double OverlayScale();

// Width in pixels of one line of text at the given height with CurrentFont
// (escapes are not interpreted: overlay texts carry none).
double TextWidth(const std::string& text, double height);

// A rectangle of colour (r, g, b) at opacity a, blended over the picture.
void DrawPlate(double x0, double y0, double x1, double y1, float r, float g, float b, float a);

// Text in colour (r, g, b, a) over a one-pixel dark outline of the same opacity.
void DrawOutlinedText(double x, double y, double height, const std::string& text, float r, float g,
                      float b, float a = 1);

// A line segment width pixels thick, blended (needles, bar marks).
void DrawScreenLine(double x0, double y0, double x1, double y1, double width, float r, float g, float b,
                    float a = 1);
