#include "subdiv/subdivide.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "array/memory_advice.h"
#include "array/parallel_for.h"
#include "mesh/cell_type.h"
#include "subdiv/interface_correction.h"
#include "subdiv/node_numbering.h"
#include "subdiv/smoothed_positions.h"
#include "subdiv/tuple_map.h"
#include "subdiv/vertex_value.h"

namespace cagewarp {
namespace {

constexpr int64_t intLimit = std::numeric_limits<int>::max();

// New nodes one cell of type t gains in a split.
int newNodeCount(int t) {
  return refinedNodeCount[t] - verticesPerCell[t];
}

// The working state of one step; it never outlives the step.
struct StepState {
  StepState(int buckets, int vertices)
      : vertexValues(buckets, firstElementHash), vertexCount(vertices) {}

  // The weight rows of the values the step forms; declared first, so that it outlives them.
  ArenaPool weightMemory{Arena::largeChunks};
  // Key (vertex, cell class) -> the vertex's column as that class sees it. Bucket i holds exactly
  // the entries of vertex i, in insertion order.
  VertexValueMap vertexValues;
  // The next free vertex index.
  int vertexCount;
};

Status checkCellVertices(const Mesh& mesh) {
  const int n = mesh.vertices.cols();
  for (int t = 0; t < cellTypeCount; ++t) {
    const IntArray& cells = mesh.cells[t];
    if (cells.cols() == 0) continue;
    if (cells.rows() != verticesPerCell[t]) {
      return Status::failure("cells of type " + std::to_string(t) + " have " +
                             std::to_string(cells.rows()) + " rows, expected " +
                             std::to_string(verticesPerCell[t]));
    }
    for (int i = 0; i < cells.count(); ++i) {
      if (cells[i] < 0 || cells[i] >= n) {
        return Status::failure("cell " + std::to_string(i / cells.rows()) + " of type " +
                               std::to_string(t) + " names vertex " + std::to_string(cells[i]) +
                               ", but the mesh has " + std::to_string(n) + " vertices");
      }
    }
  }
  return Status::success();
}

// The split tables of every type that has cells, then the other-type children of tetrahedra and
// octahedra.
Status checkSplitTables(const Mesh& mesh, const LookupTables& tables) {
  const TableChecks& checks = tables.checked();
  for (int t = 0; t < cellTypeCount; ++t)
    if (mesh.cellCount(t) > 0 && !checks.split[t].ok) return checks.split[t];
  for (int t : {tetrahedronType, octahedronType})
    if (mesh.cellCount(t) > 0 && !checks.otherChildren[t].ok) return checks.otherChildren[t];
  return Status::success();
}

// Cells of each type after the split: same-type children, tetrahedra of octahedra and the
// octahedron of each tetrahedron.
std::array<int64_t, 8> childCounts(const Mesh& mesh) {
  std::array<int64_t, 8> counts{};
  for (int t = 0; t < cellTypeCount; ++t)
    counts[t] = int64_t{mesh.cellCount(t)} * sameTypeChildCount[t];
  counts[tetrahedronType] += 8 * int64_t{mesh.cellCount(octahedronType)};
  counts[octahedronType] += mesh.cellCount(tetrahedronType);
  return counts;
}

Status checkRefinedSize(const Mesh& mesh, int64_t vertexBound) {
  bool fits = vertexBound <= intLimit;
  const std::array<int64_t, 8> counts = childCounts(mesh);
  for (int t = 0; t < cellTypeCount; ++t) fits = fits && counts[t] * verticesPerCell[t] <= intLimit;
  if (!fits) return Status::failure("the refined mesh would have too many cells or vertices");
  return Status::success();
}

// The usual estimate of the vertex count, raised where needed to the most vertices the split
// can make, so that every vertex index keeps a bucket of its own.
int vertexValueBuckets(const Mesh& mesh, int64_t vertexBound) {
  const int64_t n = mesh.vertexColumns();
  int64_t estimate = n + n + 100;
  for (int t = 0; t < cellTypeCount; ++t)
    estimate += int64_t{mesh.cellCount(t)} * capacityWeight[t];
  return static_cast<int>(std::min(std::max(estimate, vertexBound), intLimit));
}

void seedVertexValues(const Mesh& mesh, VertexValueMap& vertexValues) {
  const int d = mesh.vertices.rows();
  IntArray key({2}, 0);
  VertexValue column{DenseColumn(d), {}};
  for (int t = 0; t < cellTypeCount; ++t) {
    const IntArray& cells = mesh.cells[t];
    key[1] = cellClass[t];
    for (int i = 0; i < cells.count(); ++i) {
      key[0] = cells[i];
      if (vertexValues.find(key)) continue;
      const float* source = mesh.vertices.column(cells[i]);
      std::copy(source, source + d, column.dense.data());
      // The mesh's own columns serve until the step replaces them.
      if (mesh.hasSparseWeights()) column.weights = mesh.weights.column(cells[i]);
      vertexValues.insertIfAbsent(key, column);
    }
  }
}

// The mean of values[0..length), in that order, scaled by the single-precision reciprocal of the
// length. Rows that do not fit in the value lie in `weightMemory`, with its weights.
void meanOf(const VertexValue* const* values, int length, int d, WeightSum& weightSum,
            std::vector<SparseEntry>& weights, Arena& weightMemory, VertexValue& sum) {
  sum.dense = DenseColumn(d, weightMemory);
  for (int e = 0; e < length; ++e) {
    sum.dense += values[e]->dense;
    weightSum.add(values[e]->weights);
  }
  const float reciprocal = 1.0f / static_cast<float>(length);
  sum.dense *= reciprocal;
  weightSum.take(weights, reciprocal);
  sum.weights = keptIn(weightMemory, weights);
}

// The mean of `tuple`'s values under `cls`, as meanOf forms it. Nothing walks the map before or
// during the split, so every cursor stands at its head and a peek finds what a find would.
void formMean(const VertexValueMap& vertexValues, const int* tuple, int length, int cls, int d,
              WeightSum& weightSum, std::vector<SparseEntry>& weights, Arena& weightMemory,
              VertexValue& sum) {
  std::array<const VertexValue*, 8> values{};
  IntArray corner({2}, 0);
  corner[1] = cls;
  for (int e = 0; e < length; ++e) {
    corner[0] = tuple[e];
    values[e] = vertexValues.peek(corner);
    CAGEWARP_CHECK(values[e] != nullptr);
  }
  meanOf(values.data(), length, d, weightSum, weights, weightMemory, sum);
}

// The values of the vertices before a split, by class (only the classes of types with cells):
// the deferred means find their corners' values here, without a search each.
struct CornerTable {
  std::array<HugePageVector<const VertexValue*>, 8> byClass;

  CornerTable(const Mesh& mesh, const VertexValueMap& vertexValues, int threads) {
    const int vertices = mesh.vertexColumns();
    for (int t = 0; t < cellTypeCount; ++t) {
      HugePageVector<const VertexValue*>& values = byClass[cellClass[t]];
      if (mesh.cellCount(t) == 0 || !values.empty()) continue;
      values.resize(static_cast<size_t>(vertices), nullptr);
      parallelFor(vertices, threads, [&](int64_t begin, int64_t end) {
        IntArray key({2}, 0);
        key[1] = cellClass[t];
        for (int64_t u = begin; u < end; ++u) {
          key[0] = static_cast<int>(u);
          values[u] = vertexValues.peek(key);
        }
      });
    }
  }
  const VertexValue* value(int u, int cls) const {
    const VertexValue* v = byClass[cls][u];
    CAGEWARP_CHECK(v != nullptr);
    return v;
  }
};

// Enters the mean of the tuple's values under `node` = (node, class) unless present.
void nodeValue(VertexValueMap& vertexValues, const int* tuple, int length, int d,
               const IntArray& node, WeightSum& weightSum, std::vector<SparseEntry>& weights,
               Arena& weightMemory) {
  if (vertexValues.find(node)) return;
  VertexValue sum;
  formMean(vertexValues, tuple, length, node[1], d, weightSum, weights, weightMemory, sum);
  bool inserted = false;
  vertexValues.insertIfAbsent(node, std::move(sum), inserted);
}

// Writes, for each parent column, its nodes at the table's local indices into `children`, the
// parents one after another from the cursor on, on `threads` threads; moves the cursor past them.
void writeChildren(const IntArray& parents, const IntMatrix& table, IntArray& children,
                   int threads) {
  const int per = table.count();
  const int first = children.cursor();
  const int64_t last = first + int64_t{per} * parents.cols();
  CAGEWARP_CHECK(last <= children.count());
  parallelFor(parents.cols(), threads, [&](int64_t begin, int64_t end) {
    for (auto cell = static_cast<int>(begin); cell < end; ++cell) {
      const int* nodes = parents.column(cell);
      int* out = children.data() + first + int64_t{per} * cell;
      for (int j = 0; j < per; ++j) out[j] = nodes[table[j]];
    }
  });
  children.setCursor(static_cast<int>(last));
}

std::array<IntArray, 8> buildChildren(const std::array<IntArray, 8>& refined,
                                      const std::array<int64_t, 8>& counts,
                                      const LookupTables& tables, int threads) {
  std::array<IntArray, 8> children;
  for (int t = 0; t < cellTypeCount; ++t)
    children[t] = IntArray({verticesPerCell[t], static_cast<int>(counts[t])}, 0);
  for (int t = 0; t < cellTypeCount; ++t) {
    if (refined[t].cols() > 0) writeChildren(refined[t], tables.uniTables[t], children[t], threads);
  }
  if (refined[octahedronType].cols() > 0) {
    writeChildren(refined[octahedronType], tables.basTables[octahedronType],
                  children[tetrahedronType], threads);
  }
  if (refined[tetrahedronType].cols() > 0) {
    writeChildren(refined[tetrahedronType], tables.basTables[tetrahedronType],
                  children[octahedronType], threads);
  }
  return children;
}

// A node's (vertex, class) value to be formed once the numbering is done: the mean over the
// tuple of a group of cell `cell`, the tuple as the numbering leaves it.
struct PendingMean {
  VertexValue* target;
  int cell;
  int group;  // index into the step's group list
};

struct NodeGroup {
  int type;
  const int* members;
  int length;
};

// The tuple of a pending mean, as the numbering left it.
int pendingTuple(const std::array<IntArray, 8>& refined, const NodeGroup& group, int cell,
                 std::array<int, 8>& tuple) {
  nodeTuple(refined[group.type].column(cell), group.members, group.length, tuple);
  return group.length;
}

// Gives every cell its new nodes (new vertex indices by type, node table, group, then cell) with
// their per-class means, and returns the children that replace the cells. The nodes are numbered
// first, then their values enter the map in the same walk; where every tuple names only corners,
// the means depend only on values the split does not change, so they are formed afterwards on
// `threads` threads, each into the entry already made for it. The cells have `nodeRows` new node
// rows in all.
std::array<IntArray, 8> splitCells(const Mesh& mesh, const LookupTables& tables, StepState& state,
                                   int64_t nodeRows, int threads) {
  const int d = mesh.vertices.rows();
  WeightSum weightSum(mesh.weights.rows);
  bool deferMeans = true;
  for (int t = 0; t < cellTypeCount; ++t)
    if (mesh.cellCount(t) > 0 && tables.checked().nodesNameNewNodes[t]) deferMeans = false;
  std::vector<SparseEntry> weights;
  const BorrowedArena weightMemory(state.weightMemory);
  std::array<IntArray, 8> refined = mesh.cells;
  for (int t = 0; t < cellTypeCount; ++t)
    if (refined[t].cols() > 0) refined[t].resizeRows(refinedNodeCount[t]);
  int known = state.vertexCount;  // the nodes the walk has met so far
  numberNodes(tables, refined, state.vertexCount, threads);
  // Reused, so that the inner loops do not allocate a key per node.
  IntArray nodeKey({2}, 0);
  std::vector<NodeGroup> groups;
  // At most one per node row: reserved whole (only the pages used are taken), in huge pages,
  // rather than grown by doubling through millions of entries.
  UnfilledVector<PendingMean> pending;
  if (deferMeans) pending.reserve(static_cast<size_t>(nodeRows));
  std::array<int, 8> corners{};  // a node's tuple
  for (int t = 0; t < cellTypeCount; ++t) {
    IntArray& cells = refined[t];
    if (cells.cols() == 0) continue;
    nodeKey[1] = cellClass[t];
    // The nodes this type numbers from here on get their entry for its class when numbered.
    const int typeFirstNode = known;
    for (const SplitGroup& group : splitGroups(tables, t)) {
      groups.push_back({t, group.members, group.length});
      for (int cell = 0; cell < cells.cols(); ++cell) {
        const int* nodes = cells.column(cell);
        nodeKey[0] = nodes[group.row];
        const bool isNew = nodeKey[0] == known;
        if (isNew) ++known;
        if (!deferMeans) {
          nodeTuple(nodes, group.members, group.length, corners);
          nodeValue(state.vertexValues, corners.data(), group.length, d, nodeKey, weightSum,
                    weights, *weightMemory);
          continue;
        }
        // Present already; a lookup would find it and leave the map as it is, every cursor
        // standing at its head during the split.
        if (!isNew && nodeKey[0] >= typeFirstNode) continue;
        bool inserted = false;
        VertexValue* target = state.vertexValues.insertIfAbsent(nodeKey, {}, inserted);
        if (inserted) pending.push_back({target, cell, static_cast<int>(groups.size()) - 1});
      }
    }
  }
  CAGEWARP_CHECK(known == state.vertexCount);
  if (pending.empty()) return buildChildren(refined, childCounts(mesh), tables, threads);
  const CornerTable cornerValues(mesh, state.vertexValues, threads);
  parallelFor(static_cast<int64_t>(pending.size()), threads, [&](int64_t begin, int64_t end) {
    WeightSum sum(mesh.weights.rows);
    std::vector<SparseEntry> meanWeights;
    const BorrowedArena memory(state.weightMemory);
    // The corner values lie anywhere: each mean's are found two means ahead, when where they lie
    // is asked for, and asked for whole one mean ahead. A ring keeps the three in flight.
    struct Corners {
      std::array<const VertexValue*, 8> values{};
      int length = 0;
    };
    std::array<Corners, 3> ring{};
    std::array<int, 8> tuple{};
    auto look = [&](int64_t i) -> const Corners& {
      Corners& c = ring[static_cast<size_t>(i % 3)];
      const PendingMean& p = pending[i];
      const NodeGroup& group = groups[p.group];
      c.length = pendingTuple(refined, group, p.cell, tuple);
      for (int e = 0; e < c.length; ++e)
        c.values[e] = cornerValues.value(tuple[e], cellClass[group.type]);
      return c;
    };
    for (int64_t i = begin; i < std::min(end, begin + 2); ++i) look(i);
    for (int64_t i = begin; i < end; ++i) {
      if (i + 2 < end) {
        const Corners& ahead = look(i + 2);
        for (int e = 0; e < ahead.length; ++e) __builtin_prefetch(ahead.values[e]);
      }
      if (i + 1 < end) {
        const Corners& next = ring[static_cast<size_t>((i + 1) % 3)];
        for (int e = 0; e < next.length; ++e) {
          __builtin_prefetch(next.values[e]->dense.data());
          prefetchWhole(next.values[e]->weights);
        }
      }
      const Corners& here = ring[static_cast<size_t>(i % 3)];
      meanOf(here.values.data(), here.length, d, sum, meanWeights, *memory, *pending[i].target);
    }
  });
  return buildChildren(refined, childCounts(mesh), tables, threads);
}

// The value first entered for vertex i, or null; the walk leaves the bucket's cursor at its head.
const VertexValue* firstValue(VertexValueMap& vertexValues, int i) {
  const VertexValue* first = nullptr;
  VertexValueMap::View entry{};
  while (vertexValues.nextInBucket(i, entry))
    if (!first) first = entry.value;
  return first;
}

// Without the smoothing pass every class of a vertex holds the same value, so the first one
// entered stands for all. A vertex in no cell keeps a zero column.
void copyVertexColumns(VertexValueMap& vertexValues, Matrix& vertices, SparseColumns& weights) {
  const int d = vertices.rows();
  if (weights.rows > 0) {
    // Reserved whole, so that the packed array never grows by doubling.
    size_t total = 0;
    for (int i = 0; i < vertices.cols(); ++i)
      if (const VertexValue* value = firstValue(vertexValues, i)) total += value->weights.size();
    weights.entries.reserve(total);
    weights.start.reserve(static_cast<size_t>(vertices.cols()) + 1);
  }
  for (int i = 0; i < vertices.cols(); ++i) {
    const VertexValue* value = firstValue(vertexValues, i);
    if (value) std::copy(value->dense.data(), value->dense.data() + d, vertices.column(i));
    if (weights.rows == 0) continue;
    if (value)
      weights.appendColumn(value->weights.data(), value->weights.data() + value->weights.size());
    else
      weights.appendColumn(nullptr, nullptr);
  }
}

}  // namespace

Status subdivide(Mesh& mesh, const LookupTables& tables, int flags, Warnings& warnings,
                 int threads) {
  if (Status s = checkCellVertices(mesh); !s.ok) return s;
  const bool split = (flags & splitFlag) != 0;
  int64_t vertexBound = mesh.vertexColumns();
  if (split) {
    if (Status s = checkSplitTables(mesh, tables); !s.ok) return s;
    for (int t = 0; t < cellTypeCount; ++t)
      vertexBound += int64_t{mesh.cellCount(t)} * newNodeCount(t);
    if (Status s = checkRefinedSize(mesh, vertexBound); !s.ok) return s;
  }

  StepState state(vertexValueBuckets(mesh, vertexBound), mesh.vertexColumns());
  seedVertexValues(mesh, state.vertexValues);
  if (flags & smoothFlag) {
    const BorrowedArena weightMemory(state.weightMemory);
    correctInterfaces(mesh, tables, state.vertexValues, *weightMemory, warnings);
  }
  std::array<IntArray, 8> cells =
      split ? splitCells(mesh, tables, state, vertexBound - mesh.vertexColumns(), threads)
            : mesh.cells;

  const int d = mesh.vertices.rows();
  if (int64_t{d} * state.vertexCount > intLimit)
    return Status::failure("the refined mesh would have too many vertex values");
  Matrix vertices(d, state.vertexCount);
  SparseColumns weights;
  weights.rows = mesh.weights.rows;
  if (flags & normalFlag) {
    Status s = computeSmoothedPositions(cells, tables, state.vertexValues, state.weightMemory,
                                        vertices, weights, threads);
    if (!s.ok) return s;
  } else {
    copyVertexColumns(state.vertexValues, vertices, weights);
  }
  mesh.cells = std::move(cells);
  mesh.vertices = std::move(vertices);
  mesh.weights = std::move(weights);
  return Status::success();
}

}  // namespace cagewarp
