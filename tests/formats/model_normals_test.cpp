#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "formats/model_file.h"
#include "tests/support/cylinder_model.h"
#include "tests/support/temp_dir.h"

namespace cagewarp {
namespace {

using testing::Cylinder;
using testing::TempDir;

// The upper half turns about the axis, up to a quarter turn at the top; the lower half stays.
constexpr float twistStart = 0.5f;
float twistAngle(float z) {
  return z <= twistStart
             ? 0.0f
             : static_cast<float>(std::numbers::pi / 2) * (z - twistStart) / (1 - twistStart);
}

// The text of every normal coordinate, by normal and axis.
std::vector<std::string> normalTexts(const ModelFile& model) {
  std::vector<std::string> texts(static_cast<size_t>(model.normalCount) * 3);
  for (const CoordinateSite& site : model.normalSites)
    texts[static_cast<size_t>(site.vertex) * 3 + site.axis] =
        model.text().substr(static_cast<size_t>(site.offset), static_cast<size_t>(site.length));
  return texts;
}

// The angle in degrees between a stored normal and where it should point. A twist keeps every
// point on the cylinder, so a vertex normal should point away from the axis at its vertex; a
// facet normal should stand at right angles to its facet's edges (the facet is flat, and on a
// coarse twisted cylinder it may lean off the surface).
double misfit(const ModelFile& model, const Matrix& twisted, const std::vector<float>& normals,
              size_t corner, size_t face, size_t normal, bool perFacet) {
  const int32_t* corners = model.faceCorners.data() + model.faceStarts[face];
  const float* n = normals.data() + normal * 3;
  const auto degrees = [](double cosine) {
    return std::acos(std::clamp(cosine, -1.0, 1.0)) * 180 / std::numbers::pi;
  };
  if (!perFacet) {
    const int32_t vertex = model.faceCorners[corner];
    const double x = twisted(0, vertex), y = twisted(1, vertex);
    return degrees((n[0] * x + n[1] * y) / std::hypot(x, y));
  }
  double worst = 0;
  for (int k = 0; k < 3; ++k) {
    double edge[3];
    for (int axis = 0; axis < 3; ++axis)
      edge[axis] = twisted(axis, corners[(k + 1) % 3]) - twisted(axis, corners[k]);
    const double along = (n[0] * edge[0] + n[1] * edge[1] + n[2] * edge[2]) /
                         std::sqrt(edge[0] * edge[0] + edge[1] * edge[1] + edge[2] * edge[2]);
    worst = std::max(worst, 90 - degrees(std::abs(along)));
  }
  return worst;
}

TEST(ModelNormals, ATwistedCylindersNormalsFollowTheTwistAndUnmovedOnesKeepTheirBytes) {
  const struct {
    const char* extension;
    bool perFacet;
    double tolerance;  // degrees
  } formats[] = {{"obj", false, 1.0}, {"ply", false, 1.0}, {"stl", true, 0.01}};
  const Cylinder cylinder;
  TempDir dir;
  for (const auto& format : formats) {
    SCOPED_TRACE(format.extension);
    const std::string in = dir.file(std::string("in.") + format.extension);
    testing::writeFile(in, cylinder.file(format.extension));
    ModelFile model;
    ASSERT_TRUE(readModelFile(in, model).ok);
    ASSERT_GT(model.normalCount, 0);
    const Matrix& v = model.mesh.vertices;
    IntArray all({v.cols()}, 0);
    Matrix twisted(3, v.cols());
    for (int j = 0; j < v.cols(); ++j) {
      all[j] = j;
      const float turn = twistAngle(v(2, j));
      twisted(0, j) = std::cos(turn) * v(0, j) - std::sin(turn) * v(1, j);
      twisted(1, j) = std::sin(turn) * v(0, j) + std::cos(turn) * v(1, j);
      twisted(2, j) = v(2, j);
    }
    // Whether a face that uses each normal moved, and a face and corner that use it.
    std::vector<char> moved(static_cast<size_t>(model.normalCount), 0);
    std::vector<size_t> faceOf(static_cast<size_t>(model.normalCount), 0);
    std::vector<size_t> cornerOf(static_cast<size_t>(model.normalCount), 0);
    for (size_t face = 0; face + 1 < model.faceStarts.size(); ++face) {
      bool faceMoved = false;
      for (int32_t c = model.faceStarts[face]; c < model.faceStarts[face + 1]; ++c)
        faceMoved = faceMoved || v(2, model.faceCorners[static_cast<size_t>(c)]) > twistStart;
      for (int32_t c = model.faceStarts[face]; c < model.faceStarts[face + 1]; ++c) {
        const auto normal = static_cast<size_t>(model.cornerNormals[static_cast<size_t>(c)]);
        moved[normal] = moved[normal] || faceMoved;
        faceOf[normal] = face;
        cornerOf[normal] = static_cast<size_t>(c);
      }
    }

    for (const bool keep : {false, true}) {
      SCOPED_TRACE(keep ? "kept" : "recomputed");
      const std::string out = dir.file(std::string(keep ? "kept." : "out.") + format.extension);
      ASSERT_TRUE(writeDeformedModel(model, all, twisted, out, keep).ok);
      ModelFile after;
      ASSERT_TRUE(readModelFile(out, after).ok);
      ASSERT_EQ(after.normalCount, model.normalCount);
      const std::vector<std::string> before = normalTexts(model), now = normalTexts(after);
      double worst = 0;
      for (size_t k = 0; k < static_cast<size_t>(model.normalCount); ++k) {
        worst = std::max(worst, misfit(model, twisted, after.normalValues, cornerOf[k], faceOf[k],
                                       k, format.perFacet));
        if (moved[k] && !keep) continue;
        for (size_t axis = 0; axis < 3; ++axis)
          EXPECT_EQ(now[k * 3 + axis], before[k * 3 + axis]) << "normal " << k;
      }
      // Kept normals still point where the vertices were before the quarter turn.
      if (keep)
        EXPECT_GT(worst, 45.0);
      else
        EXPECT_LT(worst, format.tolerance) << "worst " << worst;
    }
  }
}

}  // namespace
}  // namespace cagewarp
