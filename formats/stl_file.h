#pragma once

#include <string>

#include "array/status.h"
#include "formats/model_file.h"

namespace cagewarp {

// Reads the stl file `path` whose bytes are in model.bytes into the rest of `model`.
// STL, ASCII or binary: corners with the same three coordinates become one vertex, in order of
// first appearance, and each corner is a site of its vertex.
Status readStl(const std::string& path, ModelFile& model);

}  // namespace cagewarp
