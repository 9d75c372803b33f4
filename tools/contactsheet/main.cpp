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
  bool ok = contactsheet::TakeShots(out, ReadGLBackBuffer);
  Device->Release();
  Device = nullptr;
  Log("OpenGL errors: %u\n", GLErrorCount());
  return ok && GLErrorCount() == 0 ? 0 : 1;
}
