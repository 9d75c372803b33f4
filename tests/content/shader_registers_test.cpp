// The shader constant registers hold the drawing code and the content
// shaders together: every register a shipped shader reads is one the program
// writes, named in the shader's header with the register table's name and
// extent, and read as what it is (a matrix by a matrix instruction from its
// first register). The table in turn is what the frame set-up and the world
// transforms really write.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gpu/recording.h"
#include "render/draw.h"
#include "render/shader_registers.h"

namespace fs = std::filesystem;

namespace {

struct Named {
  int first, last;
  std::string name;
};

// Everything a shader source says about its constant registers.
struct ShaderUse {
  ShaderStage stage = ShaderStage::kVertex;
  std::vector<Named> named;              // "; c8-c11: world" header lines
  std::set<int> own;                     // def
  std::map<int, std::string> vectorUse;  // register -> the line that reads it
  struct MatrixUse {
    int first, rows;
    std::string line;
  };
  std::vector<MatrixUse> matrixUse;
};

int MatrixRows(const std::string& op) {
  if (op == "m4x4" || op == "m3x4") return 4;
  if (op == "m4x3" || op == "m3x3") return 3;
  if (op == "m3x2") return 2;
  return 0;
}

// The constant register an operand names ("-c13.xyz" -> 13), or -1.
int ConstantRegister(std::string operand) {
  static const std::regex constant(R"(^\s*-?c(\d+)(\.[xyzwrgba]+)?\s*$)");
  std::smatch m;
  return std::regex_match(operand, m, constant) ? std::stoi(m[1]) : -1;
}

ShaderUse ReadShader(const std::string& text, const std::string& file) {
  ShaderUse use;
  use.stage = file.size() > 4 && file.substr(file.size() - 4) == ".PSH" ? ShaderStage::kPixel
                                                                       : ShaderStage::kVertex;
  static const std::regex naming(R"(^;\s*c(\d+)(?:-c(\d+))?:\s*(\S.*?)\s*$)");
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::smatch m;
    if (std::regex_match(line, m, naming)) {
      int first = std::stoi(m[1]);
      use.named.push_back({first, m[2].matched ? std::stoi(m[2]) : first, m[3]});
      continue;
    }
    std::string code = line.substr(0, line.find(';'));
    std::istringstream words(code);
    std::string op;
    if (!(words >> op) || op.rfind("dcl", 0) == 0 || op.rfind("vs_", 0) == 0 || op.rfind("ps_", 0) == 0)
      continue;
    std::string rest;
    std::getline(words, rest);
    std::vector<std::string> operands;
    std::stringstream split(rest);
    for (std::string o; std::getline(split, o, ',');) operands.push_back(o);
    if (op == "def") {
      if (!operands.empty() && ConstantRegister(operands[0]) >= 0) use.own.insert(ConstantRegister(operands[0]));
      continue;
    }
    // The first operand is written; the rest are read.
    for (size_t i = 1; i < operands.size(); i++) {
      int r = ConstantRegister(operands[i]);
      if (r < 0) continue;
      if (i == 2 && MatrixRows(op) > 0) use.matrixUse.push_back({r, MatrixRows(op), line});
      else use.vectorUse.emplace(r, line);
    }
  }
  return use;
}

const ShaderRegister* TableEntry(ShaderStage stage, const Named& n) {
  for (const ShaderRegister& r : kShaderRegisters)
    if (r.stage == stage && r.first == n.first && r.first + r.count - 1 == n.last && n.name == r.name) return &r;
  return nullptr;
}

// The problems of one shader source against the table; empty when it is sound.
std::vector<std::string> Check(const ShaderUse& use, const std::string& file) {
  std::vector<std::string> problems;
  const char* stage = use.stage == ShaderStage::kPixel ? "pixel" : "vertex";
  auto complain = [&](const std::string& what) { problems.push_back(file + ": " + what); };
  for (const Named& n : use.named) {
    if (TableEntry(use.stage, n) == nullptr)
      complain("names " + std::string(stage) + " c" + std::to_string(n.first) + "-c" + std::to_string(n.last) +
               " \"" + n.name + "\", which the program does not write with that meaning");
  }
  for (int r : use.own) {
    if (r < kFirstShaderOwnRegister) complain("def c" + std::to_string(r) + " hides a register the program writes");
  }
  auto namedAt = [&](int r) -> const Named* {
    for (const Named& n : use.named)
      if (r >= n.first && r <= n.last && TableEntry(use.stage, n)) return &n;
    return nullptr;
  };
  for (const auto& [r, line] : use.vectorUse) {
    if (use.own.count(r)) continue;
    if (namedAt(r) == nullptr)
      complain("reads " + std::string(stage) + " c" + std::to_string(r) +
               ", which is not a register its header names from the program's table: " + line);
  }
  for (const ShaderUse::MatrixUse& m : use.matrixUse) {
    const Named* n = namedAt(m.first);
    if (n == nullptr || n->first != m.first || m.first + m.rows - 1 > n->last)
      complain("reads c" + std::to_string(m.first) + "-c" + std::to_string(m.first + m.rows - 1) +
               " as a matrix, which the program does not write there: " + m.line);
  }
  return problems;
}

std::map<std::string, std::string> ContentShaders() {
  std::map<std::string, std::string> shaders;
  for (const auto& e : fs::directory_iterator(TARN_SOURCE_DIR "/content/shaders")) {
    std::ifstream in(e.path(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    shaders[e.path().filename().string()] = s.str();
  }
  return shaders;
}

TEST(ShaderRegisters, EveryContentShaderReadsOnlyWrittenRegistersByTheirMeaning) {
  std::map<std::string, std::string> shaders = ContentShaders();
  ASSERT_GE(shaders.size(), 8u);
  std::set<const ShaderRegister*> read;
  for (const auto& [file, text] : shaders) {
    ShaderUse use = ReadShader(text, file);
    for (const std::string& p : Check(use, file)) ADD_FAILURE() << p;
    for (const Named& n : use.named) read.insert(TableEntry(use.stage, n));
  }
  // The marks stay true: a register read by no shipped shader is marked as
  // written for content authors, and a marked one is read by none.
  for (const ShaderRegister& r : kShaderRegisters)
    EXPECT_EQ(read.count(&r) == 0, r.forAuthors) << "c" << r.first << " \"" << r.name << "\"";
}

TEST(ShaderRegisters, TheCheckCatchesWhatGoesWrong) {
  const std::string head = "; c8-c11: world\n; c13: light point\nvs_2_0\ndef c20, 0, 1, 0.5, 24\n";
  auto problems = [&](const std::string& body) { return Check(ReadShader(head + body, "T.VSH"), "T.VSH").size(); };
  EXPECT_EQ(problems("m4x4 r0, v0, c8\nadd r3.xyz, c13, -r0\nmax r5.x, r5.x, c20.x\n"), 0u);
  EXPECT_EQ(problems("mov r0, c14\n"), 1u) << "a register the header does not name";
  EXPECT_EQ(problems("mov r0, c40\n"), 1u) << "a register nobody writes";
  EXPECT_EQ(problems("m4x4 r0, v0, c13\n"), 1u) << "a vector read as a matrix";
  EXPECT_EQ(problems("m4x4 r0, v0, c9\n"), 1u) << "a matrix read from its second column";
  EXPECT_EQ(problems("; c12: light point\nmov r0, c12\n"), 2u) << "a name the table gives another register";
  EXPECT_EQ(problems("def c13, 0, 0, 0, 0\nmov r0, c13\n"), 1u) << "a local constant over a written one";
  // Pixel registers are another set.
  const std::string pixel = "; c2: colour\nps_2_0\nmov r0, c2\n";
  EXPECT_TRUE(Check(ReadShader(pixel, "T.PSH"), "T.PSH").empty());
  EXPECT_EQ(Check(ReadShader(pixel, "T.VSH"), "T.VSH").size(), 2u);
}

// What the table says the program writes, it writes: the frame set-up and the
// world transforms at the two world slots, on a recording device.
TEST(ShaderRegisters, TheProgramWritesEveryRegisterOfTheTable) {
  RecordingDevice* rec = CreateRecordingDevice(640, 480);
  Device = rec;
  SetupFrame(0.1, 1000);
  SetWorldTransform(kVertexSecondWorld, {1, 2, 3}, {0, 0, 0, 1});
  std::set<int> written[2];
  for (const RecordedCall& c : rec->calls()) {
    if (c.kind != CallKind::SetVertexShaderConstantF && c.kind != CallKind::SetPixelShaderConstantF) continue;
    int stage = c.kind == CallKind::SetPixelShaderConstantF ? 1 : 0;
    for (uint32_t i = 0; i < c.u[1]; i++) written[stage].insert(int(c.u[0] + i));
  }
  for (const ShaderRegister& r : kShaderRegisters)
    for (int i = 0; i < r.count; i++)
      EXPECT_EQ(written[r.stage == ShaderStage::kPixel].count(r.first + i), 1u)
          << "c" << r.first + i << " of \"" << r.name << "\" is never written";
  Device = nullptr;
  rec->Release();
}

}  // namespace
