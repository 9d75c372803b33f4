// SDL keys to virtual-key codes and SDL events to window messages on
// hand-made events, and the queue driven through SDL's own event queue.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/window/events.h"

namespace {

SDL_Event Plain(uint32_t type) {
  SDL_Event e{};
  e.type = type;
  return e;
}

SDL_Event Key(bool down, SDL_Keycode key, SDL_Scancode sc, uint16_t mod = 0, uint8_t repeat = 0) {
  SDL_Event e{};
  e.key = {uint32_t(down ? SDL_KEYDOWN : SDL_KEYUP), 0, 0, uint8_t(down ? SDL_PRESSED : SDL_RELEASED), repeat, 0, 0,
           {sc, key, mod, 0}};
  return e;
}

SDL_Event Button(bool down, uint8_t button, int x, int y) {
  SDL_Event e{};
  e.button = {uint32_t(down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP), 0, 0, 0, button,
              uint8_t(down ? SDL_PRESSED : SDL_RELEASED), 1, 0, x, y};
  return e;
}

// A vertical (and optionally horizontal) wheel event at a client position.
SDL_Event Wheel(float y, float x = 0, int mouseX = 0, int mouseY = 0, uint32_t direction = SDL_MOUSEWHEEL_NORMAL) {
  SDL_Event e{};
  e.wheel = {SDL_MOUSEWHEEL, 0, 0, 0, int(x), int(y), direction, x, y, mouseX, mouseY};
  return e;
}

SDL_Event WindowEvent(uint8_t what) {
  SDL_Event e = Plain(SDL_WINDOWEVENT);
  e.window.event = what;
  return e;
}

// Every SDL key the program can see maps to the code Windows gives the same key.
TEST(KeyTable, LettersDigitsNamedKeysLayoutsAndUnknownKeys) {
  for (int i = 0; i < 26; i++)
    EXPECT_EQ(VirtualKeyFromSDL(SDLK_a + i, SDL_Scancode(SDL_SCANCODE_A + i)), 0x41u + i) << char('a' + i);
  // Digit 0 sits after 9 in SDL's scancodes but before 1 in Windows' codes.
  EXPECT_EQ(VirtualKeyFromSDL(SDLK_0, SDL_SCANCODE_0), 0x30u);
  EXPECT_EQ(VirtualKeyFromSDL(SDLK_9, SDL_SCANCODE_9), 0x39u);
  // SDL's non-character keycodes carry their scancode. F13 is not contiguous
  // with F12 in SDL; both sides of a modifier give the one shared code; comma,
  // period and Delete read as raw numbers would be VK_SNAPSHOT, VK_DELETE, VK_F16.
  const std::pair<SDL_Keycode, uint32_t> named[] = {
      {SDLK_LEFT, 0x25},  {SDLK_UP, 0x26},    {SDLK_RIGHT, 0x27},    {SDLK_DOWN, 0x28},   {SDLK_SPACE, 0x20},
      {SDLK_ESCAPE, 0x1B}, {SDLK_RETURN, 0x0D}, {SDLK_TAB, 0x09},    {SDLK_BACKSPACE, 0x08}, {SDLK_INSERT, 0x2D},
      {SDLK_HOME, 0x24},  {SDLK_END, 0x23},   {SDLK_PAGEUP, 0x21},   {SDLK_PAGEDOWN, 0x22}, {SDLK_F1, 0x70},
      {SDLK_F12, 0x7B},   {SDLK_F13, 0x7C},   {SDLK_KP_ENTER, 0x0D}, {SDLK_LSHIFT, 0x10}, {SDLK_RSHIFT, 0x10},
      {SDLK_LCTRL, 0x11}, {SDLK_RCTRL, 0x11}, {SDLK_LALT, 0x12},     {SDLK_RALT, 0x12},   {SDLK_PAUSE, 0x13},
      {SDLK_COMMA, 0xBC}, {SDLK_PERIOD, 0xBE}, {SDLK_DELETE, 0x2E},  {SDLK_KP_1, 0x61}};
  for (const auto& k : named) {
    SDL_Scancode sc =
        (k.first & SDLK_SCANCODE_MASK) ? SDL_Scancode(k.first & ~SDLK_SCANCODE_MASK) : SDL_SCANCODE_UNKNOWN;
    EXPECT_EQ(VirtualKeyFromSDL(k.first, sc), k.second) << SDL_GetKeyName(k.first);
  }
  // AZERTY digit row: the keycode is '&', the key is still VK '1'. A letter
  // that SDL reports as a non-Latin symbol falls back to its place; a German
  // sharp s in the minus position reads as VK_OEM_MINUS.
  EXPECT_EQ(VirtualKeyFromSDL(SDLK_AMPERSAND, SDL_SCANCODE_1), 0x31u);
  EXPECT_EQ(VirtualKeyFromSDL(0x430 /* Cyrillic a */, SDL_SCANCODE_F), 0x46u);
  EXPECT_EQ(VirtualKeyFromSDL(0xDF, SDL_SCANCODE_MINUS), 0xBDu);
  // Keys with no Windows code produce nothing.
  EXPECT_EQ(VirtualKeyFromSDL(SDLK_UNKNOWN, SDL_SCANCODE_UNKNOWN), 0u);
  EXPECT_EQ(VirtualKeyFromSDL(SDLK_BRIGHTNESSUP, SDL_SCANCODE_BRIGHTNESSUP), 0u);
}

std::vector<MSG> Translate(const SDL_Event& e, EventState& state) {
  MSG out[kMaxMessagesPerEvent];
  int n = TranslateEvent(e, state, out);
  return std::vector<MSG>(out, out + n);
}

TEST(EventTranslation, OneStateThroughMouseWindowAndKeyEvents) {
  const uint32_t kOne = KEYMSG_REPEAT_ONE, kWas = KEYMSG_PREVIOUS | KEYMSG_UP;
  const uintptr_t held = MK_LBUTTON | MK_XBUTTON2;
  auto wheel = [](int delta, uintptr_t flags) { return uintptr_t(uint16_t(int16_t(delta))) << 16 | flags; };
  SDL_Event motion = Plain(SDL_MOUSEMOTION);
  motion.motion.x = 640;
  motion.motion.y = 400;
  motion.motion.state = SDL_BUTTON_LMASK;
  const struct {
    SDL_Event event;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
  } rows[] = {
      {Button(true, SDL_BUTTON_RIGHT, 12, 34), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(12, 34)},
      {Button(true, SDL_BUTTON_LEFT, 1, 2), WM_LBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, MAKELPARAM(1, 2)},
      {Button(false, SDL_BUTTON_RIGHT, 1, 2), WM_RBUTTONUP, MK_LBUTTON, MAKELPARAM(1, 2)},
      {Button(true, SDL_BUTTON_X2, 1, 2), WM_XBUTTONDOWN, 2u << 16 | MK_LBUTTON | MK_XBUTTON2, MAKELPARAM(1, 2)},
      // Wheel: one notch away from the user is +120, at screen coordinates
      // (the client origin is at 100, 50); fine wheels give less.
      {Wheel(1, 0, 5, 6), WM_MOUSEWHEEL, wheel(120, held), MAKELPARAM(105, 56)},
      {Wheel(0.25f), WM_MOUSEWHEEL, wheel(30, held), MAKELPARAM(100, 50)},
      {Wheel(2, 0, 0, 0, SDL_MOUSEWHEEL_FLIPPED), WM_MOUSEWHEEL, wheel(-240, held), MAKELPARAM(100, 50)},
      {motion, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(640, 400)},
      {WindowEvent(SDL_WINDOWEVENT_CLOSE), WM_CLOSE, 0, 0},
      {WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED), WM_SETFOCUS, 0, 0},
      {WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST), WM_KILLFOCUS, 0, 0},
      {Wheel(-1), WM_MOUSEWHEEL, wheel(-120, 0), MAKELPARAM(100, 50)},  // losing the focus let go of the buttons
      {Plain(SDL_QUIT), WM_CLOSE, 0, 0},
      // Keys: auto-repeat is another key down; the release marks the key as
      // down before. Alt (its own release carries no Alt modifier), keys with
      // Alt held and F10 alone are system keys, unless Ctrl is held too.
      {Key(true, SDLK_z, SDL_SCANCODE_Z), WM_KEYDOWN, 0x5A, kOne},
      {Key(true, SDLK_z, SDL_SCANCODE_Z, 0, 1), WM_KEYDOWN, 0x5A, kOne | KEYMSG_PREVIOUS},
      {Key(false, SDLK_z, SDL_SCANCODE_Z), WM_KEYUP, 0x5A, kOne | kWas},
      {Key(true, SDLK_DELETE, SDL_SCANCODE_DELETE), WM_KEYDOWN, 0x2E, kOne | KEYMSG_EXTENDED},
      {Key(true, SDLK_LALT, SDL_SCANCODE_LALT, KMOD_LALT), WM_SYSKEYDOWN, 0x12, kOne | KEYMSG_ALTDOWN},
      {Key(true, SDLK_F4, SDL_SCANCODE_F4, KMOD_LALT), WM_SYSKEYDOWN, 0x73, kOne | KEYMSG_ALTDOWN},
      {Key(false, SDLK_LALT, SDL_SCANCODE_LALT), WM_SYSKEYUP, 0x12, kOne | KEYMSG_ALTDOWN | kWas},
      {Key(true, SDLK_F10, SDL_SCANCODE_F10), WM_SYSKEYDOWN, 0x79, kOne},
      {Key(true, SDLK_F4, SDL_SCANCODE_F4, KMOD_LALT | KMOD_LCTRL), WM_KEYDOWN, 0x73, kOne},
  };
  EventState st;
  st.windowX = 100;
  st.windowY = 50;
  for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
    auto v = Translate(rows[i].event, st);
    ASSERT_EQ(v.size(), 1u) << "row " << i;
    EXPECT_EQ(v[0].message, rows[i].message) << "row " << i;
    EXPECT_EQ(v[0].wParam, rows[i].wParam) << "row " << i;
    EXPECT_EQ(v[0].lParam, rows[i].lParam) << "row " << i;
  }

  // Nothing for keys without a virtual-key code or a wheel that did not turn.
  EXPECT_TRUE(Translate(Key(true, SDLK_BRIGHTNESSUP, SDL_SCANCODE_BRIGHTNESSUP), st).empty());
  EXPECT_TRUE(Translate(Wheel(0), st).empty());
  // Once the window is known, other windows' events are not its business;
  // the program's quit belongs to no window.
  st.windowId = 7;
  SDL_Event other = WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED), key = Key(true, SDLK_a, SDL_SCANCODE_A);
  other.window.windowID = key.key.windowID = 8;
  EXPECT_TRUE(Translate(other, st).empty());
  EXPECT_TRUE(Translate(key, st).empty());
  other.window.windowID = 7;
  EXPECT_EQ(Translate(other, st).size(), 1u);
  EXPECT_EQ(Translate(Plain(SDL_QUIT), st).size(), 1u);
}

// The queue itself, fed through SDL's event queue. Runs on SDL's dummy video
// driver so no display is needed.
class MessageQueue : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("SDL_VIDEODRIVER");
    oldDriver_ = old ? old : "";
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_TRUE(StartWindowSystem("Rariroz class")) << WindowSystemError();
  }
  void TearDown() override {
    StopWindowSystem();
    if (oldDriver_.empty()) unsetenv("SDL_VIDEODRIVER");
    else setenv("SDL_VIDEODRIVER", oldDriver_.c_str(), 1);
  }
  static void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
  // The next message and its wParam.
  static std::pair<uint32_t, uintptr_t> Next() {
    MSG m{WM_NULL, 0, 0};
    EXPECT_TRUE(PeekWindowMessage(m));
    return {m.message, m.wParam};
  }
  using Sent = std::pair<uint32_t, uintptr_t>;
  std::string oldDriver_;
};

TEST_F(MessageQueue, InputPostedMessagesQuitAndDestroy) {
  MSG m;
  EXPECT_FALSE(PeekWindowMessage(m));  // never waits

  Push(Key(true, SDLK_w, SDL_SCANCODE_W));
  Push(Wheel(-2, 1));
  Push(Button(true, SDL_BUTTON_RIGHT, 3, 4));
  EXPECT_EQ(Next(), Sent(WM_KEYDOWN, 0x57));
  EXPECT_EQ(Next(), Sent(WM_MOUSEWHEEL, uintptr_t(uint16_t(-240)) << 16));
  // A posted message goes ahead of input still waiting, and so does the
  // quit request; both come out once.
  PostWindowMessage(WM_CLOSE, 0, 0);
  PostQuitMessage(3);
  EXPECT_EQ(Next(), Sent(WM_CLOSE, 0));
  EXPECT_EQ(Next(), Sent(WM_QUIT, 3));
  EXPECT_EQ(Next(), Sent(WM_MOUSEHWHEEL, 120u << 16));  // the rest of the wheel event
  ASSERT_TRUE(PeekWindowMessage(m));
  EXPECT_EQ(m.message, WM_RBUTTONDOWN);
  EXPECT_EQ(m.lParam, MAKELPARAM(3, 4));
  EXPECT_FALSE(PeekWindowMessage(m));

  // The close box, then the system's quit: the default handling of WM_CLOSE
  // destroys the window, and a destroyed window hears nothing more.
  Push(WindowEvent(SDL_WINDOWEVENT_CLOSE));
  Push(Plain(SDL_QUIT));
  ASSERT_EQ(Next(), Sent(WM_CLOSE, 0));
  EXPECT_EQ(DefWindowProc(WM_CLOSE, 0, 0), 0);
  EXPECT_EQ(Next(), Sent(WM_DESTROY, 0));
  PostQuitMessage(0);
  EXPECT_EQ(Next(), Sent(WM_QUIT, 0));
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
