// The stick calibration wizard: three prompts (pitch stick through its
// travel and held up, roll stick through its travel and held left, both
// centred) find the two axes among a device's raw axes, which end of each
// gives +1, where each rests and how far each reaches. Transmitters rarely
// centre at 0 or reach +-1; the result reads exactly +-1 at the ends and 0
// at rest.
#pragma once
#include <string>
#include <vector>

#include "app/settings.h"

class StickCalibration {
 public:
  enum Step { kPitch, kRoll, kCentre, kDone };

  // Begins with the shaping (deadzone, expo, rate) of the given axes kept.
  void Start(const AxisSettings& pitch, const AxisSettings& roll);
  // Every frame: the device's raw axes (-1..1).
  void Feed(const std::vector<double>& axes);
  // The pilot says the step is done. False, with the reason in problem, when
  // the readings do not allow it (no axis moved far enough); the step stays.
  bool Next(std::string& problem);

  Step step() const { return step_; }
  // What the pilot is asked to do now.
  const char* Prompt() const;
  // The axes found, valid once step() is kDone.
  const AxisSettings& pitch() const { return pitch_; }
  const AxisSettings& roll() const { return roll_; }

 private:
  int Widest(int except) const;
  AxisSettings Finish(const AxisSettings& base, int axis, double held, double centre) const;

  Step step_ = kDone;
  std::vector<double> low_, high_, last_;  // per axis over the step; the latest reading
  std::vector<double> allLow_, allHigh_;   // per axis over the whole session
  int pitchAxis_ = -1, rollAxis_ = -1;
  double pitchHeld_ = 0, rollHeld_ = 0;  // the readings held up and left
  AxisSettings pitch_, roll_;
};
