// A message a person sees even when the program was double-clicked: on
// Windows a message box, for a program whose console window closes with
// it. Elsewhere (and on Windows in a console someone else opened, such as
// a command prompt) the console line the program prints says it already,
// so nothing more is shown.
#pragma once
#include <string>

// True on Windows when this program is alone in its console: started from
// Explorer (a double click, a dropped file, "Open with"), its console goes
// when it ends. False elsewhere.
bool ConsoleClosesWithProgram();
// Shows text (UTF-8) in a modal message box titled `title` with an error
// (or, when `error` is false, an information) icon when
// ConsoleClosesWithProgram(); returns after the person closes it.
void ShowMessageBox(const char* title, const std::string& text, bool error = true);
