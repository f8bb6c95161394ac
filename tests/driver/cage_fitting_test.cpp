#include "driver/cage_fitting.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "driver/binding.h"
#include "tests/support/committed_tables.h"
#include "tests/support/outside_scenes.h"

namespace cagewarp {
namespace {

using testing::committedLookupTables;

// Points on a sphere of the given centre and radius.
std::vector<std::array<float, 3>> spherePoints(std::array<float, 3> centre, float radius) {
  std::vector<std::array<float, 3>> points;
  for (int i = 0; i <= 12; ++i)
    for (int j = 0; j < 24; ++j) {
      const double theta = 3.14159265358979 * i / 12, phi = 3.14159265358979 * j / 12;
      points.push_back({static_cast<float>(centre[0] + radius * std::sin(theta) * std::cos(phi)),
                        static_cast<float>(centre[1] + radius * std::sin(theta) * std::sin(phi)),
                        static_cast<float>(centre[2] + radius * std::cos(theta))});
    }
  return points;
}

struct FitCase {
  const char* name;
  CageShape shape;
  int cells;
  std::vector<std::array<float, 3>> points;
  std::vector<char> operations;
  std::array<int, 3> lattice;  // expected
  int parts;                   // expected
};

// Both kinds of cage enclose the model after their refinement, checked by binding it anew; fit
// keeps the cells of two spheres far apart in two parts, box covers the lattice whole.
TEST(CageFitting, CagesEncloseTheModelAfterTheirRefinement) {
  std::vector<std::array<float, 3>> twoSpheres = spherePoints({0, 0, 0}, 1);
  const std::vector<std::array<float, 3>> second = spherePoints({6, 0, 0}, 1);
  twoSpheres.insert(twoSpheres.end(), second.begin(), second.end());
  const Mesh box = testing::cubeSurfacePoints(12, 0.95f);
  std::vector<std::array<float, 3>> boxPoints;
  for (int v = 0; v < box.vertexColumns(); ++v)
    boxPoints.push_back({box.vertices(0, v), box.vertices(1, v), box.vertices(2, v)});
  std::vector<std::array<float, 3>> slab;
  for (int i = 0; i <= 20; ++i)
    for (int j = 0; j <= 10; ++j) slab.push_back({0.2f * i, 0.2f * j, 0.1f * (i % 2)});
  const FitCase cases[] = {
      {"box around a box", CageShape::box, 2, boxPoints, {'b', 's', 's'}, {2, 2, 2}, 1},
      {"box around a slab", CageShape::box, 4, slab, {'b', 's', 's'}, {4, 2, 1}, 1},
      {"box after l s s", CageShape::box, 3, twoSpheres, {'l', 's', 's'}, {3, 1, 1}, 1},
      {"fit around two spheres", CageShape::fit, 8, twoSpheres, {'b', 's', 's'}, {8, 2, 2}, 2},
      {"fit around a box", CageShape::fit, 3, boxPoints, {'b', 's', 's', 's'}, {3, 3, 3}, 1},
  };
  for (const FitCase& c : cases) {
    SCOPED_TRACE(c.name);
    CageRequest request;
    request.shape = c.shape;
    request.cells = c.cells;
    request.operations = c.operations;
    FittedCage fitted;
    const Mesh model = testing::pointModel(c.points);
    ASSERT_TRUE(fitCage(model, committedLookupTables(), request, fitted).ok);
    EXPECT_EQ((std::array<int, 3>{fitted.lattice[0], fitted.lattice[1], fitted.lattice[2]}),
              c.lattice);
    EXPECT_EQ(fitted.parts, c.parts);
    if (c.shape == CageShape::box)
      EXPECT_EQ(fitted.cage.cellCount(hexahedronType), c.lattice[0] * c.lattice[1] * c.lattice[2]);
    else
      EXPECT_LT(fitted.cage.cellCount(hexahedronType),
                c.lattice[0] * c.lattice[1] * c.lattice[2] * 27);
    BindingOptions options;
    options.operations = c.operations;
    Binding binding;
    ASSERT_TRUE(bindModel(fitted.cage, model, committedLookupTables(), options, binding).ok);
    EXPECT_EQ(binding.outside.count, 0);
    EXPECT_EQ(binding.relation.enclosedIndices.count(), model.vertexColumns());
  }
}

TEST(CageFitting, RefusesWhatCannotBeCaged) {
  CageRequest request;
  FittedCage fitted;
  const Mesh nothing = testing::pointModel({{NAN, 0, 0}});
  EXPECT_EQ(fitCage(nothing, committedLookupTables(), request, fitted).message,
            "the model has no finite vertex");
  request.cells = 0;
  EXPECT_FALSE(
      fitCage(testing::pointModel({{0, 0, 0}}), committedLookupTables(), request, fitted).ok);
}

}  // namespace
}  // namespace cagewarp
