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

TEST(KeyTable, LettersDigitsAndFunctionKeys) {
  for (int i = 0; i < 26; i++) {
    SDL_Keycode key = SDLK_a + i;
    SDL_Scancode sc = SDL_Scancode(SDL_SCANCODE_A + i);
    EXPECT_EQ(VirtualKeyFromSDL(key, sc), 0x41u + i) << char('a' + i);
  }
  for (int i = 0; i < 10; i++) {
    SDL_Scancode sc = i == 0 ? SDL_SCANCODE_0 : SDL_Scancode(SDL_SCANCODE_1 + i - 1);
    EXPECT_EQ(VirtualKeyFromSDL(SDLK_0 + i, sc), 0x30u + i) << i;
  }
  for (int i = 0; i < 12; i++) {
    SDL_Keycode key = SDLK_F1 + i;  // F1..F12 are contiguous in SDL too
    EXPECT_EQ(VkOf(key), 0x70u + i) << "F" << i + 1;
  }
  EXPECT_EQ(VkOf(SDLK_F13), 0x7Cu);
  EXPECT_EQ(VkOf(SDLK_F24), 0x87u);
  for (int i = 0; i < 10; i++) EXPECT_EQ(VkOf(i == 0 ? SDLK_KP_0 : SDLK_KP_1 + i - 1), 0x60u + i);
}

TEST(KeyTable, NamedKeysAndModifiers) {
  EXPECT_EQ(VkOf(SDLK_LEFT), 0x25u);
  EXPECT_EQ(VkOf(SDLK_UP), 0x26u);
  EXPECT_EQ(VkOf(SDLK_RIGHT), 0x27u);
  EXPECT_EQ(VkOf(SDLK_DOWN), 0x28u);
  EXPECT_EQ(VkOf(SDLK_SPACE), 0x20u);
  EXPECT_EQ(VkOf(SDLK_ESCAPE), 0x1Bu);
  EXPECT_EQ(VkOf(SDLK_PAUSE), 0x13u);
  EXPECT_EQ(VkOf(SDLK_RETURN), 0x0Du);
  EXPECT_EQ(VkOf(SDLK_KP_ENTER), 0x0Du);
  EXPECT_EQ(VkOf(SDLK_TAB), 0x09u);
  EXPECT_EQ(VkOf(SDLK_BACKSPACE), 0x08u);
  EXPECT_EQ(VkOf(SDLK_INSERT), 0x2Du);
  EXPECT_EQ(VkOf(SDLK_HOME), 0x24u);
  EXPECT_EQ(VkOf(SDLK_END), 0x23u);
  EXPECT_EQ(VkOf(SDLK_PAGEUP), 0x21u);
  EXPECT_EQ(VkOf(SDLK_PAGEDOWN), 0x22u);
  for (SDL_Keycode k : {SDLK_LSHIFT, SDLK_RSHIFT}) EXPECT_EQ(VkOf(k), 0x10u);
  for (SDL_Keycode k : {SDLK_LCTRL, SDLK_RCTRL}) EXPECT_EQ(VkOf(k), 0x11u);
  for (SDL_Keycode k : {SDLK_LALT, SDLK_RALT}) EXPECT_EQ(VkOf(k), 0x12u);
  EXPECT_EQ(VkOf(SDLK_KP_MULTIPLY), 0x6Au);
  EXPECT_EQ(VkOf(SDLK_KP_PLUS), 0x6Bu);
  EXPECT_EQ(VkOf(SDLK_KP_MINUS), 0x6Du);
  EXPECT_EQ(VkOf(SDLK_KP_PERIOD), 0x6Eu);
  EXPECT_EQ(VkOf(SDLK_KP_DIVIDE), 0x6Fu);
  EXPECT_EQ(VkOf(SDLK_SEMICOLON), 0xBAu);
  EXPECT_EQ(VkOf(SDLK_EQUALS), 0xBBu);
  EXPECT_EQ(VkOf(SDLK_SLASH), 0xBFu);
  EXPECT_EQ(VkOf(SDLK_BACKQUOTE), 0xC0u);
  EXPECT_EQ(VkOf(SDLK_LEFTBRACKET), 0xDBu);
  EXPECT_EQ(VkOf(SDLK_BACKSLASH), 0xDCu);
  EXPECT_EQ(VkOf(SDLK_RIGHTBRACKET), 0xDDu);
  EXPECT_EQ(VkOf(SDLK_QUOTE), 0xDEu);
}

TEST(KeyTable, SdlCodesThatAreOtherKeysVirtualCodes) {
  // Read as virtual-key numbers these would be VK_NUMPAD1, VK_SNAPSHOT,
  // VK_INSERT, VK_DELETE and VK_F16.
  EXPECT_EQ(VkOf(SDLK_a), 0x41u);
  EXPECT_EQ(VkOf(SDLK_COMMA), 0xBCu);
  EXPECT_EQ(VkOf(SDLK_MINUS), 0xBDu);
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
