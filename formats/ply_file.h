#pragma once

#include <string>

#include "array/status.h"
#include "formats/model_file.h"
#include "formats/model_geometry.h"

namespace cagewarp {

// Reads the ply file `path` whose bytes are in model.bytes into the rest of `model`.
// PLY in ASCII or binary of either byte order: x, y, z of the 'vertex' element as float or double,
// faces from the 'vertex_indices' list of the 'face' element; every other element and property is
// only kept.
Status readPly(const std::string& path, ModelFile& model);

// Writes `model` as a fresh ASCII PLY file: vertices with float x, y, z (and nx, ny, nz and s, t
// when it has normals and texture coordinates), faces (those of more corners than a uchar counts as
// triangle fans) and lines as edges.
Status writePly(const ModelGeometry& model, const std::string& path);

}  // namespace cagewarp
