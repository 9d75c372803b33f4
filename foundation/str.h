// String (a MEM holding text and its NUL), the tokenizers, text conversion and
// whole-file input and output.
#pragma once
#include "foundation/mem.h"

class String : public MEM {
 public:
  String();  // size 1: just the NUL
  String(const char* s);
  String(const String& other);
  String& operator=(const String& other);
  String& operator=(const char* s);

  const char* c_str() const { return reinterpret_cast<const char*>(data); }
  uint32_t length() const { return size ? size - 1 : 0; }

  double todouble(bool* ok = nullptr) const;
  int32_t toint(bool* ok = nullptr) const;
  void toVEC2(double out[2], bool* ok = nullptr) const;
};

bool operator==(const String& a, const String& b);  // size and every byte, NUL included
inline bool operator!=(const String& a, const String& b) { return !(a == b); }

// n bytes of src from its fourth byte on (drops a two-letter prefix and its separator).
String Substring(const String& src, uint32_t n);

// Separators: CR, tab, LF, space, NUL, '=' and ','.
bool IsSeparator(uint8_t c);
String NextWord(const String& src, uint32_t& pos);
String NextToken(MEM& buffer);  // comments and quoted strings; reads at buffer.pos

bool FileExists(const char* name);
void LoadFile(const char* name, MEM& buffer);
// Writes the whole buffer to a temporary file beside `name` and renames it
// over `name`: readers see the old file or the new one, never a part of it.
// On failure prints one line and leaves any old file untouched.
bool SaveFile(const char* name, const MEM& buffer);

// Windows name of the current errno ("ERROR_FILE_NOT_FOUND", ...).
const char* LastErrorName();

TARN_BYTEWISE_MOVABLE(String);
