#include "tools/contactsheet/contactsheet.h"

#include <cmath>

#include "assets/font.h"
#include "assets/model.h"
#include "foundation/log.h"
#include "foundation/str.h"
#include "platform/gpu/device.h"
#include "platform/image/image.h"
#include "render/draw.h"
#include "render/model_draw.h"
#include "render/resources.h"
#include "render/shader_registers.h"
#include "render/text.h"

namespace contactsheet {

struct Content {
  MDL* sky = nullptr;
  MDL* island = nullptr;
  MDL* plane = nullptr;
  TextureRecord* skyCube = nullptr;
  TextureRecord* islandTexture = nullptr;
  TextureRecord* body = nullptr;
  TextureRecord* cockpit = nullptr;
  VertexShaderRecord* skyVS = nullptr;
  VertexShaderRecord* defaultVS = nullptr;
  VertexShaderRecord* animVS = nullptr;
  PixelShaderRecord* skyPS = nullptr;
  PixelShaderRecord* texturedPS = nullptr;
  PixelShaderRecord* defaultPS = nullptr;
  PixelShaderRecord* balloonPS = nullptr;
  Font* font = nullptr;
};

Content* LoadContent() {
  InstallDrawingHooks();
  auto* c = new Content;
  c->sky = LoadModel(String("InvBox"), 0.1f);
  c->skyCube = LoadTexture(String("SkyCube.dds"), true);
  c->skyPS = LoadPixelShader(String("Sky"));
  c->skyVS = LoadVertexShader(String("Sky"));
  c->island = LoadModel(String("DivadiZarov"), 0.1f);
  c->islandTexture = LoadTexture(String("Island.png"), false);
  c->texturedPS = LoadPixelShader(String("Textured"));
  c->defaultVS = LoadVertexShader(String("Default"));
  c->animVS = LoadVertexShader(String("2SourceAnim"));
  c->balloonPS = LoadPixelShader(String("Ballon"));
  c->defaultPS = LoadPixelShader(String("Default"));
  c->plane = LoadModel(String("PlaneTarn"), 0.02f);
  c->body = LoadTexture(String("TarnPlane/Body.png"), false);
  c->cockpit = LoadTexture(String("TarnPlane/Cockpit.tga"), false);
  c->font = LoadFont(String("basic"));
  CurrentFont = c->font;
  return c;
}

void ReleaseContent(Content* c) {
  CurrentFont = nullptr;
  ReleaseAllFonts();
  ReleaseAllModels();
  ReleaseAllTextures();
  ReleaseAllVertexShaders();
  ReleaseAllPixelShaders();
  delete c;
}

Quat LookAt(const Vec3& eye, const Vec3& target) {
  Vec3 f = Normalize(target - eye);
  Vec3 up{0, 0, 1};
  if (LengthSq(Cross(f, up)) < 1e-12) up = {0, 1, 0};
  Vec3 r = Normalize(Cross(f, up));
  Vec3 u = Cross(r, f);
  // Columns of the view-to-world rotation: view X = r, Y = f, Z = u.
  double m00 = r.x, m01 = f.x, m02 = u.x, m10 = r.y, m11 = f.y, m12 = u.y, m20 = r.z, m21 = f.z, m22 = u.z;
  double t = m00 + m11 + m22;
  Quat q;
  if (t > 0) {
    double s = std::sqrt(t + 1.0) * 2;
    q = {(m21 - m12) / s, (m02 - m20) / s, (m10 - m01) / s, 0.25 * s};
  } else if (m00 > m11 && m00 > m22) {
    double s = std::sqrt(1.0 + m00 - m11 - m22) * 2;
    q = {0.25 * s, (m01 + m10) / s, (m02 + m20) / s, (m21 - m12) / s};
  } else if (m11 > m22) {
    double s = std::sqrt(1.0 + m11 - m00 - m22) * 2;
    q = {(m01 + m10) / s, 0.25 * s, (m12 + m21) / s, (m02 - m20) / s};
  } else {
    double s = std::sqrt(1.0 + m22 - m00 - m11) * 2;
    q = {(m02 + m20) / s, (m12 + m21) / s, 0.25 * s, (m10 - m01) / s};
  }
  return q;
}

void ResetView() {
  FieldOfView = 50;
  LightDirection = Normalize(Vec3{1, 1, 2});
  const float c0[3] = {0.12f, 0.24f, 0.36f}, c1[3] = {0.77f, 0.66f, 0.55f}, c3[3] = {0.56f, 0.49f, 0.42f};
  for (int i = 0; i < 3; ++i) {
    ShaderColour0[i] = c0[i];
    ShaderColour1[i] = c1[i];
    ShaderColour3[i] = c3[i];
  }
}

namespace {

void Use(VertexShaderRecord* vs) {
  if (vs) Device->SetVertexShader(vs->shader);
}
void Use(PixelShaderRecord* ps) {
  if (ps) Device->SetPixelShader(ps->shader);
}
void Bind(uint32_t stage, TextureRecord* t) { Device->SetTexture(stage, t ? t->texture : nullptr); }

void Subset(MDL* m, const char* node, uint32_t index) { DrawNodeSubset(m, String(node), index); }
void Whole(MDL* m, const char* node) { DrawNode(m, String(node)); }

// The aircraft as its drawing composes it, every body at one pose.
void DrawAircraftAt(Content* c, const Frame& f) {
  MDL* m = c->plane;
  const Vec3& P = f.planePosition;
  const Quat& q = f.planeOrientation;
  auto place = [&] { SetWorldTransform(kVertexWorld, P, q); };
  Use(c->defaultVS);
  Use(c->texturedPS);
  Bind(0, c->body);
  place();
  Subset(m, "Fuselage", 0);
  for (const char* n : {"Left Wing2", "Left Wing", "Right Wing2", "Right Wing"}) Subset(m, n, 0);
  for (const char* n : {"Tail", "Tail2", "LLeg1", "LLeg2", "LLeg3", "RLeg1", "RLeg2", "RLeg3"}) Whole(m, n);

  Use(c->defaultPS);
  SetPixelConstantVector(36 / 255.f, 25 / 255.f, 22 / 255.f, 1);
  Subset(m, "Fuselage", 3);
  SetPixelConstantVector(64 / 255.f, 64 / 255.f, 64 / 255.f, 1);
  for (const char* n : {"Left Wing2", "Left Wing", "Right Wing2", "Right Wing"}) Subset(m, n, 5);
  SetPixelConstantVector(1, 172 / 255.f, 0, 1);
  Subset(m, "Left Wing", 6);
  Subset(m, "Right Wing", 6);
  SetPixelConstantVector(200 / 255.f, 100 / 255.f, 25 / 255.f, 1);
  Subset(m, "Left Wing", 7);
  Subset(m, "Right Wing", 7);
  SetPixelConstantVector(64 / 255.f, 140 / 255.f, 225 / 255.f, 1);
  Subset(m, "Fuselage", 8);

  Use(c->texturedPS);
  Bind(0, c->cockpit);
  Subset(m, "Fuselage", 1);
  Device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  Device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  Device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  Subset(m, "Fuselage", 2);
  Whole(m, "Cockpit1");
  Device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
  Bind(0, c->body);

  if (!f.strapsCut) {
    SetWorldTransform(kVertexWorld, P, q);
    SetWorldTransform(kVertexSecondWorld, P, q);
    Use(c->animVS);
    Use(c->balloonPS);
    Whole(m, "Ballon");
    Use(c->texturedPS);
    Subset(m, "Strapes", 0);
    Use(c->defaultPS);
    SetPixelConstantVector(1, 190 / 255.f, 224 / 255.f, 1);
    Subset(m, "Strapes", 4);
  } else {
    SetWorldTransform(kVertexWorld, P, q);
    Use(c->balloonPS);
    Whole(m, "Ballon");
  }

  Use(c->defaultVS);
  Use(c->texturedPS);
  Bind(0, c->body);
  {
    LogCapture quiet;  // an aircraft without a yoke prints its own line
    Vec3 a = GetAxis(m, String("Joke")), p = GetNodePosition(m, String("Joke"));
    Mat4 slide = Mat4Identity();
    slide.m[12] = 0.2 * f.pitchInput * a.x;
    slide.m[13] = 0.2 * f.pitchInput * a.y;
    slide.m[14] = 0.2 * f.pitchInput * a.z;
    Mat4 world = Mat4Mul(Mat4Mul(Mat4RotateAboutPoint(p, a, -f.rollInput), slide), Mat4FromPose(P, q));
    SetWorldMatrix(kVertexWorld, world);
  }
  Whole(m, "Joke");
}

}  // namespace

void DrawFrame(Content* c, const Frame& f) {
  CameraPosition = f.eye;
  CameraOrientation = f.look;
  Device->BeginScene();
  ClearTarget(0.3f, 0.3f, 0.3f);
  SetupFrame(0.1, 100000);

  Use(c->skyPS);
  Use(c->skyVS);
  Bind(7, c->skyCube);
  DrawModel(c->sky);
  Device->SetPixelShader(nullptr);
  Device->SetVertexShader(nullptr);
  Device->SetTexture(0, nullptr);

  if (f.island) {
    SetWorldTransform(kVertexWorld, {0, 0, 0}, {0, 0, 0, 1});
    Use(c->texturedPS);
    Use(c->defaultVS);
    Bind(0, c->islandTexture);
    DrawModel(c->island);
  }
  if (f.aircraft) DrawAircraftAt(c, f);

  Device->SetPixelShader(nullptr);
  Device->SetVertexShader(nullptr);
  Device->SetTexture(0, nullptr);
  if (f.text) {
    Device->SetRenderState(D3DRS_ZENABLE, 0);
    Device->SetRenderState(D3DRS_ZWRITEENABLE, 0);
    SetPixelConstantVector(0, 0, 0, 1);
    DrawText(8, 8, 20, String("Heading: 270\nAltitude: 2.5\nSpeed: 7.9 m/s  0123456789 AaBbGgQq @#%&"));
    const char* cursors[] = {"Cursor Default", "Cursor Cross",  "Cursor Move",   "Cursor Rotate",
                             "Cursor MoveV",   "Cursor MoveH", "Cursor Move45", "Cursor Move135"};
    for (int i = 0; i < 8; ++i) {
      int32_t s = FindSymbol(String(cursors[i]));
      double x = 60 + 70 * i, y = 160;
      SetPixelConstantVector(0, 0, 0, 1);
      for (int k = 0; k < 4; ++k)
        DrawSymbolCentred(uint32_t(s), x + 0.5 * std::cos(k * M_PI / 2), y + 0.5 * std::sin(k * M_PI / 2), 35);
      SetPixelConstantVector(1, 1, 1, 1);
      DrawSymbolCentred(uint32_t(s), x, y, 35);
    }
    Device->SetRenderState(D3DRS_ZENABLE, 1);
    Device->SetRenderState(D3DRS_ZWRITEENABLE, 1);
  }
  Device->EndScene();
}

bool SaveBackBuffer(const std::string& path, BackBufferReader read) {
  std::vector<uint32_t> argb;
  uint32_t w = 0, h = 0;
  if (!read(Device, argb, &w, &h)) return false;
  std::string reason;
  if (WritePngFile(path.c_str(), w, h, argb, reason)) return true;
  Log("tarn-contactsheet: %s\n", reason.c_str());
  return false;
}

bool TakeShots(const std::string& out, BackBufferReader read) {
  bool ok = true;
  Content* content = LoadContent();
  ResetView();

  const Vec3 plane{70, 70, 2}, centre{70, 70, 4.5};
  struct Shot {
    const char* name;
    Frame frame;
  };
  auto around = [&](const char* name, double heading, double elevation, double distance) {
    Frame f;
    f.eye = centre + Vec3{std::cos(elevation) * std::cos(heading), std::cos(elevation) * std::sin(heading),
                          std::sin(elevation)} * distance;
    f.look = LookAt(f.eye, centre);
    return Shot{name, f};
  };
  // The aircraft faces world -X at the start.
  Shot shots[] = {
      around("plane_front", M_PI, 0.12, 15),
      around("plane_left", -M_PI / 2, 0.12, 15),
      around("plane_rear", 0.0, 0.12, 15),
      around("plane_right", M_PI / 2, 0.12, 15),
      around("plane_top", M_PI, 1.45, 16),
      around("plane_three_quarter", M_PI * 0.75, 0.35, 13),
      {"plane_cockpit", {}},
      {"plane_yoke_inputs", {}},
      {"island_top", {}},
      {"island_start", {}},
      {"sky", {}},
      {"hud_font", {}},
  };
  for (Shot& s : shots) {
    std::string n = s.name;
    if (n == "plane_cockpit" || n == "plane_yoke_inputs") {
      // The pilot's eye: model (0, 0.5, 0.85) at the start pose.
      s.frame.eye = {70 - 0.5, 70, 2.85};
      s.frame.look = LookAt(s.frame.eye, s.frame.eye + Vec3{-1, 0, -0.25});
      if (n == "plane_yoke_inputs") {
        s.frame.pitchInput = 1;
        s.frame.rollInput = 0.5;
      }
    } else if (n == "island_top") {
      s.frame.eye = {380, 330, 2600};
      s.frame.look = LookAt(s.frame.eye, {380, 330, 0});
      s.frame.aircraft = false;
    } else if (n == "island_start") {
      s.frame.eye = {130, 20, 25};
      s.frame.look = LookAt(s.frame.eye, {500, 400, 20});
    } else if (n == "sky") {
      s.frame.eye = {0, 0, 0};
      s.frame.look = LookAt({0, 0, 0}, Vec3{1, 1, 0.9});
      s.frame.island = s.frame.aircraft = false;
    } else if (n == "hud_font") {
      s.frame.eye = {0, 0, 0};
      s.frame.look = LookAt({0, 0, 0}, Vec3{-1, 0, 0.3});
      s.frame.island = s.frame.aircraft = false;
      s.frame.text = true;
    }
    DrawFrame(content, s.frame);
    std::string path = out + "/" + s.name + ".png";
    if (!SaveBackBuffer(path, read)) {
      Log("tarn-contactsheet: cannot write \"%s\"\n", path.c_str());
      ok = false;
      break;
    }
    Log("tarn-contactsheet: %s\n", path.c_str());
  }
  (void)plane;
  ReleaseContent(content);
  return ok;
}

}  // namespace contactsheet
