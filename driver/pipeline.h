#pragma once

#include <string>
#include <vector>

#include "array/status.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"
#include "relate/deformation.h"

namespace cagewarp {

// What one run does: read both meshes, refine the control mesh by the operations in order, and
// relate the model to the refined control mesh.
struct Job {
  std::string controlFile;
  std::string modelFile;
  // Operation letters in order: 'b' add boundary, 'l' linear and 's' normal subdivision; other
  // letters are the front end's business and are passed over.
  std::vector<char> operations;
  std::string tableDirectory = defaultTableDirectory;
  // Threads an operation may use; 0 means one per core. The results do not depend on it.
  int threads = 0;
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
  relate,
};

// What the run is doing, as a few words for messages ("reading the control mesh").
const char* describe(Phase phase);

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
  // A problem that does not stop the run.
  virtual void warning(const std::string& /*message*/) {}
};

// What a run leaves: the meshes and the relation. On failure the status names the problem and
// the other members hold whatever was reached.
struct RunOutcome {
  Status status;
  LookupTables tables;
  Mesh control;       // refined, with the weight rows below the positions
  int weightRow = 0;  // the first weight row of control.vertices
  Mesh model;         // enclosed vertices placed where the relation puts them
  Relation relation;
};

// Runs a job, telling the observer as it goes. Without a table directory the run goes on
// without tables after one warning, and the warnings that would only repeat it are dropped.
// Running out of memory throws std::bad_alloc.
RunOutcome runJob(const Job& job, RunObserver& observer);

}  // namespace cagewarp
