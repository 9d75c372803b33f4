// SDL keys to Windows virtual-key codes. An explicit table: SDL's letter
// keycodes are lower-case ASCII, and several of its codes are other keys'
// virtual-key numbers ('a' 0x61 is VK_NUMPAD1, ',' 0x2C VK_SNAPSHOT,
// '-' 0x2D VK_INSERT, '.' 0x2E VK_DELETE, SDLK_DELETE 0x7F is VK_F16).
#include "platform/window/events.h"

namespace {

struct KeyEntry {
  SDL_Keycode key;
  uint32_t vk;
};

const KeyEntry kByKeycode[] = {
    {SDLK_BACKSPACE, 0x08},   {SDLK_TAB, 0x09},        {SDLK_CLEAR, 0x0C},
    {SDLK_RETURN, 0x0D},      {SDLK_KP_ENTER, 0x0D},   {SDLK_RETURN2, 0x0D},
    {SDLK_LSHIFT, 0x10},      {SDLK_RSHIFT, 0x10},     {SDLK_LCTRL, 0x11},
    {SDLK_RCTRL, 0x11},       {SDLK_LALT, 0x12},       {SDLK_RALT, 0x12},
    {SDLK_PAUSE, 0x13},       {SDLK_CAPSLOCK, 0x14},   {SDLK_ESCAPE, 0x1B},
    {SDLK_SPACE, 0x20},       {SDLK_PAGEUP, 0x21},     {SDLK_PAGEDOWN, 0x22},
    {SDLK_END, 0x23},         {SDLK_HOME, 0x24},       {SDLK_LEFT, 0x25},
    {SDLK_UP, 0x26},          {SDLK_RIGHT, 0x27},      {SDLK_DOWN, 0x28},
    {SDLK_SELECT, 0x29},      {SDLK_EXECUTE, 0x2B},    {SDLK_PRINTSCREEN, 0x2C},
    {SDLK_INSERT, 0x2D},      {SDLK_DELETE, 0x2E},     {SDLK_HELP, 0x2F},
    {SDLK_LGUI, 0x5B},        {SDLK_RGUI, 0x5C},       {SDLK_APPLICATION, 0x5D},
    {SDLK_SLEEP, 0x5F},       {SDLK_KP_0, 0x60},       {SDLK_KP_1, 0x61},
    {SDLK_KP_2, 0x62},        {SDLK_KP_3, 0x63},       {SDLK_KP_4, 0x64},
    {SDLK_KP_5, 0x65},        {SDLK_KP_6, 0x66},       {SDLK_KP_7, 0x67},
    {SDLK_KP_8, 0x68},        {SDLK_KP_9, 0x69},       {SDLK_KP_MULTIPLY, 0x6A},
    {SDLK_KP_PLUS, 0x6B},     {SDLK_KP_MINUS, 0x6D},   {SDLK_KP_PERIOD, 0x6E},
    {SDLK_KP_DECIMAL, 0x6E},  {SDLK_KP_DIVIDE, 0x6F},  {SDLK_NUMLOCKCLEAR, 0x90},
    {SDLK_SCROLLLOCK, 0x91},  {SDLK_SEMICOLON, 0xBA},  {SDLK_EQUALS, 0xBB},
    {SDLK_PLUS, 0xBB},        {SDLK_COMMA, 0xBC},      {SDLK_MINUS, 0xBD},
    {SDLK_PERIOD, 0xBE},      {SDLK_SLASH, 0xBF},      {SDLK_BACKQUOTE, 0xC0},
    {SDLK_LEFTBRACKET, 0xDB}, {SDLK_BACKSLASH, 0xDC},  {SDLK_RIGHTBRACKET, 0xDD},
    {SDLK_QUOTE, 0xDE},       {SDLK_AUDIOMUTE, 0xAD},  {SDLK_VOLUMEDOWN, 0xAE},
    {SDLK_VOLUMEUP, 0xAF},    {SDLK_AUDIONEXT, 0xB0},  {SDLK_AUDIOPREV, 0xB1},
    {SDLK_AUDIOSTOP, 0xB2},   {SDLK_AUDIOPLAY, 0xB3},
};

// By position, for keys whose symbol on this layout has no entry above
// (non-Latin letters, accented keys): what the key means on a US keyboard.
struct ScanEntry {
  SDL_Scancode scancode;
  uint32_t vk;
};
const ScanEntry kByScancode[] = {
    {SDL_SCANCODE_MINUS, 0xBD},        {SDL_SCANCODE_EQUALS, 0xBB},
    {SDL_SCANCODE_LEFTBRACKET, 0xDB},  {SDL_SCANCODE_RIGHTBRACKET, 0xDD},
    {SDL_SCANCODE_BACKSLASH, 0xDC},    {SDL_SCANCODE_NONUSHASH, 0xDC},
    {SDL_SCANCODE_SEMICOLON, 0xBA},    {SDL_SCANCODE_APOSTROPHE, 0xDE},
    {SDL_SCANCODE_GRAVE, 0xC0},        {SDL_SCANCODE_COMMA, 0xBC},
    {SDL_SCANCODE_PERIOD, 0xBE},       {SDL_SCANCODE_SLASH, 0xBF},
    {SDL_SCANCODE_NONUSBACKSLASH, 0xE2},
};

}  // namespace

uint32_t VirtualKeyFromSDL(SDL_Keycode key, SDL_Scancode scancode) {
  // The digit row is VK '0'-'9' on every layout, shifted symbols or not.
  if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9)
    return 0x31 + uint32_t(scancode - SDL_SCANCODE_1);
  if (scancode == SDL_SCANCODE_0) return 0x30;
  if (key >= SDLK_a && key <= SDLK_z) return 0x41 + uint32_t(key - SDLK_a);
  if (key >= SDLK_0 && key <= SDLK_9) return 0x30 + uint32_t(key - SDLK_0);
  if (key >= SDLK_F1 && key <= SDLK_F12) return 0x70 + uint32_t(key - SDLK_F1);
  if (key >= SDLK_F13 && key <= SDLK_F24) return 0x7C + uint32_t(key - SDLK_F13);
  for (const KeyEntry& e : kByKeycode)
    if (e.key == key) return e.vk;
  // Letters of a non-Latin layout: the letter printed at that place on a US keyboard.
  if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z)
    return 0x41 + uint32_t(scancode - SDL_SCANCODE_A);
  for (const ScanEntry& e : kByScancode)
    if (e.scancode == scancode) return e.vk;
  return 0;
}

uint32_t VirtualKeyFromKeyName(const char* name) {
  if (!name || !*name) return 0;
  SDL_Keycode key = SDL_GetKeyFromName(StandardKeyName(name).c_str());
  if (key == SDLK_UNKNOWN) return 0;
  return VirtualKeyFromSDL(key, SDL_GetScancodeFromKey(key));
}

uint32_t VirtualKeyAtPlace(char letter) {
  if (letter < 'A' || letter > 'Z') return 0;
  SDL_Scancode place = SDL_Scancode(SDL_SCANCODE_A + (letter - 'A'));
  return VirtualKeyFromSDL(SDL_GetKeyFromScancode(place), place);
}
