#include "relate/cell_coordinates.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "tests/relate/location_fixture.h"
#include "tests/support/committed_tables.h"
#include "tools/scene.h"

namespace cagewarp {
namespace {

using testing::centroid;
using testing::distorted;
using testing::expectLinearPrecision;
using testing::facesOf;
using testing::locationTables;
using testing::Point;
using testing::referenceCell;
using testing::singleCell;

TEST(CellCoordinates, ReproduceLinearFunctionsInPlanarCells) {
  const LookupTables tables = locationTables();
  for (int t = tetrahedronType; t <= hexahedronType; ++t) {
    expectLinearPrecision(t, referenceCell(t), tables);
    expectLinearPrecision(t, distorted(referenceCell(t)), tables);
  }
}

TEST(CellCoordinates, OutsidePointsAreOutside) {
  const LookupTables tables = locationTables();
  for (int t = tetrahedronType; t <= hexahedronType; ++t) {
    for (const bool skewed : {false, true}) {
      const auto corners = skewed ? distorted(referenceCell(t)) : referenceCell(t);
      const Mesh mesh = singleCell(t, corners);
      const CellFaceTables faces = facesOf(tables, t);
      const Point c = centroid(corners);
      for (const Point& corner : corners) {
        Point beyond;
        for (int d = 0; d < 3; ++d) beyond[d] = c[d] + 1.5f * (corner[d] - c[d]);
        EXPECT_FALSE(cellCoordinates(mesh, faces, 0, beyond.data()).inside) << "type " << t;
      }
      // Just beyond the middle of every face.
      auto expectOutsideBeyond = [&](const std::vector<int>& face) {
        std::vector<Point> faceCorners;
        for (int v : face) faceCorners.push_back(corners[v]);
        const Point f = centroid(faceCorners);
        Point beyond;
        for (int d = 0; d < 3; ++d) beyond[d] = c[d] + 1.05f * (f[d] - c[d]);
        EXPECT_FALSE(cellCoordinates(mesh, faces, 0, beyond.data()).inside) << "type " << t;
      };
      for (int f = 0; f < faces.triangleCount; ++f) {
        const int* v = faces.triangles->column(f);
        expectOutsideBeyond({v[0], v[1], v[2]});
      }
      for (int q = 0; q < faces.quadCount; ++q) {
        const int* v = faces.quads->column(q);
        expectOutsideBeyond({v[0], v[1], v[2], v[3]});
      }
    }
  }
  // Inside the bounding box but outside the tetrahedron; on a face plane beyond the face.
  const Mesh tet = singleCell(tetrahedronType, referenceCell(tetrahedronType));
  const CellFaceTables tetFaces = facesOf(tables, tetrahedronType);
  for (const Point& p : {Point{0.4f, 0.4f, 0.4f}, Point{0.6f, 0.6f, 0}, Point{-0.5f, 0.5f, 0}})
    EXPECT_FALSE(cellCoordinates(tet, tetFaces, 0, p.data()).inside) << p[0] << " " << p[1];
  const Mesh cube = singleCell(hexahedronType, referenceCell(hexahedronType));
  const Point besideCube{2, 0.5f, 0};
  EXPECT_FALSE(cellCoordinates(cube, facesOf(tables, hexahedronType), 0, besideCube.data()).inside);
}

// Points on the boundary: every corner, the midpoint of every face edge and a point inside
// every face, all exactly on the face planes of the reference cells.
TEST(CellCoordinates, BoundaryPointsTakeTheCoordinatesOfAFaceTriangle) {
  const LookupTables tables = locationTables();
  for (int t = tetrahedronType; t <= hexahedronType; ++t) {
    const std::vector<Point> corners = referenceCell(t);
    const Mesh mesh = singleCell(t, corners);
    const CellFaceTables faces = facesOf(tables, t);
    std::vector<Point> points = corners;
    for (const auto& face : testing::faceList(faces)) {
      const int size = static_cast<int>(face.size());
      const float weights[4] = {0.125f, 0.125f, 0.25f, 0.5f};
      Point inFace{};
      for (int v = 0; v < size; ++v) {
        const Point& a = corners[face[v]];
        const Point& b = corners[face[(v + 1) % size]];
        points.push_back({0.5f * (a[0] + b[0]), 0.5f * (a[1] + b[1]), 0.5f * (a[2] + b[2])});
        for (int d = 0; d < 3; ++d) inFace[d] += weights[v + 4 - size] * a[d];
      }
      if (size == 3)
        for (int d = 0; d < 3; ++d) inFace[d] += 0.125f * corners[face[0]][d];
      points.push_back(inFace);
    }
    for (const Point& p : points) {
      const CellCoordinates result = cellCoordinates(mesh, faces, 0, p.data());
      ASSERT_TRUE(result.inside) << "type " << t << " at " << p[0] << " " << p[1] << " " << p[2];
      EXPECT_LE(result.lambda.find().count(), 3);
      double sum = 0;
      Point reproduced{};
      for (size_t i = 0; i < corners.size(); ++i) {
        EXPECT_GE(result.lambda[int(i)], 0.0f);
        sum += result.lambda[int(i)];
        for (int d = 0; d < 3; ++d) reproduced[d] += result.lambda[int(i)] * corners[i][d];
      }
      EXPECT_NEAR(sum, 1.0, 1e-6);
      for (int d = 0; d < 3; ++d) EXPECT_NEAR(reproduced[d], p[d], 1e-6) << "type " << t;
    }
  }
  // The cube's bottom (0, 3, 2, 1) is flat and cut along 3-1: the point lies in (1, 0, 3).
  const Mesh cube = singleCell(hexahedronType, referenceCell(hexahedronType));
  const Point p{0.25f, 0.25f, 0};
  const CellCoordinates result =
      cellCoordinates(cube, facesOf(tables, hexahedronType), 0, p.data());
  const float expected[8] = {0.5f, 0.25f, 0, 0.25f, 0, 0, 0, 0};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(result.lambda[i], expected[i]) << i;
}

// Cells whose quad faces are bent: a warped hexahedron, one with a single corner pulled out by
// 0.1, and a prism with one bent quad. Their coordinates still reproduce linear functions.
TEST(CellCoordinates, ReproduceLinearFunctionsInBentCells) {
  std::vector<Point> warped = referenceCell(hexahedronType);
  warped[0] = {-0.1f, 0.05f, -0.2f};
  warped[6] = {1.25f, 1.2f, 1.3f};
  warped[3] = {0.1f, 1.1f, 0.15f};
  std::vector<Point> pulled = referenceCell(hexahedronType);
  pulled[6] = {1.1f, 1.1f, 1.1f};
  std::vector<Point> prism = distorted(referenceCell(prismType));
  prism[4][2] += 0.15f;
  const LookupTables tables = locationTables();
  expectLinearPrecision(hexahedronType, warped, tables, 1e-5);
  expectLinearPrecision(hexahedronType, pulled, tables, 1e-5);
  expectLinearPrecision(prismType, prism, tables, 1e-5);
}

// Prepared cells, kept for every cell or only the last few (one slot: every other cell evicts),
// give bit for bit the coordinates computed from scratch, whatever order the cells come in.
TEST(PreparedCells, KeptOrRecentGiveTheCoordinatesOfTheCell) {
  const LookupTables tables = locationTables();
  const Mesh cage = scene::sceneMesh(scene::warpedHexCage(3));
  const CellFaceTables faces = facesOf(tables, hexahedronType);
  const scene::SceneMesh points = scene::scatteredPoints(60, 7);
  PreparedCells kept(cage, faces);
  PreparedCells oneSlot(cage, faces, 1);
  PreparedCells fewSlots(cage, faces, 5);
  int inside = 0;
  for (const auto& point : points.vertices) {
    const float p[3] = {point.x, point.y, point.z};
    for (int c = 0; c < cage.cellCount(hexahedronType); ++c) {
      const CellCoordinates expected = cellCoordinates(cage, faces, c, p);
      inside += expected.inside;
      for (PreparedCells* cells : {&kept, &oneSlot, &fewSlots}) {
        float lambda[8] = {};
        ASSERT_EQ(cells->coordinates(c, p, lambda), expected.inside) << c;
        for (int i = 0; expected.inside && i < 8; ++i)
          ASSERT_EQ(std::bit_cast<uint32_t>(lambda[i]), std::bit_cast<uint32_t>(expected.lambda[i]))
              << c << " " << i;
      }
    }
  }
  EXPECT_GT(inside, 40);
}

TEST(SplitQuadFace, CutsAlongTheDiagonalThatKeepsTheCellConvex) {
  const LookupTables tables = locationTables();
  const CellFaceTables faces = facesOf(tables, hexahedronType);
  const int top = 1;  // quad (4, 5, 6, 7)
  std::vector<Point> corners = referenceCell(hexahedronType);

  corners[6][2] = 1.5f;  // a ridge along 4-6
  QuadSplit split = splitQuadFace(singleCell(hexahedronType, corners), faces, 0, top);
  EXPECT_EQ(split.cornerSlots, (std::array<int, 4>{0, 0, 1, 1}));
  EXPECT_EQ(split.anchor, 4);
  const float s = 1.0f / std::sqrt(1.25f);
  EXPECT_NEAR(split.normals[0][1], -0.5f * s, 1e-6);
  EXPECT_NEAR(split.normals[0][2], s, 1e-6);
  EXPECT_NEAR(split.normals[1][0], -0.5f * s, 1e-6);
  EXPECT_NEAR(split.normals[1][2], s, 1e-6);

  corners[6][2] = 0.5f;  // a valley along 4-6: the ridge runs along 5-7
  split = splitQuadFace(singleCell(hexahedronType, corners), faces, 0, top);
  EXPECT_EQ(split.cornerSlots, (std::array<int, 4>{0, 1, 1, 0}));
  EXPECT_EQ(split.anchor, 5);
  EXPECT_EQ(split.normals[0][2], 1.0f);
  const float r = 1.0f / std::sqrt(1.5f);
  EXPECT_NEAR(split.normals[1][0], 0.5f * r, 1e-6);
  EXPECT_NEAR(split.normals[1][2], r, 1e-6);

  corners[6][2] = 1.0f;  // planar: d = 0 takes the second cut
  split = splitQuadFace(singleCell(hexahedronType, corners), faces, 0, top);
  EXPECT_EQ(split.cornerSlots, (std::array<int, 4>{0, 1, 1, 0}));

  corners[7][0] = std::numeric_limits<float>::quiet_NaN();  // d is NaN: the first cut
  split = splitQuadFace(singleCell(hexahedronType, corners), faces, 0, top);
  EXPECT_EQ(split.cornerSlots, (std::array<int, 4>{0, 0, 1, 1}));
}

TEST(CellFaceTables, RejectTablesThatDoNotFitTheType) {
  const LookupTables good = locationTables();
  for (int t = tetrahedronType; t <= hexahedronType; ++t)
    EXPECT_TRUE(cellFaceTables(good, t).status.ok) << t;

  struct Case {
    std::string file;
    int type;
    void (*spoil)(LookupTables&);
  };
  const Case cases[] = {
      {testing::tableFile("mesh_nrm4.tab"), 4,
       [](LookupTables& l) { l.nrmTables[4] = IntMatrix(); }},
      {testing::tableFile("mesh_nrm4.tab"), 4, [](LookupTables& l) { l.nrmTables[4][5] = 4; }},
      {testing::tableFile("mesh_nrm5.tab"), 5, [](LookupTables& l) { l.nrmTables[5][0] = -1; }},
      {testing::tableFile("mesh_nrm4.tab"), 4,
       [](LookupTables& l) { l.nrmTables[4] = IntMatrix(4, 3); }},
      {testing::tableFile("mesh_nrm8.tab"), 6,
       [](LookupTables& l) { l.nrmTables[8] = IntMatrix(3, 3); }},
      {testing::tableFile("mesh_nrm9.tab"), 7, [](LookupTables& l) { l.nrmTables[9][23] = 8; }},
      {testing::tableFile("mesh_nrm7.tab"), 7,
       [](LookupTables& l) { l.nrmTables[7] = IntMatrix(3, 1); }},
      {testing::tableFile("mesh_bar7.tab"), 7, [](LookupTables& l) { l.barTables[7][5] = 24; }},
      {testing::tableFile("mesh_bar6.tab"), 6,
       [](LookupTables& l) { l.barTables[6] = IntMatrix(3, 5); }},
      {testing::tableFile("mesh_bar5.tab"), 5,
       [](LookupTables& l) { l.barTables[5] = IntMatrix(7, 6); }},
      {testing::tableFile("mesh_bar4.tab"), 4,
       [](LookupTables& l) { l.barTables[4] = IntMatrix(); }},
      {testing::tableFile("mesh_brn6.tab"), 6,
       [](LookupTables& l) { l.brnTables[6] = IntMatrix(IntArray({1}, 0)); }},
      {testing::tableFile("mesh_brn6.tab"), 6, [](LookupTables& l) { l.brnTables[6][1] = 8; }},
      {testing::tableFile("mesh_brn7.tab"), 7,
       [](LookupTables& l) { l.brnTables[7] = IntMatrix(); }},
  };
  for (const Case& c : cases) {
    LookupTables tables = locationTables();
    c.spoil(tables);
    checkTables(tables);
    const Status status = cellFaceTables(tables, c.type).status;
    EXPECT_FALSE(status.ok) << c.file;
    EXPECT_EQ(status.message.rfind(std::string(c.file) + ": ", 0), 0u) << status.message;
  }
}

}  // namespace
}  // namespace cagewarp
