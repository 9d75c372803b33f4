// The D3DX helpers the program uses: texture loaders on top of the image
// library and the shader assembler on top of shader_asm.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/files.h"
#include "foundation/log.h"
#include "platform/gpu/d3dx_provider.h"
#include "platform/image/image.h"
#include "platform/shader_asm/shader_asm.h"

namespace {

class Buffer : public ID3DXBuffer {
 public:
  explicit Buffer(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override {
    if (refs_ == 0) return 0;
    if (--refs_ == 0) {
      delete this;
      return 0;
    }
    return refs_;
  }
  const void* GetBufferPointer() const override { return bytes_.data(); }
  uint32_t GetBufferSize() const override { return uint32_t(bytes_.size()); }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t refs_ = 1;
};


const D3DXProvider* provider = nullptr;

}  // namespace

void SetD3DXProvider(const D3DXProvider* p) { provider = p; }

ID3DXBuffer* NewD3DXBuffer(const void* data, size_t size) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  return new Buffer(std::vector<uint8_t>(bytes, bytes + size));
}

HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice9* device, const char* path,
                                   IDirect3DTexture9** out) {
  if (!device || !path || !out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  Image image;
  HRESULT hr = LoadImageFile(path, image);
  if (FAILED(hr)) return hr;
  if (image.cube) {
    // A cube file asked for as a plain texture gives its first face, +X.
    image.faces.resize(1);
    image.cube = false;
  }
  BuildMipChain(image);
  return device->CreateTextureFromImage(image, out);
}

HRESULT D3DXCreateCubeTextureFromFileA(IDirect3DDevice9* device, const char* path,
                                       IDirect3DCubeTexture9** out) {
  if (!device || !path || !out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  Image image;
  HRESULT hr = LoadImageFile(path, image);
  if (FAILED(hr)) return hr;
  if (!image.cube) return D3DXERR_INVALIDDATA;  // six faces are needed
  BuildMipChain(image);
  return device->CreateCubeTextureFromImage(image, out);
}

// A file that cannot be opened gives D3DXERR_INVALIDDATA with nothing
// printed, as D3DX's assembler reports a failed open. An assembly error
// gives the same code and the assembler's one line naming file, line and
// problem; with an error buffer asked for, that line is also put in it.
HRESULT D3DXAssembleShaderFromFileA(const char* path, const void* /*defines*/, void* /*include*/,
                                    uint32_t /*flags*/, ID3DXBuffer** code,
                                    ID3DXBuffer** errors) {
  if (code) *code = nullptr;
  if (errors) *errors = nullptr;
  if (!path || !code) return D3DERR_INVALIDCALL;
  if (provider) return provider->assembleShader(path, code, errors);
  std::string text, reason;
  if (!ReadWholeFile(path, FileKind::Content, text, reason)) return D3DXERR_INVALIDDATA;

  ShaderProgram program;
  HRESULT hr;
  std::string message;
  {
    LogCapture capture;
    hr = AssembleShaderText(text.data(), text.size(), path, program);
    message = capture.text();
  }
  if (!message.empty()) Log("%s", message.c_str());
  if (FAILED(hr)) {
    if (errors && !message.empty())
      *errors = new Buffer(std::vector<uint8_t>(message.c_str(),  // text with its NUL
                                                 message.c_str() + message.size() + 1));
    return hr;
  }
  std::vector<uint32_t> tokens;
  SerializeShader(program, tokens);
  std::vector<uint8_t> bytes(tokens.size() * 4);
  std::memcpy(bytes.data(), tokens.data(), bytes.size());
  *code = new Buffer(std::move(bytes));
  return D3D_OK;
}
