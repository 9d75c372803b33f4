// The set-up menu on the recording device: closed it changes nothing in a
// frame, open it draws its pieces over the frame and gives the device state
// back; it pauses and resumes through the Pause key; a key bound in it acts,
// shows in the help line and is in the settings file for the next start;
// its saving keeps the user's file as they wrote it; and a flight chosen on
// its Flights page replays from the flight's start.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "aircraft/aircraft.h"
#include "app/aircraft_reload.h"
#include "app/flight_session.h"
#include "app/key_help.h"
#include "app/menu/menu.h"
#include "app/menu/menu_pages.h"
#include "app/menu/settings_edit.h"
#include "app/flight_panel.h"
#include "app/settings.h"
#include "app/shell.h"
#include "app/stick.h"
#include "app/update.h"
#include "app/user_files.h"
#include "flightrec/state.h"
#include "foundation/log.h"
#include "physics/entity.h"
#include "platform/gpu/recording.h"
#include "platform/window/window.h"
#include "render/draw.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"
#include "render/view.h"
#include "tests/aircraft/test_model.h"
#include "tests/app/recorded_quads.h"

namespace fs = std::filesystem;

namespace {

const char* const kRunDir = TARN_BINARY_DIR "/run";

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tarn-menu-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    const fs::path run = kRunDir;
    for (const char* sub : {"Textures", "Shaders", "Fonts"}) fs::create_directory_symlink(run / sub, dir / sub);
    fs::create_directory(dir / "Models");
    for (const char* m : {"Models/PlaneTarn.mdl", "Models/InvBox.mdl"}) fs::create_symlink(run / m, dir / m);
    oldDir = fs::current_path();
    fs::current_path(dir);
    for (auto& b : KeyState) b = 0;
    ShowHelp = true;
    UserSettings = DefaultSettings();
    ApplyKeySettings(UserSettings);
    SetMenuSettingsPath((dir / "tarnsim.conf").string());
    RegisterFlatIsland(0);
    Device = rec = CreateRecordingDevice(1024, 768);
    LogCapture quiet;
    InitApplication();
    CurrentDt = 0.016;
    rec->clearCalls();
  }
  void TearDown() override {
    CloseMenu();
    {
      LogCapture quiet;
      ShutdownApplication();
      ReleaseDevice();
    }
    UserSettings = DefaultSettings();
    ApplyKeySettings(UserSettings);
    ApplyDisplaySettings(UserSettings);
    fs::current_path(oldDir);
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  // One frame's drawing; its calls, one line each.
  std::vector<std::string> Frame() {
    rec->clearCalls();
    DrawFrame();
    std::vector<std::string> calls;
    for (const RecordedCall& c : rec->calls()) calls.push_back(c.describe());
    return calls;
  }

  fs::path dir, oldDir;
  RecordingDevice* rec = nullptr;
};

TEST_F(MenuTest, ClosedItCostsNothingOpenItDrawsOverTheFrameAndGivesTheStateBack) {
  const std::vector<std::string> before = Frame();
  const std::shared_ptr<const GpuState> stateBefore = rec->snapshot();

  OpenMenu();
  Frame();  // the first open frame makes the atlas
  const std::vector<std::string> open = Frame();
  ASSERT_GT(open.size(), before.size());
  // The frame's own calls come first, unchanged except the cursor, which
  // stays on top of the menu.
  const std::vector<const RecordedCall*> draws = rec->Draws();
  std::vector<const RecordedCall*> menu;
  for (const RecordedCall* d : draws)
    if (d->state->fvf == (D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1) && d->kind == CallKind::DrawIndexedPrimitive)
      menu.push_back(d);
  ASSERT_GE(menu.size(), 2u);
  EXPECT_EQ(draws.back()->kind, CallKind::DrawPrimitiveUP) << "the cursor is drawn last";
  for (const RecordedCall* d : menu) {
    const GpuState& s = *d->state;
    EXPECT_EQ(s.renderState(D3DRS_ALPHABLENDENABLE), 1u);
    EXPECT_EQ(s.renderState(D3DRS_ZENABLE), uint32_t(D3DZB_FALSE));
    EXPECT_EQ(s.renderState(D3DRS_SCISSORTESTENABLE), 1u);
    // Each piece is clipped inside the screen.
    EXPECT_TRUE(s.scissor.left >= 0 && s.scissor.top >= 0 && s.scissor.right <= 1024 && s.scissor.bottom <= 768 &&
                s.scissor.left < s.scissor.right && s.scissor.top < s.scissor.bottom);
    ASSERT_NE(s.textures[0].get(), nullptr);
    EXPECT_NE(s.pixelShader.get(), nullptr) << "the menu's shader multiplies the atlas by the colour, alpha too";
  }
  // The menu window sits in the middle of the screen: its first piece (the
  // window's background) spans about the middle.
  const GpuState& first = *menu.front()->state;
  EXPECT_NEAR((first.scissor.left + first.scissor.right) / 2.0, 512, 40);

  // After the menu every state it set is back as the frame had it.
  const RecordedCall* cursor = draws.back();
  for (D3DRENDERSTATETYPE r : {D3DRS_ZENABLE, D3DRS_ZWRITEENABLE, D3DRS_CULLMODE, D3DRS_ALPHABLENDENABLE,
                               D3DRS_SRCBLEND, D3DRS_DESTBLEND, D3DRS_SCISSORTESTENABLE})
    EXPECT_EQ(rec->state().renderState(r), stateBefore->renderState(r)) << r;
  EXPECT_EQ(rec->state().samplerState(0, D3DSAMP_ADDRESSU), stateBefore->samplerState(0, D3DSAMP_ADDRESSU));
  EXPECT_EQ(cursor->state->renderState(D3DRS_SCISSORTESTENABLE), 0u);

  CloseMenu();
  EXPECT_EQ(Frame(), before) << "closed, the frame's calls are exactly those before it ever opened";
}

TEST_F(MenuTest, OpeningPausesThroughTheKeyAndClosingResumesOnlyWhatRan) {
  Paused = false;
  OpenMenu();
  SimulationInputPass();
  EXPECT_TRUE(Paused);
  CloseMenu();
  SimulationInputPass();
  EXPECT_FALSE(Paused);
  // Paused before: paused after, no key entered.
  Paused = true;
  OpenMenu();
  CloseMenu();
  SimulationInputPass();
  EXPECT_TRUE(Paused);
  // Keys held when it opens are let go; keys pressed inside never reach the table.
  PressKey(VK_UP);
  OpenMenu();
  EXPECT_FALSE(KeyHeld(VK_UP));
  WindowProc(WM_KEYDOWN, 'Z', 0);
  EXPECT_EQ(KeyState['Z'], 0);
  WindowProc(WM_KEYDOWN, VK_ESCAPE, 0);  // closes the menu, does not quit
  MenuInputPass();
  EXPECT_FALSE(MenuOpen());
  MSG msg;
  while (PeekWindowMessage(msg)) EXPECT_NE(msg.message, uint32_t(WM_QUIT));
}

TEST_F(MenuTest, AKeyBoundInTheMenuActsShowsInTheHelpAndSurvivesARestart) {
  EXPECT_NE(HelpLine().find("C: camera"), std::string::npos) << HelpLine();
  OpenMenu();
  Frame();
  BeginKeyBinding(kActCamera);
  WindowProc(WM_KEYDOWN, 'K', 0);
  WindowProc(WM_KEYUP, 'K', 0);
  CloseMenu();
  EXPECT_NE(HelpLine().find("K: camera"), std::string::npos) << HelpLine();
  // K now changes the camera; C does nothing.
  ASSERT_NE(CurrentAircraft, nullptr);
  const int mode = CurrentAircraft->cameraMode;
  WindowProc(WM_KEYDOWN, 'K', 0);
  WindowProc(WM_KEYUP, 'K', 0);
  InputPass();
  EXPECT_NE(CurrentAircraft->cameraMode, mode);
  const int after = CurrentAircraft->cameraMode;
  WindowProc(WM_KEYDOWN, 'C', 0);
  WindowProc(WM_KEYUP, 'C', 0);
  InputPass();
  EXPECT_EQ(CurrentAircraft->cameraMode, after);

  // A key taken from another action is named, and that action loses it.
  OpenMenu();
  BeginKeyBinding(kActCut);
  WindowProc(WM_KEYDOWN, 'K', 0);
  CloseMenu();
  EXPECT_TRUE(UserSettings.keys[kActCamera].empty());

  // The next start reads the same keys from the file.
  Settings restarted = LoadSettings((dir / "tarnsim.conf").string());
  EXPECT_EQ(restarted.keys[kActCut], std::vector<uint32_t>{'K'});
  EXPECT_TRUE(restarted.keys[kActCamera].empty());
  EXPECT_EQ(restarted.keys[kActArm], std::vector<uint32_t>{'E'});
}

// The Display page: a change acts at once, is written alone into the user's
// file, and is read back at the next start.
TEST_F(MenuTest, ADisplayChangeActsAtOnceAndWritesOnlyItself) {
  const fs::path conf = dir / "tarnsim.conf";
  {
    std::ofstream out(conf);
    out << "# mine\n[display]\nvsync = false\n# hud_scale = 1\n";
  }
  Settings after = UserSettings;
  after.hudScale = 2;
  after.panel = 0;
  ChangeDisplaySettings(UserSettings, after);
  EXPECT_EQ(ReadText(conf), "# mine\n[display]\nvsync = false\n# hud_scale = 1\nhud_scale = 2\npanel = off\n");
  EXPECT_FALSE(ShowFlightPanel);
  // The design's head-up lines at twice their size, in their place.
  Frame();
  EXPECT_EQ(DecodeText(rec->Draws(), 20).rfind("Heading: ", 0), 0u);
  EXPECT_EQ(DecodeText(rec->Draws(), 40).rfind("Speed: ", 0), 0u);
  Settings restarted = LoadSettings(conf.string());
  EXPECT_EQ(restarted.hudScale, 2);
  EXPECT_EQ(restarted.panel, 0);
  EXPECT_FALSE(restarted.vsync);
}

TEST(SettingsEdit, OneChangeKeepsTheUsersCommentsOrderAndUntouchedValues) {
  const std::string mine =
      "; my transmitter\r\n"
      "[roll]\r\n"
      "axis = 3   ; the right stick\r\n"
      "expo = 0.5\r\n"
      "\r\n"
      "[pitch]\r\n"
      "# deadzone = 0.05\r\n"
      "axis = 1\r\n";
  // A value that has a line: that line, its comment kept.
  EXPECT_EQ(SetIniValue(mine, "roll", "axis", "2"),
            "; my transmitter\r\n[roll]\r\naxis = 2   ; the right stick\r\nexpo = 0.5\r\n\r\n[pitch]\r\n"
            "# deadzone = 0.05\r\naxis = 1\r\n");
  // One without: under its commented example.
  EXPECT_EQ(SetIniValue(mine, "Pitch", "deadzone", "0.1"),
            "; my transmitter\r\n[roll]\r\naxis = 3   ; the right stick\r\nexpo = 0.5\r\n\r\n[pitch]\r\n"
            "# deadzone = 0.05\r\ndeadzone = 0.1\r\naxis = 1\r\n");
  // At the end of its section, before the blank line.
  EXPECT_EQ(SetIniValue(mine, "roll", "rate", "0.8"),
            "; my transmitter\r\n[roll]\r\naxis = 3   ; the right stick\r\nexpo = 0.5\r\nrate = 0.8\r\n\r\n"
            "[pitch]\r\n# deadzone = 0.05\r\naxis = 1\r\n");
  // A section the file lacks, at its end (a last line without its line end too).
  EXPECT_EQ(SetIniValue("[a]\nx = 1", "keys", "camera", "K"), "[a]\nx = 1\n\n[keys]\ncamera = K\n");
}

TEST(SettingsEdit, AFileThatCannotBeWrittenStaysWholeAndTheMenuSaysSo) {
  char tmpl[] = "/tmp/tarn-menu-save-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const fs::path dir = tmpl;
  std::string reason;
  // A missing file starts from the commented defaults.
  const std::string fresh = "# defaults\n[pitch]\n# expo = 0.3\n";
  ASSERT_TRUE(SaveSettingChanges((dir / "new" / "t.conf").string(), {{"pitch", "expo", "0.5"}}, fresh, reason))
      << reason;
  EXPECT_EQ(ReadText(dir / "new" / "t.conf"), "# defaults\n[pitch]\n# expo = 0.3\nexpo = 0.5\n");

  // A folder where the file should be, and a file where its folder should be.
  fs::create_directory(dir / "folder.conf");
  EXPECT_FALSE(SaveSettingChanges((dir / "folder.conf").string(), {{"pitch", "expo", "1"}}, fresh, reason));
  EXPECT_TRUE(fs::is_directory(dir / "folder.conf"));
  EXPECT_FALSE(SaveSettingChanges((dir / "new" / "t.conf" / "x.conf").string(), {{"pitch", "expo", "1"}}, fresh,
                                  reason));
  EXPECT_EQ(ReadText(dir / "new" / "t.conf"), "# defaults\n[pitch]\n# expo = 0.3\nexpo = 0.5\n");

  // The menu's own save puts the failure at its foot.
  SetMenuSettingsPath((dir / "folder.conf").string());
  {
    LogCapture log;
    SaveMenuSettings({{"pitch", "expo", "1"}});
    EXPECT_NE(log.text().find("could not save"), std::string::npos);
  }
  EXPECT_EQ(MenuStatus().rfind("Could not save " + (dir / "folder.conf").string(), 0), 0u) << MenuStatus();
  EXPECT_NE(MenuStatus().find("the file is as it was"), std::string::npos);
  SetMenuSettingsPath("");
  fs::remove_all(dir);
}

}  // namespace

namespace {

// The Aircraft page's Apply and a file with the same value, reloaded as F5
// does, build the same machine.
// A second of flight from the reset point, then the state's hash.
uint64_t FlownHash() {
  CurrentDt = PhysicsStep;
  for (int i = 0; i < 500; i++) WorldStep();
  return flight::StateHash();
}

TEST_F(MenuTest, AnAircraftValueAppliedInTheMenuBuildsWhatTheFileWithThatValueBuilds) {
  LogCapture quiet;
  content::AircraftParams edited;
  edited.beatIdleRate = 1.3;
  ASSERT_TRUE(ApplyMenuAircraft(edited));
  EXPECT_EQ(CurrentAircraftParams, edited);
  const uint64_t fromMenu = FlownHash();

  ASSERT_TRUE(ApplyMenuAircraft(content::AircraftParams()));
  EXPECT_NE(FlownHash(), fromMenu) << "the value changes the machine";
  const std::string file = (dir / "edited.ini").string();
  std::string reason;
  ASSERT_TRUE(content::WriteAircraftFile(file, edited, reason)) << reason;
  WatchAircraftFile(file, {});
  PressKey(VK_F5);
  PollAircraftFile();
  EXPECT_EQ(CurrentAircraftParams, edited);
  EXPECT_EQ(FlownHash(), fromMenu);
  WatchAircraftFile("", {});

  // Values that cannot be built together are not applied.
  content::AircraftParams broken = edited;
  broken.cameraMin = 60;  // above its upper limit
  EXPECT_FALSE(ApplyMenuAircraft(broken));
  EXPECT_EQ(CurrentAircraftParams, edited);
  ApplyMenuAircraft(content::AircraftParams());
}

TEST_F(MenuTest, AFlightChosenOnTheFlightsPageReplaysFromItsStart) {
  LogCapture log;
  setenv("XDG_DATA_HOME", dir.c_str(), 1);
  StartFlightSession(FlightSessionOptions());
  ResetScene();
  struct Host : FrameHost {
    bool BeginFrame() override { return FlightFrameBegin(); }
    bool InputPassDue() override { return FlightInputPassDue(true); }
    void EndFrame(bool inputPass) override { FlightFrameEnd(inputPass); }
  } host;
  ToggleFlightRecording();
  for (int k = 0; k < 90; k++) {
    if (k == 1 || k == 5 || k == 10)
      for (bool down : {true, false}) EnterKeyMessage(k == 1 ? uint32_t(VK_PAUSE) : k == 5 ? 'E' : 'Z', down);
    RunFrame(host);
  }
  ToggleFlightRecording();
  std::vector<fs::path> flights;
  for (const auto& e : fs::directory_iterator(FlightsDirectory())) flights.push_back(e.path());
  ASSERT_EQ(flights.size(), 1u) << log.text();

  // Chosen while flying on: the menu closes, and the world starts again
  // from the flight's start at the pace set there.
  for (int k = 0; k < 30; k++) RunFrame(host);
  OpenMenu();
  SetReplaySpeedIndex(4);
  ChooseFlightToReplay(flights[0].string());
  MenuInputPass();
  EXPECT_FALSE(MenuOpen());
  for (int k = 0; k < 2000 && log.text().find("Replay of") == std::string::npos; k++) RunFrame(host);
  EXPECT_NE(log.text().find("Replay of \"" + flights[0].string() + "\" matches"), std::string::npos) << log.text();

  // A file that is no flight is refused with its line; the menu stays open.
  OpenMenu();
  ChooseFlightToReplay((dir / "tarnsim.conf").string());
  MenuInputPass();
  EXPECT_TRUE(MenuOpen());
  EXPECT_NE(log.text().find("Can't replay"), std::string::npos);
  SetReplaySpeedIndex(2);
  EndFlightSession();
  unsetenv("XDG_DATA_HOME");
}

}  // namespace
