// The real window on an X server (Xvfb in the test runs): focus, and real
// input sent through the XTEST extension. (Title, class, size and the GL
// context show in the end-to-end run.) Skipped when there is no display.
#include <gtest/gtest.h>

#include <SDL_syswm.h>
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/window/events.h"

// SDL keeps a D-Bus connection whose buffers D-Bus never frees.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

namespace {

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

using Sequence = std::vector<std::pair<uint32_t, uint32_t>>;

// Takes messages for up to `seconds` until `done` says the collection is
// complete: message and wParam, or a button's client position; no mouse moves.
Sequence Collect(double seconds, const std::function<bool(const Sequence&)>& done) {
  Sequence got;
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    MSG m;
    while (PeekWindowMessage(m)) {
      if (m.message == WM_MOUSEMOVE) continue;
      bool button = m.message >= WM_LBUTTONDOWN && m.message <= WM_MBUTTONUP;
      got.emplace_back(m.message, button ? uint32_t(GET_X_LPARAM(m.lParam)) << 16 | uint32_t(GET_Y_LPARAM(m.lParam))
                                         : uint32_t(m.wParam));
      if (done(got)) return got;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return got;
}

class RealWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    const char *display = std::getenv("DISPLAY"), *driver = std::getenv("SDL_VIDEODRIVER");
    if (!display || !*display || (driver && std::string(driver) != "x11")) GTEST_SKIP() << "no X display";
    if (Shell("for t in xdotool xwininfo; do command -v $t; done | wc -l") != "2\n")
      GTEST_SKIP() << "xdotool or xwininfo missing";
    ASSERT_TRUE(StartWindowSystem("Rariroz class")) << WindowSystemError();
    started_ = true;
    // Small, so that the pointer can be elsewhere on the screen.
    ASSERT_TRUE(OpenWindow("Tarn sim", 0, 0, 400, 300)) << WindowSystemError();
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(MainSdlWindow(), &info)) << SDL_GetError();
    ASSERT_EQ(info.subsystem, SDL_SYSWM_X11);
    id_ = std::to_string(static_cast<unsigned long>(info.info.x11.window));
    // The GL driver is unloaded when the window system stops, taking with it
    // the globals that still point at its allocations; pinned, the leak
    // checker sees them as reachable, as they are.
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
      size_t slash = line.find('/');
      if (slash != std::string::npos && line.find(".so", slash) != std::string::npos)
        dlopen(line.c_str() + slash, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    }
  }
  void TearDown() override {
    if (started_) StopWindowSystem();
  }
  bool started_ = false;
  std::string id_;
};

TEST_F(RealWindow, FocusKeysButtonsFocusLossAndClose) {
  // Other tests may open windows on the same display, and a new window takes
  // the focus when no window manager runs: ours is raised and focused in the
  // same command as each piece of input, and a step that lost the focus on
  // the way is run again.
  const std::string ours = "xdotool windowraise " + id_ + " windowfocus --sync " + id_ + " ";
  auto drive = [&](const std::string& input, const Sequence& want) {
    Sequence seen;
    for (int attempt = 0; attempt < 4 && seen != want; attempt++) {
      Shell(ours + input);
      bool lost = false;
      seen.clear();
      Collect(3, [&](const Sequence& s) {
        lost = lost || s.back().first == WM_KILLFOCUS;
        if (s.back().first != WM_KILLFOCUS && s.back().first != WM_SETFOCUS) seen.push_back(s.back());
        return lost || seen == want;
      });
    }
    return seen;
  };
  auto isFocus = [](const Sequence& s) { return !s.empty() && s.back().first == WM_SETFOCUS; };
  Shell(ours);
  EXPECT_TRUE(isFocus(Collect(5, isFocus)));
  EXPECT_TRUE(IsForegroundWindow());
  SetCapture();

  // A real key press, and the right button at a client position.
  Sequence key = {{WM_KEYDOWN, 0x41}, {WM_KEYUP, 0x41}};
  EXPECT_EQ(drive("key --delay 20 a", key), key);
  Sequence click = {{WM_RBUTTONDOWN, 50u << 16 | 40}, {WM_RBUTTONUP, 50u << 16 | 40}};
  EXPECT_EQ(drive("mousemove --window " + id_ + " 50 40 click 3", click), click);

  // A key held while the focus goes elsewhere stays down for us: its release
  // happens outside the window, and no up message comes.
  Sequence down = {{WM_KEYDOWN, 0x41}};
  ASSERT_EQ(drive("keydown a", down), down);
  std::string root = Shell("xwininfo -root | sed -n 's/.*Window id: \\(0x[0-9a-f]*\\).*/\\1/p'");
  while (!root.empty() && (root.back() == '\n' || root.back() == ' ')) root.pop_back();
  ASSERT_FALSE(root.empty());
  // The desktop takes the focus, with the pointer over it rather than over
  // the window (a root focus would otherwise pass keys on to the window).
  Shell("xdotool mousemove 600 500 windowfocus --sync " + root);
  Sequence lost = {{WM_KILLFOCUS, 0}};
  EXPECT_EQ(Collect(5, [](const Sequence& s) { return s.back().first == WM_KILLFOCUS; }), lost);
  EXPECT_FALSE(IsForegroundWindow());
  Shell("xdotool keyup a");
  EXPECT_TRUE(Collect(0.3, [](const Sequence&) { return false; }).empty());

  // Closing: WM_CLOSE's default handling destroys the window.
  EXPECT_EQ(DefWindowProc(WM_CLOSE, 0, 0), 0);
  Sequence destroyed = {{WM_DESTROY, 0}};
  EXPECT_EQ(Collect(5, [](const Sequence&) { return true; }), destroyed);
  EXPECT_FALSE(WindowIsOpen());
  EXPECT_FALSE(IsForegroundWindow());
  SwapWindowBuffers();  // harmless once destroyed
}

}  // namespace
