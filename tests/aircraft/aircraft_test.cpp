// The aircraft's assembly, lifetime, keys, wing beat and camera modes, on an
// in-memory model (no files, no device).
#include <gtest/gtest.h>

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

constexpr double kDeg = 0.017453292519943295;

void ClearKeys() {
  for (int i = 0; i < 256; i++) KeyState[i] = 0;
}

void Press(uint32_t key) {
  PressKey(key);
  ReleaseKey(key);
}

void ExpectNear(const Vec3& a, const Vec3& b, double tolerance = 1e-9) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

// World position of a model-space point in the start pose.
Vec3 StartPoint(const Vec3& p) { return {70 - p.y, 70 + p.x, 2 + p.z}; }

uint32_t CountEntity(const pEntity* e) {
  uint32_t n = 0;
  for (pEntity* x : EntityList) n += x == e ? 1 : 0;
  return n;
}

class AircraftTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearKeys();
    ClearEntityList();
    ResetFrameTimer();
    model = RegisterTestAircraftModel();
    entitiesBefore = EntityList.count;
    RecreateAircraft();
    ASSERT_NE(CurrentAircraft, nullptr);
    a = CurrentAircraft;
  }
  void TearDown() override {
    DestroyAircraft();
    ReleaseModel(model);
    ReleaseAllTextures();
    ReleaseAllVertexShaders();
    ReleaseAllPixelShaders();
    ClearKeys();
  }
  MDL* model = nullptr;
  Tarnplane* a = nullptr;
  uint32_t entitiesBefore = 0;
};

TEST_F(AircraftTest, AssemblyRegistersEveryPartOnceAndPlacesTheBodies) {
  ASSERT_EQ(a->parts.count, 32u);
  EXPECT_EQ(EntityList.count, entitiesBefore + 32);
  for (uint32_t i = 0; i < 32; i++) {
    ASSERT_NE(a->parts[i], nullptr) << i;
    EXPECT_EQ(CountEntity(a->parts[i]), 1u) << "parts[" << i << "]";
  }
  EXPECT_EQ(a->parts[31], a->cameraHinge);
  EXPECT_EQ(model->Refs, 2u);
  ASSERT_NE(a->Texture1, nullptr);
  ASSERT_NE(a->Texture2, nullptr);

  // The fuselage: its proxy once and the ballast three times, then 1500 kg.
  EXPECT_EQ(a->fuselage->mass, 1500.0);
  EXPECT_EQ(a->fuselage->triangles.count, 12u + 3 * 12u);
  EXPECT_EQ(a->fuselage->vertices.count, 16u);  // the repeated ballast shares its corners
  EXPECT_LT(a->fuselage->centreLocal.z, 0.0);   // pulled toward the floor ballast
  // Its volume counts the ballast three times over the proxy's 0.8 x 4 x 1.
  EXPECT_NEAR(a->fuselage->volume, 3.2 + 3 * (0.4 * 0.6 * 0.2), 1e-5);

  // Every body starts in the shared pose: model +Y (the nose) along world -X.
  for (uint32_t i = 0; i < 15; i++) {
    pBody* b = static_cast<pBody*>(a->parts[i]);
    ExpectNear(b->position, {70, 70, 2}, 0);
    ExpectNear(VecMulMat3({0, 1, 0}, b->rotation), {-1, 0, 0}, 1e-15);
    ExpectNear(b->LocalToWorld({1, 0, 0}), {70, 71, 2}, 1e-14);
  }
}

TEST_F(AircraftTest, JointsPivotAtTheirNodesWithAxesInTheFirstBodysFrame) {
  struct Expect {
    pAxis* hinge;
    pBody* bodyA;
    pBody* bodyB;
    const char* node;
    Vec3 axis;
  };
  const Expect joints[] = {
      {a->tailHinge, a->fuselage, a->tail, "Tail Proxy", {1, 0, 0}},
      {a->tail2Hinge, a->fuselage, a->tail2, "Tail2 Proxy", {0, 0, 1}},
      {a->leftWing2Hinge, a->fuselage, a->leftWing2, "Left Wing2 Proxy", {0, -1, 0}},
      {a->rightWing2Hinge, a->fuselage, a->rightWing2, "Right Wing2 Proxy", {0, 1, 0}},
      {a->leftWingHinge, a->leftWing2, a->leftWing, "Left Wing Proxy", {1, 0, 0}},
      {a->leftLegHinge[2], a->leftLeg[1], a->leftLeg[2], "LLeg3 Proxy", {1, 0, 0}},
  };
  for (const Expect& e : joints) {
    SCOPED_TRACE(e.node);
    EXPECT_EQ(e.hinge->bodyA, e.bodyA);
    EXPECT_EQ(e.hinge->bodyB, e.bodyB);
    // The axis is kept in bodyA's frame, which is the model frame here.
    ExpectNear(e.hinge->axis, e.axis, 1e-15);
    // The pivot is the node's position placed by the start pose.
    ExpectNear(e.hinge->bodyA->LocalToWorld(e.hinge->anchorA),
               StartPoint(TestNodePosition(e.node)), 1e-12);
    ExpectNear(e.hinge->bodyB->LocalToWorld(e.hinge->anchorB),
               StartPoint(TestNodePosition(e.node)), 1e-12);
  }
  // Legs point their references down their segments (vertical in the test model).
  ExpectNear(Normalize(a->rightLegHinge[0]->reference), {0, 0, -1}, 1e-12);
  ExpectNear(Normalize(a->leftLegHinge[1]->reference), {0, 0, -1}, 1e-12);

  // The camera hinge pivots 1 m below its node.
  pAxis* cam = a->cameraHinge;
  EXPECT_EQ(cam->bodyB, a->cameraBody);
  ExpectNear(a->fuselage->LocalToWorld(cam->anchorA),
             StartPoint(TestNodePosition("CameraPoint") - Vec3{0, 0, 1}), 1e-12);
}

TEST_F(AircraftTest, StrapsJoinTheFuselageAndBalloonNodes) {
  for (int i = 0; i < 4; i++) {
    pStrape* s = a->balloonStrap[i];
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->bodyA, a->fuselage);
    EXPECT_EQ(s->bodyB, a->balloon);
    std::string n = std::to_string(i + 1);
    Vec3 pa = TestNodePosition(("StrapesPoint" + n + "a").c_str());
    Vec3 pb = TestNodePosition(("StrapesPoint" + n + "b").c_str());
    ExpectNear(s->EndA(), StartPoint(pa), 1e-12);
    ExpectNear(s->EndB(), StartPoint(pb), 1e-12);
    EXPECT_NEAR(s->restLength, Length(pb - pa), 1e-6);
  }
}

TEST_F(AircraftTest, DestroyingReleasesEntitiesAndReferences) {
  uint32_t textureRefs = a->Texture1->refs;
  RecreateAircraft();  // replaces the aircraft: no entities or references pile up
  EXPECT_NE(CurrentAircraft, nullptr);
  EXPECT_EQ(EntityList.count, entitiesBefore + 32);
  EXPECT_EQ(model->Refs, 2u);
  EXPECT_EQ(CurrentAircraft->Texture1->refs, textureRefs);
  EXPECT_EQ(WorldStepAircraftHook, &UpdateWingBeat);

  DestroyAircraft();
  EXPECT_EQ(CurrentAircraft, nullptr);
  EXPECT_EQ(EntityList.count, entitiesBefore);
  EXPECT_EQ(model->Refs, 1u);
  EXPECT_EQ(WorldStepAircraftHook, nullptr);
  EXPECT_EQ(TextureList, nullptr);  // both textures had only the aircraft as user
  // Aircraft operations are skipped without an aircraft.
  HandleAircraftKeys();
  UpdateWingBeat();
  UpdateAircraftCamera();
  DestroyAircraft();
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
  EXPECT_EQ(CurrentAircraft->parts.count, 32u);
  EXPECT_EQ(EntityList.count, 32u);
  std::vector<std::string> missingMeshes;
  for (const std::string& line : lines)
    if (line.rfind("ERROR! Can not find node", 0) == 0) missingMeshes.push_back(line);
  ASSERT_EQ(missingMeshes.size(), 18u);  // fifteen bodies and the ballast three times
  EXPECT_EQ(missingMeshes[0], "ERROR! Can not find node \"Fuselage Proxy\" in model \"PlaneTarn\"");
  EXPECT_EQ(missingMeshes[3], "ERROR! Can not find node \"Ballast\" in model \"PlaneTarn\"");
  EXPECT_EQ(missingMeshes[17], "ERROR! Can not find node \"CameraPoint\" in model \"PlaneTarn\"");
  // Straps look up their balloon end first.
  auto at = [&](const std::string& line) {
    for (size_t i = 0; i < lines.size(); i++)
      if (lines[i] == line) return int(i);
    return -1;
  };
  int b = at("Can't find node StrapesPoint1b"), aEnd = at("Can't find node StrapesPoint1a");
  ASSERT_GE(b, 0);
  ASSERT_GE(aEnd, 0);
  EXPECT_LT(b, aEnd);
  EXPECT_GE(at("Can't find node CameraPoint"), 0);
  // Every end sits at the start position.
  ExpectNear(CurrentAircraft->balloonStrap[0]->EndA(), {70, 70, 2}, 1e-12);
  DestroyAircraft();
  EXPECT_EQ(EntityList.count, 0u);
  ReleaseModel(empty);
  ReleaseAllTextures();
  ReleaseAllVertexShaders();
  ReleaseAllPixelShaders();
}

// ---- keys ----

TEST_F(AircraftTest, ZPressedBeforeArmingWaitsForE) {
  CurrentDt = 0.016;
  Press('Z');
  HandleAircraftKeys();
  EXPECT_FALSE(a->flapping);
  EXPECT_FALSE(a->flapArmed);
  EXPECT_EQ(KeyState['Z'] & 63, 1);  // left unconsumed
  Press('E');
  HandleAircraftKeys();
  EXPECT_TRUE(a->flapArmed);
  EXPECT_TRUE(a->flapping);  // the stale Z acted in the arming frame
  EXPECT_EQ(KeyState['Z'] & 63, 0);
  EXPECT_EQ(KeyState['E'] & 63, 0);

  // E while flapping stops the beat and disarms; Z then does nothing.
  Press('E');
  HandleAircraftKeys();
  EXPECT_FALSE(a->flapping);
  EXPECT_FALSE(a->flapArmed);
  Press('Z');
  HandleAircraftKeys();
  EXPECT_FALSE(a->flapping);

  // Several presses queued in one frame act once.
  Press('E');
  Press('E');
  Press('E');
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

TEST_F(AircraftTest, ArrowsMoveTheInputsAtTwoPerSecond) {
  CurrentDt = 0.1;
  PressKey(VK_UP);
  HandleAircraftKeys();
  EXPECT_NEAR(a->pitchInput, 0.2, 1e-15);
  for (int i = 0; i < 10; i++) HandleAircraftKeys();
  EXPECT_EQ(a->pitchInput, 1.0);  // never past the target
  PressKey(VK_DOWN);              // both held: back toward 0
  HandleAircraftKeys();
  EXPECT_NEAR(a->pitchInput, 0.8, 1e-15);
  ReleaseKey(VK_UP);  // Down alone: on toward -1
  HandleAircraftKeys();
  EXPECT_NEAR(a->pitchInput, 0.6, 1e-15);

  PressKey(VK_RIGHT);
  HandleAircraftKeys();
  EXPECT_NEAR(a->rollInput, -0.2, 1e-15);
}

TEST_F(AircraftTest, DeleteCutsTheStrapsOnce) {
  pEntity* before[32];
  for (int i = 0; i < 32; i++) before[i] = a->parts[i];
  pStrape* strap = a->balloonStrap[2];
  PressKey(VK_DELETE);
  HandleAircraftKeys();
  for (pStrape* s : a->balloonStrap) EXPECT_EQ(s, nullptr);
  ASSERT_EQ(a->parts.count, 28u);
  EXPECT_EQ(EntityList.count, entitiesBefore + 28);
  EXPECT_EQ(CountEntity(strap), 0u);
  // The rest keep their order: 27 joints and bodies, then the camera hinge.
  for (int i = 0; i < 27; i++) EXPECT_EQ(a->parts[i], before[i]);
  EXPECT_EQ(a->parts[27], a->cameraHinge);

  // Still held a frame later: nothing more to cut.
  HandleAircraftKeys();
  EXPECT_EQ(a->parts.count, 28u);
  ReleaseKey(VK_DELETE);
}

// ---- wing beat ----

TEST_F(AircraftTest, UnpoweredBeatComesToRestInItsWindow) {
  CurrentDt = 0.002;
  UpdateWingBeat();
  EXPECT_NEAR(a->beatRate, 0.064, 1e-15);  // toward 0.9 by 32 per second
  for (int i = 0; i < 2000; i++) UpdateWingBeat();
  EXPECT_EQ(a->beatRate, 0.0);
  EXPECT_GT(a->beatPhase, 0.28);
  EXPECT_LT(a->beatPhase, 0.32);
  // Wings up: the root angle near -29 degrees.
  EXPECT_NEAR(a->leftWing2Hinge->minAngle, -29 * kDeg, 0.5 * kDeg);
  EXPECT_EQ(a->leftWing2Hinge->minAngle, a->rightWing2Hinge->maxAngle);

  // Resting it stays; powered it runs up to 2 Hz at 16 per second.
  double phase = a->beatPhase;
  for (int i = 0; i < 500; i++) UpdateWingBeat();
  EXPECT_EQ(a->beatPhase, phase);
  a->flapping = true;
  UpdateWingBeat();
  EXPECT_NEAR(a->beatRate, 0.032, 1e-15);
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
  EXPECT_EQ(a->tailHinge->minAngle, -0.9599310885968813 * 0.5);  // -27.5 degrees

  // Space toggles the tail between -5 and -27.5 degrees.
  Press(VK_SPACE);
  UpdateWingBeat();
  EXPECT_EQ(a->tailHinge->minAngle, -0.17453292519943295 * 0.5);
  Press(VK_SPACE);
  UpdateWingBeat();
  EXPECT_EQ(a->tailHinge->minAngle, -0.9599310885968813 * 0.5);

  // A phase landing exactly on 1 stays 1 for that step.
  a->beatPhase = 0.75;
  a->beatRate = 2.0;
  CurrentDt = 0.125;
  UpdateWingBeat();
  EXPECT_EQ(a->beatPhase, 1.0);
  UpdateWingBeat();
  EXPECT_EQ(a->beatPhase, 0.25);
}

// ---- camera ----

TEST_F(AircraftTest, CameraModesPlaceTheCamera) {
  LookOrientation = QuatFromAxisAngle({0, 0, 1}, 0.3);
  CameraPosition = {1, 2, 3};
  CameraOrientation = {0, 0, 0, 1};

  // Mode 1: in the cockpit, looking relative to the camera mount.
  UpdateAircraftCamera();
  EXPECT_FALSE(FreeCamera);
  pBody* mount = a->cameraBody;
  ExpectNear(CameraPosition, mount->LocalToWorld(mount->centreLocal), 0);
  Quat q = QuatMul(mount->orientation, LookOrientation);
  EXPECT_EQ(CameraOrientation.x, q.x);
  EXPECT_EQ(CameraOrientation.y, q.y);
  EXPECT_EQ(CameraOrientation.z, q.z);
  EXPECT_EQ(CameraOrientation.w, q.w);

  // C: chase mode keeps heading and pitch, drops roll, steps back 15 m.
  Quat heading = QuatFromAxisAngle({0, 0, -1}, 0.7);
  Quat pitch = QuatFromAxisAngle({1, 0, 0}, 0.2);
  Quat roll = QuatFromAxisAngle({0, 1, 0}, 0.4);
  CameraOrientation = QuatMul(QuatMul(heading, pitch), roll);
  CameraPosition = {10, 20, 30};
  Press('C');
  HandleAircraftKeys();
  EXPECT_EQ(a->cameraMode, 2);
  Vec3 forward = Rotate(LookOrientation, Vec3{0, 1, 0});
  Vec3 expectForward = Rotate(QuatMul(heading, pitch), Vec3{0, 1, 0});
  ExpectNear(forward, expectForward, 1e-12);
  ExpectNear(Rotate(LookOrientation, Vec3{1, 0, 0}) , Rotate(heading, Vec3{1, 0, 0}), 1e-12);
  ExpectNear(CameraPosition, Vec3{10, 20, 30} - forward * 15, 1e-12);
  UpdateAircraftCamera();
  EXPECT_FALSE(FreeCamera);
  ExpectNear(CameraPosition, a->fuselage->position - forward * 25, 1e-12);
  EXPECT_EQ(CameraOrientation.w, LookOrientation.w);

  // C: free mode; the camera stays where it is.
  Press('C');
  HandleAircraftKeys();
  EXPECT_EQ(a->cameraMode, 0);
  UpdateAircraftCamera();
  EXPECT_TRUE(FreeCamera);

  // C: back in the cockpit, the look reset to straight ahead.
  Press('C');
  HandleAircraftKeys();
  EXPECT_EQ(a->cameraMode, 1);
  EXPECT_EQ(LookOrientation.w, 1.0);

  // Looking straight up (pitch at the pole) still gives a finite chase view.
  CameraOrientation = QuatFromAxisAngle({1, 0, 0}, 1.5707963267948966);
  CameraOrientation.x *= 1.0000001;  // a little off unit length
  Press('C');
  HandleAircraftKeys();
  EXPECT_TRUE(std::isfinite(LookOrientation.w));
  EXPECT_TRUE(std::isfinite(CameraPosition.z));
}

}  // namespace
