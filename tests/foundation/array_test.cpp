#include "foundation/array.h"

#include <gtest/gtest.h>

#include "foundation/str.h"

namespace {

struct Vertex72 {
  double v[9];
};

// An element owning a String and a nested array, like the model records.
struct Node {
  String name;
  Array<uint32_t> indices;
};

}  // namespace

TARN_BYTEWISE_MOVABLE(Node);
TARN_BYTEWISE_MOVABLE(Array<uint32_t>);

namespace {

TEST(Array, CapacityIsPowerOfTwoInBytes) {
  Array<Vertex72> vertices;
  uint32_t seen[4] = {0, 0, 0, 0};
  int k = 0;
  for (uint32_t i = 0; i < 14; i++) {
    uint32_t before = vertices.capacity;
    vertices.push(Vertex72{{double(i)}});
    if (vertices.capacity != before) seen[k++] = vertices.count;
  }
  // Room for 1, 3, 7, 14 vertices: the capacity changes on pushes 1, 2, 4, 8.
  EXPECT_EQ(seen[0], 1u);
  EXPECT_EQ(seen[1], 2u);
  EXPECT_EQ(seen[2], 4u);
  EXPECT_EQ(seen[3], 8u);
  for (uint32_t i = 0; i < 14; i++) EXPECT_EQ(vertices[i].v[0], double(i));

  Array<uint32_t> index;
  index.resize(10);
  EXPECT_EQ(index.count, 10u);
  EXPECT_EQ(index.capacity, 64u);
  index.resize(3);  // shrinking keeps the block
  EXPECT_EQ(index.capacity, 64u);
}

TEST(Array, EraseAndAssignOne) {
  Array<uint32_t> a;
  for (uint32_t i = 0; i < 5; i++) a.push(i);
  a.erase(1);
  ASSERT_EQ(a.count, 4u);
  EXPECT_EQ(a[1], 2u);
  EXPECT_EQ(a[3], 4u);
  a.erase(4);  // out of range: nothing
  EXPECT_EQ(a.count, 4u);

  struct Rec24 {
    double a, b, c;
  };
  Array<Rec24> one;
  one.assign_one({1, 2, 3});
  one.assign_one({4, 5, 6});
  EXPECT_EQ(one.count, 1u);
  EXPECT_EQ(one[0].a, 4.0);
}

TEST(Array, CopiesAreDeepForStringsAndNestedArrays) {
  uint32_t before = MemoryObjectCount;
  {
    Array<String> names;
    names.push(String("alpha"));
    names.push(String("beta"));
    names.push(String("gamma"));
    EXPECT_EQ(MemoryObjectCount, before + 3);
    Array<String> copy(names);
    copy[0].data[0] = 'A';
    EXPECT_STREQ(names[0].c_str(), "alpha");
    EXPECT_STREQ(copy[2].c_str(), "gamma");
    EXPECT_EQ(MemoryObjectCount, before + 6);

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
    EXPECT_STREQ(other[0].name.c_str(), "Wing");
    EXPECT_NE(other[1].indices.data, nodes[1].indices.data);
    EXPECT_EQ(other[2].indices[1], 9u);
    nodes.clear();
    EXPECT_STREQ(other[1].name.c_str(), "Tail");

    Array<Array<uint32_t>> nested;
    nested.push(n.indices);
    Array<Array<uint32_t>> nestedCopy(nested);
    EXPECT_NE(nestedCopy[0].data, nested[0].data);
    EXPECT_EQ(nestedCopy[0][0], 7u);

    // Pushing one of the array's own elements while it grows.
    Array<String> self;
    self.push(String("first"));
    for (int i = 0; i < 6; i++) self.push(self[0]);
    EXPECT_EQ(self.count, 7u);
    EXPECT_STREQ(self[6].c_str(), "first");

  }
  EXPECT_EQ(MemoryObjectCount, before);
}

}  // namespace
