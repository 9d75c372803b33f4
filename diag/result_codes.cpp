#include "diag/result_codes.h"

#include <cstddef>

namespace {
struct ResultCodeEntry {
  uint32_t code;
  const char* name;
};

// Sorted by code, one name per code.
const ResultCodeEntry kResultCodes[] = {
#include "diag/result_code_table.inc"
};
}  // namespace

const char* resultCodeName(uint32_t code) {
  size_t lo = 0, hi = sizeof kResultCodes / sizeof kResultCodes[0];
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (kResultCodes[mid].code < code) {
      lo = mid + 1;
    } else if (kResultCodes[mid].code > code) {
      hi = mid;
    } else {
      return kResultCodes[mid].name;
    }
  }
  return "Unknown";
}
