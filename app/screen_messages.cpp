#include "app/screen_messages.h"

#include <algorithm>
#include <deque>

#include "app/key_help.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "render/overlay.h"
#include "render/view.h"

namespace {

constexpr double kShown = 6;       // seconds a message stays
constexpr double kFade = 1.5;      // of which the last ones fade
constexpr size_t kOnScreen = 6;    // messages stacked at most
constexpr size_t kKept = 12;       // remembered for the recall key
constexpr double kRecalled = 8;    // seconds a recall shows them

struct Message {
  std::string text;
  int count = 1;        // the same line again raises the count
  double shown = -1;    // real time of its first drawing; -1 not yet drawn
};

std::deque<Message> messages;
std::string partial;  // a line printed in pieces, until its line feed
double recallUntil = -1;

void AddLine(const std::string& line) {
  if (line.find_first_not_of(" \t\r") == std::string::npos) return;
  if (!messages.empty() && messages.back().text == line) {
    messages.back().count++;
    messages.back().shown = -1;
    return;
  }
  messages.push_back(Message{line});
  while (messages.size() > kKept) messages.pop_front();
}

void Listen(const std::string& text) {
  for (char c : text) {
    if (c == '\n') {
      AddLine(partial);
      partial.clear();
    } else if (partial.size() < 400) {
      partial += c;
    }
  }
}

std::string Shown(const Message& m) {
  return m.count > 1 ? m.text + "  (x" + std::to_string(m.count) + ")" : m.text;
}

}  // namespace

void StartScreenMessages() { LogListener = Listen; }

void StopScreenMessages() {
  if (LogListener == Listen) LogListener = nullptr;
  messages.clear();
  partial.clear();
  recallUntil = -1;
}

std::vector<ScreenMessage> VisibleMessages(double now) {
  std::vector<ScreenMessage> out;
  bool recall = now < recallUntil;
  for (Message& m : messages) {
    if (m.shown < 0) m.shown = now;
    double age = now - m.shown, opacity = 0;
    if (age < kShown) opacity = std::min(1.0, (kShown - age) / kFade);
    if (recall) opacity = std::max(opacity, std::min(1.0, (recallUntil - now) / kFade));
    if (opacity > 0) out.push_back(ScreenMessage{Shown(m), opacity});
  }
  size_t limit = recall ? kKept : kOnScreen;
  if (out.size() > limit) out.erase(out.begin(), out.end() - long(limit));
  return out;
}

void RecallMessages(double now) {
  recallUntil = now + kRecalled;
}

void DrawScreenMessages() {
  std::vector<ScreenMessage> shown = VisibleMessages(WallSeconds());
  if (shown.empty()) return;
  const double s = OverlayScale(), h = 15 * s, row = 19 * s;
  // Above the help line, newest lowest, so the eye finds it where it looks.
  double y = ScreenBottom + 1 - 34 * s - HelpLineExtraHeight() - shown.size() * row;
  double width = 0;
  for (const ScreenMessage& m : shown) width = std::max(width, TextWidth(m.text, h));
  width = std::min(width + 16 * s, double(ScreenRight + 1) - 8);
  for (const ScreenMessage& m : shown) {
    DrawPlate(4, y - 2 * s, 4 + width, y + row - 2 * s, 0.05f, 0.08f, 0.12f, float(0.55 * m.opacity));
    DrawOutlinedText(4 + 8 * s, y, h, m.text, 1, 1, 0.85f, float(m.opacity));
    y += row;
  }
}
