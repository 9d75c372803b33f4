#include "platform/dialog/dialog.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {

std::wstring Wide(const std::string& utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  std::wstring w(size_t(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &w[0], n);
  return w;
}

// The program's text is UTF-8 (the manifest makes it the code page of every
// narrow call): the console shows it as such while the program runs, and a
// command prompt gets its own code page back afterwards.
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
  MessageBoxW(nullptr, Wide(text).c_str(), Wide(title ? title : "").c_str(),
              MB_OK | MB_SETFOREGROUND | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

#else

bool ConsoleClosesWithProgram() { return false; }
void ShowMessageBox(const char*, const std::string&, bool) {}

#endif
