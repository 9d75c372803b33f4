// The shader assembler: Direct3D 9 shader assembly text (vs_1_1, vs_2_0,
// ps_2_0) in, a small instruction list out. The list travels as a stream of
// 32-bit tokens (the "assembled code" handed to CreateVertexShader /
// CreatePixelShader), is translated to GLSL 330 core by the GL device, and
// can be run on the CPU by the interpreter below, so tests compare what GL
// draws with what the shader means, instruction by instruction.
//
// Linkage conventions shared with the GL device (platform/gl):
//
// * Vertex attributes are bound by usage at fixed locations, see
//   AttributeLocation(): POSITION0/POSITIONT0 0, NORMAL0 1, COLOR0 2,
//   COLOR1 3, TANGENT0 4, BINORMAL0 5, TEXCOORD0..7 6..13, PSIZE0 14,
//   BLENDWEIGHT0 15. Every declared input v<N> reads attribute
//   `in vec4 a<location>`; a missing component reads as GL's (0, 0, 0, 1),
//   which is also Direct3D's default for a partial input. An input whose
//   usage has no location reads (0, 0, 0, 1).
//   A vs_1_1 program without dcl lines gets implicit declarations for the
//   inputs it reads, with the fixed meaning of that version: v0 POSITION0,
//   v1 BLENDWEIGHT0, v3 NORMAL0, v4 PSIZE0, v5 COLOR0, v6 COLOR1,
//   v7..v14 TEXCOORD0..7 (v2 and v15 have no attribute).
// * Constants: `uniform vec4 vc[256];` in vertex programs, `uniform vec4
//   pc[32];` in pixel programs, uploaded as given (no transposition).
//   Registers set by `def` become GLSL constants and take precedence over
//   the uniform, as in Direct3D. A relative read outside 0..255 gives
//   (0, 0, 0, 0).
// * Samplers: `uniform sampler2D s<N>;` or `uniform samplerCube s<N>;` for
//   each declared sampler; the device binds uniform s<N> to texture unit N.
// * Varyings: every vertex program (and the device's generated
//   fixed-function vertex side) declares `out vec4 vD0, vD1, vT0 .. vT7;`
//   (oD0, oD1, oT0..oT7). Outputs the program does not write keep the
//   defaults kVertexColour0Default (1,1,1,1), kVertexColour1Default
//   (0,0,0,0) and kTexCoordDefault (0,0,0,1): white diffuse and no specular
//   as the fixed-function pipeline supplies, and the (0,0,0,1) that Direct3D
//   drivers fill into missing texture-coordinate components. Colours are
//   clamped to 0..1 on output (ps_2_0 sees saturated colour inputs).
//   A pixel program reads v0/v1 from vD0/vD1 and t0..t7 from vT0..vT7, so
//   any vertex side links with any pixel side.
// * The vertex epilogue remaps depth: gl_Position = (oPos.x, oPos.y,
//   2 * oPos.z - oPos.w, oPos.w) turns Direct3D's 0..1 depth into GL's
//   -1..1. oPts goes to gl_PointSize; oFog has no consumer.
// * Pixel output: `layout(location = 0) out vec4 oC0;`; oDepth, when
//   written, goes to gl_FragDepth.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gpu/types.h"

enum class ShaderKind : uint8_t { Vertex = 0, Pixel = 1 };

enum class ShaderRegisterFile : uint8_t {
  Temp = 0,          // r#
  Input = 1,         // v# (vertex attributes; ps colour inputs v0, v1)
  Const = 2,         // c#
  Address = 3,       // a0
  Texture = 4,       // t# (ps texture-coordinate inputs)
  Sampler = 5,       // s#
  OutPosition = 6,   // oPos
  OutFog = 7,        // oFog (scalar, .x)
  OutPointSize = 8,  // oPts (scalar, .x)
  OutColour = 9,     // oD0, oD1
  OutTexCoord = 10,  // oT0..oT7
  OutPixel = 11,     // oC0
  OutDepth = 12,     // oDepth (scalar, .x)
  Count = 13,
};

enum class ShaderOpcode : uint8_t {
  Nop = 0, Mov, Add, Sub, Mul, Mad, Dp3, Dp4, Rcp, Rsq, Exp, Expp, Log, Logp,
  Pow, Min, Max, Slt, Sge, Frc, Abs, Crs, Nrm, Lrp, SinCos, Cmp,
  M4x4, M4x3, M3x4, M3x3, M3x2, Mova, Dst, Lit, Texld, Texldp, Texkill,
  Dp2add,
  Count,
};

// Mnemonic of an opcode ("mov", "m4x4", ...).
const char* ShaderOpcodeName(ShaderOpcode op);
// Number of source operands an opcode takes (sincos: 1; vs_2_0's two extra
// sincos constants are checked by the assembler and dropped).
int ShaderOpcodeSourceCount(ShaderOpcode op);

// Swizzle: two bits per destination component, component 0 in bits 0-1.
// 0 = x, 1 = y, 2 = z, 3 = w. The identity .xyzw is 0xE4.
constexpr uint8_t kSwizzleIdentity = 0xE4;
inline int SwizzleComponent(uint8_t swizzle, int i) { return (swizzle >> (2 * i)) & 3; }

// Write mask bits: 1 = x, 2 = y, 4 = z, 8 = w.
constexpr uint8_t kWriteAll = 0xF;

struct ShaderSource {
  ShaderRegisterFile file = ShaderRegisterFile::Temp;
  uint16_t index = 0;              // register number; with relative, the offset
  uint8_t swizzle = kSwizzleIdentity;
  bool negate = false;
  bool relative = false;           // c[a0.<relativeComponent> + index]
  uint8_t relativeComponent = 0;   // 0..3, which a0 component
};

struct ShaderDestination {
  ShaderRegisterFile file = ShaderRegisterFile::Temp;
  uint16_t index = 0;
  uint8_t mask = kWriteAll;
  bool saturate = false;           // _sat: clamp to 0..1
  bool partialPrecision = false;   // _pp: accepted, full precision anyway
};

struct ShaderInstruction {
  ShaderOpcode op = ShaderOpcode::Nop;
  uint8_t sourceCount = 0;
  ShaderDestination dst;           // unused by nop and texkill
  ShaderSource src[3];             // texkill: src[0] is the tested register
};

// dcl_<usage><n> v# (vertex inputs) or dcl v#/t# (pixel inputs; usage
// COLOR/TEXCOORD with the register number as index).
struct ShaderDeclaration {
  ShaderRegisterFile file = ShaderRegisterFile::Input;  // Input or Texture
  uint8_t index = 0;
  uint8_t usage = 0;        // D3DDECLUSAGE_*
  uint8_t usageIndex = 0;
  uint8_t mask = kWriteAll; // declared components
};

enum class SamplerKind : uint8_t { Texture2D = 0, Cube = 1 };

struct SamplerDeclaration {
  uint8_t index = 0;  // s0..s15
  SamplerKind kind = SamplerKind::Texture2D;
};

struct ShaderConstantDef {
  uint16_t index = 0;  // c#
  float value[4] = {0, 0, 0, 0};
};

struct ShaderProgram {
  ShaderKind kind = ShaderKind::Vertex;
  uint8_t major = 1, minor = 1;
  std::vector<ShaderDeclaration> inputs;
  std::vector<SamplerDeclaration> samplers;
  std::vector<ShaderConstantDef> defs;
  std::vector<ShaderInstruction> code;
};

// Register counts per file for a program's version (0: file not available).
// Temporaries: 12 in every accepted version; constants: 256 vertex, 32 pixel;
// v: 16 vertex, 2 pixel; t: 8; s: 16; oD: 2; oT: 8; a0, oPos, oFog, oPts,
// oC0, oDepth: 1.
int ShaderRegisterCount(ShaderKind kind, uint8_t major, ShaderRegisterFile file);

// Assembles text[0 .. length) (NULs end nothing early; a NUL is a bad
// character). On success fills out and returns D3D_OK. On any error returns
// D3DXERR_INVALIDDATA, leaves out empty, and logs exactly one line:
//   "<fileName>(<line>): error: <problem>\n"
// fileName may be null ("(shader)" is used).
HRESULT AssembleShaderText(const char* text, size_t length, const char* fileName, ShaderProgram& out);

// Token stream: version token (0xFFFE0000 | major << 8 | minor for vertex,
// 0xFFFF0000 | ... for pixel), then counted sections, then the end token
// 0x0000FFFF. Self-delimiting: a reader needs only the start pointer.
constexpr uint32_t kShaderEndToken = 0x0000FFFF;
void SerializeShader(const ShaderProgram& program, std::vector<uint32_t>& tokens);
// Reads a stream written by SerializeShader. Every count is bounded and every
// field validated (register ranges for the version, opcodes, operand counts,
// declarations), and reading stops at the first bad token, so garbage gives
// false (out left empty). Without a length the reader trusts the stream's own
// counts: it never reads more than kMaxShaderTokens tokens, and never past
// the end token of a well-formed stream.
constexpr size_t kMaxShaderTokens = 21798;
bool DeserializeShader(const uint32_t* tokens, ShaderProgram& out);
// The same with a known length: never reads tokens[count] or beyond.
bool DeserializeShader(const uint32_t* tokens, size_t count, ShaderProgram& out);
// Number of tokens of a well-formed stream including the end token, 0 if bad.
size_t ShaderTokenCount(const uint32_t* tokens);

// Fixed attribute location for a vertex input usage, -1 if it has none.
int AttributeLocation(uint8_t usage, uint8_t index);

// Default values of vertex outputs the program does not write.
constexpr float kVertexColour0Default[4] = {1, 1, 1, 1};
constexpr float kVertexColour1Default[4] = {0, 0, 0, 0};
constexpr float kTexCoordDefault[4] = {0, 0, 0, 1};

// GLSL 330 core source for the program (conventions above).
std::string TranslateToGLSL(const ShaderProgram& program);

// CPU interpreter. Same formulas as the GLSL translation.
// sample(user, sampler, kind, coord, out): coord is the texture coordinate
// (2D: x, y; cube: x, y, z direction; texldp has already divided by w);
// write RGBA into out. A null sample reads (0, 0, 0, 1) like an unbound
// sampler.
typedef void (*ShaderSampleFn)(void* user, int sampler, SamplerKind kind, const float coord[4], float out[4]);

struct ShaderState {
  // Inputs. Vertex: v[0..15] are the vertex's registers (attributes already
  // placed by register). Pixel: v[0], v[1] colours, t[0..7] coordinates.
  float v[16][4] = {};
  float t[8][4] = {};
  float c[256][4] = {};  // constants as uploaded (def'd registers win)
  ShaderSampleFn sample = nullptr;
  void* sampleUser = nullptr;

  // Outputs (set by InterpretShader). Unwritten ones hold the defaults:
  // oPos and oC0 (0, 0, 0, 0), oD/oT as kVertexColour*Default and
  // kTexCoordDefault, oFog 0, oPts 1.
  float oPos[4] = {};
  float oD[2][4] = {};
  float oT[8][4] = {};
  float oFog = 0, oPts = 0;
  float oC0[4] = {};
  float oDepth = 0;
  bool depthWritten = false;
  bool discarded = false;  // texkill fired

  // Working registers, left as the program ended (for inspection).
  float r[12][4] = {};
  int a0[4] = {};
};

// Runs the program once. Temporaries and a0 start at zero; vertex colour
// outputs come out clamped to 0..1 as the rasteriser hands them on. A
// program that fails the assembler's checks (built by hand) is not run: the
// outputs keep their defaults.
void InterpretShader(const ShaderProgram& program, ShaderState& state);
