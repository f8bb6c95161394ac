// How far the unmoved cage puts the model: the largest distance between an enclosed model vertex
// and the cage positions times its column of D, relative to the cage size (the longest side of
// its bounding box).
//   rest_pose_error CONTROL MODEL [MAT IND]   (MAT, IND default to CONTROL.mat, CONTROL.ind)
// CONTROL in any cage format, MODEL in any model or cage format.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "formats/array_file.h"
#include "formats/cage_file.h"
#include "formats/model_file.h"
#include "relate/point_location.h"

namespace {

using cagewarp::Mesh;

int fail(const std::string& what) {
  std::fprintf(stderr, "rest_pose_error: %s\n", what.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 5) {
    std::fprintf(stderr, "usage: rest_pose_error CONTROL MODEL [MAT IND]\n");
    return 2;
  }
  const std::string controlName = argv[1];
  Mesh control(3), model(3);
  cagewarp::Warnings warnings;  // the reader's notes change nothing measured here
  if (auto s = cagewarp::readCage(controlName, control, warnings); !s.ok) return fail(s.message);
  cagewarp::ModelFile source;
  if (auto s = cagewarp::readModelMesh(argv[2], source, model, warnings); !s.ok)
    return fail(s.message);
  const int c = control.xyzRow;
  const std::string matName = argc == 5 ? argv[3] : controlName + ".mat";
  const std::string indName = argc == 5 ? argv[4] : controlName + ".ind";
  const auto d = cagewarp::loadArrayText<float>(matName);
  if (!d.status.ok) return fail(d.status.message);
  if (d.array.n() != 2) return fail(matName + ": not a matrix");
  const auto ind = cagewarp::loadArrayText<int32_t>(indName);
  if (!ind.status.ok) return fail(ind.status.message);
  const int n = control.vertexColumns();
  const int e = ind.array.count();
  if (d.array.rows() != n || d.array.cols() != e)
    return fail("D does not fit the cage and the index list");

  double lo[3], hi[3];
  for (int k = 0; k < 3; ++k) {
    lo[k] = std::numeric_limits<double>::infinity();
    hi[k] = -lo[k];
  }
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::min(lo[k], double(control.vertices(c + k, i)));
      hi[k] = std::max(hi[k], double(control.vertices(c + k, i)));
    }
  const double size = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});

  const int s = cagewarp::modelPositionRow(model.vertexRows());
  double worst = 0;
  int worstVertex = -1;
  for (int j = 0; j < e; ++j) {
    const int J = ind.array[j];
    if (J < 0 || J >= model.vertexColumns()) return fail(indName + ": index outside the model");
    double p[3] = {0, 0, 0};
    for (int i = 0; i < n; ++i)
      for (int k = 0; k < 3; ++k) p[k] += double(d.array.at(i, j)) * control.vertices(c + k, i);
    const double error = std::hypot(p[0] - model.vertices(s, J), p[1] - model.vertices(s + 1, J),
                                    p[2] - model.vertices(s + 2, J));
    if (!(error <= worst)) {
      worst = error;
      worstVertex = J;
    }
  }
  std::printf(
      "enclosed %d of %d; cage size %g; max error %g (%.3g of the cage size) at vertex %d\n", e,
      model.vertexColumns(), size, worst, worst / size, worstVertex);
  return 0;
}
