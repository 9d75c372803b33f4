// Shader assembly text: the assembler, then everything downstream of a
// program it accepts (token stream both ways, GLSL, the interpreter).
#include <string>

#include "foundation/log.h"
#include "platform/shader_asm/shader_asm.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/shader_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ShaderProgram program;
  HRESULT hr;
  {
    LogCapture log;
    hr = AssembleShaderText(reinterpret_cast<const char*>(data), size, "fuzz.vsh", program);
    if (hr != D3D_OK) {
      // A refused text says why in exactly one line and yields nothing.
      FUZZ_CHECK(log.lines().size() == 1 && log.text().rfind("fuzz.vsh(", 0) == 0);
      FUZZ_CHECK(program.code.empty() && program.inputs.empty() && program.defs.empty());
      return 0;
    }
  }
  fuzz::ExerciseProgram(program);
  return 0;
}
