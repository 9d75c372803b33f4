// The aircraft's assembly, lifetime, keys, wing beat and camera modes, on an
// in-memory model (no files, no device).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "aircraft/aircraft.h"
#include "app/camera.h"
#include "app/frame_timer.h"
#include "app/keys.h"
#include "foundation/log.h"
#include "physics/physics.h"
#include "render/draw.h"
#include "render/resources.h"
#include "tests/aircraft/test_model.h"

namespace {

void Press(uint32_t key) {
  PressKey(key);
  ReleaseKey(key);
}

void ExpectNear(const Vec3& a, const Vec3& b, double tolerance) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

// World position of a test-model node in the start pose.
Vec3 StartPoint(const char* node, double below = 0) {
  Vec3 p = TestNodePosition(node);
  return {70 - p.y, 70 + p.x, 2 + p.z - below};
}

void ReleaseResources() {
  ReleaseAllTextures();
  ReleaseAllVertexShaders();
  ReleaseAllPixelShaders();
  for (int i = 0; i < 256; i++) KeyState[i] = 0;
}

class AircraftTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ReleaseResources();
    ClearEntityList();
    ResetFrameTimer();
    model = RegisterTestAircraftModel();
    RecreateAircraft();
    ASSERT_NE(CurrentAircraft, nullptr);
    a = CurrentAircraft;
  }
  void TearDown() override {
    DestroyAircraft();
    ReleaseModel(model);
    ReleaseResources();
  }
  MDL* model = nullptr;
  Tarnplane* a = nullptr;
};

TEST_F(AircraftTest, AssemblyRegistersEveryPartOnceAndDestroyingReleasesThemAll) {
  ASSERT_EQ(a->parts.count, 32u);
  EXPECT_EQ(EntityList.count, 32u);
  for (pEntity* e : a->parts) EXPECT_EQ(std::count(EntityList.begin(), EntityList.end(), e), 1);
  EXPECT_EQ(a->parts[31], a->cameraHinge);
  // The fuselage: its proxy once and the ballast three times, then 1500 kg.
  EXPECT_EQ(a->fuselage->mass, 1500.0);
  EXPECT_EQ(a->fuselage->triangles.count, 12u + 3 * 12u);
  EXPECT_EQ(a->fuselage->vertices.count, 16u);  // the repeated ballast shares its corners
  EXPECT_NEAR(a->fuselage->volume, 3.2 + 3 * (0.4 * 0.6 * 0.2), 1e-5);
  // Every body starts in the shared pose: model +Y (the nose) along world -X.
  for (uint32_t i = 0; i < 15; i++) {
    pBody* b = static_cast<pBody*>(a->parts[i]);
    ExpectNear(b->position, {70, 70, 2}, 0);
    ExpectNear(b->LocalToWorld({1, 0, 1}), {70, 71, 3}, 1e-14);
    ExpectNear(b->LocalToWorld({0, 1, 0}), {69, 70, 2}, 1e-14);
  }

  uint32_t textureRefs = a->Texture1->refs;
  RecreateAircraft();  // replaces the aircraft: no entities or references pile up
  EXPECT_EQ(EntityList.count, 32u);
  EXPECT_EQ(model->Refs, 2u);
  EXPECT_EQ(CurrentAircraft->Texture1->refs, textureRefs);
  EXPECT_EQ(WorldStepAircraftHook, &UpdateWingBeat);
  DestroyAircraft();
  EXPECT_EQ(EntityList.count, 0u);
  EXPECT_EQ(model->Refs, 1u);
  EXPECT_EQ(WorldStepAircraftHook, nullptr);
  EXPECT_EQ(TextureList, nullptr);  // both textures had only the aircraft as user
  // Aircraft operations are skipped without an aircraft.
  HandleAircraftKeys();
  UpdateWingBeat();
  UpdateAircraftCamera();
}

TEST_F(AircraftTest, JointsAndStrapsJoinTheirBodiesAtTheirNodes) {
  auto joint = [&](pAxis* h, pBody* bodyA, pBody* bodyB, const char* node, const Vec3& axis) {
    SCOPED_TRACE(node);
    EXPECT_TRUE(h->bodyA == bodyA && h->bodyB == bodyB);
    ExpectNear(h->axis, axis, 1e-15);  // in bodyA's frame, which is the model frame here
    ExpectNear(bodyA->LocalToWorld(h->anchorA), StartPoint(node), 1e-12);
    ExpectNear(bodyB->LocalToWorld(h->anchorB), StartPoint(node), 1e-12);
  };
  joint(a->leftWing2Hinge, a->fuselage, a->leftWing2, "Left Wing2 Proxy", {0, -1, 0});
  joint(a->rightWing2Hinge, a->fuselage, a->rightWing2, "Right Wing2 Proxy", {0, 1, 0});
  joint(a->leftWingHinge, a->leftWing2, a->leftWing, "Left Wing Proxy", {1, 0, 0});
  joint(a->leftLegHinge[2], a->leftLeg[1], a->leftLeg[2], "LLeg3 Proxy", {1, 0, 0});
  // The camera hinge pivots 1 m below its node.
  ExpectNear(a->fuselage->LocalToWorld(a->cameraHinge->anchorA), StartPoint("CameraPoint", 1), 1e-12);

  for (int i = 0; i < 4; i++) {
    pStrape* s = a->balloonStrap[i];
    std::string end = "StrapesPoint" + std::to_string(i + 1);
    EXPECT_TRUE(s->bodyA == a->fuselage && s->bodyB == a->balloon);
    ExpectNear(s->EndA(), StartPoint((end + "a").c_str()), 1e-12);
    ExpectNear(s->EndB(), StartPoint((end + "b").c_str()), 1e-12);
    EXPECT_NEAR(s->restLength, Length(s->EndB() - s->EndA()), 1e-6);
  }
}

TEST(AircraftMissingContent, AssemblyReportsMissingNodesAndGoesOn) {
  ClearEntityList();
  MDL* empty = RegisterTestAircraftModel(false);
  std::vector<std::string> lines;
  {
    LogCapture capture;
    RecreateAircraft();
    lines = capture.lines();
  }
  ASSERT_NE(CurrentAircraft, nullptr);
  EXPECT_EQ(EntityList.count, 32u);
  std::vector<std::string> missing;  // meshes: fifteen bodies and the ballast three times
  for (const std::string& line : lines)
    if (line.rfind("ERROR! Can not find node", 0) == 0) missing.push_back(line);
  ASSERT_EQ(missing.size(), 18u);
  EXPECT_EQ(missing[0], "ERROR! Can not find node \"Fuselage Proxy\" in model \"PlaneTarn\"");
  EXPECT_EQ(missing[17], "ERROR! Can not find node \"CameraPoint\" in model \"PlaneTarn\"");
  // Straps look up their balloon end first; every end sits at the start position.
  auto at = [&](const char* line) { return std::find(lines.begin(), lines.end(), line) - lines.begin(); };
  EXPECT_LT(at("Can't find node StrapesPoint1b"), at("Can't find node StrapesPoint1a"));
  EXPECT_LT(at("Can't find node StrapesPoint1a"), long(lines.size()));
  ExpectNear(CurrentAircraft->balloonStrap[0]->EndA(), {70, 70, 2}, 1e-12);
  DestroyAircraft();
  ReleaseModel(empty);
  ReleaseResources();
}

TEST_F(AircraftTest, FlapKeysArmBeatAndChooseTheStroke) {
  CurrentDt = 0.016;
  Press('Z');
  HandleAircraftKeys();
  EXPECT_FALSE(a->flapping);
  EXPECT_EQ(KeyState['Z'] & 63, 1);  // left unconsumed
  Press('E');
  HandleAircraftKeys();
  EXPECT_TRUE(a->flapArmed);
  EXPECT_TRUE(a->flapping);  // the stale Z acted in the arming frame
  EXPECT_EQ(KeyState['Z'] & 63, 0);

  // E while flapping stops the beat and disarms; Z then does nothing.
  for (char key : {'E', 'Z'}) {
    Press(key);
    HandleAircraftKeys();
  }
  EXPECT_FALSE(a->flapping || a->flapArmed);
  // Several presses queued in one frame act once.
  for (int i = 0; i < 3; i++) Press('E');
  HandleAircraftKeys();
  EXPECT_TRUE(a->flapArmed);

  // V and G choose the boosted stroke's direction on both wings.
  for (uint32_t key : {'V', 'G'}) {
    Press(key);
    HandleAircraftKeys();
    for (pBody* wing : {a->leftWing, a->rightWing}) {
      ASSERT_EQ(wing->factorDirections.count, 1u);
      ExpectNear(wing->factorDirections[0], {0, 0, key == 'V' ? 1.0 : -1.0}, 0);
    }
  }
}

TEST_F(AircraftTest, UnpoweredBeatComesToRestInItsWindowPoweredRunsUpTo2Hz) {
  CurrentDt = 0.002;
  UpdateWingBeat();
  EXPECT_NEAR(a->beatRate, 0.064, 1e-15);  // toward 0.9 by 32 per second
  for (int i = 0; i < 2000; i++) UpdateWingBeat();
  EXPECT_EQ(a->beatRate, 0.0);
  EXPECT_GT(a->beatPhase, 0.28);
  EXPECT_LT(a->beatPhase, 0.32);
  // Wings up: the root angle near -29 degrees.
  EXPECT_NEAR(a->leftWing2Hinge->minAngle, -29 * 0.017453292519943295, 0.5 * 0.017453292519943295);
  EXPECT_EQ(a->leftWing2Hinge->minAngle, a->rightWing2Hinge->maxAngle);

  double phase = a->beatPhase;
  for (int i = 0; i < 500; i++) UpdateWingBeat();
  EXPECT_EQ(a->beatPhase, phase);
  a->flapping = true;
  UpdateWingBeat();
  EXPECT_NEAR(a->beatRate, 0.032, 1e-15);  // 16 per second
  for (int i = 0; i < 100; i++) UpdateWingBeat();
  EXPECT_EQ(a->beatRate, 2.0);
}

TEST_F(AircraftTest, BeatDrivesWingsSymmetricallyRollSplitsThemSpaceTogglesTheTail) {
  a->flapping = true;
  a->beatRate = 2.0;
  a->beatPhase = 0.1;
  a->pitchInput = 1.0;
  a->rollInput = 0.5;
  CurrentDt = 0.002;
  UpdateWingBeat();
  EXPECT_DOUBLE_EQ(a->beatPhase, 0.1 + 2.0 * 0.002);
  EXPECT_EQ(a->leftWing2Hinge->minAngle, a->rightWing2Hinge->minAngle);
  EXPECT_EQ(a->leftWing2Hinge->minAngle, a->leftWing2Hinge->maxAngle);
  // A roll input beats the right wing harder than the left.
  EXPECT_GT(std::fabs(a->rightWingHinge->maxAngle), std::fabs(a->leftWingHinge->minAngle));
  // Space toggles the tail between -27.5 and -5 degrees.
  for (double tail : {-0.9599310885968813, -0.17453292519943295, -0.9599310885968813}) {
    EXPECT_EQ(a->tailHinge->minAngle, tail * 0.5);
    Press(VK_SPACE);
    UpdateWingBeat();
  }
  // A phase landing exactly on 1 stays 1 for that step.
  a->beatPhase = 0.75;
  CurrentDt = 0.125;
  UpdateWingBeat();
  EXPECT_EQ(a->beatPhase, 1.0);
  UpdateWingBeat();
  EXPECT_EQ(a->beatPhase, 0.25);
}

TEST_F(AircraftTest, CameraModesPlaceTheCamera) {
  // Mode 1: in the cockpit, looking relative to the camera mount.
  LookOrientation = QuatFromAxisAngle({0, 0, 1}, 0.3);
  UpdateAircraftCamera();
  EXPECT_FALSE(FreeCamera);
  ExpectNear(CameraPosition, a->cameraBody->LocalToWorld(a->cameraBody->centreLocal), 0);
  Quat q = QuatMul(a->cameraBody->orientation, LookOrientation);
  EXPECT_TRUE(CameraOrientation.x == q.x && CameraOrientation.y == q.y && CameraOrientation.z == q.z &&
              CameraOrientation.w == q.w);

  // C: chase mode keeps heading and pitch, drops roll, steps back 15 m, then
  // follows 25 m behind.
  CameraPosition = {10, 20, 30};
  Quat heading = QuatFromAxisAngle({0, 0, -1}, 0.7), pitch = QuatFromAxisAngle({1, 0, 0}, 0.2);
  CameraOrientation = QuatMul(QuatMul(heading, pitch), QuatFromAxisAngle({0, 1, 0}, 0.4));
  Press('C');
  HandleAircraftKeys();
  EXPECT_EQ(a->cameraMode, 2);
  Vec3 forward = Rotate(LookOrientation, Vec3{0, 1, 0});
  ExpectNear(forward, Rotate(QuatMul(heading, pitch), Vec3{0, 1, 0}), 1e-12);
  ExpectNear(Rotate(LookOrientation, Vec3{1, 0, 0}), Rotate(heading, Vec3{1, 0, 0}), 1e-12);
  ExpectNear(CameraPosition, Vec3{10, 20, 30} - forward * 15, 1e-12);
  UpdateAircraftCamera();
  ExpectNear(CameraPosition, a->fuselage->position - forward * 25, 1e-12);

  // C twice (free mode, then the cockpit): the look reset to straight ahead.
  for (int i = 0; i < 2; i++) {
    Press('C');
    HandleAircraftKeys();
  }
  EXPECT_EQ(a->cameraMode, 1);
  EXPECT_EQ(LookOrientation.w, 1.0);

  // Looking straight up (pitch at the pole), a little off unit length, still
  // gives a finite chase view.
  CameraOrientation = QuatFromAxisAngle({1, 0, 0}, 1.5707963267948966);
  CameraOrientation.x *= 1.0000001;
  Press('C');
  HandleAircraftKeys();
  EXPECT_TRUE(std::isfinite(LookOrientation.w) && std::isfinite(CameraPosition.z));
}

}  // namespace
