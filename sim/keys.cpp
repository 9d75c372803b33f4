#include "sim/keys.h"

uint8_t KeyState[256];
int32_t WheelNotches = 0;
bool WheelMoved = false;
void (*KeyMessageListener)(uint32_t code, bool down) = nullptr;

uint8_t KeyBinding[256];

void ResetKeyBindings() {
  for (int i = 0; i < 256; i++) KeyBinding[i] = uint8_t(i);
  // Laptop keyboards have no Pause key.
  KeyBinding['P'] = VK_PAUSE;
}

namespace {
// The table is in force before main() runs: tests and tools need no set-up.
const bool kBindingsReady = (ResetKeyBindings(), true);
}  // namespace

void PressKey(uint32_t code) {
  uint8_t& b = KeyState[code & 0xFF];
  if ((b & 63) < 63) b = uint8_t(b + 1);
  b = uint8_t((b ^ 0xC0) | 0x80);
  if (KeyMessageListener != nullptr) KeyMessageListener(code & 0xFF, true);
}

void ReleaseKey(uint32_t code) {
  KeyState[code & 0xFF] &= 0x7F;
  if (KeyMessageListener != nullptr) KeyMessageListener(code & 0xFF, false);
}

bool ConsumePresses(uint32_t code) {
  uint8_t& b = KeyState[code & 0xFF];
  bool pressed = (b & 63) != 0;
  b &= 0xC0;
  return pressed;
}
