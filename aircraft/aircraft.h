// The model aircraft: fifteen rigid bodies, thirteen hinges and four balloon
// straps built from the proxy nodes of the model "PlaneTarn", its lifetime,
// the pilot's keys, the wing-beat generator and the three camera modes. No
// window and no drawing: the camera modes steer a CameraView the program
// hands in and applies to its view.
//
// All positions are world metres, all angles radians, all times seconds. The
// model frame: +Y forward (nose), +X to the right wing, +Z up.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "content/aircraft_file.h"
#include "foundation/array.h"
#include "foundation/math.h"

class pEntity;
class pBody;
class pAxis;
class pStrape;
struct MDL;
struct TextureRecord;
struct VertexShaderRecord;
struct PixelShaderRecord;

class Tarnplane {
 public:
  PixelShaderRecord* texturedPixelShader;  // "Textured"
  PixelShaderRecord* balloonPixelShader;   // "Ballon"
  VertexShaderRecord* defaultVertexShader; // "Default"
  PixelShaderRecord* defaultPixelShader;   // "Default"
  VertexShaderRecord* animVertexShader;    // "2SourceAnim"
  Array<pEntity*> parts;  // every entity of the aircraft (32 until a strap is cut); owned
  MDL* model;             // "PlaneTarn", scale 0.02
  TextureRecord* Texture1;  // "TarnPlane/Body.png"
  TextureRecord* Texture2;  // "TarnPlane/Cockpit.tga"
  pBody* fuselage;
  pBody* balloon;
  pBody* leftWing;    // outer panels
  pBody* leftWing2;   // inner panels
  pBody* rightWing;
  pBody* rightWing2;
  pBody* tail;        // horizontal tail
  pBody* tail2;       // fin
  pBody* leftLeg[3];  // hip segment .. foot
  pBody* rightLeg[3];
  pBody* cameraBody;
  pAxis* leftWing2Hinge;
  pAxis* leftWingHinge;
  pAxis* rightWing2Hinge;
  pAxis* rightWingHinge;
  pAxis* tailHinge;
  pAxis* tail2Hinge;
  pAxis* rightLegHinge[3];  // hip, knee, ankle
  pAxis* leftLegHinge[3];
  pStrape* balloonStrap[4];  // null once cut
  pAxis* cameraHinge;
  double beatSineRight;
  double beatSineLeft;
  double beatPhase;  // 0 .. 1
  double beatRate;   // cycles per second
  bool flapping;     // powered wing beat on
  bool flapArmed;    // the flapping switch is enabled
  double rollInput;   // -1 .. 1, positive rolls left (Left arrow)
  double pitchInput;  // -1 .. 1, positive with Up arrow
  int32_t cameraMode;  // 0 free, 1 cockpit, 2 chase
  content::AircraftParams params;  // the values it was built from; the wing beat reads them

  // Builds the whole machine from `values` (the default values: at world
  // (70, 70, 2), turned a quarter turn about +Z so that it faces world -X)
  // with its model generated from them, and registers its 32 entities.
  explicit Tarnplane(const content::AircraftParams& values = content::AircraftParams());
  // Destroys the entities (which leave EntityList) and drops the model and
  // texture references.
  ~Tarnplane();
  Tarnplane(const Tarnplane&) = delete;
  Tarnplane& operator=(const Tarnplane&) = delete;
};

extern Tarnplane* CurrentAircraft;  // the live aircraft, or null
// The values the next RecreateAircraft builds from (the programs set them
// from the aircraft file; the defaults are the built-in machine).
extern content::AircraftParams CurrentAircraftParams;

// Sets CurrentAircraftParams to the built-in values, then those of the
// aircraft file `file` (none when empty), then the "section.key=value"
// overrides. One console line per problem; a value with a problem keeps the
// value before it, and values that together cannot be built leave the
// aircraft as it was before that step. Returns true when there was no problem.
bool ChooseAircraft(const std::string& file, const std::vector<std::string>& overrides);

// Analog stick inputs after deadzone/expo/invert/trim, -1..1; exactly 0 while the stick
// is centred or absent, and then the keyboard drives the inputs exactly as before.
extern double StickPitchInput;
extern double StickRollInput;

// Destroys the current aircraft (if any) and builds a new one; CurrentAircraft
// is null if the allocation fails.
void RecreateAircraft();
// Destroys and frees the current aircraft and clears CurrentAircraft.
void DestroyAircraft();
// The eye as the camera modes read and steer it. The program copies its view
// values in (app/update.h: CurrentCameraView) and applies the result back.
struct CameraView {
  Vec3 position;     // CameraPosition: world metres
  Quat orientation;  // CameraOrientation: view space to world
  Quat look;         // LookOrientation: what the mouse turns (relative to the mount in the cockpit)
  bool freeCamera;   // FreeCamera: the keyboard flies the camera
};

// Once per frame, at the end of the input pass: pilot inputs, wing-beat
// switches, outer-wing boost direction, strap cut and camera mode (C moves
// `view` to the next mode's starting look). Reads the frame's CurrentDt.
void HandleAircraftKeys(CameraView& view);
// Once per world step (CurrentDt = PhysicsStep): advances the beat and writes
// the servo angles of the tail and the four wing hinges.
void UpdateWingBeat();
// Once per frame after the world steps: places `view` for cameraMode.
void UpdateAircraftCamera(CameraView& view);

