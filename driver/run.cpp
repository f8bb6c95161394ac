#include "driver/run.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "array/array_file.h"
#include "driver/messages.h"
#include "driver/pipeline.h"
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
  }
  void refined(const Mesh& control) override {
    if (!writeRefined_) return;
    doing_ = "writing the refined control mesh";
    print(messages::refinedStored, refinedFile_);
    if (!writeText(control, refinedFile_).ok) {
      reportError(refinedFile_ + ": cannot write the refined control mesh");
      writeFailed_ = true;
    }
    print(messages::refinedSummary, control.summary());
  }
  void warning(const std::string& message) override { reportError("warning: " + message); }

  // What the run is doing, for the out-of-memory message.
  const char* doing() const { return doing_; }
  void nowDoing(const char* what) { doing_ = what; }
  bool writeFailed() const { return writeFailed_; }

 private:
  std::string refinedFile_;
  bool writeRefined_;
  const char* doing_ = describe(Phase::loadTables);
  bool writeFailed_ = false;
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

// Writes D and the enclosed vertex list after the count line; false when either write failed.
bool writeRelation(const Relation& relation, int modelVertices, const std::string& controlName) {
  print(enclosedCountLine(relation.enclosedIndices.count(), modelVertices).c_str());
  bool ok = true;
  const std::string matrixName = controlName + std::string(messages::matrixSuffix);
  print(messages::matrixOutput);
  if (!saveDeformationMatrix(relation, matrixName, Echo::on).ok) {
    reportError(matrixName + ": cannot write the deformation matrix");
    ok = false;
  }
  const std::string indexName = controlName + std::string(messages::indexSuffix);
  print(messages::indexOutput);
  if (!saveArray(relation.enclosedIndices, indexName, Echo::on).ok) {
    reportError(indexName + ": cannot write the enclosed vertex indices");
    ok = false;
  }
  return ok;
}

int runOnce(const Job& job, ConsoleObserver& observer) {
  const RunOutcome run = runJob(job, observer);
  if (!run.status.ok) {
    reportError(run.status.message);
    return failureStatus;
  }
  observer.nowDoing("writing the results");
  const bool written = writeRelation(run.relation, run.model.vertexColumns(), job.controlFile);
  return written && !observer.writeFailed() ? 0 : failureStatus;
}

}  // namespace

int runCagewarp(int argc, const char* const* argv) {
  if (argc <= 1) return showUsage();
  if (argc == 2) {
    reportError("no model mesh file given");
    std::fprintf(stderr, "%s\n", messages::usageLine.data());
    return usageStatus;
  }
  Job job;
  job.controlFile = argv[1];
  job.modelFile = argv[2];
  bool writeRefined = false;
  for (int i = 3; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--threads") {
      char* end = nullptr;
      const long n = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : 0;
      if (n < 1 || n > maxThreads || *end != '\0') {
        reportError("--threads needs a thread count from 1 to " + std::to_string(maxThreads));
        return usageStatus;
      }
      job.threads = static_cast<int>(n);
      ++i;
      continue;
    }
    job.operations.push_back(argv[i][0]);
    writeRefined = writeRefined || argv[i][0] == 'o';
  }
  ConsoleObserver observer(job.controlFile + std::string(messages::refinedSuffix), writeRefined);
  try {
    return runOnce(job, observer);
  } catch (const std::bad_alloc&) {
    reportError(std::string("out of memory while ") + observer.doing());
    return failureStatus;
  }
}

}  // namespace cagewarp
