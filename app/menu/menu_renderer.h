// Dear ImGui's draw lists through the program's own device: one font-atlas
// texture, one vertex and one 32-bit index buffer that grow as needed,
// pre-transformed vertices, a scissor rectangle per command. The device
// state it changes is put back afterwards, so the frame's own drawing never
// sees it.
#pragma once

struct ImDrawData;
class IDirect3DTexture9;

// Creates the font texture from the current ImGui context's atlas (once per
// device). False, with one console line, when the device refuses it.
bool CreateMenuFontTexture();
// Draws the data of ImGui::Render() on Device; nothing without a device.
void RenderMenuDrawData(const ImDrawData* data);
// Releases the texture and buffers (before the device goes).
void ReleaseMenuRenderer();
