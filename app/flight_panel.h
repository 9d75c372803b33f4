// The flight data panel and the PAUSED banner: what the pilot needs to fly
// by, read from the aircraft's bodies and switches every frame, in units.
#pragma once
#include <string>
#include <vector>

#include "render/instruments.h"

// The panel's lines of text (bars are drawn beside the two input lines).
std::vector<std::string> FlightPanelLines(const FlightData& data);

extern bool ShowFlightPanel;  // on at start; its key toggles it
extern bool ShowFrameRate;    // the frame-rate line under the panel

// The panel at the top right under the REC / REPLAY marks, on a translucent
// plate, scaled with the window; nothing without an aircraft.
void DrawFlightPanel();
// "PAUSED" and what to press, centred, while the simulation is paused.
void DrawPausedBanner();
// The banner's second line: "press P to start" before the first run since
// the reset, "press P to continue" after, with the pause key in force.
std::string PausedHint();
