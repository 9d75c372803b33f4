#include "platform/d3d9/d3d9_device.h"

#include <cstring>
#include <string>

#include "foundation/log.h"
#include "platform/d3d9/native.h"
#include "platform/gpu/d3dx_provider.h"
#include "platform/gpu/device_base.h"
#include "platform/image/image.h"

namespace {

using d3d9native::Object;

// ---- resources: the shared CPU-side shape plus the Direct3D object -------

// A buffer keeps the program's copy (the shared checks read it) and refills
// the Direct3D buffer from it at every unlock.
template <class Memory, bool Index>
class D3D9Buffer : public Memory {
 public:
  template <class... Args>
  D3D9Buffer(Object* native, Args... args) : Memory(args...), native(native) {}
  ~D3D9Buffer() override { d3d9native::Release(native); }
  Object* native;

 protected:
  void Unlocked(uint32_t offset, uint32_t size) override {
    d3d9native::FillBuffer(native, Index, offset, this->bytes.data() + offset, size);
  }
};
using D3D9VertexBuffer = D3D9Buffer<MemoryVertexBuffer, false>;
using D3D9IndexBuffer = D3D9Buffer<MemoryIndexBuffer, true>;

class D3D9Declaration : public VertexDeclaration {
 public:
  D3D9Declaration(GpuDeviceBase* d, std::vector<D3DVERTEXELEMENT9> e, Object* native)
      : VertexDeclaration(d, std::move(e)), native(native) {}
  ~D3D9Declaration() override { d3d9native::Release(native); }
  Object* native;
};

template <class Interface>
class D3D9Shader : public GpuObject<Interface> {
 public:
  D3D9Shader(GpuDeviceBase* d, Object* native) : GpuObject<Interface>(d), native(native) {}
  ~D3D9Shader() override { d3d9native::Release(native); }
  Object* native;
};

template <class Interface, D3DRESOURCETYPE Type>
class D3D9Texture : public GpuObject<Interface> {
 public:
  D3D9Texture(GpuDeviceBase* d, Object* native)
      : GpuObject<Interface>(d),
        native(native),
        info_(d3d9native::DescribeTexture(native, Type == D3DRTYPE_CUBETEXTURE)) {}
  ~D3D9Texture() override { d3d9native::Release(native); }
  D3DRESOURCETYPE GetType() const override { return Type; }
  uint32_t Width() const override { return info_.width; }
  uint32_t Height() const override { return info_.height; }
  uint32_t LevelCount() const override { return info_.levels; }
  Object* native;

 private:
  d3d9native::TextureInfo info_;
};
using D3D9Texture2D = D3D9Texture<IDirect3DTexture9, D3DRTYPE_TEXTURE>;
using D3D9TextureCube = D3D9Texture<IDirect3DCubeTexture9, D3DRTYPE_CUBETEXTURE>;

Object* NativeTexture(IDirect3DBaseTexture9* t) {
  if (!t) return nullptr;
  if (t->GetType() == D3DRTYPE_CUBETEXTURE) return static_cast<D3D9TextureCube*>(t)->native;
  return static_cast<D3D9Texture2D*>(t)->native;
}

// The render and sampler states the program uses; they are sent once when
// the device starts so Direct3D and the shared state agree from the first draw.
const D3DRENDERSTATETYPE kKnownRenderStates[] = {
    D3DRS_ZENABLE,  D3DRS_ZWRITEENABLE, D3DRS_SRCBLEND,         D3DRS_DESTBLEND,
    D3DRS_CULLMODE, D3DRS_ZFUNC,        D3DRS_ALPHABLENDENABLE, D3DRS_LIGHTING};
const D3DSAMPLERSTATETYPE kKnownSamplerStates[] = {
    D3DSAMP_ADDRESSU,  D3DSAMP_ADDRESSV,  D3DSAMP_ADDRESSW,     D3DSAMP_MAGFILTER,
    D3DSAMP_MINFILTER, D3DSAMP_MIPFILTER, D3DSAMP_MIPMAPLODBIAS};

// While a Direct3D 9 device exists, D3DX serves the D3DX calls (d3dx_provider.h).
void DeviceCreated();
void DeviceDestroyed();

// ---- the device ------------------------------------------------------------

class D3D9Device : public GpuDeviceBase {
 public:
  D3D9Device(uint32_t width, uint32_t height, bool vsync, uint32_t samples, Object* direct3d,
             d3d9native::Device* device)
      : GpuDeviceBase(width, height), direct3d_(direct3d), device_(device) {
    width_ = width, height_ = height, vsync_ = vsync, samples_ = samples;  // for a reset
    SendAllStates();
    DeviceCreated();
  }
  ~D3D9Device() override {
    // The state still binds objects until it is reset; they go first.
    ResetState();
    d3d9native::Release(device_);
    d3d9native::Release(direct3d_);
    DeviceDestroyed();
  }

  d3d9native::Device* native() const { return device_; }

  HRESULT BeginScene() override {
    HRESULT hr = GpuDeviceBase::BeginScene();
    return FAILED(hr) ? hr : d3d9native::BeginScene(device_);
  }
  HRESULT EndScene() override {
    HRESULT hr = GpuDeviceBase::EndScene();
    return FAILED(hr) ? hr : d3d9native::EndScene(device_);
  }
  HRESULT TestCooperativeLevel() override { return d3d9native::TestCooperativeLevel(device_); }
  HRESULT Reset() override {
    HRESULT hr = d3d9native::Reset(device_, width_, height_, vsync_, samples_);
    // Direct3D forgets every state in a reset: the shared state still holds
    // what the program set, so all of it goes again.
    if (SUCCEEDED(hr)) SendAllStates();
    return hr;
  }
  // A new size goes through the same reset: the managed resources survive
  // it and the shared state is sent again, so only the size changes.
  HRESULT ResizeBackBuffer(uint32_t width, uint32_t height) override {
    if (width == width_ && height == height_) return GpuDeviceBase::ResizeBackBuffer(width, height);
    if (width == 0 || height == 0 || inScene()) return D3DERR_INVALIDCALL;
    HRESULT hr = d3d9native::Reset(device_, width, height, vsync_, samples_);
    if (FAILED(hr)) return hr;  // a lost device: the lost-device wait resets it later
    width_ = width, height_ = height;
    GpuDeviceBase::ResizeBackBuffer(width, height);
    SendAllStates();
    return D3D_OK;
  }
  uint32_t samples() const { return samples_; }
  HRESULT Present() override {
    HRESULT hr = d3d9native::Present(device_);
    // Scripts driving the program wait for this line rather than guess: the
    // window shows nothing until its first frame is presented.
    if (!presented_ && SUCCEEDED(hr)) {
      presented_ = true;
      Log("First frame presented\n");
    }
    return hr;
  }
  HRESULT Clear(uint32_t flags, uint32_t colour, float z, uint32_t stencil) override {
    if (dirty & kDirtyViewport) {  // Clear covers the viewport
      d3d9native::SetViewport(device_, &state().viewport);
      dirty &= ~uint32_t(kDirtyViewport);
    }
    return d3d9native::Clear(device_, flags, colour, z, stencil);
  }

  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, uint32_t primitiveCount, const void* vertices,
                          uint32_t stride) override {
    HRESULT hr = CheckDrawUP(type, primitiveCount, vertices, stride);
    if (hr != D3D_OK) return hr == S_FALSE_ ? D3D_OK : hr;
    Flush(false);
    hr = d3d9native::DrawPrimitiveUP(device_, type, primitiveCount, vertices, stride);
    // Direct3D leaves stream 0 unset after it; so does the shared state.
    ResetStreamAfterDrawUP();
    return hr;
  }

  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int32_t baseVertexIndex, uint32_t minIndex,
                               uint32_t numVertices, uint32_t startIndex,
                               uint32_t primitiveCount) override {
    HRESULT hr = CheckDrawIndexed(type, baseVertexIndex, startIndex, primitiveCount);
    if (hr != D3D_OK) return hr == S_FALSE_ ? D3D_OK : hr;
    Flush(true);
    return d3d9native::DrawIndexedPrimitive(device_, type, baseVertexIndex, minIndex, numVertices,
                                            startIndex, primitiveCount);
  }

  HRESULT CreateVertexBuffer(uint32_t length, uint32_t, uint32_t fvf, uint32_t,
                             IDirect3DVertexBuffer9** out) override {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (length == 0) return D3DERR_INVALIDCALL;
    Object* native = nullptr;
    HRESULT hr = d3d9native::CreateVertexBuffer(device_, length, fvf, &native);
    if (FAILED(hr)) return hr;
    *out = new D3D9VertexBuffer(native, this, length, fvf);
    return D3D_OK;
  }

  HRESULT CreateIndexBuffer(uint32_t length, uint32_t, D3DFORMAT format, uint32_t,
                            IDirect3DIndexBuffer9** out) override {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (length == 0 || format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    Object* native = nullptr;
    HRESULT hr = d3d9native::CreateIndexBuffer(device_, length, &native);
    if (FAILED(hr)) return hr;
    *out = new D3D9IndexBuffer(native, this, length);
    return D3D_OK;
  }

  HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                  IDirect3DVertexDeclaration9** out) override {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    std::vector<D3DVERTEXELEMENT9> list;
    if (!ValidElements(elements, &list)) return D3DERR_INVALIDCALL;
    std::vector<D3DVERTEXELEMENT9> terminated = list;
    terminated.push_back(D3DDECL_END());
    Object* native = nullptr;
    HRESULT hr = d3d9native::CreateVertexDeclaration(device_, terminated.data(), &native);
    if (FAILED(hr)) return hr;
    *out = new D3D9Declaration(this, std::move(list), native);
    return D3D_OK;
  }

  HRESULT CreateVertexShader(const uint32_t* function, IDirect3DVertexShader9** out) override {
    return CreateShader<IDirect3DVertexShader9>(function, d3d9native::CreateVertexShader, out);
  }
  HRESULT CreatePixelShader(const uint32_t* function, IDirect3DPixelShader9** out) override {
    return CreateShader<IDirect3DPixelShader9>(function, d3d9native::CreatePixelShader, out);
  }

  HRESULT CreateTextureFromImage(const Image& image, IDirect3DTexture9** out) override {
    return CreateTexture<D3D9Texture2D>(image, false, out);
  }
  HRESULT CreateCubeTextureFromImage(const Image& image, IDirect3DCubeTexture9** out) override {
    return CreateTexture<D3D9TextureCube>(image, true, out);
  }

  // Uploads an image as a 2D or cube texture and wraps the native object.
  template <class Wrapper, class Interface>
  HRESULT CreateTexture(const Image& image, bool cube, Interface** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    Object* native = nullptr;
    HRESULT hr = Upload(image, cube, &native);
    if (SUCCEEDED(hr)) *out = new Wrapper(this, native);
    return hr;
  }

  // A texture D3DX loaded from a file, wrapped as the device's own.


 private:
  template <class Interface, class Create>
  HRESULT CreateShader(const uint32_t* function, Create create, Interface** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (!function) return D3DERR_INVALIDCALL;
    Object* native = nullptr;
    HRESULT hr = create(device_, function, &native);
    if (FAILED(hr)) return hr;
    *out = new D3D9Shader<Interface>(this, native);
    return D3D_OK;
  }

  HRESULT Upload(const Image& image, bool cube, Object** out) {
    if (!ValidTextureImage(image, cube)) return D3DERR_INVALIDCALL;
    HRESULT hr = cube ? d3d9native::CreateCubeTexture(device_, image.width(), image.levels(),
                                                      image.format, out)
                      : d3d9native::CreateTexture(device_, image.width(), image.height(),
                                                  image.levels(), image.format, out);
    if (FAILED(hr)) return hr;
    bool blocks = image.format != D3DFMT_A8R8G8B8;
    for (uint32_t face = 0; face < image.faces.size(); face++)
      for (uint32_t level = 0; level < image.levels(); level++) {
        const ImageLevel& l = image.faces[face][level];
        uint32_t rows = blocks ? (l.height + 3) / 4 : l.height;
        uint32_t rowBytes = uint32_t(l.bytes.size() / rows);
        hr = d3d9native::FillTextureLevel(*out, cube, face, level, l.bytes.data(), rowBytes, rows);
        if (FAILED(hr)) {
          d3d9native::Release(*out);
          *out = nullptr;
          return hr;
        }
      }
    return D3D_OK;
  }

  // Sends what changed since the last draw to Direct3D.
  void Flush(bool indexed) {
    const GpuState& s = state();
    if (dirty & kDirtyTransforms) {
      d3d9native::SetTransform(device_, D3DTS_WORLD, &s.world);
      d3d9native::SetTransform(device_, D3DTS_VIEW, &s.view);
      d3d9native::SetTransform(device_, D3DTS_PROJECTION, &s.projection);
    }
    if (dirty & kDirtyRenderStates)
      for (uint32_t i = 0; i < kRenderStateCount; i++)
        if (s.renderStates[i] != sentRenderStates_[i]) {
          d3d9native::SetRenderState(device_, i, s.renderStates[i]);
          sentRenderStates_[i] = s.renderStates[i];
        }
    if ((dirty & kDirtyRenderStates) && std::memcmp(&s.scissor, &sentScissor_, sizeof sentScissor_) != 0) {
      d3d9native::SetScissorRect(device_, s.scissor.left, s.scissor.top, s.scissor.right, s.scissor.bottom);
      sentScissor_ = s.scissor;
    }
    if (dirty & kDirtySamplers)
      for (uint32_t stage = 0; stage < kTextureStages; stage++)
        for (uint32_t t = 1; t < kSamplerStateCount; t++)
          if (s.samplerStates[stage][t] != sentSamplerStates_[stage][t]) {
            d3d9native::SetSamplerState(device_, stage, t, s.samplerStates[stage][t]);
            sentSamplerStates_[stage][t] = s.samplerStates[stage][t];
          }
    if (dirty & kDirtyTextures)
      for (uint32_t stage = 0; stage < kTextureStages; stage++)
        d3d9native::SetTexture(device_, stage, NativeTexture(s.textures[stage].get()));
    if (dirty & kDirtyShaders) {
      auto* vs = static_cast<D3D9Shader<IDirect3DVertexShader9>*>(s.vertexShader.get());
      auto* ps = static_cast<D3D9Shader<IDirect3DPixelShader9>*>(s.pixelShader.get());
      d3d9native::SetVertexShader(device_, vs ? vs->native : nullptr);
      d3d9native::SetPixelShader(device_, ps ? ps->native : nullptr);
    }
    if (dirty & kDirtyVertexConstants)
      d3d9native::SetVertexShaderConstantF(device_, 0, &s.vertexConstants[0][0], kVertexConstants);
    if (dirty & kDirtyPixelConstants)
      d3d9native::SetPixelShaderConstantF(device_, 0, &s.pixelConstants[0][0], kPixelConstants);
    if (dirty & kDirtyVertexInput) {
      if (s.declaration)
        d3d9native::SetVertexDeclaration(
            device_, static_cast<D3D9Declaration*>(s.declaration.get())->native);
      else
        d3d9native::SetFVF(device_, s.fvf);
      auto* vb = static_cast<D3D9VertexBuffer*>(s.streamBuffer.get());
      d3d9native::SetStreamSource(device_, vb ? vb->native : nullptr, s.streamOffset,
                                  s.streamStride);
    }
    if ((dirty & kDirtyIndices) && indexed) {
      auto* ib = static_cast<D3D9IndexBuffer*>(s.indices.get());
      d3d9native::SetIndices(device_, ib ? ib->native : nullptr);
      dirty &= ~uint32_t(kDirtyIndices);
    }
    if (dirty & kDirtyViewport) d3d9native::SetViewport(device_, &s.viewport);
    dirty &= kDirtyIndices;  // indices wait for the next indexed draw
  }

  Object* direct3d_;
  d3d9native::Device* device_;
  void SendAllStates() {
    for (D3DRENDERSTATETYPE s : kKnownRenderStates)
      d3d9native::SetRenderState(device_, s, state().renderState(s));
    for (uint32_t stage = 0; stage < kTextureStages; stage++)
      for (D3DSAMPLERSTATETYPE t : kKnownSamplerStates)
        d3d9native::SetSamplerState(device_, stage, t, state().samplerState(stage, t));
    std::memcpy(sentRenderStates_, state().renderStates, sizeof sentRenderStates_);
    const D3DSCISSORRECT& r = state().scissor;
    d3d9native::SetScissorRect(device_, r.left, r.top, r.right, r.bottom);
    sentScissor_ = r;
    std::memcpy(sentSamplerStates_, state().samplerStates, sizeof sentSamplerStates_);
    dirty = kDirtyAll;
  }

  uint32_t width_, height_;
  bool vsync_;
  uint32_t samples_;
  bool presented_ = false;
  uint32_t sentRenderStates_[kRenderStateCount];
  D3DSCISSORRECT sentScissor_;
  uint32_t sentSamplerStates_[kTextureStages][kSamplerStateCount];
};

D3D9Device* AsD3D9(IDirect3DDevice9* d) { return dynamic_cast<D3D9Device*>(d); }

// ---- D3DX for the Direct3D 9 device ---------------------------------------

uint32_t liveDevices = 0;

// D3DX's messages name the file and line already; the first one is the line
// content authors need, as our own assembler prints it.
HRESULT ProvideAssembly(const char* path, ID3DXBuffer** code, ID3DXBuffer** errors) {
  std::vector<uint32_t> words;
  std::string messages;
  HRESULT hr = d3d9native::AssembleShaderFile(path, words, messages);
  if (FAILED(hr)) {
    std::string first = messages.substr(0, messages.find('\n'));
    if (!first.empty()) Log("%s\n", first.c_str());
    if (errors && !messages.empty()) *errors = NewD3DXBuffer(messages.c_str(), messages.size() + 1);
    return hr;
  }
  *code = NewD3DXBuffer(words.data(), words.size() * 4);
  return hr;
}

const D3DXProvider kProvider = {ProvideAssembly};

void DeviceCreated() {
  if (liveDevices++ == 0) SetD3DXProvider(&kProvider);
}

void DeviceDestroyed() {
  if (--liveDevices == 0) SetD3DXProvider(nullptr);
}

}  // namespace

HRESULT CreateD3D9Device(void* window, int width, int height, bool vsync, int samples, IDirect3DDevice9** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (!window || width <= 0 || height <= 0) return D3DERR_INVALIDCALL;
  Object* direct3d = nullptr;
  d3d9native::Device* device = nullptr;
  bool software = false;
  uint32_t granted = samples > 1 ? uint32_t(samples) : 0;
  HRESULT hr = d3d9native::CreateDevice(window, uint32_t(width), uint32_t(height), vsync, &granted, &direct3d,
                                        &device, &software);
  if (FAILED(hr)) return hr;
  if (software) Log("Direct3D 9 refused hardware vertex processing: vertices are processed in software\n");
  *out = new D3D9Device(uint32_t(width), uint32_t(height), vsync, granted, direct3d, device);
  return D3D_OK;
}

int D3D9DeviceSamples(IDirect3DDevice9* device) {
  D3D9Device* d = AsD3D9(device);
  return d ? int(d->samples()) : 0;
}

bool ReadD3D9BackBuffer(IDirect3DDevice9* device, std::vector<uint32_t>& argb, uint32_t* width,
                        uint32_t* height) {
  D3D9Device* d = AsD3D9(device);
  if (!d || !d3d9native::ReadBackBuffer(d->native(), argb, width, height)) return false;
  for (uint32_t& p : argb) p |= 0xFF000000u;  // X8R8G8B8: the top byte is undefined
  return true;
}
