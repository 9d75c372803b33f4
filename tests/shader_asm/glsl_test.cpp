// The GLSL the assembler emits: the linkage the GL device relies on, and,
// when a GL context can be had, that every emitted shader compiles and links
// on the GL driver (what it computes is checked through the GL device).
#include <SDL.h>
#include <epoxy/gl.h>

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

// The object if its status is good, else 0 with the driver's log.
GLuint Checked(GLuint object, bool program, std::string& log) {
  GLint ok = 0;
  char buf[4096] = {};
  if (program) {
    glGetProgramiv(object, GL_LINK_STATUS, &ok);
    if (!ok) glGetProgramInfoLog(object, sizeof buf, nullptr, buf);
    if (!ok) glDeleteProgram(object);
  } else {
    glGetShaderiv(object, GL_COMPILE_STATUS, &ok);
    if (!ok) glGetShaderInfoLog(object, sizeof buf, nullptr, buf);
    if (!ok) glDeleteShader(object);
  }
  log = buf;
  return ok ? object : 0;
}

// Every emitted shader compiles and every vertex side links with every pixel
// side (the content's own shaders are linked by the content GL suite).
TEST(ShaderAsmGl, EveryEmittedShaderCompilesAndPairsLink) {
  std::string why;
  if (!GLTestContext::Get(&why)) GTEST_SKIP() << "no GL context: " << why;
  int n;
  const char* const* programs = GoodPrograms(n);
  std::vector<std::string> texts(programs, programs + n);
  texts.push_back("ps_2_0\nmov oC0, c0\n");  // reads no varying at all
  std::vector<GLuint> vertex, pixel;
  std::string log;
  for (const std::string& text : texts) {
    ShaderProgram p = MustAssemble(text);
    std::string glsl = TranslateToGLSL(p);
    const char* source = glsl.c_str();
    GLuint s = glCreateShader(p.kind == ShaderKind::Vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER);
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    ASSERT_NE(Checked(s, false, log), 0u) << text << "\n" << log << "\n" << glsl;
    (p.kind == ShaderKind::Vertex ? vertex : pixel).push_back(s);
  }
  for (GLuint v : vertex)
    for (GLuint f : pixel) {
      GLuint prog = glCreateProgram();
      glAttachShader(prog, v);
      glAttachShader(prog, f);
      glLinkProgram(prog);
      prog = Checked(prog, true, log);
      EXPECT_NE(prog, 0u) << log;
      if (prog) glDeleteProgram(prog);
    }
  for (GLuint s : vertex) glDeleteShader(s);
  for (GLuint s : pixel) glDeleteShader(s);
}

}  // namespace
