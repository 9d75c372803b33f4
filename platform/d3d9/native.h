// The calls into Windows' Direct3D 9 and D3DX 9 that the Direct3D 9 device
// makes, with plain types only. Windows' d3d9.h declares the same names as
// the program's device interface (IDirect3DDevice9, D3DFORMAT, HRESULT ...),
// so the two never meet in one file: native.cpp sees only Windows' headers,
// the device only this one. Enumeration values and the layouts of matrices,
// viewports and vertex elements are Direct3D's on both sides and pass through
// unchanged. Results are HRESULT values.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace d3d9native {

struct Device;  // IDirect3DDevice9
struct Object;  // any other Direct3D object: buffer, declaration, shader, texture

// Direct3DCreate9 and a windowed HAL device for the window's client area as
// the program has always asked for it: X8R8G8B8 back buffer, D24S8 depth,
// hardware vertex processing, FPU preserved; software vertex processing when
// the hardware refuses (*software says which). vsync: presents wait for the
// retrace (D3DPRESENT_INTERVAL_ONE) instead of showing at once. *samples:
// the multisample count asked for (0: none), set to the one granted (0 when
// the adapter does not offer it).
int32_t CreateDevice(void* window, uint32_t width, uint32_t height, bool vsync, uint32_t* samples,
                     Object** direct3d, Device** device, bool* software);
// After a lost device: D3D_OK once usable, D3DERR_DEVICELOST while it is
// still lost, D3DERR_DEVICENOTRESET when Reset may bring it back.
int32_t TestCooperativeLevel(Device* d);
// Reset with the parameters CreateDevice used, or a new back-buffer size;
// every state returns to its default (managed resources survive).
int32_t Reset(Device* d, uint32_t width, uint32_t height, bool vsync, uint32_t samples);
// IUnknown::Release of either kind of object; 0 for null.
uint32_t Release(Device* device);
uint32_t Release(Object* object);

int32_t BeginScene(Device* d);
int32_t EndScene(Device* d);
int32_t Present(Device* d);
int32_t Clear(Device* d, uint32_t flags, uint32_t colour, float z, uint32_t stencil);
int32_t SetViewport(Device* d, const void* viewport);       // D3DVIEWPORT9
int32_t SetScissorRect(Device* d, int32_t left, int32_t top, int32_t right, int32_t bottom);
int32_t SetTransform(Device* d, uint32_t state, const void* matrix);  // D3DMATRIX
int32_t SetRenderState(Device* d, uint32_t state, uint32_t value);
int32_t SetSamplerState(Device* d, uint32_t stage, uint32_t type, uint32_t value);
int32_t SetTexture(Device* d, uint32_t stage, Object* texture);
int32_t SetVertexShader(Device* d, Object* shader);
int32_t SetPixelShader(Device* d, Object* shader);
int32_t SetVertexShaderConstantF(Device* d, uint32_t start, const float* data, uint32_t count);
int32_t SetPixelShaderConstantF(Device* d, uint32_t start, const float* data, uint32_t count);
int32_t SetFVF(Device* d, uint32_t fvf);
int32_t SetVertexDeclaration(Device* d, Object* declaration);
int32_t SetStreamSource(Device* d, Object* buffer, uint32_t offset, uint32_t stride);
int32_t SetIndices(Device* d, Object* indices);
int32_t DrawPrimitiveUP(Device* d, uint32_t type, uint32_t count, const void* vertices,
                        uint32_t stride);
int32_t DrawIndexedPrimitive(Device* d, uint32_t type, int32_t baseVertex, uint32_t minIndex,
                             uint32_t numVertices, uint32_t startIndex, uint32_t count);

// Managed-pool buffers (32-bit indices), refilled from the program's copy.
int32_t CreateVertexBuffer(Device* d, uint32_t length, uint32_t fvf, Object** out);
int32_t CreateIndexBuffer(Device* d, uint32_t length, Object** out);
int32_t FillBuffer(Object* buffer, bool index, uint32_t offset, const void* data, uint32_t size);
int32_t CreateVertexDeclaration(Device* d, const void* elements, Object** out);  // D3DVERTEXELEMENT9[]
int32_t CreateVertexShader(Device* d, const uint32_t* code, Object** out);
int32_t CreatePixelShader(Device* d, const uint32_t* code, Object** out);

// Managed-pool textures of a D3DFORMAT, filled level by level.
int32_t CreateTexture(Device* d, uint32_t width, uint32_t height, uint32_t levels, uint32_t format,
                      Object** out);
int32_t CreateCubeTexture(Device* d, uint32_t edge, uint32_t levels, uint32_t format, Object** out);
// rowBytes per row (a row of 4x4 blocks for compressed formats), rows of them.
int32_t FillTextureLevel(Object* texture, bool cube, uint32_t face, uint32_t level,
                         const uint8_t* bytes, uint32_t rowBytes, uint32_t rows);
struct TextureInfo {
  bool cube = false;
  uint32_t width = 0, height = 0, levels = 0;
};
TextureInfo DescribeTexture(Object* texture, bool cube);

// D3DXAssembleShaderFromFileA (path) or D3DXAssembleShader (text): the
// assembled code with its end token, and the assembler's messages.
int32_t AssembleShaderFile(const char* path, std::vector<uint32_t>& code, std::string& errors);
int32_t AssembleShaderText(const char* text, size_t length, std::vector<uint32_t>& code,
                           std::string& errors);

// The back buffer as packed ARGB pixels, rows from the top.
bool ReadBackBuffer(Device* d, std::vector<uint32_t>& argb, uint32_t* width, uint32_t* height);

}  // namespace d3d9native
