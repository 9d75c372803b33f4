// The flight runner as a lab: sweeps over aircraft and air values, the
// metrics of a flight over a time window, and the summary file that holds
// one row of them per case (and its shards, and their merge).
//
// A sweep is the cartesian product of its keys' values, the last key
// changing fastest; case numbers count from 0 in that order. Keys are
// aircraft-file keys ("section.key", as --set takes them) or the air's:
// air.wind_speed (m/s), air.wind_from (degrees), air.turbulence (0 off,
// 1 light, 2 moderate, 3 severe, or the words), air.thermals (0 or 1),
// air.thermal_density (per square km) and air.seed. The swept air is the air
// the flight starts in; a script's own air lines still apply at their times.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/flight/flight.h"

namespace air {
struct Settings;
}
namespace content {
struct AircraftParams;
}

namespace flight {

struct SweepAxis {
  std::string key;
  std::vector<std::string> values;  // as the case sets them and the summary shows them
};

// Reads "KEY=FROM:TO:COUNT" (COUNT evenly spaced values from FROM to TO) or
// "KEY=v1,v2,...". False with a one-line reason: an unknown key (naming the
// nearest), a non-number, COUNT below 1, a value the key does not allow.
bool ParseSweep(const std::string& sweep, SweepAxis& axis, std::string& error);
// Cases in the product; 0 without axes. Saturates at SIZE_MAX.
size_t CaseCount(const std::vector<SweepAxis>& axes);
constexpr size_t kMaxCases = 100000;
// The values of case `index`, one per axis.
std::vector<std::string> CaseValues(const std::vector<SweepAxis>& axes, size_t index);

bool IsAirKey(const std::string& key);
// Sets one swept value: an air key in `air`, anything else through the
// aircraft file's --set rule in `aircraft`. False with the reason.
bool ApplySweepValue(const std::string& key, const std::string& value, content::AircraftParams& aircraft,
                     air::Settings& air, std::string& error);

// What the lab reads from the live aircraft after each frame, beyond the
// telemetry row. Reading zeroes the hinges' impulse and work sums, so each
// probe covers the frame just run.
struct Probe {
  double thrust = 0;           // N, the wing panels' surface forces along the fuselage's forward axis
  double tipHeight = 0;        // m, the left outer tip above the fuselage's centre, fuselage frame
  double rootAngle = 0;        // rad, the left root hinge
  double driveWork = 0;        // J, work of the four wing hinges during the frame
  double maxHingeTorque = 0;   // N m, the largest mean axial torque of any hinge during the frame
  double minStrapTension = 0;  // N, the slackest strap (NaN with every strap cut)
};
Probe ReadProbe(double frameSeconds);

// The window of a flight the metrics look at, run-time seconds. Unset
// (NaN) ends mean the last third of the flight.
struct Window {
  double from, to;
};
// Reads "FROM:TO" (either side may be empty: the flight's start or end).
bool ParseWindow(const std::string& text, Window& window, std::string& error);

struct Metrics {
  size_t frames = 0;  // rows in the window
  double airspeed, groundSpeed, climbRate, headingRate, bank, heightGained;
  double minStrapTension, maxHingeTorque, drivePower, thrust;
  double strouhal, reducedFrequency, advanceRatio;
  bool hardContact = false;
};
// The metrics over `window` of rows and their probes (one per row). chord
// and span (the wing's chord and tip distance from the centre line, m) make
// the reduced frequency and the advance ratio dimensionless.
Metrics Measure(const std::vector<Row>& rows, const std::vector<Probe>& probes, Window window, double chord,
                double span);

// The metric columns' names, and a case's fields, comma-separated.
std::string MetricHeader();
std::string MetricFields(const Metrics& m, uint64_t finalHash);
// The fields of a case without metrics: blanks after its status.
std::string EmptyMetricFields();

// The summary file: a comment line with the sweep's fingerprint, its case
// count and (in a shard) which shard it is, the header, then one row per
// case: the case number, the swept values, the status ("ok", or why not),
// then the metrics.
struct SummaryRow {
  size_t index = 0;
  std::string text;  // the whole line without the newline
};
std::string SummaryText(uint64_t fingerprint, const std::vector<SweepAxis>& axes, size_t shard, size_t shards,
                        const std::vector<SummaryRow>& rows);
std::string SummaryRowText(size_t index, const std::vector<std::string>& values, const std::string& status,
                           const std::string& metricFields);
// Joins shard summaries (their texts and names for messages) into the
// summary a single run writes. False with a one-line reason when they are
// of different sweeps, a shard is missing or twice, or a file is not a shard.
bool MergeSummaries(const std::vector<std::string>& texts, const std::vector<std::string>& names, std::string& out,
                    std::string& error);

// Each metric against the swept value, one panel per metric; a two-key
// sweep draws heat maps (first key across, second up) with a colour legend.
// `summary` is a whole summary text. False with the reason.
bool SweepSvgText(const std::string& summary, std::string& svg, std::string& error);

}  // namespace flight
