// Ground contact against the static island mesh: a broad phase every 64th
// world step chooses the ground triangles near each body, a narrow phase every
// step answers with one averaged normal impulse, a capped friction impulse and
// a small push out of the ground.
#pragma once
#include <cstdint>

#include "assets/model.h"
#include "foundation/array.h"
#include "foundation/math.h"

class pBody;

// The ground mesh, world coordinates, filled by the scene set-up. The grid
// notices new counts, new storage and most refills in place (a sampled
// fingerprint); code that edits single vertices in place should call
// GroundMeshChanged().
extern Array<Vec3> GroundVertices;
extern Array<Triangle> GroundTriangles;

// Drops the broad-phase grid; it is rebuilt on the next query.
void GroundMeshChanged();
// Builds the grid now unless it is current: a process that forks workers
// does it once for all of them.
void PrepareGroundGrid();

// Indices of the ground triangles not rejected against the box [lo, hi]
// widened by margin on every side, ascending: exactly the triangles a linear
// scan accepts, found through a uniform grid over the ground mesh.
void GroundCandidates(const Vec3& lo, const Vec3& hi, double margin, Array<uint32_t>& out);
// The same by visiting every ground triangle in order.
void GroundCandidatesLinear(const Vec3& lo, const Vec3& hi, double margin, Array<uint32_t>& out);

// One body's contact for this world step (dt = CurrentDt); the broad phase
// runs when the low six bits of StepCounter are zero.
void GroundContact(pBody& body);
