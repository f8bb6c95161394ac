#pragma once

#include <string>

#include "array/status.h"
#include "formats/model_file.h"
#include "formats/model_geometry.h"

namespace cagewarp {

// Reads the off file `path` whose bytes are in model.bytes into the rest of `model`.
// OFF, COFF, NOFF (and ST- variants): the counts, then one vertex and then one face per line; '#'
// starts a comment.
Status readOff(const std::string& path, ModelFile& model);

// Writes `model` as a fresh OFF file (NOFF with a normal per vertex when it has them): vertices
// and faces; OFF holds no lines or points.
Status writeOff(const ModelGeometry& model, const std::string& path);

}  // namespace cagewarp
