// Writes the deterministic scenes of the example and the benchmarks as mesh text files.
//   make_scene cage K FILE         warped hexahedral cage of K x K x K cells
//   make_scene points M SEED FILE [SPREAD]
//                                  M scattered points (a model without cells) over the unit
//                                  cube grown by SPREAD on every side (default 0.03)
//   make_scene sphere RINGS FILE   a triangle sphere inside the unit cube
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/scene.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: make_scene cage K FILE | points M SEED FILE [SPREAD] | sphere RINGS FILE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace cagewarp::scene;
  if (argc < 4) return usage();
  const std::string kind = argv[1];
  const int size = std::atoi(argv[2]);
  if (size <= 0) return usage();
  SceneMesh mesh;
  std::string path;
  if (kind == "cage") {
    mesh = warpedHexCage(size);
    path = argv[3];
  } else if (kind == "points" && (argc == 5 || argc == 6)) {
    const uint64_t seed = std::strtoull(argv[3], nullptr, 10);
    const double spread = argc == 6 ? std::atof(argv[5]) : 0;
    mesh = argc == 6 ? scatteredPoints(size, seed, -spread, 1 + 2 * spread)
                     : scatteredPoints(size, seed);
    path = argv[4];
  } else if (kind == "sphere") {
    mesh = sphere(size, 2 * size, 0.35f);
    path = argv[3];
  } else {
    return usage();
  }
  if (!writeScene(mesh, path, "cagewarp " + kind + " scene")) {
    std::fprintf(stderr, "make_scene: cannot write %s\n", path.c_str());
    return 1;
  }
  return 0;
}
