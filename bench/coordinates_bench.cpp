// Locating M scattered points in a refined warped hexahedral cage of K^3 cells with Wachspress and
// with trilinear coordinates, at one and two threads, and how many Newton steps the trilinear
// solves took (every cell tested against every point in its bounding box).
//   coordinates_bench TABLE_DIR K M [options...]    e.g. coordinates_bench tab 4 1000000 b s s
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/pipeline.h"
#include "relate/point_location.h"
#include "relate/trilinear_coordinates.h"
#include "tools/scene.h"

namespace {

using namespace cagewarp;

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Newton steps over (hexahedron or prism, point in its box) pairs.
struct NewtonSteps {
  long long solves = 0, total = 0;
  int most = 0;
  std::vector<long long> histogram = std::vector<long long>(newtonStepLimit + 1, 0);
  void add(int steps) {
    ++solves;
    total += steps;
    most = std::max(most, steps);
    ++histogram[steps];
  }
  void print(const char* what) const {
    std::printf("Newton, %s: %lld solves, %.2f steps on average, %d at most; steps:", what, solves,
                solves > 0 ? static_cast<double>(total) / solves : 0.0, most);
    for (int s = 0; s <= newtonStepLimit; ++s)
      if (histogram[s] > 0) std::printf(" %d:%lld", s, histogram[s]);
    std::printf("\n");
  }
};

void countSteps(const Mesh& control, int t, const Matrix& points, const std::vector<float>& xs,
                NewtonSteps* steps) {
  for (int c = 0; c < control.cellCount(t); ++c) {
    CellCorners corners{};
    float low[3] = {1e30f, 1e30f, 1e30f}, high[3] = {-1e30f, -1e30f, -1e30f};
    for (int h = 0; h < verticesPerCell[t]; ++h) {
      const float* x = control.vertices.column(control.cells[t].at(h, c));
      for (int d = 0; d < 3; ++d) {
        corners[h][d] = x[d];
        low[d] = std::min(low[d], x[d]);
        high[d] = std::max(high[d], x[d]);
      }
    }
    if (!hasPositiveJacobian(t, corners)) continue;
    // The points are sorted by x: only those in the box's x range are looked at.
    int j = static_cast<int>(std::lower_bound(xs.begin(), xs.end(), low[0]) - xs.begin());
    for (; j < points.cols() && points(0, j) <= high[0]; ++j) {
      const float* p = points.column(j);
      if (p[1] < low[1] || p[1] > high[1] || p[2] < low[2] || p[2] > high[2]) continue;
      float lambda[8];
      const IsoparametricResult r = isoparametricCoordinates(t, corners, p, lambda);
      steps[static_cast<int>(r.containment)].add(r.steps);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: coordinates_bench TABLE_DIR K M [options...]\n");
    return 2;
  }
  const int k = std::atoi(argv[2]);
  const int m = std::atoi(argv[3]);
  const auto workDir =
      std::filesystem::temp_directory_path() / ("cagewarp-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(workDir);
  Job job;
  job.controlFile = (workDir / "cage.txt").string();
  job.modelFile = (workDir / "model.txt").string();
  job.tableDirectory = argv[1];
  for (int i = 4; i < argc; ++i) job.binding.operations.push_back(argv[i][0]);
  scene::writeScene(scene::warpedHexCage(k), job.controlFile, "bench cage");
  // The run only refines the cage; its one model point costs nothing to locate.
  scene::writeScene(scene::scatteredPoints(1, 1), job.modelFile, "bench point");
  RunObserver quiet;
  const RunOutcome run = runJob(job, quiet);
  std::filesystem::remove_all(workDir);
  if (!run.status.ok) {
    std::fprintf(stderr, "coordinates_bench: %s\n", run.status.message.c_str());
    return 1;
  }
  const scene::SceneMesh scattered = scene::scatteredPoints(m, 1);
  Matrix points(3, m);
  for (int j = 0; j < m; ++j) {
    points(0, j) = scattered.vertices[j].x;
    points(1, j) = scattered.vertices[j].y;
    points(2, j) = scattered.vertices[j].z;
  }
  std::printf("K=%d, %d points, refined cage %s\n", k, m, run.control.summary().c_str());
  // A run not counted, then each case twice, the faster counted: the first runs of a process also
  // pay for mapping the memory that later runs reuse.
  {
    Warnings warnings;
    locateModelVertices(run.control, points, run.weightRow, run.tables, warnings, 2);
  }
  for (const Coordinates coordinates : {Coordinates::wachspress, Coordinates::trilinear}) {
    for (int threads : {1, 2}) {
      double best = 1e30;
      Warnings warnings;
      int enclosed = 0;
      for (int repeat = 0; repeat < 2; ++repeat) {
        warnings.clear();
        const auto start = std::chrono::steady_clock::now();
        const ModelLocation location = locateModelVertices(
            run.control, points, run.weightRow, run.tables, warnings, threads, coordinates);
        best = std::min(best, secondsSince(start));
        enclosed = location.enclosureCount.find().count();
      }
      std::printf("%-10s %d thread(s): %7.3f s, %5.2f M points/s, %d enclosed, %zu warnings\n",
                  coordinates == Coordinates::trilinear ? "trilinear" : "wachspress", threads, best,
                  m / best / 1e6, enclosed, warnings.size());
      for (const std::string& w : warnings) std::printf("  warning: %s\n", w.c_str());
    }
  }
  // Newton's method, counted apart from the timing: points sorted by x for the box search.
  std::vector<int> byX(m);
  for (int j = 0; j < m; ++j) byX[j] = j;
  std::sort(byX.begin(), byX.end(), [&](int a, int b) { return points(0, a) < points(0, b); });
  Matrix sorted(3, m);
  std::vector<float> xs(m);
  for (int j = 0; j < m; ++j) {
    std::copy_n(points.column(byX[j]), 3, sorted.column(j));
    xs[j] = sorted(0, j);
  }
  NewtonSteps steps[3];  // by Containment: outside, inside, unsolved
  for (int t : {prismType, hexahedronType}) countSteps(run.control, t, sorted, xs, steps);
  steps[static_cast<int>(Containment::inside)].print("points inside");
  steps[static_cast<int>(Containment::outside)].print("points in the box, outside");
  steps[static_cast<int>(Containment::unsolved)].print("not converged");
  return 0;
}
