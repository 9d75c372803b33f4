#include "app/flight_panel.h"

#include <cmath>
#include <cstdio>

#include "aircraft/aircraft.h"
#include "foundation/clock.h"
#include "app/key_help.h"
#include "app/settings.h"
#include "render/overlay.h"
#include "render/view.h"
#include "sim/frame_clock.h"

bool ShowFlightPanel = true;
bool ShowFrameRate = false;

namespace {

// A number that rounds to zero prints without a sign of its own ("-0.0").
std::string Fixed(const char* format, double v) {
  const bool whole = std::string(format).find(".0f") != std::string::npos;
  if (std::fabs(v) < (whole ? 0.5 : 0.05)) v = 0;
  char text[64];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

// Bars of the two inputs, one per line from the first bar line on.
constexpr int kFirstBarLine = 9;

}  // namespace

std::vector<std::string> FlightPanelLines(const FlightData& d) {
  std::vector<std::string> lines;
  lines.push_back(Fixed("Airspeed  %5.1f m/s", d.airspeed));
  lines.push_back(Fixed("Ground sp %5.1f m/s", d.groundSpeed));
  lines.push_back(d.hasHeight ? Fixed("Height    %5.1f m", d.height) : std::string("Height      --- m"));
  lines.push_back(Fixed("Climb     %+5.1f m/s", d.climb));
  char text[64];
  std::snprintf(text, sizeof text, "Heading     %03d deg", int(std::lround(d.heading)) % 360);
  lines.push_back(text);
  lines.push_back(Fixed("Bank      %+5.0f deg", d.bank));
  lines.push_back(Fixed("Pitch     %+5.0f deg", d.pitch));
  std::snprintf(text, sizeof text, "Beat      %5.2f Hz %s", d.beatRate,
                d.powered ? "ON" : d.armed ? "armed" : "off");
  lines.push_back(text);
  lines.push_back(std::string("Tail      ") + (d.tailLevel ? "level" : "raised"));
  lines.push_back(Fixed("Pitch in  %+5.1f", d.pitchInput));
  lines.push_back(Fixed("Roll in   %+5.1f", d.rollInput));
  if (d.wind) {
    std::snprintf(text, sizeof text, " from %03d", int(std::lround(d.windFrom)) % 360);
    lines.push_back(Fixed("Wind      %5.1f m/s", d.windSpeed) + text);
  }
  return lines;
}

void DrawFlightPanel() {
  if (!CurrentAircraft || !CurrentAircraft->fuselage) return;
  FlightData d = ReadFlightData(*CurrentAircraft);
  std::vector<std::string> lines = FlightPanelLines(d);
  // Frame times smoothed over a dozen frames, so the figure can be read.
  static double lastDraw = 0, frameTime = 0;
  double now = WallSeconds();
  if (lastDraw > 0) frameTime = frameTime > 0 ? frameTime * 0.92 + (now - lastDraw) * 0.08 : now - lastDraw;
  lastDraw = now;
  if (ShowFrameRate) {
    char text[48];
    std::snprintf(text, sizeof text, "Frames    %5.0f /s", frameTime > 0 ? 1 / frameTime : 0.0);
    lines.push_back(text);
  }
  const double s = OverlayScale(), h = 15 * s, row = 18 * s, pad = 6 * s;
  const double width = 300 * s;
  const double x0 = ScreenRight + 1 - width - 8 * s, y0 = 56 * s;
  DrawPlate(x0, y0, x0 + width, y0 + lines.size() * row + 2 * pad, 0.05f, 0.08f, 0.12f, 0.55f);
  double y = y0 + pad;
  for (size_t i = 0; i < lines.size(); i++, y += row) {
    bool beatOn = i == 7 && d.powered;
    DrawOutlinedText(x0 + pad, y, h, lines[i], beatOn ? 1.0f : 0.95f, beatOn ? 0.8f : 0.95f,
                     beatOn ? 0.2f : 0.95f);
    if (i == size_t(kFirstBarLine) || i == size_t(kFirstBarLine + 1)) {
      // A bar from the centre mark toward the input, full at +-1.
      double value = Clamp(i == size_t(kFirstBarLine) ? d.pitchInput : d.rollInput, -1, 1);
      double bx0 = x0 + 175 * s, bx1 = x0 + width - pad, mid = (bx0 + bx1) / 2;
      double top = y + 3 * s, bottom = y + h - 3 * s;
      DrawPlate(bx0, top, bx1, bottom, 0, 0, 0, 0.5f);
      double end = mid + value * (bx1 - bx0) / 2;
      DrawPlate(std::fmin(mid, end), top, std::fmax(mid, end), bottom, 0.3f, 0.9f, 0.4f, 0.9f);
      DrawPlate(mid - 1, top - 2 * s, mid + 1, bottom + 2 * s, 1, 1, 1, 0.9f);
    }
  }
}

std::string PausedHint() {
  return "press " + PrimaryKeyName(kActPause) + (RunTime == 0 ? " to start" : " to continue");
}

void DrawPausedBanner() {
  if (!Paused) return;
  const double s = OverlayScale();
  const double big = 44 * s, small = 20 * s;
  const double cx = (ScreenRight + 1) / 2.0, y = (ScreenBottom + 1) * 0.22;
  std::string hint = PausedHint();
  double w = std::fmax(TextWidth("PAUSED", big), TextWidth(hint, small)) + 32 * s;
  DrawPlate(cx - w / 2, y - 8 * s, cx + w / 2, y + big + small + 16 * s, 0.05f, 0.08f, 0.12f, 0.55f);
  DrawOutlinedText(cx - TextWidth("PAUSED", big) / 2, y, big, "PAUSED", 1, 0.85f, 0.25f);
  DrawOutlinedText(cx - TextWidth(hint, small) / 2, y + big + 4 * s, small, hint, 1, 1, 1);
}
