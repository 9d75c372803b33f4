#include "foundation/mem.h"

#include <cstdlib>
#include <cstring>

#include "foundation/log.h"
#include "foundation/str.h"

uint32_t MemoryObjectCount = 0;

namespace {
// Every block carries one hidden zero byte past its size, so text readers that
// look for the NUL of an emptied or truncated buffer stop inside the block.
//
// Blocks are allocated in power-of-two sizes, a function of the buffer's size
// alone, so a buffer built by many small appends (a compiled model) only
// reallocates when it crosses a power of two instead of on every append. The
// buffer's size and contents are exactly as if it were sized exactly.
size_t BlockBytes(uint64_t n) {
  uint64_t bytes = n + 1;
  uint64_t block = 16;
  while (block < bytes) block <<= 1;
  return size_t(block);
}

uint8_t* AllocateBlock(uint32_t n) {
  uint8_t* p = static_cast<uint8_t*>(std::malloc(BlockBytes(n)));
  if (p) p[n] = 0;
  return p;
}

// Moves the block to the size class of n bytes; false when memory ran out.
bool FitBlock(uint8_t*& data, uint32_t oldSize, uint64_t n) {
  if (BlockBytes(n) == BlockBytes(oldSize)) return true;
  uint8_t* fresh = static_cast<uint8_t*>(std::realloc(data, BlockBytes(n)));
  if (!fresh) return false;
  data = fresh;
  return true;
}
}  // namespace

MEM::MEM() : size(0), data(AllocateBlock(0)), pos(0), step(0) { MemoryObjectCount++; }

MEM::MEM(const MEM& other) : size(0), data(AllocateBlock(0)), pos(0), step(0) {
  MemoryObjectCount++;
  Resize(other.size);
  if (size == other.size && size) std::memcpy(data, other.data, size);
}

MEM& MEM::operator=(const MEM& other) {
  if (this != &other) {
    Resize(other.size);
    if (size >= other.size && other.size) std::memcpy(data, other.data, other.size);
  }
  return *this;
}

MEM::~MEM() {
  std::free(data);
  MemoryObjectCount--;
}

void MEM::Resize(uint32_t n) {
  if (step == 0) {
    if (n == 0) {
      uint8_t* fresh = AllocateBlock(0);
      if (!fresh) {
        Log("__ERR__ MEM->Resize fail, not enough memory\n");
        return;
      }
      std::free(data);
      data = fresh;
      size = 0;
      return;
    }
    if (!FitBlock(data, size, n)) {
      Log("__ERR__ MEM->Resize fail, not enough memory\n");
      return;
    }
    if (n > size) std::memset(data + size, 0, n - size);
    data[n] = 0;
    size = n;
    return;
  }
  if (n <= size) return;
  uint64_t want = uint64_t(n) + step;
  if (want > 0xFFFFFFFEu) {
    Log("__ERR__ MEM->Resize fail, not enough memory\n");
    return;
  }
  if (!FitBlock(data, size, want)) {
    Log("__ERR__ MEM->Resize fail, not enough memory\n");
    return;
  }
  // The reserve is cleared too: nothing should ever read stale heap bytes.
  std::memset(data + size, 0, size_t(want) - size + 1);
  size = uint32_t(want);
}

namespace {
// Bytes to be added that lie inside the buffer itself would be freed by the
// growth or shifted by the insertion: they are copied out first. Returns the
// source to use (src itself or the copy in held); null when memory ran out.
const void* SafeSource(const MEM& m, const void* src, uint32_t n, uint8_t*& held) {
  held = nullptr;
  uintptr_t at = reinterpret_cast<uintptr_t>(src), from = reinterpret_cast<uintptr_t>(m.data);
  if (n == 0 || at + n <= from || at >= from + uint64_t(m.size) + 1) return src;
  held = static_cast<uint8_t*>(std::malloc(n));
  if (!held) {
    Log("__ERR__ MEM->Resize fail, not enough memory\n");
    return nullptr;
  }
  std::memcpy(held, src, n);
  return held;
}
}  // namespace

void MEM::Insert(uint32_t at, const void* src, uint32_t n) {
  if (at > size) {
    Log("__ERR__ MEM->Insert: wrong position\n");
    return;
  }
  uint32_t old = size;
  if (uint64_t(old) + n > 0xFFFFFFFEu) {
    Log("__ERR__ MEM->Resize fail, not enough memory\n");
    return;
  }
  uint8_t* held;
  src = SafeSource(*this, src, n, held);
  if (!src) return;
  Resize(old + n);
  if (size >= old + n && n != 0) {  // otherwise the resize failed and said so
    std::memmove(data + at + n, data + at, old - at);
    std::memcpy(data + at, src, n);
  }
  std::free(held);
}

void MEM::Put_bytes(const void* p, uint32_t n) {
  uint32_t old = size;
  if (uint64_t(old) + n > 0xFFFFFFFEu) {
    Log("__ERR__ MEM->Resize fail, not enough memory\n");
    return;
  }
  uint8_t* held;
  p = SafeSource(*this, p, n, held);
  if (!p) return;
  Resize(old + n);
  if (size >= old + n) {  // otherwise the resize failed and said so
    if (n) std::memcpy(data + size - n, p, n);
    pos += n;
  }
  std::free(held);
}

void MEM::Put_uint32(uint32_t v) { Put_bytes(&v, 4); }
void MEM::Put_VEC3F(const VEC3F& v) { Put_bytes(&v, 12); }
void MEM::Put_QUATF(const QUATF& q) { Put_bytes(&q, 16); }
void MEM::Put_string(const char* s) {
  if (!s) s = "";
  Put_bytes(s, uint32_t(std::strlen(s) + 1));
}

namespace {
// pos + w <= size without wrapping.
bool Fits(const MEM& m, uint32_t w) { return m.pos <= m.size && m.size - m.pos >= w; }
}  // namespace

namespace {
// A fixed-size value at the cursor; past the end, the method's line and the
// neutral value.
template <class T>
T GetFixed(MEM& m, const char* method, const T& neutral) {
  if (!Fits(m, sizeof(T))) {
    Log("__ERR__ MEM->%s: no data\n", method);
    return neutral;
  }
  T v;
  std::memcpy(&v, m.data + m.pos, sizeof v);
  m.pos += sizeof v;
  return v;
}
static_assert(sizeof(VEC3F) == 12 && sizeof(QUATF) == 16, "the file formats' field sizes");
}  // namespace

uint32_t MEM::Get_uint32() { return GetFixed<uint32_t>(*this, "Get_uint32", 0); }
VEC3F MEM::Get_VEC3F() { return GetFixed<VEC3F>(*this, "Get_VEC3F", {0.0f, 0.0f, 0.0f}); }
QUATF MEM::Get_QUATF() { return GetFixed<QUATF>(*this, "Get_QUATF", {0.0f, 0.0f, 0.0f, 1.0f}); }

void MEM::Get_string(String& dest) {
  uint32_t start = pos < size ? pos : size;
  uint32_t end = start;
  while (end < size && data[end] != 0) end++;
  uint32_t n = end - start;
  // Copy first: dest may be this very buffer.
  uint8_t* text = static_cast<uint8_t*>(std::malloc(size_t(n) + 1));
  if (!text) {
    Log("__ERR__ MEM->Resize fail, not enough memory\n");
    return;
  }
  if (n) std::memcpy(text, data + start, n);
  text[n] = 0;
  pos = end < size ? end + 1 : (pos > size ? pos : size);
  dest.Resize(n + 1);
  if (dest.size >= n + 1) std::memcpy(dest.data, text, size_t(n) + 1);
  std::free(text);
}
