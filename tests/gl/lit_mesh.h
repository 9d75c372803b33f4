// A lit, textured indexed mesh on the device: position, normal and one pair
// of texture coordinates, as the benchmark and the demo draw them.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/gpu/device.h"

struct LitVertex {
  float p[3], n[3], uv[2];
};

struct LitMesh {
  IDirect3DVertexBuffer9* vertices = nullptr;
  IDirect3DIndexBuffer9* indices = nullptr;
  IDirect3DVertexDeclaration9* declaration = nullptr;

  void Bind(IDirect3DDevice9* dev) const {
    dev->SetVertexDeclaration(declaration);
    dev->SetStreamSource(0, vertices, 0, sizeof(LitVertex));
    dev->SetIndices(indices);
  }
  void Release() {
    if (vertices) vertices->Release();
    if (indices) indices->Release();
    if (declaration) declaration->Release();
    *this = LitMesh();
  }
};

// Managed-pool buffers filled with the vertices and 32-bit indices.
inline LitMesh UploadLitMesh(IDirect3DDevice9* dev, const std::vector<LitVertex>& verts,
                             const std::vector<uint32_t>& idx) {
  LitMesh mesh;
  void* p = nullptr;
  dev->CreateVertexBuffer(uint32_t(verts.size() * sizeof(LitVertex)), 0, 0, D3DPOOL_MANAGED,
                          &mesh.vertices);
  mesh.vertices->Lock(0, 0, &p, 0);
  std::memcpy(p, verts.data(), verts.size() * sizeof(LitVertex));
  mesh.vertices->Unlock();
  dev->CreateIndexBuffer(uint32_t(idx.size() * 4), 0, D3DFMT_INDEX32, D3DPOOL_MANAGED,
                         &mesh.indices);
  mesh.indices->Lock(0, 0, &p, 0);
  std::memcpy(p, idx.data(), idx.size() * 4);
  mesh.indices->Unlock();
  static const D3DVERTEXELEMENT9 decl[] = {
      {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
      {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
      {0, 24, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
      D3DDECL_END()};
  dev->CreateVertexDeclaration(decl, &mesh.declaration);
  return mesh;
}
