// The debug view of bodies, hinges and straps through the device sink, on the recording device.
#include "platform/gpu/recording.h"
#include "render/debug_draw.h"
#include "render/draw.h"
#include "tests/physics/fixture.h"

namespace {

using DebugDrawTest = PhysicsTest;

TEST_F(DebugDrawTest, BodyMeshShadowAndBoxAndNothingWithoutADeviceOrBody) {
  RecordingDevice* rec = CreateRecordingDevice(800, 600);
  struct Release { RecordingDevice* r; ~Release() { Device = nullptr, r->Release(); } } release{rec};
  Device = rec, CameraPosition = {0, 0, 0};
  pBody* b = Body(CubeTriangles({0, 0, 0}, {1, 1, 1}), 1.0, {5, 6, 7},
                  QuatFromAxisAngle({0, 0, 1}, 1.5707963267948966));
  b->UpdatePlacement();
  rec->clearCalls();
  DeviceDebugDraw sink;
  b->Draw(sink);
  auto draws = rec->Draws();
  ASSERT_EQ(draws.size(), 12u + 12u + 12u) << "mesh, shadow, box edges";
  // Mesh in body coordinates through the body's world transform.
  EXPECT_EQ(draws[0]->vertexUint(1, 12), PackColour(0, 0.5f, 0, 1));
  EXPECT_EQ(draws[0]->state->world.m[3][0], 5.0f);
  EXPECT_EQ(draws[0]->vertexFloat(0, 0), 0.0f);
  // Shadow: the posed mesh flattened, translucent, without depth writes;
  // box edges: lines in translucent white with depth off.
  for (size_t k = 12; k < 36; k++) {
    const RecordedCall* d = draws[k];
    EXPECT_EQ(d->state->renderState(k < 24 ? D3DRS_ZWRITEENABLE : D3DRS_ZENABLE), 0u) << k;
    EXPECT_EQ(d->state->renderState(D3DRS_ALPHABLENDENABLE), 1u) << k;
    EXPECT_EQ(d->u[0], uint32_t(k < 24 ? D3DPT_TRIANGLELIST : D3DPT_LINELIST)) << k;
    for (uint32_t i = 0; k < 24 && i < 3; i++) {  // turned a quarter about Z and moved: x in [4, 5], y >= 6
      EXPECT_TRUE(d->vertexFloat(i, 0) >= 4.0f - 1e-5f && d->vertexFloat(i, 0) <= 5.0f + 1e-5f);
      EXPECT_GE(d->vertexFloat(i, 4), 6.0f - 1e-5f);
      EXPECT_TRUE(d->vertexFloat(i, 8) == 0.01f && d->vertexUint(i, 12) == PackColour(0, 0, 0, 0.4f));
    }
  }
  EXPECT_EQ(draws[24]->vertexFloat(0, 0), 4.0f) << "edges in world coordinates";
  EXPECT_EQ(rec->state().renderState(D3DRS_ZENABLE), uint32_t(D3DZB_TRUE));
  EXPECT_EQ(rec->state().renderState(D3DRS_ALPHABLENDENABLE), 0u);
  EXPECT_EQ(rec->state().renderState(D3DRS_ZWRITEENABLE), 1u);
  // Without a device nothing is drawn.
  rec->clearCalls();
  Device = nullptr;
  b->Draw(sink), b->DrawDetail(sink, 1.0);
  Device = rec;
  EXPECT_EQ(rec->calls().size(), 0u);
  // A strap or hinge without both bodies draws nothing.
  Own(new pStrape(b, nullptr, {0, 0, 0}, {2, 0, 0}, {0, 0, 1}, 1))->Draw(sink);
  Own(new pAxis(nullptr, b, {1, 0, 0}, {0, 0, 1}, {1, 0, 0}, -1, 1))->Draw(sink);
  EXPECT_EQ(rec->calls().size(), 0u);
}

}  // namespace
