#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "array/status.h"
#include "driver/pose.h"
#include "formats/model_file.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"
#include "relate/deformation.h"

namespace cagewarp {

// How the refined control vertices carry their weights over the control vertices as loaded:
// dense rows below the positions, or sorted sparse columns beside them. Both give the same floats;
// automatic takes the sparse form where it is exact and faster.
enum class WeightForm { automatic, dense, sparse };

// What one run does: read both meshes, refine the control mesh by the operations in order,
// relate the model to the refined control mesh, and write the model deformed by each pose.
struct Job {
  std::string controlFile;
  std::string modelFile;
  // Operation letters in order: 'b' add boundary, 'l' linear and 's' normal subdivision; other
  // letters are the front end's business and are passed over.
  std::vector<char> operations;
  std::string tableDirectory = defaultTableDirectory;
  std::vector<Pose> poses;
  // Threads an operation may use.
  int threads = static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
  // The cell coordinates model vertices are located with.
  Coordinates coordinates = Coordinates::wachspress;
  // Where to write the refined control mesh, positions only, for viewing; none when empty.
  std::string cageOutFile;
  // Not a user option: tests force each form to compare them. A forced sparse form is exact only
  // with finite interface, average and blend tables.
  WeightForm weightForm = WeightForm::automatic;
};

// The steps of a run, in the order they happen (operations repeat).
enum class Phase {
  loadTables,
  readControl,
  readModel,
  appendWeightRows,
  addBoundary,
  linearSubdivision,
  normalSubdivision,
  writeCage,
  relate,
  deform,  // once per pose
};

// What the run is doing, as a few words for messages ("reading the control mesh").
const char* describe(Phase phase);

// Whether a job's operation letter changes the control mesh (b, l, s); others are skipped.
bool isOperation(char letter);

// Receives the progress of a run. Every call happens on the thread of the run, in order.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // A phase begins; `file` is the file it reads, if any.
  virtual void started(Phase, const std::string& /*file*/) {}
  // A phase ended without failing; `mesh` is the mesh it read or changed, or null.
  virtual void finished(Phase, const Mesh* /*mesh*/) {}
  // The control mesh after its last operation, before the model is related to it.
  virtual void refined(const Mesh& /*control*/) {}
  // Model vertices outside every cell, reported after relating when there are any.
  virtual void outside(const OutsideVertices& /*vertices*/) {}
  // A pose whose model could not be written; the run goes on with the next pose.
  virtual void poseFailed(const Pose& /*pose*/, const Status& /*status*/) {}
  // A problem that does not stop the run.
  virtual void warning(const std::string& /*message*/) {}
  // A count the relate phase advances, from other threads too, as it locates model vertices;
  // none by default.
  virtual std::atomic<int64_t>* locatedCounter() { return nullptr; }
};

// What a run leaves: the meshes and the relation. On failure the status names the problem and
// the other members hold whatever was reached.
struct RunOutcome {
  Status status;
  LookupTables tables;
  Mesh control;           // refined, with the weight rows below the positions
  int weightRow = 0;      // the first weight row of the control vertex values
  Mesh model;             // enclosed vertices placed where the relation puts them
  ModelFile modelSource;  // the file as read, for an OBJ, OFF, PLY or STL model
  Relation relation;
  // How writing Job::cageOutFile went; a failure there does not stop the run.
  Status cageOut;
  int failedPoses = 0;
};

// Runs a job, telling the observer as it goes. Without a table directory the run goes on
// without tables after one warning, and the warnings that would only repeat it are dropped.
// Running out of memory throws std::bad_alloc.
RunOutcome runJob(const Job& job, RunObserver& observer);

}  // namespace cagewarp
