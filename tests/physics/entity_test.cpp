// The world step: stage order, the sub-step schedule, CurrentDt, the aircraft
// hook and the list's registration rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/frame_timer.h"
#include "meshes.h"

namespace {

struct Event {
  int id;
  int phase;
  double dt;
};
std::vector<Event> events;

// Records every call it receives.
class Probe : public pEntity {
 public:
  Probe(int id_, int level_, bool registered = true) : id(id_) {
    level = level_;
    kind = 3;
    if (registered) RegisterEntity(this);
  }
  void Process(int32_t phase) override { events.push_back({id, phase, CurrentDt}); }
  int id;
};

class Recorder : public pAD_Effect {
 public:
  bool IsFinished() override {
    events.push_back({-1, 0, CurrentDt});
    return true;
  }
};

void HookProbe() { events.push_back({-2, 0, CurrentDt}); }

class WorldStepTest : public PhysicsTest {
 protected:
  void SetUp() override {
    PhysicsTest::SetUp();
    events.clear();
  }
};

TEST_F(WorldStepTest, ScheduleCallsEachLevelTwoToTheLevelTimesInCounterOrder) {
  for (int level : {0, 2, 3, 7}) Own(new Probe(level, level));  // 7: due on every counter value, a clock
  WorldStep();
  EXPECT_EQ(CurrentDt, 0.002) << "restored after the sub-steps";

  // Phase 2 for all in list order, then the sub-steps, then 3, then 4.
  ASSERT_GE(events.size(), 4u);
  std::vector<int> firstPhase2;
  for (int i = 0; i < 4; i++) {
    EXPECT_EQ(events[i].phase, 2);
    firstPhase2.push_back(events[i].id);
  }
  EXPECT_EQ(firstPhase2, (std::vector<int>{0, 2, 3, 7}));
  size_t n = events.size();
  for (size_t i = n - 8; i < n - 4; i++) EXPECT_EQ(events[i].phase, 3);
  for (size_t i = n - 4; i < n; i++) EXPECT_EQ(events[i].phase, 4);

  // Sub-steps. The level-7 probe is due on every even counter value and is
  // last in the list, so a call's counter is twice the clock calls before it.
  int ticks = 0;
  std::vector<int> at[8];
  for (size_t i = 4; i < n - 8; i++) {
    const Event& e = events[i];
    ASSERT_EQ(e.phase, 1);
    EXPECT_EQ(e.dt, 0.002 / (1 << e.id)) << "level " << e.id;
    if (e.id == 7) ticks++;
    else at[e.id].push_back(2 * ticks);
  }
  EXPECT_EQ(ticks, 128);
  const std::vector<int>& bodyAt = at[0], &strapAt = at[2], &hingeAt = at[3];
  EXPECT_EQ(bodyAt, (std::vector<int>{0}));
  EXPECT_EQ(strapAt, (std::vector<int>{0, 64, 128, 192}));
  EXPECT_EQ(hingeAt, (std::vector<int>{0, 32, 64, 96, 128, 160, 192, 224}));
}

TEST_F(WorldStepTest, PurgeThenHookThenPhases) {
  WorldStepAircraftHook = HookProbe;
  AddEffect(new Recorder);
  WorldStep();  // an empty list: only the purge and the hook
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].id, -1) << "effects purged first";
  EXPECT_EQ(events[1].id, -2) << "then the aircraft's per-step update";
  EXPECT_EQ(EffectHead, nullptr);
  events.clear();
  Own(new Probe(1, 0));
  AddEffect(new Recorder);
  WorldStep();
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[1].id, -2);
  EXPECT_EQ(events[1].dt, 0.002);
  EXPECT_EQ(events[2].phase, 2);
  WorldStepAircraftHook = nullptr;
  events.clear();
  WorldStep();
  EXPECT_NE(events[0].id, -2) << "no hook, no call";
}

TEST_F(WorldStepTest, DestructionRemovesEveryOccurrenceKeepingOrder) {
  Probe* a = new Probe(1, 0);
  Probe* b = Own(new Probe(2, 0));
  RegisterEntity(a);  // a twice
  Probe* c = Own(new Probe(3, 0));
  ASSERT_EQ(EntityList.count, 4u);
  delete a;
  ASSERT_EQ(EntityList.count, 2u);
  EXPECT_EQ(EntityList[0], b);
  EXPECT_EQ(EntityList[1], c);
  // An unregistered entity (a hinge's point) leaves the list untouched.
  delete new Probe(9, 3, false);
  EXPECT_EQ(EntityList.count, 2u);
}

// Appends a new probe from inside its own phase 2.
class Spawner : public Probe {
 public:
  Spawner() : Probe(1, 0) {}
  void Process(int32_t phase) override {
    Probe::Process(phase);
    if (phase == 2 && !child) child = new Probe(5, 1);
  }
  Probe* child = nullptr;
  ~Spawner() override { delete child; }
};

TEST_F(WorldStepTest, EntityAppendedDuringStepJoinsAtItsNextVisit) {
  Spawner* s = Own(new Spawner);
  WorldStep();
  // The child sits behind the spawner, so it is reached in the same passes.
  std::string seen;
  for (const Event& e : events)
    if (e.id == 5) seen += std::to_string(e.phase);
  EXPECT_EQ(seen, "21134") << "phase 2, two level-1 sub-steps, then 3 and 4";
  ASSERT_NE(s->child, nullptr);
  EXPECT_EQ(EntityList.count, 2u);
}

TEST_F(WorldStepTest, NullEntriesAndLevelsOutsideTheScheduleAreSkipped) {
  Own(new Probe(1, 8));
  Own(new Probe(2, -1));
  RegisterEntity(nullptr);
  WorldStep();
  for (const Event& e : events) EXPECT_NE(e.phase, 1) << "id " << e.id;
  EXPECT_EQ(events.size(), 6u) << "phases 2, 3, 4 for each";
  EntityList.erase(2);  // the null entry belongs to no owner
}

}  // namespace
