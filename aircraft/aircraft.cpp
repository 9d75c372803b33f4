#include "aircraft/aircraft.h"

#include <cmath>
#include <new>

#include "assets/drawing_hooks.h"
#include "assets/model.h"
#include "content/builders.h"
#include "foundation/log.h"
#include "physics/physics.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"

Tarnplane* CurrentAircraft = nullptr;
content::AircraftParams CurrentAircraftParams;
double StickPitchInput = 0;
double StickRollInput = 0;

namespace {

// A full beat cycle in radians, written out so every build uses the same bits.
constexpr double kTwoPi = 6.283185307179586;

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

// The aircraft's model, generated from its values by the content builder's
// own code and compiled through the model cache.
MDL* LoadAircraftModel(const content::AircraftParams& p) {
  std::vector<uint8_t> bytes;
  content::WriteRawModel(content::BuildPlaneModel(p), bytes);
  MEM raw;
  raw.Put_bytes(bytes.data(), uint32_t(bytes.size()));
  return LoadGeneratedModel(String("PlaneTarn"), float(content::kAircraftModelScale), raw);
}

}  // namespace

Tarnplane::Tarnplane(const content::AircraftParams& values) : params(values) {
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

  const content::AircraftParams& p = params;
  using content::Radians;
  StartPose pose;
  pose.position = {p.startX, p.startY, p.startZ};
  pose.orientation = QuatFromAxisAngle({0, 0, 1}, Radians(p.startHeading));
  pose.rotation = QuatToMat3(pose.orientation);
  const Vec3& P0 = pose.position;
  const Quat& q0 = pose.orientation;

  model = LoadAircraftModel(p);
  Texture1 = texture("TarnPlane/Body.png");
  Texture2 = texture("TarnPlane/Cockpit.tga");

  auto surface = [](pBody* b, double buoyancy, double dragScale, int32_t surfacePeriod, double frictionLimit) {
    b->buoyancy = buoyancy;
    b->dragScale = dragScale;
    b->surfacePeriod = surfacePeriod;
    b->frictionLimit = frictionLimit;
  };

  // Bodies. The fuselage carries the ballast mesh several times, so its mass
  // distribution, buoyant volume and surface all lean toward the floor.
  fuselage = new pBody(model, String("Fuselage Proxy"), p.fuselageBuildMass, P0, q0);
  for (int i = 0; i < p.ballastCopies; i++) fuselage->AddModel(model, String("Ballast"));
  surface(fuselage, p.fuselageBuoyancy, p.fuselageDragScale, p.fuselageSurfacePeriod, p.fuselageFrictionLimit);
  fuselage->SetMass(p.fuselageMass);

  balloon = new pBody(model, String("Ballon Proxy"), p.balloonMass, P0, q0);
  surface(balloon, p.balloonBuoyancy, p.balloonDragScale, p.balloonSurfacePeriod, p.balloonFrictionLimit);
  AddDirectionalFactor(*balloon, {0, 1, 0}, p.balloonForwardFactor, p.balloonForwardExponent);
  AddDirectionalFactor(*balloon, {0, -1, 0}, p.balloonBackwardFactor, p.balloonBackwardExponent);

  // Outer panels: a face moving along model -Z pushes up to `outerWingBoost` times harder.
  auto outerWing = [&](const char* node) {
    pBody* b = new pBody(model, String(node), p.outerWingMass, P0, q0);
    surface(b, p.outerWingBuoyancy, p.outerWingDragScale, p.outerWingSurfacePeriod, p.wingFrictionLimit);
    AddDirectionalFactor(*b, {0, 0, -1}, p.outerWingBoost, p.outerWingBoostExponent);
    return b;
  };
  auto innerWing = [&](const char* node) {
    pBody* b = new pBody(model, String(node), p.innerWingMass, P0, q0);
    surface(b, p.innerWingBuoyancy, p.innerWingDragScale, p.innerWingSurfacePeriod, p.wingFrictionLimit);
    return b;
  };
  leftWing = outerWing("Left Wing Proxy");
  leftWing2 = innerWing("Left Wing2 Proxy");
  rightWing = outerWing("Right Wing Proxy");
  rightWing2 = innerWing("Right Wing2 Proxy");

  tail = new pBody(model, String("Tail Proxy"), p.tailMass, P0, q0);
  surface(tail, p.tailBuoyancy, p.tailDragScale, p.tailSurfacePeriod, p.tailFrictionLimit);
  tail2 = new pBody(model, String("Tail2 Proxy"), p.finMass, P0, q0);
  surface(tail2, p.finBuoyancy, p.finDragScale, p.finSurfacePeriod, p.finFrictionLimit);

  rightLeg[0] = new pBody(model, String("RLeg1 Proxy"), p.thighMass, P0, q0);
  rightLeg[1] = new pBody(model, String("RLeg2 Proxy"), p.shinMass, P0, q0);
  rightLeg[2] = new pBody(model, String("RLeg3 Proxy"), p.footMass, P0, q0);
  leftLeg[0] = new pBody(model, String("LLeg1 Proxy"), p.thighMass, P0, q0);
  leftLeg[1] = new pBody(model, String("LLeg2 Proxy"), p.shinMass, P0, q0);
  leftLeg[2] = new pBody(model, String("LLeg3 Proxy"), p.footMass, P0, q0);
  // By default the legs are structure only: no surface pressure on them.
  for (int i = 0; i < 3; i++) {
    double friction = i == 2 ? p.footFrictionLimit : p.legFrictionLimit;
    surface(rightLeg[i], p.legBuoyancy, p.legDragScale, p.legSurfacePeriod, friction);
    surface(leftLeg[i], p.legBuoyancy, p.legDragScale, p.legSurfacePeriod, friction);
  }

  cameraBody = new pBody(model, String("CameraPoint"), p.cameraMass, P0, q0);
  surface(cameraBody, p.cameraBuoyancy, p.cameraDragScale, p.cameraSurfacePeriod, p.cameraFrictionLimit);

  pBody* bodies[15] = {fuselage, rightLeg[0], rightLeg[1], rightLeg[2], leftLeg[0],
                       leftLeg[1], leftLeg[2], leftWing,    rightWing,   leftWing2,
                       rightWing2, tail,       tail2,       balloon,     cameraBody};
  for (pBody* b : bodies) parts.push(b);

  auto node = [this](const char* name) { return GetNodePosition(model, String(name)); };
  auto hinge = [&](pBody* a, pBody* b, const Vec3& pivotModel, const Vec3& axisModel,
                   const Vec3& referenceModel, double minAngle, double maxAngle) {
    return new pAxis(a, b, pose.Point(pivotModel), pose.Direction(axisModel),
                     pose.Direction(referenceModel), Radians(minAngle), Radians(maxAngle));
  };

  // Tail surfaces.
  tailHinge = hinge(fuselage, tail, node("Tail Proxy"), {1, 0, 0}, {0, -1, 0}, p.tailHingeMin, p.tailHingeMax);
  tail2Hinge = hinge(fuselage, tail2, node("Tail2 Proxy"), {0, 0, 1}, {0, -1, 0}, p.finHingeMin, p.finHingeMax);
  SetServo(tailHinge, 0);
  SetServo(tail2Hinge, Radians(p.finAngle));
  parts.push(tailHinge);
  parts.push(tail2Hinge);

  // Wings. The root hinges run at level 0: solved once per world step.
  leftWing2Hinge = hinge(fuselage, leftWing2, node("Left Wing2 Proxy"), {0, -1, 0}, {1, 0, 0}, p.wingRootMin,
                         p.wingRootMax);
  rightWing2Hinge = hinge(fuselage, rightWing2, node("Right Wing2 Proxy"), {0, 1, 0}, {1, 0, 0}, p.wingRootMin,
                          p.wingRootMax);
  leftWingHinge =
      hinge(leftWing2, leftWing, node("Left Wing Proxy"), {1, 0, 0}, {0, 1, 0}, p.wingOuterMin, p.wingOuterMax);
  rightWingHinge =
      hinge(rightWing2, rightWing, node("Right Wing Proxy"), {1, 0, 0}, {0, 1, 0}, p.wingOuterMin, p.wingOuterMax);
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
    legHinges[side][0] = hinge(fuselage, leg[0], hip, {1, 0, 0}, hipToKnee, p.hipMin, p.hipMax);
    Vec3 knee = node(names[1]);
    Vec3 kneeToAnkle = node(names[2]);
    kneeToAnkle -= node(names[1]);
    legHinges[side][1] = hinge(leg[0], leg[1], knee, {1, 0, 0}, kneeToAnkle, p.kneeMin, p.kneeMax);
    Vec3 ankle = node(names[2]);
    legHinges[side][2] = hinge(leg[1], leg[2], ankle, {1, 0, 0}, {0, 0, -1}, p.ankleMin, p.ankleMax);
  }
  // The servo angles differ from the modelled pose, so the first steps bend
  // the legs into their standing stance.
  for (int side = 0; side < 2; side++) {
    SetServo(legHinges[side][0], Radians(p.hipAngle));
    SetServo(legHinges[side][1], Radians(p.kneeAngle));
    SetServo(legHinges[side][2], Radians(p.ankleAngle));
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
                                  pose.Direction({0, 1, 0}), p.strapStiffness);
  }
  for (int i = 0; i < 4; i++) parts.push(balloonStrap[i]);

  // The camera mount hangs below its node on a soft hinge.
  cameraHinge = hinge(fuselage, cameraBody, node("CameraPoint") - Vec3{0, 0, p.cameraDrop}, {1, 0, 0},
                      {0, 0, 1}, p.cameraMin, p.cameraMax);
  SetServo(cameraHinge, Radians(p.cameraAngle));
  cameraHinge->strength = p.cameraStrength;
  cameraHinge->axialLock = p.cameraAxialLock;
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
  CurrentAircraft = new (storage) Tarnplane(CurrentAircraftParams);
  WorldStepAircraftHook = UpdateWingBeat;
}

bool ChooseAircraft(const std::string& file, const std::vector<std::string>& overrides) {
  content::AircraftParams chosen;
  std::vector<std::string> problems;
  if (!file.empty()) content::ReadAircraftFile(file, chosen, problems);
  for (const std::string& assignment : overrides) content::SetAircraftValue(assignment, chosen, problems);
  for (const std::string& problem : problems) Log("%s\n", problem.c_str());
  CurrentAircraftParams = chosen;
  return problems.empty();
}

void HandleAircraftKeys(CameraView& view) {
  Tarnplane* a = CurrentAircraft;
  if (a == nullptr) return;
  double dt = CurrentDt;

  bool up = KeyHeld(VK_UP), down = KeyHeld(VK_DOWN);
  double pitchTarget = up == down ? 0.0 : (up ? 1.0 : -1.0);
  // A deflected stick sets the input directly; centred, the keys ramp it.
  if (StickPitchInput != 0) a->pitchInput = StickPitchInput;
  else Approach(a->pitchInput, pitchTarget, a->params.inputRate * dt);
  bool left = KeyHeld(VK_LEFT), right = KeyHeld(VK_RIGHT);
  double rollTarget = left == right ? 0.0 : (left ? 1.0 : -1.0);
  if (StickRollInput != 0) a->rollInput = StickRollInput;
  else Approach(a->rollInput, rollTarget, a->params.inputRate * dt);

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
  const content::AircraftParams& p = a->params;
  using content::Radians;

  double x = a->beatPhase - p.beatRestOffset;
  double f = x - std::floor(x);
  if (a->flapping) {
    Approach(a->beatRate, p.beatPoweredRate, p.beatPoweredChange * dt);
  } else {
    // Unpowered the wings idle on at the idle rate until the phase reaches the
    // rest window around 0.3 (wings up), then stop there.
    double target = (p.beatRestFrom < f && f < p.beatRestTo) ? 0.0 : p.beatIdleRate;
    Approach(a->beatRate, target, p.beatIdleChange * dt);
  }
  a->beatPhase += a->beatRate * dt;
  if (a->beatPhase > 1) a->beatPhase -= 1;

  double angle = kTwoPi * a->beatPhase;
  double s = std::sin(angle);
  a->beatSineRight = s;
  a->beatSineLeft = s;
  double c = std::sin(angle - Radians(p.beatOuterLag));

  double tail = (KeyState[VK_SPACE] & kToggleBit) ? Radians(p.tailLevel) : Radians(p.tailRaised);
  SetServo(a->tailHinge, tail * p.tailServoGain);

  const double rootAmplitude = Radians(p.beatRootAmplitude), rootTop = Radians(p.beatRootTop);
  SetServo(a->rightWing2Hinge, rootAmplitude * (0.5 - 0.5 * a->beatSineRight) + rootTop);
  SetServo(a->leftWing2Hinge, rootAmplitude * (0.5 - 0.5 * a->beatSineLeft) + rootTop);

  // The outer panels twist a quarter beat behind the roots; pitch sets the
  // amount, roll the difference between the sides.
  const double outer = Radians(p.beatOuterAmplitude);
  SetServo(a->leftWingHinge, Clamp(p.pitchGain * a->pitchInput - p.rollGain * a->rollInput, -1, 1) * outer * c);
  SetServo(a->rightWingHinge, Clamp(p.pitchGain * a->pitchInput + p.rollGain * a->rollInput, -1, 1) * outer * c);
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
