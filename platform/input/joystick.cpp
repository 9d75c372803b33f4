#include "platform/input/joystick.h"

#include <SDL.h>

#include <cstring>

#include "foundation/log.h"

static_assert(kControllerAxisCount == SDL_CONTROLLER_AXIS_MAX, "standard axes");
static_assert(kControllerButtonCount == SDL_CONTROLLER_BUTTON_MAX, "standard buttons");

namespace {

struct OpenDevice {
  SDL_Joystick* joystick;
  SDL_GameController* controller;  // null for a plain joystick
};

bool gStarted = false;
std::vector<OpenDevice> gOpen;               // parallel to gReadings
std::vector<JoystickReading> gReadings;

void Open(int deviceIndex) {
  OpenDevice d = {nullptr, nullptr};
  if (SDL_IsGameController(deviceIndex)) {
    d.controller = SDL_GameControllerOpen(deviceIndex);
    if (d.controller) d.joystick = SDL_GameControllerGetJoystick(d.controller);
  }
  if (!d.joystick) d.joystick = SDL_JoystickOpen(deviceIndex);
  if (!d.joystick) {
    Log("Joystick %d cannot be opened: %s\n", deviceIndex, SDL_GetError());
    return;
  }
  JoystickReading r;
  r.id = SDL_JoystickInstanceID(d.joystick);
  const char* name = d.controller ? SDL_GameControllerName(d.controller) : SDL_JoystickName(d.joystick);
  r.name = name ? name : "(no name)";
  char guid[33] = {};
  SDL_JoystickGetGUIDString(SDL_JoystickGetGUID(d.joystick), guid, sizeof guid);
  r.guid = guid;
  r.controller = d.controller != nullptr;
  int axes = SDL_JoystickNumAxes(d.joystick), buttons = SDL_JoystickNumButtons(d.joystick);
  r.axes.assign(axes > 0 ? size_t(axes) : 0, 0.0);
  r.buttons.assign(buttons > 0 ? size_t(buttons) : 0, 0);
  Log("Joystick %d connected: \"%s\", %d axes, %d buttons, %s, GUID %s\n", int(r.id), r.name.c_str(),
      axes, buttons, r.controller ? "game controller" : "plain joystick", guid);
  gOpen.push_back(d);
  gReadings.push_back(r);
}

void Close(size_t i) {
  Log("Joystick %d disconnected: \"%s\"\n", int(gReadings[i].id), gReadings[i].name.c_str());
  if (gOpen[i].controller)
    SDL_GameControllerClose(gOpen[i].controller);
  else
    SDL_JoystickClose(gOpen[i].joystick);
  gOpen.erase(gOpen.begin() + long(i));
  gReadings.erase(gReadings.begin() + long(i));
}

void Read(const OpenDevice& d, JoystickReading& r) {
  for (size_t a = 0; a < r.axes.size(); a++) r.axes[a] = AxisFromRaw(SDL_JoystickGetAxis(d.joystick, int(a)));
  for (size_t b = 0; b < r.buttons.size(); b++) r.buttons[b] = SDL_JoystickGetButton(d.joystick, int(b)) ? 1 : 0;
  if (!d.controller) return;
  for (int a = 0; a < kControllerAxisCount; a++)
    r.controllerAxes[a] = AxisFromRaw(SDL_GameControllerGetAxis(d.controller, SDL_GameControllerAxis(a)));
  for (int b = 0; b < kControllerButtonCount; b++)
    r.controllerButtons[b] = SDL_GameControllerGetButton(d.controller, SDL_GameControllerButton(b)) ? 1 : 0;
}

bool SameNoCase(const std::string& a, const char* b) {
  return b && a.size() == std::strlen(b) && SDL_strncasecmp(a.c_str(), b, a.size()) == 0;
}

}  // namespace

bool StartJoysticks() {
  if (gStarted) return true;
  // The pilot may have another window in front while flying from the stick.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) != 0) {
    Log("Joysticks are not available: %s\n", SDL_GetError());
    return false;
  }
  // Devices are polled once per frame; their events would only fill the queue.
  SDL_JoystickEventState(SDL_IGNORE);
  SDL_GameControllerEventState(SDL_IGNORE);
  gStarted = true;
  return true;
}

void StopJoysticks() {
  if (!gStarted) return;
  while (!gReadings.empty()) Close(gReadings.size() - 1);
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
  gStarted = false;
}

const std::vector<JoystickReading>& UpdateJoysticks() {
  if (!gStarted) return gReadings;
  // Reads the devices and looks for arrivals and removals.
  SDL_JoystickUpdate();
  for (size_t i = gOpen.size(); i-- > 0;)
    if (!SDL_JoystickGetAttached(gOpen[i].joystick)) Close(i);
  int count = SDL_NumJoysticks();
  for (int i = 0; i < count; i++) {
    SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(i);
    bool known = false;
    for (const JoystickReading& r : gReadings) known = known || r.id == id;
    if (!known && id >= 0) Open(i);
  }
  for (size_t i = 0; i < gOpen.size(); i++) Read(gOpen[i], gReadings[i]);
  return gReadings;
}

const std::vector<JoystickReading>& Joysticks() { return gReadings; }

int ControllerAxisFromName(const std::string& name) {
  for (int a = 0; a < kControllerAxisCount; a++)
    if (SameNoCase(name, SDL_GameControllerGetStringForAxis(SDL_GameControllerAxis(a)))) return a;
  return -1;
}

int ControllerButtonFromName(const std::string& name) {
  for (int b = 0; b < kControllerButtonCount; b++)
    if (SameNoCase(name, SDL_GameControllerGetStringForButton(SDL_GameControllerButton(b)))) return b;
  return -1;
}

const char* ControllerAxisName(int axis) {
  const char* name = SDL_GameControllerGetStringForAxis(SDL_GameControllerAxis(axis));
  return axis >= 0 && axis < kControllerAxisCount && name ? name : "";
}

const char* ControllerButtonName(int button) {
  const char* name = SDL_GameControllerGetStringForButton(SDL_GameControllerButton(button));
  return button >= 0 && button < kControllerButtonCount && name ? name : "";
}
