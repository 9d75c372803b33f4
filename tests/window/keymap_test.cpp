// The key table: every SDL key the program can see maps to the virtual-key
// code Windows gives the same key.
#include <gtest/gtest.h>

#include "platform/window/events.h"

namespace {

// SDL's non-character keycodes carry their scancode; character keys are
// looked up by keycode alone here.
uint32_t VkOf(SDL_Keycode key) {
  SDL_Scancode sc = (key & SDLK_SCANCODE_MASK) ? SDL_Scancode(key & ~SDLK_SCANCODE_MASK) : SDL_SCANCODE_UNKNOWN;
  return VirtualKeyFromSDL(key, sc);
}

TEST(KeyTable, LettersDigitsFunctionNamedKeysAndSdlCodesThatLookLikeOthers) {
  for (int i = 0; i < 26; i++) {
    SDL_Keycode key = SDLK_a + i;
    SDL_Scancode sc = SDL_Scancode(SDL_SCANCODE_A + i);
    EXPECT_EQ(VirtualKeyFromSDL(key, sc), 0x41u + i) << char('a' + i);
  }
  // Digit 0 sits after 9 in SDL's scancodes but before 1 in Windows' codes.
  EXPECT_EQ(VirtualKeyFromSDL(SDLK_0, SDL_SCANCODE_0), 0x30u);
  EXPECT_EQ(VirtualKeyFromSDL(SDLK_9, SDL_SCANCODE_9), 0x39u);
  EXPECT_EQ(VkOf(SDLK_F12), 0x7Bu);
  EXPECT_EQ(VkOf(SDLK_F13), 0x7Cu);  // not contiguous with F12 in SDL
  EXPECT_EQ(VkOf(SDLK_KP_ENTER), 0x0Du);
  // Both sides of a modifier give the one shared code.
  for (SDL_Keycode k : {SDLK_LSHIFT, SDLK_RSHIFT}) EXPECT_EQ(VkOf(k), 0x10u);
  for (SDL_Keycode k : {SDLK_LCTRL, SDLK_RCTRL}) EXPECT_EQ(VkOf(k), 0x11u);
  for (SDL_Keycode k : {SDLK_LALT, SDLK_RALT}) EXPECT_EQ(VkOf(k), 0x12u);
  EXPECT_EQ(VkOf(SDLK_PAUSE), 0x13u);

  // Read as virtual-key numbers these would be VK_SNAPSHOT, VK_DELETE and VK_F16.
  EXPECT_EQ(VkOf(SDLK_COMMA), 0xBCu);
  EXPECT_EQ(VkOf(SDLK_PERIOD), 0xBEu);
  EXPECT_EQ(VkOf(SDLK_DELETE), 0x2Eu);
  // And the reverse: SDL's keypad and function codes are far from Windows'.
  EXPECT_NE(VkOf(SDLK_KP_1), uint32_t(SDLK_KP_1 & 0xFF));
}

TEST(KeyTable, LayoutsAndUnknownKeys) {
  // AZERTY digit row: the keycode is '&', the key is still VK '1'.
  EXPECT_EQ(VirtualKeyFromSDL(SDLK_AMPERSAND, SDL_SCANCODE_1), 0x31u);
  // A letter that SDL reports as a non-Latin symbol falls back to its place.
  EXPECT_EQ(VirtualKeyFromSDL(0x430 /* Cyrillic a */, SDL_SCANCODE_F), 0x46u);
  // A German sharp s in the minus position reads as VK_OEM_MINUS.
  EXPECT_EQ(VirtualKeyFromSDL(0xDF, SDL_SCANCODE_MINUS), 0xBDu);
  // Keys with no Windows code produce nothing.
  EXPECT_EQ(VirtualKeyFromSDL(SDLK_UNKNOWN, SDL_SCANCODE_UNKNOWN), 0u);
  EXPECT_EQ(VirtualKeyFromSDL(SDLK_BRIGHTNESSUP, SDL_SCANCODE_BRIGHTNESSUP), 0u);
}

}  // namespace
