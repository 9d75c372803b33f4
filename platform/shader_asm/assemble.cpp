// Reading shader assembly text: one statement per line, comments stripped,
// every problem reported once with its file and line.
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "foundation/log.h"
#include "platform/shader_asm/shader_internal.h"

using namespace shader_detail;
using F = ShaderRegisterFile;

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower((unsigned char)c));
  return s;
}

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r')) --b;
  return s.substr(a, b - a);
}

// User text quoted in a message, kept short so one bad line gives one short line.
std::string Quote(const std::string& s) {
  if (s.size() <= 40) return "'" + s + "'";
  return "'" + s.substr(0, 37) + "...'";
}

bool IsDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit((unsigned char)c)) return false;
  return true;
}

// Decimal register or usage number; -1 if not digits, capped so huge numbers
// still read as "out of range".
int Number(const std::string& s) {
  if (!IsDigits(s)) return -1;
  long v = 0;
  for (char c : s) {
    v = v * 10 + (c - '0');
    if (v > 99999) return 99999;
  }
  return int(v);
}

int ComponentOf(char c) {
  switch (std::tolower((unsigned char)c)) {
    case 'x': case 'r': return 0;
    case 'y': case 'g': return 1;
    case 'z': case 'b': return 2;
    case 'w': case 'a': return 3;
    default: return -1;
  }
}
bool IsXyzw(char c) { return std::strchr("xyzwXYZW", c) != nullptr; }

// Letters of a swizzle or mask: 1 to 4, all from xyzw or all from rgba.
bool Components(const std::string& s, int out[4], int& n) {
  n = int(s.size());
  if (n < 1 || n > 4) return false;
  for (int i = 0; i < n; ++i) {
    out[i] = ComponentOf(s[i]);
    if (out[i] < 0 || IsXyzw(s[i]) != IsXyzw(s[0])) return false;
  }
  return true;
}

struct Register {
  F file = F::Temp;
  int index = 0;
};

class Assembler {
 public:
  Assembler(const char* fileName) : fileName_(fileName ? fileName : "(shader)") {}

  HRESULT Run(const char* text, size_t length, ShaderProgram& out);

 private:
  bool Fail(const std::string& problem) {
    if (error_.empty()) error_ = problem;
    return false;
  }
  bool Statement(const std::string& statement);
  bool Version(const std::string& word, const std::string& rest);
  bool Declaration(const std::string& word, const std::vector<std::string>& ops);
  bool Definition(const std::vector<std::string>& ops);
  bool Instruction(const std::string& word, const std::vector<std::string>& ops);
  bool ParseRegister(const std::string& text, Register& r, std::string& rest);
  bool ParseDestination(const std::string& text, ShaderDestination& d);
  bool ParseSource(const std::string& text, ShaderSource& s);
  bool ParseFloat(const std::string& text, float& out);
  bool CheckRange(F file, int index) {
    if (index < ShaderRegisterCount(program_.kind, program_.major, file)) return true;
    return Fail(RangeProblem(program_, file, index));
  }
  void DeclareImplicitInputs(const ShaderInstruction& ins);
  std::string VersionText() const { return VersionName(program_.kind, program_.major, program_.minor); }

  const char* fileName_;
  std::string error_;
  ShaderProgram program_;
  bool haveVersion_ = false;
  bool sawInstruction_ = false;
  bool explicitInputs_ = false;
};

// Splits the text at line feeds, drops comments and runs each statement.
HRESULT Assembler::Run(const char* text, size_t length, ShaderProgram& out) {
  out = ShaderProgram();
  int line = 1, commentLine = 0;
  bool inBlock = false;
  size_t i = 0;
  if (!text) length = 0;
  for (;;) {
    std::string clean;
    bool badChar = false;
    unsigned badValue = 0;
    while (i < length && text[i] != '\n') {
      char c = text[i];
      if (inBlock) {
        if (c == '*' && i + 1 < length && text[i + 1] == '/') {
          inBlock = false;
          clean += ' ';
          i += 2;
        } else {
          ++i;
        }
        continue;
      }
      if (c == ';' || (c == '/' && i + 1 < length && text[i + 1] == '/')) {
        while (i < length && text[i] != '\n') ++i;
        break;
      }
      if (c == '/' && i + 1 < length && text[i + 1] == '*') {
        inBlock = true;
        commentLine = line;
        i += 2;
        continue;
      }
      unsigned char u = (unsigned char)c;
      if ((u < 0x20 && c != '\t' && c != '\r') || u >= 0x7F) {
        if (!badChar) badValue = u;
        badChar = true;
      }
      clean += (c == '\t' || c == '\r') ? ' ' : c;  // a stray CR must not reach the log line
      ++i;
    }
    if (badChar) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "unexpected character 0x%02X", badValue);
      Fail(buf);
    } else {
      std::string statement = Trim(clean);
      if (!statement.empty()) Statement(statement);
    }
    if (!error_.empty()) break;
    if (i >= length) break;
    ++i;  // the line feed
    ++line;
  }
  if (error_.empty() && inBlock) {
    line = commentLine;
    Fail("unterminated comment");
  }
  if (error_.empty() && !haveVersion_) {
    line = 1;  // where it belongs
    Fail("missing shader version line (vs_1_1, vs_2_0 or ps_2_0)");
  }
  std::string problem;
  if (error_.empty() && !ValidateProgram(program_, problem)) Fail(problem);
  if (!error_.empty()) {
    Log("%s(%d): error: %s\n", fileName_, line, error_.c_str());
    return D3DXERR_INVALIDDATA;
  }
  out = std::move(program_);
  return D3D_OK;
}

std::vector<std::string> SplitOperands(const std::string& rest) {
  std::vector<std::string> ops;
  if (Trim(rest).empty()) return ops;
  size_t start = 0;
  for (size_t i = 0; i <= rest.size(); ++i)
    if (i == rest.size() || rest[i] == ',') {
      ops.push_back(Trim(rest.substr(start, i - start)));
      start = i + 1;
    }
  return ops;
}

bool Assembler::Statement(const std::string& statement) {
  size_t n = 0;
  while (n < statement.size() &&
         (std::isalnum((unsigned char)statement[n]) || statement[n] == '_' || statement[n] == '.'))
    ++n;
  std::string word = Lower(statement.substr(0, n));
  std::string rest = statement.substr(n);
  if (word.empty()) {
    if (statement[0] == '#') return Fail("preprocessor directives are not supported");
    return Fail("unexpected " + Quote(statement));
  }
  if (word.size() >= 2 && (word.compare(0, 2, "vs") == 0 || word.compare(0, 2, "ps") == 0) &&
      (word.size() == 2 || word[2] == '_' || word[2] == '.'))
    return Version(word, rest);
  if (!haveVersion_) return Fail("missing shader version line (vs_1_1, vs_2_0 or ps_2_0)");
  if (!rest.empty() && rest[0] != ' ' && rest[0] != '\t') return Fail("unexpected " + Quote(statement));
  std::vector<std::string> ops = SplitOperands(rest);
  for (const std::string& op : ops)
    if (op.empty()) return Fail("missing operand");
  if (word == "dcl" || word.compare(0, 4, "dcl_") == 0) return Declaration(word, ops);
  if (word == "def") return Definition(ops);
  return Instruction(word, ops);
}

bool Assembler::Version(const std::string& word, const std::string& rest) {
  if (haveVersion_) return Fail("shader version given twice");
  if (!Trim(rest).empty()) return Fail("unexpected text after the shader version");
  // vs_1_1 or vs.1.1; the minor part may be a letter form such as 2_x or 3_sw.
  std::string kind = word.substr(0, 2);
  std::string parts = word.size() > 3 ? word.substr(3) : "";
  char sep = word.size() > 2 ? word[2] : '_';
  size_t cut = parts.find(sep);
  std::string major = cut == std::string::npos ? parts : parts.substr(0, cut);
  std::string minor = cut == std::string::npos ? "" : parts.substr(cut + 1);
  if (major.size() != 1 || !std::isdigit((unsigned char)major[0]) || minor.empty() ||
      minor.find_first_of("_.") != std::string::npos)
    return Fail("unknown shader version " + Quote(word));
  std::string canonical = kind + "_" + major + "_" + minor;
  if (kind == "ps" && major == "1") return Fail("shader version " + canonical + " is not supported: use ps_2_0");
  if (canonical != "vs_1_1" && canonical != "vs_2_0" && canonical != "ps_2_0")
    return Fail("shader version " + canonical + " is not supported");
  program_.kind = kind == "vs" ? ShaderKind::Vertex : ShaderKind::Pixel;
  program_.major = uint8_t(major[0] - '0');
  program_.minor = uint8_t(minor[0] - '0');
  haveVersion_ = true;
  return true;
}

// Register name and number; `rest` receives what follows (index, swizzle).
bool Assembler::ParseRegister(const std::string& text, Register& r, std::string& rest) {
  size_t n = 0;
  while (n < text.size() && std::isalpha((unsigned char)text[n])) ++n;
  size_t d = n;
  while (d < text.size() && std::isdigit((unsigned char)text[d])) ++d;
  std::string name = Lower(text.substr(0, n));
  std::string digits = text.substr(n, d - n);
  rest = text.substr(d);
  struct Name {
    const char* text;
    F file;
    bool numbered;
  };
  static const Name kNames[] = {
      {"r", F::Temp, true},           {"v", F::Input, true},         {"c", F::Const, true},
      {"a", F::Address, true},        {"t", F::Texture, true},       {"s", F::Sampler, true},
      {"opos", F::OutPosition, false}, {"ofog", F::OutFog, false},   {"opts", F::OutPointSize, false},
      {"od", F::OutColour, true},     {"ot", F::OutTexCoord, true},  {"oc", F::OutPixel, true},
      {"odepth", F::OutDepth, false},
  };
  for (const Name& k : kNames) {
    if (name != k.text) continue;
    if (k.numbered != !digits.empty()) {
      // "c[a0.x + 4]" names a constant without a number.
      if (k.file == F::Const && digits.empty() && !rest.empty() && rest[0] == '[') {
        r.file = F::Const;
        r.index = 0;
        return true;
      }
      break;
    }
    r.file = k.file;
    r.index = k.numbered ? Number(digits) : 0;
    return true;
  }
  return Fail("unknown register " + Quote(text));
}

bool Assembler::ParseDestination(const std::string& text, ShaderDestination& d) {
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) return Fail("a destination cannot be negated");
  Register r;
  std::string rest;
  if (!ParseRegister(text, r, rest)) return false;
  d.file = r.file;
  d.index = uint16_t(std::min(r.index, 4095));
  d.mask = kWriteAll;
  if (rest.empty()) return true;
  if (rest[0] == '[') return Fail("a destination cannot be addressed relatively");
  if (rest[0] != '.') return Fail("bad operand " + Quote(text));
  int comps[4], n;
  if (!Components(rest.substr(1), comps, n)) return Fail("bad write mask " + Quote(rest));
  d.mask = 0;
  for (int i = 0; i < n; ++i) {
    if (i > 0 && comps[i] <= comps[i - 1]) return Fail("bad write mask " + Quote(rest));
    d.mask |= uint8_t(1 << comps[i]);
  }
  return true;
}

bool Assembler::ParseSource(const std::string& input, ShaderSource& s) {
  std::string text = input;
  s = ShaderSource();
  if (!text.empty() && text[0] == '-') {
    s.negate = true;
    text = Trim(text.substr(1));
  }
  Register r;
  std::string rest;
  if (!ParseRegister(text, r, rest)) return false;
  s.file = r.file;
  long index = r.index;
  if (!rest.empty() && rest[0] == '[') {
    size_t close = rest.find(']');
    if (close == std::string::npos) return Fail("bad relative address " + Quote(text));
    std::string inner = rest.substr(1, close - 1);
    rest = rest.substr(close + 1);
    bool haveA0 = false, haveTerm = false;
    size_t start = 0;
    for (size_t i = 0; i <= inner.size(); ++i) {
      if (i < inner.size() && inner[i] != '+') continue;
      std::string term = Lower(Trim(inner.substr(start, i - start)));
      start = i + 1;
      if (term.empty()) return Fail("bad relative address " + Quote(text));
      haveTerm = true;
      if (term.compare(0, 2, "a0") == 0) {
        if (haveA0) return Fail("bad relative address " + Quote(text));
        haveA0 = true;
        std::string comp = term.substr(2);
        int component = 0;
        if (!comp.empty()) {
          if (comp.size() != 2 || comp[0] != '.' || ComponentOf(comp[1]) < 0)
            return Fail("bad relative address " + Quote(text));
          component = ComponentOf(comp[1]);
        }
        s.relative = true;
        s.relativeComponent = uint8_t(component);
      } else {
        int v = Number(term);
        if (v < 0) return Fail("bad relative address " + Quote(text));
        index += v;
      }
    }
    if (!haveTerm) return Fail("bad relative address " + Quote(text));
  }
  s.index = uint16_t(std::min(index, 4095L));
  if (!CheckRange(s.file, int(std::min(index, 99999L)))) return false;
  if (rest.empty()) return true;
  if (rest[0] == '_') return Fail("source modifier " + Quote(rest) + " is not supported");
  if (rest[0] != '.') return Fail("bad operand " + Quote(input));
  int comps[4], n;
  if (!Components(rest.substr(1), comps, n)) return Fail("bad swizzle " + Quote(rest));
  s.swizzle = 0;
  for (int i = 0; i < 4; ++i) s.swizzle |= uint8_t(comps[i < n ? i : n - 1] << (2 * i));
  return true;
}

bool Assembler::ParseFloat(const std::string& text, float& out) {
  // [+-] digits [. digits] [e [+-] digits] [f], with a digit somewhere before e.
  size_t i = 0, n = text.size();
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < n && std::isdigit((unsigned char)text[i])) ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && std::isdigit((unsigned char)text[i])) ++i, ++digits;
  }
  if (digits == 0) return Fail("bad number " + Quote(text));
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    size_t e = 0;
    while (i < n && std::isdigit((unsigned char)text[i])) ++i, ++e;
    if (e == 0) return Fail("bad number " + Quote(text));
  }
  size_t end = i;
  if (i < n && (text[i] == 'f' || text[i] == 'F')) ++i;
  if (i != n) return Fail("bad number " + Quote(text));
  std::string number = text.substr(0, end);
  double v = std::strtod(number.c_str(), nullptr);
  out = float(v);
  if (!std::isfinite(out)) return Fail("number " + Quote(text) + " is out of range");
  return true;
}

bool Assembler::Definition(const std::vector<std::string>& ops) {
  if (sawInstruction_) return Fail("declarations and defs must come before the first instruction");
  if (ops.size() != 5) return Fail("def takes a constant register and four numbers");
  ShaderSource reg;
  Register r;
  std::string rest;
  if (!ParseRegister(ops[0], r, rest)) return false;
  if (r.file != F::Const || !rest.empty()) return Fail("def needs a constant register, not " + Quote(ops[0]));
  if (!CheckRange(F::Const, r.index)) return false;
  ShaderConstantDef def;
  def.index = uint16_t(r.index);
  for (int i = 0; i < 4; ++i)
    if (!ParseFloat(ops[1 + i], def.value[i])) return false;
  if (DefValue(program_, def.index)) return Fail("register c" + std::to_string(def.index) + " is defined twice");
  program_.defs.push_back(def);
  return true;
}

bool Assembler::Declaration(const std::string& word, const std::vector<std::string>& ops) {
  if (sawInstruction_) return Fail("declarations and defs must come before the first instruction");
  if (ops.size() != 1) return Fail(word + " takes one register");
  bool pixel = program_.kind == ShaderKind::Pixel;
  std::string usage = word.size() > 4 ? word.substr(4) : "";
  if (usage == "2d" || usage == "cube" || usage == "volume") {
    if (!pixel) return Fail("samplers are not available in " + VersionText());
    if (usage == "volume") return Fail("volume samplers are not supported");
    Register r;
    std::string rest;
    if (!ParseRegister(ops[0], r, rest)) return false;
    if (r.file != F::Sampler || !rest.empty()) return Fail(word + " needs a sampler register");
    if (!CheckRange(F::Sampler, r.index)) return false;
    for (const SamplerDeclaration& s : program_.samplers)
      if (s.index == r.index) return Fail("sampler s" + std::to_string(r.index) + " is declared twice");
    SamplerDeclaration s;
    s.index = uint8_t(r.index);
    s.kind = usage == "cube" ? SamplerKind::Cube : SamplerKind::Texture2D;
    program_.samplers.push_back(s);
    return true;
  }
  ShaderDestination d;
  if (!ParseDestination(ops[0], d)) return false;
  ShaderDeclaration decl;
  decl.file = d.file;
  decl.index = uint8_t(std::min<int>(d.index, 255));
  decl.mask = d.mask;
  if (pixel) {
    if (!usage.empty()) return Fail(word + " is not allowed in ps_2_0: declare inputs with dcl");
    if (d.file != F::Input && d.file != F::Texture) return Fail("dcl needs an input register (v# or t#)");
    if (!CheckRange(d.file, d.index)) return false;
    decl.usage = d.file == F::Input ? D3DDECLUSAGE_COLOR : D3DDECLUSAGE_TEXCOORD;
    decl.usageIndex = decl.index;
  } else {
    if (usage.empty()) return Fail("dcl in a vertex shader needs a usage (dcl_position, dcl_texcoord0, ...)");
    size_t cut = usage.find_first_of("0123456789");
    std::string name = usage.substr(0, cut);
    int number = cut == std::string::npos ? 0 : Number(usage.substr(cut));
    static const struct {
      const char* name;
      uint8_t usage;
    } kUsages[] = {
        {"position", D3DDECLUSAGE_POSITION}, {"blendweight", D3DDECLUSAGE_BLENDWEIGHT},
        {"blendindices", D3DDECLUSAGE_BLENDINDICES}, {"normal", D3DDECLUSAGE_NORMAL},
        {"psize", D3DDECLUSAGE_PSIZE}, {"texcoord", D3DDECLUSAGE_TEXCOORD},
        {"tangent", D3DDECLUSAGE_TANGENT}, {"binormal", D3DDECLUSAGE_BINORMAL},
        {"positiont", D3DDECLUSAGE_POSITIONT}, {"color", D3DDECLUSAGE_COLOR},
        {"fog", D3DDECLUSAGE_FOG}, {"depth", D3DDECLUSAGE_DEPTH},
    };
    bool found = false;
    for (const auto& u : kUsages)
      if (name == u.name) {
        decl.usage = u.usage;
        found = true;
      }
    if (!found) return Fail("unknown declaration " + Quote(word));
    if (number < 0 || number > 15) return Fail("usage index of " + Quote(word) + " is out of range (0-15)");
    decl.usageIndex = uint8_t(number);
    if (d.file != F::Input) return Fail(word + " needs an input register (v#)");
    if (!CheckRange(d.file, d.index)) return false;
    explicitInputs_ = true;
  }
  for (const ShaderDeclaration& e : program_.inputs)
    if (e.file == decl.file && e.index == decl.index)
      return Fail("register " + RegisterName(decl.file, decl.index) + " is declared twice");
  program_.inputs.push_back(decl);
  std::string problem;
  if (!ValidateProgram(program_, problem)) return Fail(problem);
  return true;
}

// vs_1_1 without dcl lines: the version's fixed input registers.
void Assembler::DeclareImplicitInputs(const ShaderInstruction& ins) {
  if (program_.kind != ShaderKind::Vertex || program_.major != 1 || explicitInputs_) return;
  for (int i = 0; i < ins.sourceCount; ++i) {
    const ShaderSource& s = ins.src[i];
    if (s.file != F::Input || s.index >= 16) continue;
    bool known = false;
    for (const ShaderDeclaration& d : program_.inputs) known |= d.index == s.index;
    if (known) continue;
    ShaderDeclaration d;
    d.file = F::Input;
    d.index = uint8_t(s.index);
    static const uint8_t kUsage[16][2] = {
        {D3DDECLUSAGE_POSITION, 0}, {D3DDECLUSAGE_BLENDWEIGHT, 0}, {D3DDECLUSAGE_BLENDINDICES, 0},
        {D3DDECLUSAGE_NORMAL, 0},   {D3DDECLUSAGE_PSIZE, 0},       {D3DDECLUSAGE_COLOR, 0},
        {D3DDECLUSAGE_COLOR, 1},    {D3DDECLUSAGE_TEXCOORD, 0},    {D3DDECLUSAGE_TEXCOORD, 1},
        {D3DDECLUSAGE_TEXCOORD, 2}, {D3DDECLUSAGE_TEXCOORD, 3},    {D3DDECLUSAGE_TEXCOORD, 4},
        {D3DDECLUSAGE_TEXCOORD, 5}, {D3DDECLUSAGE_TEXCOORD, 6},    {D3DDECLUSAGE_TEXCOORD, 7},
        {D3DDECLUSAGE_POSITION, 1},
    };
    d.usage = kUsage[s.index][0];
    d.usageIndex = kUsage[s.index][1];
    program_.inputs.push_back(d);
  }
}

bool Assembler::Instruction(const std::string& word, const std::vector<std::string>& ops) {
  // Mnemonic and modifiers: texld_pp, mov_sat, add_sat_pp.
  size_t cut = word.find('_');
  std::string base = word.substr(0, cut);
  bool saturate = false, pp = false;
  while (cut != std::string::npos) {
    size_t next = word.find('_', cut + 1);
    std::string mod = word.substr(cut, next == std::string::npos ? std::string::npos : next - cut);
    if (mod == "_sat") saturate = true;
    else if (mod == "_pp") pp = true;
    else return Fail("instruction modifier " + Quote(mod) + " is not supported");
    cut = next;
  }
  int op = -1;
  for (int i = 0; i < int(ShaderOpcode::Count); ++i)
    if (base == Info(ShaderOpcode(i)).name) op = i;
  if (op < 0) {
    static const char* kFlow[] = {"if", "ifc", "else", "endif", "rep", "endrep", "loop", "endloop", "call",
                                  "callnz", "ret", "label", "break", "breakc", "breakp", "setp"};
    static const char* kOther[] = {"sgn", "texldb", "texldd", "texldl", "dsx", "dsy", "bem", "cnd", "tex",
                                   "texcoord", "texbem", "texbeml", "texreg2ar", "texreg2gb", "texreg2rgb",
                                   "texm3x2pad", "texm3x2tex", "texm3x3pad", "texm3x3tex", "texm3x3spec",
                                   "texm3x3vspec", "texdp3tex", "texm3x2depth", "texdp3", "texm3x3",
                                   "texdepth", "defi", "defb", "phase", "mova_sat"};
    for (const char* f : kFlow)
      if (base == f) return Fail("flow control instruction " + Quote(base) + " is not supported");
    for (const char* f : kOther)
      if (base == f) return Fail("instruction " + Quote(base) + " is not supported");
    return Fail("unknown instruction " + Quote(word));
  }
  ShaderInstruction ins;
  ins.op = ShaderOpcode(op);
  const OpcodeInfo& info = Info(ins.op);
  if (!(info.versions & VersionBit(program_.kind, program_.major, program_.minor)))
    return Fail("instruction " + Quote(base) + " is not available in " + VersionText());
  // Shader model 2's sincos names two constant registers after its source
  // (Direct3D's series constants); D3DX refuses it without them.
  bool sincosExtra = ins.op == ShaderOpcode::SinCos;
  size_t expected = info.sources + (info.hasDestination ? 1 : 0) + (sincosExtra ? 2 : 0);
  if (ops.size() != expected)
    return Fail(Quote(base) + " takes " + std::to_string(expected) + " operand" + (expected == 1 ? "" : "s") +
                ", found " + std::to_string(ops.size()));
  ins.sourceCount = info.sources;
  size_t next = 0;
  if (ins.op == ShaderOpcode::Texkill) {
    ShaderDestination d;
    if (!ParseDestination(ops[0], d)) return false;
    ins.src[0].file = d.file;
    ins.src[0].index = d.index;
    ins.dst.mask = d.mask;
    if (saturate) return Fail("texkill takes no _sat");
    next = 1;
  } else if (info.hasDestination) {
    if (!ParseDestination(ops[0], ins.dst)) return false;
    ins.dst.saturate = saturate;
    ins.dst.partialPrecision = pp;
    next = 1;
    for (int i = 0; i < info.sources; ++i)
      if (!ParseSource(ops[next + i], ins.src[i])) return false;
  } else if (saturate) {
    return Fail(Quote(base) + " takes no modifier");
  }
  if (sincosExtra) {
    // The series constants are unused: the device computes sine and cosine itself.
    for (int i = 2; i < 4; ++i) {
      ShaderSource extra;
      if (!ParseSource(ops[i], extra)) return false;
      if (extra.file != F::Const) return Fail("sincos needs constant registers as its last two operands");
    }
  }
  // Scalar outputs hold one component; written as oFog or oFog.x.
  sawInstruction_ = true;
  DeclareImplicitInputs(ins);
  std::string problem;
  if (!ValidateInstruction(program_, ins, problem)) return Fail(problem);
  program_.code.push_back(ins);
  return true;
}

}  // namespace

HRESULT AssembleShaderText(const char* text, size_t length, const char* fileName, ShaderProgram& out) {
  Assembler a(fileName);
  return a.Run(text, length, out);
}
