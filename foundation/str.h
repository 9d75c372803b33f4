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

// The font's 256 character cells are the Windows Latin-1 code page (1252).
// The Unicode character in a cell: 0 for the control codes and the five
// cells the code page leaves empty.
uint32_t CodePointOfCell(uint8_t cell);
// The cell holding a Unicode character, or -1 when the code page has none.
int CellOfCodePoint(uint32_t codePoint);
// The cell of the character at the start of the n (> 0) bytes at text, and
// its length in bytes. Text is UTF-8 (paths, the words of files): a
// character is the cell that holds it, or -1 when none does. A byte that
// begins no whole, shortest-form UTF-8 character is its own cell.
int NextCell(const char* text, size_t n, size_t& length);

// Windows name of the current errno ("ERROR_FILE_NOT_FOUND", ...).
const char* LastErrorName();

TARN_BYTEWISE_MOVABLE(String);
