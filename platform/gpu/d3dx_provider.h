// A device with a D3DX of its own (Direct3D 9's, on Windows) registers it
// here for as long as it exists: the D3DX calls of device.h then load
// textures for that device and assemble shaders with it. Without one, the
// portable loaders and our assembler serve every device.
#pragma once
#include <cstddef>

#include "platform/gpu/device.h"

struct D3DXProvider {
  // Loads a texture file for device. False when the device is not the
  // provider's own (the portable loader serves it then); otherwise *hr holds
  // the result and *out the texture (null on failure).
  bool (*createTexture)(IDirect3DDevice9* device, const char* path, bool cube,
                        IDirect3DBaseTexture9** out, HRESULT* hr);
  // Assembles a shader file as D3DXAssembleShaderFromFileA does (an error
  // also logs the assembler's message).
  HRESULT (*assembleShader)(const char* path, ID3DXBuffer** code, ID3DXBuffer** errors);
};

// null: back to the portable ones.
void SetD3DXProvider(const D3DXProvider* provider);

// A D3DX buffer holding a copy of size bytes.
ID3DXBuffer* NewD3DXBuffer(const void* data, size_t size);
