#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "array/status.h"
#include "mesh/mesh.h"

namespace cagewarp {

// Where the documentation lives; the mesh writer and the usage text both point there.
inline constexpr std::string_view projectWebAddress = "https://cagewarp.org";

// Adds the cell and vertex records of a mesh text file to `mesh` (appends; does not clear).
// Fails with "<file>:<line>: <problem>" on malformed input or an index that names no vertex,
// and with the reason of readWholeFile when the file cannot be read; the mesh is then unspecified.
// Large vertex records are read on `threads` threads (0: one per core), with the same result.
Status readText(Mesh& mesh, const std::string& fileName, int threads = 1);
namespace detail {
// readText with vertex records of `threadedValues` values or more read on the threads: for tests
// and fuzzing, which check that small records read alike.
Status readText(Mesh& mesh, const std::string& fileName, int threads, int64_t threadedValues);
}  // namespace detail

// Mesh text read as a cage: like the other cage readers it replaces the cells and vertices of
// `mesh` (positions from row 0) and leaves `mesh` as it was on failure.
Status readTextCage(const std::string& path, Mesh& mesh, int threads = 1);

// How a mesh text file is laid out. The default is the program's own result file; the other
// choices keep the bytes of files other writers have always made (the generated scenes).
struct MeshTextLayout {
  // The one comment line heading the file, without its "% "; empty: the program's own header.
  std::string comment;
  // No record for a cell type without cells, no blank line after a cell record, and no blank
  // after the last value of a vertex row.
  bool compact = false;
  // Floats with nine significant digits, which read back exactly, instead of six.
  bool preciseFloats = false;
};

// Writes the whole mesh, every vertex row included, beside `fileName` and renames it into place
// when complete. Fails when the file could not be created, written or renamed; an earlier file
// of that name then stays as it was.
Status writeText(const Mesh& mesh, const std::string& fileName, const MeshTextLayout& layout = {});

}  // namespace cagewarp
