// Windows' Direct3D 9 and D3DX 9 behind plain types (see native.h).
#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>

#include <cstring>

#include "platform/d3d9/native.h"

namespace d3d9native {

namespace {

IDirect3DDevice9* D(Device* d) { return reinterpret_cast<IDirect3DDevice9*>(d); }
IUnknown* U(Object* o) { return reinterpret_cast<IUnknown*>(o); }
template <class T>
T* As(Object* o) {
  return reinterpret_cast<T*>(o);
}
template <class T>
Object* Out(T* p) {
  return reinterpret_cast<Object*>(p);
}

}  // namespace

namespace {

D3DPRESENT_PARAMETERS PresentParameters(uint32_t width, uint32_t height, bool vsync, uint32_t samples) {
  D3DPRESENT_PARAMETERS pp;
  std::memset(&pp, 0, sizeof pp);
  pp.BackBufferWidth = width;
  pp.BackBufferHeight = height;
  pp.BackBufferFormat = D3DFMT_X8R8G8B8;
  pp.BackBufferCount = 1;
  pp.MultiSampleType = samples > 1 ? D3DMULTISAMPLE_TYPE(samples) : D3DMULTISAMPLE_NONE;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.hDeviceWindow = nullptr;  // the focus window
  pp.Windowed = TRUE;
  pp.EnableAutoDepthStencil = TRUE;
  pp.AutoDepthStencilFormat = D3DFMT_D24S8;
  pp.PresentationInterval = vsync ? D3DPRESENT_INTERVAL_ONE : D3DPRESENT_INTERVAL_IMMEDIATE;
  return pp;
}

}  // namespace

int32_t CreateDevice(void* window, uint32_t width, uint32_t height, bool vsync, uint32_t* samples,
                     Object** direct3d, Device** device, bool* software) {
  *direct3d = nullptr;
  *device = nullptr;
  *software = false;
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  if (!d3d) return D3DERR_NOTAVAILABLE;
  // Multisampling only where the adapter offers it for both the back buffer
  // and the depth buffer; otherwise none.
  if (*samples > 1) {
    D3DMULTISAMPLE_TYPE type = D3DMULTISAMPLE_TYPE(*samples);
    if (*samples > 16 ||
        FAILED(d3d->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE, type,
                                               nullptr)) ||
        FAILED(d3d->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_D24S8, TRUE, type,
                                               nullptr)))
      *samples = 0;
  } else {
    *samples = 0;
  }
  D3DPRESENT_PARAMETERS pp = PresentParameters(width, height, vsync, *samples);
  IDirect3DDevice9* dev = nullptr;
  HRESULT hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, static_cast<HWND>(window),
                                 D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE,
                                 &pp, &dev);
  if (FAILED(hr) || !dev) {
    // Older and virtual adapters transform no vertices: Direct3D's own
    // vertex processing draws the same picture.
    pp = PresentParameters(width, height, vsync, *samples);
    dev = nullptr;
    hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, static_cast<HWND>(window),
                           D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE, &pp, &dev);
    *software = SUCCEEDED(hr) && dev;
  }
  if (FAILED(hr) || !dev) {
    d3d->Release();
    return FAILED(hr) ? hr : D3DERR_NOTAVAILABLE;
  }
  *direct3d = Out(d3d);
  *device = reinterpret_cast<Device*>(dev);
  return D3D_OK;
}

int32_t TestCooperativeLevel(Device* d) { return D(d)->TestCooperativeLevel(); }

int32_t Reset(Device* d, uint32_t width, uint32_t height, bool vsync, uint32_t samples) {
  D3DPRESENT_PARAMETERS pp = PresentParameters(width, height, vsync, samples);
  return D(d)->Reset(&pp);
}

uint32_t Release(Device* device) { return device ? D(device)->Release() : 0; }
uint32_t Release(Object* object) { return object ? U(object)->Release() : 0; }

int32_t BeginScene(Device* d) { return D(d)->BeginScene(); }
int32_t EndScene(Device* d) { return D(d)->EndScene(); }
int32_t Present(Device* d) { return D(d)->Present(nullptr, nullptr, nullptr, nullptr); }
int32_t Clear(Device* d, uint32_t flags, uint32_t colour, float z, uint32_t stencil) {
  return D(d)->Clear(0, nullptr, flags, colour, z, stencil);
}
int32_t SetViewport(Device* d, const void* viewport) {
  return D(d)->SetViewport(static_cast<const D3DVIEWPORT9*>(viewport));
}
int32_t SetScissorRect(Device* d, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  RECT r = {left, top, right, bottom};
  return D(d)->SetScissorRect(&r);
}
int32_t SetTransform(Device* d, uint32_t state, const void* matrix) {
  return D(d)->SetTransform(D3DTRANSFORMSTATETYPE(state), static_cast<const D3DMATRIX*>(matrix));
}
int32_t SetRenderState(Device* d, uint32_t state, uint32_t value) {
  return D(d)->SetRenderState(D3DRENDERSTATETYPE(state), value);
}
int32_t SetSamplerState(Device* d, uint32_t stage, uint32_t type, uint32_t value) {
  return D(d)->SetSamplerState(stage, D3DSAMPLERSTATETYPE(type), value);
}
int32_t SetTexture(Device* d, uint32_t stage, Object* texture) {
  return D(d)->SetTexture(stage, As<IDirect3DBaseTexture9>(texture));
}
int32_t SetVertexShader(Device* d, Object* shader) {
  return D(d)->SetVertexShader(As<IDirect3DVertexShader9>(shader));
}
int32_t SetPixelShader(Device* d, Object* shader) {
  return D(d)->SetPixelShader(As<IDirect3DPixelShader9>(shader));
}
int32_t SetVertexShaderConstantF(Device* d, uint32_t start, const float* data, uint32_t count) {
  return D(d)->SetVertexShaderConstantF(start, data, count);
}
int32_t SetPixelShaderConstantF(Device* d, uint32_t start, const float* data, uint32_t count) {
  return D(d)->SetPixelShaderConstantF(start, data, count);
}
int32_t SetFVF(Device* d, uint32_t fvf) { return D(d)->SetFVF(fvf); }
int32_t SetVertexDeclaration(Device* d, Object* declaration) {
  return D(d)->SetVertexDeclaration(As<IDirect3DVertexDeclaration9>(declaration));
}
int32_t SetStreamSource(Device* d, Object* buffer, uint32_t offset, uint32_t stride) {
  return D(d)->SetStreamSource(0, As<IDirect3DVertexBuffer9>(buffer), offset, stride);
}
int32_t SetIndices(Device* d, Object* indices) {
  return D(d)->SetIndices(As<IDirect3DIndexBuffer9>(indices));
}
int32_t DrawPrimitiveUP(Device* d, uint32_t type, uint32_t count, const void* vertices,
                        uint32_t stride) {
  return D(d)->DrawPrimitiveUP(D3DPRIMITIVETYPE(type), count, vertices, stride);
}
int32_t DrawIndexedPrimitive(Device* d, uint32_t type, int32_t baseVertex, uint32_t minIndex,
                             uint32_t numVertices, uint32_t startIndex, uint32_t count) {
  return D(d)->DrawIndexedPrimitive(D3DPRIMITIVETYPE(type), baseVertex, minIndex, numVertices,
                                    startIndex, count);
}

int32_t CreateVertexBuffer(Device* d, uint32_t length, uint32_t fvf, Object** out) {
  IDirect3DVertexBuffer9* b = nullptr;
  HRESULT hr = D(d)->CreateVertexBuffer(length, D3DUSAGE_WRITEONLY, fvf, D3DPOOL_MANAGED, &b, nullptr);
  *out = SUCCEEDED(hr) ? Out(b) : nullptr;
  return hr;
}

int32_t CreateIndexBuffer(Device* d, uint32_t length, Object** out) {
  IDirect3DIndexBuffer9* b = nullptr;
  HRESULT hr = D(d)->CreateIndexBuffer(length, D3DUSAGE_WRITEONLY, D3DFMT_INDEX32, D3DPOOL_MANAGED,
                                       &b, nullptr);
  *out = SUCCEEDED(hr) ? Out(b) : nullptr;
  return hr;
}

int32_t FillBuffer(Object* buffer, bool index, uint32_t offset, const void* data, uint32_t size) {
  if (size == 0) return D3D_OK;
  void* p = nullptr;
  HRESULT hr = index ? As<IDirect3DIndexBuffer9>(buffer)->Lock(offset, size, &p, 0)
                     : As<IDirect3DVertexBuffer9>(buffer)->Lock(offset, size, &p, 0);
  if (FAILED(hr)) return hr;
  std::memcpy(p, data, size);
  return index ? As<IDirect3DIndexBuffer9>(buffer)->Unlock()
               : As<IDirect3DVertexBuffer9>(buffer)->Unlock();
}

int32_t CreateVertexDeclaration(Device* d, const void* elements, Object** out) {
  IDirect3DVertexDeclaration9* v = nullptr;
  HRESULT hr = D(d)->CreateVertexDeclaration(static_cast<const D3DVERTEXELEMENT9*>(elements), &v);
  *out = SUCCEEDED(hr) ? Out(v) : nullptr;
  return hr;
}

int32_t CreateVertexShader(Device* d, const uint32_t* code, Object** out) {
  IDirect3DVertexShader9* s = nullptr;
  HRESULT hr = D(d)->CreateVertexShader(reinterpret_cast<const DWORD*>(code), &s);
  *out = SUCCEEDED(hr) ? Out(s) : nullptr;
  return hr;
}

int32_t CreatePixelShader(Device* d, const uint32_t* code, Object** out) {
  IDirect3DPixelShader9* s = nullptr;
  HRESULT hr = D(d)->CreatePixelShader(reinterpret_cast<const DWORD*>(code), &s);
  *out = SUCCEEDED(hr) ? Out(s) : nullptr;
  return hr;
}

int32_t CreateTexture(Device* d, uint32_t width, uint32_t height, uint32_t levels, uint32_t format,
                      Object** out) {
  IDirect3DTexture9* t = nullptr;
  HRESULT hr = D(d)->CreateTexture(width, height, levels, 0, D3DFORMAT(format), D3DPOOL_MANAGED, &t,
                                   nullptr);
  *out = SUCCEEDED(hr) ? Out(t) : nullptr;
  return hr;
}

int32_t CreateCubeTexture(Device* d, uint32_t edge, uint32_t levels, uint32_t format, Object** out) {
  IDirect3DCubeTexture9* t = nullptr;
  HRESULT hr = D(d)->CreateCubeTexture(edge, levels, 0, D3DFORMAT(format), D3DPOOL_MANAGED, &t, nullptr);
  *out = SUCCEEDED(hr) ? Out(t) : nullptr;
  return hr;
}

int32_t FillTextureLevel(Object* texture, bool cube, uint32_t face, uint32_t level,
                         const uint8_t* bytes, uint32_t rowBytes, uint32_t rows) {
  D3DLOCKED_RECT r;
  HRESULT hr = cube ? As<IDirect3DCubeTexture9>(texture)->LockRect(D3DCUBEMAP_FACES(face), level, &r,
                                                                   nullptr, 0)
                    : As<IDirect3DTexture9>(texture)->LockRect(level, &r, nullptr, 0);
  if (FAILED(hr)) return hr;
  for (uint32_t y = 0; y < rows; y++)
    std::memcpy(static_cast<uint8_t*>(r.pBits) + size_t(y) * r.Pitch, bytes + size_t(y) * rowBytes,
                rowBytes);
  return cube ? As<IDirect3DCubeTexture9>(texture)->UnlockRect(D3DCUBEMAP_FACES(face), level)
              : As<IDirect3DTexture9>(texture)->UnlockRect(level);
}

TextureInfo DescribeTexture(Object* texture, bool cube) {
  TextureInfo info;
  info.cube = cube;
  D3DSURFACE_DESC desc;
  std::memset(&desc, 0, sizeof desc);
  if (cube) {
    auto* t = As<IDirect3DCubeTexture9>(texture);
    t->GetLevelDesc(0, &desc);
    info.levels = t->GetLevelCount();
  } else {
    auto* t = As<IDirect3DTexture9>(texture);
    t->GetLevelDesc(0, &desc);
    info.levels = t->GetLevelCount();
  }
  info.width = desc.Width;
  info.height = desc.Height;
  return info;
}

namespace {

int32_t TakeAssembly(HRESULT hr, ID3DXBuffer* code, ID3DXBuffer* messages,
                     std::vector<uint32_t>& out, std::string& errors) {
  out.clear();
  errors.clear();
  if (messages) {
    const char* text = static_cast<const char*>(messages->GetBufferPointer());
    errors.assign(text, strnlen(text, messages->GetBufferSize()));
    messages->Release();
  }
  if (code) {
    const uint32_t* words = static_cast<const uint32_t*>(code->GetBufferPointer());
    out.assign(words, words + code->GetBufferSize() / 4);
    code->Release();
  }
  return hr;
}

}  // namespace

int32_t AssembleShaderFile(const char* path, std::vector<uint32_t>& out, std::string& errors) {
  ID3DXBuffer* code = nullptr;
  ID3DXBuffer* messages = nullptr;
  HRESULT hr = D3DXAssembleShaderFromFileA(path, nullptr, nullptr, 0, &code, &messages);
  return TakeAssembly(hr, code, messages, out, errors);
}

int32_t AssembleShaderText(const char* text, size_t length, std::vector<uint32_t>& out,
                           std::string& errors) {
  ID3DXBuffer* code = nullptr;
  ID3DXBuffer* messages = nullptr;
  HRESULT hr = D3DXAssembleShader(text, UINT(length), nullptr, nullptr, 0, &code, &messages);
  return TakeAssembly(hr, code, messages, out, errors);
}

bool ReadBackBuffer(Device* d, std::vector<uint32_t>& argb, uint32_t* width, uint32_t* height) {
  IDirect3DSurface9* back = nullptr;
  if (FAILED(D(d)->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back))) return false;
  D3DSURFACE_DESC desc;
  back->GetDesc(&desc);
  if (desc.MultiSampleType != D3DMULTISAMPLE_NONE) {
    // A multisampled surface cannot be read: resolve it into a plain one.
    IDirect3DSurface9* plain = nullptr;
    if (FAILED(D(d)->CreateRenderTarget(desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE, 0, FALSE,
                                        &plain, nullptr)) ||
        FAILED(D(d)->StretchRect(back, nullptr, plain, nullptr, D3DTEXF_NONE))) {
      if (plain) plain->Release();
      back->Release();
      return false;
    }
    back->Release();
    back = plain;
    back->GetDesc(&desc);
  }
  IDirect3DSurface9* copy = nullptr;
  bool ok = SUCCEEDED(D(d)->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format,
                                                        D3DPOOL_SYSTEMMEM, &copy, nullptr)) &&
            SUCCEEDED(D(d)->GetRenderTargetData(back, copy));
  D3DLOCKED_RECT r;
  if (ok) ok = SUCCEEDED(copy->LockRect(&r, nullptr, D3DLOCK_READONLY));
  if (ok) {
    argb.resize(size_t(desc.Width) * desc.Height);
    for (uint32_t y = 0; y < desc.Height; y++)
      std::memcpy(&argb[size_t(y) * desc.Width], static_cast<uint8_t*>(r.pBits) + size_t(y) * r.Pitch,
                  size_t(desc.Width) * 4);
    copy->UnlockRect();
    if (width) *width = desc.Width;
    if (height) *height = desc.Height;
  }
  if (copy) copy->Release();
  back->Release();
  return ok;
}

}  // namespace d3d9native
