// What both shader targets do with a program that was accepted: the token
// stream must carry it unchanged, and the GLSL translation and the CPU
// interpreter must handle it.
#pragma once
#include <cmath>
#include <vector>

#include "platform/shader_asm/shader_asm.h"
#include "tests/fuzz/fuzz_support.h"

namespace fuzz {

inline void Sample(void*, int sampler, SamplerKind, const float coord[4], float out[4]) {
  for (int i = 0; i < 4; i++) out[i] = std::fabs(std::sin(coord[i] + float(sampler)));
}

inline void ExerciseProgram(const ShaderProgram& program) {
  std::vector<uint32_t> tokens;
  SerializeShader(program, tokens);
  FUZZ_CHECK(ShaderTokenCount(tokens.data()) == tokens.size());
  SaveDerived("tokens", tokens.data(), tokens.size() * 4);
  ShaderProgram again;
  FUZZ_CHECK(DeserializeShader(tokens.data(), tokens.size(), again));
  std::vector<uint32_t> retokens;
  SerializeShader(again, retokens);
  FUZZ_CHECK(retokens == tokens);

  FUZZ_CHECK(!TranslateToGLSL(program).empty());
  static ShaderState state;  // large: kept off the stack
  state = ShaderState();
  for (int r = 0; r < 16; r++)
    for (int k = 0; k < 4; k++) state.v[r][k] = 0.25f * float(r - k);
  for (int r = 0; r < 8; r++)
    for (int k = 0; k < 4; k++) state.t[r][k] = 0.1f * float(r + k);
  for (int r = 0; r < 256; r++)
    for (int k = 0; k < 4; k++) state.c[r][k] = float((r * 7 + k) % 13) - 6.0f;
  state.sample = Sample;
  InterpretShader(program, state);
}

}  // namespace fuzz
