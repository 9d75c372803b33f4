#include "foundation/array.h"

#include <gtest/gtest.h>

#include "foundation/str.h"

namespace {

struct Face104 {
  uint8_t bytes[104];
};
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

namespace {

// The storage is the smallest power of two in bytes that holds what is needed.
TEST(Array, CapacityIsThePowerOfTwoInBytesAboveTheElements) {
  Array<Face104> faces;
  faces.push(Face104{});
  EXPECT_EQ(faces.capacity, 128u);
  faces.push(Face104{});
  EXPECT_EQ(faces.capacity, 256u);
  // 72-byte vertices: room for 1, 3, 7, 14, so the storage grows on pushes 1, 2, 4, 8.
  Array<Vertex72> vertices;
  const uint32_t grows[][2] = {{1, 128}, {2, 256}, {4, 512}, {8, 1024}};  // count after the push, bytes
  int k = 0;
  for (uint32_t i = 0; i < 14; i++) {
    uint32_t before = vertices.capacity;
    vertices.push(Vertex72{{double(i)}});
    if (vertices.capacity == before) continue;
    ASSERT_LT(k, 4) << "grew on push " << vertices.count;
    EXPECT_EQ(vertices.count, grows[k][0]);
    EXPECT_EQ(vertices.capacity, grows[k++][1]);
  }
  EXPECT_EQ(k, 4);
  EXPECT_EQ(vertices[13].v[0], 13.0) << "moved bytewise on every growth";
  // Reserving by resize; shrinking keeps the storage.
  Array<uint32_t> index;
  index.resize(10);
  EXPECT_EQ(index.capacity, 64u);
  Array<uint32_t> exact;
  exact.resize(16);
  EXPECT_EQ(exact.capacity, 64u) << "an exact fit is not doubled";
  index.resize(3);
  EXPECT_EQ(index.count, 3u);
  EXPECT_EQ(index.capacity, 64u);
  // A copy holds exactly its elements' power of two; a copy of nothing owns nothing.
  Array<Vertex72> copy(vertices);
  EXPECT_EQ(copy.capacity, 1024u);
  Array<uint32_t> three(index), none, noneCopy(none);
  EXPECT_EQ(three.capacity, 16u);
  EXPECT_EQ(noneCopy.capacity, 0u);
  EXPECT_EQ(noneCopy.data, nullptr);
  vertices.clear();
  EXPECT_TRUE(vertices.count == 0 && vertices.capacity == 0);
}

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
    Array<Node> built(other);  // copy construction is as deep
    EXPECT_NE(built[0].name.data, other[0].name.data);
    EXPECT_NE(built[2].indices.data, other[2].indices.data);
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
