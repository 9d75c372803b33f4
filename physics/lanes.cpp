#include "physics/lanes.h"

uint32_t PhysicsLaneWidth = 4;

bool UseFourLanes() {
#if defined(__x86_64__) && defined(__GNUC__)
  static const bool available = __builtin_cpu_supports("avx2");
  return PhysicsLaneWidth == 4 && available;
#else
  return false;
#endif
}
