// Text handed to inih's ini_parse_stream line by line, counting the lines
// (Debian's inih tells its handler no line number): pass ReadTextLine as the
// reader and a TextLines as its stream. inih gets each line with its line
// feed; a line longer than inih's buffer is cut there.
#pragma once
#include <cstddef>
#include <string>

struct TextLines {
  const std::string* text = nullptr;
  size_t pos = 0;
  int line = 0;  // the line last handed out, from 1
};

char* ReadTextLine(char* out, int size, void* lines);

// s without the spaces, tabs and carriage returns at its two ends.
std::string TrimmedText(const std::string& s);
// s with A-Z turned to a-z (names in settings and key lists; no locale).
std::string LowerAscii(std::string s);
