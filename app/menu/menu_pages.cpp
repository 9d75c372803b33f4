#include "app/menu/menu_pages.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>


#include "air/air.h"
#include "aircraft/aircraft.h"
#include "app/aircraft_reload.h"
#include "app/flight_panel.h"
#include "app/flight_session.h"
#include "app/key_help.h"
#include "app/menu/calibration.h"
#include "app/menu/menu.h"
#include "app/settings.h"
#include "app/stick.h"
#include "app/user_files.h"
#include "flightrec/flight_file.h"
#include "foundation/files.h"
#include "foundation/paths.h"
#include "platform/gpu/device.h"
#include "platform/input/joystick.h"
#include "platform/window/window.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"

namespace {

const ImVec4 kRed(1.0f, 0.45f, 0.4f, 1.0f);

int gBindingKey = -1;     // the action waiting for a key
int gBindingButton = -1;  // the action waiting for a stick button
std::vector<uint8_t> gLastButtons, gLastControllerButtons;
std::string gBindingNote;  // what the last binding did (a conflict moved)
StickCalibration gCalibration;
std::string gCalibrationProblem;
std::map<ImGuiID, double> gRefused;  // typed values outside their range, by field

const char* const kAxisSection[2] = {"pitch", "roll"};

// The shortest text that reads back as exactly v: a calibration written
// with fewer digits would miss the stick's ends by a hair.
std::string Format(double v) {
  char buf[32];
  for (int digits = 6; digits <= 17; digits++) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, v);
    if (std::strtod(buf, nullptr) == v) break;
  }
  return buf;
}

const JoystickReading* FlyingDevice() {
  const std::vector<JoystickReading>& devices = Joysticks();
  int chosen = ChooseStickDevice(devices, UserSettings);
  return chosen >= 0 ? &devices[size_t(chosen)] : nullptr;
}

// A number typed or stepped: a value outside [lo, hi] is refused and the
// field says so with the range; true when value took a new one.
bool RangeField(const char* label, double& value, double lo, double hi, double step, const char* format = "%.3f") {
  ImGuiID id = ImGui::GetID(label);
  auto refused = gRefused.find(id);
  double shown = refused != gRefused.end() ? refused->second : value;
  ImGui::SetNextItemWidth(160);
  bool changed = false;
  // No step buttons: with them this ImGui asserts when a typed value is
  // committed with Enter (the edit is marked on the button's id).
  (void)step;
  if (ImGui::InputDouble(label, &shown, 0, 0, format)) {
    if (shown >= lo && shown <= hi && std::isfinite(shown)) {
      gRefused.erase(id);
      changed = shown != value;
      value = shown;
    } else {
      gRefused[id] = shown;
    }
  }
  ImGui::SameLine();
  if (gRefused.count(id))
    ImGui::TextColored(kRed, "refused: %s is outside %s .. %s", Format(gRefused[id]).c_str(), Format(lo).c_str(),
                       Format(hi).c_str());
  else
    ImGui::TextDisabled("%s .. %s", Format(lo).c_str(), Format(hi).c_str());
  return changed;
}

// A bar for a value in -1..1, filled from the middle.
void CentredBar(const char* label, double v) {
  char text[48];
  std::snprintf(text, sizeof text, "%s %+.3f", label, v);
  ImGui::ProgressBar(float((std::max(-1.0, std::min(1.0, v)) + 1) / 2), ImVec2(260, 0), text);
}

std::string KeysText(const std::vector<uint32_t>& keys) {
  std::string t;
  for (uint32_t k : keys) t += (t.empty() ? "" : ", ") + KeyDisplayName(k);
  return t;
}

std::string ButtonsText(const std::vector<ButtonRef>& buttons) {
  std::string t;
  for (const ButtonRef& b : buttons)
    t += (t.empty() ? "" : ", ") + (b.standard ? std::string(ControllerButtonName(b.index)) : std::to_string(b.index));
  return t;
}

std::string AxisText(const AxisSettings& a) {
  return a.standard ? std::string(ControllerAxisName(a.index)) : std::to_string(a.index);
}

// Writes the fields of an axis that differ from before: a value the pilot
// did not touch stays out of the file.
void SaveAxis(int which, const AxisSettings& before, const AxisSettings& a) {
  const std::string s = kAxisSection[which];
  std::vector<SettingChange> c;
  if (a.standard != before.standard || a.index != before.index) c.push_back({s, "axis", AxisText(a)});
  if (a.deadzone != before.deadzone) c.push_back({s, "deadzone", Format(a.deadzone)});
  if (a.expo != before.expo) c.push_back({s, "expo", Format(a.expo)});
  if (a.rate != before.rate) c.push_back({s, "rate", Format(a.rate)});
  if (a.trim != before.trim) c.push_back({s, "trim", Format(a.trim)});
  if (a.invert != before.invert) c.push_back({s, "invert", a.invert ? "true" : "false"});
  if (a.low != before.low) c.push_back({s, "low", Format(a.low)});
  if (a.high != before.high) c.push_back({s, "high", Format(a.high)});
  if (!c.empty()) SaveMenuSettings(c);
}

// ---- Controls --------------------------------------------------------------------

void BindKey(int action, uint32_t code) {
  std::vector<SettingChange> changes;
  gBindingNote.clear();
  for (int i = 0; i < kActionCount; i++) {
    if (i == action) continue;
    auto& keys = UserSettings.keys[i];
    if (std::find(keys.begin(), keys.end(), code) == keys.end()) continue;
    keys.erase(std::remove(keys.begin(), keys.end(), code), keys.end());
    gBindingNote += KeyDisplayName(code) + " was " + ActionName(i) + "'s key; " + ActionName(i) +
                    (keys.empty() ? " now has no key. " : " keeps " + KeysText(keys) + ". ");
    changes.push_back({"keys", ActionName(i), KeysText(keys)});
  }
  UserSettings.keys[action] = {code};
  changes.push_back({"keys", ActionName(action), KeyDisplayName(code)});
  ApplyKeySettings(UserSettings);
  SaveMenuSettings(changes);
}

// A row of the keys' or the buttons' table: its action's name, then the next column.
void ActionRow(int action) {
  ImGui::PushID(action);
  ImGui::TableNextRow();
  ImGui::TableNextColumn();
  ImGui::TextUnformatted(ActionName(action));
  ImGui::TableNextColumn();
}

void KeysTable() {
  if (!ImGui::BeginTable("keys", 4, ImGuiTableFlags_RowBg | ImGuiTableFlags_SizingFixedFit)) return;
  ImGui::TableSetupColumn("action");
  ImGui::TableSetupColumn("what it does");
  ImGui::TableSetupColumn("keys", ImGuiTableColumnFlags_WidthFixed, 150);
  ImGui::TableSetupColumn("");
  ImGui::TableHeadersRow();
  for (int i = 0; i < kActionCount; i++) {
    ActionRow(i);
    ImGui::TextUnformatted(ActionText(i));
    ImGui::TableNextColumn();
    if (gBindingKey == i) ImGui::TextColored(kRed, "press a key...");
    else ImGui::TextUnformatted(KeysText(UserSettings.keys[i]).c_str());
    ImGui::TableNextColumn();
    if (ImGui::SmallButton("Set key")) BeginKeyBinding(i);
    ImGui::PopID();
  }
  ImGui::EndTable();
  if (!gBindingNote.empty()) ImGui::TextColored(kRed, "%s", gBindingNote.c_str());
}

void ButtonsTable(const JoystickReading* d) {
  if (!ImGui::BeginTable("buttons", 3, ImGuiTableFlags_RowBg | ImGuiTableFlags_SizingFixedFit)) return;
  for (int i = 0; i < kActionCount; i++) {
    ActionRow(i);
    if (gBindingButton == i) ImGui::TextColored(kRed, d ? "press a button on the stick..." : "no stick connected");
    else ImGui::TextUnformatted(ButtonsText(UserSettings.buttons[i]).c_str());
    ImGui::TableNextColumn();
    if (ImGui::SmallButton("Set button")) gBindingButton = i, gBindingKey = -1;
    ImGui::SameLine();
    if (ImGui::SmallButton("None")) {
      UserSettings.buttons[i].clear();
      SaveMenuSettings({{"buttons", ActionName(i), ""}});
    }
    ImGui::PopID();
  }
  ImGui::EndTable();
}

void AxisControls(int which, const JoystickReading* d) {
  AxisSettings& a = which == 0 ? UserSettings.pitch : UserSettings.roll;
  const AxisSettings before = a;
  ImGui::PushID(which);
  bool changed = false;
  // The axis: the standard controller axes, then the device's raw ones.
  std::string current = a.standard ? std::string(ControllerAxisName(a.index)) : "raw " + std::to_string(a.index);
  ImGui::SetNextItemWidth(160);
  if (ImGui::BeginCombo("axis", current.c_str())) {
    for (int i = 0; i < kControllerAxisCount; i++)
      if (ImGui::Selectable(ControllerAxisName(i), a.standard && a.index == i)) a.standard = true, a.index = i, changed = true;
    size_t raw = d ? std::max<size_t>(d->axes.size(), 1) : 8;
    for (size_t i = 0; i < raw; i++)
      if (ImGui::Selectable(("raw " + std::to_string(i)).c_str(), !a.standard && a.index == int(i)))
        a.standard = false, a.index = int(i), changed = true;
    ImGui::EndCombo();
  }
  changed |= RangeField("deadzone", a.deadzone, 0, 0.9, 0.01);
  changed |= RangeField("expo", a.expo, 0, 1, 0.05);
  changed |= RangeField("rate", a.rate, 0, 1, 0.05);
  changed |= RangeField("trim", a.trim, -0.5, 0.5, 0.01);
  changed |= ImGui::Checkbox("invert", &a.invert);
  if (a.low != -1 || a.high != 1) {
    ImGui::SameLine();
    ImGui::TextDisabled("calibrated: ends at %+.3f and %+.3f", a.low, a.high);
    ImGui::SameLine();
    if (ImGui::SmallButton("forget")) a.low = -1, a.high = 1, changed = true;
  }
  double raw = 0;
  if (d) {
    if (a.standard && d->controller) raw = a.index < kControllerAxisCount ? d->controllerAxes[a.index] : 0;
    else raw = size_t(a.index) < d->axes.size() ? d->axes[size_t(a.index)] : 0;
  }
  CentredBar("raw", raw);
  ImGui::SameLine();
  CentredBar("shaped", d ? ShapeAxis(raw, a) : 0);
  if (changed) SaveAxis(which, before, a);
  ImGui::PopID();
}

void ControlsPage() {
  const JoystickReading* d = FlyingDevice();
  if (ImGui::CollapsingHeader("Keys", ImGuiTreeNodeFlags_DefaultOpen)) KeysTable();
  if (ImGui::CollapsingHeader("Stick", ImGuiTreeNodeFlags_DefaultOpen)) {
    const std::vector<JoystickReading>& devices = Joysticks();
    std::string shown = UserSettings.device.empty() ? "the first connected" : UserSettings.device;
    ImGui::SetNextItemWidth(360);
    if (ImGui::BeginCombo("device", shown.c_str())) {
      if (ImGui::Selectable("the first connected", UserSettings.device.empty())) {
        UserSettings.device.clear();
        SaveMenuSettings({{"stick", "device", ""}});
      }
      for (const JoystickReading& j : devices)
        if (ImGui::Selectable(j.name.c_str(), !UserSettings.device.empty() && j.name == UserSettings.device)) {
          UserSettings.device = j.name;
          SaveMenuSettings({{"stick", "device", j.name}});
        }
      ImGui::EndCombo();
    }
    ImGui::Text("%s", d ? ("Flying with: " + d->name).c_str() : "No stick connected: the keys fly.");
    for (int which = 0; which < 2; which++) {
      ImGui::Separator();
      ImGui::TextUnformatted(which == 0 ? "Pitch" : "Roll");
      AxisControls(which, d);
    }
  }
  if (ImGui::CollapsingHeader("Stick buttons")) ButtonsTable(d);
}

// ---- Calibrate a stick ---------------------------------------------------------

int gCalibrationPrompts = 0;

void CalibratePage() {
  const JoystickReading* d = FlyingDevice();
  if (!d) {
    ImGui::TextWrapped("No stick connected. Connect the transmitter or joystick (in its USB joystick mode).");
    return;
  }
  ImGui::Text("Device: %s (%zu axes)", d->name.c_str(), d->axes.size());
  if (gCalibration.step() == StickCalibration::kDone && gCalibrationPrompts == 0) {
    ImGui::TextWrapped("Finds the pitch and roll axes, the end of each that gives +1, their centres and how far "
                       "they reach. Three prompts.");
    if (ImGui::Button("Start")) {
      gCalibration.Start(UserSettings.pitch, UserSettings.roll);
      gCalibration.Feed(d->axes);
      gCalibrationPrompts = 1;
      gCalibrationProblem.clear();
    }
    return;
  }
  if (gCalibration.step() != StickCalibration::kDone) {
    ImGui::Text("Prompt %d of 3", gCalibrationPrompts);
    ImGui::TextWrapped("%s", gCalibration.Prompt());
    if (ImGui::Button("Next")) {
      if (gCalibration.Next(gCalibrationProblem)) gCalibrationPrompts++;
    }
    ImGui::SameLine();
    if (ImGui::Button("Cancel")) gCalibration = StickCalibration(), gCalibrationPrompts = 0;
    if (!gCalibrationProblem.empty()) ImGui::TextColored(kRed, "%s", gCalibrationProblem.c_str());
    for (size_t i = 0; i < d->axes.size(); i++) CentredBar(("axis " + std::to_string(i)).c_str(), d->axes[i]);
    return;
  }
  const AxisSettings &p = gCalibration.pitch(), &r = gCalibration.roll();
  ImGui::Text("Pitch: axis %d, centre %+.3f, ends %+.3f .. %+.3f%s", p.index, -p.trim, p.low, p.high,
              p.invert ? ", inverted" : "");
  ImGui::Text("Roll:  axis %d, centre %+.3f, ends %+.3f .. %+.3f%s", r.index, -r.trim, r.low, r.high,
              r.invert ? ", inverted" : "");
  CentredBar("pitch", ShapeAxis(d->axes[size_t(p.index)], p));
  ImGui::SameLine();
  CentredBar("roll", ShapeAxis(d->axes[size_t(r.index)], r));
  if (ImGui::Button("Use and save")) {
    UseCalibration(p, r);
    gCalibrationPrompts = 0;
  }
  ImGui::SameLine();
  if (ImGui::Button("Discard")) gCalibrationPrompts = 0;
}

// ---- Air -------------------------------------------------------------------------

void AirPage() {
  air::Settings s = air::Current;
  bool changed = false;
  ImGui::TextWrapped("The air in force now; each change rebuilds it at once and is saved.");
  changed |= RangeField("wind speed (m/s at 10 m)", s.windSpeed, 0, 50, 0.5);
  changed |= RangeField("wind from (degrees)", s.windFrom, 0, 360, 5);
  const char* const severities[] = {"off", "light", "moderate", "severe"};
  int t = int(s.turbulence);
  ImGui::SetNextItemWidth(160);
  if (ImGui::Combo("turbulence", &t, severities, 4)) s.turbulence = air::Severity(t), changed = true;
  changed |= ImGui::Checkbox("thermals over the land", &s.thermals);
  if (s.thermals) changed |= RangeField("thermals per km2", s.thermalDensity, 0, 50, 0.5);
  double seed = double(s.seed);
  if (RangeField("seed", seed, 0, 4294967295.0, 1, "%.0f")) s.seed = uint64_t(seed), changed = true;
  if (!s.gusts.empty() || !s.placed.empty())
    ImGui::TextDisabled("%zu gusts and %zu placed thermals from the settings file stay.", s.gusts.size(),
                        s.placed.size());
  if (!changed) return;
  air::Current = s;
  UserSettings.air = s;
  air::Rebuild();
  SaveMenuSettings({{"air", "wind", Format(s.windSpeed) + " " + Format(s.windFrom)},
                    {"air", "turbulence", severities[int(s.turbulence)]},
                    {"air", "thermals", s.thermals ? "on " + Format(s.thermalDensity) : std::string("off")},
                    {"air", "seed", std::to_string(s.seed)}});
}

// ---- Aircraft --------------------------------------------------------------------

content::AircraftParams gAircraft;  // the values being edited
bool gAircraftRead = false;
bool gApplyAircraft = false;
std::string gAircraftNote;

void AircraftPage() {
  if (!gAircraftRead) gAircraft = CurrentAircraftParams, gAircraftRead = true;
  const std::string& file = WatchedAircraftFile();
  ImGui::TextWrapped("%s", file.empty() ? "Flying the built-in machine." : ("Flying " + file).c_str());
  if (ImGui::Button("Apply (rebuilds the aircraft at the reset point)")) gApplyAircraft = true;
  ImGui::SameLine();
  if (ImGui::Button("Undo edits")) gAircraft = CurrentAircraftParams, gRefused.clear();
  if (!file.empty()) {
    ImGui::SameLine();
    if (ImGui::Button("Save to the file")) {
      std::string reason;
      gAircraftNote = content::WriteAircraftFile(file, CurrentAircraftParams, reason)
                          ? "Saved the flying values to " + file
                          : "Could not save " + file + " (" + reason + "); the file is as it was";
    }
  }
  if (!gAircraftNote.empty()) ImGui::TextColored(kRed, "%s", gAircraftNote.c_str());
  ImGui::BeginChild("values");
  std::string section;
  bool open = false;
  // Every value of the file's table, grouped as the file groups them.
#define AIRCRAFT_MENU_FIELD(type, sec, key, member, def, lo, hi, unit, doc)                        \
  if (section != #sec) {                                                                            \
    section = #sec;                                                                                 \
    open = ImGui::CollapsingHeader(#sec);                                                           \
  }                                                                                                 \
  if (open) {                                                                                       \
    double v = double(gAircraft.member);                                                            \
    if (RangeField(#sec "." #key, v, lo, hi, #type[0] == 'I' ? 1 : 0.01, #type[0] == 'I' ? "%.0f" : "%.4g") && \
        (#type[0] != 'I' || v == std::floor(v)))                                                    \
      gAircraft.member = decltype(gAircraft.member)(v);                                             \
    if (ImGui::IsItemHovered()) ImGui::SetTooltip("%s (%s)", doc, unit);                            \
  }
  AIRCRAFT_VALUES(AIRCRAFT_MENU_FIELD)
#undef AIRCRAFT_MENU_FIELD
  ImGui::EndChild();
}

// ---- Flights ---------------------------------------------------------------------

struct RecordedFlight {
  std::string name, date;
  double seconds = -1;  // -1: not a flight that reads
  uint64_t bytes = 0;
};
std::vector<RecordedFlight> gFlights;
bool gFlightsRead = false;

// The flights folder's recordings, newest first; read once when the page
// is first shown, not every frame (a flight may be megabytes).
std::vector<RecordedFlight> ListRecordedFlights() {
  std::vector<RecordedFlight> out;
  std::error_code failed;
  for (const auto& entry : std::filesystem::directory_iterator(FsPath(FlightsDirectory()), failed)) {
    if (entry.path().extension() != ".tarnflight") continue;
    RecordedFlight f;
    f.name = Utf8Path(entry.path().filename());
    const std::string path = Utf8Path(entry.path());
    std::string text, reason;
    if (!ReadWholeFile(path, FileKind::Flight, text, reason)) continue;
    f.bytes = text.size();
    PathInfo info;
    if (PathStatus(path, info)) {
      char buf[32];
      time_t when = time_t(info.modified);
      std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", std::localtime(&when));
      f.date = buf;
    }
    flight::Flight flight;
    std::string error;
    if (flight::ParseFlight(text, flight, error) && flight.recorded && !flight.frames.empty())
      f.seconds = flight::ElapsedSeconds(flight.startTicks, flight.frames.back().ticks, flight.frequency);
    out.push_back(f);
  }
  std::sort(out.begin(), out.end(), [](const RecordedFlight& a, const RecordedFlight& b) { return a.date > b.date; });
  return out;
}

std::string gReplayWanted;  // a flight chosen to replay, started between frames

void FlightsPage() {
  bool recording = FlightRecording();
  ImGui::Text(recording ? "Recording this flight." : "Not recording.");
  if (ImGui::Button(recording ? "Stop recording" : "Start recording")) {
    ToggleFlightRecording();
    gFlightsRead = false;
  }
  ImGui::SameLine();
  if (ImGui::Button("Refresh list")) gFlightsRead = false;
  // The pace of every replay, this one and the next (its keys do the same).
  ImGui::Text("Replay speed:");
  for (int i = 0; i < kReplaySpeedCount; i++) {
    ImGui::SameLine();
    if (ImGui::RadioButton(ReplaySpeedText(i), ReplaySpeedIndex() == i)) SetReplaySpeedIndex(i);
  }
  ImGui::Separator();
  if (!gFlightsRead) gFlights = ListRecordedFlights(), gFlightsRead = true;
  const std::vector<RecordedFlight>& flights = gFlights;
  if (flights.empty()) {
    ImGui::TextDisabled("No recorded flights yet.");
    return;
  }
  if (recording) ImGui::TextDisabled("Stop the recording to replay a flight.");
  if (!ImGui::BeginTable("flights", 5, ImGuiTableFlags_RowBg | ImGuiTableFlags_SizingFixedFit | ImGuiTableFlags_ScrollY,
                         ImVec2(0, 300)))
    return;
  ImGui::TableSetupColumn("flight");
  ImGui::TableSetupColumn("date");
  ImGui::TableSetupColumn("length");
  ImGui::TableSetupColumn("size");
  ImGui::TableSetupColumn("");
  ImGui::TableHeadersRow();
  for (const RecordedFlight& f : flights) {
    ImGui::TableNextRow();
    ImGui::TableNextColumn();
    ImGui::TextUnformatted(f.name.c_str());
    ImGui::TableNextColumn();
    ImGui::TextUnformatted(f.date.c_str());
    ImGui::TableNextColumn();
    if (f.seconds >= 0) ImGui::Text("%d:%02d", int(f.seconds) / 60, int(f.seconds) % 60);
    else ImGui::TextDisabled("?");
    ImGui::TableNextColumn();
    ImGui::Text("%.1f KiB", double(f.bytes) / 1024);
    ImGui::TableNextColumn();
    if (f.seconds >= 0 && !recording) {
      ImGui::PushID(f.name.c_str());
      if (ImGui::SmallButton("Replay")) ChooseFlightToReplay(PathIn(FlightsDirectory(), f.name));
      ImGui::PopID();
    }
  }
  ImGui::EndTable();
  ImGui::TextDisabled("Replay keys: %s/%s slower/faster, %s/%s 10 s back/forward (in %s).",
                      PrimaryKeyName(kActReplaySlower).c_str(), PrimaryKeyName(kActReplayFaster).c_str(),
                      PrimaryKeyName(kActReplayBack).c_str(), PrimaryKeyName(kActReplayForward).c_str(),
                      FlightsDirectory().c_str());
}

// ---- Display ---------------------------------------------------------------------

const char* PanelWord(int panel) { return panel == 0 ? "off" : panel == 1 ? "on" : "frame_rate"; }

void DisplayPage() {
  Settings d = UserSettings;
  // The panel's key may have changed it since the start: the page shows it as it is.
  d.panel = ShowFlightPanel ? (ShowFrameRate ? 2 : 1) : 0;
  Settings before = d;
  ImGui::TextWrapped("What the window shows. Each change acts at once and is saved; anti-aliasing at the next "
                     "start. F7 or Alt+Enter: full screen.");
  const char* const panels[] = {"off", "on", "on, with the frame rate"};
  ImGui::SetNextItemWidth(200);
  ImGui::Combo("flight data panel", &d.panel, panels, 3);
  ImGui::Checkbox("cockpit instruments (the dials' needles)", &d.instruments);
  RangeField("head-up text scale", d.hudScale, 0.5, 4, 0.25, "%.2f");
  const int counts[] = {0, 2, 4, 8};
  const char* const samples[] = {"none", "2 samples", "4 samples", "8 samples"};
  int aa = 0;
  for (int i = 0; i < 4; i++)
    if (counts[i] == d.antialias) aa = i;
  ImGui::SetNextItemWidth(200);
  if (ImGui::Combo("anti-aliasing", &aa, samples, 4)) d.antialias = counts[aa];
  int now = Device ? WindowDeviceSamples(Device) : 0;
  ImGui::SameLine();
  if (now > 0) ImGui::TextDisabled("in force now: %d samples", now);
  else ImGui::TextDisabled("in force now: none");
  ImGui::Separator();
  ImGui::TextUnformatted("The field pilot's spot (world metres; the view's own key goes there)");
  RangeField("x", d.fieldSpot[0], -1e5, 1e5, 1, "%.1f");
  RangeField("y", d.fieldSpot[1], -1e5, 1e5, 1, "%.1f");
  ChangeDisplaySettings(before, d);
}

}  // namespace

void ChooseFlightToReplay(const std::string& path) { gReplayWanted = path; }

void ChangeDisplaySettings(const Settings& before, const Settings& after) {
  std::vector<SettingChange> changes;
  if (after.panel != before.panel) changes.push_back({"display", "panel", PanelWord(after.panel)});
  if (after.instruments != before.instruments)
    changes.push_back({"display", "instruments", after.instruments ? "true" : "false"});
  if (after.hudScale != before.hudScale) changes.push_back({"display", "hud_scale", Format(after.hudScale)});
  if (after.antialias != before.antialias)
    changes.push_back({"display", "antialias", std::to_string(after.antialias)});
  if (after.fieldSpot[0] != before.fieldSpot[0] || after.fieldSpot[1] != before.fieldSpot[1])
    changes.push_back({"field", "spot", Format(after.fieldSpot[0]) + " " + Format(after.fieldSpot[1])});
  if (changes.empty()) return;
  UserSettings.panel = after.panel;
  UserSettings.instruments = after.instruments;
  UserSettings.hudScale = after.hudScale;
  UserSettings.antialias = after.antialias;
  UserSettings.fieldSpot[0] = after.fieldSpot[0];
  UserSettings.fieldSpot[1] = after.fieldSpot[1];
  ApplyDisplaySettings(UserSettings);
  SaveMenuSettings(changes);
}

void MenuPagesOpened() {
  gFlightsRead = false;
  gReplayWanted.clear();
  gAircraftRead = false;
  gAircraftNote.clear();
  gBindingKey = gBindingButton = -1;
  gBindingNote.clear();
  gRefused.clear();
}

void MenuPagesClosed() {
  gBindingKey = gBindingButton = -1;
  gCalibration = StickCalibration();
  gCalibrationPrompts = 0;
}

void UseCalibration(const AxisSettings& pitch, const AxisSettings& roll) {
  const AxisSettings pitchBefore = UserSettings.pitch, rollBefore = UserSettings.roll;
  UserSettings.pitch = pitch;
  UserSettings.roll = roll;
  SaveAxis(0, pitchBefore, pitch);
  SaveAxis(1, rollBefore, roll);
}

void BeginKeyBinding(int action) {
  gBindingKey = action;
  gBindingButton = -1;
}

bool MenuPagesTakeKey(uint32_t code) {
  if (gBindingKey < 0) return false;
  int action = gBindingKey;
  gBindingKey = -1;
  if (code == VK_ESCAPE) return true;  // cancels
  // Only a key the settings file can name again.
  std::string name = KeyDisplayName(code);
  if (name.empty() || VirtualKeyFromKeyName(name.c_str()) != code) {
    gBindingNote = "That key cannot be bound: it has no name the settings file takes.";
    return true;
  }
  BindKey(action, code);
  return true;
}

bool ApplyMenuAircraft(const content::AircraftParams& params) {
  gAircraft = params;
  gAircraftNote.clear();
  bool ok = RebuildAircraft(params, "The menu's aircraft");
  if (ok) MenuAfterReset();
  else gAircraftNote = "Not applied: the values cannot be built together (the console names each rule)";
  return ok;
}

void MenuPagesInputPass() {
  // The rebuild runs here, between frames, as the file's reload does.
  if (gApplyAircraft) {
    gApplyAircraft = false;
    ApplyMenuAircraft(gAircraft);
  }
  if (!gReplayWanted.empty()) {
    // The menu gives way to the replay, which starts with the next frame
    // and runs its own pauses: closing resumes nothing.
    std::string path;
    path.swap(gReplayWanted);
    if (ReplayFlightFile(path)) {
      MenuAfterReset();
      CloseMenu();
      return;
    }
    SetMenuStatus("Could not replay " + path + " (the console line says why)");
  }
  const JoystickReading* d = FlyingDevice();
  if (d && gCalibration.step() != StickCalibration::kDone) gCalibration.Feed(d->axes);
  if (!d || gBindingButton < 0) {
    gLastButtons.clear();
    return;
  }
  // The first button to go down binds: a standard one by name when the
  // device has the standard layout.
  if (gLastButtons.size() == d->buttons.size()) {
    for (int b = 0; d->controller && b < kControllerButtonCount; b++)
      if (d->controllerButtons[b] && !gLastControllerButtons[size_t(b)]) {
        UserSettings.buttons[gBindingButton] = {{true, b}};
        SaveMenuSettings({{"buttons", ActionName(gBindingButton), ControllerButtonName(b)}});
        gBindingButton = -1;
        break;
      }
    for (size_t b = 0; gBindingButton >= 0 && !d->controller && b < d->buttons.size(); b++)
      if (d->buttons[b] && !gLastButtons[b]) {
        UserSettings.buttons[gBindingButton] = {{false, int(b)}};
        SaveMenuSettings({{"buttons", ActionName(gBindingButton), std::to_string(b)}});
        gBindingButton = -1;
      }
  }
  gLastButtons = d->buttons;
  gLastControllerButtons.assign(d->controllerButtons, d->controllerButtons + kControllerButtonCount);
}

bool DrawMenuPages() {
  ImGuiIO& io = ImGui::GetIO();
  ImVec2 size(std::min(io.DisplaySize.x - 40, 900.0f), std::min(io.DisplaySize.y - 40, 640.0f));
  ImGui::SetNextWindowPos(ImVec2(io.DisplaySize.x / 2, io.DisplaySize.y / 2), ImGuiCond_Always, ImVec2(0.5f, 0.5f));
  ImGui::SetNextWindowSize(size, ImGuiCond_Always);
  bool open = true;
  ImGui::Begin("Tarn sim set-up (F10 or Escape closes; the simulation is paused)", &open,
               ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoCollapse |
                   ImGuiWindowFlags_NoSavedSettings);
  if (ImGui::BeginTabBar("pages")) {
    if (ImGui::BeginTabItem("Controls")) ControlsPage(), ImGui::EndTabItem();
    if (ImGui::BeginTabItem("Calibrate a stick")) CalibratePage(), ImGui::EndTabItem();
    if (ImGui::BeginTabItem("Air")) AirPage(), ImGui::EndTabItem();
    if (ImGui::BeginTabItem("Aircraft")) AircraftPage(), ImGui::EndTabItem();
    if (ImGui::BeginTabItem("Display")) DisplayPage(), ImGui::EndTabItem();
    if (ImGui::BeginTabItem("Flights")) FlightsPage(), ImGui::EndTabItem();
    ImGui::EndTabBar();
  }
  ImGui::Separator();
  ImGui::TextWrapped("%s", MenuStatus().empty() ? ("Settings file: " + MenuSettingsPath()).c_str()
                                                : MenuStatus().c_str());
  ImGui::End();
  return open;
}
