// Helpers shared by the shader assembler suites.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>

#include "foundation/log.h"
#include "platform/shader_asm/shader_asm.h"

#ifdef _WIN32
#include <vector>

#include "platform/d3d9/native.h"

// On Windows every program the suites assemble also goes to D3DX's own
// assembler, and the programs the two do not accept or refuse alike are
// collected; d3dx_test.cpp lists them when the run ends.
struct D3DXDifference {
  std::string text;
  bool oursAccepts;
  std::string d3dxMessages;
};
inline std::vector<D3DXDifference>& D3DXDifferences() {
  static std::vector<D3DXDifference> differences;
  return differences;
}
inline int& D3DXComparisons() {
  static int count = 0;
  return count;
}
inline void CompareWithD3DX(const std::string& text, bool oursAccepts) {
  std::vector<uint32_t> code;
  std::string messages;
  bool accepted = d3d9native::AssembleShaderText(text.data(), text.size(), code, messages) >= 0;
  ++D3DXComparisons();
  if (accepted != oursAccepts) D3DXDifferences().push_back({text, oursAccepts, messages});
}
#else
inline void CompareWithD3DX(const std::string&, bool) {}
#endif

// Assembles text that must be good; fails the test with the logged line if not.
inline ShaderProgram MustAssemble(const std::string& text, const char* file = "Good.VSH") {
  ShaderProgram p;
  LogCapture log;
  HRESULT hr = AssembleShaderText(text.data(), text.size(), file, p);
  CompareWithD3DX(text, hr == D3D_OK);
  EXPECT_EQ(hr, D3D_OK) << text << "\n" << log.text();
  EXPECT_EQ(log.text(), "");
  return p;
}

// Assembles text that must be bad; returns everything logged.
inline std::string AssembleError(const std::string& text, const char* file = "Bad.VSH") {
  ShaderProgram p;
  p.code.resize(3);  // must come back empty
  LogCapture log;
  HRESULT hr = AssembleShaderText(text.data(), text.size(), file, p);
  CompareWithD3DX(text, hr == D3D_OK);
  EXPECT_EQ(hr, D3DXERR_INVALIDDATA) << text;
  EXPECT_TRUE(p.code.empty() && p.inputs.empty() && p.defs.empty() && p.samplers.empty());
  return log.text();
}

// Field-by-field equality of programs (every field the assembler sets).
inline auto Tie(const ShaderSource& s) {
  return std::tie(s.file, s.index, s.swizzle, s.negate, s.relative, s.relativeComponent);
}
inline auto Tie(const ShaderDestination& d) { return std::tie(d.file, d.index, d.mask, d.saturate, d.partialPrecision); }
inline auto Tie(const ShaderDeclaration& d) { return std::tie(d.file, d.index, d.usage, d.usageIndex, d.mask); }
inline auto Tie(const SamplerDeclaration& s) { return std::tie(s.index, s.kind); }
template <class T>
bool Same(const T& a, const T& b) { return Tie(a) == Tie(b); }
inline bool Same(const ShaderConstantDef& a, const ShaderConstantDef& b) {
  return a.index == b.index && std::memcmp(a.value, b.value, 16) == 0;
}
inline bool Same(const ShaderInstruction& x, const ShaderInstruction& y) {
  if (x.op != y.op || x.sourceCount != y.sourceCount || !Same(x.dst, y.dst)) return false;
  for (int s = 0; s < x.sourceCount; ++s)
    if (!Same(x.src[s], y.src[s])) return false;
  return true;
}
template <class T>
bool SameAll(const std::vector<T>& a, const std::vector<T>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const T& x, const T& y) { return Same(x, y); });
}
inline bool SamePrograms(const ShaderProgram& a, const ShaderProgram& b) {
  return a.kind == b.kind && a.major == b.major && a.minor == b.minor && SameAll(a.inputs, b.inputs) &&
         SameAll(a.samplers, b.samplers) && SameAll(a.defs, b.defs) && SameAll(a.code, b.code);
}

// Programs that between them use every instruction, register file and form
// the assembler accepts; shared by the round-trip, fuzz and GL suites.
inline const char* const* GoodPrograms(int& count) {
  static const char* const kPrograms[] = {
      // vs_1_1 with the version's fixed inputs (no dcl lines).
      "vs_1_1\n"
      "; transform and light\n"
      "m4x4 oPos, v0, c0      // clip position\n"
      "dp3 r0.x, v3, c13\nmax r0.x, r0.x, c14.x\nmul oD0, v5, r0.x\n"
      "mov oT0.xy, v7\nmov oT1, v8\n",
      // vs_1_1 with declarations and the vs-only instructions.
      "vs.1.1\n"
      "dcl_position0 v0\ndcl_normal v3\ndcl_texcoord0 v7.xy\n"
      "def c20, 1.0f, 0., -.5, 2\n"
      "mov a0.x, c20.w\n"
      "m4x3 r1.xyz, v0, c[a0.x + 8]\nm3x3 r2.xyz, v3, c4[a0.x]\nm3x4 r3, v3, c4\nm3x2 r4.xy, v3, c4[2]\n"
      "mov r1.w, c20.x\nm4x4 oPos, r1, c0\n"
      "rcp r5.x, r1.w\nrsq r5.y, c20.w\nexp r5.z, c20.z\nexpp r6, c20.w\nlog r5.w, c20.w\nlogp r7, c20.w\n"
      "slt r8, r1, c20\nsge r9, r1, c20\nfrc r10.xy, r1\ndst r11, r5, r6\nlit r0, r5\n"
      "sub r0, r0, -r11.wzyx\nmad oD0, r0, c20.xxxy, r8\nmin oD1, r9, c20.x\n"
      "mov oFog, r1.z\nmov oPts.x, c20.w\nadd oT0, v7.xyxy, c[2 + a0.x]\nnop\n",
      // vs_2_0 with the version 2 instructions.
      "vs_2_0\n"
      "dcl_position v0\ndcl_normal v1\ndcl_tangent v2\ndcl_binormal v4\ndcl_color v5\n"
      "dcl_texcoord0 v7\ndcl_texcoord1 v8\ndcl_blendweight v9\ndcl_psize v10\ndcl_color1 v11\n"
      "def c100, 0.5, 2, 3, 4\n"
      "m4x4 oPos, v0, c0\nmova a0.xy, v9\nmov r0, c[a0.y + 16]\n"
      "abs r1, v1\ncrs r2.xyz, v1, v2\nnrm r3, v4\nlrp r4, c100.x, v5, v11\n"
      "sincos r5.xy, c100.x, c101, c102\nsincos r5.x, r0.w, c101, c102\npow r6, c100.y, c100.z\nexpp r7, r6.x\n"
      "mov_sat oD0, r4\nmov oD1, r3\nmov oT0, v7\nmov oT7, v8\nmov oPts, v10.x\n"
      "add oT1, r1, r2\nmul oT2, r5, r6\n",
      // ps_2_0 with textures, cube, kill, cmp and depth (instructions the vertex
      // programs already use appear once more only where the pixel form differs).
      "ps_2_0\n"
      "dcl v0\ndcl v1.xyz\ndcl t0.xy\ndcl t1\ndcl t7\ndcl_2d s0\ndcl_cube s7\n"
      "def c5, 0.25, -1, 0, 1\n"
      "texld r0, t0, s0\ntexldp r1, t1, s0\ntexld_pp r2, t7, s7\ntexkill t1\ntexkill r0.xy\n"
      "cmp r3, r0, c5, -c5\ndp2add r4, t0, c5, c5.x\nlrp r5, c5.x, r0, r2\nmad_sat r6, r0, v0, v1\n"
      "pow r8, c5.x, c3.y\ndp3 r3.w, r0, r1\nnrm r4, r3\nsincos r9.xy, c4.x, c6, c7\n"
      "m3x3 r5.xyz, r0, c10\nm4x4 r6, r0, c20\ncrs r2.xyz, r1, r0\n"
      "mul oC0, r0, c2\nmov oDepth, r4.z\n",
  };
  count = int(sizeof(kPrograms) / sizeof(kPrograms[0]));
  return kPrograms;
}
