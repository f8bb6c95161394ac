#pragma once

#include <string>

#include "array/status.h"
#include "formats/model_file.h"

namespace cagewarp {

// Reads the off file `path` whose bytes are in model.bytes into the rest of `model`.
// OFF, COFF, NOFF (and ST- variants): the counts, then one vertex and then one face per line; '#'
// starts a comment.
Status readOff(const std::string& path, ModelFile& model);

}  // namespace cagewarp
