// In-memory stand-ins for the content: an aircraft model with every node the
// assembly asks for, built from boxes in the documented proportions, and a
// flat island. Both are linked into the model registry under the names the
// program requests, so LoadModel hands them out instead of reading files.
#pragma once
#include "assets/model.h"

// Registers "PlaneTarn" (Refs 1, held by the caller; release with ReleaseModel).
// Without `withNodes` the model is registered empty.
MDL* RegisterTestAircraftModel(bool withNodes = true);

// Registers "DivadiZarov": a flat square of half-size `halfSize` metres
// around (70, 70) at height `height`, two counter-clockwise triangles per
// cell of a `cells` x `cells` grid.
MDL* RegisterFlatIsland(double height, double halfSize = 200, int cells = 8);

// Positions (model metres) the test model gives its nodes.
Vec3 TestNodePosition(const char* name);
