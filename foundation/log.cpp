#include "foundation/log.h"

#include <cstdarg>
#include <cstdio>

#include <cstdlib>
#include <string>

void (*LogListener)(const std::string& text) = nullptr;

namespace {
int consoleOnly = 0;
LogCapture* activeCapture = nullptr;

// The same line many times in a row (a model with a million faces naming a
// missing vertex) is shown this many times, then counted, and the count is
// printed when another line comes, the capture ends or the program exits.
constexpr unsigned long long kShownRepeats = 20;
std::string lastLine;
unsigned long long repeats = 0;  // of lastLine after its first showing

std::string recent;  // the console's last few kilobytes

void ToConsole(const std::string& text) {
  if (text.empty()) return;
  recent += text;
  if (recent.size() > 4096) recent.erase(0, recent.size() - 2048);
  std::fwrite(text.data(), 1, text.size(), stdout);
  // The console is often a pipe (tests, the flight runner): flush so lines
  // arrive as they are written and interleave correctly with other output.
  std::fflush(stdout);
}

// The line that closes a run of repeats ("" when none were held back); the
// run is over either way.
std::string TakeRepeats() {
  std::string line;
  if (repeats >= kShownRepeats) {
    std::string digits = std::to_string(repeats - (kShownRepeats - 1)), count;
    for (size_t i = 0; i < digits.size(); i++) {
      if (i && (digits.size() - i) % 3 == 0) count += ',';
      count += digits[i];
    }
    line = "... and " + count + " more like this\n";
  }
  lastLine.clear();
  repeats = 0;
  return line;
}

void FlushAtExit() { ToConsole(TakeRepeats()); }
}  // namespace

std::string RecentConsoleLines(size_t count) {
  // Back over `count` line feeds, the text's own last one aside.
  size_t at = recent.size(), feeds = 0;
  if (at > 0 && recent[at - 1] == '\n') at--;
  for (; at > 0; at--)
    if (recent[at - 1] == '\n' && ++feeds == count) break;
  return recent.substr(at);
}

LogCapture::LogCapture() : outer_(activeCapture) {
  // A run of repeats ends where its output went.
  if (outer_) outer_->text_ += TakeRepeats();
  else ToConsole(TakeRepeats());
  activeCapture = this;
}

LogCapture::~LogCapture() {
  text_ += TakeRepeats();
  // Captures are scoped objects, so they end innermost first.
  if (activeCapture == this) activeCapture = outer_;
}

LogConsoleOnly::LogConsoleOnly() { consoleOnly++; }
LogConsoleOnly::~LogConsoleOnly() { consoleOnly--; }

std::vector<std::string> LogCapture::lines() const {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text_.size()) {
    size_t end = text_.find('\n', start);
    if (end == std::string::npos) {
      out.push_back(text_.substr(start));
      break;
    }
    out.push_back(text_.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

void Log(const char* format, ...) {
  static bool atExit = (std::atexit(FlushAtExit), true);
  (void)atExit;
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  char small[512];
  int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  std::string big;
  const char* text = small;
  if (n > 0 && size_t(n) >= sizeof small) {
    big.assign(size_t(n) + 1, '\0');
    std::vsnprintf(&big[0], big.size(), format, args);
    text = big.data();
  }
  va_end(args);
  if (n <= 0) return;
  // Only whole lines count as repeats; a line printed in parts never does.
  const bool wholeLine = text[n - 1] == '\n';
  std::string out;
  if (wholeLine && !lastLine.empty() && lastLine.size() == size_t(n) &&
      lastLine.compare(0, lastLine.size(), text, size_t(n)) == 0) {
    if (++repeats >= kShownRepeats) return;
  } else {
    out = TakeRepeats();
    if (wholeLine) lastLine.assign(text, size_t(n));
  }
  out.append(text, size_t(n));
  if (LogListener && consoleOnly == 0) LogListener(out);
  if (activeCapture) activeCapture->text_ += out;
  else ToConsole(out);
}
