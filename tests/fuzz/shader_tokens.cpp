// The shader token stream as a device receives it (with and without a known
// length), then the GLSL translation and the interpreter of what it accepts.
#include <cstring>
#include <vector>

#include "platform/shader_asm/shader_asm.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/shader_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t count = size / 4;
  std::vector<uint32_t> tokens(count);
  if (count) std::memcpy(tokens.data(), data, count * 4);
  ShaderProgram program;
  const bool ok = DeserializeShader(tokens.data(), count, program);
  if (count <= kMaxShaderTokens) {
    // Without a length the reader may run to kMaxShaderTokens tokens, so it
    // gets the stream followed by zeros (which never form the end token):
    // it must accept exactly what the counted reader accepts.
    std::vector<uint32_t> padded(tokens);
    padded.resize(kMaxShaderTokens + 1, 0);
    ShaderProgram unbounded;
    FUZZ_CHECK(DeserializeShader(padded.data(), unbounded) == ok);
    const size_t used = ShaderTokenCount(padded.data());
    FUZZ_CHECK(ok ? used >= 2 && used <= count : used == 0);
  }
  if (!ok) {
    FUZZ_CHECK(program.code.empty() && program.inputs.empty());
    return 0;
  }
  fuzz::ExerciseProgram(program);
  return 0;
}
