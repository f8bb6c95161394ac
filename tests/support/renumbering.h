#pragma once

// Other numberings of the same cage: the symmetries of a hexahedron's and a prism's local
// numbering, and a cage with its vertices shuffled and its cells turned, for results that must
// not depend on how a user numbered the vertices. A numbering p lists at local position i the
// vertex the cell listed at position p[i].

#include <algorithm>
#include <array>
#include <bit>
#include <numeric>
#include <random>
#include <vector>

#include "mesh/cell_type.h"
#include "mesh/mesh.h"

namespace cagewarp::testing {

using HexahedronNumbering = std::array<int, 8>;
using PrismNumbering = std::array<int, 6>;

// The 48 symmetries of the cube, or only its 24 rotations (the others turn the cell inside out).
inline std::vector<HexahedronNumbering> hexahedronSymmetries(bool rotationsOnly) {
  // Local corner i at cube corner (x, y, z) = bits 0, 1, 2 of cubeCorner[i], and back.
  constexpr int cubeCorner[8] = {0, 1, 3, 2, 4, 5, 7, 6};
  // The first three keep the axes' cyclic order.
  constexpr int axes[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {0, 2, 1}, {2, 1, 0}, {1, 0, 2}};
  std::vector<HexahedronNumbering> symmetries;
  for (int a = 0; a < 6; ++a) {
    for (unsigned flips = 0; flips < 8; ++flips) {
      const bool mirrored = (a >= 3) != (std::popcount(flips) % 2 == 1);
      if (rotationsOnly && mirrored) continue;
      HexahedronNumbering p;
      for (int i = 0; i < 8; ++i) {
        int image = 0;
        for (int k = 0; k < 3; ++k)
          image |= ((cubeCorner[i] >> axes[a][k] & 1) ^ static_cast<int>(flips >> k & 1)) << k;
        p[i] = cubeCorner[image];
      }
      symmetries.push_back(p);
    }
  }
  return symmetries;
}

// The 6 rotations of a prism: its triangles turned, and the prism upside down.
inline std::vector<PrismNumbering> prismSymmetries() {
  std::vector<PrismNumbering> symmetries;
  for (int upsideDown = 0; upsideDown < 2; ++upsideDown) {
    for (int turn = 0; turn < 3; ++turn) {
      PrismNumbering p;
      for (int i = 0; i < 3; ++i) {
        p[i] = (i + turn) % 3;
        p[i + 3] = p[i] + 3;
      }
      if (upsideDown) p = {p[3], p[5], p[4], p[0], p[2], p[1]};
      symmetries.push_back(p);
    }
  }
  return symmetries;
}

// `mesh` (dense values only) with its vertex columns in a random order and every hexahedron and
// prism turned by a random rotation; other cells keep their local order.
inline Mesh randomlyRenumbered(const Mesh& mesh, std::mt19937& random) {
  const int n = mesh.vertices.cols();
  std::vector<int> newIndex(n);
  std::iota(newIndex.begin(), newIndex.end(), 0);
  std::shuffle(newIndex.begin(), newIndex.end(), random);
  Mesh result = mesh;
  for (int j = 0; j < n; ++j)
    for (int r = 0; r < mesh.vertices.rows(); ++r)
      result.vertices(r, newIndex[j]) = mesh.vertices(r, j);
  const std::vector<HexahedronNumbering> hexahedra = hexahedronSymmetries(true);
  const std::vector<PrismNumbering> prisms = prismSymmetries();
  for (int t = 0; t < cellTypeCount; ++t) {
    const IntArray& cells = mesh.cells[t];
    for (int c = 0; c < cells.cols(); ++c) {
      std::array<int, 8> from;
      std::iota(from.begin(), from.end(), 0);
      if (t == hexahedronType) {
        from = hexahedra[random() % hexahedra.size()];
      } else if (t == prismType) {
        const PrismNumbering& p = prisms[random() % prisms.size()];
        std::copy(p.begin(), p.end(), from.begin());
      }
      for (int i = 0; i < cells.rows(); ++i)
        result.cells[t].at(i, c) = newIndex[cells.at(from[i], c)];
    }
  }
  return result;
}

}  // namespace cagewarp::testing
