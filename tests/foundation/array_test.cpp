#include "foundation/array.h"

#include <gtest/gtest.h>

#include "foundation/str.h"

namespace {

// An element owning a String and a nested array, like the model records.
struct Node {
  String name;
  Array<uint32_t> indices;
};

}  // namespace

TARN_BYTEWISE_MOVABLE(Node);

namespace {

TEST(Array, CopiesAreDeepForStringsAndNestedArraysAndNothingLeaks) {
  uint32_t before = MemoryObjectCount;
  {
    Array<Node> nodes;
    Node n;
    n.name = "Wing";
    n.indices.push(7);
    n.indices.push(9);
    nodes.push(n);
    n.name = "Tail";
    nodes.push(n);
    nodes.push(n);  // growth moves the nodes bytewise; their blocks go along
    Array<Node> other;
    other = nodes;
    other[0].name.data[0] = 'X';
    EXPECT_STREQ(nodes[0].name.c_str(), "Wing");
    EXPECT_NE(other[1].indices.data, nodes[1].indices.data);
    nodes.clear();
    EXPECT_STREQ(other[2].name.c_str(), "Tail");
    EXPECT_EQ(other[2].indices[1], 9u);

    // Pushing one of the array's own elements while it grows.
    Array<String> self;
    self.push(String("first"));
    for (int i = 0; i < 6; i++) self.push(self[0]);
    EXPECT_STREQ(self[6].c_str(), "first");
  }
  EXPECT_EQ(MemoryObjectCount, before);
}

TEST(Array, EraseClosesTheGapAndIgnoresIndicesPastTheEnd) {
  Array<uint32_t> a;
  for (uint32_t i = 0; i < 5; i++) a.push(i);
  a.erase(1);
  a.erase(4);
  ASSERT_EQ(a.count, 4u);
  EXPECT_EQ(a[1], 2u);
  EXPECT_EQ(a[3], 4u);
}

}  // namespace
