#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "array/status.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"

namespace cagewarp {

struct OutsideVertices;
struct Pose;
struct Relation;

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
  writeCage,
  deform,  // once per pose
  writeRefined,
  writeMatrix,
  writeIndices,
};

// An operation on the control mesh: refines it in place with the tables, on `threads` threads;
// problems that do not stop it go to `warnings`.
using Operation = Status (*)(Mesh& control, const LookupTables& tables, Warnings& warnings,
                             int threads);

// What the front ends say about a phase. Adding an operation is one row of the table in
// phases.cpp and its function.
struct PhaseInfo {
  Phase phase;
  char letter;              // the operation's letter on the command line; 0 for other phases
  Operation apply;          // operations only
  const char* label;        // a short name for reports ("add boundary")
  const char* description;  // what the run is doing, for messages ("adding the boundary")
  const char* startLine;    // the line on standard output as it starts (%s: its file), or null
  const char* help;         // operations: what --help says of it
};

const PhaseInfo& phaseInfo(Phase phase);

// The operation of a job's letter, or null for a letter that is not one (skipped).
const PhaseInfo* operationOf(char letter);

// What the run is doing, as a few words for messages ("reading the control mesh").
const char* describe(Phase phase);

// Whether a job's operation letter changes the control mesh (b, l, s); others are skipped.
bool isOperation(char letter);

// The operations' lines of the usage screen ("         b - add boundary") and of --help, each
// with its newline.
std::string operationUsageLines();
std::string operationHelpLines();

// Receives the progress of a run. Every call happens on the thread of the run, in order.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // A phase begins; `file` is the file it reads or writes, if any.
  virtual void started(Phase, const std::string& /*file*/) {}
  // A phase ended; `mesh` is the mesh it read or changed, or null.
  virtual void finished(Phase, const Mesh* /*mesh*/) {}
  // The control mesh after its last operation, before the model is related to it.
  virtual void refined(const Mesh& /*control*/) {}
  // The model related to the refined control mesh.
  virtual void related(const Relation& /*relation*/) {}
  // Model vertices outside every cell, reported after relating when there are any.
  virtual void outside(const OutsideVertices& /*vertices*/) {}
  // A pose whose model could not be written; the outputs go on with the next pose.
  virtual void poseFailed(const Pose& /*pose*/, const Status& /*status*/) {}
  // A result file of `phase` that could not be written; the outputs go on with the next.
  virtual void writeFailed(Phase, const std::string& /*file*/, const Status& /*status*/) {}
  // The text that shows an array just written, for standard output; only asked for by a run
  // that echoes its results.
  virtual void echo(const std::string& /*text*/) {}
  // A problem that does not stop the run.
  virtual void warning(const std::string& /*message*/) {}
  // A count the relate phase advances, from other threads too, as it locates model vertices;
  // none by default.
  virtual std::atomic<int64_t>* locatedCounter() { return nullptr; }
};

}  // namespace cagewarp
