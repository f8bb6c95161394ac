#include "relate/point_location.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "array/arena.h"
#include "array/made_once.h"
#include "array/memory_advice.h"
#include "array/parallel_for.h"
#include "mesh/cell_type.h"

namespace cagewarp {

int modelPositionRow(int rows) {
  switch (rows) {
    case 6:
      return 3;
    case 8:
      return 5;
    case 10:
      return 7;
    default:
      return 0;
  }
}

namespace {

const char* const typeNames[8] = {"", "", "", "", "tetrahedra", "octahedra", "prisms", "hexahedra"};

struct BoundingBox {
  float xmin, xmax, ymin, ymax, zmin, zmax;
};

BoundingBox cellBox(const Mesh& control, int t, int c) {
  const int* vertex = control.cells[t].column(c);
  const float* p = control.vertices.column(vertex[0]);
  BoundingBox box{p[0], p[0], p[1], p[1], p[2], p[2]};
  for (int h = 1; h < verticesPerCell[t]; ++h) {
    p = control.vertices.column(vertex[h]);
    box.xmin = smallerOf(p[0], box.xmin);
    box.xmax = largerOf(p[0], box.xmax);
    box.ymin = smallerOf(p[1], box.ymin);
    box.ymax = largerOf(p[1], box.ymax);
    box.zmin = smallerOf(p[2], box.zmin);
    box.zmax = largerOf(p[2], box.zmax);
  }
  return box;
}

// A cell's weight rows where any of them is non-zero (NaN included), corner by corner: b[h * R + i]
// holds B's row nonZeroRows[i] at cell vertex h, R being the number of rows, so that a point's
// products run over consecutive rows.
struct WeightBlock {
  const int* nonZeroRows = nullptr;
  const float* b = nullptr;
  size_t rows = 0;
};

// A block being made, or kept by a thread; its vectors are reused from block to block.
struct BlockBuffer {
  std::vector<int> rows;
  std::vector<float> b;

  WeightBlock view() const { return {rows.data(), b.data(), rows.size()}; }
};

// The block of a mesh whose weight rows are sparse: rows present in no corner are +0 throughout.
// The corners' rows are merged side by side into per-thread scratch, then laid out corner by
// corner.
void sparseWeightBlock(const Mesh& control, int t, int c, BlockBuffer& out) {
  const int k = verticesPerCell[t];
  const int* vertex = control.cells[t].column(c);
  std::array<const SparseEntry*, 8> next{};
  std::array<const SparseEntry*, 8> end{};
  for (int h = 0; h < k; ++h) {
    next[h] = control.weights.begin(vertex[h]);
    end[h] = control.weights.end(vertex[h]);
  }
  thread_local std::vector<float> valueScratch;  // k values per row, side by side
  out.rows.clear();
  valueScratch.clear();
  for (;;) {
    int row = -1;
    for (int h = 0; h < k; ++h)
      if (next[h] != end[h] && (row < 0 || next[h]->row < row)) row = next[h]->row;
    if (row < 0) break;
    float values[8];
    bool nonZero = false;
    for (int h = 0; h < k; ++h) {
      values[h] = 0.0f;
      if (next[h] != end[h] && next[h]->row == row) values[h] = (next[h]++)->value;
      nonZero = nonZero || values[h] != 0.0f;
    }
    if (!nonZero) continue;
    out.rows.push_back(row);
    valueScratch.insert(valueScratch.end(), values, values + k);
  }
  const size_t rows = out.rows.size();
  out.b.resize(rows * k);
  for (size_t i = 0; i < rows; ++i)
    for (int h = 0; h < k; ++h) out.b[h * rows + i] = valueScratch[i * k + h];
}

void formWeightBlock(const Mesh& control, int t, int c, int weightRow, BlockBuffer& out) {
  if (control.hasSparseWeights()) {
    CAGEWARP_CHECK(weightRow == control.vertices.rows());
    sparseWeightBlock(control, t, c, out);
    return;
  }
  const int k = verticesPerCell[t];
  const int n = control.vertices.rows() - weightRow;
  const int* vertex = control.cells[t].column(c);
  std::array<const float*, 8> corner{};
  for (int h = 0; h < k; ++h) corner[h] = control.vertices.column(vertex[h]) + weightRow;
  // Which rows any corner makes non-zero, corner by corner over all rows: a loop without
  // branches over consecutive floats, far cheaper than testing row by row. The flags are kept
  // per thread, since every cell of the run needs as many.
  thread_local std::vector<uint32_t> nonZero;
  nonZero.assign(static_cast<size_t>(n), 0);
  for (int h = 0; h < k; ++h) {
    const float* w = corner[h];
    for (int r = 0; r < n; ++r) nonZero[r] |= w[r] != 0.0f ? 1u : 0u;
  }
  out.rows.clear();
  for (int r = 0; r < n; ++r)
    if (nonZero[r] != 0) out.rows.push_back(r);
  const size_t rows = out.rows.size();
  out.b.resize(rows * k);
  for (size_t i = 0; i < rows; ++i)
    for (int h = 0; h < k; ++h) out.b[h * rows + i] = corner[h][out.rows[i]];
}

// A copy of the block in `arena`.
WeightBlock keptBlock(const BlockBuffer& block, Arena& arena) {
  int* rows = arena.take<int>(block.rows.size());
  float* b = arena.take<float>(block.b.size());
  std::copy(block.rows.begin(), block.rows.end(), rows);
  std::copy(block.b.begin(), block.b.end(), b);
  return {rows, b, block.rows.size()};
}

// The blocks a thread made last, by cell, for a mesh with sparse weights and more cells than
// model vertices (a finely refined cage). Such a block costs about as much to make as to use, and
// most cells are hit about once, so keeping every block for the run would hold most of the run's
// memory for little. Model vertices come in spatial order, so a cell's vertices mostly come while
// its block is still here.
class RecentBlocks {
 public:
  WeightBlock get(const Mesh& control, int t, int c, int weightRow) {
    Slot& slot = slots_[static_cast<size_t>(c) % slotCount];
    if (slot.type != t || slot.cell != c) {
      slot.type = t;
      slot.cell = c;
      formWeightBlock(control, t, c, weightRow, slot.block);
    }
    return slot.block.view();
  }

 private:
  static constexpr size_t slotCount = 64;
  struct Slot {
    int type = -1;
    int cell = -1;
    BlockBuffer block;
  };
  std::array<Slot, slotCount> slots_;
};

// What one thread keeps of the cells while it locates, where the run does not keep them all.
struct ThreadCells {
  static constexpr int preparedSlots = 256;
  RecentBlocks blocks;
  std::array<std::unique_ptr<PreparedCells>, 8> prepared;  // by type, made on first use

  PreparedCells& preparedCells(const Mesh& control, const CellFaceTables& faces) {
    std::unique_ptr<PreparedCells>& cells = prepared[faces.type];
    if (!cells) cells = std::make_unique<PreparedCells>(control, faces, preparedSlots);
    return *cells;
  }
};

// Column J becomes (U * column + B * lambda) * (1 / (U + 1)), each step rounded as the matrix
// operations round it (B * lambda accumulates over the cell's vertices in order). Rows outside
// the column's list and B's non-zero rows stay +0: there U * (+0) + B * lambda is exactly +0,
// since that sum starts at +0, B's row holds only zeros and lambda is finite. A listed row where
// B is zero accumulates zeros times lambda, whatever the sign of those zeros.
void addCellResult(std::vector<SparseEntry>& column, int count, const WeightBlock& block,
                   const float* lambda, int k) {
  const float scale = static_cast<float>(count);
  const float reciprocal = 1.0f / static_cast<float>(count + 1);
  const int* rows = block.nonZeroRows;
  const size_t n = block.rows;
  // B * lambda for the block's rows, corner by corner over all rows at once; each row still
  // accumulates its terms in corner order.
  thread_local std::vector<float> products;
  products.assign(n, 0.0f);
  for (int h = 0; h < k; ++h) {
    const float* b = block.b + h * n;
    const float weight = lambda[h];
    for (size_t j = 0; j < n; ++j) products[j] = b[j] * weight + products[j];
  }
  // A row the cell's weights leave out: its zeros times lambda.
  float absentProduct = 0.0f;
  for (int h = 0; h < k; ++h) absentProduct = 0.0f * lambda[h] + absentProduct;
  auto mean = [&](float product, float old) { return reciprocal * (scale * old + product); };
  // A vertex's first cell, the usual case, fills its column in place.
  if (column.empty()) {
    column.resize(n);
    for (size_t j = 0; j < n; ++j) column[j] = {rows[j], mean(products[j], 0.0f)};
    return;
  }
  // Kept per thread and swapped with the column: both buffers are reused by the next merge.
  thread_local std::vector<SparseEntry> merged;
  merged.clear();
  merged.reserve(column.size() + n);
  size_t i = 0;
  size_t j = 0;
  while (i < column.size() || j < n) {
    if (j == n || (i < column.size() && column[i].row < rows[j])) {
      merged.push_back({column[i].row, mean(absentProduct, column[i].value)});
      ++i;
    } else if (i == column.size() || rows[j] < column[i].row) {
      merged.push_back({rows[j], mean(products[j], 0.0f)});
      ++j;
    } else {
      merged.push_back({rows[j], mean(products[j], column[i].value)});
      ++i;
      ++j;
    }
  }
  column.swap(merged);
}

bool boxHolds(const BoundingBox& box, const float* p) {
  return box.xmin <= p[0] && p[0] <= box.xmax && box.ymin <= p[1] && p[1] <= box.ymax &&
         box.zmin <= p[2] && p[2] <= box.zmax;
}

// The cells of one type in a uniform grid of bins: each cell is listed in every bin its box
// meets, so a point is looked up in its one bin. Bin numbers are monotone in the coordinate, so
// a box that holds a point meets the point's bin; coordinates outside the grid fall into the
// outermost bins, and a box with a NaN bound (which holds no point) is in no bin.
class CellGrid {
 public:
  // `boxes` in the order the cells are visited; the bins list those positions ascending. The
  // bins are counted and filled on `threads` threads, a slab of z layers each.
  CellGrid(std::span<const BoundingBox> boxes, int threads) {
    float lo[3] = {0, 0, 0};
    float hi[3] = {0, 0, 0};
    bool seen[3] = {false, false, false};
    for (const BoundingBox& b : boxes) {
      const float low[3] = {b.xmin, b.ymin, b.zmin};
      const float high[3] = {b.xmax, b.ymax, b.zmax};
      for (int a = 0; a < 3; ++a) {
        if (!std::isfinite(low[a]) || !std::isfinite(high[a])) continue;
        lo[a] = seen[a] ? std::min(lo[a], low[a]) : low[a];
        hi[a] = seen[a] ? std::max(hi[a], high[a]) : high[a];
        seen[a] = true;
      }
    }
    // About two bins per cell; fewer when the boxes are so large that listing them in every bin
    // they meet would grow past a few dozen entries per cell.
    const double cells = static_cast<double>(boxes.size());
    int per = std::clamp(static_cast<int>(std::cbrt(2.0 * cells)) + 1, 1, 256);
    for (;; per = (per + 1) / 2) {
      for (int a = 0; a < 3; ++a) {
        count_[a] = per;
        lo_[a] = lo[a];
        const float extent = hi[a] - lo[a];
        scale_[a] = extent > 0 && std::isfinite(extent) ? static_cast<float>(per) / extent : 1.0f;
      }
      if (per == 1 || entries(boxes, threads) <= 32 * static_cast<int64_t>(boxes.size()) + 1024)
        break;
    }
    fill(boxes, threads);
  }

  // The positions of the cells whose boxes may hold p, ascending.
  std::pair<const int*, const int*> candidates(const float* p) const {
    const int b = bin(p);
    return {listed_.data() + start_[b], listed_.data() + start_[b + 1]};
  }

  // The bin of p; bins next in number are next in space along x, then y, then z.
  int bin(const float* p) const {
    return binOf(0, p[0]) + count_[0] * (binOf(1, p[1]) + count_[1] * binOf(2, p[2]));
  }
  int binCount() const { return count_[0] * count_[1] * count_[2]; }

 private:
  int binOf(int a, float v) const {
    const float t = (v - lo_[a]) * scale_[a];
    if (!(t > 0)) return 0;
    if (t >= static_cast<float>(count_[a])) return count_[a] - 1;
    return static_cast<int>(t);
  }
  // The bin ranges a box meets, or false for a box with a NaN bound.
  bool range(const BoundingBox& b, int first[3], int last[3]) const {
    const float low[3] = {b.xmin, b.ymin, b.zmin};
    const float high[3] = {b.xmax, b.ymax, b.zmax};
    for (int a = 0; a < 3; ++a) {
      if (std::isnan(low[a]) || std::isnan(high[a])) return false;
      first[a] = binOf(a, low[a]);
      last[a] = binOf(a, high[a]);
      if (first[a] > last[a]) return false;
    }
    return true;
  }
  int64_t entries(std::span<const BoundingBox> boxes, int threads) const {
    std::atomic<int64_t> total = 0;
    parallelFor(static_cast<int64_t>(boxes.size()), threads, [&](int64_t begin, int64_t end) {
      int64_t sum = 0;
      int first[3], last[3];
      for (int64_t i = begin; i < end; ++i)
        if (range(boxes[i], first, last))
          sum +=
              int64_t{last[0] - first[0] + 1} * (last[1] - first[1] + 1) * (last[2] - first[2] + 1);
      total.fetch_add(sum, std::memory_order_relaxed);
    });
    return total.load();
  }
  // Visits the bins the box meets in the z layers [zBegin, zEnd).
  template <typename Visit>
  void forEachBin(const BoundingBox& b, int zBegin, int zEnd, Visit visit) const {
    int first[3], last[3];
    if (!range(b, first, last)) return;
    for (int z = std::max(first[2], zBegin); z <= std::min(last[2], zEnd - 1); ++z)
      for (int y = first[1]; y <= last[1]; ++y)
        for (int x = first[0]; x <= last[0]; ++x) visit(x + count_[0] * (y + count_[1] * z));
  }
  // Each thread takes the bins of its slab of z layers and meets the boxes in position order, so
  // every bin lists its positions ascending on any threads.
  void fill(std::span<const BoundingBox> boxes, int threads) {
    const int bins = count_[0] * count_[1] * count_[2];
    const int slabs = std::min(threadCount(threads), count_[2]);
    const auto eachSlab = [&](auto visit) {
      parallelFor(slabs, threads, [&](int64_t begin, int64_t end) {
        for (auto slab = static_cast<int>(begin); slab < end; ++slab) {
          const int zBegin = static_cast<int>(int64_t{count_[2]} * slab / slabs);
          const int zEnd = static_cast<int>(int64_t{count_[2]} * (slab + 1) / slabs);
          for (int position = 0; position < static_cast<int>(boxes.size()); ++position)
            forEachBin(boxes[position], zBegin, zEnd, [&](int bin) { visit(position, bin); });
        }
      });
    };
    // A fine cage's grid runs to a hundred megabytes: in huge pages, which take far fewer faults.
    assignInHugePages(start_, static_cast<size_t>(bins) + 1, int64_t{0});
    eachSlab([&](int, int bin) { ++start_[bin + 1]; });
    for (int i = 0; i < bins; ++i) start_[i + 1] += start_[i];
    listed_.resize(static_cast<size_t>(start_[bins]));
    UnfilledVector<int64_t> at(start_.begin(), start_.end() - 1);
    eachSlab([&](int position, int bin) { listed_[at[bin]++] = position; });
  }

  int count_[3] = {1, 1, 1};
  float lo_[3] = {0, 0, 0};
  float scale_[3] = {1, 1, 1};
  HugePageVector<int64_t> start_;
  UnfilledVector<int> listed_;
};

// The cells of one volume type in the order a model vertex meets them: ascending lower y bound,
// equal bounds as the reference quicksort leaves them.
struct TypeCells {
  const CellFaceTables* faces = nullptr;
  std::vector<int> cell;              // cell[position]
  UnfilledVector<BoundingBox> boxes;  // by position
  std::unique_ptr<CellGrid> grid;
  // Shared by the threads when the model has at least as many vertices as there are cells;
  // otherwise each thread keeps the cells it prepared last (ThreadCells).
  std::unique_ptr<PreparedCells> prepared;
  std::unique_ptr<IsoparametricCells> isoparametric;  // only for Coordinates::trilinear
  // The weight blocks, made on a cell's first hit by whichever thread finds it, in the arenas of
  // the run's pool: for a mesh with dense weights (a block scans every weight row), or with at
  // least as many model vertices as cells. Otherwise each thread keeps those it made last.
  std::unique_ptr<MadeOnce> made;
  std::vector<WeightBlock> blocks;
};

TypeCells typeCells(const Mesh& control, const CellFaceTables& faces, Coordinates coordinates,
                    int modelCount, int threads) {
  const int t = faces.type;
  const int cellCount = control.cellCount(t);
  // A fine cage's cells fill these by the million: in huge pages, which take far fewer faults.
  UnfilledVector<BoundingBox> boxes(static_cast<size_t>(cellCount));
  FloatArray ymin({cellCount}, 0.0f);
  parallelFor(cellCount, threads, [&](int64_t begin, int64_t end) {
    for (auto c = static_cast<int>(begin); c < end; ++c) {
      boxes[c] = cellBox(control, t, c);
      ymin[c] = boxes[c].ymin;
    }
  });
  const IntArray byYmin = ymin.sortWithIndex(threads);
  TypeCells cells;
  cells.faces = &faces;
  cells.cell.assign(byYmin.data(), byYmin.data() + cellCount);
  cells.boxes.resize(static_cast<size_t>(cellCount));
  parallelFor(cellCount, threads, [&](int64_t begin, int64_t end) {
    for (int64_t m = begin; m < end; ++m) cells.boxes[m] = boxes[cells.cell[m]];
  });
  cells.grid = std::make_unique<CellGrid>(cells.boxes, threads);
  if (modelCount >= cellCount) cells.prepared = std::make_unique<PreparedCells>(control, faces);
  if (coordinates == Coordinates::trilinear)
    cells.isoparametric = std::make_unique<IsoparametricCells>(control, t);
  if (!control.hasSparseWeights() || modelCount >= cellCount) {
    cells.made = std::make_unique<MadeOnce>(cellCount);
    cells.blocks.resize(cellCount);
  }
  return cells;
}

// Where each vertex's finished column lies. A column is built in a per-thread scratch vector
// while its cells are merged in, then copied once into an arena of the run, so that no vertex
// has an allocation of its own.
struct GrowingLocation {
  struct Place {
    const SparseEntry* first = nullptr;
    int64_t size = 0;
  };
  HugePageVector<Place> columns;
  IntArray enclosureCount;
};

// The columns side by side in one entry array; the result is the same on any threads.
SparseColumns packedColumns(int rows, const HugePageVector<GrowingLocation::Place>& columns,
                            int threads) {
  return packColumns(
      rows, static_cast<int64_t>(columns.size()),
      [&columns](int64_t j) {
        return std::span<const SparseEntry>(columns[j].first, static_cast<size_t>(columns[j].size));
      },
      threads);
}

// Adds the results of model vertex J at p from every cell of the type that holds it.
void locateVertex(const Mesh& control, TypeCells& cells, int weightRow, const float* p,
                  std::vector<SparseEntry>& column, int& count, Coordinates coordinates,
                  Arena& arena, ThreadCells& local) {
  const int t = cells.faces->type;
  const int k = verticesPerCell[t];
  const auto [first, last] = cells.grid->candidates(p);
  for (const int* m = first; m != last; ++m) {
    if (!boxHolds(cells.boxes[*m], p)) continue;
    const int cell = cells.cell[*m];
    std::array<float, 8> lambda;
    Containment found = Containment::unsolved;
    if (coordinates == Coordinates::trilinear)
      found = cells.isoparametric->coordinates(cell, p, lambda.data());
    if (found == Containment::unsolved) {
      PreparedCells& prepared =
          cells.prepared ? *cells.prepared : local.preparedCells(control, *cells.faces);
      found =
          prepared.coordinates(cell, p, lambda.data()) ? Containment::inside : Containment::outside;
      if (found == Containment::inside && coordinates == Coordinates::trilinear)
        cells.isoparametric->noteFallback(cell);
    }
    if (found != Containment::inside) continue;
    WeightBlock block;
    if (cells.made) {
      cells.made->ensure(*m, [&] {
        thread_local BlockBuffer buffer;
        formWeightBlock(control, t, cell, weightRow, buffer);
        cells.blocks[*m] = keptBlock(buffer, arena);
      });
      block = cells.blocks[*m];
    } else {
      block = local.blocks.get(control, t, cell, weightRow);
    }
    addCellResult(column, count, block, lambda.data(), k);
    ++count;
  }
}

// The model vertices, window by window of consecutive indices, in the order of their bins in the
// grid of the type with the most cells: vertices near each other are then located one after the
// other while their cells' data is still in cache. A window is large enough to bring each cell a
// few vertices, and small enough that the per-vertex data it touches mostly stays in cache. A
// counting sort over at most about one key per vertex of a window: when there are more bins than
// that, runs of neighbouring bins share a key.
HugePageVector<int> spatialOrder(const std::vector<TypeCells>& types, const Matrix& model, int s,
                                 int threads) {
  const int modelCount = model.cols();
  HugePageVector<int> order(modelCount);
  const TypeCells* largest = nullptr;
  for (const TypeCells& cells : types)
    if (largest == nullptr || cells.cell.size() > largest->cell.size()) largest = &cells;
  if (largest == nullptr) {
    for (int J = 0; J < modelCount; ++J) order[J] = J;
    return order;
  }
  const CellGrid& grid = *largest->grid;
  const int cellCount = static_cast<int>(largest->cell.size());
  const int window = std::min(modelCount, std::max(1 << 15, 8 * std::min(cellCount, 1 << 24)));
  int shift = 0;
  while ((grid.binCount() >> shift) > std::max(window, 1024)) ++shift;
  const int keys = (grid.binCount() >> shift) + 1;
  const int64_t windows = (modelCount + int64_t{window} - 1) / window;
  parallelFor(windows, threads, [&](int64_t begin, int64_t end) {
    std::vector<int> key(window);
    std::vector<int> start(keys + 1);
    for (int64_t w = begin; w < end; ++w) {
      const int first = static_cast<int>(w * window);
      const int count = std::min(window, modelCount - first);
      std::fill(start.begin(), start.end(), 0);
      for (int j = 0; j < count; ++j) {
        key[j] = grid.bin(model.column(first + j) + s) >> shift;
        ++start[key[j] + 1];
      }
      for (int i = 0; i < keys; ++i) start[i + 1] += start[i];
      for (int j = 0; j < count; ++j) order[first + start[key[j]]++] = first + j;
    }
  });
  return order;
}

// Vertices ahead in the visiting order whose data is asked for early: within a window they come
// in no memory order, and waiting for each would stall the loop.
constexpr int64_t prefetchDistance = 8;

// Vertices located between two updates of a progress count.
constexpr int64_t locatedStep = 4096;

// Checks that every cell names existing vertices, so no later read leaves the vertex matrix.
void checkCellVertices(const Mesh& control, int t) {
  const IntArray& cells = control.cells[t];
  const int vertexCount = control.vertexColumns();
  for (int i = 0; i < cells.count(); ++i) CAGEWARP_CHECK(cells[i] >= 0 && cells[i] < vertexCount);
}

}  // namespace

ModelLocation locateModelVertices(const Mesh& control, const Matrix& model, int weightRow,
                                  const LookupTables& tables, Warnings& warnings, int threads,
                                  Coordinates coordinates, std::atomic<int64_t>* located) {
  const int rows = control.vertexRows();
  CAGEWARP_CHECK(weightRow >= 0 && weightRow <= rows);
  const int modelCount = model.isEmpty() ? 0 : model.cols();
  // Weight blocks and finished columns; kept until the columns are packed. A million points'
  // columns fill tens of megabytes, more than the heap's holes hold, so large chunks.
  ArenaPool arenas(Arena::largeChunks);
  GrowingLocation location;
  location.columns.resize(modelCount);
  location.enclosureCount = IntArray({modelCount}, 0);
  const auto packed = [&] {
    return ModelLocation{packedColumns(rows - weightRow, location.columns, threads),
                         std::move(location.enclosureCount)};
  };

  std::array<std::optional<CellFaceTables>, 8> faces;
  for (int t = tetrahedronType; t <= hexahedronType; ++t) {
    if (control.cellCount(t) == 0) continue;
    CAGEWARP_CHECK(rows >= 3);
    checkCellVertices(control, t);
    CheckedCellFaceTables checked = cellFaceTables(tables, t);
    if (checked.status.ok)
      faces[t] = checked.faces;
    else
      warnings.push_back(checked.status.message + "; " + typeNames[t] + " enclose no model vertex");
  }
  // Too few rows to hold a position: nothing can be located.
  if (modelCount == 0 || model.rows() < 3) return packed();

  const int s = modelPositionRow(model.rows());
  std::vector<TypeCells> types;
  for (int t = tetrahedronType; t <= hexahedronType; ++t)
    if (faces[t]) types.push_back(typeCells(control, *faces[t], coordinates, modelCount, threads));
  // Each vertex's column depends only on its own cells, visited type by type in the order above,
  // so the vertices may be visited in any order and shared out among threads in any way.
  const HugePageVector<int> order = spatialOrder(types, model, s, threads);
  std::atomic<int64_t> gaps = 0;
  parallelFor(modelCount, threads, [&](int64_t begin, int64_t end) {
    const BorrowedArena arena(arenas);
    auto local = std::make_unique<ThreadCells>();
    std::vector<SparseEntry> column;
    for (int64_t i = begin; i < end; ++i) {
      const int J = order[i];
      if (i + prefetchDistance < end) {
        const int ahead = order[i + prefetchDistance];
        __builtin_prefetch(model.column(ahead) + s);
        __builtin_prefetch(&location.columns[ahead]);
        __builtin_prefetch(&location.enclosureCount[ahead]);
      }
      const float* p = model.column(J) + s;
      column.clear();
      int& count = location.enclosureCount[J];
      for (TypeCells& cells : types)
        locateVertex(control, cells, weightRow, p, column, count, coordinates, *arena, *local);
      // A point in no cell's trilinear domain may still be in a cell's Wachspress polytope, which
      // bulges past a bent quad face: on the mesh boundary, or where two flat triangles of other
      // cells cover the quad. It keeps the coordinates it had before trilinear ones were chosen
      // rather than stop following the cage.
      if (coordinates == Coordinates::trilinear && count == 0) {
        for (TypeCells& cells : types)
          locateVertex(control, cells, weightRow, p, column, count, Coordinates::wachspress, *arena,
                       *local);
        if (count > 0) gaps.fetch_add(1, std::memory_order_relaxed);
      }
      if (!column.empty()) {
        SparseEntry* first = (*arena).take<SparseEntry>(column.size());
        std::copy(column.begin(), column.end(), first);
        location.columns[J] = {first, static_cast<int64_t>(column.size())};
      }
      // Counted in steps: a range can be the whole model when there is one thread.
      if (located != nullptr && (i - begin + 1) % locatedStep == 0)
        located->fetch_add(locatedStep, std::memory_order_relaxed);
    }
    if (located != nullptr)
      located->fetch_add((end - begin) % locatedStep, std::memory_order_relaxed);
  });
  for (const TypeCells& cells : types)
    if (cells.isoparametric) cells.isoparametric->addWarnings(warnings, "Wachspress coordinates");
  if (const int64_t count = gaps.load(); count > 0)
    warnings.push_back("trilinear coordinates: " + std::to_string(count) +
                       (count == 1 ? " model vertex lies" : " model vertices lie") +
                       " in no cell's trilinear domain but beside a bent quad face, inside the "
                       "cell as Wachspress coordinates see it, and get those");
  return packed();
}

std::vector<SparseEntry> cellWeightColumn(const Mesh& control, int t, int c, int weightRow,
                                          const float* lambda) {
  std::vector<SparseEntry> column;
  BlockBuffer block;
  formWeightBlock(control, t, c, weightRow, block);
  addCellResult(column, 0, block.view(), lambda, verticesPerCell[t]);
  return column;
}

}  // namespace cagewarp
