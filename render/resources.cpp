// Texture and shader registries: one record per distinct name, newest first,
// reference counted; the device objects are created when a device exists.
#include "render/resources.h"

#include <string>

#include "assets/drawing_hooks.h"
#include "diag/result_codes.h"
#include "foundation/log.h"
#include "render/model_draw.h"

TextureRecord* TextureList = nullptr;
VertexShaderRecord* VertexShaderList = nullptr;
PixelShaderRecord* PixelShaderList = nullptr;

namespace {

// The registries share their list handling; Record is one of the three
// record types.
template <class Record>
Record* FindOrCreate(Record*& head, const String& name, bool& created) {
  for (Record* r = head; r; r = r->next) {
    if (r->name == name) {  // same length and bytes; case matters
      r->refs++;
      created = false;
      return r;
    }
  }
  Record* r = new Record();
  r->prev = nullptr;
  r->next = head;
  r->refs = 1;
  r->name = name;
  if (head) head->prev = r;
  head = r;
  created = true;
  return r;
}

template <class Record>
void Unlink(Record*& head, Record* r) {
  if (r->next) r->next->prev = r->prev;
  if (r->prev)
    r->prev->next = r->next;
  else if (head == r)
    head = r->next;
}

template <class Record, class Object>
void Destroy(Record*& head, Record* r, Object* Record::*object) {
  Unlink(head, r);
  if (r->*object) (r->*object)->Release();
  delete r;
}

template <class Record, class Object>
void ReleaseOne(Record*& head, Record* r, Object* Record::*object) {
  if (r->refs == 1)
    Destroy(head, r, object);
  else
    r->refs--;
}

// Counts every record down to its last reference and destroys it. A record
// whose count is already 0 is destroyed as well, so this always ends.
template <class Record, class Object>
void ReleaseAll(Record*& head, Object* Record::*object) {
  Record* r = head;
  while (r) {
    if (r->refs <= 1) {
      Destroy(head, r, object);
      r = head;
    } else {
      r->refs--;
    }
  }
}

std::string ShaderPath(const String& name, const char* extension) {
  std::string path = "Shaders/";
  path += name.c_str();
  path += extension;
  return path;
}

}  // namespace

TextureRecord* LoadTexture(const String& name, bool cube) {
  bool created;
  TextureRecord* r = FindOrCreate(TextureList, name, created);
  if (created) {
    r->kind = cube ? 1 : 0;
    r->texture = nullptr;
    LoadTextureData(r);
  }
  return r;
}

void LoadTextureData(TextureRecord* record) {
  if (!Device || record->texture) return;
  if (record->kind > 1) return;
  std::string path = "Textures/";
  path += record->name.c_str();
  HRESULT hr;
  if (record->kind == 0) {
    IDirect3DTexture9* texture = nullptr;
    hr = D3DXCreateTextureFromFileA(Device, path.c_str(), &texture);
    record->texture = texture;
  } else {
    IDirect3DCubeTexture9* texture = nullptr;
    hr = D3DXCreateCubeTextureFromFileA(Device, path.c_str(), &texture);
    record->texture = texture;
  }
  if (hr != D3D_OK) {
    Log("Loading texture \"%s\"... %s\n", path.c_str(), resultCodeName(uint32_t(hr)));
    if (record->texture) record->texture->Release();
    record->texture = nullptr;
  }
}

void ReleaseTexture(TextureRecord* record) { ReleaseOne(TextureList, record, &TextureRecord::texture); }

void ReleaseAllTextures() { ReleaseAll(TextureList, &TextureRecord::texture); }

VertexShaderRecord* LoadVertexShader(const String& name) {
  bool created;
  VertexShaderRecord* r = FindOrCreate(VertexShaderList, name, created);
  if (created) {
    r->shader = nullptr;
    LoadVertexShaderData(r);
  }
  return r;
}

void LoadVertexShaderData(VertexShaderRecord* record) {
  if (!Device || record->shader) return;
  std::string path = ShaderPath(record->name, ".VSH");
  ID3DXBuffer* code = nullptr;
  HRESULT hr = D3DXAssembleShaderFromFileA(path.c_str(), nullptr, nullptr, 0, &code, nullptr);
  if (hr != D3D_OK) {
    Log("Assembling vertex shader \"%s\"... %s\n", path.c_str(), resultCodeName(uint32_t(hr)));
    if (code) code->Release();
    return;
  }
  IDirect3DVertexShader9* shader = nullptr;
  hr = Device->CreateVertexShader(static_cast<const uint32_t*>(code->GetBufferPointer()), &shader);
  if (hr != D3D_OK) {
    Log("Creating vertex shader \"%s\"... %s\n", path.c_str(), resultCodeName(uint32_t(hr)));
    if (shader) shader->Release();
    shader = nullptr;
  }
  record->shader = shader;
  code->Release();
}

void ReleaseAllVertexShaders() { ReleaseAll(VertexShaderList, &VertexShaderRecord::shader); }

PixelShaderRecord* LoadPixelShader(const String& name) {
  bool created;
  PixelShaderRecord* r = FindOrCreate(PixelShaderList, name, created);
  if (created) {
    r->shader = nullptr;
    LoadPixelShaderData(r);
  }
  return r;
}

void LoadPixelShaderData(PixelShaderRecord* record) {
  if (!Device || record->shader) return;
  std::string path = ShaderPath(record->name, ".PSH");
  ID3DXBuffer* code = nullptr;
  HRESULT hr = D3DXAssembleShaderFromFileA(path.c_str(), nullptr, nullptr, 0, &code, nullptr);
  if (hr != D3D_OK) {
    Log("Assembling pixel shader \"%s\"... %s\n", path.c_str(), resultCodeName(uint32_t(hr)));
    if (code) code->Release();
    return;
  }
  IDirect3DPixelShader9* shader = nullptr;
  hr = Device->CreatePixelShader(static_cast<const uint32_t*>(code->GetBufferPointer()), &shader);
  if (hr != D3D_OK) {
    Log("Creating pixel shader \"%s\"... %s\n", path.c_str(), resultCodeName(uint32_t(hr)));
    if (shader) shader->Release();
    shader = nullptr;
  }
  record->shader = shader;
  code->Release();
}

void ReleasePixelShader(PixelShaderRecord* record) {
  ReleaseOne(PixelShaderList, record, &PixelShaderRecord::shader);
}

void ReleaseAllPixelShaders() { ReleaseAll(PixelShaderList, &PixelShaderRecord::shader); }

void InstallDrawingHooks() {
  Drawing.createModelObjects = CreateModelObjects;
  Drawing.releaseModelObjects = ReleaseModelObjects;
  Drawing.loadTexture = LoadTexture;
  Drawing.releaseTexture = ReleaseTexture;
  Drawing.loadVertexShader = LoadVertexShader;
  Drawing.loadPixelShader = LoadPixelShader;
  Drawing.releasePixelShader = ReleasePixelShader;
}
