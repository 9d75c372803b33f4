#include "render/scene.h"

#include <cmath>

#include "air/air.h"
#include "aircraft/aircraft.h"
#include "aircraft/island_ground.h"
#include "assets/format_number.h"
#include "assets/model.h"
#include "content/builders.h"
#include "foundation/log.h"
#include "physics/entity.h"
#include "physics/surface.h"
#include "platform/gpu/device.h"
#include "render/draw.h"
#include "render/model_draw.h"
#include "render/resources.h"
#include "render/shader_registers.h"
#include "render/text.h"
#include "render/view.h"

MDL* SkyModel = nullptr;
TextureRecord* texture_skycube = nullptr;
PixelShaderRecord* SkyPixelShader = nullptr;
VertexShaderRecord* SkyVertexShader = nullptr;
MDL* IslandModel = nullptr;
TextureRecord* texture_island = nullptr;
PixelShaderRecord* IslandPixelShader = nullptr;
VertexShaderRecord* IslandVertexShader = nullptr;

MDL* OpenSeaModel = nullptr;
TextureRecord* texture_detail = nullptr;

MDL* WindsockModel = nullptr;
TextureRecord* texture_windsock = nullptr;
PixelShaderRecord* PlainPixelShader = nullptr;
VertexShaderRecord* PlainVertexShader = nullptr;

namespace {
Vec3 windsockFoot{content::kWindsockX, content::kWindsockY, 0};
double windsockHeading = 0;  // radians, the way the sock last pointed (kept through a calm)

void DrawWindsock() {
  if (!WindsockModel || !air::Moving()) return;
  const Vec3 pivot = windsockFoot + Vec3{0, 0, content::kWindsockMastHeight};
  const Vec3 air = AirVelocityAt(pivot);
  const double speed = std::hypot(air.x, air.y);
  if (speed > 0.05) windsockHeading = std::atan2(-air.x, air.y);
  // Full out at 15 knots, as a field's sock is made to be; limp below.
  const double fill = std::min(1.0, speed / 7.7);
  const double droop = (1 - fill) * 80 * M_PI / 180;
  const Quat yaw = QuatFromAxisAngle({0, 0, 1}, windsockHeading);
  const Quat down = QuatFromAxisAngle({1, 0, 0}, -droop);
  Device->SetPixelShader(PlainPixelShader ? PlainPixelShader->shader : nullptr);
  Device->SetVertexShader(PlainVertexShader ? PlainVertexShader->shader : nullptr);
  Device->SetTexture(0, texture_windsock ? texture_windsock->texture : nullptr);
  SetWorldTransform(kVertexWorld, windsockFoot, Quat{0, 0, 0, 1});
  DrawNode(WindsockModel, String("Mast"));
  SetWorldTransform(kVertexWorld, pivot, QuatMul(yaw, down));
  DrawNode(WindsockModel, String("Sock"));
}
}  // namespace

void BuildScene() {
  SkyModel = LoadModel(String("InvBox"), 0.1f);
  texture_skycube = LoadTexture(String("SkyCube.dds"), true);
  SkyPixelShader = LoadPixelShader(String("Sky"));
  SkyVertexShader = LoadVertexShader(String("Sky"));
  IslandModel = LoadModel(String("DivadiZarov"), 0.1f);
  texture_island = LoadTexture(String("Island.png"), false);
  IslandPixelShader = LoadPixelShader(String("Ground"));
  IslandVertexShader = LoadVertexShader(String("Ground"));
  OpenSeaModel = LoadModel(String("OpenSea"), 0.1f);
  texture_detail = LoadTexture(String("Detail.png"), false);
  // The island is the ground: the same triangles the headless runner uses.
  FillGroundMesh(IslandModel);
  WindsockModel = LoadModel(String("Windsock"), 0.1f);
  texture_windsock = LoadTexture(String("Windsock.png"), false);
  PlainPixelShader = LoadPixelShader(String("Textured"));
  PlainVertexShader = LoadVertexShader(String("Default"));
  double ground = 0;
  if (GroundHeightBelow(windsockFoot + Vec3{0, 0, 1000}, 0, &ground)) windsockFoot.z = ground;
  ClearEntityList();
}

double HeadingDegrees(const Quat& q) {
  double h = atan2(2 * (q.x * q.y - q.z * q.w), 1 - 2 * (q.x * q.x + q.z * q.z));
  if (h < 0) h += 2 * M_PI;  // atan2 gives (-pi, pi]: one turn brings it into [0, 2 pi)
  // A turn added to a tiny negative angle rounds to exactly 2 pi: that is north.
  if (h >= 2 * M_PI) h = 0;
  return h * 180 / M_PI;
}

void DrawScene() {
  if (!Device) return;

  // Stage 7 holds the sky cube for the whole frame, from its start.
  if (texture_skycube)
    Device->SetTexture(7, texture_skycube->texture);
  else
    Log("Uninitialized texture: texture_skycube\n");

  SetWorldTransform(kVertexWorld, Vec3{0, 0, 0}, Quat{0, 0, 0, 1});
  const bool detail = texture_detail && texture_detail->texture;
  const PixelShaderRecord* groundPixel = detail ? IslandPixelShader : PlainPixelShader;
  const VertexShaderRecord* groundVertex = detail ? IslandVertexShader : PlainVertexShader;
  Device->SetPixelShader(groundPixel ? groundPixel->shader : nullptr);
  Device->SetVertexShader(groundVertex ? groundVertex->shader : nullptr);
  if (texture_island)
    Device->SetTexture(0, texture_island->texture);
  else
    Log("Uninitialized texture: texture_island\n");
  // The grain from its nearest mip level alone: half the texel reads of
  // blending two levels, and a grain shows no seams between levels.
  if (detail) Device->SetTexture(1, texture_detail->texture);
  Device->SetSamplerState(1, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
  DrawModel(IslandModel);
  DrawModel(OpenSeaModel);
  Device->SetSamplerState(1, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
  Device->SetTexture(1, nullptr);
  DrawWindsock();

  // Sky after the ground: it lies on the far plane, so the depth test drops
  // every sky pixel the ground already covers before its cube map is read
  // (on a software rasteriser the sky's fill was a large share of the frame).
  // No translation of its own: world and view rotate only, so the box
  // surrounds the eye wherever the camera is.
  SetVertexConstantMatrix(kVertexWorld, Mat4Identity());
  Device->SetPixelShader(SkyPixelShader ? SkyPixelShader->shader : nullptr);
  Device->SetVertexShader(SkyVertexShader ? SkyVertexShader->shader : nullptr);
  DrawModel(SkyModel);

  Device->SetPixelShader(nullptr);
  Device->SetVertexShader(nullptr);
  Device->SetTexture(0, nullptr);

  if (CurrentAircraft) DrawAircraft();

  // Overlay state.
  Device->SetPixelShader(nullptr);
  Device->SetVertexShader(nullptr);
  Device->SetTexture(0, nullptr);
  Device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  Device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  Device->SetRenderState(D3DRS_ZWRITEENABLE, 1);
  Device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);

  String text("Heading: ");
  String heading = FormatNumber(HeadingDegrees(CameraOrientation));
  text.Insert(text.size - 1, heading.data, heading.size - 1);
  const char* altitudeLabel = "\nAltitude: ";
  text.Insert(text.size - 1, altitudeLabel, 11);
  String altitude = FormatNumber(CameraPosition.z);
  text.Insert(text.size - 1, altitude.data, altitude.size - 1);
  SetPixelConstantVector(0, 0, 0, 1);
  DrawText(0, 0, 10 * HeadUpScale, text);
}
