// Flight-runner scripts: the parser, and that what it accepts (keys and
// stick axis lines) it reads again from the events written back as a script.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "tools/flight/flight.h"

namespace {

const char* ActionName(flight::Action a) {
  switch (a) {
    case flight::Action::Press: return "press";
    case flight::Action::Down: return "down";
    case flight::Action::Up: return "up";
    case flight::Action::Axis: return "axis";
    default: return "end";
  }
}

// A name the parser knows for a key code, or empty.
std::string NameOf(uint32_t code) {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v = {"Up", "Down", "Left", "Right", "Space", "Delete", "Pause", "F1", "Escape"};
    for (char c = 'A'; c <= 'Z'; c++) v.push_back(std::string(1, c));
    for (char c = '0'; c <= '9'; c++) v.push_back(std::string(1, c));
    return v;
  }();
  for (const std::string& n : names)
    if (flight::KeyCodeByName(n) == code) return n;
  return "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<flight::ScriptEvent> events;
  std::string error;
  if (!flight::ParseScript(text, events, error)) {
    FUZZ_CHECK(error.rfind("line ", 0) == 0);
    return 0;
  }
  std::string written;
  for (size_t i = 0; i < events.size(); i++) {
    const flight::ScriptEvent& e = events[i];
    FUZZ_CHECK(std::isfinite(e.time) && e.time >= 0);
    FUZZ_CHECK(i == 0 || events[i - 1].time < e.time ||
               (events[i - 1].time == e.time && events[i - 1].line < e.line));
    char line[96];
    std::snprintf(line, sizeof line, "%.17g", e.time);
    written += line;
    if (e.action == flight::Action::Air) {
      // An air line is written back word for word, as a recording does.
      FUZZ_CHECK(!e.words.empty());
      for (const std::string& word : e.words) written += " " + word;
    } else {
      written += std::string(" ") + ActionName(e.action);
    }
    if (e.action == flight::Action::Axis) {
      FUZZ_CHECK(e.value >= -1 && e.value <= 1);
      std::snprintf(line, sizeof line, " %s %.17g", e.axis == flight::StickAxis::Pitch ? "pitch" : "roll", e.value);
      written += line;
    } else if (e.action != flight::Action::End && e.action != flight::Action::Air) {
      const std::string name = NameOf(e.key);
      FUZZ_CHECK(!name.empty());
      written += " " + name;
    }
    written += "\n";
  }
  std::vector<flight::ScriptEvent> again;
  FUZZ_CHECK(flight::ParseScript(written, again, error));
  FUZZ_CHECK(again.size() == events.size());
  for (size_t i = 0; i < events.size(); i++)
    FUZZ_CHECK(again[i].time == events[i].time && again[i].action == events[i].action && again[i].key == events[i].key &&
               again[i].axis == events[i].axis && again[i].value == events[i].value &&
               again[i].words == events[i].words);
  return 0;
}
