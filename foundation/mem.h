// MEM: the one growable byte buffer. Reads past the end print a line and yield
// a neutral value, so a truncated file degrades into zeros instead of a crash.
#pragma once
#include <cstdint>

extern uint32_t MemoryObjectCount;  // live MEM and String objects

struct VEC3F {  // a vector as stored in files
  float x, y, z;
};
struct QUATF {  // a quaternion as stored in files, scalar last
  float x, y, z, w;
};

class String;

class MEM {
 public:
  uint32_t size;  // bytes held (text: length + 1)
  uint8_t* data;  // never null
  uint32_t pos;   // read cursor; appends advance it too
  uint32_t step;  // extra bytes reserved on growth; 0 = exact sizing

  MEM();
  MEM(const MEM& other);
  MEM& operator=(const MEM& other);
  ~MEM();

  void Resize(uint32_t n);
  void Insert(uint32_t at, const void* src, uint32_t n);

  void Put_uint32(uint32_t v);
  void Put_VEC3F(const VEC3F& v);
  void Put_QUATF(const QUATF& q);
  void Put_string(const char* s);
  void Put_bytes(const void* p, uint32_t n);

  uint32_t Get_uint32();
  VEC3F Get_VEC3F();
  QUATF Get_QUATF();
  void Get_string(String& dest);
};

#include "foundation/array.h"
// A MEM owns a heap block and never points into itself.
TARN_BYTEWISE_MOVABLE(MEM);
