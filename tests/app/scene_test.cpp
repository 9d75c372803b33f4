// The frame's draw order and states, the read-outs and the aircraft's drawing on the recording device, with the content
// the build generates linked into a private directory (each test compiles its own models).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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
#include "render/resources.h"
#include "render/scene.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"
#include "tests/aircraft/test_model.h"
#include "tests/app/recorded_quads.h"

namespace fs = std::filesystem;

namespace {

const char* const kRunDir = TARN_BINARY_DIR "/run";

std::string Str(const String& s) { return std::string(s.c_str()); }

void ExpectColour(const RecordedCall* d, float r, float g, float b) {
  const float want[4] = {r, g, b, 1};
  for (int k = 0; k < 4; k++) EXPECT_FLOAT_EQ(d->state->pixelConstants[2][k], want[k]) << k;
}

// One expected model draw: node, subset (-1 the whole node), the body whose pose places it.
struct Piece {
  const char* node;
  int subset;
  const pBody* body;
};

class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(fs::path(kRunDir) / "Models/PlaneTarn.mdl")) << "the build makes the content";
    char tmpl[] = "/tmp/tarn-app-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    const fs::path run = kRunDir;
    for (const char* sub : {"Textures", "Shaders", "Fonts"}) fs::create_directory_symlink(run / sub, dir / sub);
    fs::create_directory(dir / "Models");
    for (const char* m : {"Models/PlaneTarn.mdl", "Models/InvBox.mdl"}) fs::create_symlink(run / m, dir / m);
    oldDir = fs::current_path();
    fs::current_path(dir);
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
    fs::current_path(oldDir);
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  // Model draws of the aircraft (its index buffer), in order.
  std::vector<const RecordedCall*> ModelDraws() const {
    std::vector<const RecordedCall*> out;
    for (const RecordedCall* d : rec->Draws())
      if (d->kind == CallKind::DrawIndexedPrimitive && d->state->indices.get() == model->indexBuffer)
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
  // Checks the draws from `at` on against the pieces, in order; returns where they end.
  size_t ExpectPieces(const std::vector<const RecordedCall*>& draws, size_t at, const std::vector<Piece>& pieces) {
    for (const Piece& p : pieces) {
      SCOPED_TRACE(std::string(p.node) + " subset " + std::to_string(p.subset));
      EXPECT_LT(at, draws.size()) << "no draw left";
      if (at >= draws.size()) return at;
      EXPECT_EQ(std::make_pair(draws[at]->u[3], draws[at]->u[4]), Range(p.node, p.subset));
      if (p.body) ExpectPlacedBy(draws[at], p.body);
      at++;
    }
    return at;
  }

  fs::path dir, oldDir;
  RecordingDevice* rec = nullptr;
  Tarnplane* a = nullptr;
  MDL* model = nullptr;
};

TEST_F(SceneTest, FrameDrawsSkyIslandAircraftThenTextOnAResetState) {
  DrawFrame();
  auto draws = rec->Draws();
  ASSERT_GE(draws.size(), 2u);
  // The sky first, with its shaders and the cube on stage 7, in the identity world the frame set-up left (so it
  // surrounds the eye); then the island at the origin, its texture on stage 0 and the cube still on 7.
  const GpuState &sky = *draws[0]->state, &land = *draws[1]->state;
  EXPECT_EQ(draws[0]->u[4], SkyModel->triangles.count);
  EXPECT_TRUE(sky.pixelShader.get() == SkyPixelShader->shader && sky.vertexShader.get() == SkyVertexShader->shader);
  EXPECT_EQ(sky.textures[7].get(), texture_skycube->texture);
  for (int k = 0; k < 16; k++) EXPECT_EQ(sky.vertexConstants[8 + k / 4][k % 4], k % 5 ? 0.0f : 1.0f) << k;
  EXPECT_EQ(draws[1]->u[4], IslandModel->triangles.count);
  EXPECT_TRUE(land.pixelShader.get() == IslandPixelShader->shader &&
              land.vertexShader.get() == IslandVertexShader->shader);
  EXPECT_TRUE(land.textures[0].get() == texture_island->texture && land.textures[7].get() == texture_skycube->texture);
  for (int i = 0; i < 3; i++) EXPECT_EQ(land.vertexConstants[8 + i][3], float(-(&CameraPosition.x)[i]));
  // After the aircraft the shaders and stage 0 are unset; then the heading text: black, top-left, the font's shader.
  const auto& calls = rec->calls();
  auto modelDraws = ModelDraws();
  ASSERT_FALSE(modelDraws.empty());
  size_t lastModel = 0, heading = 0;
  Quad q;
  for (size_t i = 0; i < calls.size(); i++) {
    if (&calls[i] == modelDraws.back()) lastModel = i;
    if (!heading && ReadQuad(&calls[i], q) && std::fabs(q.y[1] - q.y[0] - 10) < 1e-3) heading = i;
  }
  ASSERT_LT(lastModel, heading);
  bool unsetPixel = false, unsetVertex = false, unsetStage0 = false;
  for (size_t i = lastModel + 1; i < heading; i++) {
    const RecordedCall& c = calls[i];
    unsetPixel |= c.kind == CallKind::SetPixelShader && !c.object;
    unsetVertex |= c.kind == CallKind::SetVertexShader && !c.object;
    unsetStage0 |= c.kind == CallKind::SetTexture && c.u[0] == 0 && !c.object;
  }
  EXPECT_TRUE(unsetPixel && unsetVertex && unsetStage0);
  ASSERT_TRUE(ReadQuad(&calls[heading], q));
  EXPECT_TRUE(q.x[0] == 0 && q.y[0] == 0);
  EXPECT_EQ(calls[heading].state->pixelShader.get(), CurrentFont->pixelShader->shader);
  ExpectColour(&calls[heading], 0, 0, 0);
  EXPECT_EQ(DecodeText(draws, 14).substr(0, 17), "P: start/stop  E:");  // the help line: P, which every keyboard has
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

TEST_F(SceneTest, AircraftPiecesSubsetsColoursShadersAndTheBalloonAloneAfterACut) {
  // A fuselage flying backwards shows a negative speed.
  pBody* f = a->fuselage;
  Vec3 forward{f->rotation.m[3], f->rotation.m[4], f->rotation.m[5]};
  f->velocity = forward * -3.5;
  DrawAircraft();
  double speed = Dot(f->velocity, forward);
  ASSERT_NEAR(speed, -3.5, 1e-12);
  EXPECT_EQ(DecodeText(rec->Draws(), 20), "Speed: " + Str(FormatNumber(speed)));

  auto m = ModelDraws();
  size_t at = ExpectPieces(
      m, 0,
      {{"Fuselage", 0, a->fuselage}, {"Left Wing2", 0, a->leftWing2}, {"Left Wing", 0, a->leftWing},
       {"Right Wing2", 0, a->rightWing2}, {"Right Wing", 0, a->rightWing}, {"Tail", -1, a->tail},
       {"Tail2", -1, a->tail2}, {"LLeg1", -1, a->leftLeg[0]}, {"LLeg2", -1, a->leftLeg[1]},
       {"LLeg3", -1, a->leftLeg[2]}, {"RLeg1", -1, a->rightLeg[0]}, {"RLeg2", -1, a->rightLeg[1]},
       {"RLeg3", -1, a->rightLeg[2]}});
  ASSERT_EQ(at, 13u);
  for (size_t i = 0; i < at; i++) EXPECT_EQ(m[i]->state->textures[0].get(), a->Texture1->texture);

  // Ten flat-coloured subsets follow: the fuselage's two, the wings' eight.
  ASSERT_GE(m.size(), at + 10);
  for (size_t i = at; i < at + 10; i++) EXPECT_EQ(m[i]->state->pixelShader.get(), a->defaultPixelShader->shader);
  ExpectColour(m[at], 36.0f / 255, 25.0f / 255, 22.0f / 255);
  at += 10;

  // Cockpit: the cockpit texture, the canopy blended.
  size_t cockpit = at;
  at = ExpectPieces(m, at, {{"Fuselage", 1, a->fuselage}, {"Fuselage", 2, a->fuselage}, {"Cockpit1", -1, a->fuselage}});
  for (size_t i = cockpit; i < at; i++) {
    EXPECT_EQ(m[i]->state->pixelShader.get(), a->texturedPixelShader->shader);
    EXPECT_EQ(m[i]->state->textures[0].get(), a->Texture2->texture);
    EXPECT_EQ(m[i]->state->renderState(D3DRS_ALPHABLENDENABLE), i == cockpit ? 0u : 1u);
  }

  // Balloon and straps: fuselage matrix in c8-c11, balloon matrix in c15-c18 (translations in column 3).
  size_t balloon = at;
  at = ExpectPieces(m, at, {{"Ballon", -1, a->balloon}, {"Strapes", 0, nullptr}, {"Strapes", 4, nullptr}});
  for (size_t i = balloon; i < at; i++) {
    const GpuState& s = *m[i]->state;
    EXPECT_EQ(s.vertexShader.get(), a->animVertexShader->shader);
    EXPECT_EQ(s.renderState(D3DRS_ALPHABLENDENABLE), 0u);
    EXPECT_NEAR(s.vertexConstants[10][3], a->fuselage->position.z - CameraPosition.z, 1e-3);
    EXPECT_NEAR(s.vertexConstants[17][3], a->balloon->position.z - CameraPosition.z, 1e-3);
  }
  EXPECT_EQ(m[balloon]->state->pixelShader.get(), a->balloonPixelShader->shader);

  at = ExpectPieces(m, at, {{"Joke", -1, nullptr}});
  EXPECT_EQ(at, m.size()) << "the yoke is the last piece";
  // The device is left with depth on and blending off.
  EXPECT_EQ(rec->state().renderState(D3DRS_ZENABLE), uint32_t(D3DZB_TRUE));
  EXPECT_EQ(rec->state().renderState(D3DRS_ALPHABLENDENABLE), 0u);

  // One strap cut (the Delete key cuts all four; the drawing only asks whether all exist): the balloon alone.
  pStrape* cut = a->balloonStrap[2];
  for (pEntity*& e : a->parts)
    if (e == cut) e = nullptr;
  delete cut;
  a->balloonStrap[2] = nullptr;
  SetupFrame(0.1, 100000);  // the next frame
  rec->clearCalls();
  DrawAircraft();
  m = ModelDraws();
  EXPECT_EQ(m.size(), 28u);  // 30 less the two strap subsets
  auto straps = Range("Strapes", -1);
  const RecordedCall* balloonDraw = nullptr;
  for (const RecordedCall* d : m) {
    EXPECT_FALSE(d->u[3] >= straps.first && d->u[3] < straps.first + 3 * straps.second);
    if (d->u[3] == Range("Ballon", -1).first) balloonDraw = d;
  }
  ASSERT_NE(balloonDraw, nullptr);
  ExpectPlacedBy(balloonDraw, a->balloon);
  EXPECT_EQ(balloonDraw->state->pixelShader.get(), a->balloonPixelShader->shader);
  // The airframe's vertex shader stays, not the two-matrix one; c15 still holds the eye from the frame set-up.
  EXPECT_EQ(balloonDraw->state->vertexShader.get(), a->defaultVertexShader->shader);
  for (const RecordedCall* c : rec->CallsOf(CallKind::SetVertexShader))
    EXPECT_NE(c->object, static_cast<IUnknown*>(a->animVertexShader->shader));
  EXPECT_FLOAT_EQ(balloonDraw->state->vertexConstants[15][2], float(CameraPosition.z));
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
    auto m = ModelDraws();
    ASSERT_FALSE(m.empty());
    Vec3 p = Apply(m.back()->state->world, yokePoint), q = Apply(m.front()->state->world, fuselagePoint);
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

// Every device call of a whole frame, first with the F12 debug view on and then with it off, after a second of
// flapping flight, compared call by call with a dump made once and checked in (debug_frame.golden). Floats and
// vertex bytes are compared through their exact bits (hashed); resources by the order they first appear.
// TARN_WRITE_GOLDEN=1 rewrites the file instead of comparing.
TEST_F(SceneTest, DebugAndNormalFrameCallsMatchTheGoldenDump) {
  a->flapArmed = a->flapping = true;
  for (int i = 0; i < 500; i++) ClockedWorldStep(PhysicsStep);
  auto hash = [](const void* data, size_t n) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; i++) h = (h ^ static_cast<const uint8_t*>(data)[i]) * 16777619u;
    return h;
  };
  std::vector<const void*> objects;
  std::string dump;
  for (uint8_t f12 : {uint8_t(0x40), uint8_t(0)}) {
    KeyState[VK_F12] = f12;
    rec->clearCalls();
    DrawFrame();
    dump += f12 ? "# debug view\n" : "# normal view\n";
    for (const RecordedCall& c : rec->calls()) {
      size_t id = 0;
      if (c.object) {
        id = std::find(objects.begin(), objects.end(), c.object) - objects.begin() + 1;
        if (id > objects.size()) objects.push_back(c.object);
      }
      char line[160];
      std::snprintf(line, sizeof line, "%s %u %u %u %u %u %d %08x %08x %zu %x\n", CallKindName(c.kind), c.u[0],
                    c.u[1], c.u[2], c.u[3], c.u[4], c.i0, hash(c.f.data(), c.f.size() * sizeof(float)),
                    hash(c.bytes.data(), c.bytes.size()), id, uint32_t(c.result));
      dump += line;
    }
  }
  const std::string golden = TARN_SOURCE_DIR "/tests/app/debug_frame.golden";
  if (getenv("TARN_WRITE_GOLDEN")) {
    std::ofstream(golden, std::ios::binary) << dump;
    return;
  }
  std::ifstream in(golden, std::ios::binary);
  ASSERT_TRUE(in) << golden;
  std::string want((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (dump == want) return;
  size_t at = 0, line = 1;
  while (at < dump.size() && at < want.size() && dump[at] == want[at]) line += dump[at++] == '\n';
  FAIL() << "first difference on line " << line << " of " << golden;
}
