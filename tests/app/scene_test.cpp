// The start-up sequence, the frame's draw order and states, the heading and
// altitude read-out and the aircraft's drawing, on the recording device with
// the content the build generates (linked into a private directory, so each
// test compiles its own models) and a small flat island in place of the real one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "aircraft/aircraft.h"
#include "app/camera.h"
#include "app/frame_timer.h"
#include "app/keys.h"
#include "app/shell.h"
#include "assets/font.h"
#include "assets/format_number.h"
#include "assets/model.h"
#include "foundation/log.h"
#include "foundation/mem.h"
#include "physics/body.h"
#include "physics/entity.h"
#include "physics/strap.h"
#include "platform/gpu/recording.h"
#include "render/draw.h"
#include "render/resources.h"
#include "render/scene.h"
#include "tests/aircraft/test_model.h"
#include "tests/app/recorded_quads.h"

namespace fs = std::filesystem;

namespace {

const char* const kRunDir = TARN_BINARY_DIR "/run";

std::string Str(const String& s) { return std::string(s.c_str()); }

// One expected model draw: node, subset (-1 the whole node), the body whose
// pose places it.
struct Piece {
  const char* node;
  int subset;
  const pBody* body;
};

class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(fs::path(kRunDir) / "Models" / "PlaneTarn.mdl"))
        << "the build makes the content in " << kRunDir;
    char tmpl[] = "/tmp/tarn-app-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    for (const char* sub : {"Textures", "Shaders", "Fonts"})
      fs::create_directory_symlink(fs::path(kRunDir) / sub, dir / sub);
    fs::create_directory(dir / "Models");
    for (const auto& e : fs::directory_iterator(fs::path(kRunDir) / "Models"))
      if (e.path().extension() == ".mdl" && e.path().stem() != "DivadiZarov") fs::create_symlink(e.path(), dir / "Models" / e.path().filename());
    oldDir = fs::current_path();
    fs::current_path(dir);

    for (auto& b : KeyState) b = 0;
    ShowHelp = true;
    // A small flat island stands in for the real one, whose first-use
    // compilation would dominate every test (the end-to-end run uses it).
    RegisterFlatIsland(0);
    rec = CreateRecordingDevice(1024, 768);
    Device = rec;
    {
      LogCapture log;
      InitApplication();
      initLog = log.text();
    }
    ASSERT_NE(CurrentAircraft, nullptr);
    a = CurrentAircraft;
    model = a->model;
    rec->clearCalls();
  }
  void TearDown() override {
    if (Device) {
      LogCapture log;
      ShutdownApplication();
      ReleaseDevice();
      shutdownLog = log.text();
    }
    fs::current_path(oldDir);
    std::error_code ec;
    fs::remove_all(dir, ec);
    for (auto& b : KeyState) b = 0;
  }

  // Model draws of the aircraft (its index buffer), in order.
  std::vector<const RecordedCall*> ModelDraws() const {
    std::vector<const RecordedCall*> out;
    for (const RecordedCall* d : rec->Draws())
      if (d->kind == CallKind::DrawIndexedPrimitive && d->state->indices.get() == model->indexBuffer)
        out.push_back(d);
    return out;
  }
  // (start index, primitive count) of each draw a node or subset makes.
  std::vector<std::pair<uint32_t, uint32_t>> Ranges(const char* node, int subset) const {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (const ModelNode& n : model->nodes) {
      if (Str(n.name) != node) continue;
      if (subset < 0) {
        uint32_t total = 0;
        for (const Subset& s : n.subsets) total += s.count;
        if (total) out.push_back({3 * n.subsets[0].first, total});
      } else if (uint32_t(subset) < n.subsets.count) {
        out.push_back({3 * n.subsets[subset].first, n.subsets[subset].count});
      }
    }
    return out;
  }
  // The world translation a body's pose gives, camera-relative, as the device holds it.
  static void ExpectPlacedBy(const RecordedCall* d, const pBody* body) {
    const D3DMATRIX& w = d->state->world;
    EXPECT_NEAR(w.m[3][0], body->position.x - CameraPosition.x, 1e-3);
    EXPECT_NEAR(w.m[3][1], body->position.y - CameraPosition.y, 1e-3);
    EXPECT_NEAR(w.m[3][2], body->position.z - CameraPosition.z, 1e-3);
    Mat4 r = QuatToMat4(body->orientation);
    for (int i = 0; i < 3; i++)
      for (int j = 0; j < 3; j++) EXPECT_NEAR(w.m[i][j], r.m[4 * i + j], 1e-6);
    // The world slot c8..c11 holds the same matrix, transposed.
    for (int i = 0; i < 4; i++)
      for (int j = 0; j < 4; j++) EXPECT_FLOAT_EQ(d->state->vertexConstants[8 + j][i], w.m[i][j]);
  }
  // Checks the draws against the pieces, in order, and returns how many draws it used.
  size_t ExpectPieces(const std::vector<const RecordedCall*>& draws, size_t at,
                      const std::vector<Piece>& pieces) {
    for (const Piece& p : pieces) {
      for (auto range : Ranges(p.node, p.subset)) {
        SCOPED_TRACE(std::string(p.node) + " subset " + std::to_string(p.subset));
        EXPECT_LT(at, draws.size());
        if (at >= draws.size()) return at;
        EXPECT_EQ(draws[at]->u[3], range.first);
        EXPECT_EQ(draws[at]->u[4], range.second);
        if (p.body) ExpectPlacedBy(draws[at], p.body);
        at++;
      }
    }
    return at;
  }
  static void ExpectColour(const RecordedCall* d, float r, float g, float b) {
    const float* c = d->state->pixelConstants[2];
    EXPECT_FLOAT_EQ(c[0], r);
    EXPECT_FLOAT_EQ(c[1], g);
    EXPECT_FLOAT_EQ(c[2], b);
    EXPECT_FLOAT_EQ(c[3], 1.0f);
  }

  fs::path dir, oldDir;
  RecordingDevice* rec = nullptr;
  Tarnplane* a = nullptr;
  MDL* model = nullptr;
  std::string initLog, shutdownLog;
};

TEST_F(SceneTest, StartUpLoadsEverythingAndShutdownLeavesNothing) {
  // Only the three first-use compilations speak; no load failed.
  EXPECT_EQ(initLog.find("Loading texture"), std::string::npos) << initLog;
  EXPECT_EQ(initLog.find("Assembling"), std::string::npos) << initLog;
  EXPECT_EQ(initLog.find("Can't"), std::string::npos) << initLog;
  EXPECT_NE(initLog.find("Loading RAW model \"Models/PlaneTarn.mdl\""), std::string::npos) << initLog;
  for (TextureRecord* t = TextureList; t; t = t->next) EXPECT_NE(t->texture, nullptr) << Str(t->name);
  for (PixelShaderRecord* s = PixelShaderList; s; s = s->next) EXPECT_NE(s->shader, nullptr) << Str(s->name);
  for (VertexShaderRecord* s = VertexShaderList; s; s = s->next) EXPECT_NE(s->shader, nullptr) << Str(s->name);
  EXPECT_NE(FindSymbol(String("Cursor Default")), -1);

  LogCapture log;
  ShutdownApplication();
  ReleaseDevice();
  EXPECT_EQ(log.text(), "Memory objects left: 0\n");  // and the device reports no leaked reference
  EXPECT_EQ(CurrentAircraft, nullptr);
  EXPECT_EQ(Device, nullptr);
}

TEST_F(SceneTest, FrameDrawsSkyIslandAircraftTextAndCursorInOrder) {
  DrawFrame();
  const auto& calls = rec->calls();
  ASSERT_FALSE(calls.empty());
  ASSERT_EQ(calls.front().kind, CallKind::Clear);
  EXPECT_EQ(calls.front().u[1], 0xFF050F19u);  // (0.02, 0.06, 0.1) packed by truncation

  auto draws = rec->Draws();
  ASSERT_GE(draws.size(), 2u);
  // Sky first with no world transform of its own, then the island at the origin.
  const RecordedCall* sky = draws[0];
  EXPECT_EQ(sky->u[4], SkyModel->triangles.count);
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) EXPECT_EQ(sky->state->vertexConstants[8 + i][j], i == j ? 1.0f : 0.0f);
  const RecordedCall* island = draws[1];
  EXPECT_EQ(island->u[4], IslandModel->triangles.count);
  EXPECT_EQ(island->state->textures[7].get(), texture_skycube->texture);
  EXPECT_FLOAT_EQ(island->state->world.m[3][2], -5.0f);  // origin minus the eye at z = 5

  // After the aircraft: the overlay state, then heading and altitude in black
  // at the top-left corner, the help line, and the cursor last.
  std::string heading = DecodeText(draws, 10);
  EXPECT_EQ(heading, "Heading: " + Str(FormatNumber(HeadingDegrees(CameraOrientation))) +
                         "\nAltitude: " + Str(FormatNumber(CameraPosition.z)));
  const RecordedCall* firstHeading = nullptr;
  for (const RecordedCall* d : draws)
    if (IsScreenQuad(d) && std::fabs(ReadQuad(d).y[1] - ReadQuad(d).y[0] - 10) < 1e-3) {
      firstHeading = d;
      break;
    }
  ASSERT_NE(firstHeading, nullptr);
  Quad q = ReadQuad(firstHeading);
  EXPECT_EQ(q.x[0], 0.0f);
  EXPECT_EQ(q.y[0], 0.0f);
  EXPECT_EQ(firstHeading->state->pixelShader.get(), CurrentFont->pixelShader->shader);
  ExpectColour(firstHeading, 0, 0, 0);

  // The overlay reset precedes the heading text and follows the last model draw.
  auto modelDraws = ModelDraws();
  ASSERT_FALSE(modelDraws.empty());
  size_t lastModel = 0, headingAt = 0;
  std::vector<CallKind> between;
  for (size_t i = 0; i < calls.size(); i++) {
    if (&calls[i] == modelDraws.back()) lastModel = i;
    if (&calls[i] == firstHeading) headingAt = i;
  }
  ASSERT_LT(lastModel, headingAt);
  bool unsetPixel = false, unsetVertex = false, unsetStage0 = false;
  for (size_t i = lastModel + 1; i < headingAt; i++) {
    const RecordedCall& c = calls[i];
    unsetPixel |= c.kind == CallKind::SetPixelShader && !c.object;
    unsetVertex |= c.kind == CallKind::SetVertexShader && !c.object;
    unsetStage0 |= c.kind == CallKind::SetTexture && c.u[0] == 0 && !c.object;
  }
  EXPECT_TRUE(unsetPixel && unsetVertex && unsetStage0);

  // Help line at the bottom, then the cursor: four dark outline copies and a white one.
  EXPECT_EQ(DecodeText(draws, 14).substr(0, 17), "Pause: start/stop");
  ASSERT_GE(draws.size(), 5u);
  for (size_t i = draws.size() - 5; i < draws.size(); i++) {
    Quad c = ReadQuad(draws[i]);
    EXPECT_FLOAT_EQ(c.y[1] - c.y[0], 35.0f);
    ExpectColour(draws[i], i + 1 == draws.size() ? 1 : 0, i + 1 == draws.size() ? 1 : 0,
                 i + 1 == draws.size() ? 1 : 0);
  }
  EXPECT_EQ(rec->Count(CallKind::BeginScene), 0u);  // the loop's business, not DrawFrame's
}

TEST_F(SceneTest, HeadingIsMeasuredFromNorthClockwiseAndAltitudeIsTheCameraHeight) {
  EXPECT_NEAR(HeadingDegrees(QuatFromAxisAngle(Vec3{0, 0, 1}, M_PI)), 180, 1e-9);
  // A hair west of north would round up to a full turn; it reads 0, never 360.
  EXPECT_EQ(HeadingDegrees(QuatFromAxisAngle(Vec3{0, 0, 1}, 1e-17)), 0);
  // Looking down steeply does not change the heading.
  Quat down = QuatMul(QuatFromAxisAngle(Vec3{0, 0, 1}, -M_PI / 2), QuatFromAxisAngle(Vec3{1, 0, 0}, -1.2));
  EXPECT_NEAR(HeadingDegrees(down), 90, 1e-9);

  CameraOrientation = QuatFromAxisAngle(Vec3{0, 0, 1}, -M_PI / 2);
  CameraPosition = Vec3{-3, 4, 123.25};  // the aircraft stays near z = 2
  SetupFrame(0.1, 100000);
  DrawScene();
  EXPECT_EQ(DecodeText(rec->Draws(), 10), "Heading: 90\nAltitude: 123.25");
}

TEST_F(SceneTest, MissingSceneTexturesPrintOncePerFrame) {
  TextureRecord* cube = texture_skycube;
  TextureRecord* island = texture_island;
  texture_skycube = nullptr;
  texture_island = nullptr;
  LogCapture log;
  DrawScene();
  DrawScene();
  texture_skycube = cube;
  texture_island = island;
  EXPECT_EQ(log.text(),
            "Uninitialized texture: texture_skycube\nUninitialized texture: texture_island\n"
            "Uninitialized texture: texture_skycube\nUninitialized texture: texture_island\n");
  for (const RecordedCall* c : rec->CallsOf(CallKind::SetTexture)) EXPECT_NE(c->u[0], 7u);
  EXPECT_GE(rec->Draws().size(), 4u);  // both still drawn, twice
}

TEST_F(SceneTest, AircraftPiecesSubsetsColoursAndShaders) {
  // A fuselage flying backwards shows a negative speed.
  pBody* f = a->fuselage;
  Vec3 forward{f->rotation.m[3], f->rotation.m[4], f->rotation.m[5]};
  f->velocity = forward * -3.5;
  SetupFrame(0.1, 100000);
  DrawAircraft();

  auto draws = rec->Draws();
  double speed = f->velocity.x * forward.x + f->velocity.y * forward.y + f->velocity.z * forward.z;
  ASSERT_NEAR(speed, -3.5, 1e-12);
  std::string text = DecodeText(draws, 20);
  EXPECT_EQ(text, "Speed: " + Str(FormatNumber(speed)));
  EXPECT_EQ(text.substr(0, 10), "Speed: -3.");

  auto m = ModelDraws();
  size_t at = 0;
  at = ExpectPieces(m, at,
                    {{"Fuselage", 0, a->fuselage}, {"Left Wing2", 0, a->leftWing2}, {"Left Wing", 0, a->leftWing},
                     {"Right Wing2", 0, a->rightWing2}, {"Right Wing", 0, a->rightWing}, {"Tail", -1, a->tail},
                     {"Tail2", -1, a->tail2}, {"LLeg1", -1, a->leftLeg[0]}, {"LLeg2", -1, a->leftLeg[1]},
                     {"LLeg3", -1, a->leftLeg[2]}, {"RLeg1", -1, a->rightLeg[0]}, {"RLeg2", -1, a->rightLeg[1]},
                     {"RLeg3", -1, a->rightLeg[2]}});
  ASSERT_EQ(at, 13u) << "every textured piece has triangles";
  for (size_t i = 0; i < at; i++) EXPECT_EQ(m[i]->state->textures[0].get(), a->Texture1->texture);

  // Ten flat-coloured subsets follow: the fuselage's two, the wings' eight.
  ASSERT_GE(m.size(), at + 10);
  for (size_t i = at; i < at + 10; i++) EXPECT_EQ(m[i]->state->pixelShader.get(), a->defaultPixelShader->shader);
  ExpectColour(m[at], 36.0f / 255, 25.0f / 255, 22.0f / 255);
  at += 10;

  // Cockpit: the cockpit texture, the canopy blended.
  size_t cockpit = at;
  at = ExpectPieces(m, at, {{"Fuselage", 1, a->fuselage}, {"Fuselage", 2, a->fuselage}, {"Cockpit1", -1, a->fuselage}});
  ASSERT_EQ(at, cockpit + 3);
  for (size_t i = cockpit; i < at; i++) {
    EXPECT_EQ(m[i]->state->pixelShader.get(), a->texturedPixelShader->shader);
    EXPECT_EQ(m[i]->state->textures[0].get(), a->Texture2->texture);
    EXPECT_EQ(m[i]->state->renderState(D3DRS_ALPHABLENDENABLE), i == cockpit ? 0u : 1u);
  }

  // Balloon and straps: fuselage matrix in c8-c11, balloon matrix in c15-c18.
  size_t balloon = at;
  at = ExpectPieces(m, at, {{"Ballon", -1, a->balloon}, {"Strapes", 0, nullptr}, {"Strapes", 4, nullptr}});
  ASSERT_EQ(at, balloon + 3);
  for (size_t i = balloon; i < at; i++) {
    const GpuState& s = *m[i]->state;
    EXPECT_EQ(s.vertexShader.get(), a->animVertexShader->shader);
    EXPECT_EQ(s.renderState(D3DRS_ALPHABLENDENABLE), 0u);
    // c8..c11: the fuselage; c15..c18: the balloon (translations in column 3).
    EXPECT_NEAR(s.vertexConstants[10][3], a->fuselage->position.z - CameraPosition.z, 1e-3);
    EXPECT_NEAR(s.vertexConstants[17][3], a->balloon->position.z - CameraPosition.z, 1e-3);
  }
  EXPECT_EQ(m[balloon]->state->pixelShader.get(), a->balloonPixelShader->shader);

  at = ExpectPieces(m, at, {{"Joke", -1, nullptr}});
  EXPECT_EQ(at, m.size()) << "the yoke is the last piece";
  // The device is left with depth on and blending off.
  EXPECT_EQ(rec->state().renderState(D3DRS_ZENABLE), uint32_t(D3DZB_TRUE));
  EXPECT_EQ(rec->state().renderState(D3DRS_ALPHABLENDENABLE), 0u);
}

TEST_F(SceneTest, CutStrapLeavesTheBalloonAloneWithoutStraps) {
  // One strap cut (the Delete key cuts all four; the drawing only asks whether all exist).
  pStrape* cut = a->balloonStrap[2];
  for (pEntity*& e : a->parts)
    if (e == cut) e = nullptr;
  delete cut;
  a->balloonStrap[2] = nullptr;
  SetupFrame(0.1, 100000);
  DrawAircraft();

  auto m = ModelDraws();
  std::vector<std::string> names;
  const RecordedCall* balloonDraw = nullptr;
  auto balloonRange = Ranges("Ballon", -1);
  ASSERT_EQ(balloonRange.size(), 1u);
  for (auto strap : Ranges("Strapes", -1))
    for (const RecordedCall* d : m) EXPECT_FALSE(d->u[3] >= strap.first && d->u[3] < strap.first + 3 * strap.second);
  for (const RecordedCall* d : m)
    if (d->u[3] == balloonRange[0].first) balloonDraw = d;
  ASSERT_NE(balloonDraw, nullptr);
  ExpectPlacedBy(balloonDraw, a->balloon);
  EXPECT_EQ(balloonDraw->state->pixelShader.get(), a->balloonPixelShader->shader);
  // The vertex shader still current: the airframe's, not the two-matrix one.
  EXPECT_EQ(balloonDraw->state->vertexShader.get(), a->defaultVertexShader->shader);
  for (const RecordedCall* c : rec->CallsOf(CallKind::SetVertexShader))
    EXPECT_NE(c->object, static_cast<IUnknown*>(a->animVertexShader->shader));
  // c15 still holds the eye position from the frame set-up.
  EXPECT_FLOAT_EQ(balloonDraw->state->vertexConstants[15][2], float(CameraPosition.z));
  EXPECT_EQ(m.size(), 28u);  // 30 less the two strap subsets
}

TEST_F(SceneTest, F12ToggleSwapsTheModelForTheEntitiesOwnDrawing) {
  PressKey(VK_F12);
  ReleaseKey(VK_F12);
  SetupFrame(0.1, 100000);
  DrawAircraft();
  EXPECT_TRUE(ModelDraws().empty());
  size_t debugDraws = 0;
  for (const RecordedCall* d : rec->Draws())
    if (!IsScreenQuad(d)) debugDraws++;
  EXPECT_GT(debugDraws, 100u);  // bodies' triangles, hinge crosses, strap lines
  EXPECT_EQ(DecodeText(rec->Draws(), 20).substr(0, 7), "Speed: ");

  rec->clearCalls();
  PressKey(VK_F12);  // the second press brings the model back
  DrawAircraft();
  EXPECT_EQ(ModelDraws().size(), 30u);
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
  SetupFrame(0.1, 100000);

  auto yokeAndFuselage = [&](D3DMATRIX& yoke, D3DMATRIX& fuselage) {
    rec->clearCalls();
    DrawAircraft();
    auto m = ModelDraws();
    ASSERT_FALSE(m.empty());
    yoke = m.back()->state->world;
    fuselage = m.front()->state->world;  // "Fuselage" subset 0
  };
  auto expectNear = [](const Vec3& p, const Vec3& q) {
    EXPECT_NEAR(p.x, q.x, 2e-4);
    EXPECT_NEAR(p.y, q.y, 2e-4);
    EXPECT_NEAR(p.z, q.z, 2e-4);
  };
  D3DMATRIX yoke, fus;
  a->pitchInput = 0;
  a->rollInput = 0;
  yokeAndFuselage(yoke, fus);
  expectNear(Apply(yoke, pivot), Apply(fus, pivot));  // at rest the yoke rides with the fuselage

  // Pitch slides the yoke along its axis; roll turns it against the roll.
  a->pitchInput = -0.5;
  a->rollInput = 1;
  yokeAndFuselage(yoke, fus);
  // Any arm u about the pivot turns by -1 rad about the axis; the slide is -0.1.
  Vec3 u = Normalize(Cross(axis, Vec3{0.3, 0.5, 0.8}));
  Vec3 turned = u;
  Rotate(QuatFromAxisAngle(axis, -1), turned);
  expectNear(Apply(yoke, pivot + u), Apply(fus, pivot + turned + axis * -0.1));
  expectNear(Apply(yoke, pivot + axis), Apply(fus, pivot + axis * 0.9));
}

}  // namespace
