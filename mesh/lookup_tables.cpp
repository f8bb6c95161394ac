#include "mesh/lookup_tables.h"

#include <algorithm>

#include "mesh/cell_type.h"

namespace cagewarp {
namespace {

// New nodes one cell of type t gains in a split.
int newNodeCount(int t) {
  return refinedNodeCount[t] - verticesPerCell[t];
}

// Each group may only name nodes that exist when it is used: the corners and the nodes of the
// groups before it.
Status checkNodeTables(const LookupTables& tables, int t) {
  int groups = 0;
  for (int k = 1; k <= 4; ++k) {
    const IntMatrix* table = tables.nodeTable(t, k);
    if (!table) continue;
    const std::string name = tables.fileName(nodeTableStems[k - 1], t);
    const int size = 2 * k;
    if (table->count() % size != 0) {
      return Status::failure(name + ": " + std::to_string(table->count()) +
                             " entries do not make whole groups of " + std::to_string(size));
    }
    for (int g = 0; g < table->count() / size; ++g, ++groups) {
      const int limit = verticesPerCell[t] + groups;
      for (int e = 0; e < size; ++e) {
        const int node = (*table)[g * size + e];
        if (node < 0 || node >= limit) {
          return Status::failure(name + ": group " + std::to_string(g) + " names node " +
                                 std::to_string(node) + ", must be below " + std::to_string(limit));
        }
      }
    }
  }
  if (groups != newNodeCount(t)) {
    std::string names;
    for (int k = 0; k < 4; ++k) names += (k ? ", " : "") + tables.fileName(nodeTableStems[k], t);
    return Status::failure(names + ": expected " + std::to_string(newNodeCount(t)) +
                           " node groups in all, found " + std::to_string(groups));
  }
  return Status::success();
}

Status checkIndexTable(const IntMatrix& table, const std::string& name, int expectedCount,
                       int nodeLimit) {
  const int count = table.isEmpty() ? 0 : table.count();
  if (count != expectedCount) {
    return Status::failure(name + ": expected " + std::to_string(expectedCount) +
                           " entries, found " + std::to_string(count));
  }
  for (int i = 0; i < count; ++i) {
    if (table[i] < 0 || table[i] >= nodeLimit) {
      return Status::failure(name + ": entry " + std::to_string(i) + " is " +
                             std::to_string(table[i]) + ", must be below " +
                             std::to_string(nodeLimit));
    }
  }
  return Status::success();
}

bool nodesNameNewNodes(const LookupTables& tables, int t) {
  for (int k = 1; k <= 4; ++k) {
    const IntMatrix* table = tables.nodeTable(t, k);
    for (int i = 0; table && i < table->count(); ++i)
      if ((*table)[i] >= verticesPerCell[t]) return true;
  }
  return false;
}

Status checkSplitTables(const LookupTables& tables, int t) {
  if (Status s = checkNodeTables(tables, t); !s.ok) return s;
  return checkIndexTable(tables.uniTables[t], tables.fileName("uni", t),
                         sameTypeChildCount[t] * verticesPerCell[t], refinedNodeCount[t]);
}

// A tetrahedron's middle octahedron has 6 nodes; an octahedron's 8 corner tetrahedra have 32.
Status checkOtherChildren(const LookupTables& tables, int t) {
  const int entries = t == tetrahedronType ? 6 : 32;
  return checkIndexTable(tables.basTables[t], tables.fileName("bas", t), entries,
                         refinedNodeCount[t]);
}

// Face size x face count elements, each a local vertex index of the family's cell type.
Status checkFaceList(const LookupTables& tables, int q) {
  const IntArray& faceList = tables.zipTables[q];
  const std::string file = tables.fileName("zip", q) + ": ";
  const int expected = faceFamilySize[q] * faceFamilyFaceCount[q];
  const int count = faceList.isEmpty() ? 0 : faceList.count();
  if (count != expected) {
    return Status::failure(file + "holds " + std::to_string(count) + " face indices, expected " +
                           std::to_string(expected));
  }
  const int corners = verticesPerCell[faceFamilyCellType[q]];
  for (int i = 0; i < count; ++i) {
    if (faceList[i] < 0 || faceList[i] >= corners) {
      return Status::failure(file + "face index " + std::to_string(faceList[i]) +
                             " is not a corner of a cell with " + std::to_string(corners) +
                             " corners");
    }
  }
  return Status::success();
}

bool sizesCanMeet(int a, int b) {
  return (a == 2 && b == 2) || (a >= 3 && b >= 3);
}

// Rule r pairs the face kinds in column r of procTable through the interface matrix mul4<r>.
Status checkRule(const LookupTables& tables, int r) {
  const std::string rule = "rule " + std::to_string(r);
  const int a = tables.procTable.at(0, r);
  const int b = tables.procTable.at(1, r);
  if (r >= static_cast<int>(tables.mulTables.size()))
    return Status::failure(tables.fileName("proc") + ": " + rule +
                           " has no interface matrix; skipped");
  if (a < 0 || a >= faceKindCount || b < 0 || b >= faceKindCount) {
    return Status::failure(tables.fileName("proc") + ": " + rule + " names face kinds " +
                           std::to_string(a) + " and " + std::to_string(b) +
                           ", outside 0 to 5; skipped");
  }
  // Kind k is family k, so it has the family's face size.
  const int sizeA = faceFamilySize[a];
  const int sizeB = faceFamilySize[b];
  if (!sizesCanMeet(sizeA, sizeB)) {
    return Status::failure(tables.fileName("proc") + ": " + rule + " pairs faces of " +
                           std::to_string(sizeA) + " and " + std::to_string(sizeB) +
                           " vertices, which cannot lie on each other; skipped");
  }
  // A match yields as many vertices as the smaller face has.
  const int length = std::min(sizeA, sizeB);
  const Matrix& mul = tables.mulTables[r];
  if (mul.isEmpty())
    return Status::failure(tables.fileName("mul4", r) + ": missing; " + rule + " skipped");
  if (mul.rows() != length || mul.cols() > length) {
    return Status::failure(tables.fileName("mul4", r) + ": is " + std::to_string(mul.rows()) +
                           " x " + std::to_string(mul.cols()) + ", " + rule + " needs " +
                           std::to_string(length) + " rows and at most as many columns; skipped");
  }
  return Status::success();
}

void checkInterfaceRules(const LookupTables& tables, TableChecks& checks) {
  const IntMatrix& proc = tables.procTable;
  if (proc.isEmpty() || proc.count() == 0) return;
  if (proc.rows() != 2) {
    checks.interfaceRules =
        Status::failure(tables.fileName("proc") + ": expected 2 rows of face kinds, found " +
                        std::to_string(proc.rows()) + "; no interface is corrected");
    return;
  }
  for (int r = 0; r < proc.cols(); ++r) checks.rules.push_back(checkRule(tables, r));
}

Status checkAverageTable(const LookupTables& tables, int t) {
  const Matrix& avg = tables.avgTables[t];
  const int rows = avg.isEmpty() ? 0 : avg.rows();
  const int cols = avg.isEmpty() ? 0 : avg.cols();
  if (rows != verticesPerCell[t] || cols < 1 || cols > verticesPerCell[t]) {
    return Status::failure(tables.fileName("avg4", t) + ": expected " +
                           std::to_string(verticesPerCell[t]) + " rows and 1 to " +
                           std::to_string(verticesPerCell[t]) + " columns, found " +
                           std::to_string(rows) + " x " + std::to_string(cols));
  }
  return Status::success();
}

// True when `table` is a 2-D int matrix of `rows` rows whose entries all lie in 0..limit-1.
bool isIndexMatrix(const IntArray& table, int rows, int limit) {
  if (table.isEmpty() || table.n() != 2 || table.rows() != rows) return false;
  for (int i = 0; i < table.count(); ++i)
    if (table[i] < 0 || table[i] >= limit) return false;
  return true;
}

// The face tables of volume type t: nrm<t> holds its triangles (3 x F), nrm<t+2> the quads of a
// prism or hexahedron (4 x Q), bar<t> the face slots around each vertex, brn<t> the normal of
// each triangle slot. Indices must stay inside the cell test's fixed-size arrays.
Status checkCellFaces(const LookupTables& tables, int t) {
  const int k = verticesPerCell[t];
  auto reject = [&](const std::string& file, const std::string& what) {
    return Status::failure(file + ": " + what);
  };
  auto missingOr = [](const IntArray& table, const std::string& what) {
    return table.isEmpty() ? std::string("missing or unreadable") : what;
  };
  const std::string kText = std::to_string(k);

  const IntMatrix& triangles = tables.nrmTables[t];
  if (!isIndexMatrix(triangles, 3, k))
    return reject(tables.fileName("nrm", t),
                  missingOr(triangles, "triangle faces need 3 rows of indices below " + kText));
  const int triangleCount = triangles.cols();
  int quadCount = 0;
  if (hasQuadFaces(t)) {
    const IntMatrix& quads = tables.nrmTables[quadFaceTable(t)];
    if (!isIndexMatrix(quads, 4, k))
      return reject(tables.fileName("nrm", quadFaceTable(t)),
                    missingOr(quads, "quad faces need 4 rows of indices below " + kText));
    quadCount = quads.cols();
  }
  const int normalCount = triangleCount + 2 * quadCount;
  if (normalCount > maxCellNormals)
    return reject(tables.fileName("nrm", t),
                  "more than " + std::to_string(maxCellNormals) + " face normals per cell");
  const int slotCount = triangleCount + 4 * quadCount;

  const IntMatrix& bar = tables.barTables[t];
  if (bar.isEmpty() || bar.n() != 2 || bar.cols() != k || bar.rows() < 1 ||
      bar.rows() > maxSlotsAroundVertex || !isIndexMatrix(bar, bar.rows(), slotCount))
    return reject(
        tables.fileName("bar", t),
        missingOr(bar, kText + " columns of 1 to " + std::to_string(maxSlotsAroundVertex) +
                           " face slots below " + std::to_string(slotCount) + " expected"));

  const IntMatrix& brn = tables.brnTables[t];
  bool slotMapFits = !brn.isEmpty() && brn.count() >= triangleCount;
  for (int f = 0; slotMapFits && f < triangleCount; ++f)
    slotMapFits = brn[f] >= 0 && brn[f] < normalCount;
  if (!slotMapFits)
    return reject(tables.fileName("brn", t),
                  missingOr(brn, "the " + std::to_string(triangleCount) +
                                     " triangle slots need normal indices below " +
                                     std::to_string(normalCount)));
  return Status::success();
}

}  // namespace

std::string tableFileName(std::string_view stem) {
  return "mesh_" + std::string(stem) + ".tab";
}

std::string tableFileName(std::string_view stem, int index) {
  return tableFileName(std::string(stem) + std::to_string(index));
}

std::string LookupTables::fileName(std::string_view stem, int index) const {
  return fileName(std::string(stem) + std::to_string(index));
}

std::string LookupTables::fileName(std::string_view stem) const {
  return directory + "/" + tableFileName(stem);
}

void checkTables(LookupTables& tables) {
  TableChecks checks;
  for (int t = 0; t < cellTypeCount; ++t) {
    checks.split[t] = checkSplitTables(tables, t);
    checks.nodesNameNewNodes[t] = nodesNameNewNodes(tables, t);
    checks.averages[t] = checkAverageTable(tables, t);
    const FloatArray& cor = tables.corTables[t];
    checks.blendFactors[t] = !cor.isEmpty() && cor.count() > 0;
    if (isVolumeType(t)) checks.cellFaces[t] = checkCellFaces(tables, t);
  }
  for (int t : {tetrahedronType, octahedronType})
    checks.otherChildren[t] = checkOtherChildren(tables, t);
  for (int q = 0; q < faceFamilyCount; ++q) checks.faceLists[q] = checkFaceList(tables, q);
  checkInterfaceRules(tables, checks);
  checks.done = true;
  tables.checks = std::move(checks);
}

}  // namespace cagewarp
