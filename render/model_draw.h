// The drawing side of models (the data side is assets/model.h): device
// objects made when a model loads, and drawing through Device.
#pragma once
#include <cstdint>

#include "assets/model.h"

// The device objects of a loaded model: created when a device exists and the
// model has geometry but none yet (failures print the call and its result
// name); released all three. Model loading calls these through its hooks.
void CreateModelObjects(MDL* model);
void ReleaseModelObjects(MDL* model);

// Drawing through Device; nothing happens without both buffers.
void DrawModel(MDL* model);
void DrawNode(MDL* model, const String& name);                  // every node of that name
void DrawNodeSubset(MDL* model, const String& name, uint32_t index);  // one material subset
