#include "foundation/mem.h"

#include <gtest/gtest.h>

#include <cstring>

#include "foundation/log.h"
#include "foundation/str.h"

namespace {

TEST(Mem, ConstructionAndResize) {
  MEM m;
  ASSERT_NE(m.data, nullptr);
  m.Resize(10);
  ASSERT_EQ(m.size, 10u);
  for (uint32_t i = 0; i < 10; i++) EXPECT_EQ(m.data[i], 0) << i;
  for (uint32_t i = 0; i < 10; i++) m.data[i] = uint8_t(i + 1);
  m.Resize(4);
  ASSERT_EQ(m.size, 4u);
  EXPECT_EQ(m.data[3], 4);
  m.Resize(6);  // growing again zeroes the new bytes, not the old contents
  EXPECT_EQ(m.data[3], 4);
  EXPECT_EQ(m.data[5], 0);
  m.Resize(0);
  EXPECT_EQ(m.size, 0u);
  EXPECT_NE(m.data, nullptr);
  // With a step it reserves ahead and never shrinks.
  MEM r;
  r.step = 16;
  r.Resize(4);
  EXPECT_EQ(r.size, 20u);
  r.Resize(10);
  EXPECT_EQ(r.size, 20u);
  r.data[19] = 7;
  r.Resize(21);
  EXPECT_EQ(r.size, 37u);
  EXPECT_EQ(r.data[19], 7);
}

TEST(Mem, InsertPrefixesAppendsAndRejectsBadPositions) {
  MEM m;
  m.Insert(0, "cd", 2);
  m.Insert(0, "ab", 2);
  m.Insert(m.size, "ef", 2);
  m.Insert(3, "XY", 2);
  EXPECT_EQ(std::memcmp(m.data, "abcXYdef", 8), 0);
  EXPECT_EQ(m.pos, 0u);  // inserting does not move the cursor
  LogCapture log;
  m.Insert(m.size + 1, "zz", 2);
  EXPECT_EQ(log.text(), "__ERR__ MEM->Insert: wrong position\n");
  EXPECT_EQ(m.size, 8u);
  EXPECT_EQ(std::memcmp(m.data, "abcXYdef", 8), 0);
}

TEST(Mem, PutAndGetRoundTrip) {
  MEM m;
  m.Put_uint32(0x11223344u);
  m.Put_VEC3F({1.5f, -2.0f, 3.25f});
  m.Put_QUATF({0.0f, 0.5f, 0.0f, 0.75f});
  m.Put_string("ab");
  m.Put_bytes("\x01\x02", 2);
  EXPECT_EQ(m.size, 4u + 12 + 16 + 3 + 2);
  EXPECT_EQ(m.data[0], 0x44);  // little-endian
  EXPECT_EQ(m.data[4 + 12 + 16 + 2], 0);  // Put_string writes the NUL

  m.pos = 0;
  EXPECT_EQ(m.Get_uint32(), 0x11223344u);
  VEC3F v = m.Get_VEC3F();
  EXPECT_EQ(v.x, 1.5f);
  EXPECT_EQ(v.z, 3.25f);
  QUATF q = m.Get_QUATF();
  EXPECT_EQ(q.y, 0.5f);
  EXPECT_EQ(q.w, 0.75f);
  String s("old text");
  m.Get_string(s);
  EXPECT_STREQ(s.c_str(), "ab");
  EXPECT_EQ(m.pos, 35u);
}

TEST(Mem, ShortReadsPrintAndKeepTheCursor) {
  MEM m;
  m.Resize(7);
  m.pos = 4;
  LogCapture log;
  EXPECT_EQ(m.Get_uint32(), 0u);
  EXPECT_EQ(m.pos, 4u);
  EXPECT_EQ(m.Get_VEC3F().y, 0.0f);
  QUATF q = m.Get_QUATF();
  EXPECT_EQ(q.x, 0.0f);
  EXPECT_EQ(q.w, 1.0f);  // identity, never all zeros
  EXPECT_EQ(m.pos, 4u);
  EXPECT_EQ(log.text(),
            "__ERR__ MEM->Get_uint32: no data\n"
            "__ERR__ MEM->Get_VEC3F: no data\n"
            "__ERR__ MEM->Get_QUATF: no data\n");
  // A cursor beyond the end (set by a caller) must not wrap the check.
  m.pos = 0xFFFFFFFEu;
  log.clear();
  EXPECT_EQ(m.Get_uint32(), 0u);
  EXPECT_EQ(log.text(), "__ERR__ MEM->Get_uint32: no data\n");
}

TEST(Mem, GetStringStopsAtTheEnd) {
  MEM m;
  m.Put_bytes("one\0tw", 6);
  m.pos = 0;
  String s;
  m.Get_string(s);
  EXPECT_STREQ(s.c_str(), "one");
  EXPECT_EQ(m.pos, 4u);
  m.Get_string(s);  // no NUL left: the rest, terminated
  EXPECT_STREQ(s.c_str(), "tw");
  EXPECT_EQ(m.pos, 6u);
  m.Get_string(s);  // at the end: the empty string
  EXPECT_EQ(s.size, 1u);
  EXPECT_EQ(s.data[0], 0);
  EXPECT_EQ(m.pos, 6u);
}

TEST(Mem, CopiesAreDeepAndCounted) {
  uint32_t before = MemoryObjectCount;
  {
    MEM a;
    a.Put_string("hello");
    EXPECT_EQ(MemoryObjectCount, before + 1);
    MEM b(a);
    EXPECT_EQ(b.pos, 0u);  // a fresh copy reads from the start
    b.data[0] = 'j';
    EXPECT_EQ(a.data[0], 'h');
    MEM c;
    c.Put_uint32(1);
    c = a;
    c = c;
    EXPECT_STREQ(reinterpret_cast<char*>(c.data), "hello");
    String s("x"), t(s), u;
    u = t;
    EXPECT_EQ(MemoryObjectCount, before + 6);
    String temp = Substring(String("/c name"), 5);  // temporaries count and go
    EXPECT_EQ(MemoryObjectCount, before + 7);
  }
  EXPECT_EQ(MemoryObjectCount, before);
}

}  // namespace
