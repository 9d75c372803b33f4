// Aircraft files: whatever the bytes, the reader leaves values that can be
// built, every problem names the file, and what it kept writes and reads
// back exactly.
#include <string>
#include <vector>

#include "content/aircraft_file.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  content::AircraftParams p;
  std::vector<std::string> problems;
  bool clean = content::ParseAircraft(text, "f.ini", p, problems);
  FUZZ_CHECK(clean == problems.empty());
  for (const std::string& problem : problems) FUZZ_CHECK(problem.rfind("f.ini", 0) == 0);
  std::vector<std::string> none;
  FUZZ_CHECK(content::CheckAircraft(p, "", none));
  content::AircraftParams again;
  FUZZ_CHECK(content::ParseAircraft(content::AircraftText(p), "w.ini", again, none) && again == p);
  return 0;
}
