// The set-up menu (F10, or the stick's menu button): Dear ImGui pages over
// the paused simulation for the controls, the stick's calibration, the air
// and the flights. Opening pauses the simulation through the Pause key, as
// the pilot would, so a recording holds it; closing resumes it when it ran
// before. While open the menu takes the keyboard and the mouse, and the
// stick's buttons only navigate. Closed, it adds nothing to a frame.
//
// Changes take effect at once and are written to the settings file, each
// into its own line (app/menu/settings_edit.h).
#pragma once
#include <cstdint>
#include <string>

// The settings file the menu writes (as the program read it).
void SetMenuSettingsPath(const std::string& path);

bool MenuOpen();
void OpenMenu();
void CloseMenu();

// A window message while the menu is open: true when the menu took it (the
// key table then never sees it).
bool MenuWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
// In the window's input pass, before the simulation's part: the menu key's
// presses open or close it; while open, the menu's own deferred actions.
void MenuInputPass();
// Builds and draws the open menu (in the frame's drawing, before the cursor).
void DrawMenu();
// Releases what the menu holds on the device; the ImGui context goes too.
void ShutdownMenu();

// The message the menu shows at its foot (the last save's result, a conflict).
const std::string& MenuStatus();
