// Shared by the two model targets: a recording device so that loading creates
// the buffers and drawing walks every node and subset, and the checks every
// loaded model must pass before anything may draw it.
#pragma once
#include "assets/model.h"
#include "foundation/log.h"
#include "platform/gpu/recording.h"
#include "render/model_draw.h"
#include "render/resources.h"
#include "tests/fuzz/fuzz_support.h"

namespace fuzz {

inline RecordingDevice* gRecorder = nullptr;

// As the program does: loading reaches the device through the drawing hooks.
inline void StartModelTarget() {
  InstallDrawingHooks();
  Device = gRecorder = CreateRecordingDevice(640, 480);
}

// Indices in range, every subset and node run inside the triangles; then
// draws everything the model has.
inline void CheckAndDraw(MDL* m) {
  for (const Triangle& t : m->triangles)
    for (uint32_t v : t.v) FUZZ_CHECK(v < m->vertices.count);
  for (const ModelNode& n : m->nodes)
    for (const Subset& s : n.subsets) FUZZ_CHECK(uint64_t(s.first) + s.count <= m->triangles.count);
  DrawModel(m);
  for (const ModelNode& n : m->nodes) {
    DrawNode(m, n.name);
    for (uint32_t i = 0; i < n.subsets.count; i++) DrawNodeSubset(m, n.name, i);
  }
  GetAxis(m, String("Wing"));
  gRecorder->clearCalls();
}

// Empties the registry; the device must hold no object of it any more.
inline void ReleaseModels() {
  ReleaseAllModels();
  FUZZ_CHECK(gRecorder->liveResources() == 0);
}

}  // namespace fuzz
