#include "app/menu/calibration.h"

#include <algorithm>
#include <cmath>

namespace {
// Travel an axis must show to count as the stick that was moved: well above
// the jitter of a resting transmitter, well below any real stick's throw.
constexpr double kMinTravel = 0.5;
}  // namespace

void StickCalibration::Start(const AxisSettings& pitch, const AxisSettings& roll) {
  step_ = kPitch;
  pitch_ = pitch;
  roll_ = roll;
  low_.clear(), high_.clear(), last_.clear(), allLow_.clear(), allHigh_.clear();
  pitchAxis_ = rollAxis_ = -1;
}

void StickCalibration::Feed(const std::vector<double>& axes) {
  if (step_ == kDone) return;
  if (axes.size() != last_.size()) {
    // A new device (or the first reading): start the session's bounds afresh.
    low_ = high_ = allLow_ = allHigh_ = axes;
  }
  last_ = axes;
  for (size_t i = 0; i < axes.size(); i++) {
    low_[i] = std::min(low_[i], axes[i]);
    high_[i] = std::max(high_[i], axes[i]);
    allLow_[i] = std::min(allLow_[i], axes[i]);
    allHigh_[i] = std::max(allHigh_[i], axes[i]);
  }
}

int StickCalibration::Widest(int except) const {
  int best = -1;
  double travel = kMinTravel;
  for (size_t i = 0; i < low_.size(); i++) {
    if (int(i) == except) continue;
    if (high_[i] - low_[i] >= travel) best = int(i), travel = high_[i] - low_[i];
  }
  return best;
}

AxisSettings StickCalibration::Finish(const AxisSettings& base, int axis, double held, double centre) const {
  AxisSettings a = base;
  a.standard = false;
  a.index = axis;
  a.trim = -centre;
  a.low = allLow_[size_t(axis)];
  a.high = allHigh_[size_t(axis)];
  // +1 is the end the stick was held at: invert when that is the low end.
  a.invert = held < centre;
  return a;
}

bool StickCalibration::Next(std::string& problem) {
  problem.clear();
  switch (step_) {
    case kPitch:
    case kRoll: {
      int axis = Widest(step_ == kRoll ? pitchAxis_ : -1);
      if (axis < 0) {
        problem = "No axis moved far enough: move the stick all the way, both ways.";
        return false;
      }
      (step_ == kPitch ? pitchAxis_ : rollAxis_) = axis;
      (step_ == kPitch ? pitchHeld_ : rollHeld_) = last_[size_t(axis)];
      step_ = step_ == kPitch ? kRoll : kCentre;
      low_ = high_ = last_;
      return true;
    }
    case kCentre: {
      double pc = last_[size_t(pitchAxis_)], rc = last_[size_t(rollAxis_)];
      // A centre must lie inside the travel with room on both sides.
      for (int k = 0; k < 2; k++) {
        int axis = k == 0 ? pitchAxis_ : rollAxis_;
        double c = k == 0 ? pc : rc, lo = allLow_[size_t(axis)], hi = allHigh_[size_t(axis)];
        if (c - lo < 0.25 * (hi - lo) || hi - c < 0.25 * (hi - lo) || std::fabs(c) > 0.5) {
          problem = "The sticks do not read as centred: let both go to rest.";
          return false;
        }
      }
      pitch_ = Finish(pitch_, pitchAxis_, pitchHeld_, pc);
      roll_ = Finish(roll_, rollAxis_, rollHeld_, rc);
      step_ = kDone;
      return true;
    }
    case kDone: break;
  }
  return false;
}

const char* StickCalibration::Prompt() const {
  switch (step_) {
    case kPitch: return "Move the stick you use for pitch fully up and down, then hold it fully up and press Next.";
    case kRoll: return "Move the stick you use for roll fully left and right, then hold it fully left and press Next.";
    case kCentre: return "Let both sticks go to their centres, then press Next.";
    case kDone: break;
  }
  return "Done: both axes found.";
}
