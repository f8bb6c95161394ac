#pragma once

#include <array>
#include <vector>

#include "array/matrix.h"
#include "mesh/mesh.h"
#include "mesh/sparse_columns.h"
#include "relate/cage_surface.h"
#include "relate/deformation.h"

namespace cagewarp {

// The coordinates of a point outside a cage with respect to the nearest surface triangle
// (a, b, c) and the centroid g of its cell (the mean of the cell's vertices): the affine
// coordinates of p in the tetrahedron (a, b, c, g), found in double precision. With them the
// point follows every affine move of the cage, stays put at rest, has on the triangle the
// triangle's barycentric coordinates (those an enclosed point there gets, so nothing jumps as a
// point crosses the surface), and they stay bounded wherever the tetrahedron has volume.
// Returns false for a flat tetrahedron.
bool tetrahedronCoordinates(const std::array<double, 3>& p,
                            const std::array<std::array<double, 3>, 3>& triangle,
                            const std::array<double, 3>& centroid, std::array<double, 4>& weights);

// Model vertices outside every cell, bound to the nearest cell of the cage's surface.
struct OutsideBinding {
  IntArray vertices;       // ascending model vertex indices
  SparseColumns columns;   // column j expresses vertices[j] over the control vertices as loaded
  double largestDistance;  // of a bound vertex to the surface
};

// Binds every model vertex with no enclosing cell (`enclosed` lists the others, ascending) that
// lies within `maxDistance` of `surface`, the surface of `refinedControl`, whose weight rows
// start at `weightRow`, to the cell of the nearest surface triangle. Its coordinates there are
// the cell's own at the point just inside next to its nearest surface point q, plus the
// tetrahedronCoordinates of the vertex less those of that point (spread over the cell's vertices,
// the centroid's share 1/k to each): they give the vertex back at rest and in every affine pose,
// are those an enclosed vertex beside q has as the vertex reaches the surface, and grow linearly
// with the distance. Rounded to float once, times the cell's weight rows as an enclosed vertex's
// are. The cell's own coordinates are `coordinates` where the cell gives them, else Wachspress
// ones, as for enclosed vertices. The vertices are shared out among `threads` threads; the result
// does not depend on their number.
OutsideBinding bindOutsideVertices(const Mesh& model, const IntArray& enclosed,
                                   const Mesh& refinedControl, int weightRow,
                                   const CageSurface& surface, double maxDistance, int threads,
                                   Coordinates coordinates = Coordinates::wachspress);

// Adds the bound vertices to the relation: enclosedIndices and D's columns then list every
// vertex D moves (enclosed or bound from outside), in model order.
void addOutsideBinding(Relation& relation, const OutsideBinding& outside);

// The largest distance to `surface` of the listed model vertices: of those at a finite distance
// (-1 for none), and, not below 0, of those marked (infinity for one without a triangle).
struct FarthestFromSurface {
  double all = -1;
  double marked = 0;
};
FarthestFromSurface farthestFromSurface(const Mesh& model, const IntArray& vertices,
                                        const std::vector<bool>& marked, const CageSurface& surface,
                                        int threads);

// The median length of the distinct edges of the mesh's cells (the lower of the two middle
// ones for an even count; 0 for a mesh without edges).
double medianEdgeLength(const Mesh& mesh);

}  // namespace cagewarp
