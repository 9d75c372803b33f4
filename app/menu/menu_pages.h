// The menu's pages and what they share with the menu's frame (menu.cpp).
// Private to app/menu.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/menu/settings_edit.h"

void MenuPagesOpened();
void MenuPagesClosed();
// What a key's "Set key" button does: the next key pressed binds to action.
void BeginKeyBinding(int action);
// What a recorded flight's "Replay" button does: between frames the flight
// is loaded, the menu closes and the replay starts with the next frame.
void ChooseFlightToReplay(const std::string& path);
// What the calibration's "Use and save" does: the axes fly and are written.
struct AxisSettings;
void UseCalibration(const AxisSettings& pitch, const AxisSettings& roll);
// A key pressed while a page waits for one (binding a key): true when taken.
bool MenuPagesTakeKey(uint32_t code);
// Between frames while open: stick buttons being bound, calibration readings.
void MenuPagesInputPass();
// The menu's window for this ImGui frame; false when the pilot closed it.
bool DrawMenuPages();

// The Aircraft page's Apply: the values fly from the scene reset (the way
// the file's live reload takes them). False when they cannot be built.
namespace content { struct AircraftParams; }
bool ApplyMenuAircraft(const content::AircraftParams& params);

// The Display page's change from `before` to `after` (its [display] and
// [field] values): in force at once (anti-aliasing from the next start) and
// saved, only the values that differ.
struct Settings;
void ChangeDisplaySettings(const Settings& before, const Settings& after);

// From menu.cpp.
// A scene reset from the menu leaves the simulation paused, as F1 does:
// closing the menu then does not start it.
void MenuAfterReset();
const std::string& MenuSettingsPath();
void SetMenuStatus(const std::string& text);
// Writes the changes into the settings file; the result becomes the status.
void SaveMenuSettings(const std::vector<SettingChange>& changes);
