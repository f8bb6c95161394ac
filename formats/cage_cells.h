#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "array/status.h"
#include "mesh/mesh.h"

namespace cagewarp {

// A pyramid (base 0..3 counter-clockwise seen from the apex 4), which we lack: it comes in as
// two tetrahedra.
inline constexpr int pyramidCell = 8;

// How one cell type of a file format becomes one of ours. `order[k]` is the position, in the
// file's list of the cell's nodes, of our local vertex k. Higher-order types list their corners
// first, so the same order serves them; `nodes` is how many nodes the file lists.
struct CellMapping {
  int code;
  int type;
  int nodes;
  std::array<int8_t, 8> order;
  bool higherOrder() const;
};

// The mapping of `code` in `table`, or nullptr when the format's type is not one we read.
const CellMapping* findMapping(const std::vector<CellMapping>& table, int code);

// Cells in a file's order gathered per type into our local vertex order; pyramids split, and
// higher-order cells and pyramids counted for the warnings.
class CellCollector {
 public:
  // Adds a cell whose file nodes are `nodes` (vertex columns, already checked), mapped by `map`.
  void add(const CellMapping& map, const int32_t* nodes);
  // Moves the cells into `mesh` (cell arrays replaced), reorients inverted volume cells, and
  // adds one warning per kind of change, each naming `fileName`.
  void finish(Mesh& mesh, const std::string& fileName, Warnings& warnings);

 private:
  std::array<std::vector<int32_t>, cellTypeCount> cells_;
  int64_t higherOrder_ = 0;
  int64_t pyramids_ = 0;
};

// Signed volume of volume cell `cell` of type t (positive when its vertices follow our local
// order), over its outward faces, quads fanned around their centres.
double signedVolume(const Mesh& mesh, int t, const int32_t* cell);

// Whether volume cell `cell` of type t has a clearly negative volume (not merely rounding noise
// of a flat cell).
bool isInverted(const Mesh& mesh, int t, const int32_t* cell);

// Puts every volume cell of negative volume into its mirror order (a permutation of its local
// vertices that maps the cell onto its mirror image, so the volume changes sign). Degenerate
// cells stay as they are. Returns how many cells changed.
int64_t reorientInvertedCells(Mesh& mesh);

// The names of the volume cell types, tetrahedron to hexahedron, as warnings give them.
inline constexpr std::array<const char*, 4> volumeCellNames = {"tetrahedron", "octahedron", "prism",
                                                               "hexahedron"};

// A warning naming the inverted volume cells of `mesh` (by type and number within it, the first
// ten), for a file whose cells are read as they stand; empty when there are none.
std::string invertedCellsWarning(const Mesh& mesh, const std::string& fileName);

// Splits every octahedron (0 and 5 the apexes) into four positive tetrahedra around its 0-5
// axis, for formats that have no octahedron; writes 4 x 4 vertex columns.
void octahedronTetrahedra(const int32_t* octahedron, int32_t* tetrahedra);

}  // namespace cagewarp
