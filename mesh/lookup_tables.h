#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "array/check.h"
#include "array/matrix.h"
#include "array/status.h"
#include "mesh/face_family.h"

namespace cagewarp {

// The directory, relative to the working directory, the program reads its tables from unless
// told otherwise.
inline constexpr const char* defaultTableDirectory = "tab";

// At most this many face normals serve one volume cell (a hexahedron's six quads, two triangles
// each), and at most this many face slots surround one of its vertices.
inline constexpr int maxCellNormals = 12;
inline constexpr int maxSlotsAroundVertex = 6;

// Whether each table, or group of tables read together, fits what its users need: success, or
// the message (naming the file) an operation reports when it needs the table. Filled by
// checkTables.
struct TableChecks {
  bool done = false;
  // The node tables and the uni table of type t, which split its cells into same-type children.
  std::array<Status, 8> split;
  // Whether a node table of type t names a node made by an earlier group of the same split (the
  // tables allow it), so that a node's mean needs another new node's value: such a split forms
  // its means in order, one at a time.
  std::array<bool, 8> nodesNameNewNodes{};
  // bas4 and bas5: the octahedron child of a tetrahedron, the tetrahedron children of an
  // octahedron. Other types have none.
  std::array<Status, 8> otherChildren;
  // Face list zipTables[q] of face family q.
  std::array<Status, faceFamilyCount> faceLists;
  // Whether procTable as a whole can be read as rules; when it can, one result per rule (column),
  // each a complete warning.
  Status interfaceRules;
  std::vector<Status> rules;
  std::array<Status, 8> averages;
  // Whether corTables[t] holds at least one blend factor.
  std::array<bool, 8> blendFactors{};
  // The face tables (nrm, bar, brn) of volume type t, as point location reads them.
  std::array<Status, 8> cellFaces;
};

// The table set read at start from one directory: the split rules, the face lists, the face
// tables of point location and the smoothing tables. Filled and checked once by
// loadLookupTables, read-only afterwards; every message about a table names its file through
// fileName.
struct LookupTables {
  // The directory the tables were read from.
  std::string directory = defaultTableDirectory;

  IntMatrix procTable;
  // nodeTables[t][k - 1] for tuple size k = 1..4 (edge, quad middle, six-vertex and
  // eight-vertex centre); absent when its file is missing or holds no elements.
  std::array<std::array<std::optional<IntMatrix>, 4>, 8> nodeTables;
  std::array<IntMatrix, 8> uniTables;
  std::array<IntMatrix, 8> basTables;
  // Face lists, one per face family (see mesh/face_family.h); 7 to 9 are unused.
  std::array<IntMatrix, 10> zipTables;
  std::array<IntMatrix, 8> barTables;
  std::array<IntMatrix, 8> brnTables;
  std::array<IntMatrix, 10> nrmTables;
  // Smoothing: averaging matrices and valence blends per type, interface matrices per rule.
  std::array<Matrix, 8> avgTables;
  std::array<FloatArray, 8> corTables;
  std::array<Matrix, 6> mulTables;
  // What checkTables found; operations read it instead of the tables' shapes.
  TableChecks checks;

  // The check results; the tables must have been checked since they were last edited.
  const TableChecks& checked() const {
    CAGEWARP_CHECK(checks.done);
    return checks;
  }

  const IntMatrix* nodeTable(int t, int k) const {
    const auto& entry = nodeTables[t][k - 1];
    return entry ? &*entry : nullptr;
  }

  // The file of table `stem` with number `index` (e.g. "uni", 7; "avg4", 7) in `directory`.
  std::string fileName(std::string_view stem, int index) const;
  // The file of the single table `stem` (e.g. "proc").
  std::string fileName(std::string_view stem) const;
};

// The file name of table `stem` with number `index` (e.g. "uni", 7: "mesh_uni7.tab"), and of
// the single table `stem` (e.g. "proc": "mesh_proc.tab").
std::string tableFileName(std::string_view stem, int index);
std::string tableFileName(std::string_view stem);

// The stems of the node tables for tuple size k = 1..4.
inline constexpr std::array<std::string_view, 4> nodeTableStems = {"edg", "qua", "hex", "cub"};

// Checks every table against what its users need (shapes, index ranges, counts) and stores the
// results in tables.checks. Run again after editing a table by hand.
void checkTables(LookupTables& tables);

}  // namespace cagewarp
