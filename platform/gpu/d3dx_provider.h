// A device with a D3DX of its own (Direct3D 9's, on Windows) registers it
// here for as long as it exists: the D3DX calls of device.h then assemble
// shaders with it. Without one, our assembler serves every device. Textures
// are always read by the portable loaders, which build the smaller levels
// themselves: D3DX's own filter differs between Windows and Wine (Wine's
// samples points), and both builds must show the same picture.
#pragma once
#include <cstddef>

#include "platform/gpu/device.h"

struct D3DXProvider {
  // Assembles a shader file as D3DXAssembleShaderFromFileA does (an error
  // also logs the assembler's message).
  HRESULT (*assembleShader)(const char* path, ID3DXBuffer** code, ID3DXBuffer** errors);
};

// null: back to the portable ones.
void SetD3DXProvider(const D3DXProvider* provider);

// A D3DX buffer holding a copy of size bytes.
ID3DXBuffer* NewD3DXBuffer(const void* data, size_t size);
