// The world step: stage order, the sub-step schedule, CurrentDt, the list's registration rules.
#include <memory>
#include <string>
#include <vector>

#include "fixture.h"
#include "sim/frame_clock.h"

namespace {

struct Event { int id, phase; double dt; };
std::vector<Event> events;

struct Probe : pEntity {
  Probe(int id_, int level_, bool registered = true) : id(id_) {
    level = level_, kind = 3;
    if (registered) RegisterEntity(this);
  }
  void Process(int32_t phase) override { events.push_back({id, phase, CurrentDt}); }
  int id;
};

class WorldStepTest : public PhysicsTest {
  void SetUp() override { PhysicsTest::SetUp(), events.clear(); }
};

TEST_F(WorldStepTest, ScheduleCallsEachLevelTwoToTheLevelTimesInCounterOrder) {
  for (int level : {0, 2, 3, 7}) Own(new Probe(level, level));  // 7: due on every counter value, a clock
  WorldStep();
  EXPECT_EQ(CurrentDt, 0.002) << "restored after the sub-steps";
  // Phase 2 for all in list order, then the sub-steps, then 3, then 4.
  const int ids[] = {0, 2, 3, 7};
  const size_t n = events.size();
  ASSERT_GE(n, 12u);
  for (size_t i = 0; i < 4; i++)
    for (size_t k : {i, n - 8 + i, n - 4 + i}) {
      EXPECT_EQ(events[k].id, ids[i]) << k;
      EXPECT_EQ(events[k].phase, k == i ? 2 : k < n - 4 ? 3 : 4) << k;
    }
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
  EXPECT_EQ(at[0], (std::vector<int>{0})) << "bodies";
  EXPECT_EQ(at[2], (std::vector<int>{0, 64, 128, 192})) << "straps";
  EXPECT_EQ(at[3], (std::vector<int>{0, 32, 64, 96, 128, 160, 192, 224})) << "hinges";
}

// Deleting removes every occurrence and keeps the order; null entries,
// unregistered entities and levels outside the schedule are passed over.
TEST_F(WorldStepTest, ListRemovalNullEntriesAndOutOfScheduleLevels) {
  Probe *a = new Probe(1, 0), *b = Own(new Probe(2, 8));
  RegisterEntity(a);  // a twice
  Probe* c = Own(new Probe(3, -1));
  delete a;
  ASSERT_TRUE(EntityList.count == 2 && EntityList[0] == b && EntityList[1] == c) << "a removed twice, order kept";
  delete new Probe(9, 3, false);  // a hinge's point: never registered
  RegisterEntity(nullptr);
  WorldStep();
  for (const Event& e : events) EXPECT_NE(e.phase, 1) << "id " << e.id;
  EXPECT_EQ(events.size(), 6u) << "phases 2, 3, 4 for each";
  EntityList.erase(2);  // the null entry belongs to no owner
}

// Appends a probe from inside its own phase 2. The list may grow while it is
// walked: the newcomer sits behind the spawner, so that step's later passes reach it.
struct Spawner : Probe {
  Spawner() : Probe(1, 0) {}
  void Process(int32_t phase) override {
    Probe::Process(phase);
    if (phase == 2 && !child) child.reset(new Probe(5, 1));
  }
  std::unique_ptr<Probe> child;
};

TEST_F(WorldStepTest, EntityAppendedDuringStepJoinsAtItsNextVisit) {
  Own(new Spawner);
  WorldStep();
  std::string seen;
  for (const Event& e : events) seen += e.id == 5 ? std::to_string(e.phase) : "";
  EXPECT_EQ(seen, "21134") << "phase 2, two level-1 sub-steps, then 3 and 4";
  EXPECT_EQ(EntityList.count, 2u);
}

}  // namespace
