// Models on the recording device: the device objects, their contents and
// the draw calls of whole models, nodes and subsets.
#include "assets/model.h"
#include "render/model_draw.h"
#include "test_support.h"

namespace {

using ModelDrawTest = DeviceAssetTest;

// A strip of faces in no smoothing group; every third face, from the first,
// in material materialOf3, the others in material 0.
TNode Strip(const std::string& name, uint32_t faces, uint32_t materialOf3) {
  TNode n{name, {}, {}};
  for (uint32_t i = 0; i < faces + 2; i++) n.vertices.push_back({float(i), float(i % 2), 0});
  for (uint32_t i = 0; i < faces; i++)
    n.faces.push_back(TFace{(i % 3 == 0) ? materialOf3 : 0, 0, {i, i + 1, i + 2}});
  return n;
}

TEST_F(ModelDrawTest, DrawCallsUseExactRangesLayoutAndStride) {
  // A: 7 faces, materials 2,0,0,2,0,0,2 -> subsets (0,4) (4,0) (4,3);
  // B: 3 faces in material 0 -> (7,3); two nodes named "A".
  WriteRawModel("Draw", {Strip("A", 7, 2), Strip("B", 3, 0), Strip("A", 2, 0), Strip("Nil", 0, 0)});
  LogCapture quiet;
  MDL* m = LoadModel(String("Draw"), 1);
  ASSERT_EQ(m->nodes[0].subsets.count, 3u);
  auto ib = rec->CallsOf(CallKind::CreateIndexBuffer);
  ASSERT_EQ(ib.size(), 1u);
  EXPECT_EQ(ib[0]->u[2], uint32_t(D3DFMT_INDEX32));
  DrawModel(m);
  for (const char* name : {"A", "B", "Nil", "Missing"}) DrawNode(m, String(name));
  DrawNodeSubset(m, String("A"), 2);  // only the first "A" has a subset 2
  DrawNodeSubset(m, String("A"), 1);  // an empty subset still draws, 0 triangles
  DrawNodeSubset(m, String("A"), 3);  // beyond every node's subsets
  auto draws = rec->Draws();
  const uint32_t expect[][2] = {{0, 12}, {0, 7}, {30, 2}, {21, 3}, {12, 3}, {12, 0}};  // first index, triangles
  ASSERT_EQ(draws.size(), 6u) << rec->Describe();
  for (size_t i = 0; i < draws.size(); i++) {
    const RecordedCall& d = *draws[i];
    EXPECT_TRUE(d.u[2] == m->vertices.count && d.u[3] == expect[i][0] && d.u[4] == expect[i][1]) << rec->Describe();
    EXPECT_TRUE(d.state->streamStride == 72 && d.state->streamBuffer.get() == m->vertexBuffer &&
                d.state->indices.get() == m->indexBuffer);
  }
  // The declaration as the vertex layout: six FLOAT3 elements.
  std::vector<D3DVERTEXELEMENT9> e = draws[0]->state->vertexElements();
  ASSERT_GE(e.size(), 6u);
  const uint8_t usage[6] = {D3DDECLUSAGE_POSITION, D3DDECLUSAGE_NORMAL,   D3DDECLUSAGE_TANGENT,
                            D3DDECLUSAGE_BINORMAL, D3DDECLUSAGE_TEXCOORD, D3DDECLUSAGE_TEXCOORD};
  for (int i = 0; i < 6; i++)
    EXPECT_TRUE(e[i].Stream == 0 && e[i].Offset == 12 * i && e[i].Type == D3DDECLTYPE_FLOAT3 &&
                e[i].Usage == usage[i] && e[i].UsageIndex == (i == 5))
        << "element " << i;
}

TEST_F(ModelDrawTest, CreationFailuresAndEmptyModels) {
  WriteRawModel("Fail", {Strip("A", 2, 0)});
  rec->failCreateVertexBuffer = D3DERR_OUTOFVIDEOMEMORY;
  rec->failCreateVertexDeclaration = E_OUTOFMEMORY_;
  LogCapture log;
  MDL* m = LoadModel(String("Fail"), 1);
  EXPECT_TRUE(Logged(log, "CreateVertexBuffer: D3DERR_OUTOFVIDEOMEMORY\n"));
  EXPECT_TRUE(Logged(log, "CreateVertexDeclaration: E_OUTOFMEMORY\n"));
  EXPECT_TRUE(m->vertexBuffer == nullptr && m->indexBuffer != nullptr);  // the index buffer is kept
  rec->clearCalls();
  DrawModel(m);
  EXPECT_EQ(rec->Draws().size(), 0u);

  // A model loaded before the device exists gets its objects on the next call.
  Device = nullptr;
  WriteRawModel("Late", {Strip("A", 2, 0)});
  MDL* late = LoadModel(String("Late"), 1);
  EXPECT_EQ(late->vertexBuffer, nullptr);
  Device = rec;
  rec->failCreateVertexBuffer = rec->failCreateVertexDeclaration = D3D_OK;
  LoadModelData(late);
  EXPECT_TRUE(late->vertexBuffer && late->vertexDeclaration);

  // A raw model without nodes compiles and saves empty; it and a missing
  // model get no device objects and draw nothing.
  WriteRawModel("Bare", {});
  log.clear();
  MDL* bare = LoadModel(String("Bare"), 1);
  EXPECT_EQ(log.lines().at(0), "Loading RAW model \"Models/Bare.mdl\", Nodes: 0");
  EXPECT_FALSE(ReadBytes("Models/Bare.mdc").empty());
  rec->clearCalls();
  for (MDL* e : {bare, LoadModel(String("None"), 1)}) {
    EXPECT_TRUE(e->nodes.count == 0 && e->vertexBuffer == nullptr && e->indexBuffer == nullptr);
    DrawModel(e);
    DrawNode(e, String("A"));
    DrawNodeSubset(e, String("A"), 0);
  }
  EXPECT_EQ(rec->calls().size(), 0u);
}

}  // namespace
