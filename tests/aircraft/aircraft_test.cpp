// The aircraft's assembly, lifetime, keys, wing beat and camera modes, on an
// in-memory model (no files, no device).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "aircraft/aircraft.h"
#include "foundation/log.h"
#include "physics/physics.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"
#include "tests/aircraft/test_model.h"

namespace {

// The view the camera modes steer, as the program's would be.
CameraView view = {{0, 0, 0}, {0, 0, 0, 1}, {0, 0, 0, 1}, true};
void Keys() { HandleAircraftKeys(view); }

// A key pressed and released before the pass that reads it.
void Press(uint32_t key, void (*pass)() = Keys) {
  PressKey(key);
  ReleaseKey(key);
  pass();
}

void ExpectNear(const Vec3& a, const Vec3& b, double tolerance) {
  EXPECT_LE(Length(a - b), tolerance) << "(" << a.x << ", " << a.y << ", " << a.z << ")";
}

// World position of a test-model node in the start pose.
Vec3 StartPoint(const char* node, double below = 0) {
  Vec3 p = TestNodePosition(node);
  return {70 - p.y, 70 + p.x, 2 + p.z - below};
}

void ReleaseResources() {
  for (int i = 0; i < 256; i++) KeyState[i] = 0;
}

class AircraftTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ReleaseResources();
    ClearEntityList();
    CurrentDt = 0.00001, StepCounter = 0;
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

TEST_F(AircraftTest, AssemblyOrdersItsPartsAndDestroyingReleasesThemAll) {
  // parts: bodies, joints, straps, camera hinge in their groups' orders.
  const std::vector<pEntity*> parts = {
      a->fuselage, a->rightLeg[0], a->rightLeg[1], a->rightLeg[2], a->leftLeg[0], a->leftLeg[1], a->leftLeg[2],
      a->leftWing, a->rightWing, a->leftWing2, a->rightWing2, a->tail, a->tail2, a->balloon, a->cameraBody,
      a->tailHinge, a->tail2Hinge, a->leftWing2Hinge, a->leftWingHinge, a->rightWing2Hinge, a->rightWingHinge,
      a->rightLegHinge[0], a->rightLegHinge[1], a->rightLegHinge[2], a->leftLegHinge[0], a->leftLegHinge[1],
      a->leftLegHinge[2], a->balloonStrap[0], a->balloonStrap[1], a->balloonStrap[2], a->balloonStrap[3],
      a->cameraHinge};
  // Every part is registered once with the world. The order the world steps them in changes only the rounding of
  // a flight; the scenario suite judges flights by what the aircraft does.
  std::vector<pEntity*> registered(EntityList.begin(), EntityList.end()), sorted = parts;
  std::sort(registered.begin(), registered.end());
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::count(parts.begin(), parts.end(), nullptr), 0);
  EXPECT_EQ(std::vector<pEntity*>(a->parts.begin(), a->parts.end()), parts);
  EXPECT_EQ(registered, sorted);
  // The fuselage: its proxy once and the ballast three times, then 1500 kg.
  EXPECT_EQ(a->fuselage->mass, 1500.0);
  EXPECT_EQ(a->fuselage->triangles.count, 12u + 3 * 12u);
  for (uint32_t i = 0; i < 15; i++) {  // the shared start pose: model +Y (the nose) along world -X
    ExpectNear(static_cast<pBody*>(a->parts[i])->position, {70, 70, 2}, 0);
    for (Vec3 p : {Vec3{1, 0, 1}, Vec3{0, 1, 0}})
      ExpectNear(static_cast<pBody*>(a->parts[i])->LocalToWorld(p), {70 - p.y, 70 + p.x, 2 + p.z}, 1e-14);
  }

  EXPECT_TRUE(a->Texture1 == nullptr && a->animVertexShader == nullptr) << "no drawing side, no drawing resources";
  RecreateAircraft();  // replaces the aircraft: no entities or references pile up
  EXPECT_EQ(EntityList.count, 32u);
  EXPECT_EQ(model->Refs, 2u);
  EXPECT_EQ(WorldStepAircraftHook, &UpdateWingBeat);
  DestroyAircraft();
  EXPECT_EQ(EntityList.count, 0u);
  EXPECT_EQ(model->Refs, 1u);
  EXPECT_EQ(WorldStepAircraftHook, nullptr);
  Keys();  // skipped without an aircraft
  UpdateWingBeat();
  UpdateAircraftCamera(view);
}

TEST_F(AircraftTest, JointsStartAtZeroAsServosAndStrapsJoinTheirBodiesAtTheirNodes) {
  // Every hinge starts at angle 0, held as a servo (both limits at one angle):
  // 0 for tails and wings, 10, -25 and 15 degrees at hip, knee and ankle. Axes
  // in bodyA's frame, which is the model frame here.
  const double hip = 0.17453292519943295, knee = -0.4363323129985824, ankle = 0.2617993877991494;
  struct Joint { pAxis* hinge; pBody *bodyA, *bodyB; const char* node; Vec3 axis; double servo; int level; };
  const Joint joints[] = {
      {a->tailHinge, a->fuselage, a->tail, "Tail Proxy", {1, 0, 0}, 0, 3},
      {a->tail2Hinge, a->fuselage, a->tail2, "Tail2 Proxy", {0, 0, 1}, 0, 3},
      {a->leftWing2Hinge, a->fuselage, a->leftWing2, "Left Wing2 Proxy", {0, -1, 0}, 0, 0},
      {a->rightWing2Hinge, a->fuselage, a->rightWing2, "Right Wing2 Proxy", {0, 1, 0}, 0, 0},
      {a->leftWingHinge, a->leftWing2, a->leftWing, "Left Wing Proxy", {1, 0, 0}, 0, 3},
      {a->rightWingHinge, a->rightWing2, a->rightWing, "Right Wing Proxy", {1, 0, 0}, 0, 3},
      {a->rightLegHinge[0], a->fuselage, a->rightLeg[0], "RLeg1 Proxy", {1, 0, 0}, hip, 3},
      {a->rightLegHinge[1], a->rightLeg[0], a->rightLeg[1], "RLeg2 Proxy", {1, 0, 0}, knee, 3},
      {a->rightLegHinge[2], a->rightLeg[1], a->rightLeg[2], "RLeg3 Proxy", {1, 0, 0}, ankle, 3},
      {a->leftLegHinge[0], a->fuselage, a->leftLeg[0], "LLeg1 Proxy", {1, 0, 0}, hip, 3},
      {a->leftLegHinge[1], a->leftLeg[0], a->leftLeg[1], "LLeg2 Proxy", {1, 0, 0}, knee, 3},
      {a->leftLegHinge[2], a->leftLeg[1], a->leftLeg[2], "LLeg3 Proxy", {1, 0, 0}, ankle, 3},
  };
  for (const auto& j : joints) {
    SCOPED_TRACE(j.node);
    pAxis* h = j.hinge;
    EXPECT_TRUE(h->bodyA == j.bodyA && h->bodyB == j.bodyB && h->angle == 0.0 && h->level == j.level);
    EXPECT_TRUE(h->minAngle == j.servo && h->maxAngle == j.servo) << h->minAngle << " " << h->maxAngle;
    EXPECT_TRUE(h->strength == 1.0 && h->axialLock == 0.0);
    ExpectNear(h->axis, j.axis, 1e-15);
    ExpectNear(j.bodyA->LocalToWorld(h->anchorA), StartPoint(j.node), 1e-12);
    ExpectNear(j.bodyB->LocalToWorld(h->anchorB), StartPoint(j.node), 1e-12);
  }
  // The camera hinge: a soft servo at 0, a little axial lock, pivot 1 m below its node.
  pAxis* cam = a->cameraHinge;
  EXPECT_TRUE(cam->bodyA == a->fuselage && cam->bodyB == a->cameraBody && cam->level == 3);
  EXPECT_TRUE(cam->angle == 0 && cam->minAngle == 0 && cam->maxAngle == 0);
  EXPECT_TRUE(cam->strength == 0.2 && cam->axialLock == 0.1);
  ExpectNear(a->fuselage->LocalToWorld(cam->anchorA), StartPoint("CameraPoint", 1), 1e-12);
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
  LogCapture capture;
  RecreateAircraft();
  const std::vector<std::string> lines = capture.lines();
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

TEST_F(AircraftTest, KeysArmTheBeatChooseTheStrokeUpAndDownCancelDeleteCutsTheStrapsOnce) {
  CurrentDt = 0.016;
  Press('Z');
  EXPECT_FALSE(a->flapping);
  EXPECT_EQ(KeyState['Z'] & 63, 1);  // left unconsumed
  Press('E');
  EXPECT_TRUE(a->flapArmed && a->flapping);  // the stale Z acted in the arming frame
  EXPECT_EQ(KeyState['Z'] & 63, 0);
  // E while flapping stops the beat and disarms; Z then does nothing.
  for (char key : {'E', 'Z'}) Press(key);
  EXPECT_FALSE(a->flapping || a->flapArmed);
  // V and G choose the boosted stroke's direction on both wings.
  for (uint32_t key : {'V', 'G'}) {
    Press(key);
    for (pBody* wing : {a->leftWing, a->rightWing})
      EXPECT_TRUE(wing->factorDirections.count == 1 && wing->factorDirections[0].z == (key == 'V' ? 1 : -1));
  }

  CurrentDt = 0.1;  // inputs move toward their targets at 2 per second
  PressKey(VK_UP);
  for (int i = 0; i < 6; i++) Keys();
  EXPECT_EQ(a->pitchInput, 1.0);
  PressKey(VK_DOWN);
  Keys();
  EXPECT_NEAR(a->pitchInput, 0.8, 1e-15);
  for (int i = 0; i < 5; i++) Keys();
  EXPECT_EQ(a->pitchInput, 0.0);
  ReleaseKey(VK_UP);
  Keys();
  EXPECT_NEAR(a->pitchInput, -0.2, 1e-15);
  // A deflected stick sets the inputs outright; centred, the keys ramp them again.
  StickPitchInput = 0.35;
  StickRollInput = -0.5;
  Keys();
  EXPECT_TRUE(a->pitchInput == 0.35 && a->rollInput == -0.5);
  StickPitchInput = StickRollInput = 0;
  Keys();
  EXPECT_NEAR(a->pitchInput, 0.15, 1e-15);  // Down still held
  EXPECT_NEAR(a->rollInput, -0.3, 1e-15);
  // Delete held, held on, pressed again: the straps go once, the other parts
  // keep their order.
  std::vector<pEntity*> kept(a->parts.begin(), a->parts.begin() + 27);
  kept.push_back(a->cameraHinge);
  for (int frame = 0; frame < 3; frame++) {
    if (frame == 2) ReleaseKey(VK_DELETE);
    PressKey(VK_DELETE);
    Keys();
    for (pStrape* s : a->balloonStrap) EXPECT_EQ(s, nullptr);
    EXPECT_EQ(std::vector<pEntity*>(a->parts.begin(), a->parts.end()), kept) << frame;
    EXPECT_EQ(EntityList.count, 28u);
  }
  CurrentDt = PhysicsStep;  // the world steps on without them
  for (int i = 0; i < 10; i++) WorldStep();
  EXPECT_TRUE(std::isfinite(a->balloon->position.z));
}

TEST_F(AircraftTest, WingBeatRestsInItsWindowRunsUpTo2HzAndSpaceTogglesTheTail) {
  CurrentDt = 0.002;
  UpdateWingBeat();
  EXPECT_NEAR(a->beatRate, 0.064, 1e-15);  // toward 0.9 by 32 per second
  for (int i = 0; i < 2000; i++) UpdateWingBeat();
  EXPECT_TRUE(a->beatRate == 0.0 && a->beatPhase > 0.28 && a->beatPhase < 0.32) << a->beatRate << " " << a->beatPhase;
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

  // The beat drives both wing roots alike; a roll input beats the right wing harder.
  a->beatPhase = 0.1;
  a->pitchInput = 1.0;
  a->rollInput = 0.5;
  UpdateWingBeat();
  EXPECT_DOUBLE_EQ(a->beatPhase, 0.1 + 2.0 * 0.002);
  EXPECT_TRUE(a->leftWing2Hinge->minAngle == a->rightWing2Hinge->minAngle &&
              a->leftWing2Hinge->minAngle == a->leftWing2Hinge->maxAngle);
  EXPECT_GT(std::fabs(a->rightWingHinge->maxAngle), std::fabs(a->leftWingHinge->minAngle));
  // Space toggles the tail between -27.5 and -5 degrees.
  for (double tail : {-0.9599310885968813, -0.17453292519943295, -0.9599310885968813}) {
    EXPECT_EQ(a->tailHinge->minAngle, tail * 0.5);
    Press(VK_SPACE, UpdateWingBeat);
  }
}

TEST_F(AircraftTest, CameraModesPlaceTheCamera) {
  // Mode 1: in the cockpit, looking relative to the camera mount.
  view.look = QuatFromAxisAngle({0, 0, 1}, 0.3);
  UpdateAircraftCamera(view);
  EXPECT_FALSE(view.freeCamera);
  ExpectNear(view.position, a->cameraBody->LocalToWorld(a->cameraBody->centreLocal), 0);
  Quat q = QuatMul(a->cameraBody->orientation, view.look);
  EXPECT_TRUE(view.orientation.x == q.x && view.orientation.y == q.y && view.orientation.z == q.z &&
              view.orientation.w == q.w);
  // C: chase mode keeps heading and pitch, drops roll, steps back 15 m, then
  // follows 25 m behind.
  view.position = {10, 20, 30};
  Quat heading = QuatFromAxisAngle({0, 0, -1}, 0.7), pitch = QuatFromAxisAngle({1, 0, 0}, 0.2);
  view.orientation = QuatMul(QuatMul(heading, pitch), QuatFromAxisAngle({0, 1, 0}, 0.4));
  Press('C');
  EXPECT_EQ(a->cameraMode, 2);
  Vec3 forward = Rotate(view.look, Vec3{0, 1, 0});
  ExpectNear(forward, Rotate(QuatMul(heading, pitch), Vec3{0, 1, 0}), 1e-12);
  ExpectNear(Rotate(view.look, Vec3{1, 0, 0}), Rotate(heading, Vec3{1, 0, 0}), 1e-12);
  ExpectNear(view.position, Vec3{10, 20, 30} - forward * 15, 1e-12);
  UpdateAircraftCamera(view);
  ExpectNear(view.position, a->fuselage->position - forward * 25, 1e-12);
  // C again: free mode, the camera stays where it is.
  Press('C');
  EXPECT_EQ(a->cameraMode, 0);
  Vec3 free = view.position;
  UpdateAircraftCamera(view);
  EXPECT_TRUE(view.freeCamera);
  ExpectNear(view.position, free, 0);
  // A third C: back in the cockpit, the look reset to straight ahead.
  Press('C');
  EXPECT_EQ(a->cameraMode, 1);
  EXPECT_EQ(view.look.w, 1.0);
  // Looking straight up, a little off unit length, still gives a finite chase view.
  view.orientation = QuatFromAxisAngle({1, 0, 0}, 1.5707963267948966);
  view.orientation.x *= 1.0000001;
  Press('C');
  EXPECT_TRUE(std::isfinite(view.look.w) && std::isfinite(view.position.z));
}

}  // namespace
