// Reference counting shared by the device implementations, with Direct3D 9's
// rules: a resource holds a reference on its device for as long as the program
// holds it, so releasing the device reports every leaked resource; binding a
// resource to the device does not change the count the program sees, yet the
// device keeps a bound resource's memory alive until it is unbound.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/gpu/device.h"

class GpuDeviceBase;

class GpuResource {
 public:
  GpuResource(const GpuResource&) = delete;
  GpuResource& operator=(const GpuResource&) = delete;

  // Internal references (device state, recorded snapshots): keep the memory,
  // never the device.
  void Hold() { ++holds_; }
  void Drop();

  // The owning device while the program holds the resource; null afterwards.
  GpuDeviceBase* owner() const { return device_; }
  uint32_t publicRefs() const { return refs_; }

 protected:
  explicit GpuResource(GpuDeviceBase* device);
  virtual ~GpuResource() = default;

  uint32_t AddRefPublic();
  uint32_t ReleasePublic();

 private:
  GpuDeviceBase* device_;
  uint32_t refs_ = 1;
  uint32_t holds_ = 0;
};

// Implements IUnknown for one device interface.
template <class Interface>
class GpuObject : public Interface, public GpuResource {
 public:
  explicit GpuObject(GpuDeviceBase* device) : GpuResource(device) {}
  uint32_t AddRef() override { return AddRefPublic(); }
  uint32_t Release() override { return ReleasePublic(); }
};

// An internal reference to a device resource (null allowed).
template <class Interface>
class Held {
 public:
  Held() = default;
  Held(Interface* p, GpuResource* r) : ptr_(p), res_(r) {
    if (res_) res_->Hold();
  }
  Held(const Held& o) : ptr_(o.ptr_), res_(o.res_) {
    if (res_) res_->Hold();
  }
  Held& operator=(const Held& o) {
    if (o.res_) o.res_->Hold();
    if (res_) res_->Drop();
    ptr_ = o.ptr_;
    res_ = o.res_;
    return *this;
  }
  ~Held() {
    if (res_) res_->Drop();
  }
  Interface* get() const { return ptr_; }
  GpuResource* resource() const { return res_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  bool operator==(const Interface* p) const { return ptr_ == p; }
  bool operator!=(const Interface* p) const { return ptr_ != p; }

 private:
  Interface* ptr_ = nullptr;
  GpuResource* res_ = nullptr;
};

// Resources both devices share in shape: CPU-side memory for buffers, the
// element list of a declaration, the token stream of a shader.
class MemoryVertexBuffer : public GpuObject<IDirect3DVertexBuffer9> {
 public:
  MemoryVertexBuffer(GpuDeviceBase* device, uint32_t length, uint32_t fvf)
      : GpuObject(device), bytes(length), fvf(fvf) {}
  HRESULT Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) override;
  HRESULT Unlock() override;
  uint32_t Length() const override { return uint32_t(bytes.size()); }

  std::vector<uint8_t> bytes;
  uint32_t fvf;
  bool locked = false;
  uint32_t lockOffset = 0, lockSize = 0;  // the range of the current lock
  uint32_t lockFlags = 0;
  uint64_t version = 0;  // bumped by every unlock

 protected:
  virtual void Unlocked(uint32_t /*offset*/, uint32_t /*size*/) {}
};

class MemoryIndexBuffer : public GpuObject<IDirect3DIndexBuffer9> {
 public:
  MemoryIndexBuffer(GpuDeviceBase* device, uint32_t length)
      : GpuObject(device), bytes(length) {}
  HRESULT Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) override;
  HRESULT Unlock() override;
  uint32_t Length() const override { return uint32_t(bytes.size()); }

  uint32_t count() const { return uint32_t(bytes.size() / 4); }
  uint32_t index(uint32_t i) const;
  // Largest index of the whole buffer, kept current by Unlock so draws can
  // be checked against the vertex stream without scanning every time.
  uint32_t maxIndex = 0;
  std::vector<uint8_t> bytes;
  bool locked = false;
  uint32_t lockOffset = 0, lockSize = 0;
  uint64_t version = 0;

 protected:
  virtual void Unlocked(uint32_t /*offset*/, uint32_t /*size*/) {}
};

class VertexDeclaration : public GpuObject<IDirect3DVertexDeclaration9> {
 public:
  VertexDeclaration(GpuDeviceBase* device, std::vector<D3DVERTEXELEMENT9> e)
      : GpuObject(device), elements(std::move(e)) {}
  std::vector<D3DVERTEXELEMENT9> elements;  // without the end marker
};

// A shader as both devices keep it: the token stream it was created from and
// the instruction list read back from it.
#include "platform/shader_asm/shader_asm.h"

template <class Interface>
class ShaderObject : public GpuObject<Interface> {
 public:
  ShaderObject(GpuDeviceBase* device, std::vector<uint32_t> t, ShaderProgram p)
      : GpuObject<Interface>(device), tokens(std::move(t)), program(std::move(p)) {}
  std::vector<uint32_t> tokens;
  ShaderProgram program;
};

// Reads a token stream handed to CreateVertexShader / CreatePixelShader: true
// with the tokens (end token included) and the program when it is a
// well-formed stream of the wanted kind.
bool ReadShaderTokens(const uint32_t* function, ShaderKind kind, std::vector<uint32_t>& tokens,
                      ShaderProgram& program);
