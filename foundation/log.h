// The console. Every line the program prints goes through Log, so tests can
// capture exactly what a user would read.
#pragma once
#include <string>
#include <vector>

// printf-style; writes to standard output (or to the active capture).
// MinGW's C library formats as glibc does (%zu, %lld ...); checked as GNU printf.
#ifdef __MINGW32__
void Log(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
#else
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
#endif

// The last console lines Log printed (up to `count`, captures not counted),
// for a message box that repeats why the program could not start.
std::string RecentConsoleLines(size_t count);

// Told every piece of text Log prints, captured or not (the window shows
// the user's lines on screen); null: nobody listens.
extern void (*LogListener)(const std::string& text);

// While one is alive, Log's text reaches the console (or capture) but not the
// listener: progress reports and diagnostic dumps that mean nothing on screen.
class LogConsoleOnly {
 public:
  LogConsoleOnly();
  ~LogConsoleOnly();
  LogConsoleOnly(const LogConsoleOnly&) = delete;
  LogConsoleOnly& operator=(const LogConsoleOnly&) = delete;
};

// While alive, Log output is collected here instead of being printed.
// Captures nest: the innermost one receives the text.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  const std::string& text() const { return text_; }
  // The captured text split at line feeds; a trailing partial line is kept.
  std::vector<std::string> lines() const;
  void clear() { text_.clear(); }

 private:
  friend void Log(const char*, ...);
  std::string text_;
  LogCapture* outer_;
};
