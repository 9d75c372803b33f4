// INI text: platform/inih, the Windows build's reader, must read any bytes
// exactly as Debian's inih does (the same reader and handler calls, the same
// result), through a byte reader and through the string entry point.
#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "tests/inih/differential.h"

namespace {

bool Same(const inih_diff::Trace& a, const inih_diff::Trace& b) { return a.result == b.result && a.calls == b.calls; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  FUZZ_CHECK(Same(inih_diff::Stream(tarn_ini_parse_stream, bytes), inih_diff::Stream(ini_parse_stream, bytes)));
  FUZZ_CHECK(Same(inih_diff::String(tarn_ini_parse_string, bytes), inih_diff::String(ini_parse_string, bytes)));
  return 0;
}
