// Translation of an instruction list to GLSL 330 core. The helper functions
// below are the interpreter's formulas (interpret.cpp) written in GLSL.
#include <cstdio>

#include "platform/shader_asm/shader_internal.h"

using namespace shader_detail;
using F = ShaderRegisterFile;

namespace {

const char kHelpers[] =
    "float inf_() { return uintBitsToFloat(0x7F800000u); }\n"
    "float dp3_(vec4 a, vec4 b) { return (a.x * b.x + a.y * b.y) + a.z * b.z; }\n"
    "float dp4_(vec4 a, vec4 b) { return ((a.x * b.x + a.y * b.y) + a.z * b.z) + a.w * b.w; }\n"
    "vec4 sat_(vec4 x) {\n"
    "  return mix(vec4(0.0), mix(vec4(1.0), x, lessThan(x, vec4(1.0))), greaterThan(x, vec4(0.0)));\n"
    "}\n"
    "float rcp_(float x) { return x == 0.0 ? inf_() : 1.0 / x; }\n"
    "float rsq_(float x) { x = abs(x); return x == 0.0 ? inf_() : 1.0 / sqrt(x); }\n"
    "float log_(float x) { x = abs(x); return x != 0.0 ? log2(x) : -3.402823466e+38; }\n"
    "float pow_(float x, float y) {\n"
    "  x = abs(x);\n"
    "  if (x == 0.0) return y > 0.0 ? 0.0 : (y == 0.0 ? 1.0 : inf_());\n"
    "  return exp2(y * log2(x));\n"
    "}\n"
    "vec4 min_(vec4 a, vec4 b) { return mix(b, a, lessThan(a, b)); }\n"
    "vec4 max_(vec4 a, vec4 b) { return mix(b, a, greaterThanEqual(a, b)); }\n"
    "vec4 slt_(vec4 a, vec4 b) { return mix(vec4(0.0), vec4(1.0), lessThan(a, b)); }\n"
    "vec4 sge_(vec4 a, vec4 b) { return mix(vec4(0.0), vec4(1.0), greaterThanEqual(a, b)); }\n"
    "vec4 frc_(vec4 a) { return a - floor(a); }\n"
    "vec4 crs_(vec4 a, vec4 b) {\n"
    "  return vec4(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0.0);\n"
    "}\n"
    "vec4 nrm_(vec4 a) { float f = dp3_(a, a); float k = f > 0.0 ? 1.0 / sqrt(f) : 0.0; return a * k; }\n"
    "vec4 lrp_(vec4 a, vec4 b, vec4 c) { return c + a * (b - c); }\n"
    "vec4 cmp_(vec4 a, vec4 b, vec4 c) { return mix(c, b, greaterThanEqual(a, vec4(0.0))); }\n"
    "vec4 dst_(vec4 a, vec4 b) { return vec4(1.0, a.y * b.y, a.z, b.w); }\n"
    "vec4 lit_(vec4 a) {\n"
    "  float power = a.w;\n"
    "  power = power < -127.9961 ? -127.9961 : power;\n"
    "  power = power > 127.9961 ? 127.9961 : power;\n"
    "  vec4 t = vec4(1.0, 0.0, 0.0, 1.0);\n"
    "  if (a.x > 0.0) {\n"
    "    t.y = a.x;\n"
    "    if (a.y > 0.0) t.z = pow_(a.y, power);\n"
    "  }\n"
    "  return t;\n"
    "}\n"
    "vec4 expp1_(float x) { float f = floor(x); return vec4(exp2(f), x - f, exp2(x), 1.0); }\n"
    "float dp2add_(vec4 a, vec4 b, float c) { return (a.x * b.x + a.y * b.y) + c; }\n"
    "int addr_(float x) {\n"
    "  float f = floor(x);\n"
    "  f = f >= -1024.0 ? f : -1024.0;\n"
    "  f = f <= 1024.0 ? f : 1024.0;\n"
    "  return int(f);\n"
    "}\n";

std::string Float(float f) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9e", double(f));
  return buf;
}

const char kLetters[] = "xyzw";

class Writer {
 public:
  explicit Writer(const ShaderProgram& p) : p_(p), vertex_(p.kind == ShaderKind::Vertex) {}
  std::string Run();

 private:
  std::string Const(int index) const {
    if (DefValue(p_, index)) return "k" + std::to_string(index);
    return std::string(vertex_ ? "vc[" : "pc[") + std::to_string(index) + "]";
  }
  // The register itself, before swizzle and negation.
  std::string Register(F file, int index, const ShaderSource* rel) const {
    switch (file) {
      case F::Temp: return "r" + std::to_string(index);
      case F::Input: return vertex_ ? "v" + std::to_string(index) : "vD" + std::to_string(index);
      case F::Texture: return "vT" + std::to_string(index);
      case F::Const:
        if (rel && rel->relative)
          return std::string("c_(a0.") + kLetters[rel->relativeComponent] + " + " + std::to_string(index) + ")";
        return Const(index);
      default: return "vec4(0.0)";
    }
  }
  std::string Vector(const ShaderSource& s) const {
    std::string r = Register(s.file, s.index, &s);
    if (s.swizzle != kSwizzleIdentity) {
      r += '.';
      for (int i = 0; i < 4; ++i) r += kLetters[SwizzleComponent(s.swizzle, i)];
    }
    return s.negate ? "(-" + r + ")" : r;
  }
  std::string Scalar(const ShaderSource& s) const {
    std::string r = Register(s.file, s.index, &s) + "." + kLetters[ScalarComponent(s)];
    return s.negate ? "(-" + r + ")" : r;
  }
  std::string Expression(const ShaderInstruction& ins) const;
  void Instruction(const ShaderInstruction& ins);

  const ShaderProgram& p_;
  bool vertex_;
  std::string body_;
  bool writesPointSize_ = false, writesDepth_ = false;
};

std::string Writer::Expression(const ShaderInstruction& ins) const {
  std::string a = ins.sourceCount > 0 ? Vector(ins.src[0]) : "";
  std::string b = ins.sourceCount > 1 && ins.src[1].file != F::Sampler ? Vector(ins.src[1]) : "";
  std::string c = ins.sourceCount > 2 ? Vector(ins.src[2]) : "";
  switch (ins.op) {
    case ShaderOpcode::Mov:
    case ShaderOpcode::Mova: return a;
    case ShaderOpcode::Add: return "(" + a + " + " + b + ")";
    case ShaderOpcode::Sub: return "(" + a + " - " + b + ")";
    case ShaderOpcode::Mul: return "(" + a + " * " + b + ")";
    case ShaderOpcode::Mad: return "(" + a + " * " + b + " + " + c + ")";
    case ShaderOpcode::Dp3: return "vec4(dp3_(" + a + ", " + b + "))";
    case ShaderOpcode::Dp4: return "vec4(dp4_(" + a + ", " + b + "))";
    case ShaderOpcode::Rcp: return "vec4(rcp_(" + Scalar(ins.src[0]) + "))";
    case ShaderOpcode::Rsq: return "vec4(rsq_(" + Scalar(ins.src[0]) + "))";
    case ShaderOpcode::Exp: return "vec4(exp2(" + Scalar(ins.src[0]) + "))";
    case ShaderOpcode::Expp:
      if (p_.major < 2) return "expp1_(" + Scalar(ins.src[0]) + ")";
      return "vec4(exp2(" + Scalar(ins.src[0]) + "))";
    case ShaderOpcode::Log:
    case ShaderOpcode::Logp: return "vec4(log_(" + Scalar(ins.src[0]) + "))";
    case ShaderOpcode::Pow: return "vec4(pow_(" + Scalar(ins.src[0]) + ", " + Scalar(ins.src[1]) + "))";
    case ShaderOpcode::Min: return "min_(" + a + ", " + b + ")";
    case ShaderOpcode::Max: return "max_(" + a + ", " + b + ")";
    case ShaderOpcode::Slt: return "slt_(" + a + ", " + b + ")";
    case ShaderOpcode::Sge: return "sge_(" + a + ", " + b + ")";
    case ShaderOpcode::Frc: return "frc_(" + a + ")";
    case ShaderOpcode::Abs: return "abs(" + a + ")";
    case ShaderOpcode::Crs: return "crs_(" + a + ", " + b + ")";
    case ShaderOpcode::Nrm: return "nrm_(" + a + ")";
    case ShaderOpcode::Lrp: return "lrp_(" + a + ", " + b + ", " + c + ")";
    case ShaderOpcode::SinCos: {
      std::string x = Scalar(ins.src[0]);
      return "vec4(cos(" + x + "), sin(" + x + "), 0.0, 0.0)";
    }
    case ShaderOpcode::Cmp: return "cmp_(" + a + ", " + b + ", " + c + ")";
    case ShaderOpcode::M4x4:
    case ShaderOpcode::M4x3:
    case ShaderOpcode::M3x4:
    case ShaderOpcode::M3x3:
    case ShaderOpcode::M3x2: {
      int rows = 0, width = 0;
      MatrixShape(ins.op, rows, width);
      std::string e = "vec4(";
      for (int i = 0; i < 4; ++i) {
        if (i) e += ", ";
        if (i < rows)
          e += std::string(width == 4 ? "dp4_(" : "dp3_(") + a + ", " +
               Register(ins.src[1].file, ins.src[1].index + i, &ins.src[1]) + ")";
        else
          e += "0.0";
      }
      return e + ")";
    }
    case ShaderOpcode::Dst: return "dst_(" + a + ", " + b + ")";
    case ShaderOpcode::Lit: return "lit_(" + a + ")";
    case ShaderOpcode::Texld:
    case ShaderOpcode::Texldp: {
      int s = ins.src[1].index;
      bool cube = false;
      for (const SamplerDeclaration& d : p_.samplers)
        if (d.index == s) cube = d.kind == SamplerKind::Cube;
      std::string coord = "(" + a + ")." + (cube ? "xyz" : "xy");
      if (ins.op == ShaderOpcode::Texldp) coord += " / (" + a + ").w";
      return "texture(s" + std::to_string(s) + ", " + coord + ")";
    }
    case ShaderOpcode::Dp2add: return "vec4(dp2add_(" + a + ", " + b + ", " + Scalar(ins.src[2]) + "))";
    default: return "vec4(0.0)";
  }
}

void Writer::Instruction(const ShaderInstruction& ins) {
  body_ += "  // ";
  body_ += Info(ins.op).name;
  body_ += "\n";
  if (ins.op == ShaderOpcode::Nop) return;
  if (ins.op == ShaderOpcode::Texkill) {
    std::string r = Register(ins.src[0].file, ins.src[0].index, nullptr);
    std::string test;
    for (int i = 0; i < 3; ++i)
      if (ins.dst.mask & (1 << i)) test += std::string(test.empty() ? "" : " || ") + r + "." + kLetters[i] + " < 0.0";
    if (!test.empty()) body_ += "  if (" + test + ") discard;\n";
    return;
  }
  body_ += "  t = " + Expression(ins) + ";\n";
  const ShaderDestination& d = ins.dst;
  std::string mask;
  for (int i = 0; i < 4; ++i)
    if (d.mask & (1 << i)) mask += kLetters[i];
  if (d.file == F::Address) {
    bool round = ins.op == ShaderOpcode::Mova;
    for (char m : mask)
      body_ += std::string("  a0.") + m + " = addr_(t." + m + (round ? " + 0.5" : "") + ");\n";
    return;
  }
  std::string name;
  switch (d.file) {
    case F::Temp: name = "r" + std::to_string(d.index); break;
    case F::OutPosition: name = "oPos"; break;
    case F::OutColour: name = "oD" + std::to_string(d.index); break;
    case F::OutTexCoord: name = "oT" + std::to_string(d.index); break;
    case F::OutFog: name = "oFog"; break;
    case F::OutPointSize: name = "oPts"; writesPointSize_ = true; break;
    case F::OutPixel: name = "oC0"; break;
    case F::OutDepth: name = "oDepth"; writesDepth_ = true; break;
    default: return;
  }
  std::string value = d.saturate ? "sat_(t)" : "t";
  if (d.mask == kWriteAll)
    body_ += "  " + name + " = " + value + ";\n";
  else
    body_ += "  " + name + "." + mask + " = " + value + "." + mask + ";\n";
}

std::string Writer::Run() {
  std::string problem;
  if (!ValidateProgram(p_, problem)) return std::string();
  std::string out = "#version 330 core\n// " + VersionName(p_.kind, p_.major, p_.minor) +
                    " from the shader assembler\n";
  out += kHelpers;
  if (vertex_) {
    out += "uniform vec4 vc[256];\n";
    for (const ShaderDeclaration& d : p_.inputs) {
      int location = AttributeLocation(d.usage, d.usageIndex);
      std::string name = "v" + std::to_string(d.index);
      if (location >= 0)
        out += "layout(location = " + std::to_string(location) + ") in vec4 " + name + ";\n";
      else
        out += "const vec4 " + name + " = vec4(0.0, 0.0, 0.0, 1.0);\n";
    }
    out += "out vec4 vD0;\nout vec4 vD1;\n";
    for (int i = 0; i < 8; ++i) out += "out vec4 vT" + std::to_string(i) + ";\n";
  } else {
    out += "uniform vec4 pc[32];\n";
    for (const SamplerDeclaration& s : p_.samplers)
      out += std::string("uniform ") + (s.kind == SamplerKind::Cube ? "samplerCube" : "sampler2D") + " s" +
             std::to_string(s.index) + ";\n";
    for (const ShaderDeclaration& d : p_.inputs)
      out += std::string("in vec4 ") + (d.file == F::Input ? "vD" : "vT") + std::to_string(d.index) + ";\n";
    out += "layout(location = 0) out vec4 oC0;\n";
  }
  for (const ShaderConstantDef& d : p_.defs)
    out += "const vec4 k" + std::to_string(d.index) + " = vec4(" + Float(d.value[0]) + ", " + Float(d.value[1]) +
           ", " + Float(d.value[2]) + ", " + Float(d.value[3]) + ");\n";
  if (vertex_) {
    // Relative reads: def'd registers win, outside the file reads zero.
    out += "vec4 c_(int i) {\n  if (i < 0 || i > 255) return vec4(0.0);\n";
    for (const ShaderConstantDef& d : p_.defs)
      out += "  if (i == " + std::to_string(d.index) + ") return k" + std::to_string(d.index) + ";\n";
    out += "  return vc[i];\n}\n";
  }
  for (const ShaderInstruction& ins : p_.code) Instruction(ins);

  out += "void main() {\n";
  for (int i = 0; i < 12; ++i) out += "  vec4 r" + std::to_string(i) + " = vec4(0.0);\n";
  out += "  vec4 t;\n";
  if (vertex_) {
    auto literal = [](const float v[4]) {
      return "vec4(" + Float(v[0]) + ", " + Float(v[1]) + ", " + Float(v[2]) + ", " + Float(v[3]) + ")";
    };
    out += "  ivec4 a0 = ivec4(0);\n  vec4 oPos = vec4(0.0);\n";
    out += "  vec4 oD0 = " + literal(kVertexColour0Default) + ";\n";
    out += "  vec4 oD1 = " + literal(kVertexColour1Default) + ";\n";
    for (int i = 0; i < 8; ++i) out += "  vec4 oT" + std::to_string(i) + " = " + literal(kTexCoordDefault) + ";\n";
    out += "  vec4 oFog = vec4(0.0);\n  vec4 oPts = vec4(1.0, 0.0, 0.0, 0.0);\n";
  } else {
    out += "  oC0 = vec4(0.0);\n  vec4 oDepth = vec4(0.0);\n";
  }
  out += body_;
  if (vertex_) {
    out += "  gl_Position = vec4(oPos.x, oPos.y, 2.0 * oPos.z - oPos.w, oPos.w);\n";
    out += "  vD0 = sat_(oD0);\n  vD1 = sat_(oD1);\n";
    for (int i = 0; i < 8; ++i) out += "  vT" + std::to_string(i) + " = oT" + std::to_string(i) + ";\n";
    if (writesPointSize_) out += "  gl_PointSize = oPts.x;\n";
  } else if (writesDepth_) {
    out += "  gl_FragDepth = oDepth.x;\n";
  }
  out += "}\n";
  return out;
}

}  // namespace

std::string TranslateToGLSL(const ShaderProgram& program) {
  Writer w(program);
  return w.Run();
}
