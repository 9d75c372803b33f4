#include "foundation/mem.h"

#include <gtest/gtest.h>

#include <cstring>

#include "foundation/log.h"
#include "foundation/str.h"

namespace {

TEST(Mem, ResizeZeroesOnlyNewBytesAndAStepReservesAhead) {
  MEM m, r;
  m.Resize(10);
  for (uint32_t i = 0; i < 10; i++) m.data[i] = uint8_t(i + 1);
  m.Resize(4);
  m.Resize(6);  // growing again zeroes the new bytes, not the old contents
  EXPECT_TRUE(m.size == 6 && m.data[3] == 4 && m.data[5] == 0);
  m.Resize(0);
  EXPECT_TRUE(m.size == 0 && m.data != nullptr) << "an empty buffer is still a buffer";
  r.step = 16;
  const uint32_t sizes[][2] = {{4, 20}, {10, 20}, {21, 37}};  // requested, reserved: never shrinks
  for (const auto& s : sizes) {
    r.Resize(s[0]);
    EXPECT_EQ(r.size, s[1]);
  }
}

TEST(Mem, InsertPrefixesAppendsAndRejectsBadPositions) {
  MEM m;
  m.Insert(0, "cd", 2);
  m.Insert(0, "ab", 2);
  m.Insert(m.size, "ef", 2);
  m.Insert(3, "XY", 2);
  EXPECT_EQ(m.pos, 0u);  // inserting does not move the cursor
  LogCapture log;
  m.Insert(m.size + 1, "zz", 2);
  EXPECT_EQ(log.text(), "__ERR__ MEM->Insert: wrong position\n");
  ASSERT_EQ(m.size, 8u);
  EXPECT_EQ(std::memcmp(m.data, "abcXYdef", 8), 0);
  // A source inside the buffer itself survives the growth that may move the
  // block, and the shift that moves the bytes after the insertion point.
  MEM self;
  self.Put_bytes("0123456789abcde", 15);  // fills its 16-byte block: the next append moves it
  self.Put_bytes(self.data + 4, 11);
  self.Insert(2, self.data + 1, 6);
  self.Insert(0, self.data, self.size);
  const char* half = "0112345623456789abcde456789abcde";
  ASSERT_EQ(self.size, 2 * 32u);
  EXPECT_TRUE(std::memcmp(self.data, half, 32) == 0 && std::memcmp(self.data + 32, half, 32) == 0);
}

TEST(Mem, ShortReadsPrintGiveNeutralValuesAndKeepTheCursor) {
  MEM m;
  m.Resize(7);
  m.pos = 4;
  LogCapture log;
  EXPECT_EQ(m.Get_uint32(), 0u);
  EXPECT_EQ(m.Get_VEC3F().y, 0.0f);
  EXPECT_EQ(m.Get_QUATF().w, 1.0f);  // identity, never all zeros
  EXPECT_EQ(m.pos, 4u);
  // A cursor beyond the end (set by a caller) must not wrap the check.
  m.pos = 0xFFFFFFFEu;
  EXPECT_EQ(m.Get_uint32(), 0u);
  EXPECT_EQ(log.text(),
            "__ERR__ MEM->Get_uint32: no data\n__ERR__ MEM->Get_VEC3F: no data\n"
            "__ERR__ MEM->Get_QUATF: no data\n__ERR__ MEM->Get_uint32: no data\n");
  // Strings stop at the end: the rest without a NUL, then the empty string.
  // (Whole records round-trip in the compiled-model tests.)
  MEM t;
  t.Put_bytes("one\0tw", 6);
  t.pos = 0;
  String s;
  for (const char* want : {"one", "tw", ""}) {
    t.Get_string(s);
    EXPECT_STREQ(s.c_str(), want);
  }
  EXPECT_EQ(t.pos, 6u);
}

TEST(Mem, CopiesAreDeepAndCounted) {
  uint32_t before = MemoryObjectCount;
  {
    MEM a;
    a.Put_string("hello");
    MEM b(a);
    EXPECT_EQ(b.pos, 0u);  // a fresh copy reads from the start
    b.data[0] = 'j';
    EXPECT_EQ(a.data[0], 'h');
    MEM c;
    c = a;
    c = c;
    EXPECT_STREQ(reinterpret_cast<char*>(c.data), "hello");
    String temp = Substring(String("/c name"), 5);  // temporaries count and go
    EXPECT_EQ(MemoryObjectCount, before + 4);
  }
  EXPECT_EQ(MemoryObjectCount, before);
}

}  // namespace
