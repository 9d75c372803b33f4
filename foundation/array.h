// Array: contiguous storage whose capacity is a power of two in bytes. Growth
// moves elements with a plain byte copy, never a copy constructor, so owned
// pointers inside elements travel with them. Only types that survive being
// moved that way may be stored: trivially copyable types, or types that opt in
// with TARN_BYTEWISE_MOVABLE (they own heap blocks but never point into
// themselves). Anything else, std::string for one, is rejected at compile time.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

template <class T>
struct BytewiseMovable : std::is_trivially_copyable<T> {};

#define TARN_BYTEWISE_MOVABLE(T) \
  template <>                    \
  struct BytewiseMovable<T> : std::true_type {}

// Smallest power of two not below n (n > 0): smear the bits of n - 1, add 1.
inline uint64_t NextPowerOfTwo64(uint64_t n) {
  uint64_t v = n - 1;
  v |= v >> 1;
  v |= v >> 2;
  v |= v >> 4;
  v |= v >> 8;
  v |= v >> 16;
  v |= v >> 32;
  return v + 1;
}
// The same in 32 bits: 0 above 2^31, where the power would not fit.
inline uint32_t NextPowerOfTwo(uint32_t n) { return uint32_t(NextPowerOfTwo64(n)); }

// An array that cannot get the storage it needs has no sane way on: every
// caller goes on to write the elements it asked for. Prints one line and
// aborts rather than write outside a block. Readers of outside data cap their
// counts well below this, so a damaged file never gets here.
[[noreturn]] void ArrayOutOfMemory(uint64_t bytes);

template <class T>
class Array {
 public:
  uint32_t count = 0;
  T* data = nullptr;
  uint64_t capacity = 0;  // bytes, 0 or a power of two

  Array() {
    static_assert(BytewiseMovable<T>::value,
                  "Array moves elements bytewise; mark the type TARN_BYTEWISE_MOVABLE "
                  "only if it never points into itself");
  }
  Array(const Array& other) {
    if (other.count) {
      Grow(other.count);
      for (uint32_t i = 0; i < other.count; i++) new (&data[i]) T(other.data[i]);
      count = other.count;
    }
  }
  Array& operator=(const Array& other) {
    if (this != &other) {
      clear();
      if (other.count) {
        Grow(other.count);
        for (uint32_t i = 0; i < other.count; i++) new (&data[i]) T(other.data[i]);
        count = other.count;
      }
    }
    return *this;
  }
  ~Array() { clear(); }

  T& operator[](uint32_t i) { return data[i]; }
  const T& operator[](uint32_t i) const { return data[i]; }
  T* begin() { return data; }
  T* end() { return data + count; }
  const T* begin() const { return data; }
  const T* end() const { return data + count; }

  // Appends a deep copy of value.
  void push(const T& value) {
    uintptr_t at = reinterpret_cast<uintptr_t>(&value), from = reinterpret_cast<uintptr_t>(data);
    if (at >= from && at < from + uintptr_t(count) * sizeof(T) && (uint64_t(count) + 1) * sizeof(T) > capacity) {
      // value lives in the storage that growing is about to free: copy it out first.
      T copy(value);
      push(copy);
      return;
    }
    Grow(uint64_t(count) + 1);
    new (&data[count]) T(value);
    count++;
  }
  // Grows for n when needed; new elements are left unconstructed for the
  // caller to fill, and shrinking destroys nothing (it only lowers count).
  void resize(uint32_t n) {
    if (n > count) Grow(n);
    count = n;
  }
  // Destroys the elements last to first and frees the storage.
  void clear() {
    if (capacity != 0) {
      for (uint32_t i = count; i > 0; i--) data[i - 1].~T();
      std::free(data);
    }
    data = nullptr;
    count = 0;
    capacity = 0;
  }
  // Removes one element by moving the rest down (for plain element types).
  void erase(uint32_t index) {
    static_assert(std::is_trivially_copyable<T>::value, "erase is for plain elements");
    if (index < count) {
      std::memmove(&data[index], &data[index + 1], (count - index - 1) * sizeof(T));
      count--;
    }
  }
  // Makes the array hold exactly value (the storage is reused when it fits).
  void assign_one(const T& value) {
    static_assert(std::is_trivially_copyable<T>::value, "assign_one is for plain elements");
    if (capacity < sizeof(T)) {
      if (capacity) std::free(data);
      data = nullptr;
      count = 0;
      capacity = 0;
      Grow(1);
    }
    data[0] = value;
    count = 1;
  }

 private:
  // Capacities are worked out in 64 bits: n below 2^32 elements of at most
  // 2^31 bytes each always has a power of two above it.
  void Grow(uint64_t n) {
    static_assert(sizeof(T) <= (1u << 31), "element sizes keep n * sizeof(T) below 2^63");
    if (n > 0xFFFFFFFFu) ArrayOutOfMemory(n * sizeof(T));
    uint64_t need = n * sizeof(T);
    if (need <= capacity) return;
    uint64_t bytes = NextPowerOfTwo64(need);
    T* fresh = bytes <= SIZE_MAX ? static_cast<T*>(std::malloc(size_t(bytes))) : nullptr;
    if (!fresh) ArrayOutOfMemory(bytes);
    if (count) std::memcpy(static_cast<void*>(fresh), static_cast<const void*>(data), size_t(count) * sizeof(T));
    if (capacity != 0) std::free(data);
    data = fresh;
    capacity = bytes;
  }
};
