// Straps: the tension-only pull and a strap missing a body.
#include "app/frame_timer.h"
#include "fixture.h"

namespace {

class StrapTest : public PhysicsTest {
 protected:
  // Two 1 kg unit cubes centred at (0, 0, 10) and (2, 0, 10).
  void SetUp() override {
    PhysicsTest::SetUp();
    A = Body(CubeTriangles({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), 1.0, {0, 0, 10});
    B = Body(CubeTriangles({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), 1.0, {2, 0, 10});
  }
  pBody* A = nullptr;
  pBody* B = nullptr;
};

TEST_F(StrapTest, MissingBodyRegistersAndNeverActs) {
  pStrape* s = Own(new pStrape(A, nullptr, {0, 0, 10}, {2, 0, 10}, {0, 0, 1}, 1.0));
  EXPECT_EQ(EntityList.count, 3u);
  s->Process(1);
  EXPECT_EQ(A->velocity.x, 0.0);
  Step(4);
  EXPECT_EQ(A->momentum.x, 0.0);
}

// The pull is worked out once per world step; moved between steps, by the
// integration or by hand, the strap must see where its ends are now.
TEST_F(StrapTest, PullFollowsEndsMovedBetweenSteps) {
  Own(new pStrape(A, B, {0, 0, 10}, {2, 0, 10}, {0, 0, 1}, 1.0));
  Step();
  EXPECT_NEAR(B->momentum.x, 0.0, 1e-15) << "slack: gravity only";
  B->position.x = 2.2;
  B->UpdatePlacement();
  Step();
  const double first = B->momentum.x;
  EXPECT_LT(first, 0.0) << "stretched by hand: pulled back";
  // Four sub-steps, four equal pulls of 0.2 * K * 10 (K = 0.5 for two free
  // 1 kg bodies pulled through their centres).
  EXPECT_NEAR(first, -4 * 0.2 * 0.5 * 10, 1e-9);
  EXPECT_NEAR(A->momentum.x + B->momentum.x, 0.0, 1e-15) << "equal and opposite";
  A->momentum = B->momentum = {0, 0, 0};
  A->UpdateVelocities();
  B->UpdateVelocities();
  B->position.x = 2.0;
  B->UpdatePlacement();
  Step();
  EXPECT_NEAR(B->momentum.x, 0.0, 1e-12) << "slack again: the stretched pull is not kept";
}

}  // namespace
