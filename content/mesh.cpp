#include "content/mesh.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace content {

uint32_t MeshNode::AddVertex(const Vec3& p) {
  vertices.push_back(p);
  return uint32_t(vertices.size() - 1);
}

void MeshNode::AddTriangle(uint32_t a, uint32_t b, uint32_t c, uint32_t material, uint32_t smoothing) {
  Face f{};
  f.material = material;
  f.smoothing = smoothing;
  f.corner[0] = a;
  f.corner[1] = b;
  f.corner[2] = c;
  // Placeholder coordinates that still give every face a usable tangent frame.
  f.tex0[0] = {0, 0};
  f.tex0[1] = {1, 0};
  f.tex0[2] = {0, 1};
  faces.push_back(f);
}

MeshNode& ModelFile::Add(const std::string& name, const Vec3& position) {
  nodes.emplace_back();
  nodes.back().name = name;
  nodes.back().position = position;
  return nodes.back();
}

namespace {

VEC3F ToRaw(const Vec3& p, double inv) {
  return VEC3F{float(p.x * inv), float(p.y * inv), float(p.z * inv)};
}

}  // namespace

void WriteRawModel(const ModelFile& model, std::vector<uint8_t>& out) {
  const double inv = 1.0 / model.scale;
  // Records are encoded with the buffer appends into a small scratch buffer
  // and moved out one by one: the buffer grows by exact reallocation, which
  // would turn a multi-megabyte model into quadratic copying.
  MEM rec;
  auto flush = [&] {
    out.insert(out.end(), rec.data, rec.data + rec.size);
    rec.Resize(0);
    rec.pos = 0;
  };
  out.clear();
  rec.Put_uint32(0x524C444Du);  // "MDLR"
  rec.Put_uint32(uint32_t(model.nodes.size()));
  flush();
  for (const MeshNode& node : model.nodes) {
    rec.Put_string(node.name.c_str());
    rec.Put_VEC3F(ToRaw(node.position, inv));
    rec.Put_QUATF(QUATF{0, 0, 0, 1});
    rec.Put_VEC3F(VEC3F{1, 1, 1});
    rec.Put_uint32(uint32_t(node.vertices.size()));
    flush();
    for (const Vec3& v : node.vertices) {
      rec.Put_VEC3F(ToRaw(v, inv));
      flush();
    }
    rec.Put_uint32(uint32_t(node.faces.size()));
    flush();
    for (const Face& f : node.faces) {
      const Vec3& p0 = node.vertices[f.corner[0]];
      Vec3 n = Normalize(Cross(node.vertices[f.corner[1]] - p0, node.vertices[f.corner[2]] - p0));
      rec.Put_VEC3F(VEC3F{float(n.x), float(n.y), float(n.z)});
      rec.Put_uint32(f.material);
      rec.Put_uint32(f.smoothing);
      for (int k = 0; k < 3; ++k) rec.Put_uint32(f.corner[k]);
      for (int k = 0; k < 3; ++k) rec.Put_VEC3F(VEC3F{float(f.tex0[k].u), float(1.0 - f.tex0[k].v), 0.0f});
      for (int k = 0; k < 3; ++k) rec.Put_VEC3F(VEC3F{float(f.tex1u[k]), 1.0f, 0.0f});
      flush();
    }
  }
}

void AddBox(MeshNode& node, const Vec3& lo, const Vec3& hi, uint32_t material) {
  uint32_t base = uint32_t(node.vertices.size());
  for (int i = 0; i < 8; ++i)
    node.AddVertex({(i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z});
  // Each side is a fan of four triangles about its centre: the split has no
  // handedness, so a box and its mirror image get mirror-image triangles and
  // the surface forces on them balance.
  // Each side as four corners counter-clockwise seen from outside.
  static const int kSides[6][4] = {
      {0, 4, 6, 2},  // -X
      {1, 3, 7, 5},  // +X
      {0, 1, 5, 4},  // -Y
      {2, 6, 7, 3},  // +Y
      {0, 2, 3, 1},  // -Z
      {4, 5, 7, 6},  // +Z
  };
  for (int s = 0; s < 6; ++s) {
    const int* q = kSides[s];
    uint32_t group = 1u << (s + 1);
    Vec3 c{0, 0, 0};
    for (int k = 0; k < 4; ++k) c += node.vertices[base + q[k]];
    uint32_t centre = node.AddVertex(c * 0.25);
    for (int k = 0; k < 4; ++k) node.AddTriangle(centre, base + q[k], base + q[(k + 1) % 4], material, group);
  }
}

std::vector<Vec3> Ring(const Vec3& centre, const Vec3& e1, const Vec3& e2, double r1, double r2, int count,
                       double power) {
  std::vector<Vec3> ring;
  ring.reserve(count);
  for (int i = 0; i < count; ++i) {
    double t = 2.0 * M_PI * i / count;
    double c = std::cos(t), s = std::sin(t);
    if (power != 2.0) {
      c = std::copysign(std::pow(std::fabs(c), 2.0 / power), c);
      s = std::copysign(std::pow(std::fabs(s), 2.0 / power), s);
    }
    ring.push_back(centre + e1 * (c * r1) + e2 * (s * r2));
  }
  return ring;
}

uint32_t AddLoft(MeshNode& node, const std::vector<std::vector<Vec3>>& rings, const LoftOptions& o) {
  const uint32_t firstFace = node.FaceCount();
  std::vector<std::vector<uint32_t>> idx(rings.size());
  size_t n = 0;
  for (const auto& r : rings) n = std::max(n, r.size());
  for (size_t k = 0; k < rings.size(); ++k)
    for (const Vec3& p : rings[k]) idx[k].push_back(node.AddVertex(p));

  // Distance along the loft, for the cylindrical mapping.
  std::vector<double> along(rings.size(), 0.0);
  auto centroid = [](const std::vector<Vec3>& r) {
    Vec3 c{0, 0, 0};
    for (const Vec3& p : r) c += p;
    return c / double(r.size());
  };
  for (size_t k = 1; k < rings.size(); ++k)
    along[k] = along[k - 1] + Length(centroid(rings[k]) - centroid(rings[k - 1]));
  const double total = along.back() > 0 ? along.back() : 1.0;

  auto uvAt = [&](size_t k, size_t i) -> UV {
    double u = double(i) / double(n);
    double v = 1.0 - along[k] / total;
    return {o.region.u0 + (o.region.u1 - o.region.u0) * u, o.region.v0 + (o.region.v1 - o.region.v0) * v};
  };
  auto materialOf = [&](size_t band, size_t i) {
    if (band < o.bandMaterial.size() && o.bandMaterial[band] != ~0u) return o.bandMaterial[band];
    if (i < o.segmentMaterial.size()) return o.segmentMaterial[i];
    return o.material;
  };
  auto addFace = [&](uint32_t a, uint32_t b, uint32_t c, uint32_t m, uint32_t sm, UV ta, UV tb, UV tc) {
    node.AddTriangle(a, b, c, m, sm);
    if (o.cylindricalUV) {
      Face& f = node.faces.back();
      f.tex0[0] = ta;
      f.tex0[1] = tb;
      f.tex0[2] = tc;
    }
  };

  for (size_t k = 0; k + 1 < rings.size(); ++k) {
    const auto& p = idx[k];
    const auto& q = idx[k + 1];
    for (size_t i = 0; i < n; ++i) {
      size_t j = (i + 1) % n;
      uint32_t m = materialOf(k, i);
      if (p.size() == 1) {  // tip at the start: fan toward the next ring
        UV tip = uvAt(k, i);
        tip.u = (uvAt(k, i).u + uvAt(k, i + 1).u) * 0.5;
        addFace(p[0], q[j], q[i], m, o.smoothing, tip, uvAt(k + 1, i + 1), uvAt(k + 1, i));
      } else if (q.size() == 1) {  // tip at the end
        UV tip = uvAt(k + 1, i);
        tip.u = (uvAt(k + 1, i).u + uvAt(k + 1, i + 1).u) * 0.5;
        addFace(p[i], p[j], q[0], m, o.smoothing, uvAt(k, i), uvAt(k, i + 1), tip);
      } else {
        // Quads split along mirrored diagonals on either half of the ring, so
        // a ring symmetric about the first point's plane gives a symmetric mesh.
        if (2 * i < n) {
          addFace(p[i], p[j], q[j], m, o.smoothing, uvAt(k, i), uvAt(k, i + 1), uvAt(k + 1, i + 1));
          addFace(p[i], q[j], q[i], m, o.smoothing, uvAt(k, i), uvAt(k + 1, i + 1), uvAt(k + 1, i));
        } else {
          addFace(p[i], p[j], q[i], m, o.smoothing, uvAt(k, i), uvAt(k, i + 1), uvAt(k + 1, i));
          addFace(p[j], q[j], q[i], m, o.smoothing, uvAt(k, i + 1), uvAt(k + 1, i + 1), uvAt(k + 1, i));
        }
      }
    }
  }
  const uint32_t sideEnd = node.FaceCount();

  if (o.caps) {
    auto cap = [&](size_t k, bool atEnd) {
      if (idx[k].size() < 3) return;
      uint32_t c = node.AddVertex(centroid(rings[k]));
      uint32_t m = atEnd && o.endCapMaterial != ~0u ? o.endCapMaterial : o.capMaterial;
      uint32_t sm = atEnd ? 4u : 2u;
      const auto& r = idx[k];
      for (size_t i = 0; i < r.size(); ++i) {
        size_t j = (i + 1) % r.size();
        if (atEnd)
          node.AddTriangle(c, r[i], r[j], m, sm);
        else
          node.AddTriangle(c, r[j], r[i], m, sm);
      }
    };
    uint32_t capFirst = node.FaceCount();
    cap(0, false);
    cap(rings.size() - 1, true);
    if (o.cylindricalUV && node.FaceCount() > capFirst) MapPlanar(node, capFirst, o.region);
  }
  if (!o.cylindricalUV) MapPlanar(node, firstFace, o.region);
  (void)sideEnd;
  return firstFace;
}

void AddTube(MeshNode& node, const Vec3& a, const Vec3& b, double half, uint32_t material, const Vec3& side) {
  Vec3 d = Normalize(b - a);
  Vec3 e1 = Normalize(Cross(side, d));  // e1 x e2 = d
  Vec3 e2 = Cross(d, e1);
  std::vector<std::vector<Vec3>> rings;
  for (const Vec3& c : {a, b}) {
    std::vector<Vec3> r;
    for (int i = 0; i < 4; ++i) {
      double s1 = (i == 0 || i == 3) ? 1 : -1;
      double s2 = (i < 2) ? 1 : -1;
      r.push_back(c + e1 * (s1 * half) + e2 * (s2 * half));
    }
    rings.push_back(r);
  }
  LoftOptions o;
  o.material = material;
  o.capMaterial = material;
  uint32_t first = AddLoft(node, rings, o);
  // Ring 0 vertices follow a, ring 1 follow b; the caps' centres likewise.
  for (uint32_t f = first; f < node.FaceCount(); ++f) {
    Face& face = node.faces[f];
    for (int k = 0; k < 3; ++k) {
      const Vec3& p = node.vertices[face.corner[k]];
      face.tex1u[k] = Dot(p - a, d) > Dot(b - a, d) * 0.5 ? 1.0 : 0.0;
    }
  }
}

void MapPlanar(MeshNode& node, uint32_t first, const Region& r) {
  if (first >= node.FaceCount()) return;
  Vec3 lo{1e30, 1e30, 1e30}, hi{-1e30, -1e30, -1e30};
  for (uint32_t f = first; f < node.FaceCount(); ++f)
    for (uint32_t c : node.faces[f].corner) {
      const Vec3& p = node.vertices[c];
      lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
  auto norm = [](double v, double a, double b) { return b - a > 1e-12 ? (v - a) / (b - a) : 0.5; };
  for (uint32_t f = first; f < node.FaceCount(); ++f) {
    Face& face = node.faces[f];
    const Vec3& p0 = node.vertices[face.corner[0]];
    Vec3 n = Cross(node.vertices[face.corner[1]] - p0, node.vertices[face.corner[2]] - p0);
    double ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    for (int k = 0; k < 3; ++k) {
      const Vec3& p = node.vertices[face.corner[k]];
      double s, t;  // s across, t downward in the image
      if (az >= ax && az >= ay) {
        s = norm(p.x, lo.x, hi.x);
        t = 1.0 - norm(p.y, lo.y, hi.y);
      } else if (ax >= ay) {
        s = norm(p.y, lo.y, hi.y);
        t = 1.0 - norm(p.z, lo.z, hi.z);
      } else {
        s = norm(p.x, lo.x, hi.x);
        t = 1.0 - norm(p.z, lo.z, hi.z);
      }
      face.tex0[k] = {r.u0 + (r.u1 - r.u0) * s, r.v0 + (r.v1 - r.v0) * t};
    }
  }
}

void SetTex1(MeshNode& node, uint32_t first, double u) {
  for (uint32_t f = first; f < node.FaceCount(); ++f)
    for (double& t : node.faces[f].tex1u) t = u;
}

double SignedVolume(const std::vector<Vec3>& v, const std::vector<Face>& faces) {
  double s = 0;
  for (const Face& f : faces)
    s += Dot(v[f.corner[0]], Cross(v[f.corner[1]], v[f.corner[2]]));
  return s / 6.0;
}

bool IsClosed(const std::vector<Face>& faces) {
  std::map<std::pair<uint32_t, uint32_t>, int> edges;
  for (const Face& f : faces)
    for (int k = 0; k < 3; ++k) ++edges[{f.corner[k], f.corner[(k + 1) % 3]}];
  for (const auto& e : edges) {
    if (e.second != 1) return false;
    auto back = edges.find({e.first.second, e.first.first});
    if (back == edges.end() || back->second != 1) return false;
  }
  return !faces.empty();
}

}  // namespace content
