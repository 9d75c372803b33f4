#include "foundation/str.h"

#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

#include "diag/result_codes.h"
#include "foundation/files.h"
#include "foundation/log.h"

String::String() { Resize(1); }

String::String(const char* s) {
  if (!s) s = "";
  uint32_t n = uint32_t(std::strlen(s));
  Resize(n + 1);
  if (size == n + 1) std::memcpy(data, s, size_t(n) + 1);
}

String::String(const String& other) : MEM(other) {}

String& String::operator=(const String& other) {
  MEM::operator=(other);
  return *this;
}

String& String::operator=(const char* s) {
  if (!s) s = "";
  uint32_t n = uint32_t(std::strlen(s));
  if (s >= c_str() && s <= c_str() + size) {  // assigning a piece of ourselves
    String copy(s);
    return *this = copy;
  }
  Resize(n + 1);
  if (size >= n + 1) std::memcpy(data, s, size_t(n) + 1);
  return *this;
}

bool operator==(const String& a, const String& b) {
  return a.size == b.size && std::memcmp(a.data, b.data, a.size) == 0;
}

String Substring(const String& src, uint32_t n) {
  String result;
  if (n == 0) return result;  // a String always keeps its NUL
  result.Resize(n);
  if (result.size != n) return result;
  uint32_t available = src.size > 3 ? src.size - 3 : 0;
  uint32_t copy = n < available ? n : available;
  if (copy) std::memcpy(result.data, src.data + 3, copy);
  result.data[n - 1] = 0;  // never leave text without its terminator
  return result;
}

bool IsSeparator(uint8_t c) {
  return c == 13 || c == 9 || c == 10 || c == ' ' || c == 0 || c == '=' || c == ',';
}

namespace {
String MakeString(const std::string& text) { return String(text.c_str()); }
}  // namespace

String NextWord(const String& src, uint32_t& pos) {
  std::string word;
  while (pos < src.size) {
    uint8_t c = src.data[pos];
    pos++;
    if (IsSeparator(c)) {
      if (!word.empty()) break;
      continue;
    }
    word.push_back(char(c));
  }
  return MakeString(word);
}

String NextToken(MEM& buffer) {
  std::string token;
  const uint8_t* d = buffer.data;
  uint32_t& pos = buffer.pos;
  const uint32_t size = buffer.size;
  while (pos < size) {
    uint8_t c = d[pos];
    pos++;
    if (c == '/' && pos < size && d[pos] == '*') {
      pos++;
      bool closed = false;
      while (pos < size) {
        uint8_t k = d[pos];
        pos++;
        if (k == '*' && pos < size && d[pos] == '/') {
          pos++;
          closed = true;
          break;
        }
      }
      if (!closed) return MakeString(token);
      continue;
    }
    if (c == '/' && pos < size && d[pos] == '/') {
      pos++;
      bool ended = false;
      while (pos < size) {
        uint8_t k = d[pos];
        pos++;
        if (k == 10) {
          ended = true;
          break;
        }
      }
      if (!ended) return MakeString(token);
      continue;
    }
    if (c == '"') {
      while (pos < size) {
        uint8_t k = d[pos];
        pos++;
        if (k == '"') return MakeString(token);
        token.push_back(char(k));
      }
      return MakeString(token);
    }
    if (IsSeparator(c)) {
      if (!token.empty()) return MakeString(token);
      continue;
    }
    token.push_back(char(c));
  }
  return MakeString(token);
}

double String::todouble(bool* ok) const {
  uint32_t length = this->length();
  double value = 0.0;
  uint32_t point = length;
  bool negative = false;
  for (uint32_t i = 0; i < length; i++) {
    uint8_t c = data[i];
    if (i == 0 && c == '-') {
      negative = true;
    } else if (c == '.') {
      point = i + 1;
    } else if (c >= '0' && c <= '9') {
      value = value * 10.0 + double(c - '0');
    } else {
      Log("String->todouble error! \"%s\"\n", c_str());
      if (ok) *ok = false;
      return 0.0;
    }
  }
  if (ok) *ok = true;
  for (uint32_t i = point; i < length; i++) value = value / 10.0;
  if (negative) value = -value;
  return value;
}

int32_t String::toint(bool* ok) const {
  uint32_t length = this->length();
  uint32_t value = 0;  // wraps like the 32-bit integer it stands for
  bool negative = false;
  for (uint32_t i = 0; i < length; i++) {
    uint8_t c = data[i];
    if (i == 0 && c == '-') {
      negative = true;
    } else if (c >= '0' && c <= '9') {
      value = value * 10u + uint32_t(c - '0');
    } else {
      Log("String->toint error! \"%s\", %u\n", c_str(), i);
      if (ok) *ok = false;
      return 0;
    }
  }
  if (ok) *ok = true;
  return int32_t(negative ? 0u - value : value);
}

void String::toVEC2(double out[2], bool* ok) const {
  uint32_t pos = 0;
  bool okX = false, okY = false;
  double x = NextWord(*this, pos).todouble(&okX);
  double y = NextWord(*this, pos).todouble(&okY);
  if (okX && okY && pos == size) {
    out[0] = x;
    out[1] = y;
    if (ok) *ok = true;
    return;
  }
  Log("String->toVEC2 error! \"%s\" %u\n", c_str(), pos);
  out[0] = 0.0;
  out[1] = 0.0;
  if (ok) *ok = false;
}

bool FileExists(const char* name) {
  if (!name) return false;
  int saved = errno;
  PathInfo info;
  // Asked, not opened: opening a FIFO would wait for a writer.
  bool exists = PathStatus(name, info) && !info.folder && info.readable;
  errno = saved;
  return exists;
}

void LoadFile(const char* name, MEM& buffer) {
  if (!name) name = "";
  std::string bytes, reason;
  if (!ReadWholeFile(name, FileKind::Content, bytes, reason)) {
    // A file the system would not open keeps the long-standing line; a FIFO,
    // a device or an oversized file says what it is.
    if (errno != 0) Log("Unable to load file \"%s\": (%s)\n", name, LastErrorName());
    else Log("Unable to load file \"%s\": %s\n", name, reason.c_str());
    return;
  }
  uint32_t n = uint32_t(bytes.size());
  buffer.Resize(n);
  if (buffer.size < n || n == 0) {
    Log("fread failed\n");
    return;
  }
  std::memcpy(buffer.data, bytes.data(), n);
}

bool SaveFile(const char* name, const MEM& buffer) {
  if (!name) name = "";
  std::string reason;
  if (WriteWholeFile(name, buffer.data, buffer.size, reason)) return true;
  Log("Unable to create file \"%s\": (%s)\n", name, reason.c_str());
  return false;
}

#ifdef _WIN32
// The C library keeps the Windows error of the failing file call itself.
const char* LastErrorName() { return resultCodeName(uint32_t(_doserrno)); }
#else
namespace {
// The Windows error number a failing file call would have left behind.
uint32_t WindowsErrorOf(int e) {
  switch (e) {
    case 0: return 0;                 // ERROR_SUCCESS
    case ENOENT: return 2;            // ERROR_FILE_NOT_FOUND
    case ENOTDIR: return 3;           // ERROR_PATH_NOT_FOUND
    case EMFILE: return 4;            // ERROR_TOO_MANY_OPEN_FILES
    case ENFILE: return 4;
    case EACCES: return 5;            // ERROR_ACCESS_DENIED
    case EPERM: return 5;
    case EISDIR: return 5;            // opening a directory as a file is refused
    case EBADF: return 6;             // ERROR_INVALID_HANDLE
    case ENOMEM: return 8;            // ERROR_NOT_ENOUGH_MEMORY
    case ENXIO: return 15;            // ERROR_INVALID_DRIVE
    case ENODEV: return 15;
    case EXDEV: return 17;            // ERROR_NOT_SAME_DEVICE
    case EROFS: return 19;            // ERROR_WRITE_PROTECT
    case EIO: return 31;              // ERROR_GEN_FAILURE
    case ETXTBSY: return 32;          // ERROR_SHARING_VIOLATION
    case EAGAIN: return 33;           // ERROR_LOCK_VIOLATION
    case EEXIST: return 80;           // ERROR_FILE_EXISTS
    case EINVAL: return 87;           // ERROR_INVALID_PARAMETER
    case EPIPE: return 109;           // ERROR_BROKEN_PIPE
    case ENOSPC: return 112;          // ERROR_DISK_FULL
    case EDQUOT: return 112;
    case ENOTEMPTY: return 145;       // ERROR_DIR_NOT_EMPTY
    case EBUSY: return 170;           // ERROR_BUSY
    case ENAMETOOLONG: return 206;    // ERROR_FILENAME_EXCED_RANGE
    case EFBIG: return 223;           // ERROR_FILE_TOO_LARGE
    case ELOOP: return 1921;          // ERROR_CANT_RESOLVE_FILENAME
    default: return 0xFFFFFFFFu;      // no Windows counterpart: "Unknown"
  }
}
}  // namespace

const char* LastErrorName() { return resultCodeName(WindowsErrorOf(errno)); }
#endif

namespace {
// Cells 0x80..0x9F as the Windows Latin-1 code page fills them.
const uint16_t kHighCells[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
}  // namespace

uint32_t CodePointOfCell(uint8_t cell) {
  if (cell < 32 || cell == 127) return 0;
  if (cell >= 0x80 && cell < 0xA0) return kHighCells[cell - 0x80];
  return cell;
}

int CellOfCodePoint(uint32_t codePoint) {
  if (codePoint == 0) return -1;
  if (codePoint < 0x100) return CodePointOfCell(uint8_t(codePoint)) == codePoint ? int(codePoint) : -1;
  for (int i = 0; i < 32; i++)
    if (kHighCells[i] == codePoint) return 0x80 + i;
  return -1;
}

namespace {
bool NextUtf8(const char* text, size_t n, uint32_t& codePoint, size_t& length) {
  if (n == 0) return false;
  const uint8_t lead = uint8_t(text[0]);
  if (lead < 0x80) {
    codePoint = lead, length = 1;
    return true;
  }
  size_t more;
  uint32_t cp, least;
  if (lead >= 0xC2 && lead <= 0xDF) more = 1, cp = lead & 0x1F, least = 0x80;
  else if (lead >= 0xE0 && lead <= 0xEF) more = 2, cp = lead & 0x0F, least = 0x800;
  else if (lead >= 0xF0 && lead <= 0xF4) more = 3, cp = lead & 0x07, least = 0x10000;
  else return false;
  if (n < more + 1) return false;
  for (size_t i = 1; i <= more; i++) {
    const uint8_t c = uint8_t(text[i]);
    if ((c & 0xC0) != 0x80) return false;
    cp = cp << 6 | (c & 0x3F);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  codePoint = cp, length = more + 1;
  return true;
}
}  // namespace

int NextCell(const char* text, size_t n, size_t& length) {
  uint32_t codePoint;
  if (NextUtf8(text, n, codePoint, length)) return codePoint < 0x80 ? int(codePoint) : CellOfCodePoint(codePoint);
  length = 1;
  return uint8_t(text[0]);
}
