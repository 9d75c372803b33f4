#include "app/menu/menu_renderer.h"

#include <imgui.h>

#include <cstring>
#include <vector>

#include "diag/result_codes.h"
#include "foundation/log.h"
#include "platform/gpu/device.h"
#include "platform/gpu/device_base.h"
#include "platform/image/image.h"
#include "render/resources.h"

namespace {

struct MenuVertex {
  float x, y, z, rhw;
  uint32_t colour;  // ARGB
  float u, v;
};
constexpr uint32_t kMenuFVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

IDirect3DTexture9* gFont = nullptr;
PixelShaderRecord* gShader = nullptr;  // "menu": atlas times vertex colour, alpha too
IDirect3DVertexBuffer9* gVertices = nullptr;
IDirect3DIndexBuffer9* gIndices = nullptr;
uint32_t gVertexCapacity = 0, gIndexCapacity = 0;  // elements

template <class T>
void ReleaseOne(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

// ImGui packs colours as bytes R, G, B, A (ABGR in a word); the device takes ARGB.
uint32_t ToARGB(ImU32 c) { return (c & 0xFF00FF00u) | ((c & 0xFFu) << 16) | ((c >> 16) & 0xFFu); }

bool Reserve(uint32_t vertices, uint32_t indices) {
  if (vertices > gVertexCapacity) {
    ReleaseOne(gVertices);
    gVertexCapacity = 0;
    uint32_t want = vertices + 4096;
    HRESULT hr = Device->CreateVertexBuffer(want * sizeof(MenuVertex), D3DUSAGE_WRITEONLY, kMenuFVF,
                                            D3DPOOL_MANAGED, &gVertices);
    if (FAILED(hr)) {
      Log("Menu: CreateVertexBuffer failed: %s\n", resultCodeName(uint32_t(hr)));
      return false;
    }
    gVertexCapacity = want;
  }
  if (indices > gIndexCapacity) {
    ReleaseOne(gIndices);
    gIndexCapacity = 0;
    uint32_t want = indices + 8192;
    HRESULT hr = Device->CreateIndexBuffer(want * 4, D3DUSAGE_WRITEONLY, D3DFMT_INDEX32, D3DPOOL_MANAGED, &gIndices);
    if (FAILED(hr)) {
      Log("Menu: CreateIndexBuffer failed: %s\n", resultCodeName(uint32_t(hr)));
      return false;
    }
    gIndexCapacity = want;
  }
  return true;
}

// The states the menu sets, taken before and given back after.
struct SavedState {
  std::shared_ptr<const GpuState> state;
  static constexpr D3DRENDERSTATETYPE kRender[] = {D3DRS_ZENABLE,         D3DRS_ZWRITEENABLE, D3DRS_CULLMODE,
                                                   D3DRS_ALPHABLENDENABLE, D3DRS_SRCBLEND,     D3DRS_DESTBLEND,
                                                   D3DRS_LIGHTING,         D3DRS_SCISSORTESTENABLE};
  static constexpr D3DSAMPLERSTATETYPE kSampler[] = {D3DSAMP_MINFILTER, D3DSAMP_MAGFILTER, D3DSAMP_MIPFILTER,
                                                     D3DSAMP_ADDRESSU, D3DSAMP_ADDRESSV};

  void Restore() const {
    const GpuState& s = *state;
    for (D3DRENDERSTATETYPE r : kRender) Device->SetRenderState(r, s.renderState(r));
    for (D3DSAMPLERSTATETYPE t : kSampler) Device->SetSamplerState(0, t, s.samplerState(0, t));
    Device->SetScissorRect(&s.scissor);
    Device->SetTexture(0, s.textures[0].get());
    Device->SetVertexShader(s.vertexShader.get());
    Device->SetPixelShader(s.pixelShader.get());
    if (s.declaration) Device->SetVertexDeclaration(s.declaration.get());
    else Device->SetFVF(s.fvf);
    Device->SetStreamSource(0, s.streamBuffer.get(), s.streamOffset, s.streamStride);
    Device->SetIndices(s.indices.get());
  }
};

}  // namespace

bool CreateMenuFontTexture() {
  if (!Device || gFont) return gFont != nullptr;
  ImGuiIO& io = ImGui::GetIO();
  unsigned char* pixels = nullptr;
  int width = 0, height = 0;
  io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
  Image image;
  image.format = D3DFMT_A8R8G8B8;
  ImageLevel level;
  level.width = uint32_t(width);
  level.height = uint32_t(height);
  level.bytes.resize(size_t(width) * size_t(height) * 4);
  // RGBA bytes to the device's B, G, R, A.
  for (size_t i = 0; i < size_t(width) * size_t(height); i++) {
    level.bytes[4 * i + 0] = pixels[4 * i + 2];
    level.bytes[4 * i + 1] = pixels[4 * i + 1];
    level.bytes[4 * i + 2] = pixels[4 * i + 0];
    level.bytes[4 * i + 3] = pixels[4 * i + 3];
  }
  image.faces.push_back({std::move(level)});
  HRESULT hr = Device->CreateTextureFromImage(image, &gFont);
  if (FAILED(hr)) {
    Log("Menu: the font texture could not be made: %s\n", resultCodeName(uint32_t(hr)));
    gFont = nullptr;
    return false;
  }
  io.Fonts->SetTexID(static_cast<ImTextureID>(gFont));
  return true;
}

void RenderMenuDrawData(const ImDrawData* data) {
  if (!Device || !data || data->TotalVtxCount == 0) return;
  if (!Reserve(uint32_t(data->TotalVtxCount), uint32_t(data->TotalIdxCount))) return;

  MenuVertex* v = nullptr;
  uint32_t* idx = nullptr;
  if (FAILED(gVertices->Lock(0, uint32_t(data->TotalVtxCount) * sizeof(MenuVertex), reinterpret_cast<void**>(&v),
                             D3DLOCK_DISCARD)))
    return;
  if (FAILED(gIndices->Lock(0, uint32_t(data->TotalIdxCount) * 4, reinterpret_cast<void**>(&idx), D3DLOCK_DISCARD))) {
    gVertices->Unlock();
    return;
  }
  const ImVec2 origin = data->DisplayPos;
  for (int n = 0; n < data->CmdListsCount; n++) {
    const ImDrawList* list = data->CmdLists[n];
    for (const ImDrawVert& src : list->VtxBuffer) {
      // The device puts pixel centres on whole coordinates; ImGui on halves.
      *v++ = MenuVertex{src.pos.x - origin.x - 0.5f, src.pos.y - origin.y - 0.5f, 0.0f, 1.0f, ToARGB(src.col),
                        src.uv.x, src.uv.y};
    }
    for (ImDrawIdx i : list->IdxBuffer) *idx++ = i;
  }
  gVertices->Unlock();
  gIndices->Unlock();

  SavedState saved{static_cast<GpuDeviceBase*>(Device)->snapshot()};
  Device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  Device->SetRenderState(D3DRS_ZWRITEENABLE, 0);
  Device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  Device->SetRenderState(D3DRS_LIGHTING, 0);
  Device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  Device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  Device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  Device->SetRenderState(D3DRS_SCISSORTESTENABLE, 1);
  Device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
  Device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  Device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
  Device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
  Device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
  if (!gShader) gShader = LoadPixelShader(String("menu"));
  Device->SetVertexShader(nullptr);
  Device->SetPixelShader(gShader ? gShader->shader : nullptr);
  Device->SetFVF(kMenuFVF);
  Device->SetStreamSource(0, gVertices, 0, sizeof(MenuVertex));
  Device->SetIndices(gIndices);

  D3DVIEWPORT9 vp;
  Device->GetViewport(&vp);
  int32_t baseVertex = 0;
  uint32_t baseIndex = 0;
  for (int n = 0; n < data->CmdListsCount; n++) {
    const ImDrawList* list = data->CmdLists[n];
    for (const ImDrawCmd& cmd : list->CmdBuffer) {
      if (cmd.UserCallback || cmd.ElemCount == 0) continue;
      // The clip rectangle in whole pixels, inside the viewport.
      D3DSCISSORRECT r = {int32_t(cmd.ClipRect.x - origin.x), int32_t(cmd.ClipRect.y - origin.y),
                          int32_t(cmd.ClipRect.z - origin.x), int32_t(cmd.ClipRect.w - origin.y)};
      if (r.left < 0) r.left = 0;
      if (r.top < 0) r.top = 0;
      if (r.right > int32_t(vp.Width)) r.right = int32_t(vp.Width);
      if (r.bottom > int32_t(vp.Height)) r.bottom = int32_t(vp.Height);
      if (r.right <= r.left || r.bottom <= r.top) continue;
      Device->SetScissorRect(&r);
      Device->SetTexture(0, static_cast<IDirect3DBaseTexture9*>(static_cast<IDirect3DTexture9*>(cmd.GetTexID())));
      Device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, baseVertex + int32_t(cmd.VtxOffset), 0,
                                   uint32_t(list->VtxBuffer.Size), baseIndex + cmd.IdxOffset, cmd.ElemCount / 3);
    }
    baseVertex += list->VtxBuffer.Size;
    baseIndex += uint32_t(list->IdxBuffer.Size);
  }
  saved.Restore();
}

void ReleaseMenuRenderer() {
  if (gFont && ImGui::GetCurrentContext()) ImGui::GetIO().Fonts->SetTexID(nullptr);
  ReleaseOne(gFont);
  if (gShader) ReleasePixelShader(gShader);
  gShader = nullptr;
  ReleaseOne(gVertices);
  ReleaseOne(gIndices);
  gVertexCapacity = gIndexCapacity = 0;
}
