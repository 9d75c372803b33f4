// In-memory stand-ins for the content, linked into the model registry under
// the names the program requests, so LoadModel hands them out instead of
// reading files. Registered with Refs 1, held by the caller (ReleaseModel).
#pragma once
#include "assets/model.h"

// "PlaneTarn": boxes in the documented proportions for every node the
// assembly asks for; without `withNodes` the model is empty.
MDL* RegisterTestAircraftModel(bool withNodes = true);

// "DivadiZarov": a flat square 400 m across around (70, 70) at height
// `height` metres, two counter-clockwise triangles.
MDL* RegisterFlatIsland(double height);

// Position (model metres, as stored in single precision) of a test-model node.
Vec3 TestNodePosition(const char* name);
