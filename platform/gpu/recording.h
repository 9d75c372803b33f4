// The recording device: a complete Direct3D 9 device in memory that keeps
// every call it receives, in order. Draws carry a snapshot of the whole
// device state at that moment and, for DrawPrimitiveUP, a copy of the vertex
// bytes, so tests can assert exactly what the drawing code did. Buffers lock
// into real memory, shaders must be well-formed assembled code, textures keep
// the image they were made from, and reference counts follow Direct3D 9 (the
// device's Release reports leaked resources).
//
//   RecordingDevice* rec = CreateRecordingDevice(1024, 768);
//   Device = rec;
//   ... drawing code ...
//   for (const RecordedCall* d : rec->Draws()) EXPECT_EQ(d->state->fvf, ...);
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/gpu/device_base.h"
#include "platform/image/image.h"

enum class CallKind : uint8_t {
  BeginScene,
  EndScene,
  Present,
  Clear,                     // u[0] flags, u[1] colour, f[0] z, u[2] stencil
  SetViewport,               // u[0..3] X, Y, Width, Height; f[0..1] MinZ, MaxZ
  SetScissorRect,            // u[0..3] left, top, right, bottom (as int32 bits)
  SetTransform,              // u[0] state; f[0..15] the matrix row by row
  SetRenderState,            // u[0] state, u[1] value
  SetSamplerState,           // u[0] stage, u[1] type, u[2] value
  SetTexture,                // u[0] stage; object
  SetVertexShader,           // object
  SetPixelShader,            // object
  SetVertexShaderConstantF,  // u[0] start, u[1] count; f = 4 * count floats
  SetPixelShaderConstantF,   // u[0] start, u[1] count; f = 4 * count floats
  SetFVF,                    // u[0] fvf
  SetVertexDeclaration,      // object
  SetStreamSource,           // u[0] stream, u[1] offset, u[2] stride; object
  SetIndices,                // object
  DrawPrimitiveUP,           // u[0] type, u[1] primitive count, u[2] stride; bytes
  DrawIndexedPrimitive,      // u[0] type, i0 base vertex, u[1] min index,
                             // u[2] vertex count, u[3] start index, u[4] primitive count
  CreateVertexBuffer,        // u[0] length, u[1] usage, u[2] fvf, u[3] pool; object
  CreateIndexBuffer,         // u[0] length, u[1] usage, u[2] format, u[3] pool; object
  CreateVertexDeclaration,   // object
  CreateVertexShader,        // object
  CreatePixelShader,         // object
  CreateTexture,             // u[0] width, u[1] height, u[2] levels, u[3] format; object
  CreateCubeTexture,         // as CreateTexture
  ResizeBackBuffer,          // u[0] width, u[1] height
};

const char* CallKindName(CallKind kind);

struct RecordedCall {
  CallKind kind;
  HRESULT result = D3D_OK;
  uint32_t u[5] = {0, 0, 0, 0, 0};
  int32_t i0 = 0;
  std::vector<float> f;
  IUnknown* object = nullptr;  // the resource passed or created (identity only)
  // Draws only: the device state the draw used, and for DrawPrimitiveUP the
  // vertex bytes (VertexCountFor(type, count) * stride of them).
  std::shared_ptr<const GpuState> state;
  std::vector<uint8_t> bytes;

  bool isDraw() const {
    return kind == CallKind::DrawPrimitiveUP || kind == CallKind::DrawIndexedPrimitive;
  }
  uint32_t vertexCount() const;  // DrawPrimitiveUP: vertices in bytes
  // A float at byte offset of vertex i of a DrawPrimitiveUP (0 when out of range).
  float vertexFloat(uint32_t i, uint32_t offset) const;
  uint32_t vertexUint(uint32_t i, uint32_t offset) const;
  // One line for failure messages: "SetRenderState(22, 2)".
  std::string describe() const;
};

// Resources of the recording device, reachable from the interface pointers
// the drawing code holds (static_cast from the interface).
class RecordingTexture : public GpuObject<IDirect3DTexture9> {
 public:
  RecordingTexture(GpuDeviceBase* d, Image i) : GpuObject(d), image(std::move(i)) {}
  D3DRESOURCETYPE GetType() const override { return D3DRTYPE_TEXTURE; }
  uint32_t Width() const override { return image.width(); }
  uint32_t Height() const override { return image.height(); }
  uint32_t LevelCount() const override { return image.levels(); }
  Image image;
};

class RecordingCubeTexture : public GpuObject<IDirect3DCubeTexture9> {
 public:
  RecordingCubeTexture(GpuDeviceBase* d, Image i) : GpuObject(d), image(std::move(i)) {}
  D3DRESOURCETYPE GetType() const override { return D3DRTYPE_CUBETEXTURE; }
  uint32_t Width() const override { return image.width(); }
  uint32_t Height() const override { return image.height(); }
  uint32_t LevelCount() const override { return image.levels(); }
  Image image;
};

using RecordingVertexShader = ShaderObject<IDirect3DVertexShader9>;
using RecordingPixelShader = ShaderObject<IDirect3DPixelShader9>;

class RecordingDevice : public GpuDeviceBase {
 public:
  RecordingDevice(uint32_t width, uint32_t height);

  // ---- what was recorded
  // Appending keeps earlier records where they are: pointers from Draws()
  // and CallsOf() stay valid until clearCalls().
  const std::deque<RecordedCall>& calls() const { return calls_; }
  void clearCalls() { calls_.clear(); }
  std::vector<const RecordedCall*> Draws() const;
  std::vector<const RecordedCall*> CallsOf(CallKind kind) const;
  size_t Count(CallKind kind) const;
  // Every call, one describe() line each (for assertion messages).
  std::string Describe() const;

  // ---- behaviour switches for tests
  // While set, Create* calls of that kind fail with the given code.
  HRESULT failCreateVertexBuffer = D3D_OK;
  HRESULT failCreateIndexBuffer = D3D_OK;
  HRESULT failCreateVertexDeclaration = D3D_OK;
  HRESULT failCreateShader = D3D_OK;
  HRESULT failCreateTexture = D3D_OK;

  // ---- IDirect3DDevice9
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Present() override;
  HRESULT Clear(uint32_t flags, uint32_t colour, float z, uint32_t stencil) override;
  HRESULT ResizeBackBuffer(uint32_t width, uint32_t height) override;
  HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
  HRESULT SetScissorRect(const D3DSCISSORRECT* rect) override;
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) override;
  HRESULT SetSamplerState(uint32_t stage, D3DSAMPLERSTATETYPE type, uint32_t value) override;
  HRESULT SetTexture(uint32_t stage, IDirect3DBaseTexture9* texture) override;
  HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override;
  HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override;
  HRESULT SetVertexShaderConstantF(uint32_t start, const float* data, uint32_t count) override;
  HRESULT SetPixelShaderConstantF(uint32_t start, const float* data, uint32_t count) override;
  HRESULT SetFVF(uint32_t fvf) override;
  HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override;
  HRESULT SetStreamSource(uint32_t stream, IDirect3DVertexBuffer9* buffer, uint32_t offset,
                          uint32_t stride) override;
  HRESULT SetIndices(IDirect3DIndexBuffer9* indices) override;
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, uint32_t primitiveCount, const void* vertices,
                          uint32_t stride) override;
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int32_t baseVertexIndex, uint32_t minIndex,
                               uint32_t numVertices, uint32_t startIndex,
                               uint32_t primitiveCount) override;
  HRESULT CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, uint32_t pool,
                             IDirect3DVertexBuffer9** out) override;
  HRESULT CreateIndexBuffer(uint32_t length, uint32_t usage, D3DFORMAT format, uint32_t pool,
                            IDirect3DIndexBuffer9** out) override;
  HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                  IDirect3DVertexDeclaration9** out) override;
  HRESULT CreateVertexShader(const uint32_t* function, IDirect3DVertexShader9** out) override;
  HRESULT CreatePixelShader(const uint32_t* function, IDirect3DPixelShader9** out) override;
  HRESULT CreateTextureFromImage(const Image& image, IDirect3DTexture9** out) override;
  HRESULT CreateCubeTextureFromImage(const Image& image, IDirect3DCubeTexture9** out) override;

 private:
  RecordedCall& Record(CallKind kind, HRESULT result, IUnknown* object = nullptr);
  std::deque<RecordedCall> calls_;
};

// A new recording device with one reference held by the caller; viewport
// (0, 0, width, height, 0, 1).
RecordingDevice* CreateRecordingDevice(uint32_t width = 1024, uint32_t height = 768);

