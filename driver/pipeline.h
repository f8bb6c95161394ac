#pragma once

#include <string>
#include <vector>

#include "array/status.h"
#include "driver/binding.h"
#include "driver/outputs.h"
#include "driver/phases.h"
#include "driver/pose.h"
#include "formats/model_file.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"

namespace cagewarp {

// What one run does: read both meshes, refine the control mesh by the operations in order,
// relate the model to the refined control mesh, and write the requested results.
struct Job {
  std::string controlFile;
  std::string modelFile;
  // The table directory; when empty, the first of the usual places that exists (see
  // findTableDirectory).
  std::string tableDirectory;
  // The operations, threads and coordinates; the threads also format D.
  BindingOptions binding;
  // The result files; none when empty.
  OutputRequest outputs;
};

// What a run leaves: the binding and how writing the results went (a failed file does not stop
// the run). On failure the status names the problem and the other members hold whatever was
// reached.
struct RunOutcome : Binding, OutputOutcome {
  Status status;
  LookupTables tables;
  ModelFile modelSource;  // the file as read, for an OBJ, OFF, PLY or STL model
};

// Runs a job, telling the observer as it goes: reads the tables and both meshes, binds the model
// (bindModel) and writes the results (writeOutputs). Without a table directory the run fails
// before reading or writing anything. Running out of memory throws std::bad_alloc.
RunOutcome runJob(const Job& job, RunObserver& observer);

}  // namespace cagewarp
