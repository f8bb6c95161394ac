#include "driver/run.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "array/array_file.h"
#include "driver/command_line.h"
#include "driver/messages.h"
#include "driver/pipeline.h"
#include "driver/table_search.h"
#include "formats/matrix_market.h"
#include "mesh/mesh_file.h"

namespace cagewarp {
namespace {

constexpr int failureStatus = 1;
constexpr int usageStatus = 2;
// More threads than this only cost memory.
constexpr int maxThreads = 1024;

void print(const char* format, const std::string& text) {
  std::printf(format, text.c_str());
  std::fflush(stdout);
}
void print(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

void reportError(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s%s\n", messages::errorPrefix.data(), message.c_str());
}

// The console side of a run: progress lines on standard output, warnings on standard error,
// and the refined control mesh written when asked for.
class ConsoleObserver : public RunObserver {
 public:
  ConsoleObserver(std::string refinedFile, bool writeRefined)
      : refinedFile_(std::move(refinedFile)), writeRefined_(writeRefined) {}

  void started(Phase phase, const std::string& file) override {
    doing_ = describe(phase);
    file_ = file;
    switch (phase) {
      case Phase::readControl:
        print(messages::loadControl, file);
        break;
      case Phase::readModel:
        print(messages::loadModel, file);
        break;
      case Phase::addBoundary:
        print(messages::addBoundary);
        break;
      case Phase::linearSubdivision:
        print(messages::linearSubdivision);
        break;
      case Phase::normalSubdivision:
        print(messages::normalSubdivision);
        break;
      default:
        break;
    }
  }
  void finished(Phase phase, const Mesh* mesh) override {
    if (phase == Phase::readControl) print(messages::controlSummary, mesh->summary());
    if (phase == Phase::readModel) print(messages::modelSummary, mesh->summary());
    if (phase == Phase::deform) reportError("deformed model written to " + file_);
  }
  // The refined mesh is written with the other results once the run has succeeded, so a run
  // that runs out of memory while relating leaves every earlier result as it was.
  void refined(const Mesh& control) override {
    if (!writeRefined_) return;
    print(messages::refinedStored, refinedFile_);
    print(messages::refinedSummary, control.summary());
  }
  void outside(const OutsideVertices& vertices) override {
    char distance[32];
    std::snprintf(distance, sizeof distance, "%g", vertices.largestDistance);
    reportError(std::to_string(vertices.count) + " of " + std::to_string(vertices.total) +
                " model vertices are outside every cell, up to " + distance +
                " from the control mesh's bounding box; they will not move");
  }
  void poseFailed(const Pose& /*pose*/, const Status& status) override {
    reportError(status.message);
  }
  void warning(const std::string& message) override { reportError("warning: " + message); }

  // What the run is doing, for the out-of-memory message.
  const char* doing() const { return doing_; }
  void nowDoing(const char* what) { doing_ = what; }

  // Writes the refined control mesh when asked for; false when that failed.
  bool writeRefined(const Mesh& control) {
    if (!writeRefined_) return true;
    doing_ = "writing the refined control mesh";
    if (writeText(control, refinedFile_).ok) return true;
    reportError(refinedFile_ + ": cannot write the refined control mesh");
    return false;
  }

 private:
  std::string refinedFile_;
  bool writeRefined_;
  const char* doing_ = describe(Phase::loadTables);
  std::string file_;
};

int showUsage() {
  std::string text(messages::usageTitle);
  text += std::string(projectWebAddress) + "\n";
  text += messages::usageBody;
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  std::getchar();
  return 0;
}

// How and where the results go.
struct ResultFiles {
  std::string controlName;
  bool matrixMarket = false;
  int threads = 0;
};

// Writes D as the file asked for; its echo line is the same in either format but for the name.
bool writeDeformation(const Relation& relation, int modelVertices, const ResultFiles& files) {
  if (!files.matrixMarket) {
    const std::string name = files.controlName + std::string(messages::matrixSuffix);
    if (saveDeformationMatrix(relation, name, Echo::on, files.threads).ok) return true;
    reportError(name + ": cannot write the deformation matrix");
    return false;
  }
  const std::string name = files.controlName + std::string(messages::matrixMarketSuffix);
  const Status written = writeMatrixMarket(relation, modelVertices, name, files.threads);
  print("%s", savedEchoText(name, deformationConsoleForm(relation)));
  if (written.ok) return true;
  reportError(name + ": cannot write the deformation matrix");
  return false;
}

// Writes D and the enclosed vertex list after the count line; false when either write failed.
bool writeRelation(const Relation& relation, int modelVertices, const ResultFiles& files) {
  print(enclosedCountLine(relation.enclosedIndices.count(), modelVertices).c_str());
  print(messages::matrixOutput);
  bool ok = writeDeformation(relation, modelVertices, files);
  const std::string indexName = files.controlName + std::string(messages::indexSuffix);
  print(messages::indexOutput);
  if (!saveArray(relation.enclosedIndices, indexName, Echo::on).ok) {
    reportError(indexName + ": cannot write the enclosed vertex indices");
    ok = false;
  }
  return ok;
}

int runOnce(const CommandLine& line, ConsoleObserver& observer) {
  const Job& job = line.job;
  const RunOutcome run = runJob(job, observer);
  if (!run.status.ok) {
    reportError(run.status.message);
    return failureStatus;
  }
  if (!run.cageOut.ok) reportError(run.cageOut.message);
  const bool refinedWritten = observer.writeRefined(run.control);
  observer.nowDoing("writing the results");
  const bool written = writeRelation(run.relation, run.model.vertexColumns(),
                                     {job.controlFile, line.matrixMarket, job.threads});
  return written && refinedWritten && run.cageOut.ok && run.failedPoses == 0 ? 0 : failureStatus;
}

int usageError(const std::string& message) {
  reportError(message);
  std::fprintf(stderr, "%s\n", messages::usageLine.data());
  return usageStatus;
}

int printText(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int runCagewarp(int argc, const char* const* argv) {
  CommandLine line = parseCommandLine(argc, argv);
  switch (line.action) {
    case CommandAction::usageScreen:
      return showUsage();
    case CommandAction::help:
      return printText(helpText());
    case CommandAction::version:
      return printText(versionText());
    case CommandAction::usageError:
      return usageError(line.error);
    case CommandAction::run:
      break;
  }
  Job& job = line.job;
  // Without tables every refinement fails and nothing is enclosed: stop before writing anything.
  if (Status found =
          findTableDirectory(line.tablesGiven ? job.tableDirectory : "", job.tableDirectory);
      !found.ok) {
    reportError(found.message);
    return failureStatus;
  }
  ConsoleObserver observer(job.controlFile + std::string(messages::refinedSuffix),
                           line.writeRefined);
  try {
    return runOnce(line, observer);
  } catch (const std::bad_alloc&) {
    reportError(std::string("out of memory while ") + observer.doing());
    return failureStatus;
  }
}

}  // namespace cagewarp
