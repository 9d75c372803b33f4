#include "sim/keys.h"

uint8_t KeyState[256];
int32_t WheelNotches = 0;
bool WheelMoved = false;

void PressKey(uint32_t code) {
  uint8_t& b = KeyState[code & 0xFF];
  if ((b & 63) < 63) b = uint8_t(b + 1);
  b = uint8_t((b ^ 0xC0) | 0x80);
}

void ReleaseKey(uint32_t code) { KeyState[code & 0xFF] &= 0x7F; }

bool ConsumePresses(uint32_t code) {
  uint8_t& b = KeyState[code & 0xFF];
  bool pressed = (b & 63) != 0;
  b &= 0xC0;
  return pressed;
}
