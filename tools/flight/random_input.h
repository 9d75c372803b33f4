// The soak: the flight runner flown by a random pilot for a long simulated
// time, checking every frame that nothing has blown up or run away.
#pragma once
#include <cstdint>
#include <random>
#include <string>

namespace flight {

// Random key and stick input, the same for the same seed on every machine:
// arrows held and let go, the analog stick moved and centred, and now and
// then F1 (reset), Delete (strap cut), Space (tail), V/G (boost direction), E
// (arm), Z (power), C (camera) and Pause. A paused or freshly reset run is
// resumed after a moment. Escape is never pressed.
class RandomPilot {
 public:
  explicit RandomPilot(uint64_t seed) : rng_(seed) {}
  // Acts before a frame of `frameTime` seconds: key messages into the key
  // table and StickPitchInput/StickRollInput.
  void Act(double frameTime);

  uint32_t resets = 0, cuts = 0, pauses = 0;

 private:
  double Uniform();                                // [0, 1)
  bool Chance(double perSecond, double frameTime);  // an event at that mean rate
  double Stick();                                  // -1..1, or exactly 0 a third of the time

  std::mt19937_64 rng_;
  double deleteHeldFor_ = 0;  // seconds Delete stays down
};

// What a run may never reach. Distances from the world origin, speeds of
// bodies, gaps between the two sides of an unbroken hinge.
struct SoakLimits {
  double maxDistance = 100000;       // m
  double maxSpeed = 1000;            // m/s
  double maxAngularSpeed = 10000;    // rad/s
  double maxHingeGap = 10;           // m (a hinge breaks at 0.1 m)
  double maxResidentGrowthMb = 16;   // maximum resident size, first frame to last
};

struct SoakResult {
  uint64_t frames = 0;
  double simulatedSeconds = 0;
  double wallSeconds = 0;
  double residentStartMb = 0, residentEndMb = 0;  // maximum resident size so far
  double maxDistance = 0, maxSpeed = 0, maxHingeGap = 0;  // the largest seen
  uint32_t resets = 0, cuts = 0, pauses = 0;
  std::string failure;  // empty when every check held
};

// Flies `duration` simulated seconds in the current directory's content.
// Stops at the first failed check: a non-finite rollback line on the
// console, a broken telemetry row, a body or hinge beyond the limits, or
// memory growth beyond the limit at the end. Console lines go to stderr.
SoakResult Soak(uint64_t seed, double duration, double frameTime, const SoakLimits& limits = {});

// One line of figures, and the failure if there was one.
std::string SoakSummary(uint64_t seed, const SoakResult& result);

}  // namespace flight
