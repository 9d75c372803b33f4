#include "platform/gpu/device_base.h"

#include "platform/image/image.h"

#include <algorithm>
#include <cstring>

// ---- resources ---------------------------------------------------------

GpuResource::GpuResource(GpuDeviceBase* device) : device_(device) {
  if (device_) {
    device_->AddRef();
    ++device_->live_;
  }
}

uint32_t GpuResource::AddRefPublic() { return ++refs_; }

uint32_t GpuResource::ReleasePublic() {
  if (refs_ == 0) return 0;  // a stale release must not underflow
  if (--refs_ > 0) return refs_;
  GpuDeviceBase* device = device_;
  device_ = nullptr;
  if (device) --device->live_;
  // The device's own reference goes last: the resource may be the thing
  // keeping it alive, and its state may still hold this resource.
  if (holds_ == 0) delete this;
  if (device) device->Release();
  return 0;
}

void GpuResource::Drop() {
  if (holds_ > 0 && --holds_ == 0 && refs_ == 0) delete this;
}

HRESULT MemoryVertexBuffer::Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) {
  if (!data) return D3DERR_INVALIDCALL;
  *data = nullptr;
  if (locked || offset > bytes.size()) return D3DERR_INVALIDCALL;
  if (size == 0) size = uint32_t(bytes.size()) - offset;
  if (size > bytes.size() - offset) return D3DERR_INVALIDCALL;
  locked = true;
  lockOffset = offset;
  lockSize = size;
  lockFlags = flags;
  *data = bytes.data() + offset;
  return D3D_OK;
}

HRESULT MemoryVertexBuffer::Unlock() {
  if (!locked) return D3DERR_INVALIDCALL;
  locked = false;
  ++version;
  Unlocked(lockOffset, lockSize);
  return D3D_OK;
}

HRESULT MemoryIndexBuffer::Lock(uint32_t offset, uint32_t size, void** data, uint32_t) {
  if (!data) return D3DERR_INVALIDCALL;
  *data = nullptr;
  if (locked || offset > bytes.size()) return D3DERR_INVALIDCALL;
  if (size == 0) size = uint32_t(bytes.size()) - offset;
  if (size > bytes.size() - offset) return D3DERR_INVALIDCALL;
  locked = true;
  lockOffset = offset;
  lockSize = size;
  *data = bytes.data() + offset;
  return D3D_OK;
}

uint32_t MemoryIndexBuffer::index(uint32_t i) const {
  uint32_t v;
  std::memcpy(&v, bytes.data() + size_t(i) * 4, 4);
  return v;
}

HRESULT MemoryIndexBuffer::Unlock() {
  if (!locked) return D3DERR_INVALIDCALL;
  locked = false;
  ++version;
  uint32_t m = 0;
  for (uint32_t i = 0, n = count(); i < n; ++i) {
    uint32_t v = index(i);
    if (v > m) m = v;
  }
  maxIndex = m;
  Unlocked(lockOffset, lockSize);
  return D3D_OK;
}

// ---- vertex formats -------------------------------------------------------

D3DMATRIX IdentityMatrix() {
  D3DMATRIX m{};
  for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
  return m;
}

bool FVFSupported(uint32_t fvf) {
  const uint32_t known = D3DFVF_XYZ | D3DFVF_XYZRHW | D3DFVF_NORMAL | D3DFVF_DIFFUSE |
                         D3DFVF_SPECULAR | D3DFVF_TEXCOUNT_MASK;
  if (fvf & ~known) return false;
  if ((fvf & D3DFVF_XYZ) && (fvf & D3DFVF_XYZRHW)) return false;
  if ((fvf & D3DFVF_XYZRHW) && (fvf & D3DFVF_NORMAL)) return false;
  return ((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT) <= 8;
}

std::vector<D3DVERTEXELEMENT9> FVFElements(uint32_t fvf) {
  std::vector<D3DVERTEXELEMENT9> e;
  uint16_t offset = 0;
  auto add = [&](uint8_t type, uint8_t usage, uint8_t index) {
    e.push_back({0, offset, type, D3DDECLMETHOD_DEFAULT, usage, index});
    offset = uint16_t(offset + DeclTypeSize(type));
  };
  if (fvf & D3DFVF_XYZ) add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
  if (fvf & D3DFVF_XYZRHW) add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0);
  if (fvf & D3DFVF_NORMAL) add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0);
  if (fvf & D3DFVF_DIFFUSE) add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
  if (fvf & D3DFVF_SPECULAR) add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
  uint32_t tex = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  for (uint32_t i = 0; i < tex && i < 8; ++i)
    add(D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, uint8_t(i));
  return e;
}

uint32_t LayoutExtent(const std::vector<D3DVERTEXELEMENT9>& elements) {
  uint32_t n = 0;
  for (const auto& e : elements) n = std::max<uint32_t>(n, e.Offset + DeclTypeSize(e.Type));
  return n;
}

uint32_t FVFStride(uint32_t fvf) {
  uint32_t s = 0;
  for (const auto& el : FVFElements(fvf)) s += DeclTypeSize(el.Type);
  return s;
}

uint32_t DeclTypeSize(uint8_t type) {
  switch (type) {
    case D3DDECLTYPE_FLOAT1: return 4;
    case D3DDECLTYPE_FLOAT2: return 8;
    case D3DDECLTYPE_FLOAT3: return 12;
    case D3DDECLTYPE_FLOAT4: return 16;
    case D3DDECLTYPE_D3DCOLOR: return 4;
    default: return 0;
  }
}

uint32_t VertexCountFor(D3DPRIMITIVETYPE type, uint32_t n) {
  switch (type) {
    case D3DPT_POINTLIST: return n;
    case D3DPT_LINELIST: return 2 * n;
    case D3DPT_LINESTRIP: return n + 1;
    case D3DPT_TRIANGLELIST: return 3 * n;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return n + 2;
    default: return 0;
  }
}

// ---- state ------------------------------------------------------------------

GpuState::GpuState() {
  world = view = projection = IdentityMatrix();
  std::memset(renderStates, 0, sizeof renderStates);
  renderStates[D3DRS_ZENABLE] = D3DZB_TRUE;  // the device has a depth buffer
  renderStates[D3DRS_ZWRITEENABLE] = 1;
  renderStates[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  renderStates[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  renderStates[D3DRS_CULLMODE] = D3DCULL_CCW;
  renderStates[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  renderStates[D3DRS_ALPHABLENDENABLE] = 0;
  renderStates[D3DRS_LIGHTING] = 1;
  for (auto& s : samplerStates) {
    std::memset(s, 0, sizeof s);
    s[D3DSAMP_ADDRESSU] = s[D3DSAMP_ADDRESSV] = s[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
    s[D3DSAMP_MAGFILTER] = s[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
    s[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
  }
  std::memset(vertexConstants, 0, sizeof vertexConstants);
  std::memset(pixelConstants, 0, sizeof pixelConstants);
  viewport = {0, 0, 0, 0, 0.0f, 1.0f};
  scissor = {0, 0, 0, 0};
}

const D3DMATRIX& GpuState::transform(D3DTRANSFORMSTATETYPE t) const {
  switch (t) {
    case D3DTS_VIEW: return view;
    case D3DTS_PROJECTION: return projection;
    default: return world;
  }
}

std::vector<D3DVERTEXELEMENT9> GpuState::vertexElements() const {
  if (declaration) return static_cast<VertexDeclaration*>(declaration.get())->elements;
  return FVFElements(fvf);
}

// ---- device -------------------------------------------------------------------

GpuDeviceBase::GpuDeviceBase(uint32_t width, uint32_t height)
    : state_(std::make_shared<GpuState>()) {
  state_->viewport = {0, 0, width, height, 0.0f, 1.0f};
  state_->scissor = {0, 0, int32_t(width), int32_t(height)};
}

GpuDeviceBase::~GpuDeviceBase() = default;

HRESULT GpuDeviceBase::ResizeBackBuffer(uint32_t width, uint32_t height) {
  if (width == 0 || height == 0 || width > 16384 || height > 16384 || inScene_) return D3DERR_INVALIDCALL;
  GpuState& s = mutableState();
  s.viewport = {0, 0, width, height, 0.0f, 1.0f};
  s.scissor = {0, 0, int32_t(width), int32_t(height)};
  dirty |= kDirtyViewport | kDirtyShaders | kDirtyRenderStates;
  return D3D_OK;
}

uint32_t GpuDeviceBase::AddRef() { return ++refs_; }

uint32_t GpuDeviceBase::Release() {
  if (refs_ == 0) return 0;
  if (--refs_ > 0) return refs_;
  // Every resource the program held has released its reference by now, so
  // only internal bindings remain; dropping them frees those resources.
  ResetState();
  delete this;
  return 0;
}

void GpuDeviceBase::ResetState() {
  D3DVIEWPORT9 vp = state_->viewport;
  state_ = std::make_shared<GpuState>();
  state_->viewport = vp;
  dirty = kDirtyAll;
}

GpuState& GpuDeviceBase::mutableState() {
  if (state_.use_count() > 1) state_ = std::make_shared<GpuState>(*state_);
  return *state_;
}

bool GpuDeviceBase::Owns(IUnknown* object) const {
  auto* r = dynamic_cast<GpuResource*>(object);
  return r && r->owner() == this;
}

HRESULT GpuDeviceBase::BeginScene() {
  if (inScene_) return D3DERR_INVALIDCALL;
  inScene_ = true;
  return D3D_OK;
}

HRESULT GpuDeviceBase::EndScene() {
  if (!inScene_) return D3DERR_INVALIDCALL;
  inScene_ = false;
  return D3D_OK;
}

HRESULT GpuDeviceBase::GetViewport(D3DVIEWPORT9* viewport) {
  if (!viewport) return D3DERR_INVALIDCALL;
  *viewport = state_->viewport;
  return D3D_OK;
}

HRESULT GpuDeviceBase::SetViewport(const D3DVIEWPORT9* viewport) {
  if (!viewport) return D3DERR_INVALIDCALL;
  mutableState().viewport = *viewport;
  dirty |= kDirtyViewport | kDirtyShaders;  // pre-transformed vertices depend on it
  return D3D_OK;
}

HRESULT GpuDeviceBase::SetScissorRect(const D3DSCISSORRECT* rect) {
  if (!rect || rect->right < rect->left || rect->bottom < rect->top) return D3DERR_INVALIDCALL;
  mutableState().scissor = *rect;
  dirty |= kDirtyRenderStates;
  return D3D_OK;
}

HRESULT GpuDeviceBase::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  if (!matrix) return D3DERR_INVALIDCALL;
  GpuState& s = mutableState();
  switch (state) {
    case D3DTS_WORLD: s.world = *matrix; break;
    case D3DTS_VIEW: s.view = *matrix; break;
    case D3DTS_PROJECTION: s.projection = *matrix; break;
    default: return D3DERR_INVALIDCALL;
  }
  dirty |= kDirtyTransforms;
  return D3D_OK;
}

HRESULT GpuDeviceBase::SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) {
  if (state >= kRenderStateCount) return D3DERR_INVALIDCALL;
  if (state_->renderStates[state] == value) return D3D_OK;
  mutableState().renderStates[state] = value;
  dirty |= kDirtyRenderStates;
  return D3D_OK;
}

HRESULT GpuDeviceBase::SetSamplerState(uint32_t stage, D3DSAMPLERSTATETYPE type, uint32_t value) {
  if (stage >= kTextureStages || type == 0 || type >= kSamplerStateCount)
    return D3DERR_INVALIDCALL;
  if (state_->samplerStates[stage][type] == value) return D3D_OK;
  mutableState().samplerStates[stage][type] = value;
  dirty |= kDirtySamplers;
  return D3D_OK;
}

HRESULT GpuDeviceBase::SetTexture(uint32_t stage, IDirect3DBaseTexture9* texture) {
  if (stage >= kTextureStages) return D3DERR_INVALIDCALL;
  if (texture && !Owns(texture)) return D3DERR_INVALIDCALL;
  if (state_->textures[stage] == texture) return D3D_OK;
  mutableState().textures[stage] =
      Held<IDirect3DBaseTexture9>(texture, texture ? dynamic_cast<GpuResource*>(texture) : nullptr);
  dirty |= kDirtyTextures;
  return D3D_OK;
}

HRESULT GpuDeviceBase::SetVertexShader(IDirect3DVertexShader9* shader) {
  if (shader && !Owns(shader)) return D3DERR_INVALIDCALL;
  if (state_->vertexShader == shader) return D3D_OK;
  mutableState().vertexShader =
      Held<IDirect3DVertexShader9>(shader, shader ? dynamic_cast<GpuResource*>(shader) : nullptr);
  dirty |= kDirtyShaders;
  return D3D_OK;
}

HRESULT GpuDeviceBase::SetPixelShader(IDirect3DPixelShader9* shader) {
  if (shader && !Owns(shader)) return D3DERR_INVALIDCALL;
  if (state_->pixelShader == shader) return D3D_OK;
  mutableState().pixelShader =
      Held<IDirect3DPixelShader9>(shader, shader ? dynamic_cast<GpuResource*>(shader) : nullptr);
  dirty |= kDirtyShaders;
  return D3D_OK;
}

HRESULT GpuDeviceBase::SetVertexShaderConstantF(uint32_t start, const float* data, uint32_t count) {
  if (start > kVertexConstants || count > kVertexConstants - start) return D3DERR_INVALIDCALL;
  if (count == 0) return D3D_OK;
  if (!data) return D3DERR_INVALIDCALL;
  if (std::memcmp(state_->vertexConstants[start], data, size_t(count) * 16) == 0) return D3D_OK;
  std::memcpy(mutableState().vertexConstants[start], data, size_t(count) * 16);
  dirty |= kDirtyVertexConstants;
  return D3D_OK;
}

HRESULT GpuDeviceBase::SetPixelShaderConstantF(uint32_t start, const float* data, uint32_t count) {
  if (start > kPixelConstants || count > kPixelConstants - start) return D3DERR_INVALIDCALL;
  if (count == 0) return D3D_OK;
  if (!data) return D3DERR_INVALIDCALL;
  if (std::memcmp(state_->pixelConstants[start], data, size_t(count) * 16) == 0) return D3D_OK;
  std::memcpy(mutableState().pixelConstants[start], data, size_t(count) * 16);
  dirty |= kDirtyPixelConstants;
  return D3D_OK;
}

HRESULT GpuDeviceBase::SetFVF(uint32_t fvf) {
  if (fvf == 0) return D3D_OK;  // not a format: Direct3D 9 ignores it
  if (!FVFSupported(fvf)) return D3DERR_INVALIDCALL;
  if (state_->fvf == fvf && !state_->declaration) return D3D_OK;
  GpuState& s = mutableState();
  s.fvf = fvf;
  s.declaration = Held<IDirect3DVertexDeclaration9>();
  dirty |= kDirtyVertexInput | kDirtyShaders;
  return D3D_OK;
}

HRESULT GpuDeviceBase::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) {
  if (declaration && !Owns(declaration)) return D3DERR_INVALIDCALL;
  if (state_->declaration == declaration && (declaration || state_->fvf == 0)) return D3D_OK;
  GpuState& s = mutableState();
  s.declaration = Held<IDirect3DVertexDeclaration9>(
      declaration, declaration ? dynamic_cast<GpuResource*>(declaration) : nullptr);
  s.fvf = 0;
  dirty |= kDirtyVertexInput | kDirtyShaders;
  return D3D_OK;
}

HRESULT GpuDeviceBase::SetStreamSource(uint32_t stream, IDirect3DVertexBuffer9* buffer,
                                       uint32_t offset, uint32_t stride) {
  if (stream != 0) return D3DERR_INVALIDCALL;  // one stream
  if (buffer && !Owns(buffer)) return D3DERR_INVALIDCALL;
  GpuState& s = mutableState();
  s.streamBuffer =
      Held<IDirect3DVertexBuffer9>(buffer, buffer ? dynamic_cast<GpuResource*>(buffer) : nullptr);
  s.streamOffset = offset;
  s.streamStride = stride;
  dirty |= kDirtyVertexInput;
  return D3D_OK;
}

HRESULT GpuDeviceBase::SetIndices(IDirect3DIndexBuffer9* indices) {
  if (indices && !Owns(indices)) return D3DERR_INVALIDCALL;
  mutableState().indices =
      Held<IDirect3DIndexBuffer9>(indices, indices ? dynamic_cast<GpuResource*>(indices) : nullptr);
  dirty |= kDirtyIndices;
  return D3D_OK;
}

void GpuDeviceBase::ResetStreamAfterDrawUP() {
  if (!state_->streamBuffer && state_->streamOffset == 0 && state_->streamStride == 0) return;
  GpuState& s = mutableState();
  s.streamBuffer = Held<IDirect3DVertexBuffer9>();
  s.streamOffset = 0;
  s.streamStride = 0;
  dirty |= kDirtyVertexInput;
}

bool GpuDeviceBase::ValidElements(const D3DVERTEXELEMENT9* elements,
                                  std::vector<D3DVERTEXELEMENT9>* out) {
  if (!elements) return false;
  std::vector<D3DVERTEXELEMENT9> list;
  for (uint32_t i = 0;; ++i) {
    if (i >= 64) return false;  // no end marker within Direct3D's limit
    const D3DVERTEXELEMENT9& e = elements[i];
    if (e.Stream == 0xFF) break;
    if (e.Stream != 0 || DeclTypeSize(e.Type) == 0 || e.Usage > D3DDECLUSAGE_DEPTH ||
        e.UsageIndex > 15)
      return false;
    list.push_back(e);
  }
  if (out) *out = std::move(list);
  return true;
}

HRESULT GpuDeviceBase::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                               IDirect3DVertexDeclaration9** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  std::vector<D3DVERTEXELEMENT9> list;
  if (!ValidElements(elements, &list)) return D3DERR_INVALIDCALL;
  *out = new VertexDeclaration(this, std::move(list));
  return D3D_OK;
}

HRESULT GpuDeviceBase::CheckDrawUP(D3DPRIMITIVETYPE type, uint32_t primitiveCount,
                                   const void* vertices, uint32_t stride) const {
  if (VertexCountFor(type, 1) == 0 || !vertices || stride == 0) return D3DERR_INVALIDCALL;
  // No vertex format at all, or vertices shorter than the format: reading
  // them would run past the caller's memory.
  uint32_t extent = LayoutExtent(state_->vertexElements());
  if (extent == 0 || stride < extent) return D3DERR_INVALIDCALL;
  if (primitiveCount == 0) return S_FALSE_;  // nothing to draw; reported as success
  return D3D_OK;
}

HRESULT GpuDeviceBase::CheckDrawIndexed(D3DPRIMITIVETYPE type, int32_t baseVertexIndex,
                                        uint32_t startIndex, uint32_t primitiveCount) const {
  if (VertexCountFor(type, 1) == 0) return D3DERR_INVALIDCALL;
  const GpuState& s = *state_;
  if (!s.indices || !s.streamBuffer || s.streamStride == 0) return D3DERR_INVALIDCALL;
  if (primitiveCount == 0) return S_FALSE_;
  auto* ib = static_cast<MemoryIndexBuffer*>(s.indices.get());
  auto* vb = static_cast<MemoryVertexBuffer*>(s.streamBuffer.get());
  uint64_t indexCount = VertexCountFor(type, primitiveCount);
  if (uint64_t(startIndex) + indexCount > ib->count()) return D3DERR_INVALIDCALL;
  // Every vertex an index reaches must lie inside the stream, whole.
  uint64_t fit = 0;
  if (vb->Length() > s.streamOffset) {
    uint64_t avail = vb->Length() - s.streamOffset;
    uint32_t vsize = LayoutExtent(s.vertexElements());
    if (vsize > 0 && avail >= vsize) fit = (avail - vsize) / s.streamStride + 1;
  }
  auto inside = [&](uint32_t index) {
    int64_t v = int64_t(baseVertexIndex) + int64_t(index);
    return v >= 0 && uint64_t(v) < fit;
  };
  if (baseVertexIndex >= 0 && inside(ib->maxIndex)) return D3D_OK;
  for (uint64_t i = startIndex; i < startIndex + indexCount; ++i)
    if (!inside(ib->index(uint32_t(i)))) return D3DERR_INVALIDCALL;
  return D3D_OK;
}

bool ReadShaderTokens(const uint32_t* function, ShaderKind kind, std::vector<uint32_t>& tokens,
                      ShaderProgram& program) {
  if (!function) return false;
  size_t n = ShaderTokenCount(function);
  if (n == 0) return false;
  if (!DeserializeShader(function, n, program) || program.kind != kind) return false;
  tokens.assign(function, function + n);
  return true;
}

size_t TextureLevelBytes(D3DFORMAT format, uint32_t w, uint32_t h) {
  size_t bw = (size_t(w) + 3) / 4, bh = (size_t(h) + 3) / 4;
  switch (format) {
    case D3DFMT_A8R8G8B8: return size_t(w) * h * 4;
    case D3DFMT_DXT1: return std::max<size_t>(1, bw) * std::max<size_t>(1, bh) * 8;
    case D3DFMT_DXT3:
    case D3DFMT_DXT5: return std::max<size_t>(1, bw) * std::max<size_t>(1, bh) * 16;
    default: return 0;
  }
}

bool ValidTextureImage(const Image& image, bool cube) {
  if (image.cube != cube || image.faces.size() != (cube ? 6u : 1u)) return false;
  uint32_t w = image.width(), h = image.height(), levels = image.levels();
  if (w == 0 || h == 0 || w > 16384 || h > 16384 || levels == 0) return false;
  if (cube && w != h) return false;
  uint32_t full = 1;
  while ((w >> full) || (h >> full)) ++full;
  if (levels > full) return false;
  for (const auto& face : image.faces) {
    if (face.size() != levels) return false;
    for (uint32_t i = 0; i < levels; ++i) {
      const ImageLevel& l = face[i];
      uint32_t lw = std::max(1u, w >> i), lh = std::max(1u, h >> i);
      if (l.width != lw || l.height != lh) return false;
      size_t need = TextureLevelBytes(image.format, lw, lh);
      if (need == 0 || l.bytes.size() != need) return false;
    }
  }
  return true;
}
