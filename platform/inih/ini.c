/* The INI reader behind ini.h: Debian's inih build, rewritten for the
   Windows build, where Debian has no inih. Sizes and rules are Debian's
   (see ini.h); tests/inih compares the two on Linux. */
#include "ini.h"

#include <stddef.h>
#include <string.h>

enum {
  kMaxLine = 200,   /* the reader's buffer, NUL included */
  kMaxSection = 50, /* longer section names are cut to 49 bytes */
  kMaxName = 50     /* the name a continuation line repeats, cut the same way */
};

/* The C locale's whitespace, independent of the program's locale. */
static int IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

static char* SkipSpace(char* s) {
  while (*s && IsSpace(*s)) s++;
  return s;
}

/* Cuts trailing whitespace in place; returns s. */
static char* StripEnd(char* s) {
  char* p = s + strlen(s);
  while (p > s && IsSpace(p[-1])) *--p = '\0';
  return s;
}

/* The first byte of s that is one of `stops` (none when NULL), or a ';'
   right after whitespace (an inline comment), or the terminating NUL. */
static char* FindStop(char* s, const char* stops) {
  int afterSpace = 0;
  for (; *s; s++) {
    if (stops && strchr(stops, *s)) break;
    if (afterSpace && *s == ';') break;
    afterSpace = IsSpace(*s);
  }
  return s;
}

static void CopyCut(char* to, const char* from, size_t size) {
  size_t n = strlen(from);
  if (n > size - 1) n = size - 1;
  memcpy(to, from, n);
  to[n] = '\0';
}

int ini_parse_stream(ini_reader reader, void* stream, ini_handler handler, void* user) {
  char line[kMaxLine];
  char section[kMaxSection] = "";
  char lastName[kMaxName] = "";
  int lineNumber = 0;
  int firstError = 0;
  while (reader(line, kMaxLine, stream) != NULL) {
    /* A reader that fills the whole buffer still leaves a string. */
    line[kMaxLine - 1] = '\0';
    lineNumber++;
    char* start = line;
    if (lineNumber == 1 && (unsigned char)start[0] == 0xEF && (unsigned char)start[1] == 0xBB &&
        (unsigned char)start[2] == 0xBF)
      start += 3;
    start = SkipSpace(StripEnd(start));
    int ok = 1;
    if (*start == '\0' || *start == ';' || *start == '#') {
      /* blank or a comment */
    } else if (lastName[0] && start > line) {
      /* An indented line after a pair carries on its value: the handler
         sees the same name again with this line's text. Debian's build
         keeps a ';' comment on such a line as part of the text. */
      ok = handler(user, section, lastName, start);
    } else if (*start == '[') {
      char* end = FindStop(start + 1, "]");
      if (*end == ']') {
        *end = '\0';
        CopyCut(section, start + 1, sizeof section);
        lastName[0] = '\0';
      } else {
        ok = 0;
      }
    } else {
      char* end = FindStop(start, "=:");
      if (*end == '=' || *end == ':') {
        *end = '\0';
        char* name = StripEnd(start);
        char* value = end + 1;
        *FindStop(value, NULL) = '\0';
        value = StripEnd(SkipSpace(value));
        CopyCut(lastName, name, sizeof lastName);
        ok = handler(user, section, name, value);
      } else {
        ok = 0;
      }
    }
    if (!ok && !firstError) firstError = lineNumber;
  }
  return firstError;
}

typedef struct {
  const char* next;
  size_t left;
} StringStream;

static char* ReadStringLine(char* str, int num, void* stream) {
  StringStream* s = (StringStream*)stream;
  if (s->left == 0 || num < 2) return NULL;
  size_t n = 0;
  while (n < (size_t)num - 1 && n < s->left) {
    char c = s->next[n++];
    if (c == '\n') break;
  }
  memcpy(str, s->next, n);
  str[n] = '\0';
  s->next += n;
  s->left -= n;
  return str;
}

int ini_parse_string(const char* string, ini_handler handler, void* user) {
  StringStream s = {string, strlen(string)};
  return ini_parse_stream(ReadStringLine, &s, handler, user);
}
