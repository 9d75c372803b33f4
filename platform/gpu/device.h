// The graphics device (Direct3D 9 names and shapes): the subset of Direct3D 9 that the program uses, so the
// drawing code reads like the design. Two implementations: the OpenGL 3.3
// device (platform/gl) and the recording device (recording.h) that tests use.
// Every resource is reference counted; Release returns the remaining count.
#pragma once
#include <cstdint>

#include "platform/gpu/types.h"

struct Image;

class IUnknown {
 public:
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;  // the count left; 0 destroys the object

 protected:
  virtual ~IUnknown() = default;
};

class IDirect3DVertexBuffer9 : public IUnknown {
 public:
  // Maps [offset, offset + size) for writing; size 0 means to the end.
  virtual HRESULT Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual uint32_t Length() const = 0;  // bytes
};

class IDirect3DIndexBuffer9 : public IUnknown {  // 32-bit indices
 public:
  virtual HRESULT Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual uint32_t Length() const = 0;  // bytes
};

class IDirect3DVertexDeclaration9 : public IUnknown {};
class IDirect3DVertexShader9 : public IUnknown {};
class IDirect3DPixelShader9 : public IUnknown {};

class IDirect3DBaseTexture9 : public IUnknown {
 public:
  virtual D3DRESOURCETYPE GetType() const = 0;
  virtual uint32_t Width() const = 0;
  virtual uint32_t Height() const = 0;
  virtual uint32_t LevelCount() const = 0;
};
class IDirect3DTexture9 : public IDirect3DBaseTexture9 {};
class IDirect3DCubeTexture9 : public IDirect3DBaseTexture9 {};

// A block of bytes handed out by the assembler (D3DX's ID3DXBuffer).
class ID3DXBuffer : public IUnknown {
 public:
  virtual const void* GetBufferPointer() const = 0;
  virtual uint32_t GetBufferSize() const = 0;
};

class IDirect3DDevice9 : public IUnknown {
 public:
  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  virtual HRESULT Present() = 0;
  // A device can be lost (Direct3D 9: a locked screen, a driver reset; the
  // others never are): D3D_OK when it draws, D3DERR_DEVICELOST while it is
  // lost, D3DERR_DEVICENOTRESET when Reset can bring it back.
  virtual HRESULT TestCooperativeLevel() { return D3D_OK; }
  // Brings a lost device back with its size, resources and every state as
  // they were before it was lost.
  virtual HRESULT Reset() { return D3D_OK; }
  // Gives the back buffer a new size (Direct3D 9: a Reset with the new size
  // in its presentation parameters), as when the window was resized. Every
  // resource and state stays as it was, except that the viewport and the
  // scissor rectangle become the whole new back buffer, as after a Reset.
  // D3DERR_INVALIDCALL for an empty size or inside a scene.
  virtual HRESULT ResizeBackBuffer(uint32_t width, uint32_t height) = 0;
  // flags: D3DCLEAR_*; colour packed ARGB.
  virtual HRESULT Clear(uint32_t flags, uint32_t colour, float z, uint32_t stencil) = 0;
  virtual HRESULT GetViewport(D3DVIEWPORT9* viewport) = 0;
  virtual HRESULT SetViewport(const D3DVIEWPORT9* viewport) = 0;
  // The rectangle D3DRS_SCISSORTESTENABLE limits drawing to.
  virtual HRESULT SetScissorRect(const D3DSCISSORRECT* rect) = 0;

  virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
  virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) = 0;
  virtual HRESULT SetSamplerState(uint32_t stage, D3DSAMPLERSTATETYPE type, uint32_t value) = 0;
  virtual HRESULT SetTexture(uint32_t stage, IDirect3DBaseTexture9* texture) = 0;  // stages 0..7

  virtual HRESULT SetVertexShader(IDirect3DVertexShader9* shader) = 0;  // null: fixed function
  virtual HRESULT SetPixelShader(IDirect3DPixelShader9* shader) = 0;    // null: fixed function
  // count registers of four floats from register start (c0..c255 / c0..c31).
  virtual HRESULT SetVertexShaderConstantF(uint32_t start, const float* data, uint32_t count) = 0;
  virtual HRESULT SetPixelShaderConstantF(uint32_t start, const float* data, uint32_t count) = 0;

  virtual HRESULT SetFVF(uint32_t fvf) = 0;  // replaces the current declaration
  virtual HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) = 0;
  virtual HRESULT SetStreamSource(uint32_t stream, IDirect3DVertexBuffer9* buffer, uint32_t offset,
                                  uint32_t stride) = 0;
  virtual HRESULT SetIndices(IDirect3DIndexBuffer9* indices) = 0;

  virtual HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, uint32_t primitiveCount,
                                  const void* vertices, uint32_t stride) = 0;
  virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int32_t baseVertexIndex,
                                       uint32_t minIndex, uint32_t numVertices,
                                       uint32_t startIndex, uint32_t primitiveCount) = 0;

  // format: D3DFMT_INDEX32 for index buffers.
  virtual HRESULT CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, uint32_t pool,
                                     IDirect3DVertexBuffer9** out) = 0;
  virtual HRESULT CreateIndexBuffer(uint32_t length, uint32_t usage, D3DFORMAT format,
                                    uint32_t pool, IDirect3DIndexBuffer9** out) = 0;
  virtual HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                          IDirect3DVertexDeclaration9** out) = 0;
  // function: the assembled code (the ID3DXBuffer's contents).
  virtual HRESULT CreateVertexShader(const uint32_t* function, IDirect3DVertexShader9** out) = 0;
  virtual HRESULT CreatePixelShader(const uint32_t* function, IDirect3DPixelShader9** out) = 0;
  // Uploads a decoded image (its mip chain already complete).
  virtual HRESULT CreateTextureFromImage(const Image& image, IDirect3DTexture9** out) = 0;
  virtual HRESULT CreateCubeTextureFromImage(const Image& image, IDirect3DCubeTexture9** out) = 0;
};

// D3DX counterparts. They print nothing; callers print the result-code name.
HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice9* device, const char* path, IDirect3DTexture9** out);
HRESULT D3DXCreateCubeTextureFromFileA(IDirect3DDevice9* device, const char* path, IDirect3DCubeTexture9** out);
// Assembles a ".VSH"/".PSH" source. On an error returns D3DXERR_INVALIDDATA and
// logs one line naming the file, the line and the problem.
HRESULT D3DXAssembleShaderFromFileA(const char* path, const void* defines, void* include,
                                    uint32_t flags, ID3DXBuffer** code, ID3DXBuffer** errors);

// The one device of the program; null until the window creates it (and for
// ever in the headless runner and tests): loads then do nothing and drawing is
// skipped.
extern IDirect3DDevice9* Device;
