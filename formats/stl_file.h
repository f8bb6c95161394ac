#pragma once

#include <string>

#include "array/status.h"
#include "formats/model_file.h"
#include "formats/model_geometry.h"

namespace cagewarp {

// Reads the stl file `path` whose bytes are in model.bytes into the rest of `model`.
// STL, ASCII or binary: corners with the same three coordinates become one vertex, in order of
// first appearance, and each corner is a site of its vertex.
Status readStl(const std::string& path, ModelFile& model);

// Writes the faces of `model` as a fresh ASCII STL file: each face as the triangles of a fan
// from its first corner, with the face's unit normal.
Status writeStl(const ModelGeometry& model, const std::string& path);

}  // namespace cagewarp
