#include "foundation/text_lines.h"

#include <algorithm>
#include <cstring>

char* ReadTextLine(char* out, int size, void* stream) {
  TextLines& r = *static_cast<TextLines*>(stream);
  if (r.text == nullptr || r.pos >= r.text->size() || size < 2) return nullptr;
  size_t end = r.text->find('\n', r.pos);
  size_t next = end == std::string::npos ? r.text->size() : end + 1;
  size_t n = std::min(next - r.pos, size_t(size - 1));
  std::memcpy(out, r.text->data() + r.pos, n);
  out[n] = '\0';
  r.pos = next;
  r.line++;
  return out;
}

std::string TrimmedText(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r"), b = s.find_last_not_of(" \t\r");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}
