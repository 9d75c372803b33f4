/* The settings file's INI reader for the Windows build.

   Debian ships inih as a Linux library only, so the Windows build compiles
   this one in its place; the Linux build keeps using Debian's. It follows
   Debian's build of inih (55): the handler gets no line number, values
   continue on indented lines, a UTF-8 byte order mark is skipped on the
   first line, ';' and '#' start a comment line, ';' after whitespace starts
   an inline comment, the line buffer is 200 bytes on the stack, and parsing
   goes on past errors. tests/inih holds it to Debian's library, callback for
   callback. */
#ifndef INI_H
#define INI_H

#ifdef __cplusplus
extern "C" {
#endif

/* Called once per name = value pair (and once more for each continuation
   line of a value) with the current section ("" before the first), the name
   and the value, all without surrounding whitespace. The strings live only
   for the call. Returns nonzero when the pair was taken, zero for an error. */
typedef int (*ini_handler)(void* user, const char* section, const char* name, const char* value);

/* fgets-style: fills `str` with at most num - 1 bytes of the next line
   (ending after its '\n', if that fits) and a terminating NUL; returns str,
   or NULL at the end of input. A line longer than the buffer arrives in
   pieces, each parsed as a line of its own. */
typedef char* (*ini_reader)(char* str, int num, void* stream);

/* Parses everything `reader` hands out. Returns 0, or the number (from 1) of
   the first line that was neither blank, a comment, a [section], a
   name = value pair nor a continuation, or whose pair the handler refused.
   Parsing continues after an error. (inih's -1 and -2, for a file that cannot
   be opened and a failed allocation, cannot arise here: there is no file and
   the line buffer is on the stack.) */
int ini_parse_stream(ini_reader reader, void* stream, ini_handler handler, void* user);

/* The same for a NUL-terminated string. */
int ini_parse_string(const char* string, ini_handler handler, void* user);

#ifdef __cplusplus
}
#endif

#endif /* INI_H */
