// Frame set-up and immediate primitives, asserted on the recording device.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/gpu/recording.h"
#include "render/draw.h"
#include "sim/frame_clock.h"

namespace {

class DrawTest : public ::testing::Test {
 protected:
  void SetUp() override { Device = rec = CreateRecordingDevice(1024, 768); }
  void TearDown() override {
    Device = nullptr;
    rec->Release();
  }
  // Constant register r + i holds column i of m; row i of a device matrix is row i of m.
  static void ExpectColumns(const float (*regs)[4], const Mat4& m, const char* what, bool rows = false) {
    for (int i = 0; i < 4; i++)
      for (int k = 0; k < 4; k++) EXPECT_EQ(regs[i][k], float(m.m[rows ? i * 4 + k : k * 4 + i])) << what << i << k;
  }
  static void ExpectMatrix(const D3DMATRIX& d, const Mat4& m, const char* what) { ExpectColumns(d.m, m, what, true); }
  static void ExpectVec(const float* r, float x, float y, float z, float w, const char* what) {
    EXPECT_EQ(std::vector<float>(r, r + 4), (std::vector<float>{x, y, z, w})) << what;
  }
  RecordingDevice* rec = nullptr;
};

TEST_F(DrawTest, SetupFrameWritesEveryRegisterAndState) {
  CameraPosition = {12.5, -3.25, 7};
  CameraOrientation = QuatFromAxisAngle({0.2, 0.3, 1}, 0.7);
  FieldOfView = 75;
  LightDirection = {0.6, 0, 0.8};
  ShaderColour0[0] = 0.1f, ShaderColour0[1] = 0.2f, ShaderColour0[2] = 0.3f;
  ShaderColour1[0] = 0.4f, ShaderColour1[1] = 0.5f, ShaderColour1[2] = 0.6f;
  ShaderColour3[0] = 0.7f, ShaderColour3[1] = 0.8f, ShaderColour3[2] = 0.9f;
  RunTime = 42.5;
  // Dirty registers first, to see SetupFrame reset them.
  SetPixelConstantVector(0.5f, 0.5f, 0.5f, 0.5f);
  SetWorldTransform(8, {100, 0, 0}, {0, 0, 0, 1});
  SetupFrame(0.1, 100000);

  EXPECT_EQ(std::vector<int32_t>({ScreenCentreX, ScreenCentreY, ScreenRight, ScreenBottom}),
            (std::vector<int32_t>{512, 384, 1023, 767}));

  const double t = std::tan(75 * 3.141592653589793 / 360), Q = 100000 / (100000 - 0.1);
  Mat4 proj = {{768.0 / (1024.0 * t), 0, 0, 0, 0, 0, Q, 1, 0, 1 / t, 0, 0, 0, 0, -0.1 * Q, 0}};
  Mat4 rot = QuatToMat4(CameraOrientation), view;
  for (int k = 0; k < 16; k++) view.m[k] = rot.m[k % 4 * 4 + k / 4];  // the rotation transposed
  const GpuState& s = rec->state();
  ExpectColumns(&s.vertexConstants[0], proj, "vertex projection");
  ExpectColumns(&s.vertexConstants[4], view, "vertex view");
  ExpectColumns(&s.vertexConstants[8], Mat4Identity(), "vertex world");
  ExpectVec(s.vertexConstants[12], 0, 0, 0, 1, "c12");
  ExpectVec(s.vertexConstants[13], float(0.6 * 100000), 0, float(0.8 * 100000), 1, "c13 light point");
  ExpectVec(s.vertexConstants[14], 0, 0, 0, 0, "c14");
  ExpectVec(s.vertexConstants[15], 12.5f, -3.25f, 7, 1, "c15 camera");
  ExpectVec(s.pixelConstants[0], 0.1f, 0.2f, 0.3f, 1, "pixel c0");
  ExpectVec(s.pixelConstants[1], 0.4f, 0.5f, 0.6f, 1, "pixel c1");
  ExpectVec(s.pixelConstants[2], 1, 1, 1, 1, "pixel c2");
  ExpectVec(s.pixelConstants[3], 0.7f, 0.8f, 0.9f, 1, "pixel c3");
  ExpectVec(s.pixelConstants[4], 42.5f, 0, 0, 0, "pixel c4");
  ExpectColumns(&s.pixelConstants[6], proj, "pixel projection");
  ExpectColumns(&s.pixelConstants[10], view, "pixel view");

  // Device transforms: projection, view, world = translation(-camera).
  ExpectMatrix(s.transform(D3DTS_PROJECTION), proj, "device projection");
  ExpectMatrix(s.transform(D3DTS_VIEW), view, "device view");
  ExpectMatrix(s.transform(D3DTS_WORLD), Mat4FromPose({-12.5, 3.25, -7}, {0, 0, 0, 1}), "device world");

  EXPECT_EQ(s.renderState(D3DRS_CULLMODE), uint32_t(D3DCULL_CW));
  EXPECT_EQ(s.renderState(D3DRS_ZWRITEENABLE), 1u);
  EXPECT_EQ(s.samplerState(7, D3DSAMP_MIPFILTER), uint32_t(D3DTEXF_LINEAR));
}

TEST_F(DrawTest, WorldTransformsStayPreciseFarFromTheOrigin) {
  CameraPosition = {1e6, -1e6, 1e6};
  // A body 1 m in front of the camera and turned: only the difference reaches floats.
  Quat q = QuatFromAxisAngle({0, 0, 1}, 0.5);
  SetWorldTransform(8, {1e6 + 0.123456789, -1e6 + 1, 1e6 - 0.000123}, q);
  Mat4 R = QuatToMat4(q);
  R.m[12] = 0.123456789, R.m[13] = 1, R.m[14] = -0.000123;
  ExpectMatrix(rec->state().transform(D3DTS_WORLD), R, "world");
  ExpectColumns(&rec->state().vertexConstants[8], R, "vertex world");

  // An absolute matrix: the camera is subtracted in double after it.
  Mat4 m = Mat4FromPose({1e6 + 0.25, -1e6 - 0.5, 1e6 + 4}, q);
  SetWorldMatrix(8, m);
  R.m[12] = 0.25, R.m[13] = -0.5, R.m[14] = 4;
  ExpectMatrix(rec->state().transform(D3DTS_WORLD), R, "absolute");
}

TEST_F(DrawTest, ColourPackingTruncatesAndScreenQuadsEmitCornersZeroOneThreeTwo) {
  EXPECT_EQ(PackColour(1.0f, 1.0f, 1.0f, 1.0f), 0xFFFFFFFFu);
  EXPECT_EQ(PackColour(0.999f, 0, 0, 0), 254u << 16);
  EXPECT_EQ(PackColour(0.2f, 0.4f, 0.6f, 0.8f), (204u << 24) | (51u << 16) | (102u << 8) | 153u);
  // Out of range values keep the low 8 bits; NaN and huge values pack to 0.
  EXPECT_EQ(PackColour(2.0f, 0, 0, 0), 254u << 16);
  EXPECT_EQ(PackColour(NAN, 0, 0, 1e30f), 0u);
  ClearTarget(0.02f, 0.06f, 0.1f);
  auto clears = rec->CallsOf(CallKind::Clear);
  ASSERT_EQ(clears.size(), 1u);
  EXPECT_EQ(clears[0]->u[0], uint32_t(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL));
  EXPECT_EQ(clears[0]->u[1], 0xFF050F19u);
  EXPECT_EQ(clears[0]->f[0], 1.0f);

  // Screen quads: corners 0, 1, 3, 2 as a two-triangle strip.
  rec->clearCalls();
  DrawScreenQuadColoured(10, 20, 1, 0, 0, 1, 110, 20, 0, 1, 0, 1, 110, 70, 0, 0, 1, 1, 10, 70, 1, 1, 1, 0.5f);
  DrawScreenQuadTextured(0, 0, 0, 0, 64, 0, 1, 0, 64, 32, 1, 1, 0, 32, 0, 1);
  auto draws = rec->Draws();
  ASSERT_EQ(draws.size(), 2u);
  const RecordedCall *c = draws[0], *t = draws[1];
  EXPECT_EQ(c->u[0], uint32_t(D3DPT_TRIANGLESTRIP));
  EXPECT_EQ(c->u[1], 2u);
  EXPECT_EQ(c->state->fvf, uint32_t(D3DFVF_XYZRHW | D3DFVF_DIFFUSE));
  EXPECT_EQ(t->state->fvf, uint32_t(D3DFVF_XYZRHW | D3DFVF_TEX1));
  const float xs[4] = {10, 110, 10, 110}, ys[4] = {20, 20, 70, 70}, us[4] = {0, 1, 0, 1}, vs[4] = {0, 0, 1, 1};
  const uint32_t colours[4] = {0xFFFF0000u, 0xFF00FF00u, 0x7FFFFFFFu, 0xFF0000FFu};  // ARGB
  for (uint32_t i = 0; i < 4; i++) {
    EXPECT_EQ(c->vertexFloat(i, 0), xs[i]) << i;
    EXPECT_EQ(c->vertexFloat(i, 4), ys[i]) << i;
    EXPECT_EQ(c->vertexFloat(i, 12), 1.0f);
    EXPECT_EQ(c->vertexUint(i, 16), colours[i]) << i;
    EXPECT_EQ(t->vertexFloat(i, 16), us[i]) << i;
    EXPECT_EQ(t->vertexFloat(i, 20), vs[i]) << i;
  }
}

TEST_F(DrawTest, LinesTrianglesAndBoxEdges) {
  CameraPosition = {1000, 0, 0};
  DrawColouredTriangle({1, 2, 3}, 1, 0, 0, 1, {4, 5, 6}, 0, 1, 0, 1, {7, 8, 9}, 0, 0, 1, 1);
  DrawLine({-1, 0, 0}, 1, 1, 1, 1, {1, 0, 0}, 0, 0, 0, 1);
  auto draws = rec->Draws();
  ASSERT_EQ(draws.size(), 2u);
  EXPECT_EQ(draws[0]->u[0], uint32_t(D3DPT_TRIANGLELIST));
  EXPECT_EQ(draws[0]->vertexFloat(2, 8), 9.0f) << "points as given, no camera subtraction";
  EXPECT_EQ(draws[0]->vertexUint(1, 12), PackColour(0, 1, 0, 1));
  EXPECT_EQ(draws[1]->u[0], uint32_t(D3DPT_LINELIST));
  EXPECT_EQ(draws[1]->u[1], 1u);
  EXPECT_EQ(draws[1]->vertexFloat(0, 0), -1.0f);

  rec->clearCalls();
  Box box;
  BoxReset(box);
  BoxExtend(box, {0, 0, 0});
  BoxExtend(box, {1, 2, 3});
  BoxPlace(box, {10, 20, 30}, {0, 0, 0, 1});
  DrawBoxEdges(box, 1, 1, 1, 0.3f);
  draws = rec->Draws();
  ASSERT_EQ(draws.size(), 12u);
  const float x0 = 10, y0 = 20, z0 = 30, x1 = 11, y1 = 22, z1 = 33;
  const float expect[12][6] = {{x0, y0, z1, x1, y0, z1}, {x0, y1, z1, x1, y1, z1}, {x0, y0, z0, x1, y0, z0},
                                {x0, y1, z0, x1, y1, z0}, {x0, y0, z1, x0, y1, z1}, {x1, y0, z1, x1, y1, z1},
                                {x0, y0, z0, x0, y1, z0}, {x1, y0, z0, x1, y1, z0}, {x0, y0, z0, x0, y0, z1},
                                {x0, y1, z0, x0, y1, z1}, {x1, y0, z0, x1, y0, z1}, {x1, y1, z0, x1, y1, z1}};
  for (int e = 0; e < 12; e++) {
    for (int k = 0; k < 6; k++) EXPECT_EQ(draws[e]->vertexFloat(k / 3, 4 * (k % 3)), expect[e][k]) << "edge " << e;
    EXPECT_EQ(draws[e]->vertexUint(0, 12), PackColour(1, 1, 1, 0.3f));
  }
}

TEST(DrawWithoutDevice, EverythingIsSkipped) {
  Device = nullptr;
  ScreenCentreX = 77;
  SetupFrame(0.1, 1000);
  ClearTarget(1, 1, 1);
  SetWorldTransform(8, {1, 2, 3}, {0, 0, 0, 1});
  SetVertexConstantMatrix(0, Mat4Identity());
  DrawColouredTriangle({0, 0, 0}, 1, 1, 1, 1, {1, 0, 0}, 1, 1, 1, 1, {0, 1, 0}, 1, 1, 1, 1);
  DrawLine({0, 0, 0}, 1, 1, 1, 1, {1, 0, 0}, 1, 1, 1, 1);
  DrawScreenQuadColoured(0, 0, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1);
  DrawScreenQuadTextured(0, 0, 0, 0, 1, 0, 1, 0, 1, 1, 1, 1, 0, 1, 0, 1);
  EXPECT_EQ(ScreenCentreX, 77) << "no viewport to read";
}

}  // namespace
