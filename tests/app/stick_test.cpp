// The stick: the settings file, axis shaping, and SDL's virtual joysticks
// standing in for a gamepad and an RC transmitter on the way to the aircraft.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "aircraft/aircraft.h"
#include "app/camera.h"
#include "app/menu/calibration.h"
#include "app/menu/menu.h"
#include "app/menu/menu_pages.h"
#include "app/settings.h"
#include "app/shell.h"
#include "app/stick.h"
#include "app/update.h"
#include "assets/model.h"
#include "foundation/log.h"
#include "physics/entity.h"
#include "platform/window/window.h"
#include "render/resources.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"
#include "tests/aircraft/test_model.h"

namespace {

std::string Parse(const std::string& text, Settings& s) {
  LogCapture log;
  ParseSettings(text, "t.conf", s);
  return log.text();
}

bool SameAxis(const AxisSettings& a, const AxisSettings& b) {
  return a.standard == b.standard && a.index == b.index && a.deadzone == b.deadzone && a.expo == b.expo &&
         a.rate == b.rate && a.trim == b.trim && a.invert == b.invert;
}

TEST(StickSettings, DefaultsTheirWrittenFormAndEverySection) {
  const Settings d = DefaultSettings();
  EXPECT_TRUE(d.pitch.standard && d.pitch.index == 1 && d.roll.standard && d.roll.index == 0);  // lefty, leftx
  EXPECT_TRUE(d.pitch.invert && d.roll.invert && d.pitch.deadzone == 0.05 && d.device.empty());
  EXPECT_EQ(d.keys[kActPause], (std::vector<uint32_t>{VK_PAUSE, 'P'}));
  ASSERT_EQ(d.buttons[kActPause].size(), 1u);
  EXPECT_EQ(d.buttons[kActPause][0].index, int(SDL_CONTROLLER_BUTTON_START));
  EXPECT_EQ(d.buttons[kActBeat][0].index, int(SDL_CONTROLLER_BUTTON_A));

  // The written file with every setting line uncommented reads back as the defaults, silently.
  std::string text = DefaultSettingsText(), uncommented;
  size_t lines = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    std::string line = text.substr(at, end - at);
    if (line.rfind("# ", 0) == 0 && line.find(" = ") != std::string::npos) line = line.substr(2), lines++;
    uncommented += line + "\n";
    at = end + 1;
  }
  EXPECT_EQ(lines, 2 * 6 + 2 * size_t(kActionCount) + 6 + 4 + 6 + 1);  // 4: [air], 6: [display], 1: [field]
  Settings s = DefaultSettings();
  EXPECT_EQ(Parse(uncommented, s), "");
  EXPECT_FALSE(s.air.Moves());
  EXPECT_TRUE(s.vsync && s.frameLimit == 120);
  EXPECT_EQ(Parse("[display]\nvsync = no\nframe_limit = 0\nframe_limit = 5\nrefresh = 60\n", s),
            "t.conf:4: frame_limit wants 0 (no limit) or frames a second from 10 to 1000, not \"5\"; the default stays\n"
            "t.conf:5: unknown setting \"refresh\" in [display]; the default stays\n");
  EXPECT_TRUE(!s.vsync && s.frameLimit == 0);
  // [air] lines are the script's air lines; a bad one names its line.
  EXPECT_EQ(Parse("[air]\nwind = 3 270\nturbulence = light\nseed = 9\n", s), "");
  EXPECT_TRUE(s.air.windSpeed == 3 && s.air.windFrom == 270 && s.air.turbulence == air::Severity::Light && s.air.seed == 9);
  EXPECT_EQ(Parse("[air]\nwind = 80 270\n", s), "t.conf:2: [air] wind speed 80 is outside 0..50 m/s; the default stays\n");
  EXPECT_EQ(s.air.windSpeed, 3);
  s = DefaultSettings();
  EXPECT_TRUE(SameAxis(s.pitch, d.pitch) && SameAxis(s.roll, d.roll));
  for (int i = 0; i < kActionCount; i++) EXPECT_EQ(s.keys[i], d.keys[i]) << ActionName(i);
  for (int i = 0; i < kActionCount; i++) EXPECT_EQ(s.buttons[i].size(), d.buttons[i].size()) << ActionName(i);

  EXPECT_EQ(Parse("[Stick]\ndevice = FrSky Taranis ; the radio\n[pitch]\naxis = 2\ndeadzone = 0.1\nexpo = 0\n"
                  "rate = 0.8\ntrim = -0.02\ninvert = no\n[roll]\naxis = RightX\n[buttons]\nbeat = 3, a\ncut =\n"
                  "[keys]\npause = F5\narm = k, Left Shift\ncamera_forward = z\n",
                  s),
            "");
  EXPECT_EQ(s.device, "FrSky Taranis");
  EXPECT_TRUE(!s.pitch.standard && s.pitch.index == 2 && s.pitch.deadzone == 0.1 && s.pitch.expo == 0 &&
              s.pitch.rate == 0.8 && s.pitch.trim == -0.02 && !s.pitch.invert);
  EXPECT_TRUE(s.roll.standard && s.roll.index == int(SDL_CONTROLLER_AXIS_RIGHTX));
  ASSERT_EQ(s.buttons[kActBeat].size(), 2u);
  EXPECT_TRUE(!s.buttons[kActBeat][0].standard && s.buttons[kActBeat][0].index == 3 && s.buttons[kActBeat][1].standard);
  EXPECT_TRUE(s.buttons[kActCut].empty());

  // Keys taken by the settings leave their old actions; P is Pause by default only.
  ApplyKeySettings(s);
  EXPECT_TRUE(KeyBinding[0x74] == VK_PAUSE && KeyBinding[VK_PAUSE] == 0 && KeyBinding['P'] == 'P');
  EXPECT_TRUE(KeyBinding['K'] == 'E' && KeyBinding[VK_SHIFT] == 'E' && KeyBinding['E'] == 0 && KeyBinding['Z'] == 'Z');
  EXPECT_EQ(FreeCameraPlaces[0], 'Z');
  ApplyKeySettings(d);
  for (uint32_t k = 0; k < 256; k++) ASSERT_EQ(KeyBinding[k], k == 'P' ? VK_PAUSE : k) << k;
  EXPECT_EQ(FreeCameraPlaces[0], 'W');
}

TEST(StickSettings, EachBadLineGetsOneLineAndTheDefaultStays) {
  Settings s = DefaultSettings();
  EXPECT_EQ(Parse("[pitch]\ndeadzone = abc\ndeadzone = 0.95\nexpo = 0.5\naxis = -1\n[keys]\narm = Nokey\nbeat = Z, Escape\n"
                  "[joystick]\nx = 1\ny = 2\n[roll]\nspin = 3\ninvert = maybe\ntrim = 1e400\n[buttons]\n"
                  "beat = triangle\njump = a\n[keys]\ncamera_up = 7\nthis line has no equals sign\n",
                  s),
            "t.conf:2: deadzone wants a number from 0 to 0.9, not \"abc\"; the default stays\n"
            "t.conf:3: deadzone wants a number from 0 to 0.9, not \"0.95\"; the default stays\n"
            "t.conf:5: axis wants a raw axis number (0 to 255) or leftx, lefty, rightx, righty, lefttrigger, "
            "righttrigger, not \"-1\"; the default stays\n"
            "t.conf:7: unknown key name \"Nokey\" for arm; the default stays\n"
            "t.conf:8: \"Escape\" for beat: Escape always quits the program, it cannot be bound; left out, the "
            "other keys stay\n"
            "t.conf:10: unknown section [joystick]; the default stays\n"
            "t.conf:13: unknown setting \"spin\" in [roll]; the default stays\n"
            "t.conf:14: invert wants true or false, not \"maybe\"; the default stays\n"
            "t.conf:15: trim wants a number from -0.5 to 0.5, not \"1e400\"; the default stays\n"
            "t.conf:17: unknown button \"triangle\" for beat (a raw button number or a, b, x, y, back, guide, start, "
            "leftstick, rightstick, leftshoulder, rightshoulder, dpup, dpdown, dpleft, dpright, ...); the default stays\n"
            "t.conf:18: unknown setting \"jump\" in [buttons]; the default stays\n"
            "t.conf:20: camera_up wants the letter at that place on a US keyboard, not \"7\"; the default stays\n"
            "t.conf:21: not a [section] or a name = value line; the default stays\n");
  const Settings d = DefaultSettings();
  EXPECT_EQ(s.pitch.expo, 0.5);  // good lines among bad ones count
  s.pitch.expo = d.pitch.expo;
  EXPECT_TRUE(SameAxis(s.pitch, d.pitch) && SameAxis(s.roll, d.roll));
  EXPECT_TRUE(s.keys[kActArm] == d.keys[kActArm] && s.keys[kActBeat] == d.keys[kActBeat]);
  EXPECT_EQ(s.buttons[kActBeat].size(), 1u);
  EXPECT_EQ(s.cameraPlaces[4], 'R');
  // Each bad name in a list is named and left out alone; the list's good
  // names, typed the ways people type them, count.
  EXPECT_EQ(Parse("[keys]\narm = Enter, Bogus, Num 5, Esc\ncut = Bogus, Esc\n", s),
            "t.conf:2: unknown key name \"Bogus\" for arm; left out, the other keys stay\n"
            "t.conf:2: \"Esc\" for arm: Escape always quits the program, it cannot be bound; left out, the other "
            "keys stay\n"
            "t.conf:3: unknown key name \"Bogus\" for cut; the default stays\n"
            "t.conf:3: \"Esc\" for cut: Escape always quits the program, it cannot be bound; the default stays\n");
  EXPECT_EQ(s.keys[kActArm], (std::vector<uint32_t>{0x0D, 0x65}));
  EXPECT_EQ(s.keys[kActCut], d.keys[kActCut]);
  EXPECT_EQ(Parse("name = value before any section\n", s),
            "t.conf:1: unknown section [] (settings before the first section); the default stays\n");
}

TEST(StickSettings, FilesMissingFoldersHugeAndWritten) {
  const std::string dir = ::testing::TempDir() + "stick_settings";
  std::system(("rm -rf " + dir).c_str());
  const std::string path = dir + "/deep/tarnsim/tarnsim.conf";
  {
    LogCapture log;
    LoadSettings(path);  // missing: no error
    ASSERT_TRUE(WriteDefaultSettings(path));
    Settings s = LoadSettings(path);
    EXPECT_EQ(s.pitch.expo, DefaultSettings().pitch.expo);
    EXPECT_EQ(log.text(), "");
    EXPECT_FALSE(WriteDefaultSettings(path));
    std::ofstream(path, std::ios::app) << "[pitch]\nexpo = 0.7\n";
    EXPECT_EQ(LoadSettings(path).pitch.expo, 0.7);
    EXPECT_EQ(log.text(), path + " already exists; it was left as it is\n");
    log.clear();
    EXPECT_EQ(LoadSettings(dir).pitch.expo, DefaultSettings().pitch.expo);
    std::string huge = dir + "/huge.conf";
    std::ofstream(huge) << std::string(1 << 20, '#');
    LoadSettings(huge);
    EXPECT_EQ(log.text(), dir + ": is a folder, not a settings file; the defaults stay\n" + huge +
                              ": larger than 64 KiB, not a settings file; the defaults stay\n");
  }
  // A long line within the limit is cut by the parser, not read past.
  Settings s = DefaultSettings();
  std::string out = Parse("[stick]\ndevice = " + std::string(5000, 'x') + "\n[pitch]\nexpo = 0.25\n", s);
  EXPECT_EQ(s.pitch.expo, 0.25);
  EXPECT_LT(s.device.size(), 5000u);
  std::system(("rm -rf " + dir).c_str());

  const char* saved = std::getenv("XDG_CONFIG_HOME");
  std::string keep = saved ? saved : "";
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(SettingsPath(""), "/cfg/tarnsim/tarnsim.conf");
  EXPECT_EQ(SettingsPath("my.conf"), "my.conf");
  setenv("XDG_CONFIG_HOME", "relative", 1);  // ignored, as the base directory rules say
  EXPECT_EQ(SettingsPath(""), std::string(std::getenv("HOME")) + "/.config/tarnsim/tarnsim.conf");
  if (saved) setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
  else unsetenv("XDG_CONFIG_HOME");
}

TEST(StickShaping, TrimDeadzoneExpoRateInvert) {
  AxisSettings a;
  a.invert = false, a.deadzone = 0.1, a.expo = 0, a.rate = 1, a.trim = 0;
  const struct {
    double deadzone, expo, rate, trim;
    bool invert;
    double raw, shaped;
  } cases[] = {
      {0.1, 0, 1, 0, false, 0.1, 0},       {0.1, 0, 1, 0, false, -0.55, -0.5}, {0.1, 0, 1, 0, false, 1, 1},
      {0.1, 0, 1, 0, true, 1, -1},         {0, 1, 1, 0, false, 0.5, 0.125},    {0, 0.5, 1, 0, false, -0.5, -0.3125},
      {0, 0, 0.5, 0, false, -1, -0.5},     {0.1, 0, 1, -0.05, false, 0.14, 0}, {0.1, 0, 1, 0.05, true, -0.05, 0},
      {0, 0, 1, 0.5, false, 0.9, 1},       {0.9, 0, 1, 0, false, 0.95, 0.5},
  };
  for (const auto& c : cases) {
    a.deadzone = c.deadzone, a.expo = c.expo, a.rate = c.rate, a.trim = c.trim, a.invert = c.invert;
    EXPECT_NEAR(ShapeAxis(c.raw, a), c.shaped, 1e-12) << c.raw << " dz " << c.deadzone << " expo " << c.expo;
  }
  a.deadzone = 0.1, a.expo = 0.3, a.rate = 1, a.trim = 0.02;
  EXPECT_EQ(ShapeAxis(-0.1, a), 0.0);  // inside the trimmed deadzone: exactly 0, so the keys keep control
}

// A virtual device; SDL reads it like a real one.
int Attach(SDL_JoystickType type, int axes, int buttons, const char* name) {
  SDL_VirtualJoystickDesc desc;
  SDL_zero(desc);
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = Uint16(type);
  desc.naxes = Uint16(axes);
  desc.nbuttons = Uint16(buttons);
  desc.name = name;
  return SDL_JoystickAttachVirtualEx(&desc);
}

const JoystickReading* Find(const std::vector<JoystickReading>& devices, const char* name) {
  for (const JoystickReading& d : devices)
    if (d.name == name) return &d;
  return nullptr;
}

class VirtualStickTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartJoysticks());
    for (auto& b : KeyState) b = 0;
    RegisterTestAircraftModel();
    ClearEntityList();
    ResetScene();
    ASSERT_NE(CurrentAircraft, nullptr);
    CurrentDt = 0.01;
  }
  void TearDown() override {
    LogCapture quiet;  // the devices' leaving lines
    for (SDL_Joystick* j : handles) SDL_JoystickClose(j);
    for (int i = SDL_NumJoysticks(); i-- > 0;)
      if (SDL_JoystickIsVirtual(i)) SDL_JoystickDetachVirtual(i);
    UpdateJoysticks();
    ApplyStick({}, DefaultSettings());
    StopJoysticks();
    if (CurrentAircraft) DestroyAircraft();
    ReleaseAllModels();
    ReleaseAllTextures();
    ReleaseAllVertexShaders();
    ReleaseAllPixelShaders();
  }
  // Our own handle on a device, to move its axes and buttons.
  SDL_Joystick* Handle(int deviceIndex) {
    handles.push_back(SDL_JoystickOpen(deviceIndex));
    return handles.back();
  }
  // One frame of the program: the devices, the stick, the input pass.
  const std::vector<JoystickReading>& Frame(const Settings& s) {
    const std::vector<JoystickReading>& devices = UpdateJoysticks();
    ApplyStick(devices, s);
    InputPass();
    return devices;
  }
  std::vector<SDL_Joystick*> handles;
};

TEST_F(VirtualStickTest, GamepadFliesPressesKeysAndLetsGoWhenUnplugged) {
  LogCapture log;
  int index = Attach(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX, SDL_CONTROLLER_BUTTON_MAX, "Pad");
  ASSERT_GE(index, 0) << SDL_GetError();
  SDL_Joystick* pad = Handle(index);
  const Settings s = DefaultSettings();
  const JoystickReading* d = Find(Frame(s), "Pad");
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->controller);
  const std::string id = std::to_string(d->id);
  EXPECT_EQ(log.text().rfind("Joystick " + id + " connected: \"Pad\", 6 axes, 21 buttons, game controller, GUID ", 0), 0u)
      << log.text();
  EXPECT_EQ(StickPitchInput, 0.0);  // centred: the keys keep control
  EXPECT_EQ(CurrentAircraft->pitchInput, 0.0);

  // Stick fully forward and half right; Start runs the simulation, B arms and A powers the beat.
  SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTY, -32768);
  SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, 16384);
  for (int b : {SDL_CONTROLLER_BUTTON_START, SDL_CONTROLLER_BUTTON_B, SDL_CONTROLLER_BUTTON_A})
    SDL_JoystickSetVirtualButton(pad, b, 1);
  Paused = true;
  Frame(s);
  Tarnplane* a = CurrentAircraft;
  EXPECT_EQ(a->pitchInput, 1.0);
  EXPECT_EQ(a->rollInput, ShapeAxis(16384 / 32767.0, s.roll));
  EXPECT_LT(a->rollInput, -0.3);  // right is negative roll, as the Right arrow
  EXPECT_TRUE(!Paused && a->flapArmed && a->flapping);
  Frame(s);  // still held: no second press
  EXPECT_TRUE(!Paused && a->flapArmed && a->flapping && KeyHeld(VK_PAUSE));
  SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_START, 0);
  Frame(s);
  EXPECT_FALSE(KeyHeld(VK_PAUSE));

  // The cut button held, then the pad pulled out: the keys let go and the
  // inputs ramp from where the stick left them, as the keyboard moves them.
  SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_RIGHTSTICK, 1);
  Frame(s);
  EXPECT_TRUE(KeyHeld(VK_DELETE) && a->balloonStrap[0] == nullptr);
  double roll = a->rollInput;
  SDL_JoystickClose(pad);
  handles.clear();
  SDL_JoystickDetachVirtual(index);
  log.clear();
  Frame(s);
  EXPECT_EQ(log.text(), "Joystick " + id + " disconnected: \"Pad\"\n");
  EXPECT_EQ(StickDeviceId(), -1);
  EXPECT_EQ(StickPitchInput, 0.0);
  EXPECT_FALSE(KeyHeld(VK_DELETE) || KeyHeld('Z') || KeyHeld('E'));
  EXPECT_DOUBLE_EQ(a->pitchInput, 1.0 - 0.02);
  EXPECT_DOUBLE_EQ(a->rollInput, roll + 0.02);
  PressKey(VK_UP);  // the Up arrow flies again
  Frame(s);
  EXPECT_DOUBLE_EQ(a->pitchInput, 1.0);
}

TEST_F(VirtualStickTest, TransmitterByRawAxisAmongTwoDevicesAndTheMonitor) {
  int pad = Attach(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX, SDL_CONTROLLER_BUTTON_MAX, "Pad");
  ASSERT_GE(pad, 0);
  Handle(pad);
  int radio = Attach(SDL_JOYSTICK_TYPE_UNKNOWN, 8, 2, "Radio \\ Transmitter");
  ASSERT_GE(radio, 0);
  SDL_Joystick* tx = Handle(radio);
  Settings s = DefaultSettings();
  EXPECT_EQ(Parse("[stick]\ndevice = transmitter\n[pitch]\naxis = 2\ninvert = false\nexpo = 0\n"
                  "[roll]\naxis = 3\ndeadzone = 0\nexpo = 0\n[buttons]\nbeat = 1\narm =\n",
                  s),
            "");
  SDL_JoystickSetVirtualAxis(tx, 2, 16384);
  SDL_JoystickSetVirtualAxis(tx, 3, 32767);
  SDL_JoystickSetVirtualButton(tx, 1, 1);
  CurrentAircraft->flapArmed = true;
  Paused = false;
  LogCapture log;
  const std::vector<JoystickReading>& devices = Frame(s);
  const JoystickReading* r = Find(devices, "Radio \\ Transmitter");
  ASSERT_TRUE(r && devices.size() >= 2u);
  EXPECT_FALSE(r->controller);
  EXPECT_EQ(StickDeviceId(), r->id);  // chosen by name though the pad came first
  EXPECT_DOUBLE_EQ(StickPitchInput, (16384 / 32767.0 - 0.05) / 0.95);
  EXPECT_EQ(StickRollInput, -1.0);
  EXPECT_TRUE(CurrentAircraft->flapping);

  std::string monitor = MonitorText(devices);
  EXPECT_NE(monitor.find("Axis monitor (F8)   pitch +0.47   roll -1.00\n"), std::string::npos) << monitor;
  EXPECT_NE(monitor.find("Joystick " + std::to_string(r->id) +
                         " (flying), plain joystick: Radio \\\\ Transmitter\n"
                         "  axes  0:+0.00   1:+0.00   2:+0.50   3:+1.00   4:+0.00   5:+0.00   6:+0.00   7:+0.00\n"
                         "  buttons pressed: 1\n"),
            std::string::npos)
      << monitor;
  EXPECT_NE(monitor.find(", game controller: Pad\n"), std::string::npos) << monitor;
  EXPECT_NE(monitor.find("  by name: leftx +0.00 lefty +0.00 rightx +0.00 righty +0.00\n"
                         "           lefttrigger +0.00 righttrigger +0.00  pressed: none\n"),
            std::string::npos)
      << monitor;
}

TEST(StickKeys, PIsPauseOnEveryKeyboard) {
  for (auto& b : KeyState) b = 0;
  Paused = true;
  WindowProc(WM_KEYDOWN, 'P', 0);
  WindowProc(WM_KEYUP, 'P', 0);
  EXPECT_EQ(KeyState[VK_PAUSE], 0x41);
  EXPECT_EQ(KeyState['P'], 0);
  InputPass();
  EXPECT_FALSE(Paused);
  Paused = true;
}

}  // namespace

// A transmitter as a plain 6-axis joystick: pitch on axis 4 (up is its low
// end), roll on axis 2, both resting 10% off centre and reaching short of the
// ends. The wizard finds both in its three prompts, and what it writes flies
// exactly +-1 at the ends and 0 at rest.
TEST_F(VirtualStickTest, CalibrationFindsATransmittersAxesDirectionsCentresAndEnds) {
  LogCapture log;
  int index = Attach(SDL_JOYSTICK_TYPE_UNKNOWN, 6, 8, "Transmitter");
  ASSERT_GE(index, 0) << SDL_GetError();
  SDL_Joystick* tx = Handle(index);
  const double pitchRest = 0.1, rollRest = -0.1;
  auto set = [&](int axis, double v) { SDL_JoystickSetVirtualAxis(tx, axis, Sint16(std::lround(v * 32767))); };
  auto reading = [&]() {
    const JoystickReading* d = Find(UpdateJoysticks(), "Transmitter");
    return d ? d->axes : std::vector<double>();
  };
  auto rest = [&]() {
    for (int a = 0; a < 6; a++) set(a, 0.02 * a);
    set(4, pitchRest);
    set(2, rollRest);
  };
  rest();
  StickCalibration wizard;
  wizard.Start(DefaultSettings().pitch, DefaultSettings().roll);
  std::vector<std::string> prompts;
  std::string problem;
  auto sweep = [&](int axis, std::initializer_list<double> path) {
    for (double v : path) {
      set(axis, v);
      set(0, v > 0 ? 0.05 : -0.05);  // another stick trembles a little
      wizard.Feed(reading());
    }
  };
  prompts.push_back(wizard.Prompt());
  EXPECT_FALSE(wizard.Next(problem)) << "nothing moved yet";
  EXPECT_FALSE(problem.empty());
  sweep(4, {0.4, 0.8, 0.3, -0.2, -0.6, -0.3, 0.5, 0.8, -0.6});  // held up: the low end
  ASSERT_TRUE(wizard.Next(problem)) << problem;
  prompts.push_back(wizard.Prompt());
  set(4, pitchRest);
  sweep(2, {-0.5, -0.85, 0.1, 0.6, -0.85, 0.6});  // held left: the high end
  ASSERT_TRUE(wizard.Next(problem)) << problem;
  prompts.push_back(wizard.Prompt());
  rest();
  wizard.Feed(reading());
  ASSERT_TRUE(wizard.Next(problem)) << problem;
  ASSERT_EQ(wizard.step(), StickCalibration::kDone);
  EXPECT_LE(prompts.size(), 6u);

  const AxisSettings &p = wizard.pitch(), &r = wizard.roll();
  EXPECT_TRUE(!p.standard && p.index == 4 && !r.standard && r.index == 2);
  EXPECT_TRUE(p.invert && !r.invert);  // up is the low end; left the high end
  auto shaped = [&](const AxisSettings& a, int axis, double v) {
    set(axis, v);
    return ShapeAxis(reading()[size_t(axis)], a);
  };
  EXPECT_NEAR(shaped(p, 4, -0.6), 1, 1e-12);  // fully up
  EXPECT_NEAR(shaped(p, 4, 0.8), -1, 1e-12);  // fully down
  EXPECT_EQ(shaped(p, 4, pitchRest), 0.0);
  EXPECT_NEAR(shaped(r, 2, 0.6), 1, 1e-12);  // fully left
  EXPECT_NEAR(shaped(r, 2, -0.85), -1, 1e-12);
  EXPECT_EQ(shaped(r, 2, rollRest), 0.0);

  // Written as the menu writes them; read back, they fly the same.
  char tmpl[] = "/tmp/tarn-calibration-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string path = std::string(tmpl) + "/tarnsim.conf";
  SetMenuSettingsPath(path);
  UseCalibration(p, r);
  SetMenuSettingsPath("");
  std::ifstream in(path);
  std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Settings back = LoadSettings(path);
  EXPECT_EQ(ShapeAxis(reading()[2], back.roll), 0.0);
  set(4, -0.6);
  EXPECT_NEAR(ShapeAxis(reading()[4], back.pitch), 1, 1e-12);
  std::filesystem::remove_all(tmpl);
  UserSettings = DefaultSettings();
  if (std::getenv("TARN_SHOW_CALIBRATION")) {
    for (size_t i = 0; i < prompts.size(); i++) std::printf("Prompt %zu: %s\n", i + 1, prompts[i].c_str());
    std::printf("Written:\n%s", written.substr(written.find("[pitch]")).c_str());
  }
}
