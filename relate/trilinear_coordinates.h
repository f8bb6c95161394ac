#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "array/status.h"
#include "mesh/mesh.h"

namespace cagewarp {

// How far outside its reference cell a solution may lie and still count as inside, in reference
// units: the hexahedron's and the prism's reference edges have length 1, barycentric coordinates
// run from 0 to 1. A point on a face shared by two cells then belongs to both whatever the
// rounding of either solve (about 1e-15 here) and gets the mean of two equal results; a point
// 1e-6 outside moves by at most that much times the change of slope across the face.
inline constexpr double referenceTolerance = 1e-6;

// Newton steps after which a solve that has not converged is given up.
inline constexpr int newtonStepLimit = 20;

// A step shorter than this (in reference units) ends Newton's method: convergence is quadratic,
// so the solution is then exact to the rounding of the double-precision map.
inline constexpr double newtonStepTolerance = 1e-9;

enum class Containment {
  outside,
  inside,
  unsolved,  // Newton's method did not converge: the coordinates are unknown
};

struct IsoparametricResult {
  Containment containment = Containment::outside;
  int steps = 0;  // Newton steps taken; 0 for tetrahedra and octahedra
};

// Corner positions of one volume cell in its local numbering (the first 4, 6 or 8 used).
using CellCorners = std::array<std::array<double, 3>, 8>;

// Isoparametric coordinates of point p in a volume cell of type t, the weights finite-element
// codes use: the hexahedron's 8 trilinear basis values and the prism's 6 (linear on the triangle
// times linear along the axis) at the solution of x(u, v, w) = p, found by Newton's method from
// the cell centre in double precision; a tetrahedron's barycentric coordinates; an octahedron's
// in the one of its four tetrahedra around the 0-5 axis that holds p. The map restricted to a face
// depends on that face's corners alone, so cells sharing a face agree on it. lambda[0..k-1] gets
// the weights, rounded to float, when p is inside (within referenceTolerance).
IsoparametricResult isoparametricCoordinates(int t, const CellCorners& corners, const float p[3],
                                             float* lambda);

// Whether the cell's map keeps a positive Jacobian determinant at every corner and at the centre
// (a tetrahedron: positive volume; an octahedron: its four tetrahedra). A cell that fails is
// inverted or so warped that its map folds, and its coordinates would be meaningless.
bool hasPositiveJacobian(int t, const CellCorners& corners);

// The volume cells of one type with their isoparametric coordinates, remembering the cells where
// a point got other coordinates because these failed (an inverted cell, or Newton's method not
// converging), for one warning. Refers to `control`, which must outlive it.
class IsoparametricCells {
 public:
  IsoparametricCells(const Mesh& control, int t);

  // isoparametricCoordinates for cell c, or unsolved, without trying, for a cell that fails
  // hasPositiveJacobian. Safe to call from several threads at once.
  Containment coordinates(int c, const float p[3], float* lambda);

  // Notes that a point for which cell c answered unsolved was found inside it by other means.
  // A point that is outside anyway has lost nothing and is not noted.
  void noteFallback(int c);

  // One warning for the inverted cells and one for the cells where Newton's method gave up,
  // counting the noted cells and naming the first few by their index among the type's cells;
  // `fallback` says what the points there got instead.
  void addWarnings(Warnings& warnings, const char* fallback) const;

 private:
  const Mesh& control_;
  int type_;
  // Per cell: bit 0 checked, bit 1 inverted, bit 2 a point fell back.
  std::unique_ptr<std::atomic<uint8_t>[]> state_;
};

}  // namespace cagewarp
