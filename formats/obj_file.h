#pragma once

#include <string>

#include "array/status.h"
#include "formats/model_file.h"
#include "formats/model_geometry.h"

namespace cagewarp {

// Reads the obj file `path` whose bytes are in model.bytes into the rest of `model`.
// Wavefront OBJ: vertices from 'v' lines, faces from 'f', lines from 'l' and points from 'p', with
// 1-based or negative (relative) indices; every other line is only kept.
Status readObj(const std::string& path, ModelFile& model);

// Writes `model` as a fresh OBJ file: vertices, texture coordinates and normals per vertex when
// it has them, faces, lines and points, with 1-based indices.
Status writeObj(const ModelGeometry& model, const std::string& path);

}  // namespace cagewarp
