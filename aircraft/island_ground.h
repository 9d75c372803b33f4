// The ground the bodies land on: the island model's mesh copied into the
// physics ground mesh. Shared by the scene set-up and the headless flight
// runner so both collide with exactly the same triangles.
#pragma once
#include "foundation/math.h"

struct MDL;

// Empties GroundVertices and GroundTriangles (freeing their storage) and fills
// them with every vertex position of island (floats widened to double, model
// order, world metres) and then every triangle. A null model leaves the
// ground empty. A mesh that holds exactly the island already is kept, and
// the broad phase's grid over it too.
void FillGroundMesh(const MDL* island);

// Loads the island model "DivadiZarov" with scale 0.1 and fills the ground
// mesh from it. Returns the model; the caller holds the reference.
MDL* LoadIslandGround();

// Height (world z, metres) of the ground surface on the vertical line through
// (p.x, p.y): the highest ground triangle crossing it no more than `above`
// metres over p.z, or, when there is none, the lowest one crossing it. False
// when no ground triangle crosses that line at all.
bool GroundHeightBelow(const Vec3& p, double above, double* height);
