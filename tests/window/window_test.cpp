// The real window on an X server (Xvfb in the test runs): title and class as
// the desktop sees them, the GL context, focus, warping, and real input sent
// through the XTEST extension. Skipped when there is no display.
#include <gtest/gtest.h>

#include <SDL_syswm.h>
#include <dlfcn.h>

#include <algorithm>
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

// Runs a command and returns its output. The X server may refuse a
// connection now and then; such a command fails before doing anything, so it
// is tried again.
std::string Shell(const std::string& command) {
  std::string out;
  for (int attempt = 0; attempt < 5; attempt++) {
    out.clear();
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    if (pclose(p) == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
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
    int32_t width = area_.right - area_.left, height = area_.bottom - area_.top;
    if (smallWindow_) {
      width = std::min(width, 400);
      height = std::min(height, 300);
    }
    ASSERT_TRUE(OpenWindow("Tarn sim", area_.left, area_.top, width, height)) << WindowSystemError();
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(MainSdlWindow(), &info)) << SDL_GetError() << " on " << SDL_GetCurrentVideoDriver();
    ASSERT_EQ(info.subsystem, SDL_SYSWM_X11);
    xid_ = static_cast<unsigned long>(info.info.x11.window);
    PinLoadedLibraries();
  }
  void TearDown() override {
    if (started_) StopWindowSystem();
  }
  bool started_ = false;
  bool smallWindow_ = false;
  WindowRect area_{};
  unsigned long xid_ = 0;
};

// A window that leaves room on the screen for the pointer to be elsewhere.
class SmallRealWindow : public RealWindow {
 protected:
  SmallRealWindow() { smallWindow_ = true; }
};

TEST_F(RealWindow, TitleClassSizeAndContext) {
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
  int depth = 0, stencil = 0;
  SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
  SDL_GL_GetAttribute(SDL_GL_STENCIL_SIZE, &stencil);
  EXPECT_GE(depth, 24);
  EXPECT_GE(stencil, 8);
  EXPECT_EQ(SDL_GL_GetSwapInterval(), 0);
  SwapWindowBuffers();
  EXPECT_TRUE(WindowIsOpen());
}

using Sequence = std::vector<std::pair<uint32_t, uint32_t>>;

// Button and wheel messages with their client position or wheel delta.
Sequence MouseMessages(const std::vector<MSG>& v) {
  Sequence out;
  for (const MSG& m : v) {
    if (m.message == WM_MOUSEWHEEL)
      out.emplace_back(m.message, uint32_t(GET_WHEEL_DELTA_WPARAM(m.wParam)));
    else if (m.message >= WM_LBUTTONDOWN && m.message <= WM_MBUTTONUP)
      out.emplace_back(m.message, uint32_t(GET_X_LPARAM(m.lParam)) << 16 | uint32_t(GET_Y_LPARAM(m.lParam)));
  }
  return out;
}

TEST_F(SmallRealWindow, FocusWarpKeysButtonsWheelAndClose) {
  if (!HaveTool("xdotool")) GTEST_SKIP() << "xdotool missing";
  std::string id = std::to_string(xid_);
  // Other tests may open windows on the same display, and a new window takes
  // the focus when no window manager runs: ours is raised and focused in the
  // same command as each piece of input, and a step that lost the focus on
  // the way is run again.
  const std::string ours = "xdotool windowraise " + id + " windowfocus --sync " + id + " ";
  auto drive = [&](const std::string& input, const Sequence& want,
                   Sequence (*pick)(const std::vector<MSG>&)) {
    Sequence seen;
    for (int attempt = 0; attempt < 4; attempt++) {
      Shell(ours + input);
      std::vector<MSG> all;
      auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
      bool lostFocus = false;
      while (std::chrono::steady_clock::now() < end) {
        MSG m;
        while (PeekWindowMessage(m)) {
          if (m.message == WM_KILLFOCUS) lostFocus = true;
          if (m.message != WM_MOUSEMOVE) all.push_back(m);
        }
        seen = pick(all);
        if (seen == want || lostFocus) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      if (seen == want) return seen;
    }
    return seen;
  };

  Shell(ours);
  auto got = Collect([](const MSG& m) { return m.message == WM_SETFOCUS; });
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back().message, WM_SETFOCUS);
  EXPECT_TRUE(IsForegroundWindow());
  SetCapture();

  // Real key presses: a letter, then Alt+F4 as the system keys Windows sends
  // (xdotool lets go of Alt first, so F4's release is an ordinary key up).
  EXPECT_EQ(drive("key --delay 20 a", {{WM_KEYDOWN, 0x41}, {WM_KEYUP, 0x41}}, KeyMessages),
            (Sequence{{WM_KEYDOWN, 0x41}, {WM_KEYUP, 0x41}}));
  Sequence altF4 = {{WM_SYSKEYDOWN, 0x12}, {WM_SYSKEYDOWN, 0x73}, {WM_SYSKEYUP, 0x12}, {WM_KEYUP, 0x73}};
  EXPECT_EQ(drive("key --delay 20 alt+F4", altF4, KeyMessages), altF4);

  // The right button at a client position, then a notch toward the user.
  Sequence click = {{WM_RBUTTONDOWN, 50u << 16 | 40}, {WM_RBUTTONUP, 50u << 16 | 40}};
  EXPECT_EQ(drive("mousemove --window " + id + " 50 40 click 3", click, MouseMessages), click);
  Sequence wheel = {{WM_MOUSEWHEEL, uint32_t(-120)}};
  EXPECT_EQ(drive("mousemove --window " + id + " 60 40 click 5", wheel, MouseMessages), wheel);

  // Warping, and the cursor read back in client pixels.
  SetCursorClientPos(100, 60);
  int32_t x = 0, y = 0;
  ASSERT_TRUE(GetCursorClientPos(x, y));
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 60);

  // A key held while the focus goes elsewhere stays down for us: its release
  // happens outside the window, and no up message comes.
  Sequence down = {{WM_KEYDOWN, 0x41}};
  ASSERT_EQ(drive("keydown a", down, KeyMessages), down);
  std::string root = Shell("xwininfo -root | sed -n 's/.*Window id: \\(0x[0-9a-f]*\\).*/\\1/p'");
  while (!root.empty() && (root.back() == '\n' || root.back() == ' ')) root.pop_back();
  ASSERT_FALSE(root.empty());
  // The desktop takes the focus, with the pointer over it rather than over
  // the window (a root focus would otherwise pass keys on to the window).
  Shell("xdotool mousemove " + std::to_string(area_.left + 600) + " " + std::to_string(area_.top + 500) +
        " windowfocus --sync " + root);
  got = Collect([](const MSG& m) { return m.message == WM_KILLFOCUS; });
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back().message, WM_KILLFOCUS);
  EXPECT_TRUE(KeyMessages(got).empty());
  EXPECT_FALSE(IsForegroundWindow());
  Shell("xdotool keyup a");
  got = Collect([](const MSG&) { return false; }, 0.3);
  EXPECT_TRUE(KeyMessages(got).empty());

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
