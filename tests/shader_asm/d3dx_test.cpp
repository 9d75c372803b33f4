// Windows only: our assembler beside D3DX's. Every content shader must
// assemble with both; every program of the other suites goes to both as well
// (asm_test_util.h), and the ones they judge differently are listed when the
// run ends, for a person to decide which is right.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/shader_asm/asm_test_util.h"

namespace {

TEST(D3DXCrossCheck, EveryContentShaderAssemblesWithBoth) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(TARN_SOURCE_DIR "/content/shaders")) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string name = entry.path().filename().string();
    MustAssemble(text.str(), name.c_str());
    std::vector<uint32_t> code;
    std::string messages;
    EXPECT_GE(d3d9native::AssembleShaderText(text.str().data(), text.str().size(), code, messages), 0)
        << name << ": " << messages;
    // D3DX's code is what Direct3D takes: a version token first, the end token last.
    ASSERT_GE(code.size(), 2u) << name;
    EXPECT_EQ(code[0] >> 16, name.find(".PSH") != std::string::npos ? 0xFFFFu : 0xFFFEu) << name;
    EXPECT_EQ(code.back(), kShaderEndToken) << name;
    ++files;
  }
  EXPECT_EQ(files, 11);  // the menu's and the ground's among them
}

class D3DXReport : public ::testing::Environment {
 public:
  void TearDown() override {
    std::printf("D3DX cross-check: %d programs, %zu judged differently\n", D3DXComparisons(),
                D3DXDifferences().size());
    for (const D3DXDifference& d : D3DXDifferences()) {
      std::string text = d.text, messages = d.d3dxMessages;
      for (std::string* s : {&text, &messages})
        for (char& c : *s)
          if (c == '\n' || c == '\r') c = '|';
      std::printf("D3DX differs: ours %s, D3DX %s: %s  [D3DX: %s]\n",
                  d.oursAccepts ? "accepts" : "refuses", d.oursAccepts ? "refuses" : "accepts",
                  text.c_str(), messages.c_str());
    }
  }
};
::testing::Environment* const report = ::testing::AddGlobalTestEnvironment(new D3DXReport);

}  // namespace
