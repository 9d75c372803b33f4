// The CPU interpreter. Each formula here has its twin in glsl.cpp's helper
// functions; keep the two in the same order of operations.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/shader_asm/shader_internal.h"

using namespace shader_detail;
using F = ShaderRegisterFile;

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kLitMaxPower = 127.9961f;

struct V4 {
  float v[4];
  float& operator[](int i) { return v[i]; }
  float operator[](int i) const { return v[i]; }
};

V4 Make(float x, float y, float z, float w) { return V4{{x, y, z, w}}; }
V4 Load(const float* p) { return Make(p[0], p[1], p[2], p[3]); }
V4 Splat(float f) { return Make(f, f, f, f); }

float Dp3(const V4& a, const V4& b) { return (a[0] * b[0] + a[1] * b[1]) + a[2] * b[2]; }
float Dp4(const V4& a, const V4& b) { return ((a[0] * b[0] + a[1] * b[1]) + a[2] * b[2]) + a[3] * b[3]; }
// Select-based clamp: NaN becomes 0.
float Sat(float x) { return x > 0.0f ? (x < 1.0f ? x : 1.0f) : 0.0f; }
float Rcp(float x) { return x == 0.0f ? kInf : 1.0f / x; }
float Rsq(float x) {
  x = std::fabs(x);
  return x == 0.0f ? kInf : 1.0f / std::sqrt(x);
}
float Log2(float x) {
  x = std::fabs(x);
  return x != 0.0f ? std::log2(x) : -FLT_MAX;
}
// pow(|x|, y) with 0^0 = 1, as Direct3D's 0 * log(0) = 0.
float Pow(float x, float y) {
  x = std::fabs(x);
  if (x == 0.0f) return y > 0.0f ? 0.0f : (y == 0.0f ? 1.0f : kInf);
  return std::exp2(y * std::log2(x));
}
// Address register value: floor (vs_1_1 mov) or round to nearest (mova),
// pinned to a small range so NaN and huge values stay harmless.
int Address(float x, bool round) {
  float f = std::floor(round ? x + 0.5f : x);
  f = f >= -1024.0f ? f : -1024.0f;
  f = f <= 1024.0f ? f : 1024.0f;
  return int(f);
}

class Machine {
 public:
  Machine(const ShaderProgram& p, ShaderState& s) : p_(p), s_(s) {
    vertex_ = p.kind == ShaderKind::Vertex;
    constCount_ = ShaderRegisterCount(p.kind, p.major, F::Const);
    std::memset(defined_, 0, sizeof defined_);
    for (const ShaderConstantDef& d : p.defs)
      if (d.index < 256) {
        defined_[d.index] = true;
        std::memcpy(defs_[d.index], d.value, sizeof d.value);
      }
    for (const SamplerDeclaration& d : p.samplers)
      if (d.index < 16) samplerKind_[d.index] = d.kind;
  }

  void Run();

 private:
  V4 Constant(int index) const {
    if (index < 0 || index >= constCount_) return Splat(0.0f);
    return Load(defined_[index] ? defs_[index] : s_.c[index]);
  }
  V4 Register(F file, int index, const ShaderSource* rel) const {
    switch (file) {
      case F::Temp: return Load(s_.r[index]);
      case F::Input: return Load(s_.v[index]);
      case F::Texture: return Load(s_.t[index]);
      case F::Const:
        if (rel && rel->relative) return Constant(s_.a0[rel->relativeComponent] + index);
        return Constant(index);
      default: return Splat(0.0f);
    }
  }
  V4 Read(const ShaderSource& src) const {
    V4 base = Register(src.file, src.index, &src);
    V4 out;
    for (int i = 0; i < 4; ++i) {
      float f = base[SwizzleComponent(src.swizzle, i)];
      out[i] = src.negate ? -f : f;
    }
    return out;
  }
  V4 Sample(int sampler, V4 coord, bool project) const;
  void Write(const ShaderInstruction& ins, V4 value);
  V4 Matrix(const ShaderInstruction& ins, V4 v) const;

  const ShaderProgram& p_;
  ShaderState& s_;
  bool vertex_;
  int constCount_;
  bool defined_[256];
  float defs_[256][4];
  SamplerKind samplerKind_[16] = {};
  float fog_[4] = {0, 0, 0, 0}, pts_[4] = {1, 0, 0, 0}, depth_[4] = {0, 0, 0, 0};
};

V4 Machine::Sample(int sampler, V4 c, bool project) const {
  SamplerKind kind = samplerKind_[sampler];
  if (project) c = Make(c[0] / c[3], c[1] / c[3], c[2] / c[3], 1.0f);
  if (!s_.sample) return Make(0, 0, 0, 1);
  float coord[4] = {c[0], c[1], kind == SamplerKind::Cube ? c[2] : 0.0f, 0.0f};
  float out[4] = {0, 0, 0, 1};
  s_.sample(s_.sampleUser, sampler, kind, coord, out);
  return Load(out);
}

V4 Machine::Matrix(const ShaderInstruction& ins, V4 v) const {
  int rows = 0, width = 0;
  MatrixShape(ins.op, rows, width);
  V4 t = Splat(0.0f);
  for (int i = 0; i < rows; ++i) {
    V4 row = Register(ins.src[1].file, ins.src[1].index + i, &ins.src[1]);
    t[i] = width == 4 ? Dp4(v, row) : Dp3(v, row);
  }
  return t;
}

void Machine::Write(const ShaderInstruction& ins, V4 value) {
  const ShaderDestination& d = ins.dst;
  if (d.file == F::Address) {
    bool round = ins.op == ShaderOpcode::Mova;
    for (int i = 0; i < 4; ++i)
      if (d.mask & (1 << i)) s_.a0[i] = Address(value[i], round);
    return;
  }
  float* target = nullptr;
  switch (d.file) {
    case F::Temp: target = s_.r[d.index]; break;
    case F::OutPosition: target = s_.oPos; break;
    case F::OutColour: target = s_.oD[d.index]; break;
    case F::OutTexCoord: target = s_.oT[d.index]; break;
    case F::OutFog: target = fog_; break;
    case F::OutPointSize: target = pts_; break;
    case F::OutPixel: target = s_.oC0; break;
    case F::OutDepth: target = depth_; s_.depthWritten = true; break;
    default: return;
  }
  for (int i = 0; i < 4; ++i)
    if (d.mask & (1 << i)) target[i] = d.saturate ? Sat(value[i]) : value[i];
}

void Machine::Run() {
  std::memset(s_.r, 0, sizeof s_.r);
  std::memset(s_.a0, 0, sizeof s_.a0);
  s_.discarded = false;
  s_.depthWritten = false;
  s_.oFog = fog_[0];
  s_.oPts = pts_[0];
  s_.oDepth = depth_[0];
  if (vertex_) {
    for (int i = 0; i < 4; ++i) {
      s_.oPos[i] = 0.0f;
      s_.oD[0][i] = kVertexColour0Default[i];
      s_.oD[1][i] = kVertexColour1Default[i];
      for (auto& t : s_.oT) t[i] = kTexCoordDefault[i];
    }
  } else {
    std::memset(s_.oC0, 0, sizeof s_.oC0);
  }
  // A hand-built program gets the checks an assembled or read one had, so
  // no register number can index past the state's arrays.
  std::string problem;
  if (!ValidateProgram(p_, problem)) return;
  for (const ShaderInstruction& ins : p_.code) {
    V4 a = ins.sourceCount > 0 ? Read(ins.src[0]) : Splat(0.0f);
    V4 b = ins.sourceCount > 1 && ins.src[1].file != F::Sampler ? Read(ins.src[1]) : Splat(0.0f);
    V4 c = ins.sourceCount > 2 ? Read(ins.src[2]) : Splat(0.0f);
    V4 t = Splat(0.0f);
    switch (ins.op) {
      case ShaderOpcode::Nop: continue;
      case ShaderOpcode::Mov:
      case ShaderOpcode::Mova: t = a; break;
      case ShaderOpcode::Add: for (int i = 0; i < 4; ++i) t[i] = a[i] + b[i]; break;
      case ShaderOpcode::Sub: for (int i = 0; i < 4; ++i) t[i] = a[i] - b[i]; break;
      case ShaderOpcode::Mul: for (int i = 0; i < 4; ++i) t[i] = a[i] * b[i]; break;
      case ShaderOpcode::Mad: for (int i = 0; i < 4; ++i) t[i] = a[i] * b[i] + c[i]; break;
      case ShaderOpcode::Dp3: t = Splat(Dp3(a, b)); break;
      case ShaderOpcode::Dp4: t = Splat(Dp4(a, b)); break;
      case ShaderOpcode::Rcp: t = Splat(Rcp(a[3])); break;
      case ShaderOpcode::Rsq: t = Splat(Rsq(a[3])); break;
      case ShaderOpcode::Exp: t = Splat(std::exp2(a[3])); break;
      case ShaderOpcode::Expp:
        if (p_.major < 2) {
          float f = std::floor(a[3]);
          t = Make(std::exp2(f), a[3] - f, std::exp2(a[3]), 1.0f);
        } else {
          t = Splat(std::exp2(a[3]));
        }
        break;
      case ShaderOpcode::Log:
      case ShaderOpcode::Logp: t = Splat(Log2(a[3])); break;
      case ShaderOpcode::Pow: t = Splat(Pow(a[3], b[3])); break;
      case ShaderOpcode::Min: for (int i = 0; i < 4; ++i) t[i] = a[i] < b[i] ? a[i] : b[i]; break;
      case ShaderOpcode::Max: for (int i = 0; i < 4; ++i) t[i] = a[i] >= b[i] ? a[i] : b[i]; break;
      case ShaderOpcode::Slt: for (int i = 0; i < 4; ++i) t[i] = a[i] < b[i] ? 1.0f : 0.0f; break;
      case ShaderOpcode::Sge: for (int i = 0; i < 4; ++i) t[i] = a[i] >= b[i] ? 1.0f : 0.0f; break;
      case ShaderOpcode::Frc: for (int i = 0; i < 4; ++i) t[i] = a[i] - std::floor(a[i]); break;
      case ShaderOpcode::Abs: for (int i = 0; i < 4; ++i) t[i] = std::fabs(a[i]); break;
      case ShaderOpcode::Crs:
        t = Make(a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0], 0.0f);
        break;
      case ShaderOpcode::Nrm: {
        float f = Dp3(a, a);
        float k = f > 0.0f ? 1.0f / std::sqrt(f) : 0.0f;
        for (int i = 0; i < 4; ++i) t[i] = a[i] * k;
        break;
      }
      case ShaderOpcode::Lrp: for (int i = 0; i < 4; ++i) t[i] = c[i] + a[i] * (b[i] - c[i]); break;
      case ShaderOpcode::SinCos: t = Make(std::cos(a[3]), std::sin(a[3]), 0.0f, 0.0f); break;
      case ShaderOpcode::Cmp: for (int i = 0; i < 4; ++i) t[i] = a[i] >= 0.0f ? b[i] : c[i]; break;
      case ShaderOpcode::M4x4:
      case ShaderOpcode::M4x3:
      case ShaderOpcode::M3x4:
      case ShaderOpcode::M3x3:
      case ShaderOpcode::M3x2: t = Matrix(ins, a); break;
      case ShaderOpcode::Dst: t = Make(1.0f, a[1] * b[1], a[2], b[3]); break;
      case ShaderOpcode::Lit: {
        float power = a[3];
        power = power < -kLitMaxPower ? -kLitMaxPower : power;
        power = power > kLitMaxPower ? kLitMaxPower : power;
        t = Make(1.0f, 0.0f, 0.0f, 1.0f);
        if (a[0] > 0.0f) {
          t[1] = a[0];
          if (a[1] > 0.0f) t[2] = Pow(a[1], power);
        }
        break;
      }
      case ShaderOpcode::Texld:
      case ShaderOpcode::Texldp: t = Sample(ins.src[1].index, a, ins.op == ShaderOpcode::Texldp); break;
      case ShaderOpcode::Texkill:
        for (int i = 0; i < 3; ++i)
          if ((ins.dst.mask & (1 << i)) && a[i] < 0.0f) s_.discarded = true;
        if (s_.discarded) return;
        continue;
      case ShaderOpcode::Dp2add: t = Splat((a[0] * b[0] + a[1] * b[1]) + c[3]); break;
      case ShaderOpcode::Count: continue;
    }
    Write(ins, t);
  }
  s_.oFog = fog_[0];
  s_.oPts = pts_[0];
  s_.oDepth = depth_[0];
  if (vertex_)
    for (auto& d : s_.oD)
      for (float& f : d) f = Sat(f);
}

}  // namespace

void InterpretShader(const ShaderProgram& program, ShaderState& state) {
  Machine m(program, state);
  m.Run();
}
