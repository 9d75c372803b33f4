// Helpers shared by the shader assembler suites.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/log.h"
#include "platform/shader_asm/shader_asm.h"

// Assembles text that must be good; fails the test with the logged line if not.
inline ShaderProgram MustAssemble(const std::string& text, const char* file = "Good.VSH") {
  ShaderProgram p;
  LogCapture log;
  HRESULT hr = AssembleShaderText(text.data(), text.size(), file, p);
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
  EXPECT_EQ(hr, D3DXERR_INVALIDDATA) << text;
  EXPECT_TRUE(p.code.empty() && p.inputs.empty() && p.defs.empty() && p.samplers.empty());
  return log.text();
}

inline bool SameSource(const ShaderSource& a, const ShaderSource& b) {
  return a.file == b.file && a.index == b.index && a.swizzle == b.swizzle && a.negate == b.negate &&
         a.relative == b.relative && a.relativeComponent == b.relativeComponent;
}

inline bool SamePrograms(const ShaderProgram& a, const ShaderProgram& b) {
  if (a.kind != b.kind || a.major != b.major || a.minor != b.minor || a.inputs.size() != b.inputs.size() ||
      a.samplers.size() != b.samplers.size() || a.defs.size() != b.defs.size() || a.code.size() != b.code.size())
    return false;
  for (size_t i = 0; i < a.inputs.size(); ++i) {
    const ShaderDeclaration &x = a.inputs[i], &y = b.inputs[i];
    if (x.file != y.file || x.index != y.index || x.usage != y.usage || x.usageIndex != y.usageIndex ||
        x.mask != y.mask)
      return false;
  }
  for (size_t i = 0; i < a.samplers.size(); ++i)
    if (a.samplers[i].index != b.samplers[i].index || a.samplers[i].kind != b.samplers[i].kind) return false;
  for (size_t i = 0; i < a.defs.size(); ++i)
    if (a.defs[i].index != b.defs[i].index || std::memcmp(a.defs[i].value, b.defs[i].value, 16) != 0) return false;
  for (size_t i = 0; i < a.code.size(); ++i) {
    const ShaderInstruction &x = a.code[i], &y = b.code[i];
    if (x.op != y.op || x.sourceCount != y.sourceCount || x.dst.file != y.dst.file || x.dst.index != y.dst.index ||
        x.dst.mask != y.dst.mask || x.dst.saturate != y.dst.saturate ||
        x.dst.partialPrecision != y.dst.partialPrecision)
      return false;
    for (int s = 0; s < x.sourceCount; ++s)
      if (!SameSource(x.src[s], y.src[s])) return false;
  }
  return true;
}

// Programs that between them use every instruction, register file and form
// the assembler accepts; shared by the round-trip, fuzz and GL suites.
inline const char* const* GoodPrograms(int& count) {
  static const char* const kPrograms[] = {
      // vs_1_1 with the version's fixed inputs (no dcl lines).
      "vs_1_1\n"
      "; transform and light\n"
      "m4x4 oPos, v0, c0      // clip position\n"
      "dp3 r0.x, v3, c13\n"
      "max r0.x, r0.x, c14.x\n"
      "mul oD0, v5, r0.x\n"
      "mov oT0.xy, v7\n"
      "mov oT1, v8\n",
      // vs_1_1 with declarations and the vs-only instructions.
      "vs.1.1\n"
      "dcl_position0 v0\n"
      "dcl_normal v3\n"
      "dcl_texcoord0 v7.xy\n"
      "def c20, 1.0f, 0., -.5, 2\n"
      "mov a0.x, c20.w\n"
      "m4x3 r1.xyz, v0, c[a0.x + 8]\n"
      "m3x3 r2.xyz, v3, c4[a0.x]\n"
      "m3x4 r3, v3, c4\n"
      "m3x2 r4.xy, v3, c4[2]\n"
      "mov r1.w, c20.x\n"
      "m4x4 oPos, r1, c0\n"
      "rcp r5.x, r1.w\n"
      "rsq r5.y, c20.w\n"
      "exp r5.z, c20.z\n"
      "expp r6, c20.w\n"
      "log r5.w, c20.w\n"
      "logp r7, c20.w\n"
      "slt r8, r1, c20\n"
      "sge r9, r1, c20\n"
      "frc r10.xy, r1\n"
      "dst r11, r5, r6\n"
      "lit r0, r5\n"
      "sub r0, r0, -r11.wzyx\n"
      "mad oD0, r0, c20.xxxy, r8\n"
      "min oD1, r9, c20.x\n"
      "mov oFog, r1.z\n"
      "mov oPts.x, c20.w\n"
      "add oT0, v7.xyxy, c[2 + a0.x]\n"
      "nop\n",
      // vs_2_0 with the version 2 instructions.
      "vs_2_0\n"
      "dcl_position v0\n"
      "dcl_normal v1\n"
      "dcl_tangent v2\n"
      "dcl_binormal v4\n"
      "dcl_color v5\n"
      "dcl_texcoord0 v7\n"
      "dcl_texcoord1 v8\n"
      "dcl_blendweight v9\n"
      "dcl_psize v10\n"
      "dcl_color1 v11\n"
      "def c100, 0.5, 2, 3, 4\n"
      "m4x4 oPos, v0, c0\n"
      "mova a0.xy, v9\n"
      "mov r0, c[a0.y + 16]\n"
      "abs r1, v1\n"
      "crs r2.xyz, v1, v2\n"
      "nrm r3, v4\n"
      "lrp r4, c100.x, v5, v11\n"
      "sincos r5.xy, c100.x, c101, c102\n"
      "sincos r5.x, r0.w\n"
      "pow r6, c100.y, c100.z\n"
      "mov_sat oD0, r4\n"
      "mov oD1, r3\n"
      "mov oT0, v7\n"
      "mov oT7, v8\n"
      "mov oPts, v10.x\n"
      "expp r7, r6.x\n"
      "add oT1, r1, r2\n"
      "mul oT2, r5, r6\n",
      // ps_2_0 with textures, cube, kill, cmp and depth (instructions the vertex
      // programs already use appear once more only where the pixel form differs).
      "ps_2_0\n"
      "dcl v0\n"
      "dcl v1.xyz\n"
      "dcl t0.xy\n"
      "dcl t1\n"
      "dcl t7\n"
      "dcl_2d s0\n"
      "dcl_cube s7\n"
      "def c5, 0.25, -1, 0, 1\n"
      "texld r0, t0, s0\n"
      "texldp r1, t1, s0\n"
      "texld_pp r2, t7, s7\n"
      "texkill t1\n"
      "texkill r0.xy\n"
      "cmp r3, r0, c5, -c5\n"
      "dp2add r4, t0, c5, c5.x\n"
      "lrp r5, c5.x, r0, r2\n"
      "mad_sat r6, r0, v0, v1\n"
      "pow r8, c5.x, c3.y\n"
      "dp3 r3.w, r0, r1\n"
      "nrm r4, r3\n"
      "sincos r9.xy, c4.x, c6, c7\n"
      "m3x3 r5.xyz, r0, c10\n"
      "m4x4 r6, r0, c20\n"
      "crs r2.xyz, r1, r0\n"
      "mul oC0, r0, c2\n"
      "mov oDepth, r4.z\n",
  };
  count = int(sizeof(kPrograms) / sizeof(kPrograms[0]));
  return kPrograms;
}
