#include "tests/gl/gl_test_util.h"

namespace {

struct XyzColourVertex { float x, y, z; uint32_t colour; };

TEST_F(GLDeviceTest, FixedFunctionTrianglePlacedThroughWorldViewProjection) {
  // The frame set-up's projection: view Y is depth, Z is up; 90 degrees.
  const float n = 0.1f, f = 100.0f, q = f / (f - n);
  const D3DMATRIX proj = {{{1, 0, 0, 0}, {0, 0, q, 1}, {0, 1, 0, 0}, {0, 0, -n * q, 0}}};
  // The camera turned a quarter about Z: view space X = world Y, view Y = -world X.
  const D3DMATRIX view = {{{0, -1, 0, 0}, {1, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  // Two metres along world -X (in front of the camera), half a metre to the right.
  const D3DMATRIX world = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {-2, 0.5f, 0, 1}}};
  dev->SetTransform(D3DTS_PROJECTION, &proj);
  dev->SetTransform(D3DTS_VIEW, &view);
  dev->SetTransform(D3DTS_WORLD, &world);
  ASSERT_EQ(dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0), D3D_OK);
  // On screen: A left-bottom, B right-bottom, C top: counter-clockwise as seen.
  XyzColourVertex tri[3] = {{0, -1, -1, 0xFFFF0000}, {0, 1, -1, 0xFFFF0000}, {0, 0, 1, 0xFFFF0000}};
  dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof tri[0]), D3D_OK);
  // Screen position of each corner, computed the Direct3D way.
  float sx[3], sy[3];
  for (int k = 0; k < 3; ++k) {
    float c[4] = {tri[k].x, tri[k].y, tri[k].z, 1.0f};
    for (const D3DMATRIX* m : {&world, &view, &proj}) {
      float r[4] = {};
      for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) r[j] += c[i] * m->m[i][j];
      std::memcpy(c, r, sizeof c);
    }
    sx[k] = (c[0] / c[3] + 1.0f) * 0.5f * kWidth;
    sy[k] = (1.0f - c[1] / c[3]) * 0.5f * kHeight;
  }
  int mx = int((sx[0] + sx[1] + sx[2]) / 3), my = int((sy[0] + sy[1] + sy[2]) / 3);
  Read();
  EXPECT_EQ(PixelCached(mx, my), 0xFFFF0000u);
  EXPECT_EQ(PixelCached(int(sx[2]), int(sy[2]) + 2), 0xFFFF0000u);  // just below the apex
  EXPECT_EQ(PixelCached(int(sx[2]), int(sy[2]) - 3), kClear);       // just above it
  EXPECT_GT(mx, kWidth / 2 + 4);  // half a metre to the right: right of the middle
}

TEST_F(GLDeviceTest, PreTransformedQuadsLandOnExactPixels) {
  // Eight one-texel stripes.
  const uint32_t colours[8] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00,
                               0xFF00FFFF, 0xFFFF00FF, 0xFF808080, 0xFFFFFFFF};
  dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0);
  BindTexels(8, 1, colours);
  // Direct3D 9's texel-to-pixel rule: texel centres sit on pixel centres
  // when the quad's edges lie half a pixel before the first pixel.
  TexturedQuad(10 - 0.5f, 5 - 0.5f, 18 - 0.5f, 9 - 0.5f);
  dev->SetTexture(0, nullptr);
  // Integer corners: columns 20..23 and rows 20..21, nothing else.
  ColouredQuad(20, 20, 24, 22, 0xFF00FF00);
  Read();
  for (int y = 5; y < 9; ++y)
    for (int x = 9; x <= 18; ++x)
      EXPECT_EQ(PixelCached(x, y), x == 9 || x == 18 ? kClear : colours[x - 10]) << x << "," << y;
  for (int y = 18; y < 24; ++y)
    for (int x = 18; x < 26; ++x)
      EXPECT_EQ(PixelCached(x, y), x >= 20 && x < 24 && y >= 20 && y < 22 ? 0xFF00FF00u : kClear)
          << x << "," << y;
}

TEST_F(GLDeviceTest, CullingDepthAndBlendingAsDirect3D9) {
  // The frame set-up's D3DCULL_CW drops what appears clockwise on screen:
  // the same quad mirrored.
  dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0);
  ColouredQuad(4, 4, 20, 20, 0xFFFF0000);
  ColouredQuad(50, 4, 34, 20, 0xFF0000FF);
  Read();
  EXPECT_EQ(PixelCached(8, 8), 0xFFFF0000u);
  EXPECT_EQ(PixelCached(38, 8), kClear);

  // Depth: less-or-equal, cleared to 1.0; with writes off the depth stays.
  struct { D3DRENDERSTATETYPE state; uint32_t value, colour; float z; uint32_t want; } steps[] = {
      {D3DRS_ZENABLE, D3DZB_TRUE, 0xFF00FF00, 0.5f, 0xFF00FF00},
      {D3DRS_ZENABLE, D3DZB_TRUE, 0xFFFF0000, 0.7f, 0xFF00FF00},  // behind: hidden
      {D3DRS_ZENABLE, D3DZB_TRUE, 0xFF0000FF, 0.5f, 0xFF0000FF},  // equal depth passes
      {D3DRS_ZWRITEENABLE, 0, 0xFFFFFF00, 0.1f, 0xFFFFFF00},      // drawn, depth kept at 0.5
      {D3DRS_ZWRITEENABLE, 1, 0xFF00FFFF, 0.3f, 0xFF00FFFF},
      {D3DRS_ZENABLE, D3DZB_FALSE, 0xFFFFFFFF, 0.9f, 0xFFFFFFFF}};  // no test at all
  dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0);
  for (const auto& s : steps) {
    dev->SetRenderState(s.state, s.value);
    ColouredQuad(10, 10, 20, 20, s.colour, s.z);
    EXPECT_EQ(Pixel(15, 15), s.want) << std::hex << s.colour;
  }

  // Clip-space depth is 0..w as in Direct3D: z < 0 and z > w are clipped.
  D3DMATRIX id = IdentityMatrix();
  for (auto t : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION}) dev->SetTransform(t, &id);
  dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  for (float z : {-0.1f, 0.05f, 1.05f}) {
    XyzColourVertex t[3] = {{-0.5f, -0.5f, z, 0xFFFF0000}, {0.5f, -0.5f, z, 0xFFFF0000}, {0.0f, 0.5f, z, 0xFFFF0000}};
    dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0);
    dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, t, sizeof t[0]);
    EXPECT_EQ(Pixel(32, 34), z == 0.05f ? 0xFFFF0000u : kClear) << z;
  }

  // Blending with the source alpha, as text and the aircraft's parts draw.
  dev->Clear(D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  ColouredQuad(0, 0, 8, 8, 0x80FF0000);
  EXPECT_TRUE(ColourNear(Pixel(4, 4) & 0x00FFFFFF, 0x0080007F, 2));
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
  ColouredQuad(0, 0, 8, 8, 0x80FF0000);
  EXPECT_EQ(Pixel(4, 4), 0x80FF0000u);
}

// As the frame set-up leaves every stage: linear filters, mip maps, wrapping.
TEST_F(GLDeviceTest, LinearFilteringWrapsAndMipMaps) {
  const uint32_t texels[2] = {0xFF000000, 0xFFFFFFFF};  // black and white
  BindTexels(2, 1, texels);
  for (auto s : {D3DSAMP_MAGFILTER, D3DSAMP_MINFILTER, D3DSAMP_MIPFILTER}) dev->SetSamplerState(0, s, D3DTEXF_LINEAR);
  // 32 pixels across the two texels.
  TexturedQuad(-0.5f, -0.5f, 31.5f, 0.5f);
  Read();
  // u = 15.5/32 lies between the texel centres 0.25 and 0.75; at the edge,
  // wrapping mixes in the far texel.
  EXPECT_TRUE(ColourNear(PixelCached(15, 0), 0xFF787878, 3));
  EXPECT_TRUE(ColourNear(PixelCached(0, 0), 0xFF787878, 3));
  EXPECT_TRUE(ColourNear(PixelCached(31, 0), 0xFF878787, 3));
  // Minified 16 times with a mip filter: the 1x1 level, the average.
  TexturedQuad(-0.5f, 3.5f, 0.5f, 4.5f, 0.0f, 0.0f, 16.0f, 1.0f);
  EXPECT_TRUE(ColourNear(Pixel(0, 4), 0xFF7F7F7F, 2));
}

// Two quads in one buffer, drawn by their start index as the models draw
// their parts. Three rounds with new resources: many GL drivers hand the names of
// deleted objects out again (Mesa mostly does not), and resources created
// after others were released must be the ones drawn with.
TEST_F(GLDeviceTest, IndexedDrawsAndResourcesCreatedAfterOthersWereReleased) {
  static const D3DVERTEXELEMENT9 decl[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                           {0, 12, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                           D3DDECL_END()};
  const uint32_t idx[12] = {0, 1, 2, 2, 1, 3, 4, 5, 6, 6, 5, 7};
  const uint32_t stride = sizeof(XyzColourVertex);
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  for (uint32_t colour : {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu}) {
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    IDirect3DVertexDeclaration9* vd = nullptr;
    ASSERT_EQ(dev->CreateVertexBuffer(8 * stride, 0, 0, D3DPOOL_MANAGED, &vb), D3D_OK);
    ASSERT_EQ(dev->CreateIndexBuffer(sizeof idx, 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, &ib), D3D_OK);
    ASSERT_EQ(dev->CreateVertexDeclaration(decl, &vd), D3D_OK);
    void* p = nullptr;
    ASSERT_EQ(ib->Lock(0, 0, &p, 0), D3D_OK);
    std::memcpy(p, idx, sizeof idx);
    ib->Unlock();
    ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
    for (int i = 0; i < 8; ++i)  // the lower left quarter, then the upper right
      static_cast<XyzColourVertex*>(p)[i] = {float(i & 1) - (i < 4), float(i >> 1 & 1) - (i < 4), 0.5f, colour};
    vb->Unlock();
    dev->SetVertexDeclaration(vd);
    dev->SetStreamSource(0, vb, 0, stride);
    dev->SetIndices(ib);
    dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0);
    ASSERT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 8, 0, 2), D3D_OK);
    Read();
    EXPECT_EQ(PixelCached(16, 48), colour);
    EXPECT_EQ(PixelCached(48, 16), kClear);
    ASSERT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 8, 6, 2), D3D_OK);
    EXPECT_EQ(Pixel(48, 16), colour);
    // Past the indices: refused, nothing drawn, no GL error.
    EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 8, 9, 2), D3DERR_INVALIDCALL);
    // A texture, through a fixed-function quad; unbinding frees it.
    BindTexels(1, 1, &colour);
    TexturedQuad(0, 0, 8, 8);
    EXPECT_EQ(Pixel(4, 4), colour);
    dev->SetTexture(0, nullptr);
    dev->SetStreamSource(0, nullptr, 0, 0);
    dev->SetIndices(nullptr);
    dev->SetVertexDeclaration(nullptr);
    for (IUnknown* r : std::initializer_list<IUnknown*>{vb, ib, vd}) EXPECT_EQ(r->Release(), 0u);
  }
}

// Enough vertex data to wrap the streaming buffer several times; one
// combination of states is linked once, whatever the number of draws.
TEST_F(GLDeviceTest, StreamingManyDrawsAndCachedPrograms) {
  std::vector<RhwColourVertex> strip(2000);
  dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  uint32_t before = GLProgramsLinked(dev);
  for (int n = 0; n < 400; ++n) {
    uint32_t c = 0xFF000000u | uint32_t(n * 2654435761u >> 8);
    for (size_t i = 0; i < strip.size(); ++i)  // counter-clockwise
      strip[i] = {(i & 1) ? 0.0f : 40.0f, float(i / 2) * 0.04f, 0, 1, c};
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 1998, strip.data(), sizeof strip[0]), D3D_OK);
    if (n % 97 == 0 || n == 399) {
      ASSERT_EQ(Pixel(20, 20), c) << "draw " << n;
    }
  }
  EXPECT_LE(GLProgramsLinked(dev) - before, 1u);
}

}  // namespace
