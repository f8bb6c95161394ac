#pragma once

#include <string>

#include "array/status.h"
#include "formats/model_file.h"

namespace cagewarp {

// Reads the ply file `path` whose bytes are in model.bytes into the rest of `model`.
// PLY in ASCII or binary of either byte order: x, y, z of the 'vertex' element as float or double,
// faces from the 'vertex_indices' list of the 'face' element; every other element and property is
// only kept.
Status readPly(const std::string& path, ModelFile& model);

}  // namespace cagewarp
