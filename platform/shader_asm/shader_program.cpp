// Instruction tables, the rules every program keeps, and the token stream.
#include <cmath>
#include <cstring>

#include "platform/shader_asm/shader_internal.h"

namespace shader_detail {

namespace {

using F = ShaderRegisterFile;

const OpcodeInfo kOpcodes[] = {
    {"nop", 0, kAll, false},    {"mov", 1, kAll, true},     {"add", 2, kAll, true},
    {"sub", 2, kAll, true},     {"mul", 2, kAll, true},     {"mad", 3, kAll, true},
    {"dp3", 2, kAll, true},     {"dp4", 2, kAll, true},     {"rcp", 1, kAll, true},
    {"rsq", 1, kAll, true},     {"exp", 1, kAll, true},     {"expp", 1, kVs, true},
    {"log", 1, kAll, true},     {"logp", 1, kVs, true},     {"pow", 2, kSm2, true},
    {"min", 2, kAll, true},     {"max", 2, kAll, true},     {"slt", 2, kVs, true},
    {"sge", 2, kVs, true},      {"frc", 1, kAll, true},     {"abs", 1, kSm2, true},
    {"crs", 2, kSm2, true},     {"nrm", 1, kSm2, true},     {"lrp", 3, kSm2, true},
    {"sincos", 1, kSm2, true},  {"cmp", 3, kPs20, true},    {"m4x4", 2, kAll, true},
    {"m4x3", 2, kAll, true},    {"m3x4", 2, kAll, true},    {"m3x3", 2, kAll, true},
    {"m3x2", 2, kAll, true},    {"mova", 1, kVs20, true},   {"dst", 2, kVs, true},
    {"lit", 1, kVs, true},      {"texld", 2, kPs20, true},  {"texldp", 2, kPs20, true},
    {"texkill", 1, kPs20, false}, {"dp2add", 3, kPs20, true},
};
static_assert(sizeof(kOpcodes) / sizeof(kOpcodes[0]) == size_t(ShaderOpcode::Count), "opcode table");

constexpr size_t kMaxInstructions = 4096;
constexpr size_t kMaxDefs = 256;
// version, 3 counted sections of at most 16 inputs, 16 samplers and kMaxDefs
// defs of 5 tokens, kMaxInstructions of at most 5 tokens, end token.
static_assert(kMaxShaderTokens == 1 + (1 + 16) + (1 + 16) + (1 + kMaxDefs * 5) + (1 + kMaxInstructions * 5) + 1,
              "token bound");

bool Finite(float f) { return std::isfinite(f); }

bool IsVertexOutput(F f) {
  return f == F::OutPosition || f == F::OutFog || f == F::OutPointSize || f == F::OutColour ||
         f == F::OutTexCoord;
}
bool IsScalarRegister(F f) { return f == F::OutFog || f == F::OutPointSize || f == F::OutDepth; }

bool Declared(const ShaderProgram& p, F file, int index) {
  for (const ShaderDeclaration& d : p.inputs)
    if (d.file == file && d.index == index) return true;
  return false;
}

const SamplerDeclaration* FindSampler(const ShaderProgram& p, int index) {
  for (const SamplerDeclaration& s : p.samplers)
    if (s.index == index) return &s;
  return nullptr;
}

bool CheckSource(const ShaderProgram& p, const ShaderInstruction& ins, int n, std::string& problem) {
  const ShaderSource& s = ins.src[n];
  const char* op = Info(ins.op).name;
  if (uint8_t(s.file) >= uint8_t(F::Count)) {
    problem = "bad register file";
    return false;
  }
  if (s.file != F::Temp && s.file != F::Input && s.file != F::Const && s.file != F::Texture &&
      s.file != F::Sampler) {
    problem = "register " + RegisterName(s.file, s.index) + " cannot be read";
    return false;
  }
  int count = ShaderRegisterCount(p.kind, p.major, s.file);
  if (s.index >= count) {
    problem = RangeProblem(p, s.file, s.index);
    return false;
  }
  if (s.relative) {
    if (p.kind != ShaderKind::Vertex || s.file != F::Const) {
      problem = "relative addressing is only allowed on vertex shader constants";
      return false;
    }
    if (s.relativeComponent > 3 || (p.major < 2 && s.relativeComponent != 0)) {
      problem = "relative addressing in vs_1_1 uses a0.x only";
      return false;
    }
  }
  if (ins.op == ShaderOpcode::Texkill && (s.negate || s.swizzle != kSwizzleIdentity ||
                                          (s.file != F::Temp && s.file != F::Texture))) {
    problem = "texkill needs a temporary or texture register without swizzle";
    return false;
  }
  bool isSamplerSlot = (ins.op == ShaderOpcode::Texld || ins.op == ShaderOpcode::Texldp) && n == 1;
  if (isSamplerSlot != (s.file == F::Sampler)) {
    problem = isSamplerSlot ? std::string(op) + " needs a sampler register as its last operand"
                            : "sampler " + RegisterName(s.file, s.index) + " can only be read by texld";
    return false;
  }
  if (s.file == F::Sampler) {
    if (!FindSampler(p, s.index)) {
      problem = "sampler " + RegisterName(s.file, s.index) + " is not declared";
      return false;
    }
    if (s.negate || s.swizzle != kSwizzleIdentity) {
      problem = "sampler " + RegisterName(s.file, s.index) + " takes no swizzle or negation";
      return false;
    }
  }
  if ((s.file == F::Input || s.file == F::Texture) && !Declared(p, s.file, s.index)) {
    problem = "input register " + RegisterName(s.file, s.index) + " is not declared";
    return false;
  }
  int rows, width;
  if (n == 1 && MatrixShape(ins.op, rows, width)) {
    if (s.negate || s.swizzle != kSwizzleIdentity) {
      problem = std::string(op) + " takes its matrix without swizzle or negation";
      return false;
    }
    if (!s.relative && s.index + rows > count) {
      problem = std::string(op) + " matrix " + RegisterName(s.file, s.index) + " runs past " +
                RegisterName(s.file, count - 1);
      return false;
    }
  }
  return true;
}

bool CheckDestination(const ShaderProgram& p, const ShaderInstruction& ins, std::string& problem) {
  const ShaderDestination& d = ins.dst;
  const char* op = Info(ins.op).name;
  if (uint8_t(d.file) >= uint8_t(F::Count)) {
    problem = "bad register file";
    return false;
  }
  std::string reg = RegisterName(d.file, d.index);
  bool writable = p.kind == ShaderKind::Vertex
                      ? (d.file == F::Temp || d.file == F::Address || IsVertexOutput(d.file))
                      : (d.file == F::Temp || d.file == F::OutPixel || d.file == F::OutDepth);
  if (!writable) {
    problem = ShaderRegisterCount(p.kind, p.major, d.file) == 0 ? RangeProblem(p, d.file, d.index)
                                                                 : "register " + reg + " cannot be written";
    return false;
  }
  if (d.index >= ShaderRegisterCount(p.kind, p.major, d.file)) {
    problem = RangeProblem(p, d.file, d.index);
    return false;
  }
  if (d.mask == 0 || d.mask > kWriteAll) {
    problem = "bad write mask";
    return false;
  }
  if (d.file == F::Address) {
    if (p.major < 2 && ins.op != ShaderOpcode::Mov) {
      problem = "a0 can only be written by mov in vs_1_1";
      return false;
    }
    if (p.major >= 2 && ins.op != ShaderOpcode::Mova) {
      problem = "a0 can only be written by mova in vs_2_0";
      return false;
    }
    if (p.major < 2 && d.mask != 1) {
      problem = "vs_1_1 writes a0.x only";
      return false;
    }
    if (d.saturate) {
      problem = "a0 cannot be saturated";
      return false;
    }
  } else if (ins.op == ShaderOpcode::Mova) {
    problem = "mova writes a0 only";
    return false;
  }
  if (IsScalarRegister(d.file) && d.mask != 1 && d.mask != kWriteAll) {
    problem = "register " + reg + " has only one component (.x)";
    return false;
  }
  if ((ins.op == ShaderOpcode::Texld || ins.op == ShaderOpcode::Texldp) && d.file != F::Temp) {
    problem = std::string(op) + " writes a temporary register";
    return false;
  }
  uint8_t allowed = kWriteAll;
  int rows, width;
  if (MatrixShape(ins.op, rows, width)) allowed = uint8_t((1 << rows) - 1);
  if (ins.op == ShaderOpcode::Crs) allowed = 0x7;
  if (ins.op == ShaderOpcode::SinCos) allowed = 0x3;
  if (d.mask & ~allowed) {
    std::string most = ".";
    for (int i = 0; i < 4; ++i)
      if (allowed & (1 << i)) most += "xyzw"[i];
    problem = std::string(op) + " writes at most " + most;
    return false;
  }
  return true;
}

}  // namespace

std::string RangeProblem(const ShaderProgram& p, F file, int index) {
  int count = ShaderRegisterCount(p.kind, p.major, file);
  std::string reg = RegisterName(file, index);
  std::string ver = VersionName(p.kind, p.major, p.minor);
  if (count == 0) return "register " + reg + " is not available in " + ver;
  if (count == 1) return "register " + reg + " is out of range (" + ver + " has only " + RegisterName(file, 0) + ")";
  return "register " + reg + " is out of range (" + ver + " has " + RegisterName(file, 0) + "-" +
         RegisterName(file, count - 1) + ")";
}

const OpcodeInfo& Info(ShaderOpcode op) {
  static const OpcodeInfo kBad = {"?", 0, 0, false};
  return uint8_t(op) < uint8_t(ShaderOpcode::Count) ? kOpcodes[uint8_t(op)] : kBad;
}

uint8_t VersionBit(ShaderKind kind, uint8_t major, uint8_t minor) {
  if (kind == ShaderKind::Vertex && major == 1 && minor == 1) return kVs11;
  if (kind == ShaderKind::Vertex && major == 2 && minor == 0) return kVs20;
  if (kind == ShaderKind::Pixel && major == 2 && minor == 0) return kPs20;
  return 0;
}

std::string VersionName(ShaderKind kind, uint8_t major, uint8_t minor) {
  return std::string(kind == ShaderKind::Vertex ? "vs_" : "ps_") + std::to_string(major) + "_" +
         std::to_string(minor);
}

std::string RegisterName(ShaderRegisterFile file, int index) {
  std::string n = std::to_string(index);
  switch (file) {
    case F::Temp: return "r" + n;
    case F::Input: return "v" + n;
    case F::Const: return "c" + n;
    case F::Address: return "a" + n;
    case F::Texture: return "t" + n;
    case F::Sampler: return "s" + n;
    case F::OutPosition: return "oPos";
    case F::OutFog: return "oFog";
    case F::OutPointSize: return "oPts";
    case F::OutColour: return "oD" + n;
    case F::OutTexCoord: return "oT" + n;
    case F::OutPixel: return "oC" + n;
    case F::OutDepth: return "oDepth";
    default: return "?" + n;
  }
}

bool MatrixShape(ShaderOpcode op, int& rows, int& width) {
  switch (op) {
    case ShaderOpcode::M4x4: rows = 4; width = 4; return true;
    case ShaderOpcode::M4x3: rows = 3; width = 4; return true;
    case ShaderOpcode::M3x4: rows = 4; width = 3; return true;
    case ShaderOpcode::M3x3: rows = 3; width = 3; return true;
    case ShaderOpcode::M3x2: rows = 2; width = 3; return true;
    default: return false;
  }
}

bool ValidateInstruction(const ShaderProgram& p, const ShaderInstruction& ins, std::string& problem) {
  if (uint8_t(ins.op) >= uint8_t(ShaderOpcode::Count)) {
    problem = "bad opcode";
    return false;
  }
  const OpcodeInfo& info = Info(ins.op);
  uint8_t bit = VersionBit(p.kind, p.major, p.minor);
  if (!(info.versions & bit)) {
    problem = std::string("instruction '") + info.name + "' is not available in " +
              VersionName(p.kind, p.major, p.minor);
    return false;
  }
  if (ins.sourceCount != info.sources) {
    problem = std::string("'") + info.name + "' takes " + std::to_string(info.sources + (info.hasDestination ? 1 : 0)) +
              " operands";
    return false;
  }
  if (info.hasDestination && !CheckDestination(p, ins, problem)) return false;
  if (ins.op == ShaderOpcode::Texkill && (ins.dst.mask == 0 || ins.dst.mask > kWriteAll)) {
    problem = "bad write mask";
    return false;
  }
  for (int i = 0; i < ins.sourceCount; ++i)
    if (!CheckSource(p, ins, i, problem)) return false;
  return true;
}

bool ValidateProgram(const ShaderProgram& p, std::string& problem) {
  if (!VersionBit(p.kind, p.major, p.minor)) {
    problem = "unsupported shader version";
    return false;
  }
  for (size_t i = 0; i < p.inputs.size(); ++i) {
    const ShaderDeclaration& d = p.inputs[i];
    std::string reg = RegisterName(d.file, d.index);
    if (p.kind == ShaderKind::Vertex) {
      if (d.file != F::Input || d.index >= 16 || d.usage > D3DDECLUSAGE_DEPTH || d.usage == 8 ||
          d.usageIndex >= 16) {
        problem = "bad declaration of " + reg;
        return false;
      }
    } else {
      bool colour = d.file == F::Input && d.index < 2 && d.usage == D3DDECLUSAGE_COLOR;
      bool coord = d.file == F::Texture && d.index < 8 && d.usage == D3DDECLUSAGE_TEXCOORD;
      if (!(colour || coord) || d.usageIndex != d.index) {
        problem = "bad declaration of " + reg;
        return false;
      }
    }
    if (d.mask == 0 || d.mask > kWriteAll) {
      problem = "bad write mask";
      return false;
    }
    for (size_t j = 0; j < i; ++j) {
      const ShaderDeclaration& e = p.inputs[j];
      if (e.file == d.file && e.index == d.index) {
        problem = "register " + reg + " is declared twice";
        return false;
      }
      if (p.kind == ShaderKind::Vertex && e.usage == d.usage && e.usageIndex == d.usageIndex) {
        problem = reg + " repeats the usage of " + RegisterName(e.file, e.index);
        return false;
      }
      int location = AttributeLocation(d.usage, d.usageIndex);
      if (p.kind == ShaderKind::Vertex && location >= 0 && location == AttributeLocation(e.usage, e.usageIndex)) {
        problem = reg + " and " + RegisterName(e.file, e.index) + " share attribute location " +
                  std::to_string(location);
        return false;
      }
    }
  }
  for (size_t i = 0; i < p.samplers.size(); ++i) {
    const SamplerDeclaration& s = p.samplers[i];
    if (p.kind != ShaderKind::Pixel || s.index >= 16 || uint8_t(s.kind) > 1) {
      problem = "bad sampler declaration";
      return false;
    }
    for (size_t j = 0; j < i; ++j)
      if (p.samplers[j].index == s.index) {
        problem = "sampler " + RegisterName(F::Sampler, s.index) + " is declared twice";
        return false;
      }
  }
  if (p.defs.size() > kMaxDefs || p.code.size() > kMaxInstructions) {
    problem = "program too long";
    return false;
  }
  for (size_t i = 0; i < p.defs.size(); ++i) {
    const ShaderConstantDef& d = p.defs[i];
    if (d.index >= ShaderRegisterCount(p.kind, p.major, F::Const)) {
      problem = RangeProblem(p, F::Const, d.index);
      return false;
    }
    for (float f : d.value)
      if (!Finite(f)) {
        problem = "def value out of range";
        return false;
      }
    for (size_t j = 0; j < i; ++j)
      if (p.defs[j].index == d.index) {
        problem = "register " + RegisterName(F::Const, d.index) + " is defined twice";
        return false;
      }
  }
  for (const ShaderInstruction& ins : p.code)
    if (!ValidateInstruction(p, ins, problem)) return false;
  return true;
}

const float* DefValue(const ShaderProgram& program, int index) {
  for (const ShaderConstantDef& d : program.defs)
    if (d.index == index) return d.value;
  return nullptr;
}

}  // namespace shader_detail

using namespace shader_detail;

const char* ShaderOpcodeName(ShaderOpcode op) { return Info(op).name; }
int ShaderOpcodeSourceCount(ShaderOpcode op) { return Info(op).sources; }

int ShaderRegisterCount(ShaderKind kind, uint8_t major, ShaderRegisterFile file) {
  bool vs = kind == ShaderKind::Vertex;
  (void)major;  // every accepted version has the same files and sizes
  switch (file) {
    case F::Temp: return 12;
    case F::Input: return vs ? 16 : 2;
    case F::Const: return vs ? 256 : 32;
    case F::Address: return vs ? 1 : 0;
    case F::Texture: return vs ? 0 : 8;
    case F::Sampler: return vs ? 0 : 16;
    case F::OutPosition:
    case F::OutFog:
    case F::OutPointSize: return vs ? 1 : 0;
    case F::OutColour: return vs ? 2 : 0;
    case F::OutTexCoord: return vs ? 8 : 0;
    case F::OutPixel:
    case F::OutDepth: return vs ? 0 : 1;
    default: return 0;
  }
}

int AttributeLocation(uint8_t usage, uint8_t index) {
  switch (usage) {
    case D3DDECLUSAGE_POSITION:
    case D3DDECLUSAGE_POSITIONT: return index == 0 ? 0 : -1;
    case D3DDECLUSAGE_NORMAL: return index == 0 ? 1 : -1;
    case D3DDECLUSAGE_COLOR: return index == 0 ? 2 : index == 1 ? 3 : -1;
    case D3DDECLUSAGE_TANGENT: return index == 0 ? 4 : -1;
    case D3DDECLUSAGE_BINORMAL: return index == 0 ? 5 : -1;
    case D3DDECLUSAGE_TEXCOORD: return index < 8 ? 6 + index : -1;
    case D3DDECLUSAGE_PSIZE: return index == 0 ? 14 : -1;
    case D3DDECLUSAGE_BLENDWEIGHT: return index == 0 ? 15 : -1;
    default: return -1;
  }
}

// ---- Token stream ----------------------------------------------------------
// [version] [input count] inputs.. [sampler count] samplers.. [def count]
// (index, 4 float bits).. [instruction count] (head, destination, sources..)..
// [end]. Each section count is bounded before anything is read from it.

namespace {

uint32_t PackSource(const ShaderSource& s) {
  return uint32_t(s.file) | uint32_t(s.index & 0xFFF) << 4 | uint32_t(s.swizzle) << 16 |
         uint32_t(s.negate) << 24 | uint32_t(s.relative) << 25 | uint32_t(s.relativeComponent & 3) << 26;
}

uint32_t PackDestination(const ShaderDestination& d) {
  return uint32_t(d.file) | uint32_t(d.index & 0xFFF) << 4 | uint32_t(d.mask & 0xF) << 16 |
         uint32_t(d.saturate) << 20 | uint32_t(d.partialPrecision) << 21;
}

constexpr uint32_t kVertexVersion = 0xFFFE0000u;
constexpr uint32_t kPixelVersion = 0xFFFF0000u;

class TokenReader {
 public:
  TokenReader(const uint32_t* tokens, size_t count) : p_(tokens), n_(count) {}
  bool Next(uint32_t& v) {
    if (i_ >= n_) return false;
    v = p_[i_++];
    return true;
  }
  size_t Position() const { return i_; }

 private:
  const uint32_t* p_;
  size_t n_;
  size_t i_ = 0;
};

// Reads and validates; returns tokens consumed or 0.
size_t Read(TokenReader& in, ShaderProgram& out) {
  ShaderProgram p;
  uint32_t v;
  if (!in.Next(v)) return 0;
  uint32_t high = v & 0xFFFF0000u;
  if (high != kVertexVersion && high != kPixelVersion) return 0;
  p.kind = high == kVertexVersion ? ShaderKind::Vertex : ShaderKind::Pixel;
  p.major = uint8_t(v >> 8);
  p.minor = uint8_t(v);
  if (!VersionBit(p.kind, p.major, p.minor)) return 0;

  uint32_t count;
  if (!in.Next(count) || count > 16) return 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (!in.Next(v)) return 0;
    ShaderDeclaration d;
    d.file = ShaderRegisterFile(v & 0xF);
    d.index = uint8_t(v >> 4);
    d.usage = uint8_t(v >> 12);
    d.usageIndex = uint8_t((v >> 20) & 0xF);
    d.mask = uint8_t((v >> 24) & 0xF);
    if (v >> 28) return 0;
    p.inputs.push_back(d);
  }
  if (!in.Next(count) || count > 16) return 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (!in.Next(v) || (v >> 16)) return 0;
    SamplerDeclaration s;
    s.index = uint8_t(v);
    s.kind = SamplerKind(uint8_t(v >> 8));
    p.samplers.push_back(s);
  }
  if (!in.Next(count) || count > kMaxDefs) return 0;
  for (uint32_t i = 0; i < count; ++i) {
    ShaderConstantDef d;
    if (!in.Next(v) || v > 0xFFFF) return 0;
    d.index = uint16_t(v);
    for (float& f : d.value) {
      if (!in.Next(v)) return 0;
      std::memcpy(&f, &v, 4);
    }
    p.defs.push_back(d);
  }
  if (!in.Next(count) || count > kMaxInstructions) return 0;
  p.code.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    ShaderInstruction ins;
    if (!in.Next(v) || (v >> 10)) return 0;
    ins.op = ShaderOpcode(v & 0xFF);
    ins.sourceCount = uint8_t(v >> 8);
    if (uint8_t(ins.op) >= uint8_t(ShaderOpcode::Count) || ins.sourceCount != Info(ins.op).sources) return 0;
    if (!in.Next(v) || (v >> 22)) return 0;
    ins.dst.file = ShaderRegisterFile(v & 0xF);
    ins.dst.index = uint16_t((v >> 4) & 0xFFF);
    ins.dst.mask = uint8_t((v >> 16) & 0xF);
    ins.dst.saturate = (v >> 20) & 1;
    ins.dst.partialPrecision = (v >> 21) & 1;
    for (int s = 0; s < ins.sourceCount; ++s) {
      if (!in.Next(v) || (v >> 28)) return 0;
      ShaderSource& src = ins.src[s];
      src.file = ShaderRegisterFile(v & 0xF);
      src.index = uint16_t((v >> 4) & 0xFFF);
      src.swizzle = uint8_t(v >> 16);
      src.negate = (v >> 24) & 1;
      src.relative = (v >> 25) & 1;
      src.relativeComponent = uint8_t((v >> 26) & 3);
    }
    p.code.push_back(ins);
  }
  if (!in.Next(v) || v != kShaderEndToken) return 0;
  std::string problem;
  if (!ValidateProgram(p, problem)) return 0;
  out = std::move(p);
  return in.Position();
}

}  // namespace

void SerializeShader(const ShaderProgram& p, std::vector<uint32_t>& t) {
  t.clear();
  t.push_back((p.kind == ShaderKind::Vertex ? kVertexVersion : kPixelVersion) | uint32_t(p.major) << 8 | p.minor);
  t.push_back(uint32_t(p.inputs.size()));
  for (const ShaderDeclaration& d : p.inputs)
    t.push_back(uint32_t(d.file) | uint32_t(d.index) << 4 | uint32_t(d.usage) << 12 |
                uint32_t(d.usageIndex & 0xF) << 20 | uint32_t(d.mask & 0xF) << 24);
  t.push_back(uint32_t(p.samplers.size()));
  for (const SamplerDeclaration& s : p.samplers) t.push_back(uint32_t(s.index) | uint32_t(s.kind) << 8);
  t.push_back(uint32_t(p.defs.size()));
  for (const ShaderConstantDef& d : p.defs) {
    t.push_back(d.index);
    for (float f : d.value) {
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      t.push_back(bits);
    }
  }
  t.push_back(uint32_t(p.code.size()));
  for (const ShaderInstruction& ins : p.code) {
    t.push_back(uint32_t(ins.op) | uint32_t(ins.sourceCount) << 8);
    t.push_back(PackDestination(ins.dst));
    for (int s = 0; s < ins.sourceCount; ++s) t.push_back(PackSource(ins.src[s]));
  }
  t.push_back(kShaderEndToken);
}

bool DeserializeShader(const uint32_t* tokens, size_t count, ShaderProgram& out) {
  out = ShaderProgram();
  if (!tokens) return false;
  TokenReader in(tokens, count);
  return Read(in, out) != 0;
}

bool DeserializeShader(const uint32_t* tokens, ShaderProgram& out) {
  return DeserializeShader(tokens, kMaxShaderTokens, out);
}

size_t ShaderTokenCount(const uint32_t* tokens) {
  if (!tokens) return 0;
  ShaderProgram p;
  TokenReader in(tokens, kMaxShaderTokens);
  return Read(in, p);
}
