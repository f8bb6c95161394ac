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
  // Operation letters in order: 'b' add boundary, 'l' linear and 's' normal subdivision; other
  // letters are the front end's business and are passed over.
  std::vector<char> operations;
  // The table directory; when empty, the first of the usual places that exists (see
  // findTableDirectory).
  std::string tableDirectory;
  std::vector<Pose> poses;
  // Threads an operation may use.
  int threads = BindingOptions().threads;
  // The cell coordinates model vertices are located with.
  Coordinates coordinates = Coordinates::wachspress;
  // Where to write the refined control mesh, positions only, for viewing; none when empty.
  std::string cageOutFile;
  // The result files (OutputRequest); none when empty. D and the list are echoed when `echo`.
  std::string refinedFile;
  std::string matrixFile;
  bool matrixMarket = false;
  std::string indexFile;
  bool echo = false;
  // Not a user option: tests force each form to compare them. A forced sparse form is exact only
  // with finite interface, average and blend tables.
  WeightForm weightForm = WeightForm::automatic;
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
