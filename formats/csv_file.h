#pragma once

#include <string>

#include "array/status.h"
#include "formats/model_file.h"
#include "formats/model_geometry.h"

namespace cagewarp {

// Reads the comma-separated file `path` whose bytes are in model.bytes into the rest of `model`.
// The first line that is not blank names the columns; those named x, y and z (in any case,
// perhaps in double quotes) hold a point's position, every other column is only kept. Blank
// lines and '#' comment lines are kept. No faces.
Status readCsv(const std::string& path, ModelFile& model);

// Writes the positions of `model` as a fresh CSV file: the header "x,y,z", then a row per
// vertex.
Status writeCsv(const ModelGeometry& model, const std::string& path);

}  // namespace cagewarp
