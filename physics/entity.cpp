#include "physics/entity.h"

#include <chrono>

#include "physics/body.h"
#include "physics/strap.h"
#include "physics/surface.h"
#include "sim/frame_clock.h"

Array<pEntity*> EntityList;
void (*WorldStepAircraftHook)() = nullptr;
uint64_t WorldStepSerial = 0;
WorldStepProfile* StepProfile = nullptr;

pEntity::~pEntity() {
  // Every occurrence goes, the rest keep their order.
  uint32_t kept = 0;
  for (uint32_t i = 0; i < EntityList.count; i++) {
    if (EntityList[i] != this) EntityList[kept++] = EntityList[i];
  }
  EntityList.resize(kept);
}

void RegisterEntity(pEntity* e) { EntityList.push(e); }

void ClearEntityList() { EntityList.clear(); }

namespace {

// The sub-step schedule runs a counter over 256 values; an entity of level L
// is due whenever bit (7 - L) falls from 1 to 0, which happens 2^L times per
// cycle (including c = 0, whose predecessor is 255).
constexpr uint32_t kScheduleLength = 256;
constexpr int32_t kMaxLevel = 7;

// The list is re-read on every call: an entity appended by a callee joins at
// its next visit, one removed is no longer seen.
void ProcessAll(int32_t phase) {
  for (uint32_t i = 0; i < EntityList.count; i++) {
    pEntity* e = EntityList[i];
    if (e) e->Process(phase);
  }
}

void PurgeStage() { PurgeEffects(); }

void AircraftStage() {
  if (WorldStepAircraftHook) WorldStepAircraftHook();
}

void ForcesStage() { ProcessAll(2); }

// The counter values at which something can be due: an entity of level L is
// due exactly at the multiples of 2^(8 - L), so with the highest level in the
// list at Lmax only the multiples of 2^(8 - Lmax) need a visit. The list (and
// its levels) is looked at afresh after each visited counter value.
uint32_t NextDueCounter(uint32_t c) {
  int32_t top = -1;
  for (uint32_t i = 0; i < EntityList.count; i++) {
    const pEntity* e = EntityList[i];
    if (e && e->level >= 0 && e->level <= kMaxLevel && e->level > top) top = e->level;
  }
  if (top < 0) return kScheduleLength;
  const uint32_t stride = 1u << (kMaxLevel + 1 - top);
  return (c / stride + 1) * stride;
}

// `call(entity)` runs each due Process(1); the profile times them apart.
template <class Call>
void SubSteps(Call call) {
  const double D = CurrentDt;
  double dtOfLevel[kMaxLevel + 1];  // worked out once, not once per call
  for (int32_t L = 0; L <= kMaxLevel; L++) dtOfLevel[L] = D / double(1u << L);
  for (uint32_t c = 0; c < kScheduleLength; c = NextDueCounter(c)) {
    const uint32_t prev = c == 0 ? kScheduleLength - 1 : c - 1;
    for (uint32_t i = 0; i < EntityList.count; i++) {
      pEntity* e = EntityList[i];
      if (!e) continue;
      const int32_t L = e->level;
      if (L < 0 || L > kMaxLevel) continue;  // outside the schedule: never due
      const uint32_t m = 1u << (kMaxLevel - L);
      if ((c & m) == 0 && (prev & m) != 0) {
        CurrentDt = dtOfLevel[L];
        call(e);
      }
    }
  }
  CurrentDt = D;
}

void SubStepStage() {
  SubSteps([](pEntity* e) { e->Process(1); });
}

void PositionCorrectionStage() { ProcessAll(3); }

void IntegrationStage() { ProcessAll(4); }

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point& mark) {
  Clock::time_point now = Clock::now();
  double s = std::chrono::duration<double>(now - mark).count();
  mark = now;
  return s;
}

// The stage an entity's work is counted in.
StepStage StageOf(const pEntity* e) {
  if (dynamic_cast<const pStrape*>(e) != nullptr) return kStageStraps;
  if (dynamic_cast<const pBody*>(e) != nullptr) return kStageIntegration;
  return kStageHinges;
}

// WorldStep with its stages timed: the same calls in the same order.
void ProfiledWorldStep(uint64_t serial) {
  WorldStepProfile& p = *StepProfile;
  Clock::time_point start = Clock::now(), mark = start;
  PurgeStage();
  AircraftStage();
  p.seconds[kStageBeat] += Since(mark);
  WorldStepSerial = serial;
  for (uint32_t i = 0; i < EntityList.count; i++) {
    pEntity* e = EntityList[i];
    if (!e) continue;
    if (pBody* b = dynamic_cast<pBody*>(e)) {
      b->AirForces();
      p.seconds[kStageSurface] += Since(mark);
      b->GroundForces();
      p.seconds[kStageGround] += Since(mark);
    } else {
      e->Process(2);
      p.seconds[kStageGround] += Since(mark);
    }
  }
  SubSteps([&](pEntity* e) {
    e->Process(1);
    p.seconds[StageOf(e)] += Since(mark);
  });
  for (uint32_t i = 0; i < EntityList.count; i++) {
    pEntity* e = EntityList[i];
    if (!e) continue;
    e->Process(3);
    p.seconds[StageOf(e) == kStageIntegration ? kStageHinges : StageOf(e)] += Since(mark);
  }
  WorldStepSerial = 0;
  IntegrationStage();
  p.seconds[kStageIntegration] += Since(mark);
  p.total += std::chrono::duration<double>(mark - start).count();
  p.steps++;
}

}  // namespace

void WorldStep() {
  static uint64_t serial = 0;
  if (StepProfile != nullptr) {
    ProfiledWorldStep(++serial);
    return;
  }
  PurgeStage();
  AircraftStage();
  // From here to the integration no body turns; the force stage may still
  // move one out of the ground, and from the sub-steps on (hinges and
  // straps change momenta only) none moves.
  WorldStepSerial = ++serial;
  ForcesStage();
  SubStepStage();
  PositionCorrectionStage();
  WorldStepSerial = 0;
  IntegrationStage();
}

void ClockedWorldStep(double dt) {
  const double outside = CurrentDt;
  CurrentDt = dt;
  WorldStep();
  StepCounter++;
  CurrentDt = outside;
}
