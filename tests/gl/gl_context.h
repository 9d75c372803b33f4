// An OpenGL 3.3 core context for tests, benchmarks and the demo: a hidden
// SDL2 window on the X display (Xvfb in CI), or SDL's offscreen driver when
// there is no display. The device draws into its own back buffer, so the
// window is only there to own the context.
#pragma once
#include <SDL.h>

#include <cstdlib>
#include <string>

// SDL keeps its D-Bus connection's buffers until SDL_Quit; not ours to free.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\n";
}

class GLTestContext {
 public:
  // Null when no GL 3.3 context can be had at all (reason in *why).
  static GLTestContext* Get(std::string* why = nullptr) {
    static GLTestContext* ctx = Create(why);
    return ctx;
  }
  SDL_Window* window = nullptr;
  SDL_GLContext context = nullptr;

 private:
  static GLTestContext* Create(std::string* why) {
    auto* c = new GLTestContext;
    // The context lives until the process ends: closing SDL would unload
    // the GL driver, whose allocations the leak checker could then no
    // longer attribute.
    if (c->Open(nullptr) || c->Open("offscreen")) return c;
    if (why) *why = SDL_GetError();
    delete c;
    return nullptr;
  }
  bool Open(const char* driver) {
    if (driver) setenv("SDL_VIDEODRIVER", driver, 1);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    window = SDL_CreateWindow("tarn gl test", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 64,
                              64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (window) context = SDL_GL_CreateContext(window);
    if (context && SDL_GL_MakeCurrent(window, context) == 0) return true;
    if (context) SDL_GL_DeleteContext(context);
    if (window) SDL_DestroyWindow(window);
    context = nullptr;
    window = nullptr;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
};
