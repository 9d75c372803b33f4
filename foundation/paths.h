// Paths and other text from the system, as UTF-8 on every system.
//
// The program keeps every path in a std::string of UTF-8, as Linux hands them
// over. Windows speaks UTF-16 to programs that ask for it and its code page
// to those that do not; the code page cannot spell most names (and MinGW's
// std::filesystem reads a narrow string in the C library's locale, not as
// UTF-8, whatever the code page is). So on Windows the command line and the
// environment are read as UTF-16 and converted here, and every call that
// takes a path is given the UTF-16 name built from the UTF-8 one.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

// A std::filesystem path for a UTF-8 path, and back.
std::filesystem::path FsPath(const std::string& utf8);
std::string Utf8Path(const std::filesystem::path& path);         // the system's separators as they stand
std::string Utf8GenericPath(const std::filesystem::path& path);  // forward slashes

// An environment variable's value in UTF-8; empty when unset.
std::string EnvironmentValue(const char* name);

// The program's arguments after its name, in UTF-8 (on Windows from the
// UTF-16 command line, split by Windows' own rule).
std::vector<std::string> ProgramArguments(int argc, char** argv);

// The running program's own file, absolute; empty when the system does not say.
std::string ProgramFile();

#ifdef _WIN32
std::wstring WideText(const std::string& utf8);
std::string Utf8Text(const std::wstring& wide);
#endif
