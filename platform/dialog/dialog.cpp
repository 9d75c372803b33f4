#include "platform/dialog/dialog.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "foundation/paths.h"

namespace {

// The program's text is UTF-8 (paths included, see foundation/paths.h): the
// console shows it as such while the program runs, and a command prompt gets
// its own code page back afterwards.
struct Utf8Console {
  UINT before = GetConsoleOutputCP();
  Utf8Console() {
    if (before) SetConsoleOutputCP(CP_UTF8);
  }
  ~Utf8Console() {
    if (before) SetConsoleOutputCP(before);
  }
} utf8Console;

}  // namespace

bool ConsoleClosesWithProgram() {
  DWORD processes[2];
  return GetConsoleProcessList(processes, 2) == 1;
}

void ShowMessageBox(const char* title, const std::string& text, bool error) {
  if (!ConsoleClosesWithProgram()) return;
  MessageBoxW(nullptr, WideText(text).c_str(), WideText(title ? title : "").c_str(),
              MB_OK | MB_SETFOREGROUND | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

#else

bool ConsoleClosesWithProgram() { return false; }
void ShowMessageBox(const char*, const std::string&, bool) {}

#endif
