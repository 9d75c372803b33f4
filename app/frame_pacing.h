// Frame pacing in the window: the display's refresh where the driver waits
// for it, a frame limit otherwise, and rest while nothing on screen can
// change (paused, no key held, no mouse look, the camera still, no replay
// running): then the loop waits for input instead of drawing the same frame
// again, and looks once a second (the stick, the aircraft file's
// watch, the clock of a recording).
//
// Only the wall time between frames changes: each frame still reads the
// clock once, and a recorded flight keeps those readings, so recordings and
// their replays stay exact whatever the pace.
#pragma once

// Before the window opens: asks for vertical sync and sets the limit
// (frames a second, 0 none).
void StartFramePacing(bool vsync, double frameLimit);
// Before a frame, with the queue empty: true when the loop should not run a
// frame now (it rested until input came or a lost device is still lost):
// take the messages and ask again.
bool RestBeforeFrame();
// After RunFrame: presents the frame, checks the result (a lost device is
// waited for and reset to the same state), then sleeps what the frame limit
// leaves of the frame's share of a second.
void PresentFrame();
// The loop's last turn rested or ran: for tests and the benchmark.
bool FrameRested();
