// What a frame shows, on the recording device: the scene's pieces in the order the frame composes them, the
// aircraft's pieces with their shaders, textures, colours and poses, the read-outs, the debug view and the state a
// frame leaves; with the content the build generates linked into a private directory (each test compiles its own
// models). The pixels of a whole frame are compared in frame_picture_test.cpp.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "air/air.h"
#include "aircraft/aircraft.h"
#include "app/camera.h"
#include "app/shell.h"
#include "assets/font.h"
#include "assets/format_number.h"
#include "assets/model.h"
#include "foundation/log.h"
#include "physics/body.h"
#include "physics/entity.h"
#include "physics/strap.h"
#include "platform/gpu/recording.h"
#include "render/draw.h"
#include "render/ground_shadow.h"
#include "render/overlay.h"
#include "render/resources.h"
#include "render/scene.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"
#include "tests/aircraft/test_model.h"
#include "tests/app/recorded_quads.h"
#include "tests/app/run_content.h"

namespace {

const char* const kRunDir = TARN_BINARY_DIR "/run";

std::string Str(const String& s) { return std::string(s.c_str()); }

void ExpectColour(const RecordedCall* d, float r, float g, float b) {
  const float want[4] = {r, g, b, 1};
  for (int k = 0; k < 4; k++) EXPECT_FLOAT_EQ(d->state->pixelConstants[2][k], want[k]) << k;
}

class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.Enter(kRunDir, "tarn-app-test")) << "the build makes the content";
    for (auto& b : KeyState) b = 0;
    ShowHelp = true;
    // A small flat island stands in for the real one, whose compilation would dominate every test.
    RegisterFlatIsland(0);
    Device = rec = CreateRecordingDevice(1024, 768);
    LogCapture quiet;
    InitApplication();
    ASSERT_NE(a = CurrentAircraft, nullptr);
    model = a->model;
    SetupFrame(0.1, 100000);
    rec->clearCalls();
  }
  void TearDown() override {
    if (Device) {
      LogCapture quiet;
      ShutdownApplication();
      ReleaseDevice();
    }
    folder.Leave();
  }

  // Model draws of the aircraft (its index buffer), in order.
  std::vector<const RecordedCall*> ModelDraws() const {
    std::vector<const RecordedCall*> out;
    for (const RecordedCall* d : rec->Draws())
      if (d->kind == CallKind::DrawIndexedPrimitive && d->state->indices.get() == model->indexBuffer)
        out.push_back(d);
    return out;
  }
  // The translucent triangle lists without depth writes: the ground shadow's draws.
  std::vector<const RecordedCall*> ShadowDraws() const {
    std::vector<const RecordedCall*> out;
    for (const RecordedCall* d : rec->Draws())
      if (d->kind == CallKind::DrawPrimitiveUP && d->u[0] == D3DPT_TRIANGLELIST &&
          d->state->renderState(D3DRS_ZWRITEENABLE) == 0 && d->state->renderState(D3DRS_ALPHABLENDENABLE) == 1 &&
          d->state->renderState(D3DRS_ZENABLE) == D3DZB_TRUE)
        out.push_back(d);
    return out;
  }
  // (start index, primitive count) of the draw a node subset makes (-1: the whole node).
  std::pair<uint32_t, uint32_t> Range(const char* node, int subset) const {
    for (const ModelNode& n : model->nodes) {
      if (Str(n.name) != node || n.subsets.count == 0) continue;
      if (subset >= 0 && uint32_t(subset) >= n.subsets.count) break;
      if (subset >= 0) return {3 * n.subsets[subset].first, n.subsets[subset].count};
      uint32_t total = 0;
      for (const Subset& s : n.subsets) total += s.count;
      return {3 * n.subsets[0].first, total};
    }
    ADD_FAILURE() << "no node " << node << " subset " << subset;
    return {0, 0};
  }
  // The camera-relative world matrix a body's pose gives.
  static void ExpectPlacedBy(const RecordedCall* d, const pBody* body) {
    const D3DMATRIX& w = d->state->world;
    const Vec3 at = body->position - CameraPosition;
    Mat4 r = QuatToMat4(body->orientation);
    for (int i = 0; i < 3; i++) {
      EXPECT_NEAR(w.m[3][i], (&at.x)[i], 1e-3);
      for (int j = 0; j < 3; j++) EXPECT_NEAR(w.m[i][j], r.m[4 * i + j], 1e-6);
    }
  }
  // The draw of one node subset (-1: the whole node); null when there is none.
  const RecordedCall* DrawOf(const char* node, int subset) const {
    for (const RecordedCall* d : ModelDraws())
      if (std::make_pair(d->u[3], d->u[4]) == Range(node, subset)) return d;
    return nullptr;
  }

  RunContentFolder folder;
  RecordingDevice* rec = nullptr;
  Tarnplane* a = nullptr;
  MDL* model = nullptr;
};

// Model draws of the island, the sky and the aircraft and the heading text keep the order the frame is composed in:
// the text lies over everything, and the sky, on the far plane, comes after the ground so that the depth test spares
// the sky's fill wherever the ground covers it; the canopy blended over both comes later.
TEST_F(SceneTest, FrameDrawsIslandSkyAircraftThenTheHeadingText) {
  DrawFrame();
  const auto draws = rec->Draws();
  auto first = [&](auto&& is) { return size_t(std::find_if(draws.begin(), draws.end(), is) - draws.begin()); };
  auto byModel = [](const MDL* m) {
    return [m](const RecordedCall* d) {
      return d->kind == CallKind::DrawIndexedPrimitive && d->state->indices.get() == m->indexBuffer;
    };
  };
  const size_t sky = first(byModel(SkyModel)), land = first(byModel(IslandModel)), plane = first(byModel(model));
  size_t heading = draws.size(), lastPlane = 0;
  Quad q;
  for (size_t i = 0; i < draws.size(); i++) {
    if (byModel(model)(draws[i])) lastPlane = i;
    if (heading == draws.size() && ReadQuad(draws[i], q) && std::fabs(q.y[1] - q.y[0] - 10) < 1e-3) heading = i;
  }
  ASSERT_LT(heading, draws.size());
  EXPECT_TRUE(land < sky && sky < plane && lastPlane < heading) << sky << " " << land << " " << plane << " "
                                                                 << lastPlane << " " << heading;
  // The sky with its shaders and the cube on stage 7 in the identity world (so it surrounds the eye); the island
  // at the origin, its texture on stage 0, the grain on 1 and the cube already on 7.
  const GpuState &s = *draws[sky]->state, &l = *draws[land]->state;
  EXPECT_TRUE(s.pixelShader.get() == SkyPixelShader->shader && s.vertexShader.get() == SkyVertexShader->shader);
  EXPECT_EQ(s.textures[7].get(), texture_skycube->texture);
  for (int k = 0; k < 16; k++) EXPECT_EQ(s.vertexConstants[8 + k / 4][k % 4], k % 5 ? 0.0f : 1.0f) << k;
  EXPECT_TRUE(l.pixelShader.get() == IslandPixelShader->shader && l.vertexShader.get() == IslandVertexShader->shader);
  EXPECT_TRUE(l.textures[0].get() == texture_island->texture && l.textures[7].get() == texture_skycube->texture);
  EXPECT_EQ(l.textures[1].get(), texture_detail->texture) << "the grain close up";
  for (int i = 0; i < 3; i++) EXPECT_EQ(l.vertexConstants[8 + i][3], float(-(&CameraPosition.x)[i]));
  // The heading text: black, top-left, the font's shader, opaque pixels only where the font has them.
  const GpuState& h = *draws[heading]->state;
  ASSERT_TRUE(ReadQuad(draws[heading], q));
  EXPECT_TRUE(q.x[0] == 0 && q.y[0] == 0);
  EXPECT_TRUE(h.pixelShader.get() == CurrentFont->pixelShader->shader && !h.vertexShader.get());
  EXPECT_EQ(h.renderState(D3DRS_ALPHABLENDENABLE), 1u);
  ExpectColour(draws[heading], 0, 0, 0);
  // The help line, white over a dark outline: P, which every keyboard has.
  EXPECT_EQ(DecodeLightText(draws, 14 * OverlayScale()).substr(0, 17), "P: start/stop  E:");
}

// The windsock stands only while the air moves, on the ground, its sock turned downwind and drooping in a
// moderate breeze.
TEST_F(SceneTest, TheWindsockStandsInMovingAirAndPointsDownwind) {
  ASSERT_NE(WindsockModel, nullptr);
  auto sock = [&] {
    std::vector<const RecordedCall*> out;
    for (const RecordedCall* d : rec->Draws())
      if (d->kind == CallKind::DrawIndexedPrimitive && d->state->indices.get() == WindsockModel->indexBuffer)
        out.push_back(d);
    return out;
  };
  DrawFrame();
  EXPECT_TRUE(sock().empty()) << "still air";
  air::Current.windSpeed = 5, air::Current.windFrom = 270;  // from the west: toward +X
  air::Rebuild();
  rec->clearCalls();
  DrawFrame();
  air::Clear();
  air::Current = air::Settings();
  const auto draws = sock();
  ASSERT_EQ(draws.size(), 2u) << "mast and sock";
  for (const RecordedCall* d : draws) EXPECT_EQ(d->state->textures[0].get(), texture_windsock->texture);
  // The mast's foot on the flat ground; the sock's length (model +Y) downwind and below the level.
  const D3DMATRIX &mast = draws[0]->state->world, &s = draws[1]->state->world;
  EXPECT_NEAR(mast.m[3][2], float(0 - CameraPosition.z), 1e-3);
  EXPECT_GT(s.m[1][0], 0.6f);
  EXPECT_NEAR(s.m[1][1], 0, 1e-6);
  EXPECT_LT(s.m[1][2], -0.2f);
}

TEST_F(SceneTest, HeadingIsMeasuredFromNorthClockwiseAndAltitudeIsTheCameraHeight) {
  EXPECT_NEAR(HeadingDegrees(QuatFromAxisAngle(Vec3{0, 0, 1}, M_PI)), 180, 1e-9);
  EXPECT_EQ(HeadingDegrees(QuatFromAxisAngle(Vec3{0, 0, 1}, 1e-17)), 0);  // a hair west of north: never 360
  Quat down = QuatMul(QuatFromAxisAngle(Vec3{0, 0, 1}, -M_PI / 2), QuatFromAxisAngle(Vec3{1, 0, 0}, -1.2));
  EXPECT_NEAR(HeadingDegrees(down), 90, 1e-9);  // looking down steeply changes nothing

  CameraOrientation = QuatFromAxisAngle(Vec3{0, 0, 1}, -M_PI / 2);
  CameraPosition = Vec3{-3, 4, 123.25};  // the aircraft stays near z = 2
  SetupFrame(0.1, 100000);
  DrawScene();
  EXPECT_EQ(DecodeText(rec->Draws(), 10), "Heading: 90\nAltitude: 123.25");
}

TEST_F(SceneTest, MissingSceneTexturesPrintOncePerFrame) {
  TextureRecord *cube = texture_skycube, *island = texture_island;
  texture_skycube = texture_island = nullptr;
  LogCapture log;
  DrawScene();
  DrawScene();
  texture_skycube = cube, texture_island = island;
  EXPECT_EQ(log.text(),
            "Uninitialized texture: texture_skycube\nUninitialized texture: texture_island\n"
            "Uninitialized texture: texture_skycube\nUninitialized texture: texture_island\n");
  for (const RecordedCall* c : rec->CallsOf(CallKind::SetTexture)) EXPECT_NE(c->u[0], 7u);
  EXPECT_GE(rec->Draws().size(), 4u);  // both still drawn, twice
}

// What each piece of the aircraft looks like: the body that places it, its shaders and texture, its flat colour
// (pixel c2, n/255) and whether it is blended. The straps and the balloon hang between two bodies (c8-c11 the
// fuselage's matrix, c15-c18 the balloon's).
struct PieceLook {
  const char* node;
  int subset;  // -1: the whole node
  const pBody* body;
  const VertexShaderRecord* vs;
  const PixelShaderRecord* ps;
  const TextureRecord* texture;  // stage 0; null: not read by the pixel shader
  int colour[3];                 // {-1}: not a flat colour
  bool blended;
  bool twoBodies;
};

std::vector<PieceLook> AircraftLooks(const Tarnplane* a) {
  const auto *vs = a->defaultVertexShader, *anim = a->animVertexShader;
  const auto *tex = a->texturedPixelShader, *flat = a->defaultPixelShader, *gores = a->balloonPixelShader;
  const TextureRecord *body = a->Texture1, *cockpit = a->Texture2;
  std::vector<PieceLook> t = {
      {"Fuselage", 0, a->fuselage, vs, tex, body, {-1}, false, false},
      {"Fuselage", 3, a->fuselage, vs, flat, nullptr, {36, 25, 22}, false, false},
      {"Fuselage", 8, a->fuselage, vs, flat, nullptr, {64, 140, 225}, false, false},
      {"Fuselage", 1, a->fuselage, vs, tex, cockpit, {-1}, false, false},
      {"Fuselage", 2, a->fuselage, vs, tex, cockpit, {-1}, true, false},
      {"Cockpit1", -1, a->fuselage, vs, tex, cockpit, {-1}, true, false},
      {"Tail", -1, a->tail, vs, tex, body, {-1}, false, false},
      {"Tail2", -1, a->tail2, vs, tex, body, {-1}, false, false},
      {"Ballon", -1, a->balloon, anim, gores, body, {-1}, false, true},
      {"Strapes", 0, nullptr, anim, tex, body, {-1}, false, true},
      {"Strapes", 4, nullptr, anim, flat, nullptr, {255, 190, 224}, false, true},
  };
  const char* const wings[4] = {"Left Wing2", "Left Wing", "Right Wing2", "Right Wing"};
  const pBody* const wingBodies[4] = {a->leftWing2, a->leftWing, a->rightWing2, a->rightWing};
  for (int w = 0; w < 4; w++) {
    t.push_back({wings[w], 0, wingBodies[w], vs, tex, body, {-1}, false, false});
    t.push_back({wings[w], 5, wingBodies[w], vs, flat, nullptr, {64, 64, 64}, false, false});
    if (w % 2 == 0) continue;  // the outer panels carry the two stripes
    t.push_back({wings[w], 6, wingBodies[w], vs, flat, nullptr, {255, 172, 0}, false, false});
    t.push_back({wings[w], 7, wingBodies[w], vs, flat, nullptr, {200, 100, 25}, false, false});
  }
  const char* const legs[6] = {"LLeg1", "LLeg2", "LLeg3", "RLeg1", "RLeg2", "RLeg3"};
  for (int i = 0; i < 6; i++)
    t.push_back({legs[i], -1, i < 3 ? a->leftLeg[i] : a->rightLeg[i - 3], vs, tex, body, {-1}, false, false});
  t.push_back({"Joke", -1, nullptr, vs, tex, body, {-1}, false, false});  // placed by the inputs: its own test
  return t;
}

TEST_F(SceneTest, EveryAircraftPieceIsDrawnOnceWithItsShadersTextureColourAndPose) {
  // A fuselage flying backwards shows a negative speed, drawn over the scene (no depth test).
  pBody* f = a->fuselage;
  Vec3 forward{f->rotation.m[3], f->rotation.m[4], f->rotation.m[5]};
  f->velocity = forward * -3.5;
  DrawAircraft();
  double speed = Dot(f->velocity, forward);
  ASSERT_NEAR(speed, -3.5, 1e-12);
  EXPECT_EQ(DecodeText(rec->Draws(), 20), "Speed: " + Str(FormatNumber(speed)));

  const std::vector<PieceLook> looks = AircraftLooks(a);
  const auto m = ModelDraws();
  EXPECT_EQ(m.size(), looks.size()) << "one draw per piece";
  size_t canopy = m.size(), lastOpaqueFuselage = 0;
  for (const PieceLook& p : looks) {
    SCOPED_TRACE(std::string(p.node) + " subset " + std::to_string(p.subset));
    const auto range = Range(p.node, p.subset);
    std::vector<size_t> at;
    for (size_t i = 0; i < m.size(); i++)
      if (std::make_pair(m[i]->u[3], m[i]->u[4]) == range) at.push_back(i);
    ASSERT_EQ(at.size(), 1u) << "drawn once";
    const GpuState& s = *m[at[0]]->state;
    EXPECT_EQ(s.vertexShader.get(), p.vs->shader);
    EXPECT_EQ(s.pixelShader.get(), p.ps->shader);
    if (p.texture) {
      EXPECT_EQ(s.textures[0].get(), p.texture->texture);
    }
    if (p.colour[0] >= 0) ExpectColour(m[at[0]], p.colour[0] / 255.0f, p.colour[1] / 255.0f, p.colour[2] / 255.0f);
    EXPECT_EQ(s.renderState(D3DRS_ALPHABLENDENABLE), p.blended ? 1u : 0u);
    if (p.blended) {
      EXPECT_TRUE(s.renderState(D3DRS_SRCBLEND) == D3DBLEND_SRCALPHA &&
                  s.renderState(D3DRS_DESTBLEND) == D3DBLEND_INVSRCALPHA);
    }
    EXPECT_TRUE(s.renderState(D3DRS_ZENABLE) == D3DZB_TRUE && s.renderState(D3DRS_ZWRITEENABLE) == 1u);
    EXPECT_EQ(s.renderState(D3DRS_CULLMODE), uint32_t(D3DCULL_CW));
    if (p.twoBodies) {
      for (int i = 0; i < 3; i++) {
        EXPECT_NEAR(s.vertexConstants[8 + i][3], (&a->fuselage->position.x)[i] - (&CameraPosition.x)[i], 1e-3);
        EXPECT_NEAR(s.vertexConstants[15 + i][3], (&a->balloon->position.x)[i] - (&CameraPosition.x)[i], 1e-3);
      }
    } else if (p.body) {
      ExpectPlacedBy(m[at[0]], p.body);
    }
    if (p.blended) canopy = std::min(canopy, at[0]);
    else if (p.body == a->fuselage) lastOpaqueFuselage = std::max(lastOpaqueFuselage, at[0]);
  }
  EXPECT_LT(lastOpaqueFuselage, canopy) << "the canopy blends over the fuselage under it";
  // Every body leaves its shadow on the ground (below).
  EXPECT_EQ(ShadowDraws().size(), 1u);

  // One strap cut (the Delete key cuts all four; the drawing only asks whether all exist): the balloon alone, by
  // its own pose with the airframe's vertex shader; no straps.
  pStrape* cut = a->balloonStrap[2];
  for (pEntity*& e : a->parts)
    if (e == cut) e = nullptr;
  delete cut;
  a->balloonStrap[2] = nullptr;
  SetupFrame(0.1, 100000);  // the next frame
  rec->clearCalls();
  DrawAircraft();
  const auto after = ModelDraws();
  EXPECT_EQ(after.size(), looks.size() - 2);
  const auto straps = Range("Strapes", -1);
  for (const RecordedCall* d : after) {
    EXPECT_FALSE(d->u[3] >= straps.first && d->u[3] < straps.first + 3 * straps.second);
    if (d->u[3] != Range("Ballon", -1).first) continue;
    ExpectPlacedBy(d, a->balloon);
    EXPECT_EQ(d->state->pixelShader.get(), a->balloonPixelShader->shader);
    EXPECT_EQ(d->state->vertexShader.get(), a->defaultVertexShader->shader);
  }
}

// The debug view (F12) swaps the model for the entities' own pictures: each body's mesh at its pose, coloured by
// corner; the sky, the island and the read-outs stay. A second press brings the model back.
// The shadow: every body's triangles in one translucent black draw, dropped straight down onto the ground a few
// centimetres over it, darkest on the ground. Flown up high and out over the sea, it follows: under the fuselage,
// on the water, fainter.
TEST_F(SceneTest, TheShadowLiesOnTheGroundBelowAndFollowsTheAircraftUpAndOverTheSea) {
  size_t triangles = 0;
  for (pEntity* e : a->parts)
    if (auto* b = dynamic_cast<pBody*>(e)) triangles += b->triangles.count;
  auto check = [&](double groundZ, double maxLift) {
    const auto shadows = ShadowDraws();
    ASSERT_EQ(shadows.size(), 1u);
    const RecordedCall* d = shadows[0];
    EXPECT_EQ(d->u[1], triangles);
    EXPECT_EQ(d->state->pixelShader.get(), nullptr);
    const Vec3 f = a->fuselage->position;
    const uint32_t colour = PackColour(0, 0, 0, float(0.4 * GroundShadowIntensity(f.z - groundZ)));
    double sx = 0, sy = 0;
    for (uint32_t v = 0; v < 3 * triangles; v++) {
      const double z = d->vertexFloat(v, 8) + CameraPosition.z - groundZ;
      EXPECT_TRUE(z > 0.02 && z < maxLift) << v << ": " << z;
      EXPECT_EQ(d->vertexUint(v, 12), colour);
      sx += d->vertexFloat(v, 0) + CameraPosition.x, sy += d->vertexFloat(v, 4) + CameraPosition.y;
    }
    // Straight below: the shadow's middle within a few metres of the fuselage's (the balloon hangs above it).
    EXPECT_LT(std::hypot(sx / (3 * triangles) - f.x, sy / (3 * triangles) - f.y), 3.0);
  };
  DrawAircraft();
  const double ground = GroundPlaneBelow(a->fuselage->position).c;
  EXPECT_NEAR(ground, 0, 0.2) << "the flat island";
  check(ground, 0.1);
  const double onTheGround = GroundShadowIntensity(a->fuselage->position.z - ground);

  const Vec3 away{-4000, 500, 150};  // far beyond the island, 150 m up
  for (pEntity* e : a->parts)
    if (auto* b = dynamic_cast<pBody*>(e)) b->position = b->position + away;
  CameraPosition = a->fuselage->position + Vec3{-30, -30, 10};
  rec->clearCalls();
  DrawAircraft();
  EXPECT_DOUBLE_EQ(GroundPlaneBelow(a->fuselage->position).c, -2.0) << "the sea";
  check(-2.0, 0.5);
  EXPECT_LT(GroundShadowIntensity(a->fuselage->position.z + 2.0), onTheGround / 2);
}

TEST_F(SceneTest, F12ShowsTheBodiesInsteadOfTheModelAndASecondPressBringsItBack) {
  KeyState[VK_F12] = 0x40;
  DrawFrame();
  EXPECT_TRUE(ModelDraws().empty());
  std::vector<const pBody*> bodies;
  for (pEntity* e : a->parts)
    if (auto* b = dynamic_cast<pBody*>(e)) bodies.push_back(b);
  size_t placed = 0;
  for (const pBody* b : bodies) {
    bool seen = false;
    for (const RecordedCall* d : rec->Draws()) {
      if (d->kind != CallKind::DrawPrimitiveUP || d->u[0] != D3DPT_TRIANGLELIST ||
          d->vertexUint(0, 12) != PackColour(0.5f, 0, 0, 1))
        continue;
      const D3DMATRIX& w = d->state->world;
      seen |= std::fabs(w.m[3][0] - (b->position.x - CameraPosition.x)) < 1e-3 &&
              std::fabs(w.m[3][2] - (b->position.z - CameraPosition.z)) < 1e-3 &&
              d->vertexFloat(0, 0) == float(b->vertices[b->triangles[0].v[0]].x);
    }
    placed += seen;
  }
  EXPECT_EQ(placed, bodies.size()) << "every body's mesh at its pose";
  std::string speed = DecodeText(rec->Draws(), 20), heading = DecodeText(rec->Draws(), 10);
  EXPECT_TRUE(speed.rfind("Speed: ", 0) == 0 && heading.rfind("Heading: ", 0) == 0) << speed << heading;
  size_t sky = 0;
  for (const RecordedCall* d : rec->Draws())
    sky += d->kind == CallKind::DrawIndexedPrimitive && d->state->indices.get() == SkyModel->indexBuffer;
  EXPECT_EQ(sky, 1u);

  KeyState[VK_F12] = 0;
  rec->clearCalls();
  DrawFrame();
  EXPECT_EQ(ModelDraws().size(), AircraftLooks(a).size());
}

// What a frame leaves on the device is what the next one starts from: the second frame draws the same pieces in
// the same states as the first (which started from the start-up's state), and after it depth test and writes are
// on, blending off, and no shader of the scene is left bound.
TEST_F(SceneTest, AFrameLeavesTheDeviceAsTheNextExpects) {
  auto looksOf = [&] {
    std::vector<std::string> out;
    for (const RecordedCall* d : rec->Draws()) {
      const GpuState& s = *d->state;
      // The sky reads only the cube on stage 7; stage 0 still holds what the last frame's text bound.
      const bool sky = s.pixelShader.get() == SkyPixelShader->shader;
      char line[200];
      std::snprintf(line, sizeof line, "%d %u %u %u %p %p %p %p %u %u %u", int(d->kind), d->u[0], d->u[3], d->u[4],
                    static_cast<void*>(s.vertexShader.get()), static_cast<void*>(s.pixelShader.get()),
                    sky ? nullptr : static_cast<void*>(s.textures[0].get()), static_cast<void*>(s.textures[7].get()),
                    s.renderState(D3DRS_ZENABLE), s.renderState(D3DRS_ZWRITEENABLE),
                    s.renderState(D3DRS_ALPHABLENDENABLE));
      out.push_back(line);
    }
    std::sort(out.begin(), out.end());
    return out;
  };
  DrawFrame();
  const auto firstFrame = looksOf();
  rec->clearCalls();
  SetupFrame(0.1, 100000);
  DrawFrame();
  const auto secondFrame = looksOf();
  std::vector<std::string> changed;
  std::set_symmetric_difference(firstFrame.begin(), firstFrame.end(), secondFrame.begin(), secondFrame.end(),
                                std::back_inserter(changed));
  EXPECT_TRUE(changed.empty()) << changed.size() << " draws differ, as " << (changed.empty() ? "" : changed[0]);
  const GpuState& s = rec->state();
  EXPECT_EQ(s.renderState(D3DRS_ZENABLE), uint32_t(D3DZB_TRUE));
  EXPECT_EQ(s.renderState(D3DRS_ZWRITEENABLE), 1u);
  EXPECT_EQ(s.renderState(D3DRS_ALPHABLENDENABLE), 0u);
  EXPECT_EQ(s.renderState(D3DRS_CULLMODE), uint32_t(D3DCULL_CW));
  EXPECT_EQ(s.renderState(D3DRS_LIGHTING), 0u);
  EXPECT_EQ(s.vertexShader.get(), nullptr);
  for (const PixelShaderRecord* p : {a->texturedPixelShader, a->defaultPixelShader, a->balloonPixelShader,
                                     SkyPixelShader, IslandPixelShader})
    EXPECT_NE(s.pixelShader.get(), p->shader);
  for (int stage = 1; stage < 7; stage++) EXPECT_EQ(s.textures[stage].get(), nullptr) << stage;
}

// Applies a device world matrix to a model-space point.
Vec3 Apply(const D3DMATRIX& w, const Vec3& p) {
  return {p.x * w.m[0][0] + p.y * w.m[1][0] + p.z * w.m[2][0] + w.m[3][0],
          p.x * w.m[0][1] + p.y * w.m[1][1] + p.z * w.m[2][1] + w.m[3][1],
          p.x * w.m[0][2] + p.y * w.m[1][2] + p.z * w.m[2][2] + w.m[3][2]};
}

TEST_F(SceneTest, YokeSlidesWithPitchAndTurnsAgainstRoll) {
  Vec3 axis = GetAxis(model, String("Joke"));
  Vec3 pivot = GetNodePosition(model, String("Joke"));
  ASSERT_NEAR(Length(axis), 1, 1e-9);
  // Draws the aircraft: the yoke must move `yokePoint` where the fuselage moves `fuselagePoint` (model space).
  auto expectSame = [&](const Vec3& yokePoint, const Vec3& fuselagePoint) {
    rec->clearCalls();
    DrawAircraft();
    const RecordedCall *yoke = DrawOf("Joke", -1), *fuselage = DrawOf("Fuselage", 0);
    ASSERT_TRUE(yoke && fuselage);
    Vec3 p = Apply(yoke->state->world, yokePoint), q = Apply(fuselage->state->world, fuselagePoint);
    EXPECT_NEAR(p.x, q.x, 2e-4);
    EXPECT_NEAR(p.y, q.y, 2e-4);
    EXPECT_NEAR(p.z, q.z, 2e-4);
  };
  a->pitchInput = a->rollInput = 0;
  expectSame(pivot, pivot);  // at rest the yoke rides with the fuselage

  // Pitch slides the yoke along its axis; roll turns it against the roll: any arm u about the pivot turns by -1 rad
  // about the axis; the slide is -0.1.
  a->pitchInput = -0.5, a->rollInput = 1;
  Vec3 u = Normalize(Cross(axis, Vec3{0.3, 0.5, 0.8}));
  Vec3 turned = u;
  Rotate(QuatFromAxisAngle(axis, -1), turned);
  expectSame(pivot + u, pivot + turned + axis * -0.1);
  expectSame(pivot + axis, pivot + axis * 0.9);
}

}  // namespace
