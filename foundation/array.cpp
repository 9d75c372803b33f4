#include "foundation/array.h"

#include <cstdio>

#include "foundation/log.h"

void ArrayOutOfMemory(uint64_t bytes) {
  Log("__ERR__ Array->Grow fail, not enough memory for %llu bytes\n", static_cast<unsigned long long>(bytes));
  std::fflush(stdout);
  std::abort();
}
