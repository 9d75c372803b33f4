#include "flightrec/flight_file.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "air/air.h"
#include "foundation/files.h"
#include "sim/keys.h"

namespace flight {
namespace {

struct NamedKey {
  const char* name;
  uint32_t code;
};
const NamedKey kKeyNames[] = {
    {"Up", VK_UP},         {"Down", VK_DOWN},     {"Left", VK_LEFT},   {"Right", VK_RIGHT},
    {"Space", VK_SPACE},   {"Delete", VK_DELETE}, {"Pause", VK_PAUSE}, {"F1", VK_F1},
    {"Escape", VK_ESCAPE},
};

bool SameNoCase(const std::string& a, const char* b) {
  size_t n = std::char_traits<char>::length(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; i++) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = char(x - 32);
    if (y >= 'a' && y <= 'z') y = char(y - 32);
    if (x != y) return false;
  }
  return true;
}

// Edits (insert, delete, replace one letter, any case) from a to b.
size_t EditDistance(const std::string& a, const char* b) {
  const size_t n = std::char_traits<char>::length(b);
  std::vector<size_t> row(n + 1);
  for (size_t j = 0; j <= n; j++) row[j] = j;
  for (size_t i = 1; i <= a.size(); i++) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= n; j++) {
      size_t above = row[j];
      bool same = std::toupper(static_cast<unsigned char>(a[i - 1])) == std::toupper(static_cast<unsigned char>(b[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[n];
}

// The problem with a key name no key has: the nearest names (a typo is
// usually one or two edits away), and the whole list when none is that near.
std::string UnknownKey(const std::string& name) {
  // A name far longer than any key's is nobody's typo; don't measure it.
  std::string problem = "unknown key \"" + Clipped(name) + "\"";
  if (name.size() > 40) return problem;
  size_t best = SIZE_MAX;
  std::string nearest;
  for (const NamedKey& k : kKeyNames) best = std::min(best, EditDistance(name, k.name));
  for (const NamedKey& k : kKeyNames)
    if (EditDistance(name, k.name) == best) nearest += std::string(nearest.empty() ? "" : ", ") + k.name;
  if (best <= 2) return problem + " (nearest: " + nearest + ")";
  std::string all;
  for (const NamedKey& k : kKeyNames) all += std::string(", ") + k.name;
  return problem + " (" + (nearest.empty() ? "" : "nearest: " + nearest + "; ") + "keys are the letters A to Z" + all + ")";
}

std::vector<std::string> Tokens(const std::string& line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) i++;
    if (i >= line.size()) break;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') i++;
    out.push_back(line.substr(start, i - start));
  }
  return out;
}

bool ReadDouble(const std::string& s, double& out) {
  const char* p = s.c_str();
  char* stop = nullptr;
  out = std::strtod(p, &stop);
  return stop != p && stop == p + s.size();
}

// A whole decimal integer, optionally signed, that fits 64 bits.
bool ReadInt(const std::string& s, int64_t& out) {
  if (s.empty() || s.size() > 20) return false;
  size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
  if (i == s.size()) return false;
  for (size_t k = i; k < s.size(); k++)
    if (s[k] < '0' || s[k] > '9') return false;
  errno = 0;
  long long v = std::strtoll(s.c_str(), nullptr, 10);
  if (errno == ERANGE) return false;
  out = int64_t(v);
  return true;
}

bool ReadHash(const std::string& s, uint64_t& out) {
  if (s.size() != 16) return false;
  out = 0;
  for (char c : s) {
    int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
    if (d < 0) return false;
    out = out << 4 | uint64_t(d);
  }
  return true;
}

bool ReadAxis(const std::string& name, StickAxis& axis) {
  if (name == "pitch") axis = StickAxis::Pitch;
  else if (name == "roll") axis = StickAxis::Roll;
  else return false;
  return true;
}

bool ReadAxisValue(const std::string& s, double& value) {
  return ReadDouble(s, value) && std::isfinite(value) && value >= -1 && value <= 1;
}

void SortByTime(std::vector<ScriptEvent>& events) {
  std::stable_sort(events.begin(), events.end(),
                   [](const ScriptEvent& a, const ScriptEvent& b) { return a.time < b.time; });
}

// The header of a recorded flight, in the order its lines must come.
enum class Stage { Script, Format, Version, Content, Clock, Start, Keys, Body, Ended };

class Parser {
 public:
  Parser(Flight& flight, std::string& error) : f_(flight), error_(error) {}

  bool Line(int number, const std::string& text);
  Stage stage = Stage::Script;

 private:
  bool Fail(const std::string& problem) {
    error_ = "line " + std::to_string(line_) + ": " + problem;
    return false;
  }
  bool Header(const std::vector<std::string>& t);
  bool Body(const std::vector<std::string>& t);
  bool Event(const std::vector<std::string>& t);
  // Every frame is simulated to the last step, so a reading hours after the
  // one before would run for hours: no recording has such a gap.
  bool TooLong(int64_t ticks) const {
    double perSecond = f_.frequency > 0 ? double(f_.frequency) : 1000.0;
    return double(ticks) > 600.0 * perSecond;
  }
  // The reading `ticks` after the latest one, into at; false when it or its
  // distance from the start reading does not fit 64 bits.
  bool Later(int64_t ticks, int64_t& at) const {
    int64_t fromStart = 0;
    return !__builtin_add_overflow(lastTicks_, ticks, &at) &&
           !__builtin_sub_overflow(at, f_.startTicks, &fromStart);
  }
  // Time of the latest clock reading, from the start reading.
  double Now() const { return ElapsedSeconds(f_.startTicks, lastTicks_, f_.frequency); }

  Flight& f_;
  std::string& error_;
  int line_ = 0;
  int64_t lastTicks_ = 0;
};

bool Parser::Line(int number, const std::string& text) {
  line_ = number;
  for (unsigned char c : text)
    if (c == 0 || (c < 32 && c != '\t' && c != '\r') || c == 127) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "not a text line (byte 0x%02X)", c);
      return Fail(buf);
    }
  std::string line = text;
  size_t hash = line.find('#');
  if (hash != std::string::npos) line.resize(hash);
  std::vector<std::string> t = Tokens(line);
  if (t.empty()) return true;
  if (stage == Stage::Ended) return Fail("nothing may follow the end line");
  if (stage == Stage::Script && t[0] == "tarnflight") {
    if (!f_.events.empty()) return Fail("\"tarnflight\" must be the first line");
    stage = Stage::Format;
  }
  if (stage == Stage::Keys) {
    if (t[0] == "key" || t[0] == "axis" || t[0] == "aircraft" || t[0] == "air") return Header(t);
    stage = Stage::Body;
  }
  if (stage != Stage::Script && stage != Stage::Body) return Header(t);
  if (stage == Stage::Body && (t[0] == "f" || t[0] == "r" || t[0] == "check" || t[0] == "mark"))
    return Body(t);
  return Event(t);
}

bool Parser::Header(const std::vector<std::string>& t) {
  static const char* const order[] = {"tarnflight", "version", "content", "clock", "start"};
  const std::string& k = t[0];
  if (stage == Stage::Keys && k == "air") {
    std::vector<std::string> words(t.begin() + 1, t.end());
    air::Settings scratch;
    std::string problem;
    if (!air::ApplyLine(words, 0, scratch, problem)) return Fail("air: " + problem);
    f_.startAir.push_back(words);
    return true;
  }
  if (stage == Stage::Keys) {
    if (t.size() != 3) return Fail("\"" + Clipped(k) + "\" wants a name and a value");
    if (k == "aircraft") {
      std::vector<std::string> problems;
      if (!content::SetAircraftValue(t[1] + "=" + t[2], f_.aircraft, problems))
        return Fail(problems.empty() ? "bad aircraft value" : problems.front());
      return true;
    }
    if (k == "key") {
      uint32_t code = KeyCodeByName(t[1]);
      int64_t byte = 0;
      if (code == 0) return Fail(UnknownKey(t[1]));
      if (!ReadInt(t[2], byte) || byte < 0 || byte > 255) return Fail("a key byte is 0..255");
      f_.startKeys.push_back({code, uint8_t(byte)});
    } else {
      StickAxis axis;
      double value;
      if (!ReadAxis(t[1], axis)) return Fail("unknown axis \"" + Clipped(t[1]) + "\" (pitch or roll)");
      if (!ReadAxisValue(t[2], value)) return Fail("the axis value must be a number from -1 to 1");
      (axis == StickAxis::Pitch ? f_.startPitch : f_.startRoll) = value;
    }
    return true;
  }
  const char* want = order[int(stage) - int(Stage::Format)];
  if (k != want) return Fail(std::string("\"") + want + "\" line expected");
  switch (stage) {
    case Stage::Format: {
      int64_t v = 0;
      if (t.size() != 2 || !ReadInt(t[1], v)) return Fail("\"tarnflight\" wants a format number");
      if (v != kFlightFormat)
        return Fail("flight format " + Clipped(t[1]) + " (this program reads format " +
                    std::to_string(kFlightFormat) + ")");
      f_.format = int(v);
      f_.recorded = true;
      stage = Stage::Version;
      return true;
    }
    case Stage::Version:
      if (t.size() != 2) return Fail("\"version\" wants one program version");
      f_.version = t[1];
      stage = Stage::Content;
      return true;
    case Stage::Content:
      if (t.size() != 2 || !ReadHash(t[1], f_.content))
        return Fail("\"content\" wants a fingerprint of 16 hex digits");
      stage = Stage::Clock;
      return true;
    case Stage::Clock:
      if (t.size() != 3 || !ReadInt(t[1], f_.frequency) || !ReadInt(t[2], f_.startTicks) ||
          f_.frequency < 0)
        return Fail("\"clock\" wants ticks per second and the start reading");
      lastTicks_ = f_.startTicks;
      stage = Stage::Start;
      return true;
    case Stage::Start:
      if ((t.size() != 2 && (t.size() != 3 || t[2] != "pass")) || !ReadHash(t[1], f_.startHash))
        return Fail("\"start\" wants the state hash of 16 hex digits [and \"pass\"]");
      f_.startPass = t.size() == 3;
      stage = Stage::Keys;
      return true;
    default:
      break;
  }
  return Fail("unexpected header line");
}

bool Parser::Body(const std::vector<std::string>& t) {
  const std::string& k = t[0];
  if (k == "f") {
    int64_t n = 0, ticks = 0;
    bool bg = t.size() == 4 && t[3] == "bg";
    if ((t.size() != 3 && !bg) || !ReadInt(t[1], n) || !ReadInt(t[2], ticks))
      return Fail("a frame is \"f <number> <ticks> [bg]\"");
    if (n != int64_t(f_.frames.size()) + 1)
      return Fail("frame " + Clipped(t[1]) + " where frame " + std::to_string(f_.frames.size() + 1) +
                  " belongs (lines out of order or missing)");
    if (ticks < 0) return Fail("the clock ran backwards");
    if (TooLong(ticks)) return Fail("a frame of more than ten minutes");
    FlightFrame frame;
    if (!Later(ticks, frame.ticks)) return Fail("the clock reading overflows");
    frame.inputPass = !bg;
    frame.line = line_;
    lastTicks_ = frame.ticks;
    f_.frames.push_back(frame);
    return true;
  }
  if (k == "mark") {
    if (t.size() != 1) return Fail("\"mark\" takes nothing");
    f_.markFrame = f_.frames.size();
    return true;
  }
  if (f_.frames.empty()) return Fail("\"" + Clipped(k) + "\" before the first frame");
  FlightFrame& frame = f_.frames.back();
  if (k == "r") {
    int64_t ticks = 0;
    if (t.size() != 2 || !ReadInt(t[1], ticks)) return Fail("a reset is \"r <ticks>\"");
    if (ticks < 0) return Fail("the clock ran backwards");
    if (TooLong(ticks)) return Fail("a reset more than ten minutes after its frame");
    if (frame.reset || frame.hasCheck) return Fail("one reset per frame, before its check");
    if (!Later(ticks, frame.resetTicks)) return Fail("the clock reading overflows");
    frame.reset = true;
    lastTicks_ = frame.resetTicks;
    return true;
  }
  if (t.size() != 2 || !ReadHash(t[1], frame.check))
    return Fail("a check is \"check <16 hex digits>\"");
  if (frame.hasCheck) return Fail("two checks for one frame");
  frame.hasCheck = true;
  return true;
}

bool Parser::Event(const std::vector<std::string>& t) {
  double time = 0;
  if (!ReadDouble(t[0], time))
    return Fail("\"" + Clipped(t[0]) + "\" is not a time in seconds" +
                (stage == Stage::Script ? "" : " nor a flight line"));
  if (!std::isfinite(time) || time < 0) return Fail("the time must be a finite number >= 0");
  if (t.size() < 2) return Fail("an action (press, down, up, axis or end) must follow the time");
  ScriptEvent e{time, Action::End, 0, line_};
  e.frame = uint32_t(f_.frames.size());
  if (f_.recorded) {
    // The recorder writes the latest reading's time to the microsecond; any
    // other time means the line was moved or edited.
    double expected = Now();
    if (std::fabs(time - expected) > 1.5e-6)
      return Fail("time " + Clipped(t[0]) + " does not belong here (the frame before it reads " +
                  std::to_string(expected) + " s): lines out of order?");
  }
  if (air::IsAirWord(t[1])) {
    e.words.assign(t.begin() + 1, t.end());
    air::Settings scratch;
    std::string problem;
    if (!air::ApplyLine(e.words, time, scratch, problem)) return Fail(problem);
    e.action = Action::Air;
    f_.events.push_back(e);
    return true;
  }
  const std::string& action = t[1];
  if (action == "end") {
    if (f_.recorded) {
      if (t.size() != 3 || !ReadHash(t[2], f_.endHash))
        return Fail("a recorded flight ends with \"<seconds> end <16 hex digits>\"");
      f_.hasEnd = true;
      stage = Stage::Ended;
    } else if (t.size() != 2) {
      return Fail("\"end\" takes no key");
    }
    f_.events.push_back(e);
    return true;
  }
  if (action == "axis") {
    e.action = Action::Axis;
    if (t.size() != 4) return Fail("\"axis\" takes pitch or roll and a value");
    if (!ReadAxis(t[2], e.axis)) return Fail("unknown axis \"" + Clipped(t[2]) + "\" (pitch or roll)");
    if (!ReadAxisValue(t[3], e.value)) return Fail("the axis value must be a number from -1 to 1");
    f_.events.push_back(e);
    return true;
  }
  if (action == "press") e.action = Action::Press;
  else if (action == "down") e.action = Action::Down;
  else if (action == "up") e.action = Action::Up;
  else return Fail("unknown action \"" + action + "\" (press, down, up, axis or end)");
  if (t.size() != 3)
    return Fail(t.size() < 3 ? "a key name must follow the action" : "one key per line");
  e.key = KeyCodeByName(t[2]);
  if (e.key == 0) return Fail(UnknownKey(t[2]));
  f_.events.push_back(e);
  return true;
}

char* AppendTime(char* p, size_t n, double seconds) {
  int w = std::snprintf(p, n, "%.6f", seconds);
  // A time too long for the buffer is cut, never written past it.
  return p + (w <= 0 ? 0 : size_t(w) < n ? size_t(w) : n - 1);
}

}  // namespace

uint32_t KeyCodeByName(const std::string& name) {
  if (name.size() == 1) {
    char c = name[0];
    if (c >= 'a' && c <= 'z') c = char(c - 32);
    if (c >= 'A' && c <= 'Z') return uint32_t(c);
    return 0;
  }
  for (const NamedKey& k : kKeyNames)
    if (SameNoCase(name, k.name)) return k.code;
  return 0;
}

const char* KeyName(uint32_t code) {
  static char letters[26][2];
  if (code >= 'A' && code <= 'Z') {
    char* s = letters[code - 'A'];
    s[0] = char(code);
    s[1] = 0;
    return s;
  }
  for (const NamedKey& k : kKeyNames)
    if (k.code == code) return k.name;
  return nullptr;
}

double ElapsedSeconds(int64_t from, int64_t to, int64_t frequency) {
  if (frequency > 0) return double(to - from) / double(frequency);
  return double(uint32_t(uint64_t(to) - uint64_t(from))) * 0.001;
}

bool ParseFlight(const std::string& text, Flight& flight, std::string& error) {
  flight = Flight();
  error.clear();
  Parser parser(flight, error);
  size_t pos = 0;
  int number = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    bool complete = end != std::string::npos;
    if (!complete) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    number++;
    // A recording cut short ends inside a line: keep what came before it.
    if (!complete && parser.stage != Stage::Script) {
      flight.partialLine = true;
      break;
    }
    if (!parser.Line(number, line)) {
      if (!flight.recorded) SortByTime(flight.events);
      return false;
    }
    flight.lastLine = number;
  }
  if (parser.stage != Stage::Script && parser.stage != Stage::Keys &&
      parser.stage != Stage::Body && parser.stage != Stage::Ended) {
    error = "line " + std::to_string(number) + ": the header ends early";
    return false;
  }
  if (!flight.recorded) SortByTime(flight.events);
  return true;
}

bool FlightIsFlyable(const Flight& flight, std::string& reason) {
  if (flight.events.empty() && flight.frames.empty()) {
    reason = "no events: nothing to fly";
    return false;
  }
  if (flight.frames.size() > kMaxFlightFrames) {
    reason = std::to_string(flight.frames.size()) + " frames, more than the " +
             std::to_string(kMaxFlightFrames) + " a replay may run";
    return false;
  }
  // Summed frame by frame: a millisecond clock wraps, the sum does not.
  double seconds = 0;
  int64_t previous = flight.startTicks;
  for (const FlightFrame& frame : flight.frames) {
    seconds += ElapsedSeconds(previous, frame.ticks, flight.frequency);
    previous = frame.ticks;
  }
  if (!(seconds <= kMaxFlightSeconds)) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%.0f s of clock time, more than the %.0f s a replay may run", seconds,
                  kMaxFlightSeconds);
    reason = buf;
    return false;
  }
  return true;
}

bool ParseScript(const std::string& text, std::vector<ScriptEvent>& events, std::string& error) {
  Flight f;
  bool ok = ParseFlight(text, f, error);
  events = std::move(f.events);
  if (ok && f.recorded) {
    error = "line 1: a recorded flight, not a key script";
    return false;
  }
  return ok;
}

constexpr char kWindowsMark[] = "+windows";

const char* BuildMark() {
#ifdef _WIN32
  return kWindowsMark;
#else
  return "";
#endif
}

std::string OtherBuildNote(const Flight& flight) {
  if (!flight.recorded) return std::string();
  const std::string& v = flight.version;
  const size_t n = sizeof kWindowsMark - 1;
  bool fromWindows = v.size() >= n && v.compare(v.size() - n, n, kWindowsMark) == 0;
  if (fromWindows == (*BuildMark() != 0)) return std::string();
  return std::string(" (recorded by the ") + (fromWindows ? "Windows" : "Linux") +
         " build, whose C library rounds some functions differently in the last bit)";
}

std::string HashText(uint64_t hash) {
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016" PRIx64, hash);
  return buf;
}

std::string FormatEvent(double seconds, Action action, uint32_t key) {
  char buf[64];
  char* p = AppendTime(buf, sizeof buf, seconds);
  const char* name = KeyName(key);
  const char* verb = action == Action::Press ? "press" : action == Action::Down ? "down" : "up";
  std::snprintf(p, sizeof buf - size_t(p - buf), " %s %s\n", verb, name ? name : "?");
  return buf;
}

std::string FormatAir(double seconds, const std::vector<std::string>& words) {
  char buf[40];
  AppendTime(buf, sizeof buf, seconds);
  std::string line = buf;
  for (const std::string& w : words) line += " " + w;
  return line + "\n";
}

std::string FormatAxis(double seconds, StickAxis axis, double value) {
  char buf[80];
  char* p = AppendTime(buf, sizeof buf, seconds);
  // 17 significant digits: the value reads back to the same double.
  std::snprintf(p, sizeof buf - size_t(p - buf), " axis %s %.17g\n",
                axis == StickAxis::Pitch ? "pitch" : "roll", value);
  return buf;
}

std::string FormatFrame(uint64_t number, int64_t ticks, bool inputPass) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "f %" PRIu64 " %" PRId64 "%s\n", number, ticks,
                inputPass ? "" : " bg");
  return buf;
}

std::string FormatAircraft(const content::AircraftParams& aircraft) {
  std::string text;
  for (const auto& change : content::AircraftChanges(content::AircraftParams(), aircraft))
    text += "aircraft " + change.first + " " + change.second + "\n";
  return text;
}

}  // namespace flight
