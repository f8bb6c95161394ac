// Wall time of each phase of a run on a generated scene: a warped hexahedral cage of K^3 cells
// and M scattered model points, refined by the given options.
//   phase_bench TABLE_DIR K M [options...]     e.g. phase_bench tab 10 100000
//   phase_bench TABLE_DIR K M b s s s --threads 1   (the run's threads; default: one per core)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "driver/outputs.h"
#include "driver/pipeline.h"
#include "formats/array_file.h"
#include "relate/point_location.h"
#include "tools/scene.h"

namespace {

using Clock = std::chrono::steady_clock;

class Stopwatch {
 public:
  double lap() {
    const auto now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - last_).count();
    last_ = now;
    return seconds;
  }

 private:
  Clock::time_point last_ = Clock::now();
};

void report(const char* phase, double seconds, const std::string& detail = "") {
  std::printf("%-28s %9.3f s  %s\n", phase, seconds, detail.c_str());
}

// Times each phase of the run from its start to its end.
class PhaseTimer : public cagewarp::RunObserver {
 public:
  void started(cagewarp::Phase, const std::string&) override { clock_.lap(); }
  void finished(cagewarp::Phase phase, const cagewarp::Mesh* mesh) override {
    // The model's summary says nothing new after relating; the enclosed count follows the run.
    const bool showMesh = mesh != nullptr && phase != cagewarp::Phase::relate;
    seconds_ = clock_.lap();
    report(cagewarp::phaseInfo(phase).label, seconds_, showMesh ? mesh->summary() : "");
  }
  // The time of the phase that ended last.
  double seconds() const { return seconds_; }
  void warning(const std::string& message) override {
    std::fprintf(stderr, "warning: %s\n", message.c_str());
  }

 private:
  Stopwatch clock_;
  double seconds_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace cagewarp;
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: phase_bench TABLE_DIR K M [options...] [--run-only] [--dense|--sparse] "
                 "[--threads N]\n");
    return 2;
  }
  const std::string tableDir = argv[1];
  const int k = std::atoi(argv[2]);
  const int m = std::atoi(argv[3]);
  // One directory per process: benchmarks run at the same time must not share scene files.
  const auto workDir =
      std::filesystem::temp_directory_path() / ("cagewarp-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(workDir);
  const std::string cageFile = (workDir / "cage.txt").string();
  const std::string modelFile = (workDir / "model.txt").string();
  scene::writeScene(scene::warpedHexCage(k), cageFile, "bench cage");
  scene::writeScene(scene::scatteredPoints(m, 1), modelFile, "bench points");

  Job job;
  job.controlFile = cageFile;
  job.modelFile = modelFile;
  job.tableDirectory = tableDir;
  // --run-only: the run's phases alone, without timing location again or writing D and the
  // index list (D may be too large for a dense text file), so that peak memory is the run's.
  bool runOnly = false;
  for (int i = 4; i < argc; ++i) {
    if (std::string(argv[i]) == "--run-only")
      runOnly = true;
    else if (std::string(argv[i]) == "--dense")
      job.binding.weightForm = WeightForm::dense;
    else if (std::string(argv[i]) == "--sparse")
      job.binding.weightForm = WeightForm::sparse;
    else if (std::string(argv[i]) == "--threads" && i + 1 < argc)
      job.binding.threads = std::max(1, std::atoi(argv[++i]));
    else
      job.binding.operations.push_back(argv[i][0]);
  }
  PhaseTimer timer;
  const RunOutcome run = runJob(job, timer);
  if (!run.status.ok) {
    std::fprintf(stderr, "phase_bench: %s\n", run.status.message.c_str());
    return 1;
  }
  const Relation& relation = run.relation;
  report("enclosed", 0.0,
         std::to_string(relation.enclosedIndices.count()) + " of " + std::to_string(m));
  if (runOnly) {
    std::filesystem::remove_all(workDir);
    return 0;
  }
  for (int threads : {1, 2}) {
    // Location alone, on the refined mesh the run made.
    Warnings warnings;
    Stopwatch clock;
    const ModelLocation location = locateModelVertices(
        run.control, run.model.vertices, run.weightRow, run.tables, warnings, threads);
    const double seconds = clock.lap();
    char rate[96];
    std::snprintf(rate, sizeof rate, "%d thread(s): %.2f M points/s, %zu columns", threads,
                  m / seconds / 1e6, static_cast<size_t>(location.weights.cols()));
    report("locate (alone)", seconds, rate);
  }
  const int64_t entries = int64_t{relation.deformation.rows} * relation.deformation.cols();
  OutputRequest request;
  request.matrixFile = (workDir / "cage.txt.mat").string();
  for (int threads : {1, 2}) {
    request.threads = threads;
    writeOutputs(run, run.modelSource, request, timer);
    char rate[96];
    std::snprintf(rate, sizeof rate, "%d thread(s): %lld entries, %.0f M entries/s", threads,
                  static_cast<long long>(entries), entries / timer.seconds() / 1e6);
    report("  rate", 0.0, rate);
  }
  OutputRequest indexList;
  indexList.indexFile = (workDir / "cage.txt.ind").string();
  writeOutputs(run, run.modelSource, indexList, timer);
  std::filesystem::remove_all(workDir);
  return 0;
}
