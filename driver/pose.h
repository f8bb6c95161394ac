#pragma once

#include <string>

#include "array/status.h"
#include "driver/binding.h"
#include "formats/model_file.h"

namespace cagewarp {

// One deformation asked for: the control mesh moved to new positions, and where the model
// deformed by it goes.
struct Pose {
  std::string movedControlFile;
  std::string outFile;
};

// Writes the bound model deformed by the pose's moved control mesh (as many vertices as the
// control mesh as loaded), all other content as it was read. A model read from an OBJ, OFF, PLY
// or STL file (`source`) is written in its own format byte for byte; any other output extension
// gets the bound model as mesh text. The output is complete or absent.
Status writePose(const Pose& pose, const ModelFile& source, const Binding& binding);

// Fails, naming both formats, when `outFile` names a model format other than the model's own
// (`source`, as read): a deformed copy is written in its own format or as mesh text.
Status checkDeformedFormat(const ModelFile& source, const std::string& outFile);

// What writePose writes once the moved control positions (3 x n) are known: `model`, bound by
// `relation` (the bound model, or the model file read again), deformed and written to `outFile`.
Status writeDeformedCopy(const Relation& relation, const Mesh& model, const ModelFile& source,
                         const Matrix& moved, const std::string& outFile);

}  // namespace cagewarp
