// A refinement step written plainly (per-vertex lists and ordered maps instead of the tuple
// maps, no key reuse, no skipped work) that the real step must match bit for bit.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "formats/array_file.h"
#include "mesh/cell_type.h"
#include "mesh/lookup_tables.h"
#include "subdiv/subdivide.h"
#include "tests/support/committed_tables.h"

namespace cagewarp {
namespace {

using Column = std::vector<float>;
using Cells = std::vector<std::vector<int>>;  // one vector of nodes per cell

struct PlainMesh {
  int rows = 0;
  std::vector<Column> vertices;
  std::array<Cells, 8> cells;
};

// The values of one vertex, one per cell class, in the order they were entered.
using ClassValues = std::vector<std::pair<int, Column>>;

class PlainStep {
 public:
  PlainStep(const PlainMesh& mesh, const LookupTables& tables) : mesh_(mesh), tables_(tables) {}

  PlainMesh run(bool smooth) {
    values_.assign(mesh_.vertices.size(), {});
    vertexCount_ = static_cast<int>(mesh_.vertices.size());
    for (int t = 0; t < cellTypeCount; ++t)
      for (const auto& cell : mesh_.cells[t])
        for (int v : cell)
          if (!value(v, cellClass[t])) enter(v, cellClass[t], mesh_.vertices[v]);
    std::array<Cells, 8> refined = split();
    PlainMesh out;
    out.rows = mesh_.rows;
    out.vertices.assign(vertexCount_, Column(mesh_.rows, 0.0f));
    out.cells = buildChildren(refined);
    if (smooth) {
      smoothPositions(out);
    } else {
      for (int i = 0; i < vertexCount_ && i < static_cast<int>(values_.size()); ++i)
        if (!values_[i].empty()) out.vertices[i] = values_[i].front().second;
    }
    return out;
  }

 private:
  const Column* value(int v, int cls) const {
    if (v >= static_cast<int>(values_.size())) return nullptr;
    for (const auto& [c, column] : values_[v])
      if (c == cls) return &column;
    return nullptr;
  }
  void enter(int v, int cls, const Column& column) {
    if (v >= static_cast<int>(values_.size())) values_.resize(v + 1);
    values_[v].emplace_back(cls, column);
  }

  int nodeIndex(std::vector<int>& tuple) {
    if (tuple.size() == 4) {
      std::vector<int> d0 = {std::min(tuple[0], tuple[2]), std::max(tuple[0], tuple[2])};
      std::vector<int> d1 = {std::min(tuple[1], tuple[3]), std::max(tuple[1], tuple[3])};
      if (nodes_.count(d0)) return nodes_[d0];
      if (nodes_.count(d1)) return nodes_[d1];
      const int i = vertexCount_++;
      nodes_[d0] = i;
      nodes_[d1] = i;
      return i;
    }
    std::sort(tuple.begin(), tuple.end());
    auto [it, inserted] = nodes_.emplace(tuple, vertexCount_);
    if (inserted) ++vertexCount_;
    return it->second;
  }

  void nodeValue(int i, int cls, const std::vector<int>& tuple) {
    if (value(i, cls)) return;
    Column sum(mesh_.rows, 0.0f);
    for (int u : tuple) {
      const Column& v = *value(u, cls);
      for (int k = 0; k < mesh_.rows; ++k) sum[k] = sum[k] + v[k];
    }
    const float scale = 1.0f / static_cast<float>(tuple.size());
    for (float& s : sum) s = s * scale;
    enter(i, cls, sum);
  }

  std::array<Cells, 8> split() {
    std::array<Cells, 8> cells = mesh_.cells;
    for (int t = 0; t < cellTypeCount; ++t) {
      for (auto& cell : cells[t]) cell.resize(refinedNodeCount[t], 0);
      int row = verticesPerCell[t];
      for (int k = 1; k <= 4; ++k) {
        const IntMatrix* table = tables_.nodeTable(t, k);
        if (!table) continue;
        for (int g = 0; g < table->count() / (2 * k); ++g, ++row) {
          for (auto& cell : cells[t]) {
            std::vector<int> tuple;
            for (int e = 0; e < 2 * k; ++e) tuple.push_back(cell[(*table)[g * 2 * k + e]]);
            const int i = nodeIndex(tuple);
            cell[row] = i;
            nodeValue(i, cellClass[t], tuple);
          }
        }
      }
    }
    return cells;
  }

  static void pushChildren(const Cells& parents, const IntMatrix& table, int size, Cells& out) {
    for (const auto& p : parents) {
      for (int j = 0; j < table.count(); j += size) {
        std::vector<int> child;
        for (int e = 0; e < size; ++e) child.push_back(p[table[j + e]]);
        out.push_back(child);
      }
    }
  }

  std::array<Cells, 8> buildChildren(const std::array<Cells, 8>& refined) const {
    std::array<Cells, 8> out;
    for (int t = 0; t < cellTypeCount; ++t)
      pushChildren(refined[t], tables_.uniTables[t], verticesPerCell[t], out[t]);
    pushChildren(refined[octahedronType], tables_.basTables[octahedronType], 4,
                 out[tetrahedronType]);
    pushChildren(refined[tetrahedronType], tables_.basTables[tetrahedronType], 6,
                 out[octahedronType]);
    return out;
  }

  void smoothPositions(PlainMesh& out) const {
    const int n = vertexCount_;
    const int d = mesh_.rows;
    std::vector<int> level(n, 3), count(n, 0);
    std::vector<float> weightSum(n, 0.0f);
    std::vector<int> mask(n, 0);
    for (int t = 0; t < cellTypeCount; ++t) {
      const Matrix& avg = tables_.avgTables[t];
      for (const auto& cell : out.cells[t]) {
        const int m = verticesPerCell[t];
        const int c = avg.cols();
        std::vector<Column> averaged(c, Column(d, 0.0f));
        for (int i = 0; i < c; ++i)
          for (int j = 0; j < m; ++j) {
            const Column& corner = *value(cell[j], cellClass[t]);
            for (int k = 0; k < d; ++k) averaged[i][k] = averaged[i][k] + corner[k] * avg(j, i);
          }
        for (int j = 0; j < m; ++j) {
          const int u = cell[j];
          if (cellDimension[t] > level[u]) continue;
          level[u] = cellDimension[t];
          ++count[u];
          weightSum[u] = static_cast<float>(typeWeight[t] + weightSum[u]);
          mask[u] |= typeBit[t];
          for (int k = 0; k < d; ++k)
            out.vertices[u][k] =
                static_cast<float>(out.vertices[u][k] + typeWeight[t] * averaged[j % c][k]);
        }
      }
    }
    for (int b = 0; b < n; ++b) {
      if (count[b] == 0) continue;
      const float s = 1.0f / weightSum[b];
      for (float& x : out.vertices[b]) x = s * x;
      for (int t : {triangleType, quadType}) {
        if (mask[b] != typeBit[t]) continue;
        const Column& own = *value(b, cellClass[t]);
        const FloatArray& cor = tables_.corTables[t];
        const float f = cor[std::min(count[b], cor.count() - 1)];
        for (int k = 0; k < d; ++k)
          out.vertices[b][k] = f * out.vertices[b][k] + (1.0f - f) * own[k];
      }
    }
  }

  const PlainMesh& mesh_;
  const LookupTables& tables_;
  std::vector<ClassValues> values_;
  std::map<std::vector<int>, int> nodes_;
  int vertexCount_ = 0;
};

PlainMesh plainOf(const Mesh& mesh) {
  PlainMesh p;
  p.rows = mesh.vertexRows();
  for (int j = 0; j < mesh.vertexColumns(); ++j)
    p.vertices.emplace_back(mesh.vertices.column(j), mesh.vertices.column(j) + p.rows);
  for (int t = 0; t < cellTypeCount; ++t)
    for (int c = 0; c < mesh.cellCount(t); ++c)
      p.cells[t].emplace_back(mesh.cells[t].column(c),
                              mesh.cells[t].column(c) + verticesPerCell[t]);
  return p;
}

// Bitwise, so that the sign of zero counts too.
void expectSameBits(const Mesh& mesh, const PlainMesh& plain, const char* what) {
  ASSERT_EQ(mesh.vertexColumns(), static_cast<int>(plain.vertices.size())) << what;
  for (int t = 0; t < cellTypeCount; ++t) {
    ASSERT_EQ(mesh.cellCount(t), static_cast<int>(plain.cells[t].size())) << what << " type " << t;
    for (int c = 0; c < mesh.cellCount(t); ++c)
      ASSERT_TRUE(
          std::equal(plain.cells[t][c].begin(), plain.cells[t][c].end(), mesh.cells[t].column(c)))
          << what << " type " << t << " cell " << c;
  }
  for (int j = 0; j < mesh.vertexColumns(); ++j)
    ASSERT_EQ(
        std::memcmp(mesh.vertices.column(j), plain.vertices[j].data(), sizeof(float) * plain.rows),
        0)
        << what << " vertex " << j;
}

// Deterministic values that are not dyadic, so rounding order shows.
class Noise {
 public:
  float next(float lo, float hi) {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    const double u = static_cast<double>(state_ >> 11) / static_cast<double>(1ULL << 53);
    return static_cast<float>(lo + (hi - lo) * u);
  }

 private:
  uint64_t state_ = 0x2545F4914F6CDD1DULL;
};

void addCells(Mesh& mesh, int t, std::initializer_list<int> corners) {
  IntArray cells({verticesPerCell[t], static_cast<int>(corners.size()) / verticesPerCell[t]}, 0);
  std::copy(corners.begin(), corners.end(), cells.data());
  appendCells(mesh, t, cells);
}

// Every type, with shared edges and faces across types, a quad whose diagonal is a triangle
// edge, a surface of triangles alone and of quads alone, a line through the volume, a point
// cell and a vertex in no cell; jittered coordinates and identity weight rows.
Mesh mixedMesh() {
  const float grid[][3] = {{0, 0, 0},  {1, 0, 0},  {1, 1, 0}, {0, 1, 0},    {0, 0, 1}, {1, 0, 1},
                           {1, 1, 1},  {0, 1, 1},  {2, 0, 0}, {2, 1, 0},    {0, 0, 2}, {1, 0, 2},
                           {0, 1, 2},  {1, 1, 2},  {2, 2, 2}, {-1, -1, -1}, {3, 0, 0}, {3, 1, 0},
                           {-1, 0, 0}, {-1, 1, 0}, {5, 5, 5}};
  const int n = static_cast<int>(std::size(grid));
  Noise noise;
  Mesh mesh(3 + n);
  mesh.vertices = Matrix(3 + n, n);
  for (int j = 0; j < n; ++j) {
    for (int a = 0; a < 3; ++a) mesh.vertices(a, j) = grid[j][a] + noise.next(-0.15f, 0.15f);
    mesh.vertices(3 + j, j) = 1.0f;
  }
  addCells(mesh, hexahedronType, {0, 1, 2, 3, 4, 5, 6, 7});
  addCells(mesh, prismType, {1, 8, 2, 5, 9, 6});
  addCells(mesh, tetrahedronType, {4, 5, 7, 10, 5, 11, 10, 7});
  addCells(mesh, octahedronType, {13, 5, 6, 7, 11, 12});
  addCells(mesh, quadType, {0, 3, 2, 1, 8, 16, 17, 9, 18, 0, 3, 19});
  addCells(mesh, triangleType, {1, 8, 2, 1, 2, 3, 0, 1, 3});
  addCells(mesh, lineType, {6, 14, 4, 6});
  addCells(mesh, pointType, {15});
  return mesh;
}

// Averaging weights with several columns and signs, and short blend tables, so that column
// cycling, summation order and the blend limits all show in the bits.
LookupTables noisyTables() {
  Noise noise;
  LookupTables tables = testing::committedLookupTables();
  for (int t = 0; t < cellTypeCount; ++t) {
    const int m = verticesPerCell[t];
    const int c = std::max(1, m - t % 3);
    Matrix avg(m, c);
    for (int i = 0; i < avg.count(); ++i) avg[i] = noise.next(-0.2f, 0.6f);
    tables.avgTables[t] = avg;
  }
  for (int t : {triangleType, quadType}) {
    FloatArray cor({3}, 0.0f);
    for (int i = 0; i < 3; ++i) cor[i] = noise.next(0.3f, 1.4f);
    tables.corTables[t] = cor;
  }
  checkTables(tables);
  return tables;
}

// On one thread and on several, which share out the node means and the smoothing sums.
void runAndCompare(const Mesh& start, const LookupTables& tables, int flags, const char* what) {
  for (int threads : {1, 3}) {
    Mesh mesh = start;
    for (int step = 0; step < 2; ++step) {
      const PlainMesh expected = PlainStep(plainOf(mesh), tables).run((flags & normalFlag) != 0);
      Warnings warnings;
      const Status status = subdivide(mesh, tables, flags, warnings, threads);
      ASSERT_TRUE(status.ok) << status.message;
      expectSameBits(mesh, expected, what);
    }
  }
}

TEST(SubdivideReference, StepsMatchAPlainRefinementBitForBit) {
  const LookupTables& tables = testing::committedLookupTables();

  const Mesh mesh = mixedMesh();
  runAndCompare(mesh, tables, linearSubdivision, "linear");
  runAndCompare(mesh, tables, splitFlag | normalFlag, "smoothed, committed tables");
  runAndCompare(mesh, noisyTables(), splitFlag | normalFlag, "smoothed, noisy tables");
}

}  // namespace
}  // namespace cagewarp
