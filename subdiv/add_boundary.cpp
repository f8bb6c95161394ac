#include "subdiv/add_boundary.h"

#include <algorithm>
#include <array>

#include "mesh/cell_type.h"
#include "mesh/face_family.h"
#include "subdiv/face_key.h"
#include "subdiv/tuple_map.h"

namespace cagewarp {
namespace {

constexpr int triangleTag = 3;
constexpr int quadKeyLength = 5;

IntArray triangleTuple(int a, int b, int c) {
  return IntArray::fromValues({a, b, c});
}

Status checkFaceLists(const Mesh& mesh, const LookupTables& tables) {
  for (int q = 0; q < faceFamilyCount; ++q) {
    const int t = faceFamilyCellType[q];
    if (mesh.cells[t].cols() == 0) continue;
    CAGEWARP_CHECK(mesh.cells[t].rows() == verticesPerCell[t]);
    if (const Status& status = tables.checked().faceLists[q]; !status.ok) return status;
  }
  return Status::success();
}

// Step 1: a face whose opposite is already in the map cancels it; what stays is unshared.
void collectUnsharedFaces(const Mesh& mesh, const LookupTables& tables, TupleIndexMap& faces) {
  int unused = 0;
  for (int q = 0; q < faceFamilyCount; ++q) {
    const IntArray& cells = mesh.cells[faceFamilyCellType[q]];
    const IntMatrix& faceList = tables.zipTables[q];
    const int size = faceFamilySize[q];
    IntArray face({size}, 0);
    for (int c = 0; c < cells.cols(); ++c) {
      for (int g = 0; g < faceFamilyFaceCount[q]; ++g) {
        for (int i = 0; i < size; ++i) face[i] = cells.at(faceList[g * size + i], c);
        IntArray key = faceKey(face, size);
        if (!faces.erase(reversedFaceKey(key))) faces.insertIfAbsent(key, unused);
      }
    }
  }
}

// Step 2 for the quad (a, b, c, d) at the walk's cursor in bucket v: triangles that cover halves
// of it cancel those halves; the quad then gives way to its uncovered halves.
void resolveCoveredQuad(TupleIndexMap& faces, int v, const std::array<int, 4>& quad) {
  const auto [a, b, c, d] = quad;
  const std::array<IntArray, 4> halves = {triangleTuple(b, c, d), triangleTuple(c, d, a),
                                          triangleTuple(d, a, b), triangleTuple(a, b, c)};
  std::array<bool, 4> covered{};
  for (int h = 0; h < 4; ++h)
    covered[h] = faces.erase(reversedFaceKey(faceKey(halves[h], triangleTag)));
  if (!std::any_of(covered.begin(), covered.end(), [](bool x) { return x; })) return;
  faces.removeAtCursor(v);
  int unused = 0;
  auto insert = [&](int x, int y, int z) {
    faces.insertIfAbsent(IntArray::fromValues({x, y, z, triangleTag}), unused);
  };
  if (covered[0] && !covered[2]) insert(d, a, b);
  if (covered[2] && !covered[0]) insert(b, c, d);
  if (covered[1] && !covered[3]) insert(a, b, c);
  if (covered[3] && !covered[1]) insert(c, d, a);
}

void resolveCoveredQuads(TupleIndexMap& faces) {
  for (int v = 0; v < faces.bucketCount(); ++v) {
    TupleIndexMap::View entry{};
    while (faces.nextInBucket(v, entry)) {
      if (entry.length != quadKeyLength) continue;
      resolveCoveredQuad(faces, v, {entry.key[0], entry.key[1], entry.key[2], entry.key[3]});
    }
  }
}

// Steps 3 to 5: the remaining keys, bucket by bucket, become cells of type (key length - 2).
void appendRemainingFaces(Mesh& mesh, TupleIndexMap& faces) {
  std::array<int, 4> counts{};
  TupleIndexMap::View entry{};
  for (int v = 0; v < faces.bucketCount(); ++v)
    while (faces.nextInBucket(v, entry)) ++counts[entry.length - 2];
  std::array<IntMatrix, 4> newCells;
  for (int t = 0; t < 4; ++t) newCells[t] = IntMatrix(t + 1, counts[t]);
  std::array<int, 4> filled{};
  for (int v = 0; v < faces.bucketCount(); ++v) {
    while (faces.nextInBucket(v, entry)) {
      const int t = entry.length - 2;
      std::copy_n(entry.key, t + 1, newCells[t].column(filled[t]++));
    }
  }
  for (int t = 0; t < 4; ++t) appendCells(mesh, t, newCells[t]);
}

}  // namespace

Status addBoundary(Mesh& mesh, const LookupTables& tables) {
  if (Status status = checkFaceLists(mesh, tables); !status.ok) return status;
  TupleIndexMap faces(std::max(mesh.vertices.cols(), 1), firstElementHash);
  collectUnsharedFaces(mesh, tables, faces);
  resolveCoveredQuads(faces);
  appendRemainingFaces(mesh, faces);
  return Status::success();
}

}  // namespace cagewarp
