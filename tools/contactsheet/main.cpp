// tarn-contactsheet: renders the built content offscreen into PNG files.
//   tarn-contactsheet [run folder] [output folder]
// The aircraft from four sides, from above and from its cockpit, the island
// from above and from the start meadow, the sky, and the head-up font.
#include <SDL.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "foundation/log.h"
#include "platform/gl/gl_device.h"
#include "platform/gpu/device.h"
#include "tools/contactsheet/contactsheet.h"

namespace {

SDL_Window* OpenContext(const char* driver) {
  if (driver) setenv("SDL_VIDEODRIVER", driver, 1);
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_Window* w = SDL_CreateWindow("tarn contact sheet", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (w && SDL_GL_CreateContext(w)) return w;
  if (w) SDL_DestroyWindow(w);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  std::string run = argc > 1 ? argv[1] : "run";
  std::string out = argc > 2 ? argv[2] : "contactsheet";
  if (out[0] != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) out = std::string(cwd) + "/" + out;
  }
  mkdir(out.c_str(), 0755);
  if (chdir(run.c_str()) != 0) {
    Log("tarn-contactsheet: no run folder \"%s\"\n", run.c_str());
    return 1;
  }
  SDL_Window* window = OpenContext(nullptr);
  if (!window) window = OpenContext("offscreen");
  if (!window) {
    Log("tarn-contactsheet: no OpenGL 3.3 context: %s\n", SDL_GetError());
    return 1;
  }
  if (CreateGLDevice(800, 600, &Device) != D3D_OK) {
    Log("tarn-contactsheet: the OpenGL device could not be created\n");
    return 1;
  }
  using namespace contactsheet;
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
    if (!SaveBackBuffer(path)) {
      Log("tarn-contactsheet: cannot write \"%s\"\n", path.c_str());
      return 1;
    }
    Log("tarn-contactsheet: %s\n", path.c_str());
  }
  (void)plane;
  ReleaseContent(content);
  Device->Release();
  Device = nullptr;
  Log("OpenGL errors: %u\n", GLErrorCount());
  return GLErrorCount() == 0 ? 0 : 1;
}
