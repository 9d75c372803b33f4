// The GLSL the assembler emits: the linkage the GL device relies on, and,
// when a GL context can be had, that every emitted shader compiles and links
// on the GL driver (what it computes is checked through the GL device).
#include <SDL.h>
#include <epoxy/gl.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/gl/gl_context.h"
#include "tests/shader_asm/asm_test_util.h"

namespace {

bool Contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

// What the linked pairs below cannot show: attribute locations, depth
// conventions and the refusal of a program that would index past its arrays.
TEST(ShaderAsmGlsl, LocationsDepthAndRefusedPrograms) {
  std::string vs = TranslateToGLSL(MustAssemble("vs_1_1\nm4x4 oPos, v0, c0\nmov oD0, v5\n"));
  EXPECT_TRUE(Contains(vs, "layout(location = 2) in vec4 v5;"));
  EXPECT_TRUE(Contains(vs, "gl_Position = vec4(oPos.x, oPos.y, 2.0 * oPos.z - oPos.w, oPos.w);"));
  EXPECT_FALSE(Contains(TranslateToGLSL(MustAssemble("ps_2_0\nmov oC0, c0\n")), "gl_FragDepth"));
  EXPECT_TRUE(Contains(TranslateToGLSL(MustAssemble("ps_2_0\nmov oDepth, c0.x\n")), "gl_FragDepth = oDepth.x;"));
  ShaderProgram bad = MustAssemble("vs_2_0\nmov oT0, c0\n");
  bad.code[0].dst.index = 9;
  EXPECT_EQ(TranslateToGLSL(bad), "");
}

// ---- With a GL context ------------------------------------------------------

GLuint Compile(GLenum type, const std::string& source, std::string& log) {
  GLuint s = glCreateShader(type);
  const char* text = source.c_str();
  glShaderSource(s, 1, &text, nullptr);
  glCompileShader(s);
  GLint ok = 0;
  glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
  char buf[4096] = {};
  if (ok) return s;
  glGetShaderInfoLog(s, sizeof buf, nullptr, buf);
  log = buf;
  glDeleteShader(s);
  return 0;
}

GLuint Link(GLuint vs, GLuint ps, std::string& log) {
  GLuint p = glCreateProgram();
  glAttachShader(p, vs);
  glAttachShader(p, ps);
  glLinkProgram(p);
  GLint ok = 0;
  glGetProgramiv(p, GL_LINK_STATUS, &ok);
  char buf[4096] = {};
  if (ok) return p;
  glGetProgramInfoLog(p, sizeof buf, nullptr, buf);
  log = buf;
  glDeleteProgram(p);
  return 0;
}

class ShaderAsmGl : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!GLTestContext::Get(&why)) GTEST_SKIP() << "no GL context: " << why;
  }
};

// Compiles every program (name, text) and links every vertex side with every pixel side.
void CompileAndLinkAll(const std::vector<std::pair<std::string, std::string>>& named) {
  std::vector<GLuint> vertex, pixel;
  std::string log;
  for (const auto& [name, text] : named) {
    ShaderProgram p = MustAssemble(text, name.c_str());
    // A file's extension names its kind.
    std::string ext = name.size() > 4 ? name.substr(name.size() - 4) : "";
    if (ext == ".VSH" || ext == ".PSH") {
      EXPECT_EQ(p.kind == ShaderKind::Vertex, ext == ".VSH") << name;
    }
    std::string glsl = TranslateToGLSL(p);
    GLuint s = Compile(p.kind == ShaderKind::Vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER, glsl, log);
    ASSERT_NE(s, 0u) << name << "\n" << log << "\n" << glsl;
    (p.kind == ShaderKind::Vertex ? vertex : pixel).push_back(s);
  }
  for (GLuint v : vertex)
    for (GLuint f : pixel) {
      GLuint prog = Link(v, f, log);
      EXPECT_NE(prog, 0u) << log;
      if (prog) glDeleteProgram(prog);
    }
  for (GLuint s : vertex) glDeleteShader(s);
  for (GLuint s : pixel) glDeleteShader(s);
}

TEST_F(ShaderAsmGl, EveryEmittedShaderCompilesAndPairsLink) {
  int n;
  const char* const* programs = GoodPrograms(n);
  std::vector<std::pair<std::string, std::string>> named;
  for (int i = 0; i < n; ++i) named.push_back({"Good", programs[i]});
  named.push_back({"Minimal.PSH", "ps_2_0\nmov oC0, c0\n"});  // reads no varying at all
  CompileAndLinkAll(named);
}

// The program's own shader sources, when the content folder has them.
TEST_F(ShaderAsmGl, ContentShadersCompileAndLink) {
  namespace fs = std::filesystem;
  fs::path dir = fs::path(TARN_SOURCE_DIR) / "content" / "shaders";
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) GTEST_SKIP() << "no " << dir;
  std::vector<std::pair<std::string, std::string>> named;
  for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
    std::string ext = e.path().extension().string();
    if (ext != ".VSH" && ext != ".PSH") continue;
    std::ifstream in(e.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    named.push_back({e.path().filename().string(), text.str()});
  }
  CompileAndLinkAll(named);
}

}  // namespace
