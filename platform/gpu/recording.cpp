#include "platform/gpu/recording.h"

#include <cstdio>
#include <cstring>

const char* CallKindName(CallKind kind) {
  switch (kind) {
    case CallKind::BeginScene: return "BeginScene";
    case CallKind::EndScene: return "EndScene";
    case CallKind::Present: return "Present";
    case CallKind::Clear: return "Clear";
    case CallKind::SetViewport: return "SetViewport";
    case CallKind::ResizeBackBuffer: return "ResizeBackBuffer";
    case CallKind::SetScissorRect: return "SetScissorRect";
    case CallKind::SetTransform: return "SetTransform";
    case CallKind::SetRenderState: return "SetRenderState";
    case CallKind::SetSamplerState: return "SetSamplerState";
    case CallKind::SetTexture: return "SetTexture";
    case CallKind::SetVertexShader: return "SetVertexShader";
    case CallKind::SetPixelShader: return "SetPixelShader";
    case CallKind::SetVertexShaderConstantF: return "SetVertexShaderConstantF";
    case CallKind::SetPixelShaderConstantF: return "SetPixelShaderConstantF";
    case CallKind::SetFVF: return "SetFVF";
    case CallKind::SetVertexDeclaration: return "SetVertexDeclaration";
    case CallKind::SetStreamSource: return "SetStreamSource";
    case CallKind::SetIndices: return "SetIndices";
    case CallKind::DrawPrimitiveUP: return "DrawPrimitiveUP";
    case CallKind::DrawIndexedPrimitive: return "DrawIndexedPrimitive";
    case CallKind::CreateVertexBuffer: return "CreateVertexBuffer";
    case CallKind::CreateIndexBuffer: return "CreateIndexBuffer";
    case CallKind::CreateVertexDeclaration: return "CreateVertexDeclaration";
    case CallKind::CreateVertexShader: return "CreateVertexShader";
    case CallKind::CreatePixelShader: return "CreatePixelShader";
    case CallKind::CreateTexture: return "CreateTexture";
    case CallKind::CreateCubeTexture: return "CreateCubeTexture";
  }
  return "?";
}

uint32_t RecordedCall::vertexCount() const {
  if (kind != CallKind::DrawPrimitiveUP || u[2] == 0) return 0;
  return uint32_t(bytes.size() / u[2]);
}

float RecordedCall::vertexFloat(uint32_t i, uint32_t offset) const {
  float v = 0.0f;
  size_t at = size_t(i) * u[2] + offset;
  if (kind == CallKind::DrawPrimitiveUP && i < vertexCount() && offset + 4 <= u[2])
    std::memcpy(&v, bytes.data() + at, 4);
  return v;
}

uint32_t RecordedCall::vertexUint(uint32_t i, uint32_t offset) const {
  uint32_t v = 0;
  size_t at = size_t(i) * u[2] + offset;
  if (kind == CallKind::DrawPrimitiveUP && i < vertexCount() && offset + 4 <= u[2])
    std::memcpy(&v, bytes.data() + at, 4);
  return v;
}

std::string RecordedCall::describe() const {
  std::string s = CallKindName(kind);
  s += "(";
  char buf[64];
  int nu = 0;
  switch (kind) {
    case CallKind::Clear: nu = 3; break;
    case CallKind::SetViewport:
    case CallKind::SetScissorRect: nu = 4; break;
    case CallKind::SetTransform:
    case CallKind::SetTexture:
    case CallKind::SetFVF: nu = 1; break;
    case CallKind::SetRenderState:
    case CallKind::ResizeBackBuffer:
    case CallKind::SetVertexShaderConstantF:
    case CallKind::SetPixelShaderConstantF: nu = 2; break;
    case CallKind::SetSamplerState:
    case CallKind::SetStreamSource:
    case CallKind::DrawPrimitiveUP: nu = 3; break;
    case CallKind::DrawIndexedPrimitive: nu = 5; break;
    case CallKind::CreateVertexBuffer:
    case CallKind::CreateIndexBuffer:
    case CallKind::CreateTexture:
    case CallKind::CreateCubeTexture: nu = 4; break;
    default: break;
  }
  for (int i = 0; i < nu; ++i) {
    if (kind == CallKind::DrawIndexedPrimitive && i == 1) {
      std::snprintf(buf, sizeof buf, ", %d", i0);
      s += buf;
    }
    std::snprintf(buf, sizeof buf, "%s%u", i ? ", " : "", u[i]);
    s += buf;
  }
  for (size_t i = 0; i < f.size() && i < 16; ++i) {
    std::snprintf(buf, sizeof buf, "%s%g", (i || nu) ? ", " : "", double(f[i]));
    s += buf;
  }
  if (f.size() > 16) s += ", ...";
  if (object) {
    std::snprintf(buf, sizeof buf, "%s%p", (nu || !f.empty()) ? ", " : "", (void*)object);
    s += buf;
  }
  s += ")";
  if (result != D3D_OK) {
    std::snprintf(buf, sizeof buf, " -> 0x%08X", uint32_t(result));
    s += buf;
  }
  return s;
}

RecordingDevice::RecordingDevice(uint32_t width, uint32_t height) : GpuDeviceBase(width, height) {}

RecordingDevice* CreateRecordingDevice(uint32_t width, uint32_t height) {
  return new RecordingDevice(width, height);
}

RecordedCall& RecordingDevice::Record(CallKind kind, HRESULT result, IUnknown* object) {
  calls_.emplace_back();
  RecordedCall& c = calls_.back();
  c.kind = kind;
  c.result = result;
  c.object = object;
  return c;
}

std::vector<const RecordedCall*> RecordingDevice::Draws() const {
  std::vector<const RecordedCall*> out;
  for (const auto& c : calls_)
    if (c.isDraw()) out.push_back(&c);
  return out;
}

std::vector<const RecordedCall*> RecordingDevice::CallsOf(CallKind kind) const {
  std::vector<const RecordedCall*> out;
  for (const auto& c : calls_)
    if (c.kind == kind) out.push_back(&c);
  return out;
}

size_t RecordingDevice::Count(CallKind kind) const {
  size_t n = 0;
  for (const auto& c : calls_) n += c.kind == kind;
  return n;
}

std::string RecordingDevice::Describe() const {
  std::string s;
  for (const auto& c : calls_) {
    s += c.describe();
    s += "\n";
  }
  return s;
}

// ---- frame ---------------------------------------------------------------------

HRESULT RecordingDevice::BeginScene() {
  HRESULT hr = GpuDeviceBase::BeginScene();
  Record(CallKind::BeginScene, hr);
  return hr;
}

HRESULT RecordingDevice::EndScene() {
  HRESULT hr = GpuDeviceBase::EndScene();
  Record(CallKind::EndScene, hr);
  return hr;
}

HRESULT RecordingDevice::Present() {
  // Presenting inside a scene is an error in Direct3D 9.
  HRESULT hr = inScene() ? D3DERR_INVALIDCALL : D3D_OK;
  Record(CallKind::Present, hr);
  return hr;
}

HRESULT RecordingDevice::Clear(uint32_t flags, uint32_t colour, float z, uint32_t stencil) {
  HRESULT hr = D3D_OK;
  if (flags == 0 || (flags & ~uint32_t(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) ||
      z < 0.0f || z > 1.0f)
    hr = D3DERR_INVALIDCALL;
  RecordedCall& c = Record(CallKind::Clear, hr);
  c.u[0] = flags;
  c.u[1] = colour;
  c.u[2] = stencil;
  c.f = {z};
  c.state = snapshot();
  return hr;
}

HRESULT RecordingDevice::ResizeBackBuffer(uint32_t width, uint32_t height) {
  HRESULT hr = GpuDeviceBase::ResizeBackBuffer(width, height);
  RecordedCall& c = Record(CallKind::ResizeBackBuffer, hr);
  c.u[0] = width;
  c.u[1] = height;
  return hr;
}

HRESULT RecordingDevice::SetViewport(const D3DVIEWPORT9* viewport) {
  HRESULT hr = GpuDeviceBase::SetViewport(viewport);
  RecordedCall& c = Record(CallKind::SetViewport, hr);
  if (viewport) {
    c.u[0] = viewport->X;
    c.u[1] = viewport->Y;
    c.u[2] = viewport->Width;
    c.u[3] = viewport->Height;
    c.f = {viewport->MinZ, viewport->MaxZ};
  }
  return hr;
}

HRESULT RecordingDevice::SetScissorRect(const D3DSCISSORRECT* rect) {
  HRESULT hr = GpuDeviceBase::SetScissorRect(rect);
  RecordedCall& c = Record(CallKind::SetScissorRect, hr);
  if (rect) {
    c.u[0] = uint32_t(rect->left);
    c.u[1] = uint32_t(rect->top);
    c.u[2] = uint32_t(rect->right);
    c.u[3] = uint32_t(rect->bottom);
  }
  return hr;
}

// ---- state ---------------------------------------------------------------------

HRESULT RecordingDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  HRESULT hr = GpuDeviceBase::SetTransform(state, matrix);
  RecordedCall& c = Record(CallKind::SetTransform, hr);
  c.u[0] = state;
  if (matrix) c.f.assign(&matrix->m[0][0], &matrix->m[0][0] + 16);
  return hr;
}

HRESULT RecordingDevice::SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) {
  HRESULT hr = GpuDeviceBase::SetRenderState(state, value);
  RecordedCall& c = Record(CallKind::SetRenderState, hr);
  c.u[0] = state;
  c.u[1] = value;
  return hr;
}

HRESULT RecordingDevice::SetSamplerState(uint32_t stage, D3DSAMPLERSTATETYPE type, uint32_t value) {
  HRESULT hr = GpuDeviceBase::SetSamplerState(stage, type, value);
  RecordedCall& c = Record(CallKind::SetSamplerState, hr);
  c.u[0] = stage;
  c.u[1] = type;
  c.u[2] = value;
  return hr;
}

HRESULT RecordingDevice::SetTexture(uint32_t stage, IDirect3DBaseTexture9* texture) {
  HRESULT hr = GpuDeviceBase::SetTexture(stage, texture);
  Record(CallKind::SetTexture, hr, texture).u[0] = stage;
  return hr;
}

HRESULT RecordingDevice::SetVertexShader(IDirect3DVertexShader9* shader) {
  HRESULT hr = GpuDeviceBase::SetVertexShader(shader);
  Record(CallKind::SetVertexShader, hr, shader);
  return hr;
}

HRESULT RecordingDevice::SetPixelShader(IDirect3DPixelShader9* shader) {
  HRESULT hr = GpuDeviceBase::SetPixelShader(shader);
  Record(CallKind::SetPixelShader, hr, shader);
  return hr;
}

HRESULT RecordingDevice::SetVertexShaderConstantF(uint32_t start, const float* data,
                                                  uint32_t count) {
  HRESULT hr = GpuDeviceBase::SetVertexShaderConstantF(start, data, count);
  RecordedCall& c = Record(CallKind::SetVertexShaderConstantF, hr);
  c.u[0] = start;
  c.u[1] = count;
  if (data && count <= kVertexConstants) c.f.assign(data, data + size_t(count) * 4);
  return hr;
}

HRESULT RecordingDevice::SetPixelShaderConstantF(uint32_t start, const float* data,
                                                 uint32_t count) {
  HRESULT hr = GpuDeviceBase::SetPixelShaderConstantF(start, data, count);
  RecordedCall& c = Record(CallKind::SetPixelShaderConstantF, hr);
  c.u[0] = start;
  c.u[1] = count;
  if (data && count <= kVertexConstants) c.f.assign(data, data + size_t(count) * 4);
  return hr;
}

HRESULT RecordingDevice::SetFVF(uint32_t fvf) {
  HRESULT hr = GpuDeviceBase::SetFVF(fvf);
  Record(CallKind::SetFVF, hr).u[0] = fvf;
  return hr;
}

HRESULT RecordingDevice::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) {
  HRESULT hr = GpuDeviceBase::SetVertexDeclaration(declaration);
  Record(CallKind::SetVertexDeclaration, hr, declaration);
  return hr;
}

HRESULT RecordingDevice::SetStreamSource(uint32_t stream, IDirect3DVertexBuffer9* buffer,
                                         uint32_t offset, uint32_t stride) {
  HRESULT hr = GpuDeviceBase::SetStreamSource(stream, buffer, offset, stride);
  RecordedCall& c = Record(CallKind::SetStreamSource, hr, buffer);
  c.u[0] = stream;
  c.u[1] = offset;
  c.u[2] = stride;
  return hr;
}

HRESULT RecordingDevice::SetIndices(IDirect3DIndexBuffer9* indices) {
  HRESULT hr = GpuDeviceBase::SetIndices(indices);
  Record(CallKind::SetIndices, hr, indices);
  return hr;
}

// ---- drawing -------------------------------------------------------------------

HRESULT RecordingDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, uint32_t primitiveCount,
                                         const void* vertices, uint32_t stride) {
  HRESULT hr = CheckDrawUP(type, primitiveCount, vertices, stride);
  if (hr == S_FALSE_) hr = D3D_OK;
  RecordedCall& c = Record(CallKind::DrawPrimitiveUP, hr);
  c.u[0] = type;
  c.u[1] = primitiveCount;
  c.u[2] = stride;
  c.state = snapshot();
  if (hr == D3D_OK && primitiveCount > 0) {
    size_t n = size_t(VertexCountFor(type, primitiveCount)) * stride;
    auto* p = static_cast<const uint8_t*>(vertices);
    c.bytes.assign(p, p + n);
    ResetStreamAfterDrawUP();
  }
  return hr;
}

HRESULT RecordingDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int32_t baseVertexIndex,
                                              uint32_t minIndex, uint32_t numVertices,
                                              uint32_t startIndex, uint32_t primitiveCount) {
  HRESULT hr = CheckDrawIndexed(type, baseVertexIndex, startIndex, primitiveCount);
  if (hr == S_FALSE_) hr = D3D_OK;
  RecordedCall& c = Record(CallKind::DrawIndexedPrimitive, hr);
  c.u[0] = type;
  c.i0 = baseVertexIndex;
  c.u[1] = minIndex;
  c.u[2] = numVertices;
  c.u[3] = startIndex;
  c.u[4] = primitiveCount;
  c.state = snapshot();
  return hr;
}

// ---- resources -----------------------------------------------------------------

HRESULT RecordingDevice::CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf,
                                            uint32_t pool, IDirect3DVertexBuffer9** out) {
  HRESULT hr = D3D_OK;
  if (!out || length == 0) hr = D3DERR_INVALIDCALL;
  else if (failCreateVertexBuffer != D3D_OK) hr = failCreateVertexBuffer;
  IDirect3DVertexBuffer9* vb = nullptr;
  if (hr == D3D_OK) vb = new MemoryVertexBuffer(this, length, fvf);
  if (out) *out = vb;
  RecordedCall& c = Record(CallKind::CreateVertexBuffer, hr, vb);
  c.u[0] = length;
  c.u[1] = usage;
  c.u[2] = fvf;
  c.u[3] = pool;
  return hr;
}

HRESULT RecordingDevice::CreateIndexBuffer(uint32_t length, uint32_t usage, D3DFORMAT format,
                                           uint32_t pool, IDirect3DIndexBuffer9** out) {
  HRESULT hr = D3D_OK;
  // This device takes 32-bit indices only.
  if (!out || length == 0 || format != D3DFMT_INDEX32) hr = D3DERR_INVALIDCALL;
  else if (failCreateIndexBuffer != D3D_OK) hr = failCreateIndexBuffer;
  IDirect3DIndexBuffer9* ib = nullptr;
  if (hr == D3D_OK) ib = new MemoryIndexBuffer(this, length);
  if (out) *out = ib;
  RecordedCall& c = Record(CallKind::CreateIndexBuffer, hr, ib);
  c.u[0] = length;
  c.u[1] = usage;
  c.u[2] = format;
  c.u[3] = pool;
  return hr;
}

HRESULT RecordingDevice::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                                 IDirect3DVertexDeclaration9** out) {
  HRESULT hr;
  if (failCreateVertexDeclaration != D3D_OK && out) {
    *out = nullptr;
    hr = failCreateVertexDeclaration;
  } else {
    hr = GpuDeviceBase::CreateVertexDeclaration(elements, out);
  }
  Record(CallKind::CreateVertexDeclaration, hr, out ? *out : nullptr);
  return hr;
}

HRESULT RecordingDevice::CreateVertexShader(const uint32_t* function, IDirect3DVertexShader9** out) {
  HRESULT hr = D3D_OK;
  std::vector<uint32_t> tokens;
  ShaderProgram program;
  IDirect3DVertexShader9* shader = nullptr;
  if (!out || !ReadShaderTokens(function, ShaderKind::Vertex, tokens, program))
    hr = D3DERR_INVALIDCALL;
  else if (failCreateShader != D3D_OK) hr = failCreateShader;
  if (hr == D3D_OK) shader = new RecordingVertexShader(this, std::move(tokens), std::move(program));
  if (out) *out = shader;
  Record(CallKind::CreateVertexShader, hr, shader);
  return hr;
}

HRESULT RecordingDevice::CreatePixelShader(const uint32_t* function, IDirect3DPixelShader9** out) {
  HRESULT hr = D3D_OK;
  std::vector<uint32_t> tokens;
  ShaderProgram program;
  IDirect3DPixelShader9* shader = nullptr;
  if (!out || !ReadShaderTokens(function, ShaderKind::Pixel, tokens, program))
    hr = D3DERR_INVALIDCALL;
  else if (failCreateShader != D3D_OK) hr = failCreateShader;
  if (hr == D3D_OK) shader = new RecordingPixelShader(this, std::move(tokens), std::move(program));
  if (out) *out = shader;
  Record(CallKind::CreatePixelShader, hr, shader);
  return hr;
}

HRESULT RecordingDevice::CreateTextureFromImage(const Image& image, IDirect3DTexture9** out) {
  HRESULT hr = D3D_OK;
  if (!out || !ValidTextureImage(image, false)) hr = D3DERR_INVALIDCALL;
  else if (failCreateTexture != D3D_OK) hr = failCreateTexture;
  IDirect3DTexture9* t = nullptr;
  if (hr == D3D_OK) t = new RecordingTexture(this, image);
  if (out) *out = t;
  RecordedCall& c = Record(CallKind::CreateTexture, hr, t);
  c.u[0] = image.width();
  c.u[1] = image.height();
  c.u[2] = image.levels();
  c.u[3] = image.format;
  return hr;
}

HRESULT RecordingDevice::CreateCubeTextureFromImage(const Image& image,
                                                    IDirect3DCubeTexture9** out) {
  HRESULT hr = D3D_OK;
  if (!out || !ValidTextureImage(image, true)) hr = D3DERR_INVALIDCALL;
  else if (failCreateTexture != D3D_OK) hr = failCreateTexture;
  IDirect3DCubeTexture9* t = nullptr;
  if (hr == D3D_OK) t = new RecordingCubeTexture(this, image);
  if (out) *out = t;
  RecordedCall& c = Record(CallKind::CreateCubeTexture, hr, t);
  c.u[0] = image.width();
  c.u[1] = image.height();
  c.u[2] = image.levels();
  c.u[3] = image.format;
  return hr;
}
