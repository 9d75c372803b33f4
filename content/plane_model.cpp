// The aircraft "PlaneTarn": display pieces with the materials the aircraft
// drawing uses, closed proxy meshes for the physics (each positioned at its
// hinge pivot), position nodes for the straps and the yoke's axis.
#include <cmath>
#include <string>
#include <vector>

#include "content/atlas.h"
#include "content/builders.h"
#include "content/aircraft_file.h"

namespace content {
namespace {

// Materials (subset indices) of the display nodes.
constexpr uint32_t kMatTextured = 0;
constexpr uint32_t kMatCockpit = 1;
constexpr uint32_t kMatGlass = 2;
constexpr uint32_t kMatKeel = 3;
constexpr uint32_t kMatStrap = 4;
constexpr uint32_t kMatSpar = 5;
constexpr uint32_t kMatTip = 6;
constexpr uint32_t kMatTrailing = 7;
constexpr uint32_t kMatNose = 8;

struct P2 {
  double c, t;  // along the chord (toward the leading edge), across it
};

// Airfoil outline, counter-clockwise in (c, t): trailing edge, lower side to
// the leading edge, upper side back. 16 points; segments 5..10 wrap the
// leading edge, 0 and 15 touch the trailing edge.
std::vector<P2> Airfoil(double leading, double trailing, double thickness, double camber) {
  static const double kS[] = {0.85, 0.7, 0.5, 0.3, 0.15, 0.06, 0.015};
  auto half = [&](double s) {
    return 5.0 * thickness *
           (0.2969 * std::sqrt(s) - 0.126 * s - 0.3516 * s * s + 0.2843 * s * s * s - 0.1015 * s * s * s * s);
  };
  auto mean = [&](double s) { return 4.0 * camber * s * (1.0 - s); };
  auto chordAt = [&](double s) { return leading + (trailing - leading) * s; };
  std::vector<P2> out;
  out.push_back({chordAt(1.0), 0.0});
  for (double s : kS) out.push_back({chordAt(s), mean(s) - half(s)});
  out.push_back({chordAt(0.0), 0.0});
  for (int i = 6; i >= 0; --i) out.push_back({chordAt(kS[i]), mean(kS[i]) + half(kS[i])});
  return out;
}

std::vector<uint32_t> AirfoilMaterials(bool outer) {
  std::vector<uint32_t> m(16, kMatTextured);
  for (int i = 5; i <= 10; ++i) m[i] = kMatSpar;
  if (outer) m[0] = m[15] = kMatTrailing;
  return m;
}

// A wing panel from x0 to x1 (x0 < x1), lofted along +X.
void AddWingPanel(const AircraftParams& ac, MeshNode& node, double x0, double x1, bool outer, bool tipAtLow) {
  double le = ac.wingChordCentreY + ac.wingChord * 0.5, te = ac.wingChordCentreY - ac.wingChord * 0.5;
  std::vector<P2> foil = Airfoil(le, te, ac.wingThickness, ac.wingCamber);
  std::vector<std::vector<Vec3>> rings(2);
  for (const P2& p : foil) {
    rings[0].push_back({x0, p.c, ac.wingZ + p.t});
    rings[1].push_back({x1, p.c, ac.wingZ + p.t});
  }
  LoftOptions o;
  o.segmentMaterial = AirfoilMaterials(outer);
  o.capMaterial = (outer && tipAtLow) ? kMatTip : kMatSpar;
  o.endCapMaterial = (outer && !tipAtLow) ? kMatTip : kMatSpar;
  o.region = atlas::kFabric;
  AddLoft(node, rings, o);
}

// Horizontal tail lofted along +X, symmetric section.
void AddTailplane(const AircraftParams& ac, MeshNode& node) {
  std::vector<P2> foil = Airfoil(ac.tailLeadingY, ac.tailTrailingY, ac.tailThickness, 0.0);
  std::vector<std::vector<Vec3>> rings(2);
  for (const P2& p : foil) {
    rings[0].push_back({-ac.tailHalfSpan, p.c, ac.tailZ + p.t});
    rings[1].push_back({ac.tailHalfSpan, p.c, ac.tailZ + p.t});
  }
  LoftOptions o;
  o.region = atlas::kFabric;
  AddLoft(node, rings, o);
}

// Fin lofted along +Z; the section's across-axis maps to -X to keep the
// winding counter-clockwise about +Z.
void AddFin(const AircraftParams& ac, MeshNode& node) {
  std::vector<P2> foil = Airfoil(ac.finLeadingY, ac.finTrailingY, ac.tailThickness, 0.0);
  std::vector<std::vector<Vec3>> rings(2);
  for (const P2& p : foil) {
    rings[0].push_back({-p.t, p.c, ac.finBaseZ});
    rings[1].push_back({-p.t * 0.7, p.c, ac.finBaseZ + ac.finHeight});
  }
  LoftOptions o;
  o.region = atlas::kFabric;
  AddLoft(node, rings, o);
}

// An eight-sided strut from a to b (lofted along b - a).
void AddStrut(MeshNode& node, const Vec3& a, const Vec3& b, double half, uint32_t material, const Region& region) {
  Vec3 d = Normalize(b - a);
  Vec3 e1 = Normalize(Cross({1, 0, 0}, d));
  if (LengthSq(Cross({1, 0, 0}, d)) < 1e-12) e1 = Normalize(Cross({0, 0, 1}, d));
  Vec3 e2 = Cross(d, e1);
  std::vector<std::vector<Vec3>> rings = {Ring(a, e1, e2, half, half, 8), Ring(b, e1, e2, half, half, 8)};
  LoftOptions o;
  o.material = material;
  o.capMaterial = material;
  o.region = region;
  AddLoft(node, rings, o);
}

void AddBoxMapped(MeshNode& node, const Vec3& lo, const Vec3& hi, uint32_t material, const Region& region) {
  uint32_t first = node.FaceCount();
  AddBox(node, lo, hi, material);
  MapPlanar(node, first, region);
}

// Half-length of the balloon toward the side of y.
double BalloonLength(const AircraftParams& ac, double y) { return y >= 0 ? ac.balloonFrontLength : ac.balloonRearLength; }

// Lofted envelope from the tail tip (-Y) to the nose tip (+Y).
void AddEnvelope(const AircraftParams& ac, MeshNode& node, int segments, int rings, bool mapped) {
  std::vector<std::vector<Vec3>> loft;
  for (int k = 0; k <= rings; ++k) {
    double phi = -M_PI / 2 + M_PI * k / rings;
    double y = BalloonLength(ac, std::sin(phi)) * std::sin(phi);
    double r = ac.balloonRadius * std::cos(phi);
    if (k == 0 || k == rings)
      loft.push_back({Vec3{0, y, ac.balloonCentreZ}});
    else
      loft.push_back(Ring({0, y, ac.balloonCentreZ}, {0, 0, 1}, {1, 0, 0}, r, r, segments));
  }
  LoftOptions o;
  o.caps = false;
  o.cylindricalUV = mapped;
  o.region = atlas::kGores;
  AddLoft(node, loft, o);
}

// Lowest point of the envelope's true surface at (x, y).
double EnvelopeUnderside(const AircraftParams& ac, double x, double y) {
  double s = y / BalloonLength(ac, y), q = x / ac.balloonRadius;
  return ac.balloonCentreZ - ac.balloonRadius * std::sqrt(std::fmax(0.0, 1.0 - q * q - s * s));
}

// Hull stations: y, half width, half height, centre height.
struct Station {
  double y, w, h, z;
};
// The stations; the boom's end and the nose tip follow the file.
std::vector<Station> HullStations(const AircraftParams& ac) {
  return {
    {ac.hullTailY, 0.05, 0.07, 0.06}, {-3.0, 0.1, 0.13, 0.1}, {-2.0, 0.18, 0.22, 0.12}, {-1.3, 0.34, 0.42, 0.05},
    {-0.4, 0.4, 0.5, 0.0},          {1.0, 0.4, 0.5, 0.0},     {1.6, 0.36, 0.44, -0.03},
    {1.9, 0.27, 0.33, -0.06},
  };
}

void AddHull(const AircraftParams& ac, MeshNode& node) {
  const int n = 24;
  std::vector<std::vector<Vec3>> rings;
  for (const Station& s : HullStations(ac)) rings.push_back(Ring({0, s.y, s.z}, {0, 0, 1}, {1, 0, 0}, s.h, s.w, n, 2.6));
  rings.push_back({Vec3{0, ac.hullNoseY, -0.08}});
  LoftOptions o;
  o.segmentMaterial.assign(n, kMatTextured);
  for (int i = 10; i <= 13; ++i) o.segmentMaterial[i] = kMatKeel;  // keel strip along the bottom
  o.bandMaterial.assign(rings.size() - 1, ~0u);
  o.bandMaterial[rings.size() - 2] = kMatNose;  // nose cone
  o.bandMaterial[rings.size() - 3] = kMatNose;
  o.capMaterial = kMatKeel;
  o.cylindricalUV = true;
  o.region = atlas::kPlanks;
  AddLoft(node, rings, o);
}

void AddCockpitInterior(const AircraftParams& ac, MeshNode& node) {
  const double deck = ac.fuselageHalfHeight;
  // Seat and backrest.
  AddBoxMapped(node, {-0.2, 0.28, deck - 0.02}, {0.2, 0.72, deck + 0.12}, kMatCockpit, atlas::kSeat);
  AddBoxMapped(node, {-0.18, 0.2, deck - 0.02}, {0.18, 0.3, deck + 0.32}, kMatCockpit, atlas::kSeat);
  // Instrument panel facing the pilot, and the glass over its dials.
  AddBoxMapped(node, {-0.22, ac.panelY, deck - 0.02}, {0.22, ac.panelY + 0.1, 0.78}, kMatCockpit, atlas::kPanelFace);
  AddBoxMapped(node, {-0.2, ac.panelY - 0.006, 0.54}, {0.2, ac.panelY - 0.001, 0.76}, kMatGlass, atlas::kGlass);
}

void AddCanopy(const AircraftParams& ac, MeshNode& node) {
  const int rings = 10, n = 20;
  std::vector<std::vector<Vec3>> loft;
  // A half-ellipsoid dome, lofted from back to front; each ring is the upper
  // half of an ellipse closed along its base.
  for (int k = 0; k <= rings; ++k) {
    double phi = -M_PI / 2 + M_PI * k / rings;
    double y = ac.canopyCentreY + ac.canopyHalfLength * std::sin(phi);
    double c = std::cos(phi);
    if (k == 0 || k == rings) {
      loft.push_back({Vec3{0, y, ac.canopyBaseZ}});
      continue;
    }
    std::vector<Vec3> ring;
    // Counter-clockwise about +Y: from +Z toward +X, i.e. over the top from
    // the left base corner to the right one, then back along the base.
    for (int i = 0; i < n; ++i) {
      double t = M_PI * i / (n - 1);  // 0 at the left base, pi at the right base
      double x = -std::cos(t) * ac.canopyHalfWidth * c;
      double z = ac.canopyBaseZ + std::sin(t) * ac.canopyHeight * c;
      ring.push_back({x, y, z});
    }
    loft.push_back(ring);
  }
  LoftOptions o;
  o.material = 0;
  o.smoothing = 1;
  o.caps = false;
  o.region = atlas::kGlass;
  AddLoft(node, loft, o);
}

void AddYoke(const AircraftParams& ac, MeshNode& node) {
  const Region& r = atlas::kDarkWood;
  AddBoxMapped(node, {-0.018, ac.yokeY, ac.yokeZ - 0.018}, {0.018, ac.panelY, ac.yokeZ + 0.018}, 0, r);       // column
  AddBoxMapped(node, {-0.14, ac.yokeY - 0.03, ac.yokeZ - 0.02}, {0.14, ac.yokeY, ac.yokeZ + 0.02}, 0, r);    // cross bar
  AddBoxMapped(node, {-0.16, ac.yokeY - 0.035, ac.yokeZ - 0.05}, {-0.12, ac.yokeY + 0.005, ac.yokeZ + 0.09}, 0, r);
  AddBoxMapped(node, {0.12, ac.yokeY - 0.035, ac.yokeZ - 0.05}, {0.16, ac.yokeY + 0.005, ac.yokeZ + 0.09}, 0, r);
}

Vec3 StrapLow(const AircraftParams& ac, int i) {  // 1: front left, 2: front right, 3: rear left, 4: rear right
  double sx = (i % 2 == 1) ? -1 : 1, sy = i <= 2 ? 1 : -1;
  return {sx * ac.strapX, sy * ac.strapY, ac.strapZ};
}
Vec3 StrapHigh(const AircraftParams& ac, int i) {
  double sx = (i % 2 == 1) ? -1 : 1, sy = i <= 2 ? 1 : -1;
  double x = sx * ac.strapTopX, y = sy * ac.strapTopY;
  return {x, y, EnvelopeUnderside(ac, x, y) + 0.02};
}

void AddStraps(const AircraftParams& ac, MeshNode& node) {
  for (int i = 1; i <= 4; ++i) {
    Vec3 a = StrapLow(ac, i), b = StrapHigh(ac, i);
    AddTube(node, a, b, ac.strapHalfWidth, kMatStrap, {1, 0, 0});
    // Wooden toggles at both ends; each follows the body it is tied to.
    uint32_t first = node.FaceCount();
    AddBoxMapped(node, a + Vec3{-0.04, -0.04, -0.01}, a + Vec3{0.04, 0.04, 0.04}, kMatTextured, atlas::kDarkWood);
    SetTex1(node, first, 0.0);
    first = node.FaceCount();
    AddBoxMapped(node, b + Vec3{-0.04, -0.04, -0.04}, b + Vec3{0.04, 0.04, 0.01}, kMatTextured, atlas::kDarkWood);
    SetTex1(node, first, 1.0);
  }
}

void AddLegPieces(const AircraftParams& ac, ModelFile& m, const char* side, double sx) {
  const Vec3 hip{sx * ac.hipX, ac.hipY, ac.hipZ};
  const Vec3 knee = hip - Vec3{0, 0, ac.thighLength};
  const Vec3 ankle = knee - Vec3{0, 0, ac.shinLength};
  const double t = ac.legHalfThickness;
  const Vec3 footLo{ankle.x - ac.footHalfWidth, ankle.y - ac.footBack, ac.footBottomZ};
  const Vec3 footHi{ankle.x + ac.footHalfWidth, ankle.y - ac.footBack + ac.footLength, ankle.z};
  const std::string s = side;

  AddStrut(m.Add(s + "Leg1", hip), hip + Vec3{0, 0, 0.04}, knee, t * 0.9, 0, atlas::kDarkWood);
  AddStrut(m.Add(s + "Leg2", knee), knee, ankle, t * 0.75, 0, atlas::kDarkWood);
  {
    MeshNode& foot = m.Add(s + "Leg3", ankle);
    AddBoxMapped(foot, footLo, footHi + Vec3{0, 0, -0.03}, 0, atlas::kDarkWood);
    AddStrut(foot, ankle + Vec3{0, 0, 0.02}, ankle - Vec3{0, 0, 0.06}, t * 0.7, 0, atlas::kDarkWood);
  }
  AddBoxMapped(m.Add(s + "Leg1 Proxy", hip), hip - Vec3{t, t, ac.thighLength}, hip + Vec3{t, t, 0}, 0,
               atlas::kDarkWood);
  AddBoxMapped(m.Add(s + "Leg2 Proxy", knee), knee - Vec3{t, t, ac.shinLength}, knee + Vec3{t, t, 0}, 0,
               atlas::kDarkWood);
  AddBoxMapped(m.Add(s + "Leg3 Proxy", ankle), footLo, footHi, 0, atlas::kDarkWood);
}

}  // namespace

Vec3 PlaneStrapPoint(const AircraftParams& ac, int index, bool balloonEnd) {
  return balloonEnd ? StrapHigh(ac, index) : StrapLow(ac, index);
}

ModelFile BuildPlaneModel(const AircraftParams& ac) {
  ModelFile m;
  m.scale = kAircraftModelScale;

  // --- display pieces ---
  {
    MeshNode& f = m.Add("Fuselage");
    AddHull(ac, f);
    AddCockpitInterior(ac, f);
  }
  AddCanopy(ac, m.Add("Cockpit1", {0, ac.canopyCentreY, ac.canopyBaseZ}));
  {
    MeshNode& j = m.Add("Joke", {0, ac.yokeY, ac.yokeZ});
    AddYoke(ac, j);
  }
  m.Add("Joke_point", {0, ac.yokeY, ac.yokeZ});
  m.Add("Joke_axis", {0, ac.panelY, ac.yokeZ});

  AddWingPanel(ac, m.Add("Left Wing2", {-ac.wingRootX, ac.wingChordCentreY, ac.wingZ}), -ac.wingBreakX, -ac.wingRootX, false,
               false);
  AddWingPanel(ac, m.Add("Left Wing", {-ac.wingBreakX, ac.wingChordCentreY, ac.wingZ}), -ac.wingTipX, -ac.wingBreakX, true, true);
  AddWingPanel(ac, m.Add("Right Wing2", {ac.wingRootX, ac.wingChordCentreY, ac.wingZ}), ac.wingRootX, ac.wingBreakX, false,
               false);
  AddWingPanel(ac, m.Add("Right Wing", {ac.wingBreakX, ac.wingChordCentreY, ac.wingZ}), ac.wingBreakX, ac.wingTipX, true, false);
  AddTailplane(ac, m.Add("Tail", {0, ac.tailLeadingY, ac.tailZ}));
  AddFin(ac, m.Add("Tail2", {0, ac.finLeadingY, ac.finBaseZ}));
  {
    MeshNode& b = m.Add("Ballon", {0, 0, ac.balloonCentreZ});
    AddEnvelope(ac, b, 32, 24, true);
    SetTex1(b, 0, 1.0);  // the envelope follows the balloon's matrix
  }
  AddStraps(ac, m.Add("Strapes"));
  AddLegPieces(ac, m, "L", -1);
  AddLegPieces(ac, m, "R", 1);

  // --- proxies: closed meshes in model coordinates, positioned at their pivots ---
  AddBoxMapped(m.Add("Fuselage Proxy"), {-ac.fuselageHalfWidth, -ac.fuselageHalfLength, -ac.fuselageHalfHeight},
               {ac.fuselageHalfWidth, ac.fuselageHalfLength, ac.fuselageHalfHeight}, 0, atlas::kPlanks);
  {
    MeshNode& b = m.Add("Ballon Proxy", {0, 0, ac.balloonCentreZ});
    AddEnvelope(ac, b, ac.balloonProxySegments, ac.balloonProxyRings, false);
  }
  const double le = ac.wingChordCentreY + ac.wingChord * 0.5, te = ac.wingChordCentreY - ac.wingChord * 0.5;
  const double wz0 = ac.wingZ - ac.wingThickness * 0.5, wz1 = ac.wingZ + ac.wingThickness * 0.5;
  AddBoxMapped(m.Add("Left Wing2 Proxy", {-ac.wingRootX, ac.wingChordCentreY, ac.wingZ}), {-ac.wingBreakX, te, wz0},
               {-ac.wingRootX, le, wz1}, 0, atlas::kFabric);
  AddBoxMapped(m.Add("Left Wing Proxy", {-ac.wingBreakX, ac.wingChordCentreY, ac.wingZ}), {-ac.wingTipX, te, wz0},
               {-ac.wingBreakX, le, wz1}, 0, atlas::kFabric);
  AddBoxMapped(m.Add("Right Wing2 Proxy", {ac.wingRootX, ac.wingChordCentreY, ac.wingZ}), {ac.wingRootX, te, wz0},
               {ac.wingBreakX, le, wz1}, 0, atlas::kFabric);
  AddBoxMapped(m.Add("Right Wing Proxy", {ac.wingBreakX, ac.wingChordCentreY, ac.wingZ}), {ac.wingBreakX, te, wz0},
               {ac.wingTipX, le, wz1}, 0, atlas::kFabric);
  AddBoxMapped(m.Add("Tail Proxy", {0, ac.tailLeadingY, ac.tailZ}),
               {-ac.tailHalfSpan, ac.tailTrailingY, ac.tailZ - ac.tailThickness * 0.5},
               {ac.tailHalfSpan, ac.tailLeadingY, ac.tailZ + ac.tailThickness * 0.5}, 0, atlas::kFabric);
  AddBoxMapped(m.Add("Tail2 Proxy", {0, ac.finLeadingY, ac.finBaseZ}),
               {-ac.tailThickness * 0.5, ac.finTrailingY, ac.finBaseZ},
               {ac.tailThickness * 0.5, ac.finLeadingY, ac.finBaseZ + ac.finHeight}, 0, atlas::kFabric);
  {
    const Vec3 eye{0, ac.eyeY, ac.eyeZ}, h{ac.cameraHalfSize, ac.cameraHalfSize, ac.cameraHalfSize};
    AddBoxMapped(m.Add("CameraPoint", eye), eye - h, eye + h, 0, atlas::kDarkWood);
  }
  {
    const double z0 = -ac.fuselageHalfHeight;
    AddBoxMapped(m.Add("Ballast", {0, 0, z0 + ac.ballastHeight * 0.5}),
                 {-ac.ballastHalfWidth, -ac.ballastHalfLength, z0}, {ac.ballastHalfWidth, ac.ballastHalfLength, z0 + ac.ballastHeight},
                 0, atlas::kDarkWood);
  }
  for (int i = 1; i <= 4; ++i) {
    m.Add("StrapesPoint" + std::to_string(i) + "a", StrapLow(ac, i));
    m.Add("StrapesPoint" + std::to_string(i) + "b", StrapHigh(ac, i));
  }
  return m;
}

}  // namespace content
