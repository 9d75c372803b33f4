// The drawing side of models: the device objects (vertex and index buffers,
// vertex declaration) made from a loaded model, and drawing a model, a node or
// one material subset of it.
#include "render/model_draw.h"

#include <cstring>

#include "diag/result_codes.h"
#include "foundation/log.h"
#include "platform/gpu/device.h"

namespace {

constexpr uint32_t kCompiledVertexBytes = 72;
constexpr uint32_t kTriangleBytes = 12;

template <class T>
void ReleaseObject(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

// Sets the model's buffers and declaration on the device for one draw.
void BindModel(MDL* model) {
  Device->SetVertexDeclaration(model->vertexDeclaration);
  Device->SetStreamSource(0, model->vertexBuffer, 0, sizeof(ModelVertex));
  Device->SetIndices(model->indexBuffer);
}

bool CanDraw(const MDL* model) { return Device && model && model->vertexBuffer && model->indexBuffer; }

}  // namespace

void CreateModelObjects(MDL* model) {
  if (!Device || model->vertexBuffer || model->indexBuffer || model->vertexDeclaration) return;
  if (model->vertices.count == 0 || model->triangles.count == 0) return;

  HRESULT hr = Device->CreateVertexBuffer(kCompiledVertexBytes * model->vertices.count, 0, 0, D3DPOOL_MANAGED,
                                          &model->vertexBuffer);
  if (hr != D3D_OK) {
    Log("CreateVertexBuffer: %s\n", resultCodeName(uint32_t(hr)));
    model->vertexBuffer = nullptr;
  }
  hr = Device->CreateIndexBuffer(kTriangleBytes * model->triangles.count, 0, D3DFMT_INDEX32, D3DPOOL_MANAGED,
                                 &model->indexBuffer);
  if (hr != D3D_OK) {
    Log("CreateIndexBuffer: %s\n", resultCodeName(uint32_t(hr)));
    model->indexBuffer = nullptr;
  }
  void* data = nullptr;
  if (model->vertexBuffer && model->vertexBuffer->Lock(0, 0, &data, 0) == D3D_OK && data) {
    std::memcpy(data, model->vertices.data, sizeof(ModelVertex) * model->vertices.count);
    model->vertexBuffer->Unlock();
  }
  data = nullptr;
  if (model->indexBuffer && model->indexBuffer->Lock(0, 0, &data, 0) == D3D_OK && data) {
    std::memcpy(data, model->triangles.data, sizeof(Triangle) * model->triangles.count);
    model->indexBuffer->Unlock();
  }

  static const D3DVERTEXELEMENT9 elements[] = {
      {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
      {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
      {0, 24, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0},
      {0, 36, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BINORMAL, 0},
      {0, 48, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
      {0, 60, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 1},
      D3DDECL_END(),
  };
  hr = Device->CreateVertexDeclaration(elements, &model->vertexDeclaration);
  if (hr != D3D_OK) {
    Log("CreateVertexDeclaration: %s\n", resultCodeName(uint32_t(hr)));
    model->vertexDeclaration = nullptr;
  }
}

void ReleaseModelObjects(MDL* model) {
  ReleaseObject(model->vertexBuffer);
  ReleaseObject(model->indexBuffer);
  ReleaseObject(model->vertexDeclaration);
}

void DrawModel(MDL* model) {
  if (!CanDraw(model)) return;
  BindModel(model);
  Device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, model->vertices.count, 0, model->triangles.count);
}

void DrawNode(MDL* model, const String& name) {
  if (!CanDraw(model)) return;
  for (const ModelNode& node : model->nodes) {
    if (node.name != name) continue;
    uint32_t total = 0;
    for (const Subset& s : node.subsets) total += s.count;
    if (total == 0) continue;
    BindModel(model);
    Device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, model->vertices.count, 3 * node.subsets[0].first,
                                 total);
  }
}

void DrawNodeSubset(MDL* model, const String& name, uint32_t index) {
  if (!CanDraw(model)) return;
  for (const ModelNode& node : model->nodes) {
    if (node.name != name || node.subsets.count <= index) continue;
    const Subset& s = node.subsets[index];
    BindModel(model);
    Device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, model->vertices.count, 3 * s.first, s.count);
  }
}
