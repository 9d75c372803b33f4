// Replays a recorded flight into the simulation: the frame timer reads the
// recorded clock readings, the recorded key messages and stick inputs reach
// the key table and the stick inputs before the frames they preceded, and
// the state checks are compared as the frames run. The caller runs the
// frames (UpdateFrame and its input pass) as the program or the headless
// runner does; the window can take over at any frame boundary.
//
//   Replay r(flight);
//   r.Begin(); ResetScene(); r.Started(inputPass);
//   while (!r.done()) { r.BeforeFrame(); UpdateFrame(); if (r.inputPass()) pass(); r.AfterFrame(); }
//   r.Finish();
#pragma once
#include <cstdint>
#include <string>

#include "flightrec/flight_file.h"

namespace flight {

// One event into the simulation: key messages to the key table (a press is
// a down and an up), stick inputs to StickPitchInput / StickRollInput.
void DispatchEvent(const ScriptEvent& e);

class Replay {
 public:
  explicit Replay(const Flight& flight);  // a recorded flight; kept by reference
  ~Replay();  // gives the frame timer back the system clock
  Replay(const Replay&) = delete;
  Replay& operator=(const Replay&) = delete;

  // Before the starting reset: the recorded clock, an empty key table and
  // centred stick inputs.
  void Begin();
  // After the starting reset: the recorded start keys and stick inputs, and
  // the rest of the input pass when the reset came from one.
  void Started(void (*inputPass)());

  bool done() const { return next_ >= flight_.frames.size(); }
  size_t next() const { return next_; }  // index of the next frame
  bool inputPass() const { return !done() && flight_.frames[next_].inputPass; }
  // Clock seconds of frame i's reading from the start reading.
  double FrameTime(size_t i) const;

  // The events dispatched before the next frame. Camera keys (C) are left
  // out when the viewer drives the camera.
  void BeforeFrame(bool cameraKeys = true);
  // After the frame's update and input pass: its clock readings and its
  // state check. False from the first frame that differs on.
  bool AfterFrame();
  // After the last frame: the events that followed it and the end hash.
  // False when anything differed.
  bool Finish();

  // The first frame (1-based, 0 the start state) found different, or -1.
  int64_t differsAt() const { return differs_; }
  bool endChecked() const { return endChecked_; }

  // The pilot takes over after the last frame run: from now on the frame
  // timer reads the system clock, continued from the last replayed reading
  // so no time jumps. Stick inputs stay as replayed.
  void TakeOver();
  bool takenOver() const { return continued_; }

 private:
  static int64_t Read();
  static int64_t Frequency();
  int64_t NextReading();
  void Differ(int64_t frame) {
    if (differs_ < 0) differs_ = frame;
  }

  const Flight& flight_;
  size_t next_ = 0;
  size_t nextEvent_ = 0;
  int64_t last_ = 0;        // the latest reading handed out
  bool startRead_ = false;  // the starting reset has taken its reading
  bool tickRead_ = false, resetRead_ = false, extraRead_ = false;
  int64_t differs_ = -1;
  bool endChecked_ = false;
  bool continued_ = false;
  int64_t realAt_ = 0, realFrequency_ = 0;
};

}  // namespace flight
