// Runs the same bytes through Debian's inih and through platform/inih (built
// a second time with its functions renamed tarn_ini_*) and records what each
// one did: every reader call with the buffer size it offered, every handler
// call in order, and the result.
#pragma once
#include <ini.h>  // Debian's

#include <cstring>
#include <string>
#include <vector>

extern "C" int tarn_ini_parse_stream(ini_reader reader, void* stream, ini_handler handler, void* user);
extern "C" int tarn_ini_parse_string(const char* string, ini_handler handler, void* user);

namespace inih_diff {

struct Trace {
  std::vector<std::string> calls;
  int result = 0;
};

struct Run {
  const std::string* bytes;
  size_t pos = 0;
  Trace trace;
};

// fgets over a byte string that may hold NULs.
inline char* ReadLine(char* out, int size, void* stream) {
  Run& r = *static_cast<Run*>(stream);
  r.trace.calls.push_back("read " + std::to_string(size));
  if (r.pos >= r.bytes->size() || size < 2) return nullptr;
  size_t n = 0;
  while (n < size_t(size - 1) && r.pos + n < r.bytes->size())
    if ((*r.bytes)[r.pos + n++] == '\n') break;
  std::memcpy(out, r.bytes->data() + r.pos, n);
  out[n] = '\0';
  r.pos += n;
  return out;
}

// Refuses every pair named "b", so the handler's errors count in the result.
inline int OnPair(void* user, const char* section, const char* name, const char* value) {
  static_cast<Run*>(user)->trace.calls.push_back(std::string("[") + section + "] " + name + " = " + value);
  return std::strcmp(name, "b") != 0;
}

using Parser = int (*)(ini_reader, void*, ini_handler, void*);
using StringParser = int (*)(const char*, ini_handler, void*);

inline Trace Stream(Parser parse, const std::string& bytes) {
  Run r;
  r.bytes = &bytes;
  r.trace.result = parse(ReadLine, &r, OnPair, &r);
  return r.trace;
}

// Through the string entry point and its own reader (up to the first NUL).
inline Trace String(StringParser parse, const std::string& bytes) {
  Run r;
  r.bytes = &bytes;
  r.trace.result = parse(bytes.c_str(), OnPair, &r);
  return r.trace;
}

}  // namespace inih_diff
