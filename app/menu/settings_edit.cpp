#include "app/menu/settings_edit.h"

#include <cerrno>

#include "foundation/files.h"
#include "foundation/text_lines.h"

namespace {

struct Line {
  std::string text;  // without its line end
  std::string end;   // "\n", "\r\n" or "" (the last line)
};

std::vector<Line> SplitLines(const std::string& text) {
  std::vector<Line> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    if (nl == std::string::npos) {
      lines.push_back({text.substr(at), ""});
      break;
    }
    size_t stop = nl > at && text[nl - 1] == '\r' ? nl - 1 : nl;
    lines.push_back({text.substr(at, stop - at), text.substr(stop, nl + 1 - stop)});
    at = nl + 1;
  }
  return lines;
}

// The section a "[name]" line opens (lower case), or false.
bool SectionOf(const std::string& line, std::string& section) {
  std::string t = TrimmedText(line);
  if (t.size() < 2 || t[0] != '[') return false;
  size_t close = t.find(']');
  if (close == std::string::npos) return false;
  section = LowerAscii(TrimmedText(t.substr(1, close - 1)));
  return true;
}

// The name of a "name = value" line (lower case), commented or not.
std::string NameOf(const std::string& line, bool& commented) {
  std::string t = TrimmedText(line);
  commented = !t.empty() && (t[0] == '#' || t[0] == ';');
  if (commented) t = TrimmedText(t.substr(1));
  size_t eq = t.find_first_of("=:");
  return eq == std::string::npos ? std::string() : LowerAscii(TrimmedText(t.substr(0, eq)));
}

}  // namespace

std::string SetIniValue(const std::string& text, const std::string& section, const std::string& name,
                        const std::string& value) {
  std::vector<Line> lines = SplitLines(text);
  const std::string wantSection = LowerAscii(section), wantName = LowerAscii(name);
  std::string newline = "\n";
  for (const Line& l : lines)
    if (!l.end.empty()) {
      newline = l.end;
      break;
    }
  const std::string setting = name + " = " + value;

  std::string current;
  bool inSection = false, found = false;
  long active = -1, example = -1, lastContent = -1, header = -1;
  for (size_t i = 0; i < lines.size(); i++) {
    std::string s;
    if (SectionOf(lines[i].text, s)) {
      // A later [section] of the same name continues it, as the reader sees it.
      inSection = s == wantSection;
      if (inSection) found = true, header = long(i), lastContent = long(i);
      continue;
    }
    if (!inSection) continue;
    bool commented = false;
    std::string n = NameOf(lines[i].text, commented);
    if (!TrimmedText(lines[i].text).empty()) lastContent = long(i);
    if (n != wantName) continue;
    if (commented) example = long(i);
    else active = long(i);
  }
  (void)header;

  if (active >= 0) {
    // Its own line, indentation and an inline comment kept.
    std::string& t = lines[size_t(active)].text;
    size_t indent = t.find_first_not_of(" \t");
    std::string comment;
    size_t eq = t.find_first_of("=:");
    size_t semi = t.find(" ;", eq), hash = t.find(" #", eq);
    size_t cut = std::min(semi, hash);
    if (cut != std::string::npos) {
      size_t keep = t.find_last_not_of(" \t", cut);
      size_t spaces = keep == std::string::npos ? cut : keep + 1;
      comment = t.substr(spaces);
    }
    t = t.substr(0, indent) + setting + comment;
  } else if (found) {
    // Beside its commented example, else after the section's last line.
    long after = example >= 0 ? example : lastContent;
    Line& prev = lines[size_t(after)];
    if (prev.end.empty()) prev.end = newline;
    lines.insert(lines.begin() + after + 1, Line{setting, newline});
  } else {
    if (!lines.empty() && lines.back().end.empty()) lines.back().end = newline;
    if (!lines.empty() && !TrimmedText(lines.back().text).empty()) lines.push_back({"", newline});
    lines.push_back({"[" + section + "]", newline});
    lines.push_back({setting, newline});
  }
  std::string out;
  for (const Line& l : lines) out += l.text + l.end;
  return out;
}

bool SaveSettingChanges(const std::string& path, const std::vector<SettingChange>& changes, const std::string& fresh,
                        std::string& reason) {
  std::string text;
  if (!ReadWholeFile(path, FileKind::Settings, text, reason)) {
    if (errno != ENOENT) return false;
    text = fresh;
    // Its folder, as --write-config makes it.
    size_t slash = path.find_last_of("/\\");
    if (slash != std::string::npos && slash > 0 && !MakePrivateFolders(path.substr(0, slash), reason)) return false;
  }
  for (const SettingChange& c : changes) text = SetIniValue(text, c.section, c.name, c.value);
  return WriteWholeFile(path, text, reason);
}
