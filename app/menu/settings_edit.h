// Writing the menu's changes into the user's settings file the way a person
// would edit it: only the values that were changed, each in its place (its
// old line, else beside the commented example of it, else at the end of its
// section, else in a new section at the end); every other line, comment and
// blank stays as it was, in its order.
#pragma once
#include <string>
#include <vector>

struct SettingChange {
  std::string section, name, value;
};

// The text with one setting set. Section and name compare without case.
std::string SetIniValue(const std::string& text, const std::string& section, const std::string& name,
                        const std::string& value);

// Applies the changes to the file at path (a missing file starts from
// `fresh`, the commented defaults) and writes it the one safe way. False with
// a plain reason when it cannot be read or written; the file is then as it was.
bool SaveSettingChanges(const std::string& path, const std::vector<SettingChange>& changes, const std::string& fresh,
                        std::string& reason);
