#include "tools/flight/random_input.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <cmath>
#include <cstdio>

#include "aircraft/aircraft.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"
#include "foundation/log.h"
#include "physics/physics.h"
#include "tools/flight/flight.h"

namespace flight {

double RandomPilot::Uniform() { return double(rng_() >> 11) * 0x1.0p-53; }

bool RandomPilot::Chance(double perSecond, double frameTime) { return Uniform() < perSecond * frameTime; }

double RandomPilot::Stick() { return Uniform() < 1.0 / 3 ? 0.0 : 2 * Uniform() - 1; }

void RandomPilot::Act(double frameTime) {
  auto press = [](uint32_t key) { PressKey(key), ReleaseKey(key); };
  if (Paused) {
    if (Chance(1.0, frameTime)) press(VK_PAUSE);  // resume after a second or so
  } else if (Chance(1.0 / 60, frameTime)) {
    press(VK_PAUSE);
    pauses++;
  }
  // Arrows: each changes between held and released about every two seconds.
  for (uint32_t key : {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT}) {
    if (!Chance(0.5, frameTime)) continue;
    if (KeyHeld(key))
      ReleaseKey(key);
    else
      PressKey(key);
  }
  if (Chance(0.3, frameTime)) StickPitchInput = Stick();
  if (Chance(0.3, frameTime)) StickRollInput = Stick();
  if (Chance(0.1, frameTime)) press(VK_SPACE);
  if (Chance(0.1, frameTime)) press('V');
  if (Chance(0.1, frameTime)) press('G');
  if (Chance(0.05, frameTime)) press('E');
  if (Chance(0.1, frameTime)) press('Z');
  if (Chance(0.05, frameTime)) press('C');
  // Delete cuts while it is held, so it stays down for a few frames.
  if (deleteHeldFor_ > 0) {
    deleteHeldFor_ -= frameTime;
    if (deleteHeldFor_ <= 0) ReleaseKey(VK_DELETE);
  } else if (Chance(1.0 / 90, frameTime)) {
    PressKey(VK_DELETE);
    deleteHeldFor_ = 0.05 + 0.3 * Uniform();
    cuts++;
  }
  if (Chance(1.0 / 120, frameTime)) {
    press(VK_F1);
    resets++;
  }
}

namespace {

// The soak's memory check runs on Linux; a Windows build (which has no
// getrusage) reports 0, so the check there neither fails nor means anything.
double MaxResidentMb() {
#ifdef _WIN32
  return 0;
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) / 1024;  // kilobytes on Linux
#endif
}

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// Every body and unbroken hinge of the world against the limits; the first
// violation described, or empty.
std::string CheckWorld(const SoakLimits& limits, SoakResult& result) {
  char text[256];
  for (const pEntity* e : EntityList) {
    if (const pBody* b = dynamic_cast<const pBody*>(e)) {
      const double distance = Length(b->position), speed = Length(b->velocity), spin = Length(b->angularVelocity);
      result.maxDistance = std::fmax(result.maxDistance, distance);
      result.maxSpeed = std::fmax(result.maxSpeed, speed);
      if (!Finite(b->position) || !Finite(b->velocity) || !Finite(b->angularVelocity) ||
          distance >= limits.maxDistance || speed >= limits.maxSpeed || spin >= limits.maxAngularSpeed) {
        std::snprintf(text, sizeof text, "a body at %.6g m from the origin, %.6g m/s, %.6g rad/s", distance, speed, spin);
        return text;
      }
    } else if (const pAxis* h = dynamic_cast<const pAxis*>(e)) {
      if (h->broken || !h->bodyA || !h->bodyB) continue;
      const Vec3 a = h->bodyA->LocalToWorld(h->anchorA), b = h->bodyB->LocalToWorld(h->anchorB);
      const double gap = Length(a - b);
      result.maxHingeGap = std::fmax(result.maxHingeGap, gap);
      if (!Finite(a) || !Finite(b) || gap >= limits.maxHingeGap || Length(a) >= limits.maxDistance) {
        std::snprintf(text, sizeof text, "a hinge %.6g m apart at %.6g m from the origin", gap, Length(a));
        return text;
      }
    }
  }
  return "";
}

}  // namespace

SoakResult Soak(uint64_t seed, double duration, double frameTime, const SoakLimits& limits) {
  SoakResult result;
  RandomPilot pilot(seed);
  RunOptions options;
  options.frameTime = frameTime;
  // Paused frames simulate nothing: the run goes on until the world has
  // stepped `duration` seconds (the pilot resumes within seconds).
  options.maxTime = 4 * duration + 60;
  options.keepRows = false;
  LogCapture console;
  double lastSimTime = 0;
  options.afterFrame = [&](const Row& row) {
    result.frames++;
    // The step count restarts with a reset.
    const double simTime = row[kSimTime];
    result.simulatedSeconds += simTime >= lastSimTime ? simTime - lastSimTime : simTime;
    lastSimTime = simTime;
    if (result.frames == 1) result.residentStartMb = MaxResidentMb();
    if (!console.text().empty()) {
      std::fputs(console.text().c_str(), stderr);
      if (console.text().find("non-finite") != std::string::npos)
        result.failure = "a non-finite state was rolled back";
      console.clear();
    }
    if (result.failure.empty()) result.failure = CheckWorld(limits, result);
    if (!result.failure.empty() || result.simulatedSeconds >= duration) return false;
    pilot.Act(frameTime);
    return true;
  };
  RunResult run = Run({}, options);  // centres the stick before and after
  std::fputs(console.text().c_str(), stderr);

  result.wallSeconds = run.wallSeconds;
  result.resets = pilot.resets, result.cuts = pilot.cuts, result.pauses = pilot.pauses;
  result.residentEndMb = MaxResidentMb();
  if (result.failure.empty() && run.broken) result.failure = "the telemetry held NaN or infinity";
  if (result.failure.empty() && result.residentEndMb - result.residentStartMb > limits.maxResidentGrowthMb) {
    char text[128];
    std::snprintf(text, sizeof text, "the maximum resident size grew by %.1f MB",
                  result.residentEndMb - result.residentStartMb);
    result.failure = text;
  }
  return result;
}

std::string SoakSummary(uint64_t seed, const SoakResult& r) {
  char text[512];
  std::snprintf(text, sizeof text,
                "soak seed %llu: %llu frames, %.1f s simulated in %.1f s wall; max resident %.1f MB at the "
                "first frame, %.1f MB at the end; %u resets, %u strap cuts, %u pauses; farthest body %.0f m, "
                "fastest %.1f m/s, widest hinge gap %.4f m%s%s",
                static_cast<unsigned long long>(seed), static_cast<unsigned long long>(r.frames),
                r.simulatedSeconds, r.wallSeconds, r.residentStartMb, r.residentEndMb, r.resets, r.cuts, r.pauses,
                r.maxDistance, r.maxSpeed, r.maxHingeGap, r.failure.empty() ? "" : "; FAILED: ",
                r.failure.c_str());
  return text;
}

}  // namespace flight
