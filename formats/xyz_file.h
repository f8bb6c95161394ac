#pragma once

#include <string>

#include "array/status.h"
#include "formats/model_file.h"
#include "formats/model_geometry.h"

namespace cagewarp {

// Reads the point file `path` whose bytes are in model.bytes into the rest of `model`.
// XYZ points: a line whose first word is a number holds x, y, z and any further columns; every
// other line (a header, a '#' comment, a blank) is only kept. No faces.
Status readXyz(const std::string& path, ModelFile& model);

// Writes the positions of `model` as a fresh XYZ file, "x y z" per line.
Status writeXyz(const ModelGeometry& model, const std::string& path);

}  // namespace cagewarp
