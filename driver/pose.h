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

}  // namespace cagewarp
