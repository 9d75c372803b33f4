// Writes the run directory: models, textures, the sky cube, the font atlas,
// and copies of the hand-written shader and font sources.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "content/builders.h"
#include "foundation/files.h"
#include "foundation/log.h"

namespace content {
namespace {

bool MakeDirs(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    std::string part = path.substr(0, i);
    std::error_code ec;
    if (!std::filesystem::create_directory(part, ec) && ec && ec != std::errc::file_exists) {
      Log("tarn-content: cannot create \"%s\": %s\n", part.c_str(), ec.message().c_str());
      return false;
    }
  }
  return true;
}

bool WriteBytes(const std::string& path, const void* data, size_t size) {
  std::string reason;
  if (WriteWholeFile(path, data, size, reason)) return true;
  Log("tarn-content: cannot write \"%s\": %s\n", path.c_str(), reason.c_str());
  return false;
}

bool ReadBytes(const std::string& path, std::vector<uint8_t>& out) {
  out.clear();
  std::string bytes, reason;
  if (!ReadWholeFile(path, FileKind::Content, bytes, reason)) {
    Log("tarn-content: cannot read \"%s\": %s\n", path.c_str(), reason.c_str());
    return false;
  }
  out.assign(bytes.begin(), bytes.end());
  return true;
}

void AppendToVector(void* context, void* data, int size) {
  auto* v = static_cast<std::vector<uint8_t>*>(context);
  v->insert(v->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

bool WritePng(const std::string& path, const Bitmap& img) {
  std::vector<uint8_t> bytes;
  if (!stbi_write_png_to_func(AppendToVector, &bytes, img.width, img.height, img.channels, img.pixels.data(),
                              img.width * img.channels)) {
    Log("tarn-content: cannot encode \"%s\"\n", path.c_str());
    return false;
  }
  return WriteBytes(path, bytes.data(), bytes.size());
}

bool WriteTga(const std::string& path, const Bitmap& img) {
  std::vector<uint8_t> bytes;
  if (!stbi_write_tga_to_func(AppendToVector, &bytes, img.width, img.height, img.channels, img.pixels.data())) {
    Log("tarn-content: cannot encode \"%s\"\n", path.c_str());
    return false;
  }
  return WriteBytes(path, bytes.data(), bytes.size());
}

void Put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

// An uncompressed 32-bit cube map, one level per face (the loader builds the
// mip chain), faces in Direct3D order.
bool WriteCubeDds(const std::string& path, const CubeMap& cube) {
  std::vector<uint8_t> v;
  const uint32_t n = uint32_t(cube.size);
  Put32(v, 0x20534444u);  // "DDS "
  Put32(v, 124);
  Put32(v, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000);  // caps, height, width, pitch, pixel format
  Put32(v, n);
  Put32(v, n);
  Put32(v, n * 4);  // pitch
  Put32(v, 0);      // depth
  Put32(v, 1);      // mip levels
  for (int i = 0; i < 11; ++i) Put32(v, 0);
  Put32(v, 32);  // pixel format
  Put32(v, 0x40);  // RGB
  Put32(v, 0);
  Put32(v, 32);
  Put32(v, 0x00FF0000u);
  Put32(v, 0x0000FF00u);
  Put32(v, 0x000000FFu);
  Put32(v, 0);
  Put32(v, 0x8 | 0x1000);    // complex, texture
  Put32(v, 0x200 | 0xFC00);  // cube map with all six faces
  Put32(v, 0);
  Put32(v, 0);
  Put32(v, 0);
  for (const Bitmap& face : cube.faces)
    for (size_t i = 0; i < face.pixels.size(); i += 4) {
      const uint8_t* p = &face.pixels[i];
      v.push_back(p[2]);  // B, G, R, X
      v.push_back(p[1]);
      v.push_back(p[0]);
      v.push_back(255);
    }
  return WriteBytes(path, v.data(), v.size());
}

bool WriteModel(const std::string& dir, const std::string& name, const ModelFile& model) {
  std::vector<uint8_t> bytes;
  WriteRawModel(model, bytes);
  // A compiled copy left from an earlier run would be preferred over the new
  // raw model, so it goes.
  std::remove((dir + "/" + name + ".mdc").c_str());
  size_t triangles = 0;
  for (const MeshNode& n : model.nodes) triangles += n.faces.size();
  Log("tarn-content: Models/%s.mdl, %zu nodes, %zu triangles\n", name.c_str(), model.nodes.size(), triangles);
  return WriteBytes(dir + "/" + name + ".mdl", bytes.data(), bytes.size());
}

bool CopyFile(const std::string& from, const std::string& to) {
  std::vector<uint8_t> bytes;
  return ReadBytes(from, bytes) && WriteBytes(to, bytes.data(), bytes.size());
}

}  // namespace

bool BuildIcons(const std::string& iconDir) {
  bool ok = true;
  const int sizes[] = {16, 24, 32, 48, 64, 128, 256};
  std::vector<std::vector<uint8_t>> pngs;
  for (int size : sizes) {
    const std::string n = std::to_string(size), dir = iconDir + "/hicolor/" + n + "x" + n + "/apps";
    pngs.emplace_back();
    ok = ok && MakeDirs(dir) && WritePng(dir + "/tarnsim.png", PaintIcon(size)) &&
         ReadBytes(dir + "/tarnsim.png", pngs.back());
  }
  // The same pictures as a Windows icon (the program's resource): an icon
  // directory whose entries hold the PNG files whole.
  if (ok) {
    std::vector<uint8_t> ico;
    auto put16 = [&](uint32_t v) { ico.push_back(uint8_t(v)), ico.push_back(uint8_t(v >> 8)); };
    put16(0), put16(1), put16(uint32_t(pngs.size()));
    uint32_t offset = uint32_t(6 + 16 * pngs.size());
    for (size_t i = 0; i < pngs.size(); i++) {
      ico.push_back(uint8_t(sizes[i] & 0xFF));  // 256 is written as 0
      ico.push_back(uint8_t(sizes[i] & 0xFF));
      ico.push_back(0), ico.push_back(0);       // no palette
      put16(1), put16(32);                      // planes, bits a pixel
      Put32(ico, uint32_t(pngs[i].size()));
      Put32(ico, offset);
      offset += uint32_t(pngs[i].size());
    }
    for (const std::vector<uint8_t>& png : pngs) ico.insert(ico.end(), png.begin(), png.end());
    ok = WriteBytes(iconDir + "/tarnsim.ico", ico.data(), ico.size());
  }
  Log("tarn-content: %s \"%s\"\n", ok ? "wrote icons into" : "FAILED writing icons into", iconDir.c_str());
  return ok;
}

bool BuildContent(const std::string& sourceDir, const std::string& outDir, const std::string& fontPath) {
  const std::string models = outDir + "/Models", textures = outDir + "/Textures", shaders = outDir + "/Shaders",
                    fonts = outDir + "/Fonts";
  bool ok = MakeDirs(models) && MakeDirs(textures + "/TarnPlane") && MakeDirs(textures + "/Fonts") &&
            MakeDirs(shaders) && MakeDirs(fonts);
  if (!ok) return false;
  stbi_write_tga_with_rle = 1;

  ok &= WriteModel(models, "PlaneTarn", BuildPlaneModel());
  ok &= WriteModel(models, "DivadiZarov", BuildIslandModel());
  ok &= WriteModel(models, "OpenSea", BuildOpenSeaModel());
  ok &= WriteModel(models, "InvBox", BuildSkyBoxModel());
  ok &= WriteModel(models, "Windsock", BuildWindsockModel());

  ok &= WritePng(textures + "/Island.png", PaintIslandTexture());
  ok &= WritePng(textures + "/Detail.png", PaintDetailTexture());
  ok &= WritePng(textures + "/Windsock.png", PaintWindsockTexture());
  ok &= WritePng(textures + "/TarnPlane/Body.png", PaintBodyTexture());
  ok &= WriteTga(textures + "/TarnPlane/Cockpit.tga", PaintCockpitTexture());
  ok &= WriteCubeDds(textures + "/SkyCube.dds", PaintSkyCube());
  Bitmap atlas;
  ok &= PaintFontAtlas(fontPath.c_str(), atlas) && WritePng(textures + "/Fonts/basic.png", atlas);

  static const char* kShaders[] = {"Default.VSH", "Sky.VSH",      "2SourceAnim.VSH", "Default.PSH",
                                   "Textured.PSH", "Sky.PSH",     "Ballon.PSH",      "font.PSH",
                                   "menu.PSH",    "Ground.VSH",  "Ground.PSH"};
  for (const char* s : kShaders) ok &= CopyFile(sourceDir + "/shaders/" + s, shaders + "/" + s);
  ok &= CopyFile(sourceDir + "/fonts/basic.fnt", fonts + "/basic.fnt");
  // The built-in aircraft, written from the table that reads it, and the
  // hand-written variants beside it.
  const std::string aircraft = outDir + "/Aircraft";
  ok &= MakeDirs(aircraft);
  const std::string tarn = AircraftText(AircraftParams());
  ok &= WriteBytes(aircraft + "/Tarn.ini", tarn.data(), tarn.size());
  for (const char* variant : {"SmallFin.ini", "Glider.ini"})
    ok &= CopyFile(sourceDir + "/aircraft/" + variant, aircraft + "/" + variant);
  Log("tarn-content: %s \"%s\"\n", ok ? "wrote" : "FAILED writing", outDir.c_str());
  return ok;
}

}  // namespace content
