// The aircraft's flight data, as the pilot's panel and the cockpit dials show
// them, and the dials' needles: drawn by the program from the simulation
// state over the needle-less dial faces of the cockpit texture.
#pragma once

class Tarnplane;

// The aircraft's state read from its bodies and switches. World frame +Z up;
// angles in degrees; speeds in m/s.
struct FlightData {
  double airspeed = 0;     // fuselage speed through the air around it
  double groundSpeed = 0;  // horizontal speed over the ground
  bool hasHeight = false;  // some ground or sea lies below the fuselage
  double height = 0;       // metres from that surface up to the fuselage origin
  double climb = 0;        // vertical speed, + up
  double heading = 0;      // the nose in the ground plane, from +Y (north) toward +X, [0, 360)
  double bank = 0;         // + right wing down
  double pitch = 0;        // + nose up
  double beatRate = 0;     // cycles per second
  bool armed = false, powered = false;
  bool tailLevel = false;  // the Space toggle: level, else raised
  double pitchInput = 0, rollInput = 0;  // -1 .. 1 as the aircraft holds them
  bool wind = false;       // the air moves: the two values below apply
  double windSpeed = 0;    // m/s at the fuselage
  double windFrom = 0;     // compass bearing it blows from, [0, 360)
};

FlightData ReadFlightData(const Tarnplane& aircraft);

// The six dials, in their places on the panel (left to right, top row first).
enum Dial { kDialAirspeed, kDialAltimeter, kDialVariometer, kDialCompass, kDialBeat, kDialBank, kDialCount };

// Scale limits: the needles stop at the ends of their scales.
constexpr double kAirspeedFullScale = 20;  // m/s at the end of the 270 degree sweep
constexpr double kClimbFullScale = 5;      // m/s each way from the nine o'clock zero
constexpr double kBeatFullScale = 3;       // Hz at the end of the 270 degree sweep
constexpr double kAltimeterTurn = 100;     // metres per turn of the long hand

// A needle's angle in degrees clockwise from twelve o'clock as the pilot
// sees the dial. The bank dial's "needle" is the horizon bar, tilted against
// the bank; the altimeter's is its long hand.
double NeedleAngle(Dial dial, const FlightData& data);

// The needles are drawn (on by default); off, the dials show their faces only.
extern bool ShowInstrumentNeedles;

// The needles over the dials, in the fuselage's frame; leaves the world
// transform on the fuselage, no shaders bound and stage 0 empty.
void DrawInstrumentNeedles(const Tarnplane& aircraft);
