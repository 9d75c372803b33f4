#include "foundation/log.h"

#include <cstdarg>
#include <cstdio>

namespace {
LogCapture* activeCapture = nullptr;
}

LogCapture::LogCapture() : outer_(activeCapture) { activeCapture = this; }

LogCapture::~LogCapture() {
  // Captures are scoped objects, so they end innermost first.
  if (activeCapture == this) activeCapture = outer_;
}

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
  va_list args;
  va_start(args, format);
  if (activeCapture) {
    va_list copy;
    va_copy(copy, args);
    char small[512];
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n > 0) {
      if (size_t(n) < sizeof small) {
        activeCapture->text_.append(small, size_t(n));
      } else {
        std::string big(size_t(n) + 1, '\0');
        std::vsnprintf(&big[0], big.size(), format, args);
        activeCapture->text_.append(big.data(), size_t(n));
      }
    }
  } else {
    std::vprintf(format, args);
    // The console is often a pipe (tests, the flight runner): flush so lines
    // arrive as they are written and interleave correctly with other output.
    std::fflush(stdout);
  }
  va_end(args);
}
