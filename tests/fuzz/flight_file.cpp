// Recorded flights: the reader over any bytes, and that a flight it accepts
// reads back the same when its frames and events are written out again.
#include <string>

#include "flightrec/flight_file.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  flight::Flight f;
  std::string error;
  if (!flight::ParseFlight(text, f, error)) {
    FUZZ_CHECK(error.rfind("line ", 0) == 0);
    return 0;
  }
  // The bound on a replay's work is decided from the parsed flight alone.
  std::string why;
  if (flight::FlightIsFlyable(f, why)) FUZZ_CHECK(f.frames.size() <= flight::kMaxFlightFrames);
  else FUZZ_CHECK(!why.empty());
  if (!f.recorded) return 0;
  // Frames run forward in time; events sit before a frame that exists, in
  // order. Written back as the recorder writes them, the same flight reads.
  std::string written = "tarnflight 1\nversion v\ncontent " + flight::HashText(f.content) + "\nclock " +
                        std::to_string(f.frequency) + " " + std::to_string(f.startTicks) + "\nstart " +
                        flight::HashText(f.startHash) + "\n";
  int64_t last = f.startTicks;
  size_t e = 0;
  for (size_t i = 0; i <= f.frames.size(); i++) {
    for (; e < f.events.size() && f.events[e].frame == i; e++) {
      const flight::ScriptEvent& ev = f.events[e];
      double t = flight::ElapsedSeconds(f.startTicks, last, f.frequency);
      if (ev.action == flight::Action::Axis) written += flight::FormatAxis(t, ev.axis, ev.value);
      else if (ev.action == flight::Action::Air) written += flight::FormatAir(t, ev.words);
      else if (ev.action != flight::Action::End) written += flight::FormatEvent(t, ev.action, ev.key);
    }
    if (i == f.frames.size()) break;
    const flight::FlightFrame& fr = f.frames[i];
    FUZZ_CHECK(fr.ticks >= last);
    written += flight::FormatFrame(i + 1, fr.ticks - last, fr.inputPass);
    last = fr.ticks;
    if (fr.reset) {
      FUZZ_CHECK(fr.resetTicks >= fr.ticks);
      written += "r " + std::to_string(fr.resetTicks - fr.ticks) + "\n";
      last = fr.resetTicks;
    }
    if (fr.hasCheck) written += "check " + flight::HashText(fr.check) + "\n";
  }
  FUZZ_CHECK(e == f.events.size() || f.events[e].action == flight::Action::End);
  flight::Flight again;
  FUZZ_CHECK(flight::ParseFlight(written, again, error));
  FUZZ_CHECK(again.frames.size() == f.frames.size());
  for (size_t i = 0; i < f.frames.size(); i++)
    FUZZ_CHECK(again.frames[i].ticks == f.frames[i].ticks && again.frames[i].reset == f.frames[i].reset &&
               again.frames[i].resetTicks == f.frames[i].resetTicks &&
               again.frames[i].inputPass == f.frames[i].inputPass && again.frames[i].check == f.frames[i].check);
  size_t kept = 0;
  for (const flight::ScriptEvent& ev : f.events) {
    if (ev.action == flight::Action::End) continue;
    FUZZ_CHECK(kept < again.events.size());
    const flight::ScriptEvent& a = again.events[kept++];
    FUZZ_CHECK(a.action == ev.action && a.key == ev.key && a.frame == ev.frame && a.axis == ev.axis &&
               a.value == ev.value && a.words == ev.words);
  }
  FUZZ_CHECK(kept == again.events.size());
  return 0;
}
