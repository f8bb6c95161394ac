// Wall time of each phase of a run on a generated scene: a warped hexahedral cage of K^3 cells
// and M scattered model points, refined by the given options.
//   phase_bench TABLE_DIR K M [options...]     e.g. phase_bench tab 10 100000
//   phase_bench TABLE_DIR K M b s s s
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "array/array_file.h"
#include "driver/table_loader.h"
#include "mesh/mesh_file.h"
#include "relate/deformation.h"
#include "relate/point_location.h"
#include "subdiv/add_boundary.h"
#include "subdiv/subdivide.h"
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

void check(const cagewarp::Status& status) {
  if (!status.ok) {
    std::fprintf(stderr, "phase_bench: %s\n", status.message.c_str());
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace cagewarp;
  if (argc < 4) {
    std::fprintf(stderr, "usage: phase_bench TABLE_DIR K M [options...]\n");
    return 2;
  }
  const std::string tableDir = argv[1];
  const int k = std::atoi(argv[2]);
  const int m = std::atoi(argv[3]);
  const auto workDir = std::filesystem::temp_directory_path() / "cagewarp-bench";
  std::filesystem::create_directories(workDir);
  const std::string cageFile = (workDir / "cage.txt").string();
  const std::string modelFile = (workDir / "model.txt").string();
  scene::writeScene(scene::warpedHexCage(k), cageFile, "bench cage");
  scene::writeScene(scene::scatteredPoints(m, 1), modelFile, "bench points");

  arrayIoReport = false;
  Warnings warnings;
  Stopwatch clock;
  const LookupTables tables = loadLookupTables(tableDir, warnings);
  Mesh control;
  control.tables = loadMeshTables(tableDir, warnings);
  Mesh model;
  report("load tables", clock.lap());
  check(readText(control, cageFile));
  check(readText(model, modelFile));
  report("read meshes", clock.lap(), control.summary() + " " + model.summary());
  const Mesh unrefined = control;
  const int n = control.vertexColumns();
  control.vertices.appendRows(Matrix(n, n, "eye"));
  report("append weight rows", clock.lap());

  for (int i = 4; i < argc; ++i) {
    const char option = argv[i][0];
    if (option == 'b') {
      check(addBoundary(control, tables));
      report("add boundary", clock.lap(), control.summary());
    } else if (option == 'l' || option == 's') {
      check(subdivide(control, tables, option == 'l' ? linearSubdivision : normalSubdivision,
                      warnings));
      report(option == 'l' ? "linear subdivision" : "normal subdivision", clock.lap(),
             control.summary());
    }
  }

  {
    clock.lap();
    const ModelLocation location =
        locateModelVertices(control, model.vertices, unrefined.vertexRows(), tables, warnings);
    report("locate (alone)", clock.lap(),
           std::to_string(location.weights.rows) + " x " +
               std::to_string(location.weights.columns.size()) + " W, stored by column");
  }
  clock.lap();
  const Relation relation = relateModel(model, unrefined, control, tables, warnings);
  const double relate = clock.lap();
  const int64_t entries =
      int64_t{relation.deformationMatrix.rows()} * relation.deformationMatrix.cols();
  report(
      "relate (locate, D, sparse)", relate,
      std::to_string(relation.enclosedIndices.count()) + " of " + std::to_string(m) + " enclosed");
  saveArray(relation.deformationMatrix, (workDir / "cage.txt.mat").string());
  const double write = clock.lap();
  char rate[64];
  std::snprintf(rate, sizeof rate, "%lld entries, %.0f M entries/s",
                static_cast<long long>(entries), entries / write / 1e6);
  report("write D", write, rate);
  saveArray(relation.enclosedIndices, (workDir / "cage.txt.ind").string());
  report("write index list", clock.lap());
  for (const std::string& w : warnings) std::fprintf(stderr, "warning: %s\n", w.c_str());
  std::filesystem::remove_all(workDir);
  return 0;
}
