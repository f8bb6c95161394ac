#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "array/matrix.h"
#include "array/status.h"

namespace cagewarp {

// The directory, relative to the working directory, the program reads its tables from unless
// told otherwise.
inline constexpr const char* defaultTableDirectory = "tab";

// The table set read at start from one directory: the split rules, the face lists, the face
// tables of point location and the smoothing tables. Filled once by loadLookupTables, read-only
// afterwards; every message about a table names its file through fileName.
struct LookupTables {
  // The directory the tables were read from.
  std::string directory = defaultTableDirectory;

  IntMatrix procTable;
  // nodeTables[t][k - 1] for tuple size k = 1..4 (edge, quad middle, six-vertex and
  // eight-vertex centre); absent when its file is missing or holds no elements.
  std::array<std::array<std::optional<IntMatrix>, 4>, 8> nodeTables;
  std::array<IntMatrix, 8> uniTables;
  std::array<IntMatrix, 8> basTables;
  // Face lists, one per face family (see subdiv/face_family.h); 7 to 9 are unused.
  std::array<IntMatrix, 10> zipTables;
  std::array<IntMatrix, 8> barTables;
  std::array<IntMatrix, 8> brnTables;
  std::array<IntMatrix, 10> nrmTables;
  // Smoothing: averaging matrices and valence blends per type, interface matrices per rule.
  std::array<Matrix, 8> avgTables;
  std::array<FloatArray, 8> corTables;
  std::array<Matrix, 6> mulTables;

  const IntMatrix* nodeTable(int t, int k) const {
    const auto& entry = nodeTables[t][k - 1];
    return entry ? &*entry : nullptr;
  }

  // The file of table `stem` with number `index` (e.g. "uni", 7; "avg4", 7) in `directory`.
  std::string fileName(std::string_view stem, int index) const;
  // The file of the single table `stem` (e.g. "proc").
  std::string fileName(std::string_view stem) const;
};

// The stems of the node tables for tuple size k = 1..4.
inline constexpr std::array<std::string_view, 4> nodeTableStems = {"edg", "qua", "hex", "cub"};

// Loads the table set from `directory` in its fixed order; node tables that are missing or hold
// no elements stay absent. Missing files are silent; malformed ones load as empty tables with a
// warning naming the file.
LookupTables loadLookupTables(const std::string& directory, Warnings& warnings);

}  // namespace cagewarp
