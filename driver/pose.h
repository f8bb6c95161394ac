#pragma once

#include <string>
#include <vector>

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
// control mesh as loaded). A model read from a model format file (`source`) and written in that
// format keeps every other byte as read; a model written in another format the program writes
// is written fresh in it (positions, faces and normals where both formats hold them); any
// extension the format table does not list gets the bound model as mesh text. Stored normals of
// moved faces are recomputed unless `keepNormals` (see writeDeformedModel); a fresh file gets
// normals per vertex from the deformed faces when the model had normals. The output is complete
// or absent.
Status writePose(const Pose& pose, const ModelFile& source, const Binding& binding,
                 bool keepNormals = false);

// Fails, naming the file and the formats a model can be written in, for the first pose whose
// output names a format the program reads but cannot write a model in; checked before a run.
Status checkPoseOutputs(const std::vector<Pose>& poses);

// Fails, naming the file and the formats a model can be written in, when `outFile` names a
// format the program reads but cannot write a model in.
Status checkDeformedFormat(const std::string& outFile);

// What writePose writes once the moved control positions (3 x n) are known: `model`, bound by
// `relation` (the bound model, or the model file read again), deformed and written to `outFile`.
Status writeDeformedCopy(const Relation& relation, const Mesh& model, const ModelFile& source,
                         const Matrix& moved, const std::string& outFile, bool keepNormals = false);

}  // namespace cagewarp
