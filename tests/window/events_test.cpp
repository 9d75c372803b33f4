// SDL events to window messages: the translation on hand-made events, and
// the queue driven through SDL's own event queue.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/window/events.h"

namespace {

SDL_Event Key(bool down, SDL_Keycode key, SDL_Scancode sc, uint16_t mod = 0, uint8_t repeat = 0) {
  SDL_Event e{};
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.key.repeat = repeat;
  e.key.keysym.sym = key;
  e.key.keysym.scancode = sc;
  e.key.keysym.mod = mod;
  return e;
}

SDL_Event Button(bool down, uint8_t button, int x, int y, uint8_t clicks = 1) {
  SDL_Event e{};
  e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.button.button = button;
  e.button.clicks = clicks;
  e.button.x = x;
  e.button.y = y;
  return e;
}

SDL_Event Wheel(float y, int mouseX = 0, int mouseY = 0, uint32_t direction = SDL_MOUSEWHEEL_NORMAL) {
  SDL_Event e{};
  e.type = SDL_MOUSEWHEEL;
  e.wheel.y = int(y);
  e.wheel.preciseY = y;
  e.wheel.direction = direction;
  e.wheel.mouseX = mouseX;
  e.wheel.mouseY = mouseY;
  return e;
}

SDL_Event WindowEvent(uint8_t what) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = what;
  return e;
}

std::vector<MSG> Translate(const SDL_Event& e, EventState& state) {
  MSG out[kMaxMessagesPerEvent];
  int n = TranslateEvent(e, state, out);
  return std::vector<MSG>(out, out + n);
}

MSG One(const SDL_Event& e, EventState& state) {
  auto v = Translate(e, state);
  EXPECT_EQ(v.size(), 1u);
  return v.empty() ? MSG{WM_NULL, 0, 0} : v[0];
}

TEST(EventTranslation, KeysWithRepeatAndRelease) {
  EventState st;
  MSG m = One(Key(true, SDLK_z, SDL_SCANCODE_Z), st);
  EXPECT_EQ(m.message, WM_KEYDOWN);
  EXPECT_EQ(m.wParam, 0x5Au);
  EXPECT_EQ(uint32_t(m.lParam), 1u);  // repeat count 1, first press
  m = One(Key(true, SDLK_z, SDL_SCANCODE_Z, 0, 1), st);
  EXPECT_EQ(m.message, WM_KEYDOWN);  // auto-repeat is another key down
  EXPECT_EQ(uint32_t(m.lParam), 1u | KEYMSG_PREVIOUS);
  m = One(Key(false, SDLK_z, SDL_SCANCODE_Z), st);
  EXPECT_EQ(m.message, WM_KEYUP);
  EXPECT_EQ(m.wParam, 0x5Au);
  EXPECT_EQ(uint32_t(m.lParam), 1u | KEYMSG_PREVIOUS | KEYMSG_UP);

  m = One(Key(true, SDLK_DELETE, SDL_SCANCODE_DELETE), st);
  EXPECT_EQ(m.wParam, 0x2Eu);
  EXPECT_TRUE(uint32_t(m.lParam) & KEYMSG_EXTENDED);
  // Shift and Ctrl are ordinary keys.
  m = One(Key(true, SDLK_RSHIFT, SDL_SCANCODE_RSHIFT, KMOD_RSHIFT), st);
  EXPECT_EQ(m.message, WM_KEYDOWN);
  EXPECT_EQ(m.wParam, 0x10u);
  // Keys without a virtual-key code say nothing.
  EXPECT_TRUE(Translate(Key(true, SDLK_BRIGHTNESSUP, SDL_SCANCODE_BRIGHTNESSUP), st).empty());
}

TEST(EventTranslation, AltAndF10AreSystemKeys) {
  EventState st;
  // Alt down, F4 with Alt held, Alt up (its own release has no Alt modifier).
  MSG m = One(Key(true, SDLK_LALT, SDL_SCANCODE_LALT, KMOD_LALT), st);
  EXPECT_EQ(m.message, WM_SYSKEYDOWN);
  EXPECT_EQ(m.wParam, 0x12u);
  EXPECT_TRUE(uint32_t(m.lParam) & KEYMSG_ALTDOWN);
  m = One(Key(true, SDLK_F4, SDL_SCANCODE_F4, KMOD_LALT), st);
  EXPECT_EQ(m.message, WM_SYSKEYDOWN);
  EXPECT_EQ(m.wParam, 0x73u);
  m = One(Key(false, SDLK_LALT, SDL_SCANCODE_LALT, 0), st);
  EXPECT_EQ(m.message, WM_SYSKEYUP);
  EXPECT_EQ(m.wParam, 0x12u);
  // F10 alone is a system key; a letter without Alt is not.
  m = One(Key(true, SDLK_F10, SDL_SCANCODE_F10), st);
  EXPECT_EQ(m.message, WM_SYSKEYDOWN);
  EXPECT_EQ(m.wParam, 0x79u);
  EXPECT_FALSE(uint32_t(m.lParam) & KEYMSG_ALTDOWN);
  // With Ctrl held, Alt combinations are ordinary keys (Ctrl+Alt+F4 does not close).
  m = One(Key(true, SDLK_F4, SDL_SCANCODE_F4, KMOD_LALT | KMOD_LCTRL), st);
  EXPECT_EQ(m.message, WM_KEYDOWN);
  EXPECT_EQ(m.wParam, 0x73u);
}

TEST(EventTranslation, MouseButtonsWheelAndMotion) {
  EventState st;
  st.windowX = 100;
  st.windowY = 50;
  MSG m = One(Button(true, SDL_BUTTON_RIGHT, 12, 34), st);
  EXPECT_EQ(m.message, WM_RBUTTONDOWN);
  EXPECT_EQ(m.wParam, MK_RBUTTON);
  EXPECT_EQ(GET_X_LPARAM(m.lParam), 12);
  EXPECT_EQ(GET_Y_LPARAM(m.lParam), 34);
  m = One(Button(true, SDL_BUTTON_LEFT, 1, 2, 2), st);  // a double click is just another down
  EXPECT_EQ(m.message, WM_LBUTTONDOWN);
  EXPECT_EQ(m.wParam, MK_LBUTTON | MK_RBUTTON);
  m = One(Button(false, SDL_BUTTON_RIGHT, 1, 2), st);
  EXPECT_EQ(m.message, WM_RBUTTONUP);
  EXPECT_EQ(m.wParam, MK_LBUTTON);
  EXPECT_EQ(One(Button(false, SDL_BUTTON_LEFT, 1, 2), st).message, WM_LBUTTONUP);
  m = One(Button(true, SDL_BUTTON_X2, 1, 2), st);
  EXPECT_EQ(m.message, WM_XBUTTONDOWN);
  EXPECT_EQ(m.wParam >> 16, 2u);
  One(Button(false, SDL_BUTTON_X2, 1, 2), st);

  // One notch away from the user: +120 in the high word; screen coordinates.
  m = One(Wheel(1, 5, 6), st);
  EXPECT_EQ(m.message, WM_MOUSEWHEEL);
  EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(m.wParam), 120);
  EXPECT_EQ(GET_X_LPARAM(m.lParam), 105);
  EXPECT_EQ(GET_Y_LPARAM(m.lParam), 56);
  EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(One(Wheel(0.25f), st).wParam), 30);  // a fine wheel
  EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(One(Wheel(2, 0, 0, SDL_MOUSEWHEEL_FLIPPED), st).wParam), -240);
  EXPECT_TRUE(Translate(Wheel(0), st).empty());
  // Horizontal and vertical at once: two messages.
  SDL_Event both = Wheel(1);
  both.wheel.x = -1;
  both.wheel.preciseX = -1;
  auto v = Translate(both, st);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0].message, WM_MOUSEWHEEL);
  EXPECT_EQ(v[1].message, WM_MOUSEHWHEEL);
  EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(v[1].wParam), -120);

  SDL_Event motion{};
  motion.type = SDL_MOUSEMOTION;
  motion.motion.x = 640;
  motion.motion.y = 400;
  motion.motion.state = SDL_BUTTON_LMASK;
  m = One(motion, st);
  EXPECT_EQ(m.message, WM_MOUSEMOVE);
  EXPECT_EQ(m.wParam, MK_LBUTTON);
  EXPECT_EQ(GET_X_LPARAM(m.lParam), 640);
  EXPECT_EQ(GET_Y_LPARAM(m.lParam), 400);
}

TEST(EventTranslation, WindowEventsAndQuit) {
  EventState st;
  EXPECT_EQ(One(WindowEvent(SDL_WINDOWEVENT_CLOSE), st).message, WM_CLOSE);
  EXPECT_EQ(One(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED), st).message, WM_SETFOCUS);
  st.buttons = MK_RBUTTON;
  EXPECT_EQ(One(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST), st).message, WM_KILLFOCUS);
  EXPECT_EQ(st.buttons, 0u);
  SDL_Event moved = WindowEvent(SDL_WINDOWEVENT_MOVED);
  moved.window.data1 = 30;
  moved.window.data2 = 40;
  EXPECT_TRUE(Translate(moved, st).empty());
  EXPECT_EQ(st.windowX, 30);
  EXPECT_EQ(st.windowY, 40);
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  EXPECT_EQ(One(quit, st).message, WM_CLOSE);

  // Once the window is known, other windows' events are not its business.
  st.windowId = 7;
  SDL_Event other = WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
  other.window.windowID = 8;
  EXPECT_TRUE(Translate(other, st).empty());
  other.window.windowID = 7;
  EXPECT_EQ(One(other, st).message, WM_SETFOCUS);
  SDL_Event key = Key(true, SDLK_a, SDL_SCANCODE_A);
  key.key.windowID = 8;
  EXPECT_TRUE(Translate(key, st).empty());
  EXPECT_EQ(One(quit, st).message, WM_CLOSE);  // the program's quit belongs to no window
}

// The queue itself, fed through SDL's event queue. Runs on SDL's dummy video
// driver so no display is needed.
class MessageQueue : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("SDL_VIDEODRIVER");
    hadDriver_ = old != nullptr;
    if (old) oldDriver_ = old;
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_TRUE(StartWindowSystem("Rariroz class")) << WindowSystemError();
  }
  void TearDown() override {
    StopWindowSystem();
    if (hadDriver_)
      setenv("SDL_VIDEODRIVER", oldDriver_.c_str(), 1);
    else
      unsetenv("SDL_VIDEODRIVER");
  }
  static void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
  static MSG Next() {
    MSG m{WM_NULL, 0, 0};
    EXPECT_TRUE(PeekWindowMessage(m));
    return m;
  }

 private:
  bool hadDriver_ = false;
  std::string oldDriver_;
};

TEST_F(MessageQueue, InputPostedMessagesQuitAndDestroy) {
  MSG m;
  EXPECT_FALSE(PeekWindowMessage(m));  // never waits

  Push(Key(true, SDLK_w, SDL_SCANCODE_W));
  Push(Key(true, SDLK_F4, SDL_SCANCODE_F4, KMOD_LALT));
  SDL_Event both = Wheel(-2);
  both.wheel.x = 1;
  both.wheel.preciseX = 1;
  Push(both);
  Push(Button(true, SDL_BUTTON_RIGHT, 3, 4));

  m = Next();
  EXPECT_EQ(m.message, WM_KEYDOWN);
  EXPECT_EQ(m.wParam, 0x57u);
  m = Next();
  EXPECT_EQ(m.message, WM_SYSKEYDOWN);
  EXPECT_EQ(m.wParam, 0x73u);

  // A posted message goes ahead of input still waiting, and so does the
  // quit request; both come out once.
  m = Next();
  EXPECT_EQ(m.message, WM_MOUSEWHEEL);
  EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(m.wParam), -240);
  PostWindowMessage(WM_CLOSE, 0, 0);
  PostQuitMessage(3);
  EXPECT_EQ(Next().message, WM_CLOSE);
  m = Next();
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 3u);
  m = Next();
  EXPECT_EQ(m.message, WM_MOUSEHWHEEL);  // the rest of the wheel event
  m = Next();
  EXPECT_EQ(m.message, WM_RBUTTONDOWN);
  EXPECT_EQ(GET_X_LPARAM(m.lParam), 3);
  EXPECT_FALSE(PeekWindowMessage(m));

  // The close box, then the system's quit: the default handling of WM_CLOSE
  // destroys the window, and a destroyed window hears nothing more.
  Push(WindowEvent(SDL_WINDOWEVENT_CLOSE));
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  Push(quit);
  m = Next();
  ASSERT_EQ(m.message, WM_CLOSE);
  EXPECT_EQ(DefWindowProc(m.message, m.wParam, m.lParam), 0);
  EXPECT_EQ(Next().message, WM_DESTROY);
  PostQuitMessage(0);
  m = Next();
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 0u);
  Push(Key(true, SDLK_a, SDL_SCANCODE_A));
  EXPECT_FALSE(PeekWindowMessage(m));
  EXPECT_FALSE(WindowIsOpen());
  EXPECT_EQ(DefWindowProc(WM_KEYDOWN, 0x41, 0), 0);  // anything else: nothing
}

TEST_F(MessageQueue, CursorShowCounterKeepsWindowsCount) {
  EXPECT_EQ(ShowCursor(false), -1);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  EXPECT_EQ(ShowCursor(false), -2);
  EXPECT_EQ(ShowCursor(true), -1);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);  // still hidden: counter below 0
  EXPECT_EQ(ShowCursor(true), 0);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
  // No window yet: nothing is in front and the cursor has no client position.
  EXPECT_FALSE(IsForegroundWindow());
  int32_t x = 5, y = 5;
  EXPECT_FALSE(GetCursorClientPos(x, y));
}

}  // namespace
