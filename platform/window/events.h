// Inside the window layer (and its tests): SDL events to Windows messages.
// Kept free of SDL state so it can be driven with hand-made events.
#pragma once
#include <SDL.h>

#include "platform/window/window.h"

// Windows virtual-key code for a key, by meaning: keycode first (letters
// follow the keyboard layout, as on Windows), then the key's position for
// the digit row and keys whose symbol has no code of its own. 0: no code,
// and the key produces no message.
uint32_t VirtualKeyFromSDL(SDL_Keycode key, SDL_Scancode scancode);

// What the translation keeps between events.
struct EventState {
  uint32_t windowId = 0;   // events of other windows are ignored; 0: take all
  uint32_t buttons = 0;    // MK_ button flags held
  uint16_t modifiers = 0;  // SDL_Keymod of the last key event
  int32_t windowX = 0, windowY = 0;  // client origin on the screen (wheel messages)
};

// Turns one event into at most kMaxMessagesPerEvent messages; returns how
// many. Events with no Windows counterpart give none.
constexpr int kMaxMessagesPerEvent = 2;
int TranslateEvent(const SDL_Event& event, EventState& state, MSG out[kMaxMessagesPerEvent]);

// The SDL window behind the main window (tests read its X11 id).
SDL_Window* MainSdlWindow();
