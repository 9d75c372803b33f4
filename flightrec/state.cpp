#include "flightrec/state.h"

#include <cstdio>
#include <cstring>

#include "air/air.h"
#include "aircraft/aircraft.h"
#include "foundation/files.h"
#include "physics/physics.h"
#include "sim/frame_clock.h"

namespace flight {
namespace {

constexpr uint64_t kFnvOffset = 0xcbf29ce484222325ull;
constexpr uint64_t kFnvPrime = 0x100000001b3ull;

struct Fnv {
  uint64_t h = kFnvOffset;
  void Bytes(const void* data, size_t n) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; i++) h = (h ^ p[i]) * kFnvPrime;
  }
  void U64(uint64_t v) { Bytes(&v, sizeof v); }
  void D(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    U64(bits);
  }
  void V(const Vec3& v) { D(v.x), D(v.y), D(v.z); }
};

}  // namespace

uint64_t StateHash() {
  Fnv f;
  f.U64(EntityList.count);
  for (uint32_t i = 0; i < EntityList.count; i++) {
    const pBody* b = dynamic_cast<const pBody*>(EntityList[i]);
    if (b == nullptr) continue;
    f.V(b->position);
    f.D(b->orientation.x), f.D(b->orientation.y), f.D(b->orientation.z), f.D(b->orientation.w);
    f.V(b->momentum);
    f.V(b->angularMomentum);
    f.V(b->velocity);
    f.V(b->angularVelocity);
  }
  if (const Tarnplane* a = CurrentAircraft) {
    f.D(a->beatPhase), f.D(a->beatRate), f.D(a->pitchInput), f.D(a->rollInput);
    f.U64(uint64_t(a->flapping) | uint64_t(a->flapArmed) << 1);
  }
  f.U64(StepCounter);
  f.D(StepAccumulator);
  f.U64(Paused ? 1 : 0);
  // Still air adds nothing: hashes of flights without air stay as they were.
  if (air::Moving()) f.h = air::Fold(f.h, air::Current);
  return f.h;
}

uint64_t ContentFingerprint(const std::string& dataDir, const content::AircraftParams& aircraft) {
  static const char* const files[] = {"Models/PlaneTarn.mdl", "Models/DivadiZarov.mdl"};
  Fnv f;
  for (const char* name : files) {
    f.Bytes(name, std::strlen(name) + 1);
    std::string path = dataDir.empty() ? std::string(name) : dataDir + "/" + name;
    // A file that cannot be read counts as empty, as a missing one does.
    std::string bytes, reason;
    ReadWholeFile(path, FileKind::Content, bytes, reason);
    f.Bytes(bytes.data(), bytes.size());
    uint64_t size = bytes.size();
    f.U64(size);
  }
  return WithAircraft(f.h, aircraft);
}

uint64_t WithAircraft(uint64_t contentFiles, const content::AircraftParams& aircraft) {
  if (aircraft == content::AircraftParams()) return contentFiles;
  Fnv f;
  f.h = contentFiles;
  f.U64(content::AircraftHash(aircraft));
  return f.h;
}

}  // namespace flight
