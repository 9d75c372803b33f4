#include "aircraft/aircraft.h"

#include <cmath>
#include <new>

#include "assets/drawing_hooks.h"
#include "assets/model.h"
#include "physics/physics.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"

Tarnplane* CurrentAircraft = nullptr;
double StickPitchInput = 0;
double StickRollInput = 0;

namespace {

// Angles of the design in radians, written out so every build uses the same bits.
constexpr double kDeg10 = 0.17453292519943295;
constexpr double kDeg15 = 0.2617993877991494;
constexpr double kDegMinus25 = -0.4363323129985824;
constexpr double kDeg45 = 0.7853981633974483;
constexpr double kDeg60 = 1.0471975511965976;
constexpr double kDeg65 = 1.1344640137963142;
constexpr double kDeg85 = 1.48352986419518;
constexpr double kDeg120 = 2.0943951023931953;

constexpr double kTwoPi = 6.283185307179586;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kTailUp = -0.9599310885968813;     // -55 deg, Space toggle clear
constexpr double kTailLevel = -0.17453292519943295; // -10 deg, Space toggle set
constexpr double kDeg50 = 0.8726646259971648;
constexpr double kDeg30 = 0.5235987755982988;
constexpr double kDegMinus36 = -0.6283185307179586;

constexpr uint8_t kToggleBit = 0x40;

// The start pose: every body shares it, so a model-space point p lands at
// position + p * rotation.
struct StartPose {
  Vec3 position;
  Quat orientation;
  Mat3 rotation;
  Vec3 Point(const Vec3& p) const { return position + VecMulMat3(p, rotation); }
  Vec3 Direction(const Vec3& d) const { return VecMulMat3(d, rotation); }
};

void SetServo(pAxis* hinge, double angle) {
  hinge->minAngle = angle;
  hinge->maxAngle = angle;
}

void SetBoostDirection(Tarnplane* a, const Vec3& direction) {
  a->leftWing->factorDirections.assign_one(direction);
  a->rightWing->factorDirections.assign_one(direction);
}

bool IsStrap(const Tarnplane* a, const pEntity* e) {
  for (const pStrape* s : a->balloonStrap)
    if (s != nullptr && static_cast<const pEntity*>(s) == e) return true;
  return false;
}

void CutStraps(Tarnplane* a) {
  // Take the straps out of parts first (the rest keep their order), then
  // destroy them.
  uint32_t kept = 0;
  for (uint32_t i = 0; i < a->parts.count; i++) {
    pEntity* e = a->parts[i];
    if (!IsStrap(a, e)) a->parts[kept++] = e;
  }
  a->parts.resize(kept);
  for (pStrape*& s : a->balloonStrap) {
    if (s == nullptr) continue;
    delete s;
    s = nullptr;
  }
}

void NextCameraMode(Tarnplane* a, CameraView& view) {
  a->cameraMode = a->cameraMode + 1;
  if (a->cameraMode > 2) a->cameraMode = 0;
  if (a->cameraMode == 1) {
    view.look = {0, 0, 0, 1};
  } else if (a->cameraMode == 2) {
    // Keep looking where the camera looked, without its roll, from 15 m back.
    const Quat& q = view.orientation;
    double x = q.x, y = q.y, z = q.z, w = q.w;
    // An orientation that drifted off unit length could push the sine past 1;
    // clamp it so the camera never turns into NaN.
    double p = std::asin(Clamp(2 * (w * x + y * z), -1, 1));
    double h = std::atan2(2 * (x * y - w * z), 1 - 2 * (x * x + z * z));
    view.look = QuatMul(QuatFromAxisAngle({0, 0, -1}, h), QuatFromAxisAngle({1, 0, 0}, p));
    view.position -= Rotate(view.look, Vec3{0, 15, 0});
    view.orientation = view.look;
  }
}

}  // namespace

Tarnplane::Tarnplane() {
  // The drawing resources come from the drawing side when it is there; a
  // headless program leaves them null.
  auto vertexShader = [](const char* name) {
    return Drawing.loadVertexShader ? Drawing.loadVertexShader(String(name)) : nullptr;
  };
  auto pixelShader = [](const char* name) {
    return Drawing.loadPixelShader ? Drawing.loadPixelShader(String(name)) : nullptr;
  };
  auto texture = [](const char* name) {
    return Drawing.loadTexture ? Drawing.loadTexture(String(name), false) : nullptr;
  };
  animVertexShader = vertexShader("2SourceAnim");
  balloonPixelShader = pixelShader("Ballon");
  defaultVertexShader = vertexShader("Default");
  defaultPixelShader = pixelShader("Default");
  texturedPixelShader = pixelShader("Textured");

  parts.clear();
  beatSineRight = beatSineLeft = 0;
  beatPhase = 0;
  beatRate = 0;
  flapping = false;
  flapArmed = false;
  rollInput = 0;
  pitchInput = 0;
  cameraMode = 1;
  for (int i = 0; i < 4; i++) balloonStrap[i] = nullptr;

  StartPose pose;
  pose.position = {70, 70, 2};
  pose.orientation = QuatFromAxisAngle({0, 0, 1}, kHalfPi);
  pose.rotation = QuatToMat3(pose.orientation);
  const Vec3& P0 = pose.position;
  const Quat& q0 = pose.orientation;

  model = LoadModel(String("PlaneTarn"), 0.02f);
  Texture1 = texture("TarnPlane/Body.png");
  Texture2 = texture("TarnPlane/Cockpit.tga");

  // Bodies. The fuselage carries the ballast mesh three times, so its mass
  // distribution, buoyant volume and surface all lean toward the floor.
  fuselage = new pBody(model, String("Fuselage Proxy"), 550, P0, q0);
  for (int i = 0; i < 3; i++) fuselage->AddModel(model, String("Ballast"));
  fuselage->buoyancy = 1.0;
  fuselage->dragScale = 0.3;
  fuselage->surfacePeriod = 5;
  fuselage->SetMass(1500);

  balloon = new pBody(model, String("Ballon Proxy"), 50, P0, q0);
  balloon->buoyancy = 100;
  balloon->dragScale = 15;
  balloon->surfacePeriod = 2;
  AddDirectionalFactor(*balloon, {0, 1, 0}, 0.05, 0.5);
  AddDirectionalFactor(*balloon, {0, -1, 0}, 0.1, 0.5);

  // Outer panels: a face moving along model -Z pushes up to seven times harder.
  leftWing = new pBody(model, String("Left Wing Proxy"), 50, P0, q0);
  leftWing->dragScale = 2.0;
  AddDirectionalFactor(*leftWing, {0, 0, -1}, 7, 0.5);
  leftWing2 = new pBody(model, String("Left Wing2 Proxy"), 50, P0, q0);
  leftWing2->surfacePeriod = -1;
  rightWing = new pBody(model, String("Right Wing Proxy"), 50, P0, q0);
  rightWing->dragScale = 2.0;
  AddDirectionalFactor(*rightWing, {0, 0, -1}, 7, 0.5);
  rightWing2 = new pBody(model, String("Right Wing2 Proxy"), 50, P0, q0);
  rightWing2->surfacePeriod = -1;

  tail = new pBody(model, String("Tail Proxy"), 40, P0, q0);
  tail->dragScale = 5;
  tail->surfacePeriod = 2;
  tail2 = new pBody(model, String("Tail2 Proxy"), 40, P0, q0);
  tail2->dragScale = 5;
  tail2->surfacePeriod = 2;

  rightLeg[0] = new pBody(model, String("RLeg1 Proxy"), 50, P0, q0);
  rightLeg[1] = new pBody(model, String("RLeg2 Proxy"), 40, P0, q0);
  rightLeg[2] = new pBody(model, String("RLeg3 Proxy"), 30, P0, q0);
  rightLeg[2]->frictionLimit = 10;
  leftLeg[0] = new pBody(model, String("LLeg1 Proxy"), 50, P0, q0);
  leftLeg[1] = new pBody(model, String("LLeg2 Proxy"), 40, P0, q0);
  leftLeg[2] = new pBody(model, String("LLeg3 Proxy"), 30, P0, q0);
  leftLeg[2]->frictionLimit = 10;
  // The legs are structure only: no surface pressure on them.
  for (int i = 0; i < 3; i++) {
    rightLeg[i]->surfacePeriod = -1;
    leftLeg[i]->surfacePeriod = -1;
  }

  cameraBody = new pBody(model, String("CameraPoint"), 20, P0, q0);

  pBody* bodies[15] = {fuselage, rightLeg[0], rightLeg[1], rightLeg[2], leftLeg[0],
                       leftLeg[1], leftLeg[2], leftWing,    rightWing,   leftWing2,
                       rightWing2, tail,       tail2,       balloon,     cameraBody};
  for (pBody* b : bodies) parts.push(b);

  auto node = [this](const char* name) { return GetNodePosition(model, String(name)); };
  auto hinge = [&](pBody* a, pBody* b, const Vec3& pivotModel, const Vec3& axisModel,
                   const Vec3& referenceModel, double minAngle, double maxAngle) {
    return new pAxis(a, b, pose.Point(pivotModel), pose.Direction(axisModel),
                     pose.Direction(referenceModel), minAngle, maxAngle);
  };

  // Tail surfaces.
  tailHinge = hinge(fuselage, tail, node("Tail Proxy"), {1, 0, 0}, {0, -1, 0}, -kDeg65, kDeg45);
  tail2Hinge = hinge(fuselage, tail2, node("Tail2 Proxy"), {0, 0, 1}, {0, -1, 0}, -kDeg60, kDeg60);
  SetServo(tailHinge, 0);
  SetServo(tail2Hinge, 0);
  parts.push(tailHinge);
  parts.push(tail2Hinge);

  // Wings. The root hinges run at level 0: solved once per world step.
  leftWing2Hinge =
      hinge(fuselage, leftWing2, node("Left Wing2 Proxy"), {0, -1, 0}, {1, 0, 0}, -kDeg60, kDeg60);
  rightWing2Hinge =
      hinge(fuselage, rightWing2, node("Right Wing2 Proxy"), {0, 1, 0}, {1, 0, 0}, -kDeg60, kDeg60);
  leftWingHinge =
      hinge(leftWing2, leftWing, node("Left Wing Proxy"), {1, 0, 0}, {0, 1, 0}, -kDeg60, kDeg60);
  rightWingHinge =
      hinge(rightWing2, rightWing, node("Right Wing Proxy"), {1, 0, 0}, {0, 1, 0}, -kDeg60, kDeg60);
  SetServo(leftWing2Hinge, 0);
  SetServo(rightWing2Hinge, 0);
  SetServo(leftWingHinge, 0);
  SetServo(rightWingHinge, 0);
  leftWing2Hinge->level = 0;
  rightWing2Hinge->level = 0;
  parts.push(leftWing2Hinge);
  parts.push(leftWingHinge);
  parts.push(rightWing2Hinge);
  parts.push(rightWingHinge);

  // Legs: hip, knee and ankle, each reference pointing down the segment.
  const char* rightNodes[3] = {"RLeg1 Proxy", "RLeg2 Proxy", "RLeg3 Proxy"};
  const char* leftNodes[3] = {"LLeg1 Proxy", "LLeg2 Proxy", "LLeg3 Proxy"};
  pBody** legs[2] = {rightLeg, leftLeg};
  pAxis** legHinges[2] = {rightLegHinge, leftLegHinge};
  const char** legNodes[2] = {rightNodes, leftNodes};
  for (int side = 0; side < 2; side++) {
    pBody** leg = legs[side];
    const char** names = legNodes[side];
    Vec3 hip = node(names[0]);
    Vec3 hipToKnee = node(names[1]);
    hipToKnee -= node(names[0]);
    legHinges[side][0] = hinge(fuselage, leg[0], hip, {1, 0, 0}, hipToKnee, -kDeg85, kDeg85);
    Vec3 knee = node(names[1]);
    Vec3 kneeToAnkle = node(names[2]);
    kneeToAnkle -= node(names[1]);
    legHinges[side][1] = hinge(leg[0], leg[1], knee, {1, 0, 0}, kneeToAnkle, -kDeg85, kDeg60);
    Vec3 ankle = node(names[2]);
    legHinges[side][2] = hinge(leg[1], leg[2], ankle, {1, 0, 0}, {0, 0, -1}, -kDeg120, kDeg120);
  }
  // The servo angles differ from the modelled pose, so the first steps bend
  // the legs into their standing stance.
  for (int side = 0; side < 2; side++) {
    SetServo(legHinges[side][0], kDeg10);
    SetServo(legHinges[side][1], kDegMinus25);
    SetServo(legHinges[side][2], kDeg15);
  }
  for (int i = 0; i < 3; i++) parts.push(rightLegHinge[i]);
  for (int i = 0; i < 3; i++) parts.push(leftLegHinge[i]);

  // Balloon tethers; each rest length is the distance at construction.
  static const char* const strapNodes[4][2] = {{"StrapesPoint1a", "StrapesPoint1b"},
                                               {"StrapesPoint2a", "StrapesPoint2b"},
                                               {"StrapesPoint3a", "StrapesPoint3b"},
                                               {"StrapesPoint4a", "StrapesPoint4b"}};
  for (int i = 0; i < 4; i++) {
    Vec3 balloonEnd = node(strapNodes[i][1]);
    Vec3 fuselageEnd = node(strapNodes[i][0]);
    balloonStrap[i] = new pStrape(fuselage, balloon, pose.Point(fuselageEnd), pose.Point(balloonEnd),
                                  pose.Direction({0, 1, 0}), 0.04);
  }
  for (int i = 0; i < 4; i++) parts.push(balloonStrap[i]);

  // The camera mount hangs 1 m below its node on a soft hinge.
  cameraHinge = hinge(fuselage, cameraBody, node("CameraPoint") - Vec3{0, 0, 1}, {1, 0, 0},
                      {0, 0, 1}, -kDeg45, kDeg45);
  SetServo(cameraHinge, 0);
  cameraHinge->strength = 0.2;
  cameraHinge->axialLock = 0.1;
  parts.push(cameraHinge);
}

Tarnplane::~Tarnplane() {
  for (pEntity* e : parts) delete e;
  ReleaseModel(model);
  // Only the drawing side's loads fill these, so its hooks are there to drop them.
  if (Texture1) Drawing.releaseTexture(Texture1);
  if (Texture2) Drawing.releaseTexture(Texture2);
  parts.clear();
}

void DestroyAircraft() {
  if (CurrentAircraft == nullptr) return;
  WorldStepAircraftHook = nullptr;
  delete CurrentAircraft;
  CurrentAircraft = nullptr;
}

void RecreateAircraft() {
  DestroyAircraft();
  void* storage = ::operator new(sizeof(Tarnplane), std::nothrow);
  if (storage == nullptr) return;
  CurrentAircraft = new (storage) Tarnplane();
  WorldStepAircraftHook = UpdateWingBeat;
}

void HandleAircraftKeys(CameraView& view) {
  Tarnplane* a = CurrentAircraft;
  if (a == nullptr) return;
  double dt = CurrentDt;

  bool up = KeyHeld(VK_UP), down = KeyHeld(VK_DOWN);
  double pitchTarget = up == down ? 0.0 : (up ? 1.0 : -1.0);
  // A deflected stick sets the input directly; centred, the keys ramp it.
  if (StickPitchInput != 0) a->pitchInput = StickPitchInput;
  else Approach(a->pitchInput, pitchTarget, 2 * dt);
  bool left = KeyHeld(VK_LEFT), right = KeyHeld(VK_RIGHT);
  double rollTarget = left == right ? 0.0 : (left ? 1.0 : -1.0);
  if (StickRollInput != 0) a->rollInput = StickRollInput;
  else Approach(a->rollInput, rollTarget, 2 * dt);

  if (ConsumePresses('E')) {
    a->flapping = false;
    a->flapArmed = !a->flapArmed;
  }
  // Z presses made while disarmed wait in the key byte for the next arming.
  if (a->flapArmed && ConsumePresses('Z')) a->flapping = !a->flapping;

  if (ConsumePresses('V')) SetBoostDirection(a, {0, 0, 1});
  if (ConsumePresses('G')) SetBoostDirection(a, {0, 0, -1});

  if (KeyHeld(VK_DELETE)) CutStraps(a);

  if (ConsumePresses('C')) NextCameraMode(a, view);
}

void UpdateWingBeat() {
  Tarnplane* a = CurrentAircraft;
  if (a == nullptr) return;
  double dt = CurrentDt;

  double x = a->beatPhase - 0.8;
  double f = x - std::floor(x);
  if (a->flapping) {
    Approach(a->beatRate, 2.0, 16 * dt);
  } else {
    // Unpowered the wings idle on at 0.9 Hz until the phase reaches the rest
    // window around 0.3 (wings up), then stop there.
    double target = (0.48 < f && f < 0.52) ? 0.0 : 0.9;
    Approach(a->beatRate, target, 32 * dt);
  }
  a->beatPhase += a->beatRate * dt;
  if (a->beatPhase > 1) a->beatPhase -= 1;

  double angle = kTwoPi * a->beatPhase;
  double s = std::sin(angle);
  a->beatSineRight = s;
  a->beatSineLeft = s;
  double c = std::sin(angle - kHalfPi);

  double tail = (KeyState[VK_SPACE] & kToggleBit) ? kTailLevel : kTailUp;
  SetServo(a->tailHinge, tail * 0.5);

  SetServo(a->rightWing2Hinge, kDeg50 * (0.5 - 0.5 * a->beatSineRight) - kDeg30);
  SetServo(a->leftWing2Hinge, kDeg50 * (0.5 - 0.5 * a->beatSineLeft) - kDeg30);

  // The outer panels twist a quarter beat behind the roots; pitch sets the
  // amount, roll the difference between the sides.
  SetServo(a->leftWingHinge, Clamp(0.7 * a->pitchInput - 0.3 * a->rollInput, -1, 1) * kDegMinus36 * c);
  SetServo(a->rightWingHinge, Clamp(0.7 * a->pitchInput + 0.3 * a->rollInput, -1, 1) * kDegMinus36 * c);
}

void UpdateAircraftCamera(CameraView& view) {
  Tarnplane* a = CurrentAircraft;
  if (a == nullptr) return;
  switch (a->cameraMode) {
    case 0:
      view.freeCamera = true;
      break;
    case 1: {
      view.freeCamera = false;
      pBody* mount = a->cameraBody;
      view.position = mount->LocalToWorld(mount->centreLocal);
      view.orientation = QuatMul(mount->orientation, view.look);
      break;
    }
    case 2:
      view.orientation = view.look;
      view.position = a->fuselage->position + Rotate(view.look, Vec3{0, -25, 0});
      view.freeCamera = false;
      break;
    default:
      break;
  }
}
