#include "subdiv/add_boundary.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/subdiv/face_tables.h"
#include "tests/support/committed_tables.h"

namespace cagewarp {
namespace {

using testing::faces::cellColumns;
using Columns = std::vector<std::vector<int>>;

Columns columnsOf(const IntArray& cells) {
  Columns columns;
  for (int c = 0; c < cells.cols(); ++c)
    columns.emplace_back(cells.column(c), cells.column(c) + cells.rows());
  return columns;
}

Mesh meshWithVertices(int n) {
  Mesh mesh(3);
  mesh.vertices = Matrix(3, n);
  return mesh;
}

struct Boundary {
  Columns lines;
  Columns triangles;
  Columns quads;
};

Boundary boundaryOf(Mesh& mesh) {
  const int points = mesh.cells[0].cols();
  const Status status = addBoundary(mesh, testing::faces::faceListTables());
  EXPECT_TRUE(status.ok) << status.message;
  EXPECT_EQ(mesh.cells[0].cols(), points);
  return {columnsOf(mesh.cells[1]), columnsOf(mesh.cells[2]), columnsOf(mesh.cells[3])};
}

TEST(AddBoundary, SingleVolumeCells) {
  Mesh tet = meshWithVertices(4);
  tet.cells[4] = cellColumns(4, {0, 1, 2, 3});
  Boundary b = boundaryOf(tet);
  EXPECT_EQ(b.triangles, (Columns{{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}}));
  EXPECT_TRUE(b.lines.empty());
  EXPECT_TRUE(b.quads.empty());

  Mesh hex = meshWithVertices(8);
  hex.cells[7] = cellColumns(8, {0, 1, 2, 3, 4, 5, 6, 7});
  b = boundaryOf(hex);
  EXPECT_EQ(
      b.quads,
      (Columns{
          {0, 3, 2, 1}, {0, 1, 5, 4}, {0, 4, 7, 3}, {1, 2, 6, 5}, {2, 3, 7, 6}, {4, 5, 6, 7}}));
  EXPECT_TRUE(b.triangles.empty());

  Mesh prism = meshWithVertices(6);
  prism.cells[6] = cellColumns(6, {0, 1, 2, 3, 4, 5});
  b = boundaryOf(prism);
  EXPECT_EQ(b.triangles, (Columns{{0, 2, 1}, {3, 4, 5}}));
  EXPECT_EQ(b.quads, (Columns{{0, 1, 4, 3}, {0, 3, 5, 2}, {1, 2, 5, 4}}));
  EXPECT_TRUE(b.lines.empty());

  Mesh octahedron = meshWithVertices(6);
  octahedron.cells[5] = cellColumns(6, {0, 1, 2, 3, 4, 5});
  b = boundaryOf(octahedron);
  EXPECT_EQ(
      b.triangles,
      (Columns{
          {0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 1}, {1, 5, 2}, {1, 4, 5}, {2, 5, 3}, {3, 5, 4}}));
  EXPECT_TRUE(b.lines.empty());
  EXPECT_TRUE(b.quads.empty());
}

TEST(AddBoundary, SharedFacesAndEdgesCancel) {
  Mesh tets = meshWithVertices(5);
  tets.cells[4] = cellColumns(4, {0, 1, 2, 3, 0, 2, 1, 4});
  Boundary b = boundaryOf(tets);
  EXPECT_EQ(b.triangles,
            (Columns{{0, 1, 3}, {0, 3, 2}, {0, 2, 4}, {0, 4, 1}, {1, 2, 3}, {1, 4, 2}}));

  // Two triangles on the edge 0-2; boundary edges come out smaller index first.
  Mesh surface = meshWithVertices(4);
  surface.cells[2] = cellColumns(3, {0, 1, 2, 0, 2, 3});
  b = boundaryOf(surface);
  EXPECT_EQ(b.lines, (Columns{{0, 1}, {0, 3}, {1, 2}, {2, 3}}));
  EXPECT_TRUE(b.triangles.size() == 2 && b.quads.empty());

  // An edge shared by a quad and a triangle cancels whatever direction each runs along it.
  Mesh mixed = meshWithVertices(5);
  mixed.cells[3] = cellColumns(4, {3, 2, 1, 0});
  mixed.cells[2] = cellColumns(3, {4, 2, 3});
  b = boundaryOf(mixed);
  EXPECT_EQ(b.lines, (Columns{{0, 1}, {0, 3}, {1, 2}, {2, 4}, {3, 4}}));
}

TEST(AddBoundary, InconsistentOrientationLeavesTheFaceOnce) {
  Mesh tets = meshWithVertices(5);
  tets.cells[4] = cellColumns(4, {0, 1, 2, 3, 0, 1, 2, 4});
  Boundary b = boundaryOf(tets);
  EXPECT_EQ(b.triangles,
            (Columns{{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {0, 1, 4}, {0, 4, 2}, {1, 2, 3}, {1, 2, 4}}));
}

// A hexahedron whose bottom (0, 3, 2, 1) may be covered by tetrahedra below it.
Mesh hexWithTets(std::initializer_list<int> tetCorners) {
  Mesh mesh = meshWithVertices(10);
  mesh.cells[7] = cellColumns(8, {0, 1, 2, 3, 4, 5, 6, 7});
  mesh.cells[4] = cellColumns(4, tetCorners);
  return mesh;
}

const Columns otherHexQuads = {
    {0, 1, 5, 4}, {0, 4, 7, 3}, {1, 2, 6, 5}, {2, 3, 7, 6}, {4, 5, 6, 7}};

TEST(AddBoundary, QuadCoveredByTwoTrianglesVanishes) {
  Mesh mesh = hexWithTets({0, 2, 1, 8, 0, 3, 2, 9});
  Boundary b = boundaryOf(mesh);
  EXPECT_EQ(b.quads, otherHexQuads);
  EXPECT_EQ(b.triangles,
            (Columns{{0, 2, 8}, {0, 8, 1}, {0, 3, 9}, {0, 9, 2}, {1, 8, 2}, {2, 9, 3}}));
}

TEST(AddBoundary, QuadCoveredInPartLeavesItsOtherHalf) {
  // The triangle on (0, 1, 2): the partner (0, 3, 2) enters the walked bucket at its end.
  Mesh mesh = hexWithTets({0, 2, 1, 8});
  Boundary b = boundaryOf(mesh);
  EXPECT_EQ(b.quads, otherHexQuads);
  EXPECT_EQ(b.triangles, (Columns{{0, 2, 8}, {0, 8, 1}, {0, 3, 2}, {1, 8, 2}}));

  // The triangle on (0, 2, 3): the partner keeps the quad's order, (2, 1, 0), and its bucket.
  mesh = hexWithTets({0, 3, 2, 9});
  b = boundaryOf(mesh);
  EXPECT_EQ(b.quads, otherHexQuads);
  EXPECT_EQ(b.triangles, (Columns{{0, 3, 9}, {0, 9, 2}, {2, 9, 3}, {2, 1, 0}}));

  // The triangle on (1, 2, 3), across the other diagonal: the partner is (1, 0, 3).
  mesh = hexWithTets({1, 3, 2, 8});
  b = boundaryOf(mesh);
  EXPECT_EQ(b.quads, otherHexQuads);
  EXPECT_EQ(b.triangles, (Columns{{1, 3, 8}, {1, 8, 2}, {1, 0, 3}, {2, 8, 3}}));
}

TEST(AddBoundary, RunningTwiceAppendsTheSurfaceAgain) {
  Mesh mesh = meshWithVertices(4);
  mesh.cells[4] = cellColumns(4, {0, 1, 2, 3});
  const Columns surface = boundaryOf(mesh).triangles;
  Boundary b = boundaryOf(mesh);
  ASSERT_EQ(b.triangles.size(), 8u);
  EXPECT_EQ(Columns(b.triangles.begin(), b.triangles.begin() + 4), surface);
  EXPECT_EQ(Columns(b.triangles.begin() + 4, b.triangles.end()), surface);
  EXPECT_TRUE(b.lines.empty());
}

TEST(AddBoundary, MeshWithoutFacesIsUnchanged) {
  Mesh mesh = meshWithVertices(3);
  mesh.cells[0] = cellColumns(1, {2});
  mesh.cells[1] = cellColumns(2, {0, 1});
  const std::string before = mesh.summary();
  Boundary b = boundaryOf(mesh);
  EXPECT_EQ(mesh.summary(), before);
  EXPECT_EQ(b.lines, (Columns{{0, 1}}));

  Mesh empty = meshWithVertices(0);
  boundaryOf(empty);
  EXPECT_EQ(empty.summary(), Mesh(3).summary());
}

TEST(AddBoundary, VertexIndicesBeyondTheMeshOnlyNameFaces) {
  Mesh mesh = meshWithVertices(4);
  mesh.cells[4] = cellColumns(4, {0, 1, 2, 99});
  EXPECT_EQ(boundaryOf(mesh).triangles, (Columns{{0, 2, 1}, {0, 1, 99}, {0, 99, 2}, {1, 2, 99}}));
}

TEST(AddBoundary, UnusableFaceListFailsAndChangesNothing) {
  Mesh mesh = meshWithVertices(4);
  mesh.cells[4] = cellColumns(4, {0, 1, 2, 3});
  LookupTables tables = testing::faces::faceListTables();
  tables.zipTables[2][5] = 4;  // not a corner of a tetrahedron
  checkTables(tables);
  Status status = addBoundary(mesh, tables);
  EXPECT_FALSE(status.ok);
  EXPECT_EQ(status.message.rfind(testing::tableFile("mesh_zip2.tab") + ": ", 0), 0u)
      << status.message;
  EXPECT_EQ(mesh.cells[2].cols(), 0);

  tables.zipTables[2] = IntMatrix();
  checkTables(tables);
  status = addBoundary(mesh, tables);
  EXPECT_EQ(status.message.rfind(testing::tableFile("mesh_zip2.tab") + ": ", 0), 0u)
      << status.message;

  // A face list is only needed by the cells that use it.
  tables = testing::faces::faceListTables();
  tables.zipTables[5] = IntMatrix();
  checkTables(tables);
  EXPECT_TRUE(addBoundary(mesh, tables).ok);
  EXPECT_EQ(mesh.cells[2].cols(), 4);
}

}  // namespace
}  // namespace cagewarp
