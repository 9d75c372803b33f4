// The Direct3D 9 device (Windows): the program's device interface drawn by
// Windows' own Direct3D 9, which already is what the interface describes
// (depth range, pixel centres, culling, packed colours and the fixed-function
// pipeline are native here). While it exists, D3DX 9 loads its textures
// (D3DXCreateTextureFromFileExA / D3DXCreateCubeTextureFromFileExA) and
// assembles every shader (D3DXAssembleShaderFromFileA), and CreateVertexShader
// / CreatePixelShader take D3DX's assembled code.
//
//   IDirect3DDevice9* device = nullptr;
//   CreateD3D9Device(hwnd, clientWidth, clientHeight, false, 0, &device);
#pragma once
#include <cstdint>
#include <vector>

#include "platform/gpu/device.h"

// window: the HWND the device presents to (its focus window); vsync: presents
// wait for the display's refresh; samples: multisample anti-aliasing (0: none;
// a count the adapter does not offer draws without). Returns the result of
// Direct3D's CreateDevice, or D3DERR_INVALIDCALL for a bad size, window or out.
HRESULT CreateD3D9Device(void* window, int width, int height, bool vsync, int samples, IDirect3DDevice9** out);
// The samples a pixel the device draws with (0: no multisampling).
int D3D9DeviceSamples(IDirect3DDevice9* device);

// Reads the back buffer as packed ARGB pixels (alpha 255), rows from the top.
// False when device is not a Direct3D 9 device.
bool ReadD3D9BackBuffer(IDirect3DDevice9* device, std::vector<uint32_t>& argb, uint32_t* width,
                        uint32_t* height);
