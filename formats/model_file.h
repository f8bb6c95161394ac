#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "array/matrix.h"
#include "array/status.h"
#include "formats/coordinate_sites.h"
#include "formats/file_format.h"
#include "formats/file_handle.h"
#include "mesh/mesh.h"

namespace cagewarp {

// A model read from an OBJ, OFF, PLY, STL, XYZ or CSV file: the mesh used for location and what it
// takes to write the file back with some vertices moved and every other byte as it was.
struct ModelFile {
  FileFormat format = FileFormat::meshText;
  // x, y, z per vertex (3 x M, xyzRow 0); faces as points, lines, triangles and quads, larger
  // polygons fanned from their first corner.
  Mesh mesh{3};
  // The file as read, and as text.
  FileBytes bytes;
  std::string_view text() const { return textOf(bytes); }
  // Every coordinate's place in `bytes`, in file order.
  CoordinateSites sites;
  // The faces as the file lists them, before fanning: face k has the vertices
  // faceCorners[faceStarts[k]] .. faceCorners[faceStarts[k + 1] - 1].
  std::vector<int32_t> faceStarts{0};
  std::vector<int32_t> faceCorners;
  // The normals the file stores (OBJ 'vn' records, PLY nx, ny, nz, STL facet normals): their
  // count, their values as read (3 per normal), every coordinate's site (the site's `vertex` is
  // the normal's index) and, per face corner, the index of the normal it uses or -1 (no entries
  // when the file has no normals).
  int32_t normalCount = 0;
  std::vector<float> normalValues;
  CoordinateSites normalSites;
  std::vector<int32_t> cornerNormals;
  // Texture coordinates (OBJ 'vt' records, PLY s, t or u, v per vertex), u and v each, and per
  // face corner the index of the one it uses or -1 (no entries when no face names one): what a copy
  // in another format carries over.
  std::vector<float> textureValues;
  std::vector<int32_t> cornerTextures;
  // What the reader passed over or read in part without failing, a line each.
  Warnings warnings;
};

// Reads the OBJ, OFF, PLY, STL, XYZ or CSV model at `path`, chosen by its extension. Fails with
// "FILE:LINE: problem" (text) or "FILE: byte OFFSET: problem" (binary) on malformed input, and
// for any other format.
Status readModelFile(const std::string& path, ModelFile& model);

// Reads the model at `path` into `mesh`: a file in a model format (OBJ, OFF, PLY, STL, XYZ, CSV)
// through readModelFile, kept in `source` for writing deformed copies; any other as a cage
// (readCage, on `threads` threads), `source` then untouched. Reader warnings go to `warnings`.
Status readModelMesh(const std::string& path, ModelFile& source, Mesh& mesh, Warnings& warnings,
                     int threads = 1);

// Writes `model` to `path` (whose extension must name the model's own format) with vertex
// movedIndices[j] at column j of movedPositions (3 x e), through a temporary file renamed into
// place. A coordinate whose new value equals the one read keeps its bytes; a changed one is
// written as the shortest text that reads back to it, or as the file's binary float or double.
// Unless `keepNormals`, every stored normal used by a face with a moved corner is recomputed
// from the moved faces (cornerNormals), so shading follows the deformation; the normals of
// faces that did not move keep their bytes.
Status writeDeformedModel(const ModelFile& model, const IntArray& movedIndices,
                          const Matrix& movedPositions, const std::string& path,
                          bool keepNormals = false);

}  // namespace cagewarp
