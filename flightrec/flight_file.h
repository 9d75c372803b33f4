// Flight files: the headless runner's key scripts and recorded flights, one
// text format. A key script lists timed key events; a recorded flight adds a
// header (format, program version, content fingerprint, the clock and the
// start state), one line per frame with the exact clock reading the frame
// timer took, a state check every simulated second and the final-state hash.
// A key script is a flight without frames.
//
// Lines ('#' starts a comment, blank lines are skipped):
//   <seconds> press|down|up <key>     a key message ("press" = down then up)
//   <seconds> axis pitch|roll <value> a stick input, -1..1, held until changed
//   <seconds> end [<hash>]            the end; a recorded flight adds its final hash
//   <seconds> wind|gust|turbulence|thermals|thermal|seed ...
//                                     the air changes (air/air.h has the lines)
// and in a recorded flight only, in this order:
//   tarnflight <format>               first line: the format version (1)
//   version <program version>
//   content <fingerprint>             16 hex digits, see ContentFingerprint
//   clock <ticks per second> <ticks>  the clock's frequency (0: milliseconds)
//                                     and the reading the starting reset took
//   start <hash> [pass]               state hash when the first frame read the
//                                     clock; "pass": the reset came from an input
//                                     pass (F1), which the replay finishes first
//   key <name> <byte>                 key-table bytes that were not 0 at the start
//   axis pitch|roll <value>           stick inputs that were not 0 at the start
//   aircraft <section.key> <value>    the aircraft's values that differ from the
//                                     built-in ones (none: the built-in machine)
//   air <air line>                    the air at the start, when it moved
// then the frames, each preceded by the events dispatched before it:
//   f <n> <ticks> [bg]                frame n (from 1): ticks since the previous
//                                     reading; "bg": the window was not in front,
//                                     so no input pass ran
//   r <ticks>                         a reset (F1) during that frame's input pass
//                                     read the clock, ticks after the frame's reading
//   check <hash>                      state hash after that frame (every simulated second)
//   mark                              recording was switched on before this point
// An event's seconds in a recorded flight are the time of the latest reading
// before it, from the start reading, to the microsecond.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "content/aircraft_file.h"

namespace flight {

enum class Action { Press, Down, Up, End, Axis, Air };
enum class StickAxis { Pitch, Roll };

struct ScriptEvent {
  double time;    // seconds from the start of the run
  Action action;
  uint32_t key;   // virtual-key code (Press, Down, Up)
  int line;       // 1-based line of the file
  StickAxis axis = StickAxis::Pitch;  // Axis only
  double value = 0;                   // Axis only, -1..1
  uint32_t frame = 0;  // recorded flights: index of the frame it precedes (0-based)
  std::vector<std::string> words = {};  // Air only: the air line, its first word included
};

struct FlightFrame {
  int64_t ticks = 0;       // absolute clock reading of the frame's tick
  bool inputPass = true;   // false: the window was in the background
  bool reset = false;      // the input pass reset the scene, reading resetTicks
  int64_t resetTicks = 0;
  bool hasCheck = false;
  uint64_t check = 0;      // state hash after the frame
  int line = 0;
};

struct Flight {
  bool recorded = false;  // false: a key script (events by time, no frames)
  int format = 0;
  std::string version;
  uint64_t content = 0;
  int64_t frequency = 0;   // ticks per second; 0 milliseconds
  int64_t startTicks = 0;
  uint64_t startHash = 0;
  bool startPass = false;  // the starting reset came from an input pass
  std::vector<std::pair<uint32_t, uint8_t>> startKeys;  // code, key-table byte
  double startPitch = 0, startRoll = 0;
  content::AircraftParams aircraft;  // the machine that flew: the built-in one plus the "aircraft" lines
  std::vector<std::vector<std::string>> startAir;  // the header's air lines, words
  std::vector<ScriptEvent> events;  // scripts: by time; flights: file order
  std::vector<FlightFrame> frames;
  size_t markFrame = 0;   // frames before this index ran before recording began
  bool hasEnd = false;
  uint64_t endHash = 0;
  int lastLine = 0;       // last complete line read
  bool partialLine = false;  // the text ends inside a line (a recording cut short)
};

constexpr int kFlightFormat = 1;

// Virtual-key code of a key name, or 0 when the name is unknown; and back
// (nullptr for a code without a name).
uint32_t KeyCodeByName(const std::string& name);
const char* KeyName(uint32_t code);

// Reads a key script or a recorded flight. On failure returns false and sets
// error to "line N: <problem>". A recorded flight cut short (no end line, or
// a last line without its newline) is not an error: the lines up to the last
// complete one are kept, hasEnd stays false.
bool ParseFlight(const std::string& text, Flight& flight, std::string& error);

// The most a flight may ask of a replay: its frames' clock readings span at
// most two hours, in at most a million frames. A forged flight asking for
// days of simulation in a few kilobytes is refused before it is flown.
constexpr double kMaxFlightSeconds = 7200;
constexpr size_t kMaxFlightFrames = 1000000;

// Whether a parsed flight may be flown: it holds at least one event or frame,
// and a recorded flight stays within the limits above. Else false with the
// reason ("no events: nothing to fly", ...).
bool FlightIsFlyable(const Flight& flight, std::string& reason);

// The script part alone, as the runner always read it: timed events sorted
// by time (lines of equal time in file order). Recorded flights are refused.
bool ParseScript(const std::string& text, std::vector<ScriptEvent>& events, std::string& error);

// Seconds between two raw clock readings at a frequency (0: milliseconds,
// which wrap at 2^32).
double ElapsedSeconds(int64_t from, int64_t to, int64_t frequency);

// The version line's build mark: "+windows" from the Windows build, nothing
// from the Linux one. Their C libraries round acos, asin, sin and a few
// others differently in the last bit, so a flight replays exactly only on the
// kind of build that recorded it.
const char* BuildMark();
// Why a replay here may differ: " (recorded by the Windows build, ...)" for a
// flight from the other kind of build; "" for one from this kind.
std::string OtherBuildNote(const Flight& flight);

// Lines as the recorder writes them, each ending in '\n'.
std::string HashText(uint64_t hash);  // 16 lowercase hex digits
std::string FormatEvent(double seconds, Action action, uint32_t key);
std::string FormatAxis(double seconds, StickAxis axis, double value);
std::string FormatFrame(uint64_t number, int64_t ticks, bool inputPass);
// The "aircraft" lines for a machine: one per value that differs from the
// built-in one, so the built-in machine's flights read as they always did.
std::string FormatAircraft(const content::AircraftParams& aircraft);
std::string FormatAir(double seconds, const std::vector<std::string>& words);

}  // namespace flight
