#include "platform/gl/gl_device.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>

#include "foundation/log.h"
#include "platform/gpu/device_base.h"
#include "platform/image/image.h"
#include "platform/shader_asm/shader_asm.h"

namespace {

uint32_t gErrorCount = 0;

void CheckGL(const char* what, const char* file, int line) {
  for (GLenum e; (e = glGetError()) != GL_NO_ERROR;) {
    ++gErrorCount;
    Log("OpenGL error 0x%04X after %s (%s:%d)\n", e, what, file, line);
  }
}

// Debug builds check every call; release builds check at Present and read-back.
#ifndef NDEBUG
#define GLC(call)                            \
  do {                                       \
    call;                                    \
    CheckGL(#call, __FILE__, __LINE__);      \
  } while (0)
#else
#define GLC(call) call
#endif

class GLDevice;
// GL reuses the names of deleted objects: the device forgets what it had
// bound under a name before that name can come back as a new object.
void ForgetObject(GLDevice* device, GLenum kind, GLuint id);

// ---- resources ---------------------------------------------------------------

class GLVertexBuffer : public MemoryVertexBuffer {
 public:
  GLVertexBuffer(GpuDeviceBase* d, GLDevice* gl, uint32_t length, uint32_t fvf, bool dynamic)
      : MemoryVertexBuffer(d, length, fvf), gl_(gl), dynamic_(dynamic) {
    GLC(glGenBuffers(1, &id));
    GLC(glBindBuffer(GL_COPY_WRITE_BUFFER, id));
    GLC(glBufferData(GL_COPY_WRITE_BUFFER, length, nullptr,
                     dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW));
  }
  ~GLVertexBuffer() override {
    ForgetObject(gl_, GL_ARRAY_BUFFER, id);
    GLC(glDeleteBuffers(1, &id));
  }
  GLuint id = 0;

 protected:
  void Unlocked(uint32_t offset, uint32_t size) override {
    GLC(glBindBuffer(GL_COPY_WRITE_BUFFER, id));
    if (lockFlags & D3DLOCK_DISCARD) {  // a fresh store: no wait for draws in flight
      GLC(glBufferData(GL_COPY_WRITE_BUFFER, bytes.size(), bytes.data(),
                       dynamic_ ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW));
    } else if (size > 0) {
      GLC(glBufferSubData(GL_COPY_WRITE_BUFFER, offset, size, bytes.data() + offset));
    }
  }

 private:
  GLDevice* gl_;
  bool dynamic_;
};

class GLIndexBuffer : public MemoryIndexBuffer {
 public:
  GLIndexBuffer(GpuDeviceBase* d, GLDevice* gl, uint32_t length)
      : MemoryIndexBuffer(d, length), gl_(gl) {
    GLC(glGenBuffers(1, &id));
    GLC(glBindBuffer(GL_COPY_WRITE_BUFFER, id));
    GLC(glBufferData(GL_COPY_WRITE_BUFFER, length, nullptr, GL_STATIC_DRAW));
  }
  ~GLIndexBuffer() override {
    ForgetObject(gl_, GL_ELEMENT_ARRAY_BUFFER, id);
    GLC(glDeleteBuffers(1, &id));
  }
  GLuint id = 0;

 protected:
  void Unlocked(uint32_t offset, uint32_t size) override {
    if (size == 0) return;
    GLC(glBindBuffer(GL_COPY_WRITE_BUFFER, id));
    GLC(glBufferSubData(GL_COPY_WRITE_BUFFER, offset, size, bytes.data() + offset));
  }

 private:
  GLDevice* gl_;
};

template <class Interface, D3DRESOURCETYPE Type>
class GLTexture : public GpuObject<Interface> {
 public:
  GLTexture(GpuDeviceBase* d, GLDevice* gl, GLuint texture, uint32_t w, uint32_t h,
            uint32_t levels)
      : GpuObject<Interface>(d), id(texture), gl_(gl), w_(w), h_(h), levels_(levels) {}
  ~GLTexture() override {
    ForgetObject(gl_, GL_TEXTURE, id);
    GLC(glDeleteTextures(1, &id));
  }
  D3DRESOURCETYPE GetType() const override { return Type; }
  uint32_t Width() const override { return w_; }
  uint32_t Height() const override { return h_; }
  uint32_t LevelCount() const override { return levels_; }
  GLuint id;

 private:
  GLDevice* gl_;
  uint32_t w_, h_, levels_;
};
using GLTexture2D = GLTexture<IDirect3DTexture9, D3DRTYPE_TEXTURE>;
using GLTextureCube = GLTexture<IDirect3DCubeTexture9, D3DRTYPE_CUBETEXTURE>;

GLuint TextureId(IDirect3DBaseTexture9* t) {
  if (!t) return 0;
  if (t->GetType() == D3DRTYPE_CUBETEXTURE) return static_cast<GLTextureCube*>(t)->id;
  return static_cast<GLTexture2D*>(t)->id;
}

// Program halves are identified by a key: generated fixed-function variants
// use small numbers, assembled shaders their serial (from kFirstShaderKey).
constexpr uint32_t kFirstShaderKey = 64;

void ForgetShader(GLDevice* device, uint32_t key);

template <class Interface>
class GLShader : public ShaderObject<Interface> {
 public:
  GLShader(GpuDeviceBase* d, std::vector<uint32_t> t, ShaderProgram p, GLuint s, uint32_t k,
           GLDevice* gl)
      : ShaderObject<Interface>(d, std::move(t), std::move(p)), shader(s), key(k), gl_(gl) {}
  ~GLShader() override {
    ForgetShader(gl_, key);
    GLC(glDeleteShader(shader));
  }
  GLuint shader;
  uint32_t key;

 private:
  GLDevice* gl_;
};
using GLVertexShader = GLShader<IDirect3DVertexShader9>;
using GLPixelShader = GLShader<IDirect3DPixelShader9>;

// ---- program generation -------------------------------------------------------

// Fixed-function vertex variants.
enum : uint32_t { kFFPreTransformed = 1, kFFDiffuse = 2, kFFLit = 4 };
// Fixed-function pixel variants: stage 0 without texture, 2D, cube.
enum : uint32_t { kFFNoTexture = 0, kFFTexture2D = 1, kFFTextureCube = 2 };

// Pre-transformed vertices: Direct3D 9 puts pixel centres on integer
// coordinates, GL half a pixel further on. Shifting by 63/64 of the half
// keeps edges that fall on pixel centres off the tie, so a quad from x0 to x1
// covers exactly the columns x0 .. x1 - 1, as on Direct3D.
constexpr float kPixelCentreShift = 0.5f * 63.0f / 64.0f;

std::string FixedFunctionVertexSource(uint32_t v) {
  std::string s =
      "#version 330 core\n"
      "layout(location = 0) in vec4 a0;\n"
      "layout(location = 2) in vec4 a2;\n"
      "layout(location = 6) in vec4 a6;\n"
      "uniform mat4 ffWorldViewProj;\n"
      "uniform vec4 ffScreen;\n"
      "out vec4 vD0;\nout vec4 vD1;\n"
      "out vec4 vT0;\nout vec4 vT1;\nout vec4 vT2;\nout vec4 vT3;\n"
      "out vec4 vT4;\nout vec4 vT5;\nout vec4 vT6;\nout vec4 vT7;\n"
      "void main() {\n";
  if (v & kFFPreTransformed) {
    // Back-buffer pixels, y down; rhw restores perspective-correct interpolation.
    s += "  float w = a0.w != 0.0 ? 1.0 / a0.w : 1.0;\n"
         "  vec2 ndc = vec2((a0.x - ffScreen.x) * ffScreen.z - 1.0,\n"
         "                  1.0 - (a0.y - ffScreen.y) * ffScreen.w);\n"
         "  gl_Position = vec4(ndc * w, (2.0 * a0.z - 1.0) * w, w);\n";
  } else {
    s += "  vec4 c = ffWorldViewProj * vec4(a0.xyz, 1.0);\n"
         "  gl_Position = vec4(c.x, c.y, 2.0 * c.z - c.w, c.w);\n";
  }
  s += (v & kFFDiffuse) ? "  vec4 d = a2;\n" : "  vec4 d = vec4(1.0);\n";
  // Lighting with no light enabled and no ambient leaves only the alpha.
  if ((v & kFFLit) && !(v & kFFPreTransformed)) s += "  d = vec4(0.0, 0.0, 0.0, d.a);\n";
  s += "  vD0 = clamp(d, 0.0, 1.0);\n"
       "  vD1 = vec4(0.0);\n"
       "  vT0 = a6;\n"
       "  vT1 = vec4(0.0, 0.0, 0.0, 1.0); vT2 = vT1; vT3 = vT1; vT4 = vT1;\n"
       "  vT5 = vT1; vT6 = vT1; vT7 = vT1;\n"
       "}\n";
  return s;
}

std::string FixedFunctionPixelSource(uint32_t p) {
  std::string s =
      "#version 330 core\n"
      "in vec4 vD0;\nin vec4 vT0;\n"
      "layout(location = 0) out vec4 oC0;\n";
  if (p == kFFTexture2D) {
    s += "uniform sampler2D s0;\n"
         "void main() {\n"
         "  vec4 t = texture(s0, vT0.xy);\n"
         "  oC0 = vec4(t.rgb * vD0.rgb, t.a);\n"
         "}\n";
  } else if (p == kFFTextureCube) {
    s += "uniform samplerCube s0;\n"
         "void main() {\n"
         "  vec4 t = texture(s0, vT0.xyz);\n"
         "  oC0 = vec4(t.rgb * vD0.rgb, t.a);\n"
         "}\n";
  } else {
    s += "void main() { oC0 = vD0; }\n";
  }
  return s;
}

GLuint CompileShader(GLenum type, const std::string& source) {
  GLuint s = glCreateShader(type);
  const char* text = source.c_str();
  GLC(glShaderSource(s, 1, &text, nullptr));
  GLC(glCompileShader(s));
  GLint ok = 0;
  glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char info[2048] = {};
    glGetShaderInfoLog(s, sizeof info - 1, nullptr, info);
    Log("GLSL compile failed: %s\n%s", info, text);
    glDeleteShader(s);
    return 0;
  }
  return s;
}

struct Program {
  GLuint id = 0;
  uint32_t vsKey = 0, psKey = 0;
  GLint vc = -1, pc = -1, wvp = -1, screen = -1;
  uint64_t vcVersion = 0, pcVersion = 0, wvpVersion = 0, screenVersion = 0;
};

GLenum PrimitiveMode(D3DPRIMITIVETYPE t) {
  switch (t) {
    case D3DPT_POINTLIST: return GL_POINTS;
    case D3DPT_LINELIST: return GL_LINES;
    case D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case D3DPT_TRIANGLELIST: return GL_TRIANGLES;
    case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    default: return GL_TRIANGLE_FAN;
  }
}

GLenum BlendFactor(uint32_t b) {
  switch (b) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_ONE: return GL_ONE;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case 7: return GL_DST_ALPHA;             // D3DBLEND_DESTALPHA
    case 8: return GL_ONE_MINUS_DST_ALPHA;   // D3DBLEND_INVDESTALPHA
    case 9: return GL_DST_COLOR;             // D3DBLEND_DESTCOLOR
    case 10: return GL_ONE_MINUS_DST_COLOR;  // D3DBLEND_INVDESTCOLOR
    case 11: return GL_SRC_ALPHA_SATURATE;   // D3DBLEND_SRCALPHASAT
    default: return GL_ONE;
  }
}

GLenum CompareFunc(uint32_t c) {
  switch (c) {
    case D3DCMP_NEVER: return GL_NEVER;
    case D3DCMP_LESS: return GL_LESS;
    case D3DCMP_EQUAL: return GL_EQUAL;
    case D3DCMP_GREATER: return GL_GREATER;
    case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
    case D3DCMP_ALWAYS: return GL_ALWAYS;
    default: return GL_LEQUAL;
  }
}

GLint AddressMode(uint32_t a) {
  switch (a) {
    case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case 4: return GL_CLAMP_TO_BORDER;  // D3DTADDRESS_BORDER
    case 5: return GL_CLAMP_TO_EDGE;    // D3DTADDRESS_MIRRORONCE, nearest available
    default: return GL_REPEAT;
  }
}

GLint MinFilter(uint32_t min, uint32_t mip) {
  bool linear = min >= D3DTEXF_LINEAR;  // anisotropic counts as linear
  switch (mip) {
    case D3DTEXF_POINT: return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    case D3DTEXF_NONE: return linear ? GL_LINEAR : GL_NEAREST;
    default: return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
  }
}

GLenum CompressedFormat(D3DFORMAT f) {
  switch (f) {
    case D3DFMT_DXT1: return GL_COMPRESSED_RGBA_S3TC_DXT1_EXT;
    case D3DFMT_DXT3: return GL_COMPRESSED_RGBA_S3TC_DXT3_EXT;
    case D3DFMT_DXT5: return GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
    default: return 0;
  }
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
  D3DMATRIX r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      float s = 0.0f;
      for (int k = 0; k < 4; ++k) s += a.m[i][k] * b.m[k][j];
      r.m[i][j] = s;
    }
  return r;
}

struct VertexInput {
  GLuint buffer = 0;
  uintptr_t base = 0;
  uint32_t stride = 0;
  std::vector<D3DVERTEXELEMENT9> elements;
  bool valid = false;
};

// ---- the device ------------------------------------------------------------------

class GLDevice : public GpuDeviceBase {
 public:
  GLDevice(uint32_t w, uint32_t h, uint32_t samples)
      : GpuDeviceBase(w, h), width_(w), height_(h), samples_(samples) {}
  ~GLDevice() override;
  bool Init();

  HRESULT ResizeBackBuffer(uint32_t width, uint32_t height) override;
  HRESULT Present() override;
  HRESULT Clear(uint32_t flags, uint32_t colour, float z, uint32_t stencil) override;
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, uint32_t primitiveCount, const void* vertices,
                          uint32_t stride) override;
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int32_t baseVertexIndex, uint32_t minIndex,
                               uint32_t numVertices, uint32_t startIndex,
                               uint32_t primitiveCount) override;
  HRESULT CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, uint32_t pool,
                             IDirect3DVertexBuffer9** out) override;
  HRESULT CreateIndexBuffer(uint32_t length, uint32_t usage, D3DFORMAT format, uint32_t pool,
                            IDirect3DIndexBuffer9** out) override;
  HRESULT CreateVertexShader(const uint32_t* function, IDirect3DVertexShader9** out) override;
  HRESULT CreatePixelShader(const uint32_t* function, IDirect3DPixelShader9** out) override;
  HRESULT CreateTextureFromImage(const Image& image, IDirect3DTexture9** out) override;
  HRESULT CreateCubeTextureFromImage(const Image& image, IDirect3DCubeTexture9** out) override;

  void Forget(uint32_t key);
  void ForgetName(GLenum kind, GLuint id);
  bool ReadBack(std::vector<uint32_t>& argb);

  GLPresentFunction presentFn = nullptr;
  void* presentUser = nullptr;
  uint32_t programsLinked = 0;
  uint32_t uniformUploads = 0;
  uint32_t width_, height_;
  uint32_t samples_;  // of the multisampled back buffer; 0: a plain one

 private:
  // (Re)creates the back buffer of width_ x height_ (multisampled when
  // samples_ > 0, falling back to a plain one when the driver refuses) and
  // binds it for drawing.
  bool MakeBackBuffer();
  void DeleteBackBuffer();
  // The framebuffer drawing goes to.
  GLuint DrawFramebuffer() const { return samples_ ? msFbo_ : fbo_; }
  // A multisampled back buffer is resolved into fbo_ before it is shown or read.
  void Resolve();
  bool PrepareDraw(const std::vector<D3DVERTEXELEMENT9>& elements);
  Program* SelectProgram(const std::vector<D3DVERTEXELEMENT9>& elements);
  GLuint FixedVertexShader(uint32_t variant);
  GLuint FixedPixelShader(uint32_t variant);
  void ApplyRenderStates();
  void ApplyScissor();
  void ApplySamplers();
  void ApplyTextures();
  void ApplyViewport();
  void SetVertexInput(GLuint buffer, uintptr_t base, uint32_t stride,
                      const std::vector<D3DVERTEXELEMENT9>& elements);
  GLuint UploadTexture(const Image& image, bool cube);

  GLuint fbo_ = 0, colour_ = 0, depth_ = 0, vao_ = 0;
  GLuint msFbo_ = 0, msColour_ = 0, msDepth_ = 0;
  GLuint samplers_[kTextureStages] = {};
  uint32_t appliedSampler_[kTextureStages][kSamplerStateCount] = {};
  GLuint bound2D_[kTextureStages] = {}, boundCube_[kTextureStages] = {};
  GLuint black2D_ = 0, blackCube_ = 0;
  GLuint ffVertex_[8] = {}, ffPixel_[3] = {};
  std::unordered_map<uint64_t, Program> programs_;
  Program* current_ = nullptr;
  uint32_t nextShaderKey_ = kFirstShaderKey;
  bool s3tc_ = false;

  uint64_t vcVersion_ = 1, pcVersion_ = 1, wvpVersion_ = 1, screenVersion_ = 1;
  float wvp_[16];
  float screen_[4];

  GLuint ring_ = 0;
  uint32_t ringSize_ = 4u << 20, ringPos_ = 0;
  VertexInput input_;
  GLuint boundElements_ = 0;
};

void ForgetShader(GLDevice* device, uint32_t key) {
  if (device) device->Forget(key);
}

void ForgetObject(GLDevice* device, GLenum kind, GLuint id) {
  if (device) device->ForgetName(kind, id);
}

void GLDevice::ForgetName(GLenum kind, GLuint id) {
  if (kind == GL_ARRAY_BUFFER && input_.buffer == id) input_.valid = false;
  if (kind == GL_ELEMENT_ARRAY_BUFFER && boundElements_ == id) boundElements_ = 0;
  if (kind == GL_TEXTURE) {
    // Deleting a bound texture leaves texture 0 on its units.
    for (uint32_t i = 0; i < kTextureStages; ++i) {
      if (bound2D_[i] == id) bound2D_[i] = ~0u;
      if (boundCube_[i] == id) boundCube_[i] = ~0u;
    }
    dirty |= kDirtyTextures;
  }
}

bool GLDevice::Init() {
  s3tc_ = epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc");

  if (!MakeBackBuffer()) return false;

  GLC(glGenVertexArrays(1, &vao_));
  GLC(glBindVertexArray(vao_));
  // Inputs a layout does not supply read (0, 0, 0, 1).
  for (GLuint i = 0; i < 16; ++i) GLC(glVertexAttrib4f(i, 0.0f, 0.0f, 0.0f, 1.0f));

  GLC(glGenBuffers(1, &ring_));
  GLC(glBindBuffer(GL_ARRAY_BUFFER, ring_));
  GLC(glBufferData(GL_ARRAY_BUFFER, ringSize_, nullptr, GL_STREAM_DRAW));

  // Samplers follow Direct3D 9's defaults until the program sets its states.
  GLC(glGenSamplers(kTextureStages, samplers_));
  const GpuState& s = state();
  for (uint32_t i = 0; i < kTextureStages; ++i) {
    GLC(glSamplerParameteri(samplers_[i], GL_TEXTURE_MIN_FILTER, GL_NEAREST));
    GLC(glSamplerParameteri(samplers_[i], GL_TEXTURE_MAG_FILTER, GL_NEAREST));
    GLC(glSamplerParameteri(samplers_[i], GL_TEXTURE_WRAP_S, GL_REPEAT));
    GLC(glSamplerParameteri(samplers_[i], GL_TEXTURE_WRAP_T, GL_REPEAT));
    GLC(glSamplerParameteri(samplers_[i], GL_TEXTURE_WRAP_R, GL_REPEAT));
    GLC(glBindSampler(i, samplers_[i]));
    std::memcpy(appliedSampler_[i], s.samplerStates[i], sizeof appliedSampler_[i]);
  }

  // What an unbound sampler reads: (0, 0, 0, 1).
  const uint8_t black[4] = {0, 0, 0, 255};
  GLC(glGenTextures(1, &black2D_));
  GLC(glBindTexture(GL_TEXTURE_2D, black2D_));
  GLC(glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, black));
  GLC(glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0));
  GLC(glGenTextures(1, &blackCube_));
  GLC(glBindTexture(GL_TEXTURE_CUBE_MAP, blackCube_));
  for (int f = 0; f < 6; ++f)
    GLC(glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f, 0, GL_RGBA8, 1, 1, 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, black));
  GLC(glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAX_LEVEL, 0));
  for (uint32_t i = 0; i < kTextureStages; ++i) {
    GLC(glActiveTexture(GL_TEXTURE0 + i));
    GLC(glBindTexture(GL_TEXTURE_2D, black2D_));
    GLC(glBindTexture(GL_TEXTURE_CUBE_MAP, blackCube_));
    bound2D_[i] = black2D_;
    boundCube_[i] = blackCube_;
  }

  GLC(glPixelStorei(GL_UNPACK_ALIGNMENT, 1));
  GLC(glPixelStorei(GL_PACK_ALIGNMENT, 1));
  GLC(glDisable(GL_SCISSOR_TEST));
  dirty = kDirtyAll;
  ApplyRenderStates();
  ApplyViewport();
  return true;
}

GLDevice::~GLDevice() {
  // Bound resources die first, while the programs they belong to still exist.
  ResetState();
  for (auto& p : programs_) glDeleteProgram(p.second.id);
  programs_.clear();
  for (GLuint s : ffVertex_)
    if (s) glDeleteShader(s);
  for (GLuint s : ffPixel_)
    if (s) glDeleteShader(s);
  glDeleteSamplers(kTextureStages, samplers_);
  glDeleteTextures(1, &black2D_);
  glDeleteTextures(1, &blackCube_);
  glDeleteBuffers(1, &ring_);
  glDeleteVertexArrays(1, &vao_);
  DeleteBackBuffer();
  CheckGL("device release", __FILE__, __LINE__);
}

void GLDevice::DeleteBackBuffer() {
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &fbo_);
  glDeleteRenderbuffers(1, &depth_);
  glDeleteTextures(1, &colour_);
  glDeleteFramebuffers(1, &msFbo_);
  glDeleteRenderbuffers(1, &msColour_);
  glDeleteRenderbuffers(1, &msDepth_);
  fbo_ = colour_ = depth_ = msFbo_ = msColour_ = msDepth_ = 0;
}

bool GLDevice::MakeBackBuffer() {
  // The back buffer, with the depth-stencil buffer the device was asked for.
  GLC(glGenTextures(1, &colour_));
  GLC(glBindTexture(GL_TEXTURE_2D, colour_));
  GLC(glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width_, height_, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                   nullptr));
  GLC(glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0));
  GLC(glGenRenderbuffers(1, &depth_));
  GLC(glBindRenderbuffer(GL_RENDERBUFFER, depth_));
  GLC(glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width_, height_));
  GLC(glGenFramebuffers(1, &fbo_));
  GLC(glBindFramebuffer(GL_FRAMEBUFFER, fbo_));
  GLC(glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour_, 0));
  GLC(glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                depth_));
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;
  // The texture binding above went behind the device's back.
  for (uint32_t i = 0; i < kTextureStages; ++i) bound2D_[i] = ~0u;
  dirty |= kDirtyTextures;
  if (samples_ == 0) return true;

  // Multisampled colour and depth drawn into, resolved into the plain
  // back buffer. A driver that offers fewer samples refuses the lot.
  GLint most = 0;
  glGetIntegerv(GL_MAX_SAMPLES, &most);
  while (glGetError() != GL_NO_ERROR) {
  }
  bool ok = GLint(samples_) <= most;
  if (ok) {
    glGenRenderbuffers(1, &msColour_);
    glBindRenderbuffer(GL_RENDERBUFFER, msColour_);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, GLsizei(samples_), GL_RGBA8, width_, height_);
    glGenRenderbuffers(1, &msDepth_);
    glBindRenderbuffer(GL_RENDERBUFFER, msDepth_);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, GLsizei(samples_), GL_DEPTH24_STENCIL8, width_,
                                     height_);
    glGenFramebuffers(1, &msFbo_);
    glBindFramebuffer(GL_FRAMEBUFFER, msFbo_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, msColour_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, msDepth_);
    ok = glGetError() == GL_NO_ERROR && glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    while (glGetError() != GL_NO_ERROR) {
    }
  }
  if (!ok) {
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    glDeleteFramebuffers(1, &msFbo_);
    glDeleteRenderbuffers(1, &msColour_);
    glDeleteRenderbuffers(1, &msDepth_);
    msFbo_ = msColour_ = msDepth_ = 0;
    samples_ = 0;
  }
  return true;
}

HRESULT GLDevice::ResizeBackBuffer(uint32_t width, uint32_t height) {
  HRESULT hr = GpuDeviceBase::ResizeBackBuffer(width, height);
  if (FAILED(hr)) return hr;
  if (width == width_ && height == height_) return D3D_OK;
  DeleteBackBuffer();
  width_ = width;
  height_ = height;
  if (!MakeBackBuffer()) return D3DERR_OUTOFVIDEOMEMORY;
  ApplyScissor();
  return D3D_OK;
}

void GLDevice::Resolve() {
  if (!samples_) return;
  GLC(glDisable(GL_SCISSOR_TEST));
  GLC(glBindFramebuffer(GL_READ_FRAMEBUFFER, msFbo_));
  GLC(glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo_));
  GLC(glBlitFramebuffer(0, 0, width_, height_, 0, 0, width_, height_, GL_COLOR_BUFFER_BIT, GL_NEAREST));
  GLC(glBindFramebuffer(GL_FRAMEBUFFER, msFbo_));
  ApplyScissor();
}

void GLDevice::Forget(uint32_t key) {
  for (auto it = programs_.begin(); it != programs_.end();) {
    if (it->second.vsKey == key || it->second.psKey == key) {
      if (current_ == &it->second) {
        current_ = nullptr;
        glUseProgram(0);
      }
      glDeleteProgram(it->second.id);
      it = programs_.erase(it);
    } else {
      ++it;
    }
  }
}

// ---- state application ------------------------------------------------------------

void GLDevice::ApplyRenderStates() {
  const GpuState& s = state();
  if (s.renderState(D3DRS_ZENABLE) != D3DZB_FALSE) GLC(glEnable(GL_DEPTH_TEST));
  else GLC(glDisable(GL_DEPTH_TEST));
  GLC(glDepthMask(s.renderState(D3DRS_ZWRITEENABLE) ? GL_TRUE : GL_FALSE));
  GLC(glDepthFunc(CompareFunc(s.renderState(D3DRS_ZFUNC))));
  // Drawing unflipped, what is clockwise on screen is clockwise in GL's
  // window coordinates: D3DCULL_CW drops GL's back faces.
  switch (s.renderState(D3DRS_CULLMODE)) {
    case D3DCULL_NONE: GLC(glDisable(GL_CULL_FACE)); break;
    case D3DCULL_CW:
      GLC(glEnable(GL_CULL_FACE));
      GLC(glFrontFace(GL_CCW));
      GLC(glCullFace(GL_BACK));
      break;
    default:
      GLC(glEnable(GL_CULL_FACE));
      GLC(glFrontFace(GL_CCW));
      GLC(glCullFace(GL_FRONT));
      break;
  }
  if (s.renderState(D3DRS_ALPHABLENDENABLE)) GLC(glEnable(GL_BLEND));
  else GLC(glDisable(GL_BLEND));
  GLC(glBlendFunc(BlendFactor(s.renderState(D3DRS_SRCBLEND)),
                  BlendFactor(s.renderState(D3DRS_DESTBLEND))));
  ApplyScissor();
}

void GLDevice::ApplyScissor() {
  const GpuState& s = state();
  if (!s.renderState(D3DRS_SCISSORTESTENABLE)) {
    GLC(glDisable(GL_SCISSOR_TEST));
    return;
  }
  // Direct3D counts rows from the top, GL from the bottom.
  const D3DSCISSORRECT& r = s.scissor;
  GLC(glEnable(GL_SCISSOR_TEST));
  GLC(glScissor(GLint(r.left), GLint(height_) - GLint(r.bottom), GLsizei(r.right - r.left),
                GLsizei(r.bottom - r.top)));
}

void GLDevice::ApplySamplers() {
  const GpuState& s = state();
  for (uint32_t i = 0; i < kTextureStages; ++i) {
    const uint32_t* want = s.samplerStates[i];
    uint32_t* have = appliedSampler_[i];
    if (std::memcmp(want, have, sizeof appliedSampler_[i]) == 0) continue;
    GLuint sm = samplers_[i];
    if (want[D3DSAMP_MINFILTER] != have[D3DSAMP_MINFILTER] ||
        want[D3DSAMP_MIPFILTER] != have[D3DSAMP_MIPFILTER])
      GLC(glSamplerParameteri(sm, GL_TEXTURE_MIN_FILTER,
                              MinFilter(want[D3DSAMP_MINFILTER], want[D3DSAMP_MIPFILTER])));
    if (want[D3DSAMP_MAGFILTER] != have[D3DSAMP_MAGFILTER])
      GLC(glSamplerParameteri(sm, GL_TEXTURE_MAG_FILTER,
                              want[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST));
    if (want[D3DSAMP_ADDRESSU] != have[D3DSAMP_ADDRESSU])
      GLC(glSamplerParameteri(sm, GL_TEXTURE_WRAP_S, AddressMode(want[D3DSAMP_ADDRESSU])));
    if (want[D3DSAMP_ADDRESSV] != have[D3DSAMP_ADDRESSV])
      GLC(glSamplerParameteri(sm, GL_TEXTURE_WRAP_T, AddressMode(want[D3DSAMP_ADDRESSV])));
    if (want[D3DSAMP_ADDRESSW] != have[D3DSAMP_ADDRESSW])
      GLC(glSamplerParameteri(sm, GL_TEXTURE_WRAP_R, AddressMode(want[D3DSAMP_ADDRESSW])));
    if (want[D3DSAMP_MIPMAPLODBIAS] != have[D3DSAMP_MIPMAPLODBIAS]) {
      float bias;
      std::memcpy(&bias, &want[D3DSAMP_MIPMAPLODBIAS], 4);
      GLC(glSamplerParameterf(sm, GL_TEXTURE_LOD_BIAS, bias));
    }
    std::memcpy(have, want, sizeof appliedSampler_[i]);
  }
}

void GLDevice::ApplyTextures() {
  const GpuState& s = state();
  for (uint32_t i = 0; i < kTextureStages; ++i) {
    IDirect3DBaseTexture9* t = s.textures[i].get();
    bool cube = t && t->GetType() == D3DRTYPE_CUBETEXTURE;
    GLuint want2D = t && !cube ? TextureId(t) : black2D_;
    GLuint wantCube = cube ? TextureId(t) : blackCube_;
    if (want2D != bound2D_[i]) {
      GLC(glActiveTexture(GL_TEXTURE0 + i));
      GLC(glBindTexture(GL_TEXTURE_2D, want2D));
      bound2D_[i] = want2D;
    }
    if (wantCube != boundCube_[i]) {
      GLC(glActiveTexture(GL_TEXTURE0 + i));
      GLC(glBindTexture(GL_TEXTURE_CUBE_MAP, wantCube));
      boundCube_[i] = wantCube;
    }
  }
}

void GLDevice::ApplyViewport() {
  const D3DVIEWPORT9& vp = state().viewport;
  // Direct3D counts rows from the top, GL from the bottom.
  GLC(glViewport(GLint(vp.X), GLint(height_) - GLint(vp.Y) - GLint(vp.Height), GLsizei(vp.Width),
                 GLsizei(vp.Height)));
  GLC(glDepthRange(vp.MinZ, vp.MaxZ));
  screen_[0] = float(vp.X) - kPixelCentreShift;
  screen_[1] = float(vp.Y) - kPixelCentreShift;
  screen_[2] = vp.Width ? 2.0f / float(vp.Width) : 0.0f;
  screen_[3] = vp.Height ? 2.0f / float(vp.Height) : 0.0f;
  ++screenVersion_;
}

GLuint GLDevice::FixedVertexShader(uint32_t v) {
  if (!ffVertex_[v]) ffVertex_[v] = CompileShader(GL_VERTEX_SHADER, FixedFunctionVertexSource(v));
  return ffVertex_[v];
}

GLuint GLDevice::FixedPixelShader(uint32_t p) {
  if (!ffPixel_[p]) ffPixel_[p] = CompileShader(GL_FRAGMENT_SHADER, FixedFunctionPixelSource(p));
  return ffPixel_[p];
}

Program* GLDevice::SelectProgram(const std::vector<D3DVERTEXELEMENT9>& elements) {
  const GpuState& s = state();
  uint32_t vsKey, psKey;
  GLuint vs, ps;
  if (s.vertexShader) {
    auto* v = static_cast<GLVertexShader*>(s.vertexShader.get());
    vsKey = v->key;
    vs = v->shader;
  } else {
    uint32_t variant = 0;
    for (const auto& e : elements) {
      if (e.Usage == D3DDECLUSAGE_POSITIONT) variant |= kFFPreTransformed;
      if (e.Usage == D3DDECLUSAGE_COLOR && e.UsageIndex == 0) variant |= kFFDiffuse;
    }
    if (s.renderState(D3DRS_LIGHTING) && !(variant & kFFPreTransformed)) variant |= kFFLit;
    vsKey = variant;
    vs = FixedVertexShader(variant);
  }
  if (s.pixelShader) {
    auto* p = static_cast<GLPixelShader*>(s.pixelShader.get());
    psKey = p->key;
    ps = p->shader;
  } else {
    IDirect3DBaseTexture9* t = s.textures[0].get();
    uint32_t variant = !t ? kFFNoTexture
                          : t->GetType() == D3DRTYPE_CUBETEXTURE ? kFFTextureCube : kFFTexture2D;
    psKey = 8 + variant;
    ps = FixedPixelShader(variant);
  }
  uint64_t key = (uint64_t(vsKey) << 32) | psKey;
  auto it = programs_.find(key);
  if (it != programs_.end()) return it->second.id ? &it->second : nullptr;

  Program p;
  p.vsKey = vsKey;
  p.psKey = psKey;
  if (vs && ps) {
    GLuint id = glCreateProgram();
    GLC(glAttachShader(id, vs));
    GLC(glAttachShader(id, ps));
    GLC(glLinkProgram(id));
    GLint ok = 0;
    glGetProgramiv(id, GL_LINK_STATUS, &ok);
    ++programsLinked;
    if (!ok) {
      char info[2048] = {};
      glGetProgramInfoLog(id, sizeof info - 1, nullptr, info);
      Log("GLSL link failed: %s\n", info);
      glDeleteProgram(id);
    } else {
      p.id = id;
      GLC(glUseProgram(id));
      p.vc = glGetUniformLocation(id, "vc");
      p.pc = glGetUniformLocation(id, "pc");
      p.wvp = glGetUniformLocation(id, "ffWorldViewProj");
      p.screen = glGetUniformLocation(id, "ffScreen");
      // Every sampler on its own unit: s<N> reads stage N.
      for (int i = 0; i < 16; ++i) {
        std::string name = "s" + std::to_string(i);
        GLint loc = glGetUniformLocation(id, name.c_str());
        if (loc >= 0) GLC(glUniform1i(loc, i));
      }
      current_ = nullptr;  // force glUseProgram below to re-select
    }
  }
  // A failed pair is remembered too, so it is not linked again every draw.
  Program& stored = programs_[key] = p;
  return stored.id ? &stored : nullptr;
}

bool GLDevice::PrepareDraw(const std::vector<D3DVERTEXELEMENT9>& elements) {
  if (dirty & kDirtyRenderStates) ApplyRenderStates();
  if (dirty & kDirtySamplers) ApplySamplers();
  if (dirty & kDirtyTextures) ApplyTextures();
  if (dirty & kDirtyViewport) ApplyViewport();
  if (dirty & kDirtyVertexConstants) ++vcVersion_;
  if (dirty & kDirtyPixelConstants) ++pcVersion_;
  if (dirty & kDirtyTransforms) {
    const GpuState& s = state();
    D3DMATRIX m = Multiply(Multiply(s.world, s.view), s.projection);
    // Row vectors times a row-major matrix: GL's column-major upload of the
    // same sixteen floats gives exactly p * M with M * p in GLSL.
    std::memcpy(wvp_, &m.m[0][0], sizeof wvp_);
    ++wvpVersion_;
  }
  dirty = 0;

  Program* p = SelectProgram(elements);
  if (!p) return false;
  if (p != current_) {
    GLC(glUseProgram(p->id));
    current_ = p;
  }
  const GpuState& s = state();
  if (p->vc >= 0 && p->vcVersion != vcVersion_) {
    GLC(glUniform4fv(p->vc, kVertexConstants, &s.vertexConstants[0][0]));
    p->vcVersion = vcVersion_;
    ++uniformUploads;
  }
  if (p->pc >= 0 && p->pcVersion != pcVersion_) {
    GLC(glUniform4fv(p->pc, kPixelConstants, &s.pixelConstants[0][0]));
    p->pcVersion = pcVersion_;
    ++uniformUploads;
  }
  if (p->wvp >= 0 && p->wvpVersion != wvpVersion_) {
    GLC(glUniformMatrix4fv(p->wvp, 1, GL_FALSE, wvp_));
    p->wvpVersion = wvpVersion_;
    ++uniformUploads;
  }
  if (p->screen >= 0 && p->screenVersion != screenVersion_) {
    GLC(glUniform4fv(p->screen, 1, screen_));
    p->screenVersion = screenVersion_;
    ++uniformUploads;
  }
  return true;
}

void GLDevice::SetVertexInput(GLuint buffer, uintptr_t base, uint32_t stride,
                              const std::vector<D3DVERTEXELEMENT9>& elements) {
  if (input_.valid && input_.buffer == buffer && input_.base == base && input_.stride == stride &&
      input_.elements.size() == elements.size() &&
      std::memcmp(input_.elements.data(), elements.data(),
                  elements.size() * sizeof(D3DVERTEXELEMENT9)) == 0)
    return;
  GLC(glBindBuffer(GL_ARRAY_BUFFER, buffer));
  bool used[16] = {};
  for (const auto& e : elements) {
    int loc = AttributeLocation(e.Usage, e.UsageIndex);
    if (loc < 0 || loc >= 16 || used[loc]) continue;
    used[loc] = true;
    const void* at = reinterpret_cast<const void*>(base + e.Offset);
    if (e.Type == D3DDECLTYPE_D3DCOLOR) {
      // Packed ARGB is bytes B, G, R, A in memory.
      GLC(glVertexAttribPointer(loc, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, at));
    } else {
      GLC(glVertexAttribPointer(loc, GLint(DeclTypeSize(e.Type) / 4), GL_FLOAT, GL_FALSE, stride,
                                at));
    }
    GLC(glEnableVertexAttribArray(loc));
  }
  for (int i = 0; i < 16; ++i)
    if (!used[i]) GLC(glDisableVertexAttribArray(i));
  input_.buffer = buffer;
  input_.base = base;
  input_.stride = stride;
  input_.elements = elements;
  input_.valid = true;
}

// ---- frame ---------------------------------------------------------------------------

HRESULT GLDevice::Present() {
  if (inScene()) return D3DERR_INVALIDCALL;
  Resolve();
  GLC(glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_));
  GLC(glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0));
  GLC(glBlitFramebuffer(0, 0, width_, height_, 0, 0, width_, height_, GL_COLOR_BUFFER_BIT,
                        GL_NEAREST));
  GLC(glBindFramebuffer(GL_FRAMEBUFFER, DrawFramebuffer()));
  CheckGL("Present", __FILE__, __LINE__);
  if (presentFn) presentFn(presentUser);
  return D3D_OK;
}

HRESULT GLDevice::Clear(uint32_t flags, uint32_t colour, float z, uint32_t stencil) {
  if (flags == 0 || (flags & ~uint32_t(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) ||
      z < 0.0f || z > 1.0f)
    return D3DERR_INVALIDCALL;
  if (dirty & kDirtyViewport) {
    ApplyViewport();
    dirty &= ~uint32_t(kDirtyViewport);
  }
  // Direct3D clears the viewport whatever the write masks say.
  const D3DVIEWPORT9& vp = state().viewport;
  GLC(glEnable(GL_SCISSOR_TEST));
  GLC(glScissor(GLint(vp.X), GLint(height_) - GLint(vp.Y) - GLint(vp.Height), GLsizei(vp.Width),
                GLsizei(vp.Height)));
  GLbitfield mask = 0;
  if (flags & D3DCLEAR_TARGET) {
    GLC(glClearColor(float((colour >> 16) & 0xFF) / 255.0f, float((colour >> 8) & 0xFF) / 255.0f,
                     float(colour & 0xFF) / 255.0f, float(colour >> 24) / 255.0f));
    mask |= GL_COLOR_BUFFER_BIT;
  }
  if (flags & D3DCLEAR_ZBUFFER) {
    GLC(glDepthMask(GL_TRUE));
    GLC(glClearDepth(z));
    mask |= GL_DEPTH_BUFFER_BIT;
  }
  if (flags & D3DCLEAR_STENCIL) {
    GLC(glStencilMask(0xFF));
    GLC(glClearStencil(GLint(stencil & 0xFF)));
    mask |= GL_STENCIL_BUFFER_BIT;
  }
  GLC(glClear(mask));
  ApplyScissor();
  GLC(glDepthMask(state().renderState(D3DRS_ZWRITEENABLE) ? GL_TRUE : GL_FALSE));
  return D3D_OK;
}

HRESULT GLDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, uint32_t primitiveCount,
                                  const void* vertices, uint32_t stride) {
  HRESULT hr = CheckDrawUP(type, primitiveCount, vertices, stride);
  if (hr != D3D_OK) return hr == S_FALSE_ ? D3D_OK : hr;
  std::vector<D3DVERTEXELEMENT9> elements = state().vertexElements();
  if (!PrepareDraw(elements)) return D3DERR_INVALIDCALL;

  uint32_t count = VertexCountFor(type, primitiveCount);
  uint64_t need64 = uint64_t(count) * stride;
  if (need64 > (1u << 30)) return D3DERR_INVALIDCALL;
  uint32_t need = uint32_t(need64);
  GLC(glBindBuffer(GL_ARRAY_BUFFER, ring_));
  // Streaming: append to the ring without waiting for earlier draws; when it
  // is full, orphan the store and start again at the front.
  uint32_t at = (ringPos_ + stride - 1) / stride * stride;
  if (need > ringSize_) {
    while (ringSize_ < need) ringSize_ *= 2;
    GLC(glBufferData(GL_ARRAY_BUFFER, ringSize_, nullptr, GL_STREAM_DRAW));
    at = 0;
  } else if (uint64_t(at) + need > ringSize_) {
    GLC(glBufferData(GL_ARRAY_BUFFER, ringSize_, nullptr, GL_STREAM_DRAW));
    at = 0;
  }
  void* dst = glMapBufferRange(GL_ARRAY_BUFFER, at, need,
                               GL_MAP_WRITE_BIT | GL_MAP_UNSYNCHRONIZED_BIT |
                                   GL_MAP_INVALIDATE_RANGE_BIT);
  if (!dst) {
    CheckGL("glMapBufferRange", __FILE__, __LINE__);
    return D3DERR_INVALIDCALL;
  }
  std::memcpy(dst, vertices, need);
  GLC(glUnmapBuffer(GL_ARRAY_BUFFER));
  ringPos_ = at + need;

  // The attribute pointers start at the ring's front; the draw's first vertex
  // says where this batch begins, so they rarely need to change.
  SetVertexInput(ring_, 0, stride, elements);
  GLC(glDrawArrays(PrimitiveMode(type), GLint(at / stride), GLsizei(count)));
  ResetStreamAfterDrawUP();
  return D3D_OK;
}

HRESULT GLDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int32_t baseVertexIndex,
                                       uint32_t /*minIndex*/, uint32_t /*numVertices*/,
                                       uint32_t startIndex, uint32_t primitiveCount) {
  HRESULT hr = CheckDrawIndexed(type, baseVertexIndex, startIndex, primitiveCount);
  if (hr != D3D_OK) return hr == S_FALSE_ ? D3D_OK : hr;
  std::vector<D3DVERTEXELEMENT9> elements = state().vertexElements();
  if (!PrepareDraw(elements)) return D3DERR_INVALIDCALL;
  const GpuState& s = state();
  auto* vb = static_cast<GLVertexBuffer*>(s.streamBuffer.get());
  auto* ib = static_cast<GLIndexBuffer*>(s.indices.get());
  SetVertexInput(vb->id, s.streamOffset, s.streamStride, elements);
  if (boundElements_ != ib->id) {
    GLC(glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ib->id));
    boundElements_ = ib->id;
  }
  GLC(glDrawElementsBaseVertex(PrimitiveMode(type), GLsizei(VertexCountFor(type, primitiveCount)),
                               GL_UNSIGNED_INT,
                               reinterpret_cast<const void*>(uintptr_t(startIndex) * 4),
                               baseVertexIndex));
  return D3D_OK;
}

// ---- resources ---------------------------------------------------------------------

HRESULT GLDevice::CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, uint32_t,
                                     IDirect3DVertexBuffer9** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (length == 0) return D3DERR_INVALIDCALL;
  *out = new GLVertexBuffer(this, this, length, fvf, (usage & 0x200) != 0);  // D3DUSAGE_DYNAMIC
  return D3D_OK;
}

HRESULT GLDevice::CreateIndexBuffer(uint32_t length, uint32_t, D3DFORMAT format, uint32_t,
                                    IDirect3DIndexBuffer9** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (length == 0 || format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
  // The element binding belongs to the vertex array: upload elsewhere.
  *out = new GLIndexBuffer(this, this, length);
  return D3D_OK;
}

HRESULT GLDevice::CreateVertexShader(const uint32_t* function, IDirect3DVertexShader9** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  std::vector<uint32_t> tokens;
  ShaderProgram program;
  if (!ReadShaderTokens(function, ShaderKind::Vertex, tokens, program)) return D3DERR_INVALIDCALL;
  GLuint s = CompileShader(GL_VERTEX_SHADER, TranslateToGLSL(program));
  if (!s) return D3DERR_INVALIDCALL;
  *out = new GLVertexShader(this, std::move(tokens), std::move(program), s, nextShaderKey_++, this);
  return D3D_OK;
}

HRESULT GLDevice::CreatePixelShader(const uint32_t* function, IDirect3DPixelShader9** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  std::vector<uint32_t> tokens;
  ShaderProgram program;
  if (!ReadShaderTokens(function, ShaderKind::Pixel, tokens, program)) return D3DERR_INVALIDCALL;
  GLuint s = CompileShader(GL_FRAGMENT_SHADER, TranslateToGLSL(program));
  if (!s) return D3DERR_INVALIDCALL;
  *out = new GLPixelShader(this, std::move(tokens), std::move(program), s, nextShaderKey_++, this);
  return D3D_OK;
}

GLuint GLDevice::UploadTexture(const Image& image, bool cube) {
  GLenum target = cube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
  GLuint id = 0;
  GLC(glGenTextures(1, &id));
  GLC(glActiveTexture(GL_TEXTURE0));
  GLC(glBindTexture(target, id));
  GLenum compressed = CompressedFormat(image.format);
  for (size_t f = 0; f < image.faces.size(); ++f) {
    GLenum faceTarget = cube ? GLenum(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f) : GL_TEXTURE_2D;
    for (size_t l = 0; l < image.faces[f].size(); ++l) {
      const ImageLevel& lv = image.faces[f][l];
      if (compressed && s3tc_) {
        GLC(glCompressedTexImage2D(faceTarget, GLint(l), compressed, lv.width, lv.height, 0,
                                   GLsizei(lv.bytes.size()), lv.bytes.data()));
      } else if (compressed) {
        ImageLevel expanded;
        DecompressDXT(image.format, lv, expanded);
        GLC(glTexImage2D(faceTarget, GLint(l), GL_RGBA8, lv.width, lv.height, 0, GL_BGRA,
                         GL_UNSIGNED_BYTE, expanded.bytes.data()));
      } else {
        GLC(glTexImage2D(faceTarget, GLint(l), GL_RGBA8, lv.width, lv.height, 0, GL_BGRA,
                         GL_UNSIGNED_BYTE, lv.bytes.data()));
      }
    }
  }
  // Sampling stays within the levels the image has, so the texture is
  // complete with any mip filter.
  GLC(glTexParameteri(target, GL_TEXTURE_BASE_LEVEL, 0));
  GLC(glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, GLint(image.levels()) - 1));
  // Unit 0 now holds the new texture: what the stages need is bound again
  // before the next draw.
  (cube ? boundCube_[0] : bound2D_[0]) = ~0u;
  dirty |= kDirtyTextures;
  return id;
}

HRESULT GLDevice::CreateTextureFromImage(const Image& image, IDirect3DTexture9** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (!ValidTextureImage(image, false)) return D3DERR_INVALIDCALL;
  GLuint id = UploadTexture(image, false);
  *out = new GLTexture2D(this, this, id, image.width(), image.height(), image.levels());
  return D3D_OK;
}

HRESULT GLDevice::CreateCubeTextureFromImage(const Image& image, IDirect3DCubeTexture9** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (!ValidTextureImage(image, true)) return D3DERR_INVALIDCALL;
  GLuint id = UploadTexture(image, true);
  *out = new GLTextureCube(this, this, id, image.width(), image.height(), image.levels());
  return D3D_OK;
}

bool GLDevice::ReadBack(std::vector<uint32_t>& argb) {
  std::vector<uint8_t> rgba(size_t(width_) * height_ * 4);
  Resolve();
  GLC(glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_));
  GLC(glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data()));
  if (samples_) GLC(glBindFramebuffer(GL_FRAMEBUFFER, msFbo_));
  CheckGL("read-back", __FILE__, __LINE__);
  argb.resize(size_t(width_) * height_);
  for (uint32_t y = 0; y < height_; ++y) {
    const uint8_t* row = rgba.data() + size_t(height_ - 1 - y) * width_ * 4;  // GL: bottom first
    for (uint32_t x = 0; x < width_; ++x) {
      const uint8_t* p = row + size_t(x) * 4;
      argb[size_t(y) * width_ + x] = D3DCOLOR_ARGB(p[3], p[0], p[1], p[2]);
    }
  }
  return true;
}

GLDevice* AsGL(IDirect3DDevice9* d) { return dynamic_cast<GLDevice*>(d); }

}  // namespace

HRESULT CreateGLDevice(int width, int height, IDirect3DDevice9** out, int samples) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return D3DERR_INVALIDCALL;
  // epoxy reports the current context's version; 0 means none is current.
  if (epoxy_gl_version() < 33 || epoxy_is_desktop_gl() == 0) return D3DERR_NOTAVAILABLE;
  auto* d = new GLDevice(uint32_t(width), uint32_t(height), samples > 1 ? uint32_t(samples) : 0);
  if (!d->Init()) {
    d->Release();
    return D3DERR_NOTAVAILABLE;
  }
  *out = d;
  return D3D_OK;
}

void SetGLPresentFunction(IDirect3DDevice9* device, GLPresentFunction fn, void* user) {
  if (GLDevice* d = AsGL(device)) {
    d->presentFn = fn;
    d->presentUser = user;
  }
}

bool ReadGLBackBuffer(IDirect3DDevice9* device, std::vector<uint32_t>& argb, uint32_t* width,
                      uint32_t* height) {
  GLDevice* d = AsGL(device);
  if (!d) return false;
  if (width) *width = d->width_;
  if (height) *height = d->height_;
  return d->ReadBack(argb);
}

uint32_t GLErrorCount() { return gErrorCount; }

int GLDeviceSamples(IDirect3DDevice9* device) {
  GLDevice* d = AsGL(device);
  return d ? int(d->samples_) : 0;
}

uint32_t GLUniformUploads(IDirect3DDevice9* device) {
  GLDevice* d = AsGL(device);
  return d ? d->uniformUploads : 0;
}

uint32_t GLProgramsLinked(IDirect3DDevice9* device) {
  GLDevice* d = AsGL(device);
  return d ? d->programsLinked : 0;
}
