#include "foundation/paths.h"

#include <cstdlib>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>
#endif

#ifdef _WIN32

std::wstring WideText(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  std::wstring wide(size_t(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0], n);
  return wide;
}

std::string Utf8Text(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), &utf8[0], n, nullptr, nullptr);
  return utf8;
}

std::filesystem::path FsPath(const std::string& utf8) { return std::filesystem::path(WideText(utf8)); }
std::string Utf8Path(const std::filesystem::path& path) { return Utf8Text(path.wstring()); }
std::string Utf8GenericPath(const std::filesystem::path& path) { return Utf8Text(path.generic_wstring()); }

std::string EnvironmentValue(const char* name) {
  const wchar_t* value = _wgetenv(WideText(name).c_str());
  return value ? Utf8Text(value) : std::string();
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::vector<std::string> args;
  for (int i = 1; i < count; i++) args.push_back(Utf8Text(wide[i]));
  LocalFree(wide);
  return args;
}

std::string ProgramFile() {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, &name[0], DWORD(name.size()));
    if (n == 0) return std::string();
    if (n < name.size()) return Utf8Text(name.substr(0, n));
    name.resize(name.size() * 2);  // a long path: \\?\ names reach 32,767 characters
  }
}

#else

std::filesystem::path FsPath(const std::string& utf8) { return std::filesystem::path(utf8); }
std::string Utf8Path(const std::filesystem::path& path) { return path.string(); }
std::string Utf8GenericPath(const std::filesystem::path& path) { return path.generic_string(); }

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : std::string();
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::string ProgramFile() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : exe.string();
}

#endif
