// SDL events to Windows messages, as Windows would have sent them to the
// window procedure.
#include <cmath>

#include "platform/window/events.h"

namespace {

constexpr uint32_t VK_MENU_ = 0x12, VK_F10_ = 0x79;

// Keys Windows flags as "extended" in bit 24 of a key message's lParam.
bool IsExtendedKey(SDL_Scancode s) {
  switch (s) {
    case SDL_SCANCODE_RCTRL:
    case SDL_SCANCODE_RALT:
    case SDL_SCANCODE_INSERT:
    case SDL_SCANCODE_DELETE:
    case SDL_SCANCODE_HOME:
    case SDL_SCANCODE_END:
    case SDL_SCANCODE_PAGEUP:
    case SDL_SCANCODE_PAGEDOWN:
    case SDL_SCANCODE_LEFT:
    case SDL_SCANCODE_RIGHT:
    case SDL_SCANCODE_UP:
    case SDL_SCANCODE_DOWN:
    case SDL_SCANCODE_KP_ENTER:
    case SDL_SCANCODE_KP_DIVIDE:
    case SDL_SCANCODE_NUMLOCKCLEAR:
    case SDL_SCANCODE_PRINTSCREEN:
    case SDL_SCANCODE_LGUI:
    case SDL_SCANCODE_RGUI:
    case SDL_SCANCODE_APPLICATION:
      return true;
    default:
      return false;
  }
}

uint32_t ButtonFlag(uint8_t button) {
  switch (button) {
    case SDL_BUTTON_LEFT:
      return MK_LBUTTON;
    case SDL_BUTTON_RIGHT:
      return MK_RBUTTON;
    case SDL_BUTTON_MIDDLE:
      return MK_MBUTTON;
    case SDL_BUTTON_X1:
      return MK_XBUTTON1;
    case SDL_BUTTON_X2:
      return MK_XBUTTON2;
    default:
      return 0;
  }
}

uint32_t MouseFlags(const EventState& state) {
  uint32_t flags = state.buttons;
  if (state.modifiers & KMOD_SHIFT) flags |= MK_SHIFT;
  if (state.modifiers & KMOD_CTRL) flags |= MK_CONTROL;
  return flags;
}

int TranslateKey(const SDL_KeyboardEvent& k, EventState& state, MSG* out) {
  state.modifiers = k.keysym.mod;
  uint32_t vk = VirtualKeyFromSDL(k.keysym.sym, k.keysym.scancode);
  if (vk == 0) return 0;
  bool down = k.state == SDL_PRESSED;
  // Alt held, Alt itself (its own release carries no Alt modifier any more),
  // or F10: Windows makes these system keys, unless Ctrl is held too.
  bool altHeld = (k.keysym.mod & KMOD_ALT) != 0 || vk == VK_MENU_;
  bool ctrlHeld = (k.keysym.mod & KMOD_CTRL) != 0;
  bool system = (altHeld || vk == VK_F10_) && !ctrlHeld;
  uint32_t lParam = KEYMSG_REPEAT_ONE;
  if (IsExtendedKey(k.keysym.scancode)) lParam |= KEYMSG_EXTENDED;
  if (altHeld && system) lParam |= KEYMSG_ALTDOWN;
  if (!down || k.repeat) lParam |= KEYMSG_PREVIOUS;
  if (!down) lParam |= KEYMSG_UP;
  out->message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
  out->wParam = vk;
  out->lParam = intptr_t(uint32_t(lParam));  // a 32-bit value, as Windows passes it
  return 1;
}

int TranslateButton(const SDL_MouseButtonEvent& b, EventState& state, MSG* out) {
  uint32_t flag = ButtonFlag(b.button);
  if (!flag) return 0;
  bool down = b.state == SDL_PRESSED;
  if (down)
    state.buttons |= flag;
  else
    state.buttons &= ~flag;
  uint32_t message;
  uintptr_t extra = 0;
  switch (b.button) {
    case SDL_BUTTON_LEFT:
      message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
      break;
    case SDL_BUTTON_RIGHT:
      message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
      break;
    case SDL_BUTTON_MIDDLE:
      message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
      break;
    default:
      message = down ? WM_XBUTTONDOWN : WM_XBUTTONUP;
      extra = uintptr_t(b.button == SDL_BUTTON_X1 ? 1 : 2) << 16;
      break;
  }
  // The class has no double-click style, so a second click is another down.
  out->message = message;
  out->wParam = MouseFlags(state) | extra;
  out->lParam = MAKELPARAM(b.x, b.y);
  return 1;
}

int TranslateWheel(const SDL_MouseWheelEvent& w, EventState& state, MSG* out) {
  float flip = w.direction == SDL_MOUSEWHEEL_FLIPPED ? -1.0f : 1.0f;
  int n = 0;
  intptr_t where = MAKELPARAM(state.windowX + w.mouseX, state.windowY + w.mouseY);
  // High-resolution wheels report fractions of a notch; Windows passes them
  // on as deltas smaller than 120.
  long dy = std::lround(double(w.preciseY) * flip * WHEEL_DELTA);
  if (dy == 0 && w.y != 0) dy = long(w.y) * long(flip) * WHEEL_DELTA;
  long dx = std::lround(double(w.preciseX) * flip * WHEEL_DELTA);
  if (dx == 0 && w.x != 0) dx = long(w.x) * long(flip) * WHEEL_DELTA;
  if (dy > 32767) dy = 32767;
  if (dy < -32768) dy = -32768;
  if (dx > 32767) dx = 32767;
  if (dx < -32768) dx = -32768;
  if (dy != 0) {
    out[n].message = WM_MOUSEWHEEL;
    out[n].wParam = (uintptr_t(uint16_t(int16_t(dy))) << 16) | MouseFlags(state);
    out[n].lParam = where;
    n++;
  }
  if (dx != 0) {
    out[n].message = WM_MOUSEHWHEEL;
    out[n].wParam = (uintptr_t(uint16_t(int16_t(dx))) << 16) | MouseFlags(state);
    out[n].lParam = where;
    n++;
  }
  return n;
}

int Simple(MSG* out, uint32_t message) {
  out->message = message;
  out->wParam = 0;
  out->lParam = 0;
  return 1;
}

// The window an event belongs to, or 0 for events of the whole program.
uint32_t EventWindow(const SDL_Event& e) {
  switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      return e.key.windowID;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      return e.button.windowID;
    case SDL_MOUSEMOTION:
      return e.motion.windowID;
    case SDL_MOUSEWHEEL:
      return e.wheel.windowID;
    case SDL_WINDOWEVENT:
      return e.window.windowID;
    default:
      return 0;
  }
}

}  // namespace

int TranslateEvent(const SDL_Event& e, EventState& state, MSG out[kMaxMessagesPerEvent]) {
  uint32_t owner = EventWindow(e);
  if (state.windowId != 0 && owner != 0 && owner != state.windowId) return 0;
  switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      return TranslateKey(e.key, state, out);
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      return TranslateButton(e.button, state, out);
    case SDL_MOUSEMOTION:
      state.buttons &= ~(MK_LBUTTON | MK_RBUTTON | MK_MBUTTON | MK_XBUTTON1 | MK_XBUTTON2);
      if (e.motion.state & SDL_BUTTON_LMASK) state.buttons |= MK_LBUTTON;
      if (e.motion.state & SDL_BUTTON_RMASK) state.buttons |= MK_RBUTTON;
      if (e.motion.state & SDL_BUTTON_MMASK) state.buttons |= MK_MBUTTON;
      if (e.motion.state & SDL_BUTTON_X1MASK) state.buttons |= MK_XBUTTON1;
      if (e.motion.state & SDL_BUTTON_X2MASK) state.buttons |= MK_XBUTTON2;
      out->message = WM_MOUSEMOVE;
      out->wParam = MouseFlags(state);
      out->lParam = MAKELPARAM(e.motion.x, e.motion.y);
      return 1;
    case SDL_MOUSEWHEEL:
      return TranslateWheel(e.wheel, state, out);
    case SDL_WINDOWEVENT:
      switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
          return Simple(out, WM_CLOSE);
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          return Simple(out, WM_SETFOCUS);
        case SDL_WINDOWEVENT_FOCUS_LOST:
          // Keys released elsewhere never reach us, as on Windows.
          state.buttons = 0;
          return Simple(out, WM_KILLFOCUS);
        case SDL_WINDOWEVENT_MOVED:
          state.windowX = e.window.data1;
          state.windowY = e.window.data2;
          return 0;
        default:
          return 0;
      }
    case SDL_QUIT:
      // The system asks the program to end (the last window closed, or a
      // terminal's interrupt): the window gets a close request.
      return Simple(out, WM_CLOSE);
    default:
      return 0;
  }
}
