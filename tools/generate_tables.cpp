// Writes every lookup table file that cagewarp reads from its table directory.
//
// Usage: generate_tables <output-dir>
//
// Each table is a binary array file: int32 n, n int32 sizes, then the elements in storage order
// (lower dimensions first), all little-endian; int32 elements for index tables, float32 for
// weight tables. The output depends on nothing but this source, so every run writes the same
// bytes.
//
// Local vertex numbering (shared by every table and by the cage files):
//   point        0
//   line         0, 1
//   triangle     0, 1, 2 counter-clockwise seen from outside
//   quad         0, 1, 2, 3 counter-clockwise seen from outside
//   tetrahedron  0, 1, 2, 3; triangle 0, 1, 2 turns (right-hand rule) towards vertex 3, so its
//                outward listing is (0, 2, 1)
//   octahedron   0 and 5 the two apexes; 1, 2, 3, 4 the equator, counter-clockwise seen from 0
//   prism        0, 1, 2 the bottom triangle counter-clockwise seen from above; 3, 4, 5 above
//                0, 1, 2
//   hexahedron   0, 1, 2, 3 the bottom face counter-clockwise seen from above; 4, 5, 6, 7 above
//                0, 1, 2, 3
//
// Local node numbering of a refined cell: the corners keep rows 0 .. k-1; the new nodes follow
// in the order the node tables define them (edges, then quad middles, then the octahedron's
// centre of six, then the hexahedron's centre of eight). mAB is the middle of edge A-B.
//   line         2 = m01
//   triangle     3 = m01, 4 = m12, 5 = m20
//   quad         4 = m01, 5 = m12, 6 = m23, 7 = m30, 8 = middle of the quad
//   tetrahedron  4 = m01, 5 = m02, 6 = m03, 7 = m12, 8 = m13, 9 = m23
//   octahedron   6 = m01, 7 = m02, 8 = m03, 9 = m04, 10 = m12, 11 = m23, 12 = m34, 13 = m41,
//                14 = m51, 15 = m52, 16 = m53, 17 = m54, 18 = centre
//   prism        6 = m01, 7 = m12, 8 = m20, 9 = m34, 10 = m45, 11 = m53, 12 = m03, 13 = m14,
//                14 = m25, 15 = middle of quad (0,1,4,3), 16 = of (1,2,5,4), 17 = of (2,0,3,5)
//   hexahedron   8 = m01, 9 = m12, 10 = m23, 11 = m30, 12 = m45, 13 = m56, 14 = m67, 15 = m74,
//                16 = m04, 17 = m15, 18 = m26, 19 = m37, 20 = middle of the bottom (0,3,2,1),
//                21 = top (4,5,6,7), 22 = (0,1,5,4), 23 = (1,2,6,5), 24 = (2,3,7,6),
//                25 = (3,0,4,7), 26 = centre

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "array/nd_array.h"
#include "formats/array_file.h"
#include "mesh/cell_type.h"
#include "mesh/face_family.h"
#include "mesh/lookup_tables.h"

namespace {

using cagewarp::hexahedronType;
using cagewarp::prismType;
using cagewarp::quadFaceTable;
using cagewarp::tableFileName;
using cagewarp::verticesPerCell;
using Polygon = std::vector<int>;
using PolygonList = std::vector<Polygon>;

// A table about to be written: its sizes and its elements in storage order.
template <typename T>
struct Table {
  std::vector<int32_t> sizes;
  std::vector<T> values;
};

using IntTable = Table<int32_t>;
using FloatTable = Table<float>;

// A rows x columns index table whose columns are the given polygons (each must have `rows`
// entries; a list with no polygons gives a rows x 0 table).
IntTable columnTable(int rows, const PolygonList& columns) {
  IntTable table{{rows, static_cast<int32_t>(columns.size())}, {}};
  for (const Polygon& column : columns) {
    if (static_cast<int>(column.size()) != rows) {
      std::fprintf(stderr, "generate_tables: a column has %zu entries, not %d\n", column.size(),
                   rows);
      std::exit(1);
    }
    table.values.insert(table.values.end(), column.begin(), column.end());
  }
  return table;
}

IntTable flatTable(const std::vector<int32_t>& values) {
  return IntTable{{static_cast<int32_t>(values.size())}, values};
}

class TableWriter {
 public:
  explicit TableWriter(std::filesystem::path dir) : dir_(std::move(dir)) {}

  template <typename T>
  void write(const std::string& name, const Table<T>& table) {
    int64_t count = 1;
    for (int32_t s : table.sizes) count *= s;
    if (count != static_cast<int64_t>(table.values.size())) fail(name, "shape and data disagree");
    cagewarp::NdArray<T> array(static_cast<int>(table.sizes.size()), table.sizes.data(), T{});
    std::copy(table.values.begin(), table.values.end(), array.data());
    if (!cagewarp::saveBinaryArray(array, (dir_ / name).string()).ok)
      fail(name, "cannot be written");
  }

 private:
  [[noreturn]] void fail(const std::string& name, const char* what) {
    std::fprintf(stderr, "generate_tables: %s: %s\n", (dir_ / name).c_str(), what);
    std::exit(1);
  }

  std::filesystem::path dir_;
};

// ---------------------------------------------------------------------------------------------
// Faces of the volume cells. Every face is listed counter-clockwise seen from outside, so for a
// triangle (A, B, C) the normal (B - A) x (C - A) points out of the cell.

// Face i is the one opposite corner i.
const PolygonList tetrahedronTriangles = {{1, 2, 3}, {0, 3, 2}, {0, 1, 3}, {0, 2, 1}};
// The four faces around apex 0 in equator order, then the four around apex 5.
const PolygonList octahedronTriangles = {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 1},
                                         {5, 2, 1}, {5, 3, 2}, {5, 4, 3}, {5, 1, 4}};
// Bottom, then top.
const PolygonList prismTriangles = {{0, 2, 1}, {3, 4, 5}};
// The side below bottom edge 0-1, 1-2, 2-0. Each starts along a triangle edge, so an even
// position always begins a triangle edge and an odd one an axis edge; the interface pass of a
// smoothing step tells the two kinds of edge apart by that parity.
const PolygonList prismQuads = {{0, 1, 4, 3}, {1, 2, 5, 4}, {2, 0, 3, 5}};
// Bottom, top, then the sides below bottom edges 0-1, 1-2, 2-3, 3-0.
const PolygonList hexahedronQuads = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                     {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
const PolygonList noFaces = {};

// Triangle faces (slots 0 .. F-1) and quad faces (corner j of quad q is slot F + 4q + j) of
// volume type t = 4..7.
const PolygonList& triangleFaces(int t) {
  static const PolygonList* const lists[] = {&tetrahedronTriangles, &octahedronTriangles,
                                             &prismTriangles, &noFaces};
  return *lists[t - 4];
}
const PolygonList& quadFaces(int t) {
  static const PolygonList* const lists[] = {&noFaces, &noFaces, &prismQuads, &hexahedronQuads};
  return *lists[t - 4];
}

int positionIn(const Polygon& face, int v) {
  for (int j = 0; j < static_cast<int>(face.size()); ++j)
    if (face[j] == v) return j;
  return -1;
}

// The face slots around vertex v of type t, counter-clockwise seen from outside the cell at v.
// A face listed (.., p, v, ..) counter-clockwise from outside is followed, in that sense, by the
// face that runs along the same edge the other way, (.., v, p, ..). The walk starts at the
// lowest slot.
std::vector<int32_t> slotsAroundVertex(int t, int v) {
  struct Incident {
    Polygon face;
    int slot;
  };
  std::vector<Incident> incident;
  const PolygonList& triangles = triangleFaces(t);
  const PolygonList& quads = quadFaces(t);
  const int f = static_cast<int>(triangles.size());
  for (int i = 0; i < f; ++i)
    if (positionIn(triangles[i], v) >= 0) incident.push_back({triangles[i], i});
  for (int q = 0; q < static_cast<int>(quads.size()); ++q) {
    const int j = positionIn(quads[q], v);
    if (j >= 0) incident.push_back({quads[q], f + 4 * q + j});
  }
  std::vector<int32_t> slots;
  const Incident* current = &incident.front();
  while (slots.size() < incident.size()) {
    slots.push_back(current->slot);
    const Polygon& face = current->face;
    const int size = static_cast<int>(face.size());
    const int previous = face[(positionIn(face, v) + size - 1) % size];
    for (const Incident& other : incident) {
      const int size2 = static_cast<int>(other.face.size());
      if (other.face[(positionIn(other.face, v) + 1) % size2] == previous) current = &other;
    }
  }
  return slots;
}

// ---------------------------------------------------------------------------------------------
// Point location: the outward faces of each volume type and the faces around each vertex.

// mesh_nrm4..7: 3 x F outward triangles; mesh_nrm8, 9: 4 x Q quads of the prism and the
// hexahedron, counter-clockwise seen from outside.
void writeNormalTables(TableWriter& out) {
  for (int t = 4; t <= 7; ++t) out.write(tableFileName("nrm", t), columnTable(3, triangleFaces(t)));
  out.write(tableFileName("nrm", quadFaceTable(prismType)), columnTable(4, prismQuads));
  out.write(tableFileName("nrm", quadFaceTable(hexahedronType)), columnTable(4, hexahedronQuads));
}

// mesh_bar4..7: column i = the face slots around vertex i, in cyclic order (counter-clockwise
// seen from outside), so consecutive slots, and the last and the first, share an edge at i.
void writeVertexFaceTables(TableWriter& out) {
  for (int t = 4; t <= 7; ++t) {
    PolygonList columns;
    for (int v = 0; v < verticesPerCell[t]; ++v) {
      const std::vector<int32_t> slots = slotsAroundVertex(t, v);
      columns.emplace_back(slots.begin(), slots.end());
    }
    out.write(tableFileName("bar", t),
              columnTable(static_cast<int>(columns.front().size()), columns));
  }
}

// mesh_brn4..7: the slot map, one-dimensional, F + 4Q entries. A triangle slot is served by its
// own normal, so entry f is f. The normals of quad corners depend on how each cell's quad is
// cut and are decided per cell; their entries are never read and hold -1 so that a reader that
// used them would fail loudly instead of picking a plausible normal.
void writeSlotMapTables(TableWriter& out) {
  for (int t = 4; t <= 7; ++t) {
    const int f = static_cast<int>(triangleFaces(t).size());
    const int q = static_cast<int>(quadFaces(t).size());
    std::vector<int32_t> map(f + 4 * q, -1);
    for (int i = 0; i < f; ++i) map[i] = i;
    out.write(tableFileName("brn", t), flatTable(map));
  }
}

// ---------------------------------------------------------------------------------------------
// Face families: the faces the boundary and interface passes pair between neighbouring cells.
// Volume faces are the point location faces above, counter-clockwise seen from outside.

const PolygonList triangleEdges = {{0, 1}, {1, 2}, {2, 0}};
const PolygonList quadEdges = {{0, 1}, {1, 2}, {2, 3}, {3, 0}};

// mesh_zip0..6: the face lists of the program's face families, in its order; face size x face
// count, which must be what the program expects of each family.
void writeFaceFamilyTables(TableWriter& out) {
  const PolygonList* const families[] = {&triangleEdges,      &quadEdges,  &tetrahedronTriangles,
                                         &prismTriangles,     &prismQuads, &hexahedronQuads,
                                         &octahedronTriangles};
  static_assert(std::size(families) == cagewarp::faceFamilyCount);
  for (int q = 0; q < cagewarp::faceFamilyCount; ++q) {
    const PolygonList& faces = *families[q];
    if (static_cast<int>(faces.size()) != cagewarp::faceFamilyFaceCount[q] ||
        static_cast<int>(faces.front().size()) != cagewarp::faceFamilySize[q]) {
      std::fprintf(stderr, "generate_tables: face family %d does not have the expected shape\n", q);
      std::exit(1);
    }
    out.write(tableFileName("zip", q), columnTable(static_cast<int>(faces.front().size()), faces));
  }
}

// ---------------------------------------------------------------------------------------------
// The split: the new nodes of each type (rows after the corners, in the order listed) and the
// children built from them. A group only names corners or nodes made before it.

// The groups besides the edges, whose middles come first in the order of edgesOf.
struct NodeGroups {
  PolygonList quads;   // four corners in cyclic order: the quad's middle
  PolygonList sixes;   // the octahedron's six corners: its centre
  PolygonList eights;  // the hexahedron's eight corners: its centre
};

const NodeGroups nodeGroups[8] = {
    // point: no new node
    {},
    // line: 2 = m01
    {},
    // triangle: 3 = m01, 4 = m12, 5 = m20
    {},
    // quad: 4 = m01, 5 = m12, 6 = m23, 7 = m30; 8 = middle
    {{{0, 1, 2, 3}}, {}, {}},
    // tetrahedron: 4 = m01, 5 = m02, 6 = m03, 7 = m12, 8 = m13, 9 = m23
    {},
    // octahedron: 6..9 = the edges at apex 0, 10..13 the equator, 14..17 the edges at apex 5;
    // 18 = centre
    {{}, {{0, 1, 2, 3, 4, 5}}, {}},
    // prism: 6..8 bottom edges, 9..11 top edges, 12..14 axis edges; 15..17 the quads as listed
    // for point location
    {prismQuads, {}, {}},
    // hexahedron: 8..11 bottom edges, 12..15 top edges, 16..19 axis edges; 20..25 the quads as
    // listed for point location; 26 = centre
    {hexahedronQuads, {}, {{0, 1, 2, 3, 4, 5, 6, 7}}},
};

PolygonList edgeGroups(int t) {
  PolygonList edges;
  for (const auto& [a, b] : cagewarp::edgesOf(t)) edges.push_back({a, b});
  return edges;
}

// mesh_edg, mesh_qua, mesh_hex, mesh_cub + type: 2k x groups. A type without groups of a kind
// gets no file, which the loader reads as "none".
void writeNodeTables(TableWriter& out) {
  for (int t = 0; t < 8; ++t) {
    const NodeGroups& g = nodeGroups[t];
    const PolygonList kinds[] = {edgeGroups(t), g.quads, g.sixes, g.eights};
    for (int k = 0; k < 4; ++k) {
      if (kinds[k].empty()) continue;
      out.write(tableFileName(cagewarp::nodeTableStems[k], t), columnTable(2 * (k + 1), kinds[k]));
    }
  }
}

// Same-type children, each in its type's own vertex order and orientation.
const PolygonList sameTypeChildren[8] = {
    // point: itself
    {{0}},
    // line: the two halves
    {{0, 2}, {2, 1}},
    // triangle: the three corner triangles, then the middle one
    {{0, 3, 5}, {3, 1, 4}, {5, 4, 2}, {3, 4, 5}},
    // quad: one per corner
    {{0, 4, 8, 7}, {4, 1, 5, 8}, {8, 5, 2, 6}, {7, 8, 6, 3}},
    // tetrahedron: the corner tetrahedra, each the parent shrunk towards its corner
    {{0, 4, 5, 6}, {4, 1, 7, 8}, {5, 7, 2, 9}, {6, 8, 9, 3}},
    // octahedron: the parent shrunk towards each corner (the opposite corner maps to the centre)
    {{0, 6, 7, 8, 9, 18},
     {6, 1, 10, 18, 13, 14},
     {7, 10, 2, 11, 18, 15},
     {8, 18, 11, 3, 12, 16},
     {9, 13, 18, 12, 4, 17},
     {18, 14, 15, 16, 17, 5}},
    // prism: below the middle level the four triangles of the split bottom (corner 0, 1, 2,
    // middle), then the same four above it. Bottom level 0 1 2 / 6 7 8, middle level 12 13 14 /
    // 15 16 17, top level 3 4 5 / 9 10 11.
    {{0, 6, 8, 12, 15, 17},
     {6, 1, 7, 15, 13, 16},
     {8, 7, 2, 17, 16, 14},
     {6, 7, 8, 15, 16, 17},
     {12, 15, 17, 3, 9, 11},
     {15, 13, 16, 9, 4, 10},
     {17, 16, 14, 11, 10, 5},
     {15, 16, 17, 9, 10, 11}},
    // hexahedron: the 3 x 3 x 3 grid of nodes, layer by layer (x to the right, y up the page):
    //   z = 0:  3 10  2    z = 1: 19 24 18    z = 2:  7 14  6
    //          11 20  9           25 26 23           15 21 13
    //           0  8  1           16 22 17            4 12  5
    // children lower layer first, each layer at x-, y- then counter-clockwise.
    {{0, 8, 20, 11, 16, 22, 26, 25},
     {8, 1, 9, 20, 22, 17, 23, 26},
     {20, 9, 2, 10, 26, 23, 18, 24},
     {11, 20, 10, 3, 25, 26, 24, 19},
     {16, 22, 26, 25, 4, 12, 21, 15},
     {22, 17, 23, 26, 12, 5, 13, 21},
     {26, 23, 18, 24, 21, 13, 6, 14},
     {25, 26, 24, 19, 15, 21, 14, 7}},
};

// mesh_uni0..7: vertices per cell x children.
void writeChildTables(TableWriter& out) {
  for (int t = 0; t < 8; ++t) {
    const PolygonList& children = sameTypeChildren[t];
    out.write(tableFileName("uni", t),
              columnTable(static_cast<int>(children.front().size()), children));
  }
}

// mesh_bas4: the octahedron of a tetrahedron's edge middles, apexes m01 and m23, equator m02,
// m12, m13, m03 (counter-clockwise seen from m01). mesh_bas5: per octahedron face (A, B, C), in
// face order, the tetrahedron (mAB, mCA, mBC, centre): the face's middle triangle listed
// clockwise from outside, so that it turns towards the centre.
void writeMixedChildTables(TableWriter& out) {
  out.write(tableFileName("bas", 4), columnTable(6, {{4, 5, 7, 8, 6, 9}}));
  out.write(tableFileName("bas", 5), columnTable(4, {{6, 7, 10, 18},
                                                     {7, 8, 11, 18},
                                                     {8, 9, 12, 18},
                                                     {9, 6, 13, 18},
                                                     {15, 14, 10, 18},
                                                     {16, 15, 11, 18},
                                                     {17, 16, 12, 18},
                                                     {14, 17, 13, 18}}));
}

// ---------------------------------------------------------------------------------------------
// The smooth scheme: "split linearly, then average". Every fraction is formed as a single
// precision division of two exact floats, so each stored weight is the correctly rounded
// fraction.

float fraction(int numerator, int denominator) {
  return static_cast<float>(numerator) / static_cast<float>(denominator);
}

// The weight corner i gets in the point corner j receives, for the types whose columns depend
// on the two corners' relation.
float triangleWeight(int i, int j) {
  return i == j ? fraction(1, 4) : fraction(3, 8);
}
float tetrahedronWeight(int i, int j) {
  return i == j ? fraction(-1, 16) : fraction(17, 48);
}
float octahedronWeight(int i, int j) {
  const int opposite[] = {5, 3, 4, 1, 2, 0};
  if (i == j) return fraction(3, 8);
  return i == opposite[j] ? fraction(7, 24) : fraction(1, 12);
}
// Loop's triangle column (1/4 own, 3/8 others) times (1/2, 1/2) along the axis: 1/8 on corner j
// and on the corner its axis edge joins, 3/16 on the other four.
float prismWeight(int i, int j) {
  return i % 3 == j % 3 ? fraction(1, 8) : fraction(3, 16);
}

FloatTable averagingTable(int corners, int columns, float (*weight)(int, int)) {
  FloatTable table{{corners, columns}, {}};
  for (int j = 0; j < columns; ++j)
    for (int i = 0; i < corners; ++i) table.values.push_back(weight(i, j));
  return table;
}

FloatTable centroidTable(int corners) {
  return FloatTable{{corners, 1}, std::vector<float>(corners, fraction(1, corners))};
}

// mesh_avg40..47: corners x columns; column j holds the weights of the cell's corners for the
// point that corner j receives (a single column serves every corner).
void writeAveragingTables(TableWriter& out) {
  const FloatTable tables[8] = {
      centroidTable(1),                         // point: itself
      centroidTable(2),                         // line: cubic B-spline
      averagingTable(3, 3, triangleWeight),     // triangle: Loop
      centroidTable(4),                         // quad: Catmull-Clark
      averagingTable(4, 4, tetrahedronWeight),  // tetrahedron: smooth tetrahedral scheme
      averagingTable(6, 6, octahedronWeight),   // octahedron: the same scheme
      averagingTable(6, 6, prismWeight),        // prism: Loop across, B-spline along the axis
      centroidTable(8),                         // hexahedron: tricubic B-spline
  };
  for (int t = 0; t < 8; ++t) out.write(tableFileName("avg4", t), tables[t]);
}

// mesh_cor42, mesh_cor43: the blend factor f(n) by the number n of surface cells at a vertex,
// n = 0..127; n < 3 occurs only on open surfaces and keeps the average (f = 1).
//   triangles: f(n) = (8/3) (5/8 - (3/8 + cos(2 pi / n) / 4)^2), which turns the average into
//              Loop's vertex rule. Evaluated as: c = cos(2 pi / n) in double precision, rounded
//              to float; then in float a = 3/8 + c / 4, b = 5/8 - a * a, f = (8 b) / 3, each
//              operation rounded (c / 4 and 8 b are exact).
//   quads:     f(n) = 4 / n as a float division, which gives the Catmull-Clark vertex rule.
void writeBlendTables(TableWriter& out) {
  constexpr int length = 128;
  FloatTable triangles{{length}, std::vector<float>(length, 1.0f)};
  FloatTable quads{{length}, std::vector<float>(length, 1.0f)};
  for (int n = 3; n < length; ++n) {
    const float c = static_cast<float>(std::cos(2.0 * std::numbers::pi / n));
    const float a = 0.375f + c * 0.25f;
    const float b = 0.625f - a * a;
    triangles.values[n] = (8.0f * b) / 3.0f;
    quads.values[n] = 4.0f / static_cast<float>(n);
  }
  out.write(tableFileName("cor4", 2), triangles);
  out.write(tableFileName("cor4", 3), quads);
}

// mesh_proc: the interface rules, as columns (kind a, kind b).
// Rule 0, triangle edges (kind 0) against quad edges (kind 1), mesh_mul40 = (1/24) [[-1, 1],
// [1, -1]]: on a regular interface it adds (u_left + u_right - 2 v) / 48 in the triangle region
// and subtracts it in the quad region, which matches the two regions' second moments along the
// interface (quads 1/3, triangles 1/4 per unit edge) so that quadratics are reproduced across it.
// Rule 1, tetrahedron and octahedron faces (kind 2) against prism end faces (kind 3), mesh_mul41
// = (1/72) [[-2, 1, 1], [1, -2, 1], [1, 1, -2]]: the same moment argument in the plane of the
// faces (prisms 1/2, the tetrahedral lattice 4/9, at edge length sqrt 2).
// Rule 2, hexahedron quads (kind 5) against prism quads (kind 4), mesh_mul42 = (1/24) [[1, -1, 0,
// 0], [-1, 1, 0, 0], [0, 0, 1, -1], [0, 0, -1, 1]]: the two regions' moments differ only along the
// prisms' triangle edges (hexahedra 1/3, prisms 1/4; across the faces and along the prism axis
// both 1/3), so it pairs T[0]-T[1] and T[2]-T[3], which the pass makes the prism's triangle edges
// under any numbering. At a regular vertex the mean over its four interface quads is
// (2 v - u_left - u_right) / 48 along them, added in the hexahedron region and subtracted in the
// prism region: the 1/12 = 1/3 - 1/4 the moments need, and nothing along the axis.
void writeInterfaceTables(TableWriter& out) {
  out.write(tableFileName("proc"), columnTable(2, {{0, 1}, {2, 3}, {5, 4}}));
  const float w = fraction(1, 24);
  out.write(tableFileName("mul4", 0), FloatTable{{2, 2}, {-w, w, w, -w}});
  const float own = fraction(-1, 36), other = fraction(1, 72);
  out.write(tableFileName("mul4", 1),
            FloatTable{{3, 3}, {own, other, other, other, own, other, other, other, own}});
  out.write(tableFileName("mul4", 2),
            FloatTable{{4, 4}, {w, -w, 0, 0, -w, w, 0, 0, 0, 0, w, -w, 0, 0, -w, w}});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: generate_tables <output-dir>\n");
    return 2;
  }
  std::error_code error;
  std::filesystem::create_directories(argv[1], error);
  if (error) {
    std::fprintf(stderr, "generate_tables: %s: %s\n", argv[1], error.message().c_str());
    return 1;
  }
  TableWriter out(argv[1]);
  writeNormalTables(out);
  writeVertexFaceTables(out);
  writeSlotMapTables(out);
  writeFaceFamilyTables(out);
  writeNodeTables(out);
  writeChildTables(out);
  writeMixedChildTables(out);
  writeAveragingTables(out);
  writeBlendTables(out);
  writeInterfaceTables(out);
  return 0;
}
