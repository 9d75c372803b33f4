// What the pilot's screen shows, on the recording device: the flight data
// panel's numbers in units for a still, a climbing and a turning aircraft, the
// PAUSED banner, help built from the bindings in force, and console lines
// shown on screen.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "aircraft/aircraft.h"
#include "air/air.h"
#include "app/field_view.h"
#include "app/flight_panel.h"
#include "app/key_help.h"
#include "app/screen_messages.h"
#include "app/settings.h"
#include "app/shell.h"
#include "app/stick.h"
#include "app/update.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "physics/body.h"
#include "physics/entity.h"
#include "platform/gpu/recording.h"
#include "render/draw.h"
#include "render/overlay.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"
#include "tests/aircraft/test_model.h"
#include "tests/app/recorded_quads.h"
#include "tests/app/run_content.h"

namespace {

const char* const kRunDir = TARN_BINARY_DIR "/run";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Rows of drawn text joined as one line, two spaces apart.
std::string Rows(std::string text) {
  for (size_t at; (at = text.find('\n')) != std::string::npos;) text.replace(at, 1, "  ");
  return text;
}

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.Enter(kRunDir, "tarn-screen-test")) << "the build makes the content";
    for (auto& b : KeyState) b = 0;
    ResetKeyBindings();
    RegisterFlatIsland(0);
    Device = rec = CreateRecordingDevice(1024, 768);
    LogCapture quiet;
    InitApplication();
    ASSERT_NE(a = CurrentAircraft, nullptr);
    SetupFrame(0.1, 100000);
    rec->clearCalls();
  }
  void TearDown() override {
    StopScreenMessages();
    ResetKeyBindings();
    UserSettings = DefaultSettings();
    if (Device) {
      LogCapture quiet;
      ShutdownApplication();
      ReleaseDevice();
    }
    folder.Leave();
  }
  std::vector<std::string> Panel() {
    rec->clearCalls();
    DrawFlightPanel();
    std::string text = DecodeLightText(rec->Draws(), 15 * OverlayScale());
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
      lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
  }
  void Pose(const Quat& q, const Vec3& velocity) {
    a->fuselage->orientation = q;
    a->fuselage->rotation = QuatToMat3(q);
    a->fuselage->velocity = velocity;
  }

  RunContentFolder folder;
  RecordingDevice* rec = nullptr;
  Tarnplane* a = nullptr;
};

TEST_F(ScreenTest, PanelShowsTheAircraftInUnitsStillClimbingAndTurning) {
  // As built: standing on the ground, nose to world -X (west), wing beat off.
  const Quat west = QuatFromAxisAngle(Vec3{0, 0, 1}, M_PI / 2);
  Pose(west, Vec3{0, 0, 0});
  a->fuselage->position = Vec3{70, 70, 2.25};
  std::vector<std::string> still = Panel();
  ASSERT_EQ(still.size(), 11u);
  EXPECT_EQ(still[0], "Airspeed    0.0 m/s");
  EXPECT_EQ(still[1], "Ground sp   0.0 m/s");
  EXPECT_EQ(still[2], "Height      2.2 m");  // over the flat ground at z = 0
  EXPECT_EQ(still[3], "Climb      +0.0 m/s");
  EXPECT_EQ(still[4], "Heading     270 deg");
  EXPECT_EQ(still[5], "Bank         +0 deg");
  EXPECT_EQ(still[6], "Pitch        +0 deg");
  EXPECT_EQ(still[7], "Beat       0.00 Hz off");
  EXPECT_EQ(still[8], "Tail      raised");

  // Climbing north-east, nose up 10 degrees, beat armed then on, Space pressed once (tail level), Up held.
  Pose(QuatMul(QuatFromAxisAngle(Vec3{0, 0, 1}, -M_PI / 4), QuatFromAxisAngle(Vec3{1, 0, 0}, 10 * M_PI / 180)),
       Vec3{3, 4, 2.5});
  a->flapArmed = a->flapping = true;
  a->beatRate = 1.95;
  a->pitchInput = 1;
  a->rollInput = -0.5;
  KeyState[VK_SPACE] = 0x40;
  std::vector<std::string> climbing = Panel();
  ASSERT_EQ(climbing.size(), 11u);
  EXPECT_EQ(climbing[0], "Airspeed    5.6 m/s");  // |(3, 4, 2.5)| = 5.59
  EXPECT_EQ(climbing[1], "Ground sp   5.0 m/s");
  EXPECT_EQ(climbing[3], "Climb      +2.5 m/s");
  EXPECT_EQ(climbing[4], "Heading     045 deg");
  EXPECT_EQ(climbing[6], "Pitch       +10 deg");
  EXPECT_EQ(climbing[7], "Beat       1.95 Hz ON");
  EXPECT_EQ(climbing[8], "Tail      level");
  EXPECT_EQ(climbing[9], "Pitch in   +1.0");
  EXPECT_EQ(climbing[10], "Roll in    -0.5");
  a->flapping = false;
  EXPECT_EQ(FlightPanelLines(ReadFlightData(*a))[7], "Beat       1.95 Hz armed");

  // Turning: heading south, right wing 30 degrees down, sinking; off the ground's edge there is no height.
  Pose(QuatMul(QuatFromAxisAngle(Vec3{0, 0, 1}, M_PI), QuatFromAxisAngle(Vec3{0, 1, 0}, 30 * M_PI / 180)),
       Vec3{0, -6, -0.04});
  a->fuselage->position = Vec3{1e6, 1e6, 10};
  std::vector<std::string> turning = Panel();
  ASSERT_EQ(turning.size(), 11u);
  EXPECT_EQ(turning[2], "Height      --- m");
  EXPECT_EQ(turning[3], "Climb      +0.0 m/s");  // never "-0.0"
  EXPECT_EQ(turning[4], "Heading     180 deg");
  EXPECT_EQ(turning[5], "Bank        +30 deg");

  // Moving air adds the wind at the aircraft, from where it blows; airspeed is through the air.
  a->fuselage->position = Vec3{70, 70, 12};
  Pose(west, Vec3{0, 0, 0});
  air::Current.windSpeed = 5;
  air::Current.windFrom = 270;
  air::Rebuild();
  FlightData d = ReadFlightData(*a);
  air::Current = air::Settings();
  air::Clear();
  EXPECT_TRUE(d.wind);
  EXPECT_NEAR(d.windFrom, 270, 1e-6);
  EXPECT_GT(d.windSpeed, 4);
  EXPECT_NEAR(d.airspeed, d.windSpeed, 1e-12);  // standing still in a wind
  std::vector<std::string> windy = FlightPanelLines(d);
  ASSERT_EQ(windy.size(), 12u);
  EXPECT_TRUE(Has(windy[11], "m/s from 270")) << windy[11];

  // Its key adds the frame rate, then hides it.
  ShowFlightPanel = true;
  PressKey(VK_F3);
  InputPass();
  EXPECT_TRUE(ShowFlightPanel && ShowFrameRate);
  EXPECT_EQ(Panel().size(), 12u);
  PressKey(VK_F3);
  InputPass();
  EXPECT_FALSE(ShowFlightPanel || ShowFrameRate);
  ShowFlightPanel = true;
}

TEST_F(ScreenTest, FieldViewKeepsTheAircraftCentredAndReadableOverAFlight) {
  // Beat on and a little pitch input: the machine climbs away from the spot and back over it.
  a->flapArmed = a->flapping = true;
  a->pitchInput = 0.6;
  a->rollInput = 0.3;
  UserSettings.fieldSpot[0] = 85;
  UserSettings.fieldSpot[1] = 50;
  FieldOfView = 45;
  PressKey(VK_F6);
  InputPass();
  ASSERT_TRUE(FieldView);
  double nearest = 1e9, farthest = 0;
  for (int frame = 0; frame < 120; frame++) {
    CurrentDt = PhysicsStep;
    for (int i = 0; i < 250; i++) WorldStep();  // half a second
    PlaceFieldCamera();
    const Vec3 eye = CameraPosition, to = a->fuselage->position - eye;
    EXPECT_NEAR(eye.z, 1.7, 1e-9);  // head height over the flat ground
    const double distance = std::sqrt(Dot(to, to));
    nearest = std::min(nearest, distance);
    farthest = std::max(farthest, distance);
    // Where the fuselage lands in the picture: view space X right, Y forward, Z up.
    const Vec3 v = Rotate(QuatInverse(CameraOrientation), to);
    ASSERT_GT(v.y, 0) << frame;
    const double half = std::tan(FieldOfView * M_PI / 360);
    EXPECT_LT(std::fabs(v.z / v.y) / half, 0.05) << frame;  // within the middle twentieth of the height
    EXPECT_LT(std::fabs(v.x / v.y) / half, 0.05) << frame;
    // The subject's share of the picture's height stays in a band.
    const double share = 2 * std::atan(kFieldSubjectSize / 2 / distance) * 180 / M_PI / FieldOfView;
    EXPECT_TRUE(share > 0.2 && share < 0.5) << frame << ": " << share << " at " << distance << " m";
    // The horizon stays level: the camera's right axis is horizontal.
    EXPECT_NEAR(Rotate(CameraOrientation, Vec3{1, 0, 0}).z, 0, 1e-9);
  }
  EXPECT_GT(farthest - nearest, 20) << "the flight went somewhere";
  // C goes back to the cycle it always had; F6 restores the field of view it found.
  PressKey(VK_F6);
  InputPass();
  EXPECT_FALSE(FieldView);
  EXPECT_EQ(FieldOfView, 45);
  PressKey(VK_F6);
  InputPass();
  PressKey('C');
  InputPass();
  EXPECT_FALSE(FieldView);
}

TEST_F(ScreenTest, PausedBannerAtStartGoesWithPAndSaysContinueAfterwards) {
  const double s = OverlayScale();
  DrawFrame();
  EXPECT_EQ(DecodeLightText(rec->Draws(), 44 * s), "PAUSED");
  EXPECT_EQ(DecodeLightText(rec->Draws(), 20 * s), "press P to start");

  PressKey(KeyBinding['P']);  // P, as the window enters it
  ReleaseKey(KeyBinding['P']);
  InputPass();
  EXPECT_FALSE(Paused);
  RunTime = 0.5;
  rec->clearCalls();
  DrawFrame();
  EXPECT_EQ(DecodeLightText(rec->Draws(), 44 * s), "");

  Paused = true;
  EXPECT_EQ(PausedHint(), "press P to continue");
  // With P unbound the hint names the key that still pauses.
  Settings settings = DefaultSettings();
  LogCapture quiet;
  ParseSettings("[keys]\npause = Pause\n", "t.conf", settings);
  ApplyKeySettings(settings);
  EXPECT_EQ(PausedHint(), "press Pause to continue");
}

TEST_F(ScreenTest, HelpFollowsTheBindingsInForce) {
  std::string line = HelpLine();
  EXPECT_EQ(line.substr(0, 30), "P: start/stop  E: arm  Z: powe");
  EXPECT_TRUE(Has(line, "arrows: pitch/roll"));

  Settings settings = DefaultSettings();
  {
    LogCapture quiet;
    ParseSettings("[keys]\narm = Q\npitch_up = W\n", "t.conf", settings);
    EXPECT_EQ(quiet.text(), "");
  }
  ApplyKeySettings(settings);
  UserSettings = settings;
  line = HelpLine();
  EXPECT_TRUE(Has(line, "Q: arm")) << line;
  EXPECT_FALSE(Has(line, "E: arm")) << line;
  EXPECT_TRUE(Has(line, "W: up")) << line;  // rebound arrows are named one by one

  // The help line as drawn says so too.
  rec->clearCalls();
  ShowHelp = true;
  DrawHelp();
  const double s = OverlayScale();
  EXPECT_EQ(Rows(DecodeLightText(rec->Draws(), 14 * s)), line);

  // The full list: every action with its key and stick buttons, the free camera's keys, the mouse.
  std::vector<std::string> full = FullHelpLines();
  std::string all;
  for (const std::string& l : full) all += l + "\n";
  EXPECT_TRUE(Has(all, "  Q [b]: arm or disarm the wing beat")) << all;
  EXPECT_TRUE(Has(all, "  P/Pause [start]: run or pause")) << all;
  EXPECT_TRUE(Has(all, "W/S/D/A/R/F: forward/back/right/left/up/down")) << all;
  EXPECT_TRUE(Has(all, "right button held: look around")) << all;
  EXPECT_TRUE(Has(all, "wheel: zoom")) << all;
  EXPECT_TRUE(Has(all, "  F4: this list")) << all;
  PressKey(VK_F4);
  InputPass();
  EXPECT_TRUE(ShowFullHelp);
  rec->clearCalls();
  DrawHelp();
  ShowFullHelp = false;
  EXPECT_TRUE(Has(DecodeLightText(rec->Draws(), 15 * s), "Q [b]: arm or disarm the wing beat"));
}

// A resized window gives the device a new back-buffer size: the picture's
// aspect, the panel, the help line and the messages follow it, whole.
TEST_F(ScreenTest, TheScreenFollowsANewWindowSizeWithNothingLost) {
  a->fuselage->position = Vec3{70, 70, 2.25};
  const std::vector<std::string> before = Panel();
  ASSERT_EQ(Device->ResizeBackBuffer(640, 400), D3D_OK);
  SetupFrame(0.1, 100000);
  EXPECT_EQ(ScreenRight, 639);
  EXPECT_EQ(ScreenBottom, 399);
  const D3DMATRIX& p = rec->state().projection;
  EXPECT_NEAR(p.m[0][0] / p.m[2][1], 400.0 / 640.0, 1e-6);
  EXPECT_EQ(Panel(), before);

  StartScreenMessages();
  {
    LogCapture quiet;
    Log("Screenshot saved to /tmp/x.png\n");
  }
  ShowHelp = true;
  rec->clearCalls();
  DrawFlightPanel();
  DrawPausedBanner();
  DrawScreenMessages();
  DrawHelp();
  Quad q;
  int quads = 0;
  for (const RecordedCall* d : rec->Draws())
    if (ReadQuad(d, q))
      for (int i = 0; i < 4; i++, quads++) {
        EXPECT_GE(q.x[i], 0);
        EXPECT_LE(q.x[i], 640);
        EXPECT_GE(q.y[i], 0);
        EXPECT_LE(q.y[i], 400);
      }
  EXPECT_GT(quads, 400);
  // Too long for 640 pixels, the help line breaks into rows at its usual
  // size rather than shrinking, and says all of itself.
  const double size = 14 * OverlayScale();
  EXPECT_GT(HelpRows(HelpLine(), size, 632).size(), 1u);
  EXPECT_EQ(Rows(DecodeLightText(rec->Draws(), size)), HelpLine());
  // The message stays whole, above the taller help line.
  EXPECT_TRUE(Has(DecodeLightText(rec->Draws(), 15 * OverlayScale()), "Screenshot saved to /tmp/x.png"));
  double messageBottom = 0, helpTop = 1e9;
  for (const RecordedCall* d : rec->Draws())
    if (ReadQuad(d, q) && q.textured && q.y[0] > 200) {
      double height = q.y[1] - q.y[0];
      if (std::fabs(height - 15 * OverlayScale()) < 1e-3) messageBottom = std::max(messageBottom, double(q.y[1]));
      if (std::fabs(height - size) < 1e-3) helpTop = std::min(helpTop, double(q.y[0]));
    }
  EXPECT_GT(messageBottom, 0);
  EXPECT_LT(messageBottom, helpTop);
}

TEST_F(ScreenTest, ConsoleLinesShowOnScreenFadeAndComeBackOnTheirKey) {
  StartScreenMessages();
  Settings settings = DefaultSettings();
  std::string console;
  {
    LogCapture capture;
    ParseSettings("[keys]\narm = NoSuchKey\n", "t.conf", settings);
    Log("Key 5 is ");  // a line printed in pieces is one message
    Log("down.\n");
    Log("Key 5 is down.\n");
    console = capture.text();
  }
  // The console reads exactly as before.
  EXPECT_EQ(console, "t.conf:2: unknown key name \"NoSuchKey\" for arm; the default stays\nKey 5 is down.\nKey 5 is down.\n");
  const double now = 1000;
  std::vector<ScreenMessage> shown = VisibleMessages(now);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, "t.conf:2: unknown key name \"NoSuchKey\" for arm; the default stays");
  EXPECT_EQ(shown[1].text, "Key 5 is down.  (x2)");
  EXPECT_EQ(shown[0].opacity, 1);
  EXPECT_GT(VisibleMessages(now + 5).at(0).opacity, 0);
  EXPECT_LT(VisibleMessages(now + 5).at(0).opacity, 1);  // fading
  EXPECT_TRUE(VisibleMessages(now + 7).empty());
  RecallMessages(now + 20);
  EXPECT_EQ(VisibleMessages(now + 21).size(), 2u);
  EXPECT_TRUE(VisibleMessages(now + 40).empty());

  // A diagnostic dump stays on the console.
  {
    LogCapture capture;
    LogConsoleOnly dump;
    Log("0.000000, 1.000000, 0.000000\n");
    EXPECT_EQ(capture.text(), "0.000000, 1.000000, 0.000000\n");
  }
  // Drawn: a fresh message on the window, at the bottom above the help line.
  StopScreenMessages();
  StartScreenMessages();
  {
    LogCapture quiet;
    Log("Screenshot saved to /tmp/x.png\n");
  }
  rec->clearCalls();
  DrawScreenMessages();
  std::string text = DecodeLightText(rec->Draws(), 15 * OverlayScale());
  EXPECT_EQ(text, "Screenshot saved to /tmp/x.png") << text;
}

}  // namespace

namespace {

TEST(Instruments, NeedlesPointAtTheirValuesAndStopAtTheEndsOfTheirScales) {
  FlightData d;
  auto at = [&](Dial dial) { return NeedleAngle(dial, d); };
  // Airspeed and beat rate sweep 270 degrees from seven-thirty.
  EXPECT_DOUBLE_EQ(at(kDialAirspeed), -135);
  d.airspeed = 10;
  EXPECT_DOUBLE_EQ(at(kDialAirspeed), 0);
  d.airspeed = 20;
  EXPECT_DOUBLE_EQ(at(kDialAirspeed), 135);
  d.airspeed = 55;
  EXPECT_DOUBLE_EQ(at(kDialAirspeed), 135);
  d.beatRate = 2;
  EXPECT_DOUBLE_EQ(at(kDialBeat), 45);
  d.beatRate = 9;
  EXPECT_DOUBLE_EQ(at(kDialBeat), 135);
  // The variometer's zero is at nine o'clock, 27 degrees per m/s, stops at 5 m/s either way.
  EXPECT_DOUBLE_EQ(at(kDialVariometer), -90);
  d.climb = 2.5;
  EXPECT_DOUBLE_EQ(at(kDialVariometer), -22.5);
  d.climb = -7;
  EXPECT_DOUBLE_EQ(at(kDialVariometer), -225);
  d.climb = 7;
  EXPECT_DOUBLE_EQ(at(kDialVariometer), 45);
  // The altimeter's long hand turns once per 100 m; no ground below or below it reads zero.
  EXPECT_DOUBLE_EQ(at(kDialAltimeter), 0);
  d.hasHeight = true;
  d.height = 25;
  EXPECT_DOUBLE_EQ(at(kDialAltimeter), 90);
  d.height = 150;
  EXPECT_DOUBLE_EQ(at(kDialAltimeter), 180);
  d.height = -3;
  EXPECT_DOUBLE_EQ(at(kDialAltimeter), 0);
  // The compass shows the heading; the horizon bar tilts against the bank, at most a quarter turn.
  d.heading = 271;
  EXPECT_DOUBLE_EQ(at(kDialCompass), 271);
  d.bank = 30;
  EXPECT_DOUBLE_EQ(at(kDialBank), -30);
  d.bank = -120;
  EXPECT_DOUBLE_EQ(at(kDialBank), 90);
}

}  // namespace
