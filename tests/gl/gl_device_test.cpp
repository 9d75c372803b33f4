#include <cmath>

#include "tests/gl/gl_test_util.h"

namespace {

constexpr uint32_t kClear = 0xFF102030;

struct XyzColourVertex {
  float x, y, z;
  uint32_t colour;
};

struct XyzColourBuffers {
  IDirect3DVertexBuffer9* vb = nullptr;
  IDirect3DIndexBuffer9* ib = nullptr;
  IDirect3DVertexDeclaration9* vd = nullptr;
};

// Managed buffers with the vertices and 32-bit indices, and a declaration
// for them, bound to stream 0.
XyzColourBuffers Upload(IDirect3DDevice9* dev, const std::vector<XyzColourVertex>& verts,
                        const std::vector<uint32_t>& idx) {
  XyzColourBuffers b;
  void* p = nullptr;
  EXPECT_EQ(dev->CreateVertexBuffer(uint32_t(verts.size() * sizeof verts[0]), 0, 0, D3DPOOL_MANAGED, &b.vb),
            D3D_OK);
  EXPECT_EQ(dev->CreateIndexBuffer(uint32_t(idx.size() * 4), 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, &b.ib), D3D_OK);
  if (!b.vb || !b.ib) return b;
  b.vb->Lock(0, 0, &p, 0);
  std::memcpy(p, verts.data(), verts.size() * sizeof verts[0]);
  b.vb->Unlock();
  b.ib->Lock(0, 0, &p, 0);
  std::memcpy(p, idx.data(), idx.size() * 4);
  b.ib->Unlock();
  static const D3DVERTEXELEMENT9 decl[] = {
      {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
      {0, 12, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
      D3DDECL_END()};
  EXPECT_EQ(dev->CreateVertexDeclaration(decl, &b.vd), D3D_OK);
  dev->SetVertexDeclaration(b.vd);
  dev->SetStreamSource(0, b.vb, 0, sizeof verts[0]);
  dev->SetIndices(b.ib);
  return b;
}

// Unbinds and releases; each must be the last reference.
void Release(IDirect3DDevice9* dev, XyzColourBuffers& b) {
  dev->SetStreamSource(0, nullptr, 0, 0);
  dev->SetIndices(nullptr);
  dev->SetVertexDeclaration(nullptr);
  EXPECT_EQ(b.vb->Release(), 0u);
  EXPECT_EQ(b.ib->Release(), 0u);
  EXPECT_EQ(b.vd->Release(), 0u);
}

D3DMATRIX Identity() {
  D3DMATRIX m{};
  for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
  return m;
}

TEST_F(GLDeviceTest, FixedFunctionTrianglePlacedThroughWorldViewProjection) {
  // The frame set-up's projection: view Y is depth, Z is up; 90 degrees.
  const float n = 0.1f, f = 100.0f, q = f / (f - n);
  D3DMATRIX proj{};
  proj.m[0][0] = 1.0f;
  proj.m[1][2] = q;
  proj.m[1][3] = 1.0f;
  proj.m[2][1] = 1.0f;
  proj.m[3][2] = -n * q;
  // The camera turned a quarter about Z: view space X = world Y, view Y = -world X.
  D3DMATRIX view{};
  view.m[0][1] = -1.0f;
  view.m[1][0] = 1.0f;
  view.m[2][2] = 1.0f;
  view.m[3][3] = 1.0f;
  D3DMATRIX world = Identity();
  world.m[3][0] = -2.0f;  // two metres along world -X: in front of the camera
  world.m[3][1] = 0.5f;   // and half a metre to the right
  dev->SetTransform(D3DTS_PROJECTION, &proj);
  dev->SetTransform(D3DTS_VIEW, &view);
  dev->SetTransform(D3DTS_WORLD, &world);
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);

  ASSERT_EQ(dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0), D3D_OK);
  ASSERT_EQ(dev->BeginScene(), D3D_OK);
  // World points (local + world translation); on screen: A left-bottom,
  // B right-bottom, C top: counter-clockwise as seen.
  XyzColourVertex tri[3] = {{0, -1, -1, 0xFFFF0000}, {0, 1, -1, 0xFFFF0000}, {0, 0, 1, 0xFFFF0000}};
  dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof tri[0]), D3D_OK);
  ASSERT_EQ(dev->EndScene(), D3D_OK);

  // Screen position of each corner, computed the Direct3D way.
  auto project = [&](float x, float y, float z, float* sx, float* sy) {
    float c[4] = {x, y, z, 1.0f};
    for (const D3DMATRIX* m : {&world, &view, &proj}) {
      float r[4] = {};
      for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) r[j] += c[i] * m->m[i][j];
      std::memcpy(c, r, sizeof c);
    }
    *sx = (c[0] / c[3] + 1.0f) * 0.5f * kWidth;
    *sy = (1.0f - c[1] / c[3]) * 0.5f * kHeight;
  };
  float ax, ay, bx, by, cx, cy;
  project(0, -1, -1, &ax, &ay);
  project(0, 1, -1, &bx, &by);
  project(0, 0, 1, &cx, &cy);
  int mx = int((ax + bx + cx) / 3), my = int((ay + by + cy) / 3);
  Read();
  EXPECT_EQ(PixelCached(mx, my), 0xFFFF0000u);
  EXPECT_EQ(PixelCached(int(cx), int(cy) + 2), 0xFFFF0000u);  // just below the apex
  EXPECT_EQ(PixelCached(int(cx), int(cy) - 3), kClear);       // just above it
  // Half a metre to the right: the triangle's centre is right of the middle.
  EXPECT_GT(mx, kWidth / 2 + 4);

  // Lighting on, with no lights: only the alpha survives (black).
  dev->SetRenderState(D3DRS_LIGHTING, 1);
  dev->BeginScene();
  dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof tri[0]);
  dev->EndScene();
  EXPECT_EQ(Pixel(mx, my), 0xFF000000u);

  // No diffuse in the format: white.
  dev->SetRenderState(D3DRS_LIGHTING, 0);
  float plain[9] = {0, -1, -1, 0, 1, -1, 0, 0, 1};
  dev->SetFVF(D3DFVF_XYZ);
  dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, plain, 12);
  EXPECT_EQ(Pixel(mx, my), 0xFFFFFFFFu);
}

TEST_F(GLDeviceTest, PreTransformedQuadsLandOnExactPixels) {
  // Eight one-texel stripes.
  const uint32_t colours[8] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00,
                               0xFF00FFFF, 0xFFFF00FF, 0xFF808080, 0xFFFFFFFF};
  IDirect3DTexture9* tex = nullptr;
  ASSERT_EQ(dev->CreateTextureFromImage(TexelImage(8, 1, colours), &tex), D3D_OK);

  dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0);
  dev->BeginScene();
  dev->SetTexture(0, tex);
  // Direct3D 9's texel-to-pixel rule: texel centres sit on pixel centres
  // when the quad's edges lie half a pixel before the first pixel.
  TexturedQuad(10 - 0.5f, 5 - 0.5f, 18 - 0.5f, 9 - 0.5f);
  dev->SetTexture(0, nullptr);
  // Integer corners: columns 20..23 and rows 20..21, nothing else.
  ColouredQuad(20, 20, 24, 22, 0xFF00FF00);
  dev->EndScene();

  Read();
  for (int y = 5; y < 9; ++y) {
    EXPECT_EQ(PixelCached(9, y), kClear);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(PixelCached(10 + i, y), colours[i]) << i << "," << y;
    EXPECT_EQ(PixelCached(18, y), kClear);
  }
  for (int y = 18; y < 24; ++y)
    for (int x = 18; x < 26; ++x) {
      bool inside = x >= 20 && x < 24 && y >= 20 && y < 22;
      EXPECT_EQ(PixelCached(x, y), inside ? 0xFF00FF00u : kClear) << x << "," << y;
    }

  // Texture x diffuse, alpha from the texture.
  struct V {
    float x, y, z, rhw;
    uint32_t c;
    float u, v;
  } q[4] = {{40 - 0.5f, 40 - 0.5f, 0, 1, 0x80FF8000, 0.0625f, 0.5f},
            {40 - 0.5f, 44 - 0.5f, 0, 1, 0x80FF8000, 0.0625f, 0.5f},
            {44 - 0.5f, 40 - 0.5f, 0, 1, 0x80FF8000, 0.0625f, 0.5f},
            {44 - 0.5f, 44 - 0.5f, 0, 1, 0x80FF8000, 0.0625f, 0.5f}};
  dev->SetTexture(0, tex);
  dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof q[0]);
  EXPECT_TRUE(ColourNear(Pixel(41, 41), 0xFFFF0000, 1));  // red texel x orange: red, alpha 1
  dev->SetTexture(0, nullptr);
  tex->Release();
}

TEST_F(GLDeviceTest, CullingAndDepthAsDirect3D9) {
  // One triangle of each winding as seen on screen.
  RhwColourVertex ccw[3] = {{4, 4, 0, 1, 0xFFFF0000}, {4, 20, 0, 1, 0xFFFF0000},
                            {20, 4, 0, 1, 0xFFFF0000}};
  RhwColourVertex cw[3] = {{34, 4, 0, 1, 0xFF0000FF}, {50, 4, 0, 1, 0xFF0000FF},
                           {34, 20, 0, 1, 0xFF0000FF}};
  dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  auto draw = [&](uint32_t cull) {
    dev->SetRenderState(D3DRS_CULLMODE, cull);
    dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0);
    dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof ccw[0]);
    dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cw, sizeof cw[0]);
    Read();
  };
  draw(D3DCULL_CW);  // what the frame set-up uses: clockwise is dropped
  EXPECT_EQ(PixelCached(8, 8), 0xFFFF0000u);
  EXPECT_EQ(PixelCached(38, 8), kClear);
  draw(D3DCULL_CCW);  // Direct3D's default
  EXPECT_EQ(PixelCached(8, 8), kClear);
  EXPECT_EQ(PixelCached(38, 8), 0xFF0000FFu);
  draw(D3DCULL_NONE);
  EXPECT_EQ(PixelCached(8, 8), 0xFFFF0000u);
  EXPECT_EQ(PixelCached(38, 8), 0xFF0000FFu);

  // Depth: less-or-equal, cleared to 1.0.
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
  dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0);
  ColouredQuad(10, 10, 20, 20, 0xFF00FF00, 0.5f);
  ColouredQuad(10, 10, 20, 20, 0xFFFF0000, 0.7f);  // behind: hidden
  EXPECT_EQ(Pixel(15, 15), 0xFF00FF00u);
  ColouredQuad(10, 10, 20, 20, 0xFF0000FF, 0.5f);  // equal depth passes
  EXPECT_EQ(Pixel(15, 15), 0xFF0000FFu);
  dev->SetRenderState(D3DRS_ZWRITEENABLE, 0);
  ColouredQuad(10, 10, 20, 20, 0xFFFFFF00, 0.1f);  // drawn, depth kept at 0.5
  EXPECT_EQ(Pixel(15, 15), 0xFFFFFF00u);
  dev->SetRenderState(D3DRS_ZWRITEENABLE, 1);
  ColouredQuad(10, 10, 20, 20, 0xFF00FFFF, 0.3f);
  EXPECT_EQ(Pixel(15, 15), 0xFF00FFFFu);
  dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  ColouredQuad(10, 10, 20, 20, 0xFFFFFFFF, 0.9f);  // no test at all
  EXPECT_EQ(Pixel(15, 15), 0xFFFFFFFFu);
  dev->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  // A clear of the depth alone leaves the colour.
  dev->Clear(D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  EXPECT_EQ(Pixel(15, 15), 0xFFFFFFFFu);

  // Clip-space depth is 0..w as in Direct3D: z < 0 and z > w are clipped.
  D3DMATRIX id = Identity();
  dev->SetTransform(D3DTS_WORLD, &id);
  dev->SetTransform(D3DTS_VIEW, &id);
  dev->SetTransform(D3DTS_PROJECTION, &id);
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  auto depthTri = [&](float z, uint32_t c) {
    XyzColourVertex t[3] = {{-0.5f, -0.5f, z, c}, {0.5f, -0.5f, z, c}, {0.0f, 0.5f, z, c}};
    dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0);
    dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, t, sizeof t[0]);
    return Pixel(32, 34);
  };
  EXPECT_EQ(depthTri(-0.1f, 0xFFFF0000), kClear);
  EXPECT_EQ(depthTri(0.05f, 0xFFFF0000), 0xFFFF0000u);
  EXPECT_EQ(depthTri(1.05f, 0xFF00FF00), kClear);
}

TEST_F(GLDeviceTest, ViewportPlacesDrawsAndClears) {
  D3DVIEWPORT9 vp{8, 16, 32, 16, 0.0f, 1.0f};
  dev->Clear(D3DCLEAR_TARGET, kClear, 1.0f, 0);
  ASSERT_EQ(dev->SetViewport(&vp), D3D_OK);
  dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF00FF00, 1.0f, 0);  // the viewport only
  Read();
  EXPECT_EQ(PixelCached(8, 16), 0xFF00FF00u);
  EXPECT_EQ(PixelCached(39, 31), 0xFF00FF00u);
  EXPECT_EQ(PixelCached(7, 16), kClear);
  EXPECT_EQ(PixelCached(39, 32), kClear);
  // Pre-transformed coordinates stay back-buffer pixels.
  ColouredQuad(10, 20, 12, 22, 0xFFFF0000);
  Read();
  EXPECT_EQ(PixelCached(10, 20), 0xFFFF0000u);
  EXPECT_EQ(PixelCached(12, 21), 0xFF00FF00u);
}

TEST_F(GLDeviceTest, SamplerStatesFilterAndAddress) {
  // Two texels, black and white: point sampling gives one or the other,
  // linear sampling blends them.
  const uint32_t texels[2] = {0xFF000000, 0xFFFFFFFF};
  IDirect3DTexture9* tex = nullptr;
  ASSERT_EQ(dev->CreateTextureFromImage(TexelImage(2, 1, texels), &tex), D3D_OK);
  dev->SetTexture(0, tex);
  dev->Clear(D3DCLEAR_TARGET, kClear, 1.0f, 0);
  // 32 pixels across two texels; pixel 15 samples u = 15.5 / 32.
  TexturedQuad(-0.5f, -0.5f, 31.5f, 0.5f);
  Read();
  EXPECT_EQ(PixelCached(15, 0), 0xFF000000u);
  EXPECT_EQ(PixelCached(16, 0), 0xFFFFFFFFu);
  dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
  dev->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
  dev->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
  TexturedQuad(-0.5f, -0.5f, 31.5f, 0.5f);
  Read();
  // Linear: u = 15.5/32 lies between the texel centres 0.25 and 0.75.
  EXPECT_TRUE(ColourNear(PixelCached(15, 0), 0xFF787878, 3));
  // Clamped at the edges, wrapping would have mixed in the far texel.
  EXPECT_EQ(PixelCached(0, 0), 0xFF000000u);
  EXPECT_EQ(PixelCached(31, 0), 0xFFFFFFFFu);
  dev->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
  TexturedQuad(-0.5f, -0.5f, 31.5f, 0.5f);
  Read();
  EXPECT_TRUE(ColourNear(PixelCached(0, 0), 0xFF787878, 3));
  // Minified 16 times with a mip filter: the 1x1 level, the average.
  dev->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
  TexturedQuad(-0.5f, 3.5f, 0.5f, 4.5f, 0.0f, 0.0f, 16.0f, 1.0f);
  EXPECT_TRUE(ColourNear(Pixel(0, 4), 0xFF7F7F7F, 2));
  dev->SetTexture(0, nullptr);
  tex->Release();
}

TEST_F(GLDeviceTest, AlphaBlendingWithSourceAlpha) {
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

TEST_F(GLDeviceTest, IndexedDrawsWithBaseVertexAndBufferUpdates) {
  // Two quads in one buffer; the indices describe one quad, the base vertex
  // picks which.
  XyzColourBuffers b = Upload(
      dev,
      {{-1, -1, 0.5f, 0xFFFF0000}, {0, -1, 0.5f, 0xFFFF0000}, {-1, 0, 0.5f, 0xFFFF0000},
       {0, 0, 0.5f, 0xFFFF0000}, {0, 0, 0.5f, 0xFF00FF00}, {1, 0, 0.5f, 0xFF00FF00},
       {0, 1, 0.5f, 0xFF00FF00}, {1, 1, 0.5f, 0xFF00FF00}},
      {0, 1, 2, 2, 1, 3});
  ASSERT_TRUE(b.vb && b.ib && b.vd);
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0);
  ASSERT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
  Read();
  EXPECT_EQ(PixelCached(16, 48), 0xFFFF0000u);  // lower left quarter
  EXPECT_EQ(PixelCached(48, 16), kClear);
  ASSERT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4, 0, 4, 0, 2), D3D_OK);
  EXPECT_EQ(Pixel(48, 16), 0xFF00FF00u);  // upper right quarter
  // Out of range: refused, nothing drawn, no GL error.
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 5, 0, 4, 0, 2), D3DERR_INVALIDCALL);

  // A partial update reaches the next draw.
  void* p = nullptr;
  ASSERT_EQ(b.vb->Lock(4 * sizeof(XyzColourVertex), sizeof(XyzColourVertex) * 4, &p, 0), D3D_OK);
  auto* w = static_cast<XyzColourVertex*>(p);
  for (int i = 0; i < 4; ++i) w[i].colour = 0xFF0000FF;
  b.vb->Unlock();
  dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4, 0, 4, 0, 2);
  EXPECT_EQ(Pixel(48, 16), 0xFF0000FFu);
  // The stream offset shifts the vertices too.
  dev->SetStreamSource(0, b.vb, 4 * sizeof(XyzColourVertex), sizeof(XyzColourVertex));
  dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0);
  dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2);
  EXPECT_EQ(Pixel(48, 16), 0xFF0000FFu);
  Release(dev, b);
}

// Many GL drivers hand the names of deleted objects out again (Mesa mostly
// does not): resources released and created anew between draws must still
// be the ones drawn with.
TEST_F(GLDeviceTest, ResourcesCreatedAfterOthersWereReleasedAreUsed) {
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  for (uint32_t colour : {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu}) {
    XyzColourBuffers b = Upload(dev, {{-1, -1, 0.5f, colour}, {3, -1, 0.5f, colour}, {-1, 3, 0.5f, colour}},
                                {0, 1, 2});
    ASSERT_TRUE(b.vb && b.ib && b.vd);
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(dev->CreateTextureFromImage(SolidImage(2, {colour}), &tex), D3D_OK);
    dev->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0);
    ASSERT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3D_OK);
    EXPECT_EQ(Pixel(10, 50), colour);
    // The texture, through a fixed-function quad.
    dev->SetTexture(0, tex);
    TexturedQuad(0, 0, 8, 8);
    EXPECT_EQ(Pixel(4, 4), colour);
    dev->SetTexture(0, nullptr);
    // Released while the GL names are still attached to the vertex array
    // and the texture units.
    Release(dev, b);
    tex->Release();
  }
}

TEST_F(GLDeviceTest, StreamingManyDrawsAndCachedPrograms) {
  dev->Clear(D3DCLEAR_TARGET, kClear, 1.0f, 0);
  // Enough vertex data to wrap the streaming buffer several times.
  std::vector<RhwColourVertex> strip(2000);
  dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  uint32_t before = GLProgramsLinked(dev);
  for (int n = 0; n < 400; ++n) {
    uint32_t c = 0xFF000000u | uint32_t(n * 2654435761u >> 8);
    for (size_t i = 0; i < strip.size(); ++i) {
      float x = (i & 1) ? 0.0f : 40.0f, y = float(i / 2) * 0.04f;  // counter-clockwise
      strip[i] = {x, y, 0, 1, c};
    }
    strip[0].y = strip[1].y = 0;
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, uint32_t(strip.size() - 2), strip.data(),
                                   sizeof(RhwColourVertex)),
              D3D_OK);
    if (n % 97 == 0 || n == 399) {
      uint32_t got = Pixel(20, 20);
      ASSERT_EQ(got, c) << "draw " << n;
    }
  }
  // One combination: linked once, whatever the number of draws.
  EXPECT_LE(GLProgramsLinked(dev) - before, 1u);
  ColouredQuad(0, 0, 4, 4, 0xFF00FF00);
  EXPECT_LE(GLProgramsLinked(dev) - before, 1u);
}

TEST_F(GLDeviceTest, PresentCopiesToTheWindowAndCallsThePresentFunction) {
  int calls = 0;
  SetGLPresentFunction(
      dev, [](void* user) { ++*static_cast<int*>(user); }, &calls);
  dev->Clear(D3DCLEAR_TARGET, kClear, 1.0f, 0);
  EXPECT_EQ(dev->BeginScene(), D3D_OK);
  EXPECT_EQ(dev->Present(), D3DERR_INVALIDCALL);  // not inside a scene
  EXPECT_EQ(dev->EndScene(), D3D_OK);
  EXPECT_EQ(dev->Present(), D3D_OK);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(Pixel(0, 0), kClear);  // the back buffer survives Present
  IDirect3DDevice9* none = reinterpret_cast<IDirect3DDevice9*>(1);
  EXPECT_EQ(CreateGLDevice(0, 10, &none), D3DERR_INVALIDCALL);
  EXPECT_EQ(none, nullptr);
}

}  // namespace
