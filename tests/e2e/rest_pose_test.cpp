#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "tests/e2e/program_runner.h"
#include "tests/support/array_text.h"

namespace cagewarp::testing {
namespace {

using Points = std::vector<std::array<double, 3>>;

Points parsePoints(const std::string& meshText) {
  std::istringstream in(meshText.substr(meshText.find("v 3 ") + 4));
  int count = 0;
  in >> count;
  Points points(count);
  for (auto& p : points) in >> p[0] >> p[1] >> p[2];
  return points;
}

std::string meshText(const Points& points, const std::string& cells) {
  std::string text = "v 3 " + std::to_string(points.size()) + "\n";
  char line[96];
  for (const auto& p : points) {
    std::snprintf(line, sizeof line, "%.9g %.9g %.9g\n", p[0], p[1], p[2]);
    text += line;
  }
  return text + cells;
}

// Random points inside the convex hull of the corners, rounded to float.
Points interiorPoints(const Points& corners, int count) {
  std::mt19937 random(count);
  std::uniform_real_distribution<double> weight(1.0, 3.0);
  Points points(count);
  for (auto& p : points) {
    double total = 0;
    p = {0, 0, 0};
    for (const auto& c : corners) {
      const double w = weight(random);
      total += w;
      for (int d = 0; d < 3; ++d) p[d] += w * c[d];
    }
    for (int d = 0; d < 3; ++d) p[d] = static_cast<float>(p[d] / total);
  }
  return points;
}

struct RestPose {
  int enclosed = 0;
  double error = 0;  // largest |P D - model| over the enclosed vertices, relative to the cage size
};

// Runs the program and puts the unmoved cage through D.
RestPose restPose(const std::string& cage, const std::string& model,
                  const std::vector<std::string>& options) {
  ProgramRunner runner;
  runner.write("cage.txt", cage);
  runner.write("model.txt", model);
  std::vector<std::string> args = {"cage.txt", "model.txt"};
  args.insert(args.end(), options.begin(), options.end());
  const RunResult r = runner.run(args);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  const Points control = parsePoints(cage);
  const Points vertices = parsePoints(model);
  const ArrayText d = parseArrayText(runner.read("cage.txt.mat"));
  const ArrayText ind = parseArrayText(runner.read("cage.txt.ind"));
  const int n = static_cast<int>(control.size());
  RestPose pose{static_cast<int>(ind.values.size()), 0};
  EXPECT_EQ(d.sizes, (std::vector<int>{n, pose.enclosed}));
  double size = 0;
  for (int k = 0; k < 3; ++k) {
    auto [lo, hi] = std::minmax_element(control.begin(), control.end(),
                                        [k](const auto& a, const auto& b) { return a[k] < b[k]; });
    size = std::max(size, (*hi)[k] - (*lo)[k]);
  }
  for (int j = 0; j < pose.enclosed; ++j) {
    std::array<double, 3> p{};
    for (int i = 0; i < n; ++i)
      for (int k = 0; k < 3; ++k) p[k] += d.values[size_t(j) * n + i] * control[i][k];
    const auto& m = vertices[static_cast<size_t>(ind.values[j])];
    pose.error = std::max(pose.error, std::hypot(p[0] - m[0], p[1] - m[1], p[2] - m[2]) / size);
  }
  return pose;
}

// With the unmoved cage, D gives back every enclosed model vertex: the model does not jump when
// the cage is bound. Cells with bent quads, refined or not, and the bundled example.
TEST(Program, UnmovedCageReproducesTheModel) {
  Points hexahedron = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0},       {0, 1, 0},
                       {0, 0, 1}, {1, 0, 1}, {1.1, 1.1, 1.1}, {0, 1, 1}};
  Points prism = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.1, -0.05, 1.2}, {1, 0, 1}, {0, 1, 1}};
  const std::string hexCage = meshText(hexahedron, "f 7 1\n0 1 2 3 4 5 6 7\n");
  const std::string prismCage = meshText(prism, "f 6 1\n0 1 2 3 4 5\n");
  const std::string hexModel = meshText(interiorPoints(hexahedron, 400), "");
  const std::string prismModel = meshText(interiorPoints(prism, 400), "");
  const std::string exampleCage = readFile(CAGEWARP_SOURCE_DIR "/examples/cage.txt");
  const std::string exampleModel = readFile(CAGEWARP_SOURCE_DIR "/examples/model.txt");
  struct Case {
    const std::string& cage;
    const std::string& model;
    std::vector<std::string> options;
    int minimumEnclosed;
    double tolerance;
  };
  const Case cases[] = {
      {hexCage, hexModel, {}, 400, 1e-5},
      {hexCage, hexModel, {"s", "s"}, 200, 1e-5},
      {prismCage, prismModel, {}, 400, 1e-5},
      {prismCage, prismModel, {"s", "s"}, 200, 1e-5},
      {exampleCage, exampleModel, {}, 3122, 2e-5},
      {exampleCage, exampleModel, {"b", "s", "s"}, 3122, 2e-5},
  };
  for (const Case& c : cases) {
    const RestPose pose = restPose(c.cage, c.model, c.options);
    EXPECT_GE(pose.enclosed, c.minimumEnclosed) << c.options.size() << " options";
    EXPECT_LT(pose.error, c.tolerance) << c.options.size() << " options";
  }
}

}  // namespace
}  // namespace cagewarp::testing
