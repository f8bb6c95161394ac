#pragma once

#include <string>
#include <vector>

#include "array/status.h"
#include "driver/binding.h"
#include "driver/phases.h"
#include "driver/pose.h"
#include "formats/model_file.h"

namespace cagewarp {

// The files a run writes from a binding; an empty name writes nothing.
struct OutputRequest {
  // The refined control mesh, positions only, for viewing.
  std::string cageOutFile;
  std::vector<Pose> poses;
  // Poses keep the normals as read instead of recomputing those of moved faces.
  bool keepNormals = false;
  // The refined control mesh with its weight rows, as mesh text.
  std::string refinedFile;
  // D, as an array text file or (matrixMarket) a Matrix Market file.
  std::string matrixFile;
  bool matrixMarket = false;
  // The enclosed model vertex indices, as an array text file.
  std::string indexFile;
  // Whether D and the index list are echoed (RunObserver::echo) as they are written.
  bool echo = false;
  // Threads formatting D (0: one per core).
  int threads = 0;
};

// How the writing went; a failed file does not stop the others.
struct OutputOutcome {
  Status cageOut;
  int failedPoses = 0;
  int failedFiles = 0;  // the refined mesh, D and the index list

  bool allWritten() const { return cageOut.ok && failedPoses == 0 && failedFiles == 0; }
};

// Writes the requested files in the order the members above list them, telling the observer as
// it goes; a failed --cage-out file is reported after the poses. `source` is the model file as
// read, for poses of OBJ, OFF, PLY and STL models. Each file is complete or absent.
OutputOutcome writeOutputs(const Binding& binding, const ModelFile& source,
                           const OutputRequest& request, RunObserver& observer);

}  // namespace cagewarp
