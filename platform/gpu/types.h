// The Direct3D 9 vocabulary the drawing code speaks: result codes, state and
// format enumerations with Direct3D's own values, so the drawing code reads
// like the design and recorded calls compare against familiar numbers.
#pragma once
#include <cstdint>

typedef int32_t HRESULT;
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

constexpr HRESULT D3D_OK = 0;
constexpr HRESULT S_FALSE_ = 1;
constexpr HRESULT E_FAIL_ = (HRESULT)0x80004005;
constexpr HRESULT E_OUTOFMEMORY_ = (HRESULT)0x8007000E;
constexpr HRESULT D3DERR_NOTAVAILABLE = (HRESULT)0x8876086A;
constexpr HRESULT D3DERR_INVALIDCALL = (HRESULT)0x8876086C;
constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = (HRESULT)0x8876017C;
constexpr HRESULT D3DXERR_INVALIDDATA = (HRESULT)0x88760B59;

enum D3DTRANSFORMSTATETYPE : uint32_t {
  D3DTS_VIEW = 2,
  D3DTS_PROJECTION = 3,
  D3DTS_WORLD = 256,
};

enum D3DRENDERSTATETYPE : uint32_t {
  D3DRS_ZENABLE = 7,
  D3DRS_ZWRITEENABLE = 14,
  D3DRS_SRCBLEND = 19,
  D3DRS_DESTBLEND = 20,
  D3DRS_CULLMODE = 22,
  D3DRS_ZFUNC = 23,
  D3DRS_ALPHABLENDENABLE = 27,
  D3DRS_LIGHTING = 137,
  D3DRS_SCISSORTESTENABLE = 174,
};
enum : uint32_t { D3DZB_FALSE = 0, D3DZB_TRUE = 1 };
enum : uint32_t {
  D3DCMP_NEVER = 1,
  D3DCMP_LESS = 2,
  D3DCMP_EQUAL = 3,
  D3DCMP_LESSEQUAL = 4,
  D3DCMP_GREATER = 5,
  D3DCMP_NOTEQUAL = 6,
  D3DCMP_GREATEREQUAL = 7,
  D3DCMP_ALWAYS = 8,
};
enum : uint32_t { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 };
enum : uint32_t {
  D3DBLEND_ZERO = 1,
  D3DBLEND_ONE = 2,
  D3DBLEND_SRCCOLOR = 3,
  D3DBLEND_INVSRCCOLOR = 4,
  D3DBLEND_SRCALPHA = 5,
  D3DBLEND_INVSRCALPHA = 6,
};

enum D3DSAMPLERSTATETYPE : uint32_t {
  D3DSAMP_ADDRESSU = 1,
  D3DSAMP_ADDRESSV = 2,
  D3DSAMP_ADDRESSW = 3,
  D3DSAMP_MAGFILTER = 5,
  D3DSAMP_MINFILTER = 6,
  D3DSAMP_MIPFILTER = 7,
  D3DSAMP_MIPMAPLODBIAS = 8,  // a float's bits
};
enum : uint32_t { D3DTEXF_NONE = 0, D3DTEXF_POINT = 1, D3DTEXF_LINEAR = 2 };
enum : uint32_t { D3DTADDRESS_WRAP = 1, D3DTADDRESS_MIRROR = 2, D3DTADDRESS_CLAMP = 3 };

enum D3DPRIMITIVETYPE : uint32_t {
  D3DPT_POINTLIST = 1,
  D3DPT_LINELIST = 2,
  D3DPT_LINESTRIP = 3,
  D3DPT_TRIANGLELIST = 4,
  D3DPT_TRIANGLESTRIP = 5,
  D3DPT_TRIANGLEFAN = 6,
};

// Flexible vertex format bits.
enum : uint32_t {
  D3DFVF_XYZ = 0x002,
  D3DFVF_XYZRHW = 0x004,
  D3DFVF_NORMAL = 0x010,
  D3DFVF_DIFFUSE = 0x040,
  D3DFVF_SPECULAR = 0x080,
  D3DFVF_TEX0 = 0x000,
  D3DFVF_TEX1 = 0x100,
  D3DFVF_TEX2 = 0x200,
  D3DFVF_TEXCOUNT_MASK = 0xF00,
  D3DFVF_TEXCOUNT_SHIFT = 8,
};

enum : uint32_t { D3DCLEAR_TARGET = 1, D3DCLEAR_ZBUFFER = 2, D3DCLEAR_STENCIL = 4 };

enum D3DFORMAT : uint32_t {
  D3DFMT_UNKNOWN = 0,
  D3DFMT_R8G8B8 = 20,
  D3DFMT_A8R8G8B8 = 21,
  D3DFMT_X8R8G8B8 = 22,
  D3DFMT_D24S8 = 75,
  D3DFMT_INDEX16 = 101,
  D3DFMT_INDEX32 = 102,
  D3DFMT_DXT1 = 0x31545844,  // 'DXT1'
  D3DFMT_DXT3 = 0x33545844,
  D3DFMT_DXT5 = 0x35545844,
};

enum D3DRESOURCETYPE : uint32_t {
  D3DRTYPE_TEXTURE = 3,
  D3DRTYPE_CUBETEXTURE = 5,
};

enum : uint32_t { D3DUSAGE_WRITEONLY = 8, D3DPOOL_DEFAULT = 0, D3DPOOL_MANAGED = 1 };
enum : uint32_t { D3DLOCK_DISCARD = 0x2000 };

// Vertex declarations.
enum : uint8_t {
  D3DDECLTYPE_FLOAT1 = 0,
  D3DDECLTYPE_FLOAT2 = 1,
  D3DDECLTYPE_FLOAT3 = 2,
  D3DDECLTYPE_FLOAT4 = 3,
  D3DDECLTYPE_D3DCOLOR = 4,
  D3DDECLTYPE_UNUSED = 17,
};
enum : uint8_t { D3DDECLMETHOD_DEFAULT = 0 };
enum : uint8_t {
  D3DDECLUSAGE_POSITION = 0,
  D3DDECLUSAGE_BLENDWEIGHT = 1,
  D3DDECLUSAGE_BLENDINDICES = 2,
  D3DDECLUSAGE_NORMAL = 3,
  D3DDECLUSAGE_PSIZE = 4,
  D3DDECLUSAGE_TEXCOORD = 5,
  D3DDECLUSAGE_TANGENT = 6,
  D3DDECLUSAGE_BINORMAL = 7,
  D3DDECLUSAGE_POSITIONT = 9,
  D3DDECLUSAGE_COLOR = 10,
  D3DDECLUSAGE_FOG = 11,
  D3DDECLUSAGE_DEPTH = 12,
};
struct D3DVERTEXELEMENT9 {
  uint16_t Stream;  // 0xFF ends the list
  uint16_t Offset;
  uint8_t Type;
  uint8_t Method;
  uint8_t Usage;
  uint8_t UsageIndex;
};
#define D3DDECL_END() \
  { 0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0 }

// Direct3D's RECT for SetScissorRect: back-buffer pixels, right and bottom
// exclusive.
struct D3DSCISSORRECT {
  int32_t left, top, right, bottom;
};

struct D3DVIEWPORT9 {
  uint32_t X, Y, Width, Height;
  float MinZ, MaxZ;
};

// Row-major, row vectors (as Direct3D): translation in _41.._43.
struct D3DMATRIX {
  float m[4][4];
};

// Packs 0..255 channels into ARGB.
constexpr uint32_t D3DCOLOR_ARGB(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return ((a & 0xFF) << 24) | ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF);
}
