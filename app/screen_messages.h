// The console's lines on screen: a program started from a desktop menu has no
// console, so every line the program prints for its user also shows in the
// window for a few seconds, newest at the bottom, fading out. The console
// output itself is unchanged.
#pragma once
#include <string>
#include <vector>

// Starts copying Log's lines to the screen; call before anything is printed.
void StartScreenMessages();
// Stops copying and forgets every message.
void StopScreenMessages();

// Lines printed under a LogConsoleOnly (foundation/log.h) stay off the screen.
// The messages shown at real time `now` (seconds of GetSeconds) with their
// opacity, oldest first. A message's time starts when it is first drawn, so
// lines printed before the window opened are still read.
struct ScreenMessage {
  std::string text;
  double opacity;
};
std::vector<ScreenMessage> VisibleMessages(double now);
// Shows the most recent messages again for a while (their key).
void RecallMessages(double now);

// Draws the visible messages above the help line, scaled with the window.
void DrawScreenMessages();
