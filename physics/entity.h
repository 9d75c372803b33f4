// The physics world: a flat list of entities (bodies, hinges, straps) and the
// multi-rate world step that advances them. Bodies integrate once per step;
// hinges and straps are worked on 2^level times per step at a finer step.
#pragma once
#include <cstdint>

#include "foundation/array.h"

class DebugDraw;

// Base of every physics object. The four virtual operations keep this slot
// order (the destructor comes after them).
class pEntity {
 public:
  int32_t level = 0;  // sub-step exponent L (0..7): 2^L Process(1) calls per world step
  int32_t kind = 0;   // 1 bodies, 3 points, axes and straps; informational only

  pEntity() = default;
  pEntity(const pEntity&) = delete;
  pEntity& operator=(const pEntity&) = delete;

  virtual void Draw(DebugDraw& /*sink*/) {}                              // slot 0: debug picture
  virtual void DrawDetail(DebugDraw& /*sink*/, double /*intensity*/) {}  // slot 1: normal-view extras (shadow)
  virtual void Reserved() {}                      // slot 2: unused by every class
  virtual void Process(int32_t /*phase*/) {}      // slot 3: phases 1..4, see WorldStep
  // Removes every occurrence of this entity from EntityList, keeping the order
  // of the rest.
  virtual ~pEntity();
};

// Every registered entity in registration order. Bodies, hinges and straps
// append themselves as the last step of their constructors; null entries are
// skipped when stepping.
extern Array<pEntity*> EntityList;

// Appends e to EntityList (constructors call this last).
void RegisterEntity(pEntity* e);
// Empties EntityList and releases its storage (scene set-up). Does not destroy
// the entities: their owners do.
void ClearEntityList();

// Per-step hook of the aircraft (its wing-beat update), called at step 2 of
// every WorldStep when not null. The aircraft sets it while it exists.
extern void (*WorldStepAircraftHook)();

// Nonzero from the force stage up to the integration stage of each WorldStep
// call, and different for every call; zero otherwise. While it is nonzero no
// body turns (orientations, rotations and world inertias hold still), and
// from the sub-steps on no body moves either: hinges and straps change
// momenta only. What a hinge derives from the orientations, or a strap in a
// sub-step from the positions, may be kept while the serial stays the same.
extern uint64_t WorldStepSerial;

// Advances the world by CurrentDt seconds (ClockedWorldStep sets it and
// keeps the step count):
//   1. purge finished effect records;
//   2. the aircraft hook;
//   3. Process(2) for every entity (gravity, buoyancy, surface forces, ground);
//   4. sub-steps: a 256-count schedule calling Process(1) 2^level times per
//      entity with CurrentDt / 2^level;
//   5. Process(3) for every entity (hinge position correction);
//   6. Process(4) for every entity (body integration).
// CurrentDt holds its entry value again on return. An entity appended during
// a step takes part from the next call on.
void WorldStep();

// Where the world step's time goes, for the flight runner's --profile. The
// stages: the effect purge and the aircraft hook (the wing beat); gravity,
// buoyancy and surface forces; ground contact; hinges (their sub-steps and
// position correction); straps; body integration. While StepProfile is null
// (always, but in a profiled run) WorldStep reads no clock; a profiled step
// does the very same work in the same order.
enum StepStage : int {
  kStageBeat, kStageSurface, kStageGround, kStageHinges, kStageStraps, kStageIntegration, kStageCount
};
struct WorldStepProfile {
  double seconds[kStageCount] = {};  // summed wall-clock time per stage
  double total = 0;                  // seconds in WorldStep, all stages and the schedule
  uint64_t steps = 0;
};
extern WorldStepProfile* StepProfile;

// One world step of dt seconds with the clock's bookkeeping, the one way every
// loop (the program, its tools and tests) advances the world: CurrentDt is dt
// during the step and its old value again afterwards (it is the frame's
// duration outside the steps), and StepCounter counts the step once it is done.
void ClockedWorldStep(double dt);
