#include <cmath>
#include <cstdint>
#include <cstdio>

#include "air/air.h"
#include "aircraft/aircraft.h"
#include "assets/format_number.h"
#include "assets/model.h"
#include "foundation/log.h"
#include "physics/body.h"
#include "physics/entity.h"
#include "physics/strap.h"
#include "platform/gpu/device.h"
#include "render/debug_draw.h"
#include "render/draw.h"
#include "render/ground_shadow.h"
#include "render/instruments.h"
#include "render/model_draw.h"
#include "render/resources.h"
#include "render/scene.h"
#include "render/shader_registers.h"
#include "render/text.h"
#include "render/view.h"
#include "sim/keys.h"

namespace {

void Place(const pBody* body) { SetWorldTransform(kVertexWorld, body->position, body->orientation); }

void PieceSubset(MDL* model, const pBody* body, const char* node, uint32_t subset) {
  Place(body);
  DrawNodeSubset(model, String(node), subset);
}

void PieceWhole(MDL* model, const pBody* body, const char* node) {
  Place(body);
  DrawNode(model, String(node));
}

void SetPixelShaderRecord(const PixelShaderRecord* r) {
  if (r) Device->SetPixelShader(r->shader);  // a missing record keeps the previous shader
}
void SetVertexShaderRecord(const VertexShaderRecord* r) {
  if (r) Device->SetVertexShader(r->shader);
}

void BindTexture(const TextureRecord* r, const char* message) {
  if (r)
    Device->SetTexture(0, r->texture);
  else
    Log("%s", message);
}

void SetColour255(double r, double g, double b) {
  SetPixelConstantVector(float(r / 255), float(g / 255), float(b / 255), 1);
}

}  // namespace

void DrawAircraft() {
  Tarnplane* a = CurrentAircraft;
  if (!Device || !a) return;
  MDL* m = a->model;
  const char* noTexture1 = "Uninitialized texture: Tarnplane::Texture1\n";

  // Speed read-out: velocity along the fuselage's own forward (+Y) axis.
  Device->SetRenderState(D3DRS_ZWRITEENABLE, 0);
  Device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  const pBody* f = a->fuselage;
  const double* forward = &f->rotation.m[3];
  double speed = f->velocity.x * forward[0] + f->velocity.y * forward[1] + f->velocity.z * forward[2];
  String text("Speed: ");
  String number = FormatNumber(speed);
  text.Insert(text.size - 1, number.data, number.size - 1);
  SetPixelConstantVector(0, 0, 0, 1);
  DrawText(0, 50 * HeadUpScale, 20 * HeadUpScale, text);
  if (air::Moving()) {
    // The air at the fuselage: its horizontal speed and the side it comes
    // from, degrees off the nose (0 ahead, 180 behind).
    Vec3 wind = AirVelocityAt(f->position + f->centreOffset);
    Vec3 from = {-wind.x, -wind.y, 0};
    double ahead = from.x * forward[0] + from.y * forward[1];
    double side = from.x * f->rotation.m[0] + from.y * f->rotation.m[1];
    double angle = std::atan2(side, ahead) * 57.29577951308232;
    char buf[80];
    std::snprintf(buf, sizeof buf, "Wind: %.1f m/s from %d %s",
                  std::sqrt(from.x * from.x + from.y * from.y), int(std::lround(std::fabs(angle))),
                  angle >= 0 ? "right" : "left");
    DrawText(0, 70 * HeadUpScale, 20 * HeadUpScale, String(buf));
  }
  Device->SetRenderState(D3DRS_ZWRITEENABLE, 1);
  Device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);

  // Entity pass: the F12 toggle bit swaps the model for the entities' own
  // debug drawing; the normal view has their shadows on the ground below.
  bool debugView = (KeyState[VK_F12] & 0x40) != 0;
  if (!debugView) DrawGroundShadow(*a);
  if (debugView) {
    DeviceDebugDraw sink;
    for (pEntity* e : a->parts)
      if (e) e->Draw(sink);
    // The air, only while it moves: still-air frames stay as they were.
    air::DrawAir(sink, a->fuselage->position);
    return;
  }

  // Textured airframe.
  SetVertexShaderRecord(a->defaultVertexShader);
  SetPixelShaderRecord(a->texturedPixelShader);
  BindTexture(a->Texture1, noTexture1);
  PieceSubset(m, a->fuselage, "Fuselage", 0);
  PieceSubset(m, a->leftWing2, "Left Wing2", 0);
  PieceSubset(m, a->leftWing, "Left Wing", 0);
  PieceSubset(m, a->rightWing2, "Right Wing2", 0);
  PieceSubset(m, a->rightWing, "Right Wing", 0);
  PieceWhole(m, a->tail, "Tail");
  PieceWhole(m, a->tail2, "Tail2");
  static const char* const leftLeg[3] = {"LLeg1", "LLeg2", "LLeg3"};
  static const char* const rightLeg[3] = {"RLeg1", "RLeg2", "RLeg3"};
  for (int i = 0; i < 3; i++) PieceWhole(m, a->leftLeg[i], leftLeg[i]);
  for (int i = 0; i < 3; i++) PieceWhole(m, a->rightLeg[i], rightLeg[i]);

  // Flat-coloured subsets: the colour register (kPixelColour) is the colour.
  SetPixelShaderRecord(a->defaultPixelShader);
  SetColour255(36, 25, 22);
  PieceSubset(m, a->fuselage, "Fuselage", 3);
  SetColour255(64, 64, 64);
  PieceSubset(m, a->leftWing2, "Left Wing2", 5);
  PieceSubset(m, a->leftWing, "Left Wing", 5);
  PieceSubset(m, a->rightWing2, "Right Wing2", 5);
  PieceSubset(m, a->rightWing, "Right Wing", 5);
  SetColour255(255, 172, 0);
  PieceSubset(m, a->leftWing, "Left Wing", 6);
  PieceSubset(m, a->rightWing, "Right Wing", 6);
  SetColour255(200, 100, 25);
  PieceSubset(m, a->leftWing, "Left Wing", 7);
  PieceSubset(m, a->rightWing, "Right Wing", 7);
  SetColour255(64, 140, 225);
  PieceSubset(m, a->fuselage, "Fuselage", 8);

  // Cockpit, its canopy blended.
  SetPixelShaderRecord(a->texturedPixelShader);
  BindTexture(a->Texture2, "Uninitialized texture: Tarnplane::Texture2\n");
  PieceSubset(m, a->fuselage, "Fuselage", 1);
  // The dials' needles on the panel, under the glass.
  if (ShowInstrumentNeedles) DrawInstrumentNeedles(*a);
  SetVertexShaderRecord(a->defaultVertexShader);
  SetPixelShaderRecord(a->texturedPixelShader);
  // Bound again quietly: a missing texture was reported just above.
  if (a->Texture2) Device->SetTexture(0, a->Texture2->texture);
  Device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  Device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  Device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  PieceSubset(m, a->fuselage, "Fuselage", 2);
  PieceWhole(m, a->fuselage, "Cockpit1");
  Device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);

  BindTexture(a->Texture1, noTexture1);

  // Balloon and straps. The strap vertices follow the fuselage (the world
  // matrix) or the balloon (the second world matrix) by their second texture
  // coordinate.
  bool strapsIntact = true;
  for (pStrape* s : a->balloonStrap) strapsIntact = strapsIntact && s;
  if (strapsIntact) {
    SetWorldTransform(kVertexWorld, a->fuselage->position, a->fuselage->orientation);
    SetWorldTransform(kVertexSecondWorld, a->balloon->position, a->balloon->orientation);
    SetVertexShaderRecord(a->animVertexShader);
    SetPixelShaderRecord(a->balloonPixelShader);
    DrawNode(m, String("Ballon"));
    SetPixelShaderRecord(a->texturedPixelShader);
    DrawNodeSubset(m, String("Strapes"), 0);
    SetPixelShaderRecord(a->defaultPixelShader);
    SetPixelConstantVector(1, float(190.0 / 255), float(224.0 / 255), 1);
    DrawNodeSubset(m, String("Strapes"), 4);
  } else {
    Place(a->balloon);
    SetPixelShaderRecord(a->balloonPixelShader);
    DrawNode(m, String("Ballon"));
  }

  // The yoke turns about its own axis with the roll input (radians) and
  // slides along it with the pitch input (0.2 model units per unit).
  SetVertexShaderRecord(a->defaultVertexShader);
  SetPixelShaderRecord(a->texturedPixelShader);
  BindTexture(a->Texture1, noTexture1);
  Vec3 axis = GetAxis(m, String("Joke"));
  Vec3 pivot = GetNodePosition(m, String("Joke"));
  Mat4 slide = Mat4Identity();
  slide.m[12] = 0.2 * a->pitchInput * axis.x;
  slide.m[13] = 0.2 * a->pitchInput * axis.y;
  slide.m[14] = 0.2 * a->pitchInput * axis.z;
  Mat4 world = Mat4Mul(Mat4Mul(Mat4RotateAboutPoint(pivot, axis, -a->rollInput), slide),
                       Mat4FromPose(a->fuselage->position, a->fuselage->orientation));
  SetWorldMatrix(kVertexWorld, world);
  DrawNode(m, String("Joke"));
}
