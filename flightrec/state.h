// Fingerprints for recorded flights: the simulation's state and the content
// it reads, as 64-bit FNV-1a hashes of exact bits (a replay on the same build
// and content reproduces them; anything else almost surely does not).
#pragma once
#include <cstdint>
#include <string>

#include "content/aircraft_file.h"

namespace flight {

// Every body of EntityList in list order: position, orientation, momentum,
// angular momentum, velocity and angular velocity; the entity count (a cut
// strap changes it); the aircraft's beat and control values; the frame
// clock's step count, accumulator and pause; when the air moves, its
// settings and seed. Exact bit patterns.
uint64_t StateHash();

// The model files the simulation reads, "Models/PlaneTarn.mdl" and
// "Models/DivadiZarov.mdl" below dataDir ("" = the working directory): their
// names and bytes. A missing file counts as empty, so the fingerprint still
// tells content sets apart. An aircraft other than the built-in one adds
// its values, so a flight names the machine it flew.
uint64_t ContentFingerprint(const std::string& dataDir,
                            const content::AircraftParams& aircraft = content::AircraftParams());
// The fingerprint of the model files (ContentFingerprint with the built-in
// aircraft) extended by an aircraft.
uint64_t WithAircraft(uint64_t contentFiles, const content::AircraftParams& aircraft);

}  // namespace flight
