// What both device implementations share: the device's state with Direct3D
// 9's defaults, argument checks with Direct3D 9's result codes, reference
// counting of the device and its resources, and vertex-format arithmetic.
// The OpenGL device and the recording device derive from it and add drawing
// and resource creation.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gpu/device.h"
#include "platform/gpu/resource.h"

constexpr uint32_t kTextureStages = 8;
constexpr uint32_t kVertexConstants = 256;  // c0..c255
constexpr uint32_t kPixelConstants = 32;    // c0..c31
constexpr uint32_t kRenderStateCount = 256;
constexpr uint32_t kSamplerStateCount = 14;

// The device state that a draw depends on. Resources are held internally so
// a copy (a recorded snapshot) keeps them readable.
struct GpuState {
  D3DMATRIX world, view, projection;
  uint32_t renderStates[kRenderStateCount];
  uint32_t samplerStates[kTextureStages][kSamplerStateCount];
  Held<IDirect3DBaseTexture9> textures[kTextureStages];
  Held<IDirect3DVertexShader9> vertexShader;
  Held<IDirect3DPixelShader9> pixelShader;
  float vertexConstants[kVertexConstants][4];
  float pixelConstants[kPixelConstants][4];
  uint32_t fvf = 0;
  Held<IDirect3DVertexDeclaration9> declaration;
  Held<IDirect3DVertexBuffer9> streamBuffer;
  uint32_t streamOffset = 0, streamStride = 0;
  Held<IDirect3DIndexBuffer9> indices;
  D3DVIEWPORT9 viewport;
  D3DSCISSORRECT scissor;  // the whole target until set

  GpuState();  // Direct3D 9's defaults
  uint32_t renderState(D3DRENDERSTATETYPE s) const { return renderStates[s]; }
  uint32_t samplerState(uint32_t stage, D3DSAMPLERSTATETYPE t) const {
    return samplerStates[stage][t];
  }
  const D3DMATRIX& transform(D3DTRANSFORMSTATETYPE t) const;
  // The vertex layout in force: the declaration's elements, or the FVF's.
  std::vector<D3DVERTEXELEMENT9> vertexElements() const;
};

// Flexible vertex formats this device understands: XYZ or XYZRHW, NORMAL,
// DIFFUSE, SPECULAR and up to eight two-float texture coordinates.
bool FVFSupported(uint32_t fvf);
uint32_t FVFStride(uint32_t fvf);  // bytes per vertex
std::vector<D3DVERTEXELEMENT9> FVFElements(uint32_t fvf);
uint32_t DeclTypeSize(uint8_t type);  // 0 for an unknown type
// Bytes a vertex of the layout spans (0 for an empty layout).
uint32_t LayoutExtent(const std::vector<D3DVERTEXELEMENT9>& elements);
// Vertices a draw of count primitives consumes; 0 for an unknown type.
uint32_t VertexCountFor(D3DPRIMITIVETYPE type, uint32_t primitiveCount);
D3DMATRIX IdentityMatrix();

struct Image;
// Checks an image before upload, as both devices do: format, face count,
// level sizes and byte counts. True when usable.
bool ValidTextureImage(const Image& image, bool cube);
// Bytes of one level of the format (0 for a format the devices do not take).
size_t TextureLevelBytes(D3DFORMAT format, uint32_t width, uint32_t height);

class GpuDeviceBase : public IDirect3DDevice9 {
 public:
  uint32_t AddRef() override;
  uint32_t Release() override;

  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT ResizeBackBuffer(uint32_t width, uint32_t height) override;
  HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
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
  HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                  IDirect3DVertexDeclaration9** out) override;

  const GpuState& state() const { return *state_; }
  // A shared, immutable copy of the current state (copy on write).
  std::shared_ptr<const GpuState> snapshot() const { return state_; }
  uint32_t refCount() const { return refs_; }
  // Resources the program still holds (created and not yet released).
  uint32_t liveResources() const { return live_; }
  bool inScene() const { return inScene_; }

  // Changes since the implementation last looked (cleared by it).
  enum Dirty : uint32_t {
    kDirtyTransforms = 1u << 0,
    kDirtyRenderStates = 1u << 1,
    kDirtySamplers = 1u << 2,
    kDirtyTextures = 1u << 3,
    kDirtyShaders = 1u << 4,
    kDirtyVertexConstants = 1u << 5,
    kDirtyPixelConstants = 1u << 6,
    kDirtyVertexInput = 1u << 7,
    kDirtyIndices = 1u << 8,
    kDirtyViewport = 1u << 9,
    kDirtyAll = 0x3FF,
  };
  uint32_t dirty = kDirtyAll;

 protected:
  GpuDeviceBase(uint32_t width, uint32_t height);
  ~GpuDeviceBase() override;

  // Checks the draw arguments against the bound state: null for a draw
  // that cannot be made (the result code in *hr; D3D_OK for nothing to draw).
  HRESULT CheckDrawUP(D3DPRIMITIVETYPE type, uint32_t primitiveCount, const void* vertices,
                      uint32_t stride) const;
  HRESULT CheckDrawIndexed(D3DPRIMITIVETYPE type, int32_t baseVertexIndex,
                           uint32_t startIndex, uint32_t primitiveCount) const;
  // Direct3D 9 leaves stream 0 unset after a DrawPrimitiveUP that drew.
  void ResetStreamAfterDrawUP();
  // Output pointer and resource checks shared by the Create calls.
  static bool ValidElements(const D3DVERTEXELEMENT9* elements,
                            std::vector<D3DVERTEXELEMENT9>* out);
  // True when the resource was created by this device and is still held.
  bool Owns(IUnknown* object) const;
  GpuState& mutableState();
  // Drops every binding (called by implementations before they tear down).
  void ResetState();

 private:
  friend class GpuResource;
  std::shared_ptr<GpuState> state_;
  uint32_t refs_ = 1;
  uint32_t live_ = 0;
  bool inScene_ = false;
};
