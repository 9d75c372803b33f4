// Shared between the assembler, the token reader, the GLSL writer and the
// interpreter: which instruction exists where, and the rules a program must
// keep so that the writer and the interpreter can trust it.
#pragma once
#include <string>

#include "platform/shader_asm/shader_asm.h"

namespace shader_detail {

// Versions an instruction exists in.
enum : uint8_t { kVs11 = 1, kVs20 = 2, kPs20 = 4, kAll = 7, kVs = 3, kSm2 = 6 };

struct OpcodeInfo {
  const char* name;
  uint8_t sources;
  uint8_t versions;
  bool hasDestination;
};
const OpcodeInfo& Info(ShaderOpcode op);

// kVs11, kVs20 or kPs20 for a program's kind and version; 0 if not accepted.
uint8_t VersionBit(ShaderKind kind, uint8_t major, uint8_t minor);
// "vs_1_1", "vs_2_0", "ps_2_0".
std::string VersionName(ShaderKind kind, uint8_t major, uint8_t minor);
// Register text as written in assembly: "r3", "oPos", "oD1".
std::string RegisterName(ShaderRegisterFile file, int index);

// "register r12 is out of range (vs_1_1 has r0-r11)" and its kin.
std::string RangeProblem(const ShaderProgram& program, ShaderRegisterFile file, int index);

// Rows a matrix macro reads and the dot product width (m3x2: 2 rows of dp3).
bool MatrixShape(ShaderOpcode op, int& rows, int& width);

// Checks one instruction against the program's version and declarations.
// On failure describes the problem in `problem` (assembler wording).
bool ValidateInstruction(const ShaderProgram& program, const ShaderInstruction& ins, std::string& problem);
// Checks version, declarations, defs and every instruction.
bool ValidateProgram(const ShaderProgram& program, std::string& problem);

// Scalar instructions read this component of their (swizzled) source.
inline int ScalarComponent(const ShaderSource& s) { return SwizzleComponent(s.swizzle, 3); }

// The value a def gives register `index`, or null.
const float* DefValue(const ShaderProgram& program, int index);

}  // namespace shader_detail
