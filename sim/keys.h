// The key table: one byte per Windows virtual-key code. Bit 7 held, bit 6
// flips on every press, bits 0-5 count presses not yet consumed (up to 63).
// Codes 1, 2 and 4 are the left, right and middle mouse buttons.
#pragma once
#include <cstdint>

extern uint8_t KeyState[256];
extern int32_t WheelNotches;  // last wheel movement, whole notches
extern bool WheelMoved;       // a wheel message came since the last input pass

void PressKey(uint32_t code);    // a down message (auto-repeats included)
void ReleaseKey(uint32_t code);  // an up message: clears the held bit
// Told every down and up message the table takes, whatever its source (the
// keyboard, stick buttons, a replayed flight); a flight recorder listens here.
extern void (*KeyMessageListener)(uint32_t code, bool down);

// Key rebinding: the code under which a key's messages enter the table, by the
// key's own code; 0: the key does nothing. Every key stands for itself, except
// that P is entered as Pause, until the settings say otherwise.
extern uint8_t KeyBinding[256];
void ResetKeyBindings();

// Takes the unconsumed presses of a key: true when there was at least one.
bool ConsumePresses(uint32_t code);
inline bool KeyHeld(uint32_t code) { return (KeyState[code & 0xFF] & 0x80) != 0; }

// Windows virtual-key codes used by the program.
enum : uint32_t {
  VK_LBUTTON = 0x01, VK_RBUTTON = 0x02, VK_MBUTTON = 0x04,
  VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D,
  VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12, VK_PAUSE = 0x13,
  VK_ESCAPE = 0x1B, VK_SPACE = 0x20,
  VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24,
  VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28,
  VK_INSERT = 0x2D, VK_DELETE = 0x2E,
  VK_F1 = 0x70, VK_F2 = 0x71, VK_F3 = 0x72, VK_F4 = 0x73, VK_F5 = 0x74, VK_F6 = 0x75, VK_F7 = 0x76,
  VK_F8 = 0x77, VK_F10 = 0x79, VK_F11 = 0x7A, VK_F12 = 0x7B,
};
