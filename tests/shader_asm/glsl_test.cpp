// The GLSL the assembler emits: the linkage the GL device relies on, and,
// when an X display is at hand, that every emitted shader compiles and links
// on the GL driver and computes what the interpreter computes.
#include <SDL.h>
#include <epoxy/gl.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/shader_asm/asm_test_util.h"

namespace {

bool Contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

TEST(ShaderAsmGlsl, LinkageConventions) {
  std::string vs = TranslateToGLSL(MustAssemble(
      "vs_1_1\ndef c40, 1, 2, 3, 4\nm4x4 oPos, v0, c0\nmov oD0, v5\nmov oT0, v7\nadd oT1, v3, c[a0.x + 40]\n"
      "mov r0, v2\nmov oPts, c40.x\n"));
  EXPECT_EQ(vs.compare(0, 18, "#version 330 core\n"), 0);
  EXPECT_TRUE(Contains(vs, "uniform vec4 vc[256];"));
  EXPECT_TRUE(Contains(vs, "layout(location = 0) in vec4 v0;"));
  EXPECT_TRUE(Contains(vs, "layout(location = 2) in vec4 v5;"));
  EXPECT_TRUE(Contains(vs, "layout(location = 6) in vec4 v7;"));
  EXPECT_TRUE(Contains(vs, "layout(location = 1) in vec4 v3;"));
  EXPECT_TRUE(Contains(vs, "const vec4 v2 = vec4(0.0, 0.0, 0.0, 1.0);"));  // no attribute for v2
  EXPECT_TRUE(Contains(vs, "out vec4 vD0;"));
  EXPECT_TRUE(Contains(vs, "out vec4 vD1;"));
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(Contains(vs, "out vec4 vT" + std::to_string(i) + ";"));
  EXPECT_TRUE(Contains(vs, "gl_Position = vec4(oPos.x, oPos.y, 2.0 * oPos.z - oPos.w, oPos.w);"));
  EXPECT_TRUE(Contains(vs, "vD0 = sat_(oD0);"));
  EXPECT_TRUE(Contains(vs, "if (i == 40) return k40;"));
  EXPECT_TRUE(Contains(vs, "gl_PointSize = oPts.x;"));

  std::string ps = TranslateToGLSL(MustAssemble(
      "ps_2_0\ndcl v0\ndcl t3.xy\ndcl_2d s0\ndcl_cube s7\ntexld r0, t3, s0\ntexld r1, t3, s7\n"
      "mad r0, r0, r1, v0\nmad oC0, r0, c31, c2\n"));
  EXPECT_TRUE(Contains(ps, "uniform vec4 pc[32];"));
  EXPECT_TRUE(Contains(ps, "uniform sampler2D s0;"));
  EXPECT_TRUE(Contains(ps, "uniform samplerCube s7;"));
  EXPECT_TRUE(Contains(ps, "in vec4 vD0;"));
  EXPECT_TRUE(Contains(ps, "in vec4 vT3;"));
  EXPECT_TRUE(Contains(ps, "layout(location = 0) out vec4 oC0;"));
  EXPECT_TRUE(Contains(ps, "texture(s7, (vT3).xyz)"));
  EXPECT_TRUE(Contains(ps, "pc[31]"));
  EXPECT_FALSE(Contains(ps, "gl_FragDepth"));
  EXPECT_TRUE(Contains(TranslateToGLSL(MustAssemble("ps_2_0\nmov oDepth, c0.x\n")), "gl_FragDepth = oDepth.x;"));
  // A program that would index past its arrays gives no text at all.
  ShaderProgram bad = MustAssemble("vs_2_0\nmov oT0, c0\n");
  bad.code[0].dst.index = 9;
  EXPECT_EQ(TranslateToGLSL(bad), "");
}

// ---- With a GL context ------------------------------------------------------

class GlContext {
 public:
  bool Open(std::string& why) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
      why = "no X display";
      return false;
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
      why = SDL_GetError();
      return false;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    window_ = SDL_CreateWindow("shader_asm", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window_) {
      why = SDL_GetError();
      return false;
    }
    context_ = SDL_GL_CreateContext(window_);
    if (!context_) {
      why = SDL_GetError();
      return false;
    }
    return true;
  }
  ~GlContext() {
    if (context_) SDL_GL_DeleteContext(context_);
    if (window_) SDL_DestroyWindow(window_);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

 private:
  SDL_Window* window_ = nullptr;
  SDL_GLContext context_ = nullptr;
};

GLuint Compile(GLenum type, const std::string& source, std::string& log) {
  GLuint s = glCreateShader(type);
  const char* text = source.c_str();
  glShaderSource(s, 1, &text, nullptr);
  glCompileShader(s);
  GLint ok = 0;
  glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char buf[4096] = {};
    glGetShaderInfoLog(s, sizeof buf, nullptr, buf);
    log = buf;
    glDeleteShader(s);
    return 0;
  }
  return s;
}

GLuint Link(GLuint vs, GLuint ps, std::string& log) {
  GLuint p = glCreateProgram();
  glAttachShader(p, vs);
  glAttachShader(p, ps);
  glLinkProgram(p);
  GLint ok = 0;
  glGetProgramiv(p, GL_LINK_STATUS, &ok);
  if (!ok) {
    char buf[4096] = {};
    glGetProgramInfoLog(p, sizeof buf, nullptr, buf);
    log = buf;
    glDeleteProgram(p);
    return 0;
  }
  return p;
}

class ShaderAsmGl : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!gl_.Open(why)) GTEST_SKIP() << "no GL context: " << why;
  }
  GlContext gl_;
};

TEST_F(ShaderAsmGl, EveryEmittedShaderCompilesAndPairsLink) {
  int n;
  const char* const* programs = GoodPrograms(n);
  std::vector<GLuint> vertex, pixel;
  for (int i = 0; i < n; ++i) {
    ShaderProgram p = MustAssemble(programs[i]);
    std::string glsl = TranslateToGLSL(p), log;
    GLuint s = Compile(p.kind == ShaderKind::Vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER, glsl, log);
    ASSERT_NE(s, 0u) << log << "\n" << glsl;
    (p.kind == ShaderKind::Vertex ? vertex : pixel).push_back(s);
  }
  // Every vertex side links with every pixel side, whatever each uses.
  std::string log;
  GLuint minimal = Compile(GL_FRAGMENT_SHADER, TranslateToGLSL(MustAssemble("ps_2_0\nmov oC0, c0\n")), log);
  ASSERT_NE(minimal, 0u) << log;
  pixel.push_back(minimal);
  for (GLuint v : vertex)
    for (GLuint f : pixel) {
      GLuint prog = Link(v, f, log);
      EXPECT_NE(prog, 0u) << log;
      if (prog) glDeleteProgram(prog);
    }
  for (GLuint s : vertex) glDeleteShader(s);
  for (GLuint s : pixel) glDeleteShader(s);
}

// The program's own shader sources, when the content folder has them:
// each assembles, compiles, and every vertex side links with every pixel side.
TEST_F(ShaderAsmGl, ContentShadersCompileAndLink) {
  namespace fs = std::filesystem;
  fs::path dir = fs::path(TARN_SOURCE_DIR) / "content" / "shaders";
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) GTEST_SKIP() << "no " << dir;
  std::vector<GLuint> vertex, pixel;
  for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
    std::string ext = e.path().extension().string();
    if (ext != ".VSH" && ext != ".PSH") continue;
    std::ifstream in(e.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    ShaderProgram p = MustAssemble(text.str(), e.path().filename().c_str());
    EXPECT_EQ(p.kind, ext == ".VSH" ? ShaderKind::Vertex : ShaderKind::Pixel) << e.path();
    std::string log;
    GLuint s = Compile(p.kind == ShaderKind::Vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER, TranslateToGLSL(p), log);
    ASSERT_NE(s, 0u) << e.path() << "\n" << log;
    (p.kind == ShaderKind::Vertex ? vertex : pixel).push_back(s);
  }
  std::string log;
  for (GLuint v : vertex)
    for (GLuint f : pixel) {
      GLuint prog = Link(v, f, log);
      EXPECT_NE(prog, 0u) << log;
      if (prog) glDeleteProgram(prog);
    }
  for (GLuint s : vertex) glDeleteShader(s);
  for (GLuint s : pixel) glDeleteShader(s);
}

// One pixel drawn by GL next to the interpreter's answer for the same inputs.
class Probe {
 public:
  Probe() {
    glGenVertexArrays(1, &vao_);
    glBindVertexArray(vao_);
    glGenTextures(1, &target_);
    glBindTexture(GL_TEXTURE_2D, target_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 1, 1, 0, GL_RGBA, GL_FLOAT, nullptr);
    glGenFramebuffers(1, &fbo_);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target_, 0);
    // A 1x1 float texture for texld, so the texel reads back exactly.
    glGenTextures(1, &texture_);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture_);
    float texel[4] = {1.0f, 0.5f, 0.25f, 0.75f};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 1, 1, 0, GL_RGBA, GL_FLOAT, texel);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glViewport(0, 0, 1, 1);
  }
  ~Probe() {
    glDeleteFramebuffers(1, &fbo_);
    glDeleteTextures(1, &target_);
    glDeleteTextures(1, &texture_);
    glDeleteVertexArrays(1, &vao_);
  }
  bool Complete() const { return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE; }

  // Draws one point at the centre with position attribute (0, 0, 0.5, 1).
  bool Draw(const ShaderProgram& vsp, const ShaderProgram& psp, const float (*vc)[4], const float (*pc)[4],
            float out[4], std::string& log) {
    GLuint vs = Compile(GL_VERTEX_SHADER, TranslateToGLSL(vsp), log);
    GLuint ps = vs ? Compile(GL_FRAGMENT_SHADER, TranslateToGLSL(psp), log) : 0;
    GLuint prog = ps ? Link(vs, ps, log) : 0;
    if (vs) glDeleteShader(vs);
    if (ps) glDeleteShader(ps);
    if (!prog) return false;
    glUseProgram(prog);
    GLint loc = glGetUniformLocation(prog, "vc");
    if (loc >= 0) glUniform4fv(loc, 256, &vc[0][0]);
    loc = glGetUniformLocation(prog, "pc");
    if (loc >= 0) glUniform4fv(loc, 32, &pc[0][0]);
    loc = glGetUniformLocation(prog, "s0");
    if (loc >= 0) glUniform1i(loc, 0);
    glVertexAttrib4f(0, 0.0f, 0.0f, 0.5f, 1.0f);
    const float sentinel = -12345.0f;
    glClearColor(sentinel, sentinel, sentinel, sentinel);
    glClear(GL_COLOR_BUFFER_BIT);
    glDrawArrays(GL_POINTS, 0, 1);
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_FLOAT, out);
    glUseProgram(0);
    glDeleteProgram(prog);
    return glGetError() == GL_NO_ERROR;
  }

 private:
  GLuint vao_ = 0, target_ = 0, fbo_ = 0, texture_ = 0;
};

void TexelSampler(void*, int, SamplerKind, const float*, float out[4]) {
  out[0] = 1.0f;
  out[1] = 0.5f;
  out[2] = 0.25f;
  out[3] = 0.75f;
}

bool Close(float gl, float cpu) {
  if (std::isnan(cpu)) return std::isnan(gl);
  if (std::isinf(cpu)) return gl == cpu;
  return std::fabs(gl - cpu) <= 1e-6f + 2e-5f * std::fabs(cpu);
}

TEST_F(ShaderAsmGl, GlMatchesInterpreter) {
  Probe probe;
  ASSERT_TRUE(probe.Complete());
  static float vc[256][4], pc[32][4];
  const float constants[8][4] = {
      {1, 2, 3, 4},        {5, 6, 7, 8},       {-4, 0, 0.5f, 2},   {0, 0, 0, 0},
      {0.25f, 1.2f, -1.75f, 2.5f}, {0.6f, -1.4f, 2.5f, 0}, {0.5f, 0.25f, 0, 2}, {-0.5f, 3, -2, 1},
  };
  std::memset(vc, 0, sizeof vc);
  std::memset(pc, 0, sizeof pc);
  for (int i = 0; i < 8; ++i)
    for (int k = 0; k < 4; ++k) vc[i][k] = pc[i][k] = constants[i][k];
  vc[20][0] = 0.5f;  // the vertex side of the pixel cases passes c20 as t0
  vc[20][1] = 0.25f;
  vc[20][3] = 1.0f;

  // Vertex cases: the line under test leaves its result in r0.
  struct Case {
    const char* version;
    const char* code;
  } vertexCases[] = {
      {"vs_2_0", "mov r0, -c0.wzyx"},        {"vs_2_0", "add r0, c0, c1"},
      {"vs_2_0", "sub r0, c0, c1.x"},        {"vs_2_0", "mul r0, c0, c4"},
      {"vs_2_0", "mad r0, c0, c1, -c4"},     {"vs_2_0", "dp3 r0, c0, c4"},
      {"vs_2_0", "dp4 r0, c0, c4"},          {"vs_2_0", "rcp r0, c4.y"},
      {"vs_2_0", "rsq r0, c2.x"},            {"vs_2_0", "exp r0, c4.z"},
      {"vs_2_0", "expp r0, c4.w"},           {"vs_1_1", "expp r0, c4.w"},
      {"vs_2_0", "log r0, c1.z"},            {"vs_2_0", "log r0, c3.x"},
      {"vs_1_1", "logp r0, c4.y"},           {"vs_2_0", "pow r0, c2.x, c2.z"},
      {"vs_2_0", "pow r0, c3.x, c3.y"},      {"vs_2_0", "pow r0, c4.y, c7.z"},
      {"vs_2_0", "min r0, c0, c4"},          {"vs_2_0", "max r0, c0, c4"},
      {"vs_2_0", "slt r0, c2, c3"},          {"vs_2_0", "sge r0, c2, c3"},
      {"vs_2_0", "frc r0, c4"},              {"vs_1_1", "frc r0, c5"},
      {"vs_2_0", "abs r0, c7"},              {"vs_2_0", "crs r0.xyz, c0, c4"},
      {"vs_2_0", "nrm r0, c4"},              {"vs_2_0", "nrm r0, c3"},
      {"vs_2_0", "lrp r0, c4.x, c0, c1"},    {"vs_2_0", "sincos r0.xy, c4.y"},
      {"vs_2_0", "m4x4 r0, c0, c4"},         {"vs_2_0", "m4x3 r0.xyz, c0, c4"},
      {"vs_2_0", "m3x4 r0, c0, c4"},         {"vs_2_0", "m3x3 r0.xyz, c7, c4"},
      {"vs_2_0", "m3x2 r0.xy, c0, c4"},      {"vs_2_0", "mova a0, c5\nmov r0, c[a0.x + 1]"},
      {"vs_2_0", "mova a0.y, c5.y\nmov r0, c[a0.y + 3]"},
      {"vs_2_0", "mova a0.z, c5.z\nmov r0, c[a0.z + 254]"},
      {"vs_1_1", "mov a0.x, c5.y\nmov r0, c[a0.x + 4]"},
      {"vs_1_1", "def c9, 9, 8, 7, 6\nmov a0.x, c4.y\nmov r0, c[a0.x + 8]"},
      {"vs_2_0", "dst r0, c0, c1"},          {"vs_2_0", "lit r0, c6"},
      {"vs_2_0", "lit r0, c7"},              {"vs_2_0", "mov_sat r0, c7"},
      {"vs_2_0", "def c30, 1.5, -0.5, 0.125, 3\nmul r0, c30, c0"},
      {"vs_2_0", "mov r0, c0\nadd r0, r0.wzyx, r0"},
      {"vs_2_0", "mov r0, c0\nm4x4 r0, r0, c4"},
  };
  ShaderProgram passThrough = MustAssemble("ps_2_0\ndcl t0\nmov oC0, t0\n");
  for (const Case& c : vertexCases) {
    std::string text = std::string(c.version) + "\n" +
                       (std::string(c.version) == "vs_2_0" ? "dcl_position v0\n" : "") +
                       "mov oPos, v0\n" + c.code + "\nmov oT0, r0\n";
    if (std::strncmp(c.code, "def", 3) == 0) {
      // defs must come first
      std::string code = c.code;
      size_t nl = code.find('\n');
      text = std::string(c.version) + "\n" + code.substr(0, nl) + "\n" +
             (std::string(c.version) == "vs_2_0" ? "dcl_position v0\n" : "") + "mov oPos, v0\n" +
             code.substr(nl + 1) + "\nmov oT0, r0\n";
    }
    ShaderProgram vsp = MustAssemble(text);
    ShaderState cpu;
    std::memcpy(cpu.c, vc, sizeof vc);
    float position[4] = {0, 0, 0.5f, 1};
    std::memcpy(cpu.v[0], position, sizeof position);
    InterpretShader(vsp, cpu);
    float got[4];
    std::string log;
    ASSERT_TRUE(probe.Draw(vsp, passThrough, vc, pc, got, log)) << log << "\n" << text;
    for (int k = 0; k < 4; ++k)
      EXPECT_TRUE(Close(got[k], cpu.oT[0][k]))
          << c.version << " " << c.code << ": component " << k << " GL " << got[k] << " CPU " << cpu.oT[0][k];
  }

  // Pixel cases: t0 = (0.5, 0.25, 0, 1); the result goes to oC0.
  ShaderProgram feeder = MustAssemble("vs_2_0\ndcl_position v0\nmov oPos, v0\nmov oT0, c20\n");
  const char* pixelCases[] = {
      "cmp r0, c2, c0, c1",       "cmp r0, -c2, c0, c1",   "dp2add r0, c0, c4, c2.w",
      "lrp r0, c4.x, c0, c1",     "nrm r0, c0",            "pow r0, c0.y, c2.z",
      "texld r0, t0, s0",         "texldp r0, t0, s0",     "mul r0, t0, c4",
      "rcp r0, c6.y",             "sincos r0.xy, c4.z",    "mad_sat r0, t0, c1, c2",
      "abs r0, -c2",              "m4x4 r0, t0, c4",       "frc r0, c5",
  };
  for (const char* code : pixelCases) {
    std::string text = std::string("ps_2_0\ndcl t0\ndcl_2d s0\n") + code + "\nmov oC0, r0\n";
    ShaderProgram psp = MustAssemble(text);
    ShaderState cpu;
    std::memcpy(cpu.c, pc, sizeof pc);
    std::memcpy(cpu.t[0], vc[20], sizeof vc[20]);
    cpu.sample = TexelSampler;
    InterpretShader(psp, cpu);
    float got[4];
    std::string log;
    ASSERT_TRUE(probe.Draw(feeder, psp, vc, pc, got, log)) << log << "\n" << text;
    for (int k = 0; k < 4; ++k)
      EXPECT_TRUE(Close(got[k], cpu.oC0[k])) << code << ": component " << k << " GL " << got[k] << " CPU "
                                             << cpu.oC0[k];
  }

  // texkill: the pixel keeps the clear colour exactly when the interpreter discards.
  for (float x : {0.5f, -0.5f}) {
    vc[20][0] = x;
    ShaderProgram psp = MustAssemble("ps_2_0\ndcl t0\ntexkill t0\nmov oC0, c0\n");
    ShaderState cpu;
    std::memcpy(cpu.t[0], vc[20], sizeof vc[20]);
    InterpretShader(psp, cpu);
    float got[4];
    std::string log;
    ASSERT_TRUE(probe.Draw(feeder, psp, vc, pc, got, log)) << log;
    EXPECT_EQ(cpu.discarded, got[0] == -12345.0f) << "t0.x = " << x;
  }
}

}  // namespace
