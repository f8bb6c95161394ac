#include "mesh/mesh.h"

#include <gtest/gtest.h>

namespace cagewarp {
namespace {

TEST(Mesh, EmptyMeshHasShapedCellArraysAndZeroSummary) {
  const Mesh mesh;
  EXPECT_EQ(mesh.summary(), "[0,0|2D:0,0|3D:0,0,0,0]::0x0:xyz@0");
  for (int t = 0; t < cellTypeCount; ++t) {
    EXPECT_EQ(mesh.cells[t].rows(), verticesPerCell[t]) << "type " << t;
    EXPECT_EQ(mesh.cells[t].cols(), 0) << "type " << t;
  }
  EXPECT_EQ(Mesh(3).summary(), "[0,0|2D:0,0|3D:0,0,0,0]::3x0:xyz@0");
}

TEST(Mesh, SummaryCountsCellsPerTypeAndVertexShape) {
  Mesh mesh;
  IntArray hexahedron({8, 1}, 0);
  for (int i = 0; i < 8; ++i) hexahedron[i] = i;
  appendCells(mesh, hexahedronType, hexahedron);
  mesh.vertices = Matrix(3, 8);
  EXPECT_EQ(mesh.summary(), "[0,0|2D:0,0|3D:0,0,0,1]::3x8:xyz@0");

  appendCells(mesh, lineType, IntArray({2, 3}, 0));
  appendCells(mesh, quadType, IntArray({4, 2}, 0));
  mesh.xyzRow = 2;
  EXPECT_EQ(mesh.summary(), "[0,3|2D:0,2|3D:0,0,0,1]::3x8:xyz@2");
}

TEST(Mesh, AppendCellsAddsColumnsInOrder) {
  Mesh mesh;
  IntArray first({3, 1}, 0);
  IntArray second({3, 2}, 0);
  for (int i = 0; i < 3; ++i) first[i] = i;
  for (int i = 0; i < 6; ++i) second[i] = 10 + i;
  appendCells(mesh, triangleType, first);
  appendCells(mesh, triangleType, second);
  ASSERT_EQ(mesh.cells[triangleType].cols(), 3);
  EXPECT_EQ(mesh.cells[triangleType].at(2, 0), 2);
  EXPECT_EQ(mesh.cells[triangleType].at(0, 1), 10);
  EXPECT_EQ(mesh.cells[triangleType].at(2, 2), 15);

  const IntArray before = mesh.cells[triangleType];
  appendCells(mesh, triangleType, IntArray({3, 0}, 0));
  EXPECT_EQ(mesh.cells[triangleType], before);
}

TEST(Mesh, CopiesAreEqualAndIndependent) {
  Mesh mesh(3);
  IntArray tetrahedron({4, 1}, 0);
  for (int i = 0; i < 4; ++i) tetrahedron[i] = i;
  appendCells(mesh, tetrahedronType, tetrahedron);
  mesh.vertices = Matrix(3, 4, "fill");
  mesh.xyzRow = 1;

  Mesh copy = mesh;
  EXPECT_EQ(copy.summary(), mesh.summary());
  for (int t = 0; t < cellTypeCount; ++t) EXPECT_EQ(copy.cells[t], mesh.cells[t]);
  EXPECT_EQ(copy.vertices, mesh.vertices);

  copy.vertices(0, 0) = 42.0f;
  copy.cells[tetrahedronType][0] = 3;
  EXPECT_EQ(mesh.vertices(0, 0), 0.0f);
  EXPECT_EQ(mesh.cells[tetrahedronType][0], 0);
}

}  // namespace
}  // namespace cagewarp
