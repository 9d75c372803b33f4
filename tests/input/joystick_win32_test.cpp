#include "platform/input/joystick_win32.h"

#include <gtest/gtest.h>

#include "foundation/log.h"

using namespace win32_joystick;

namespace {

XINPUT_STATE Pad(SHORT lx, SHORT ly, SHORT rx, SHORT ry, BYTE lt, BYTE rt, WORD buttons = 0) {
  XINPUT_STATE s = {};
  s.Gamepad = {buttons, lt, rt, lx, ly, rx, ry};
  return s;
}

JOYCAPSA Caps(UINT flags, UINT buttons) {
  JOYCAPSA c = {};
  c.wCaps = flags;
  c.wNumButtons = buttons;
  c.wXmax = c.wYmax = c.wZmax = 65535;
  c.wRmax = 1023;  // an odd range beside the usual one
  return c;
}

}  // namespace

TEST(JoystickWin32, XInputSticksAndTriggersReadAsSdl) {
  JoystickReading r;
  ReadXInput(Pad(-32768, 32767, 32767, -32768, 0, 255), r);
  // Stick up is negative, as SDL's lefty/righty; the lowest reading is -1.
  const double low[kControllerAxisCount] = {-1, -1, 1, 1, 0, 1};
  for (int a = 0; a < kControllerAxisCount; a++) EXPECT_DOUBLE_EQ(r.controllerAxes[a], low[a]) << a;
  // Raw, in SDL's XInput order: leftx lefty lefttrigger rightx righty righttrigger.
  EXPECT_EQ(r.axes, (std::vector<double>{-1, -1, -1, 1, 1, 1}));

  ReadXInput(Pad(32767, -32768, -32768, 32767, 255, 0), r);
  const double high[kControllerAxisCount] = {1, 1, -1, -1, 1, 0};
  for (int a = 0; a < kControllerAxisCount; a++) EXPECT_DOUBLE_EQ(r.controllerAxes[a], high[a]) << a;

  ReadXInput(Pad(0, 0, 0, 0, 0, 0), r);
  for (int a = 0; a < 4; a++) EXPECT_EQ(r.controllerAxes[a], 0.0) << a;
  ReadXInput(Pad(16384, 16384, 0, 0, 0, 0), r);
  EXPECT_NEAR(r.controllerAxes[0], 0.5, 1e-4);
  EXPECT_NEAR(r.controllerAxes[1], -0.5, 1e-4);
}

TEST(JoystickWin32, EveryXInputButtonToItsSdlIndex) {
  struct Case {
    WORD bit;
    const char* standard;
    int raw;
  };
  const Case cases[] = {{XINPUT_GAMEPAD_A, "a", 0},
                        {XINPUT_GAMEPAD_B, "b", 1},
                        {XINPUT_GAMEPAD_X, "x", 2},
                        {XINPUT_GAMEPAD_Y, "y", 3},
                        {XINPUT_GAMEPAD_LEFT_SHOULDER, "leftshoulder", 4},
                        {XINPUT_GAMEPAD_RIGHT_SHOULDER, "rightshoulder", 5},
                        {XINPUT_GAMEPAD_BACK, "back", 6},
                        {XINPUT_GAMEPAD_START, "start", 7},
                        {XINPUT_GAMEPAD_LEFT_THUMB, "leftstick", 8},
                        {XINPUT_GAMEPAD_RIGHT_THUMB, "rightstick", 9},
                        {XINPUT_GAMEPAD_DPAD_UP, "dpup", 10},
                        {XINPUT_GAMEPAD_DPAD_RIGHT, "dpright", 11},
                        {XINPUT_GAMEPAD_DPAD_DOWN, "dpdown", 12},
                        {XINPUT_GAMEPAD_DPAD_LEFT, "dpleft", 13}};
  JoystickReading r;
  for (const Case& c : cases) {
    ReadXInput(Pad(0, 0, 0, 0, 0, 0, c.bit), r);
    ASSERT_EQ(r.buttons.size(), 14u);
    int standard = ControllerButtonFromName(c.standard);
    for (int b = 0; b < kControllerButtonCount; b++)
      EXPECT_EQ(r.controllerButtons[b], b == standard ? 1 : 0) << c.standard << " standard " << b;
    for (int b = 0; b < 14; b++) EXPECT_EQ(r.buttons[size_t(b)], b == c.raw ? 1 : 0) << c.standard << " raw " << b;
  }
}

TEST(JoystickWin32, WinmmAxesMapTheirRangeAsSdl) {
  EXPECT_EQ(RangeAxis(0, 0, 65535), -1.0);
  EXPECT_EQ(RangeAxis(65535, 0, 65535), 1.0);
  EXPECT_EQ(RangeAxis(32768, 0, 65535), 0.0);
  EXPECT_EQ(RangeAxis(0, 0, 1023), -1.0);
  EXPECT_EQ(RangeAxis(1023, 0, 1023), 1.0);
  EXPECT_NEAR(RangeAxis(512, 0, 1023), 0, 0.002);
  EXPECT_NEAR(RangeAxis(768, 512, 1023), 0.0, 0.003);  // a range that does not start at 0
  EXPECT_EQ(RangeAxis(2000, 0, 1023), 1.0);             // beyond the stated range
  EXPECT_EQ(RangeAxis(5, 7, 7), 0.0);                    // no range: neutral

  // X and Y always, then only the flagged ones of Z R U V, in that order.
  JOYCAPSA caps = Caps(JOYCAPS_HASR, 0);
  JOYINFOEX info = {};
  info.dwXpos = 65535, info.dwYpos = 0, info.dwZpos = 0, info.dwRpos = 1023;
  JoystickReading r;
  ReadWinmm(caps, info, r);
  EXPECT_EQ(r.axes, (std::vector<double>{1, -1, 1}));
  EXPECT_TRUE(r.buttons.empty());
}

TEST(JoystickWin32, WinmmButtonsAndPovHat) {
  JOYCAPSA caps = Caps(JOYCAPS_HASPOV | JOYCAPS_POVCTS, 3);
  JOYINFOEX info = {};
  info.dwButtons = 0b101 | 0x80;  // a bit beyond the caps' buttons is not a button
  struct Case {
    DWORD pov;
    std::vector<uint8_t> hat;  // up, right, down, left
  };
  const Case cases[] = {{JOY_POVCENTERED, {0, 0, 0, 0}}, {0, {1, 0, 0, 0}},     {2250, {1, 0, 0, 0}},
                        {4500, {1, 1, 0, 0}},            {9000, {0, 1, 0, 0}},  {18000, {0, 0, 1, 0}},
                        {27000, {0, 0, 0, 1}},           {31500, {1, 0, 0, 1}}, {36000, {0, 0, 0, 0}}};
  JoystickReading r;
  for (const Case& c : cases) {
    info.dwPOV = c.pov;
    ReadWinmm(caps, info, r);
    std::vector<uint8_t> want = {1, 0, 1};
    want.insert(want.end(), c.hat.begin(), c.hat.end());
    EXPECT_EQ(r.buttons, want) << "POV " << c.pov;
  }
  caps.wNumButtons = 40;  // more than winmm can report
  caps.wCaps = 0;
  ReadWinmm(caps, info, r);
  EXPECT_EQ(r.buttons.size(), 32u);
}

TEST(JoystickWin32, GuidsAndXInputDuplicates) {
  // Bus, CRC-16 of the name ("123456789" checks to 0xbb3d), vendor, product, version.
  EXPECT_EQ(JoystickGuid(3, 0x0483, 0x5710, 0x0111, "123456789"), "03003dbb830400001057000011010000");
  // No vendor: the name's first 11 bytes.
  EXPECT_EQ(JoystickGuid(3, 0, 0, 0, "123456789ABCDEF"), "0300711b3132333435363738394142" "00");
  EXPECT_EQ(XInputGuid(XINPUT_DEVSUBTYPE_GAMEPAD), "78696e70757401000000000000000000");

  EXPECT_TRUE(IsXInputPad(0x045E, 0x028E, "Microsoft PC-joystick driver"));
  EXPECT_TRUE(IsXInputPad(0x0E6F, 0x0213, "Controller (XBOX 360 For Windows)"));
  EXPECT_FALSE(IsXInputPad(0x045E, 0x001B, "SideWinder Force Feedback 2 Joystick"));
  EXPECT_FALSE(IsXInputPad(0x0483, 0x5710, "FrSky Taranis Joystick"));
}

TEST(JoystickWin32, StandardNamesAreSdls) {
  EXPECT_EQ(ControllerAxisFromName("LeftTrigger"), 4);
  EXPECT_EQ(ControllerButtonFromName("DPRIGHT"), 14);
  EXPECT_EQ(ControllerButtonFromName("touchpad"), 20);
  EXPECT_EQ(ControllerButtonFromName("dpup "), -1);
  for (int a = 0; a < kControllerAxisCount; a++) EXPECT_EQ(ControllerAxisFromName(ControllerAxisName(a)), a);
  for (int b = 0; b < kControllerButtonCount; b++) EXPECT_EQ(ControllerButtonFromName(ControllerButtonName(b)), b);
  EXPECT_STREQ(ControllerAxisName(kControllerAxisCount), "");
  EXPECT_STREQ(ControllerButtonName(-1), "");
}

// The CI runs this under Wine, which has no joystick: the backend must start,
// find nothing, say nothing and stop.
TEST(JoystickWin32, NoDevicesUnderWine) {
  LogCapture log;
  ASSERT_TRUE(StartJoysticks());
  EXPECT_TRUE(UpdateJoysticks().empty());
  EXPECT_TRUE(UpdateJoysticks().empty());
  StopJoysticks();
  EXPECT_TRUE(UpdateJoysticks().empty());
  EXPECT_EQ(log.text(), "");
}
