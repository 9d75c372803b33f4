// The flight recorder: listens to the frame timer's clock readings and to
// every key message, and writes them as a recorded flight (flight_file.h).
//
// It always keeps the flight since the last scene reset in memory (a few
// bytes a frame), so a recording switched on in mid-flight still starts from
// a state a replay can rebuild exactly: the reset. The frames before the
// switch are marked; a replay in the window runs them without waiting.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/files.h"

namespace flight {

// Keys whose messages the simulation reads (pilot keys, Pause, F1, C).
bool IsFlightKey(uint32_t code);

class Recorder {
 public:
  // Takes over the frame-clock and key-message listeners (one recorder at a
  // time) until destroyed. Attach before the starting reset. The fingerprint
  // is that of the model files; each flight adds the aircraft it starts with
  // (CurrentAircraftParams at its reset).
  Recorder(uint64_t contentFingerprint, std::string programVersion);
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Once per frame after its input pass (inputPass false when none ran):
  // the frame's line, a reset it caused, a state check each simulated second.
  void EndFrame(bool inputPass);

  // Stick inputs as HandleAircraftKeys reads them, before each frame; a
  // change becomes an axis line.
  void Axes(double pitch, double roll);
  // An air line dispatched now ("wind 3 270", air/air.h); written as an
  // event once the header is out, carried by the header's air lines before.
  void Air(const std::vector<std::string>& words);

  // Starts writing to path: everything since the last reset, then each line
  // as it comes, written through at once. False (with a console line) when
  // the file cannot be made; an existing file is replaced only when replace
  // is set. A write that fails later (a full disk) is reported when it
  // happens and stops the recording; what was written stays.
  bool Start(const std::string& path, bool replace);
  // Writes the end line with the final-state hash, syncs and closes the file.
  // Returns the path written; "" when not recording or when the end could
  // not be written (with a console line).
  std::string Stop();
  bool recording() const { return file_.open(); }
  // Clock seconds since Start.
  double Elapsed() const;
  // Frames since the last reset, and the flight kept since then as a file
  // would hold it (without its end line).
  uint64_t frames() const { return frame_; }
  std::string text() const { return header_ + text_; }

 private:
  static void OnClock(int64_t ticks, bool reset);
  static void OnKey(uint32_t code, bool down);
  void Clock(int64_t ticks, bool reset);
  void Key(uint32_t code, bool down);
  void Restart(int64_t ticks, bool fromInputPass);
  void Put(const std::string& line);
  void Write(const std::string& bytes);
  double Now() const;

  uint64_t content_;
  std::string version_;
  FileStream file_;
  std::string path_;
  std::string header_;   // complete once the first frame read the clock
  std::string pending_;  // header lines waiting for the start hash
  std::string startExtra_;  // the rest of the start line, start keys and axes
  std::string text_;     // the flight since the reset, while not writing
  bool started_ = false;  // a reset has been seen
  bool inFrame_ = false;   // between a frame's clock reading and EndFrame
  bool restartedInFrame_ = false;
  int64_t frameDelta_ = 0;
  int64_t startTicks_ = 0, lastTicks_ = 0, frameTicks_ = 0, recordTicks_ = 0;
  bool frameReset_ = false;
  int64_t resetTicks_ = 0;
  int64_t frequency_ = 0;
  uint64_t frame_ = 0;
  uint32_t checkedSecond_ = 0;
  double pitch_ = 0, roll_ = 0;
  std::string late_;  // key messages that came inside a frame
};

}  // namespace flight
