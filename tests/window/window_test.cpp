// The real window on an X server (Xvfb in the test runs): title and class as
// the desktop sees them, the GL context, focus, warping, and real input sent
// through the XTEST extension. Skipped when there is no display.
#include <gtest/gtest.h>

#include <SDL_syswm.h>
#include <dlfcn.h>

#include <chrono>
#include <fstream>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/window/events.h"

// SDL keeps a D-Bus connection whose buffers D-Bus never frees.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

namespace {

// The GL driver is unloaded when the window system stops, taking with it the
// globals that still point at its allocations; pinned, the leak checker sees
// them as reachable, as they are.
void PinLoadedLibraries() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    size_t slash = line.find('/');
    if (slash != std::string::npos && line.find(".so", slash) != std::string::npos)
      dlopen(line.c_str() + slash, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
  }
}

std::string Shell(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

bool HaveTool(const char* name) { return !Shell(std::string("command -v ") + name).empty(); }

// Takes messages until `until` matches one or the time is up; mouse moves are
// left out of the collection.
std::vector<MSG> Collect(const std::function<bool(const MSG&)>& until, double seconds = 5) {
  std::vector<MSG> got;
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    MSG m;
    while (PeekWindowMessage(m)) {
      if (m.message == WM_MOUSEMOVE) continue;
      got.push_back(m);
      if (until(m)) return got;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return got;
}

std::vector<std::pair<uint32_t, uint32_t>> KeyMessages(const std::vector<MSG>& v) {
  std::vector<std::pair<uint32_t, uint32_t>> keys;
  for (const MSG& m : v)
    if (m.message >= WM_KEYDOWN && m.message <= WM_SYSKEYUP) keys.emplace_back(m.message, uint32_t(m.wParam));
  return keys;
}

class RealWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "no X display";
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (driver && std::string(driver) != "x11") GTEST_SKIP() << "video driver " << driver;
    ASSERT_TRUE(StartWindowSystem("Rariroz class")) << WindowSystemError();
    started_ = true;
    ASSERT_TRUE(GetWorkArea(area_)) << WindowSystemError();
    ASSERT_TRUE(OpenWindow("Tarn sim", area_.left, area_.top, area_.right - area_.left,
                           area_.bottom - area_.top))
        << WindowSystemError();
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(MainSdlWindow(), &info));
    ASSERT_EQ(info.subsystem, SDL_SYSWM_X11);
    xid_ = static_cast<unsigned long>(info.info.x11.window);
    PinLoadedLibraries();
  }
  void TearDown() override {
    if (started_) StopWindowSystem();
  }
  bool started_ = false;
  WindowRect area_{};
  unsigned long xid_ = 0;
};

TEST_F(RealWindow, TitleClassSizeAndContext) {
  EXPECT_GT(area_.right - area_.left, 0);
  EXPECT_GT(area_.bottom - area_.top, 0);
  if (!HaveTool("xprop")) GTEST_SKIP() << "xprop missing";
  std::string props = Shell("xprop -id " + std::to_string(xid_) + " WM_CLASS WM_NAME _NET_WM_NAME");
  EXPECT_NE(props.find("\"Rariroz class\""), std::string::npos) << props;
  EXPECT_NE(props.find("\"Tarn sim\""), std::string::npos) << props;
  // Not resizable: the size hints pin the size.
  std::string hints = Shell("xprop -id " + std::to_string(xid_) + " WM_NORMAL_HINTS");
  EXPECT_NE(hints.find("minimum size"), std::string::npos) << hints;
  EXPECT_NE(hints.find("maximum size"), std::string::npos) << hints;

  // The outer window covers the work area: client = area - frame.
  int32_t fw = -1, fh = -1, cw = 0, ch = 0;
  GetWindowFrameSize(fw, fh);
  GetClientSize(cw, ch);
  EXPECT_GE(fw, 0);
  EXPECT_GE(fh, 0);
  EXPECT_EQ(cw + fw, area_.right - area_.left);
  EXPECT_EQ(ch + fh, area_.bottom - area_.top);

  // OpenGL 3.3 core or later, 24-bit depth, 8-bit stencil, no vertical sync.
  using GetString = const unsigned char* (*)(unsigned);
  using GetIntegerv = void (*)(unsigned, int*);
  auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
  auto getIntegerv = reinterpret_cast<GetIntegerv>(SDL_GL_GetProcAddress("glGetIntegerv"));
  ASSERT_TRUE(getString && getIntegerv);
  int major = 0, minor = 0, profile = 0;
  getIntegerv(0x821B /* GL_MAJOR_VERSION */, &major);
  getIntegerv(0x821C /* GL_MINOR_VERSION */, &minor);
  getIntegerv(0x9126 /* GL_CONTEXT_PROFILE_MASK */, &profile);
  EXPECT_GE(major * 10 + minor, 33) << getString(0x1F02 /* GL_VERSION */);
  EXPECT_TRUE(profile & 1) << "core profile";
  int depth = 0, stencil = 0, doubleBuffer = 0;
  SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
  SDL_GL_GetAttribute(SDL_GL_STENCIL_SIZE, &stencil);
  SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &doubleBuffer);
  EXPECT_GE(depth, 24);
  EXPECT_GE(stencil, 8);
  EXPECT_EQ(doubleBuffer, 1);
  EXPECT_EQ(SDL_GL_GetSwapInterval(), 0);
  SwapWindowBuffers();
  EXPECT_TRUE(WindowIsOpen());
}

TEST_F(RealWindow, FocusWarpKeysButtonsWheelAndClose) {
  if (!HaveTool("xdotool")) GTEST_SKIP() << "xdotool missing";
  std::string id = std::to_string(xid_);
  // Other tests may open windows on the same display: raise and focus ours
  // in the same command as each piece of input.
  const std::string ours = "xdotool windowraise " + id + " windowfocus --sync " + id + " ";
  Shell(ours);
  auto got = Collect([](const MSG& m) { return m.message == WM_SETFOCUS; });
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back().message, WM_SETFOCUS);
  EXPECT_TRUE(IsForegroundWindow());
  SetCapture();

  // Warping, and the cursor read back in client pixels, also outside the client area.
  SetCursorClientPos(100, 60);
  int32_t x = 0, y = 0;
  ASSERT_TRUE(GetCursorClientPos(x, y));
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 60);
  int32_t cw = 0, ch = 0;
  GetClientSize(cw, ch);
  if (area_.left > 0 || area_.top > 0) {
    Shell("xdotool mousemove 0 0");
    ASSERT_TRUE(GetCursorClientPos(x, y));
    EXPECT_LT(x, 1);
  }

  // Real key presses: a letter, then Alt+F4 as the system keys Windows sends.
  Shell(ours + "key --delay 20 a");
  got = Collect([](const MSG& m) { return m.message == WM_KEYUP; });
  auto keys = KeyMessages(got);
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0], std::make_pair(uint32_t(WM_KEYDOWN), 0x41u));
  EXPECT_EQ(keys[1], std::make_pair(uint32_t(WM_KEYUP), 0x41u));
  // xdotool lets go of Alt first, so F4's release is an ordinary key up.
  Shell(ours + "key --delay 20 alt+F4");
  got = Collect([](const MSG& m) { return m.message == WM_KEYUP && m.wParam == 0x73; });
  keys = KeyMessages(got);
  std::string seen;
  for (auto& k : keys) seen += std::to_string(k.first) + ":" + std::to_string(k.second) + " ";
  ASSERT_EQ(keys.size(), 4u) << seen;
  EXPECT_EQ(keys[0], std::make_pair(uint32_t(WM_SYSKEYDOWN), 0x12u));
  EXPECT_EQ(keys[1], std::make_pair(uint32_t(WM_SYSKEYDOWN), 0x73u));
  EXPECT_EQ(keys[2], std::make_pair(uint32_t(WM_SYSKEYUP), 0x12u));
  EXPECT_EQ(keys[3], std::make_pair(uint32_t(WM_KEYUP), 0x73u));

  // The right button at a client position, then a notch toward the user.
  Shell(ours + "mousemove --window " + id + " 50 40 click 3");
  got = Collect([](const MSG& m) { return m.message == WM_RBUTTONUP; });
  ASSERT_GE(got.size(), 2u);
  EXPECT_EQ(got[got.size() - 2].message, WM_RBUTTONDOWN);
  EXPECT_EQ(GET_X_LPARAM(got[got.size() - 2].lParam), 50);
  EXPECT_EQ(GET_Y_LPARAM(got[got.size() - 2].lParam), 40);
  Shell(ours + "mousemove --window " + id + " 60 40 click 5");
  got = Collect([](const MSG& m) { return m.message == WM_MOUSEWHEEL; });
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back().message, WM_MOUSEWHEEL);
  EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(got.back().wParam), -120);

  // Closing: WM_CLOSE's default handling destroys the window.
  EXPECT_EQ(DefWindowProc(WM_CLOSE, 0, 0), 0);
  got = Collect([](const MSG& m) { return m.message == WM_DESTROY; });
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back().message, WM_DESTROY);
  EXPECT_FALSE(WindowIsOpen());
  EXPECT_FALSE(IsForegroundWindow());
  SwapWindowBuffers();  // harmless once destroyed
}

}  // namespace
