#include "subdiv/node_numbering.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>
#include <utility>

#include "array/memory_advice.h"
#include "array/parallel_for.h"
#include "mesh/cell_type.h"
#include "subdiv/tuple_map.h"

namespace cagewarp {
namespace {

// How many cells ahead the walk brings a node's table slots towards the cache.
constexpr int prefetchCells = 8;

// The two diagonals that name a quad middle, each as (smaller, larger) corner.
std::array<std::array<int, 2>, 2> quadDiagonals(const int* quad) {
  return {{{std::min(quad[0], quad[2]), std::max(quad[0], quad[2])},
           {std::min(quad[1], quad[3]), std::max(quad[1], quad[3])}}};
}

// Sorts a tuple of at most eight elements in place: an insertion sort (std::sort's
// sixteen-element step trips GCC's bounds warning on an array this short).
void sortTuple(int* tuple, int length) {
  for (int i = 1; i < length; ++i)
    for (int j = i; j > 0 && tuple[j - 1] > tuple[j]; --j) std::swap(tuple[j - 1], tuple[j]);
}

// The vertex index of the node `tuple` (as nodeTuple leaves it) names; a new node takes the next
// free index.
int nodeIndex(const int* tuple, int length, TupleIndexTable& nodeIndices, int& vertexCount) {
  if (length == 4) {
    const auto diagonals = quadDiagonals(tuple);
    for (const auto& diagonal : diagonals)
      if (const int* known = nodeIndices.find(diagonal.data(), 2)) return *known;
    const int index = vertexCount++;
    for (const auto& diagonal : diagonals) {
      int stored = index;
      nodeIndices.insertIfAbsent(diagonal.data(), 2, stored);
    }
    return index;
  }
  int index = vertexCount;
  if (nodeIndices.insertIfAbsent(tuple, length, index)) ++vertexCount;
  return index;
}

// Brings the slots where nodeIndex will search for the node `members` name in a cell with nodes
// `nodes` towards the cache: the searches land anywhere in a large table.
void prefetchNode(const int* nodes, const int* members, int length,
                  const TupleIndexTable& nodeIndices) {
  std::array<int, 8> tuple{};
  nodeTuple(nodes, members, length, tuple);
  if (length != 4) {
    nodeIndices.prefetch(tuple.data(), length);
    return;
  }
  for (const auto& diagonal : quadDiagonals(tuple.data())) nodeIndices.prefetch(diagonal.data(), 2);
}

// A node group of one type over all its cells: a stretch of the walk.
struct WalkBlock {
  int type;
  SplitGroup group;
  int64_t first;  // the walk place of its first cell
  int cells;
};

// The walk's places, block by block.
struct Walk {
  std::vector<WalkBlock> blocks;
  int64_t places = 0;
  bool quads = false;

  Walk(const LookupTables& tables, const std::array<IntArray, 8>& refined) {
    for (int t = 0; t < cellTypeCount; ++t) {
      const int cells = refined[t].cols();
      if (cells == 0) continue;
      for (const SplitGroup& group : splitGroups(tables, t)) {
        blocks.push_back({t, group, places, cells});
        places += cells;
        quads = quads || group.length == 4;
      }
    }
  }
  const WalkBlock& blockOf(int64_t place) const {
    return *(std::upper_bound(blocks.begin(), blocks.end(), place,
                              [](int64_t p, const WalkBlock& b) { return p < b.first; }) -
             1);
  }
  // Calls visit(place, node row) for the walk places [begin, end) in order.
  template <typename Visit>
  void forEachNodeRow(std::array<IntArray, 8>& refined, int64_t begin, int64_t end,
                      Visit visit) const {
    for (const WalkBlock& block : blocks) {
      IntArray& cells = refined[block.type];
      for (int64_t p = std::max(begin, block.first); p < std::min(end, block.first + block.cells);
           ++p)
        visit(p, cells.column(static_cast<int>(p - block.first))[block.group.row]);
    }
  }
  int* nodeRow(std::array<IntArray, 8>& refined, int64_t place) const {
    const WalkBlock& block = blockOf(place);
    return refined[block.type].column(static_cast<int>(place - block.first)) + block.group.row;
  }
};

// A key met in the walk: a pair's corners packed whole, or the hash of a longer tuple (marked
// with its length), which a match checks against the tuple itself. A quad middle meets both its
// diagonals; the second is placed a walk's length on.
struct MetKey {
  uint64_t key;
  uint32_t hash;
  uint32_t place;
};
constexpr uint64_t hashedKey = uint64_t{1} << 63;

uint64_t pairKey(int a, int b) {
  return uint64_t{static_cast<uint32_t>(a)} << 32 | static_cast<uint32_t>(b);
}

// Calls met(key) for every key of the walk places [begin, end), in their order.
template <typename Met>
void forEachKey(const Walk& walk, const std::array<IntArray, 8>& refined, int64_t begin,
                int64_t end, Met met) {
  std::array<int, 8> tuple{};
  const uint32_t second = static_cast<uint32_t>(walk.places);
  for (const WalkBlock& block : walk.blocks) {
    const int64_t from = std::max(begin, block.first);
    const int64_t to = std::min(end, block.first + block.cells);
    const SplitGroup& group = block.group;
    for (int64_t place = from; place < to; ++place) {
      nodeTuple(refined[block.type].column(static_cast<int>(place - block.first)), group.members,
                group.length, tuple);
      const auto at = static_cast<uint32_t>(place);
      if (group.length == 4) {
        const auto diagonals = quadDiagonals(tuple.data());
        met(MetKey{pairKey(diagonals[0][0], diagonals[0][1]), mixedHash(diagonals[0].data(), 2),
                   at});
        met(MetKey{pairKey(diagonals[1][0], diagonals[1][1]), mixedHash(diagonals[1].data(), 2),
                   second + at});
      } else if (group.length == 2) {
        met(MetKey{pairKey(tuple[0], tuple[1]), mixedHash(tuple.data(), 2), at});
      } else {
        const uint32_t hash = mixedHash(tuple.data(), group.length);
        met(MetKey{hashedKey | uint64_t{static_cast<uint32_t>(group.length)} << 32 | hash, hash,
                   at});
      }
    }
  }
}

// Whether the walk places a and b (neither a quad middle) name the same tuple.
bool sameTuple(const Walk& walk, const std::array<IntArray, 8>& refined, int64_t a, int64_t b) {
  std::array<std::array<int, 8>, 2> tuples{};
  int lengths[2] = {};
  for (int i = 0; i < 2; ++i) {
    const int64_t place = i == 0 ? a : b;
    const WalkBlock& block = walk.blockOf(place);
    nodeTuple(refined[block.type].column(static_cast<int>(place - block.first)),
              block.group.members, block.group.length, tuples[i]);
    lengths[i] = block.group.length;
  }
  return lengths[0] == lengths[1] &&
         std::equal(tuples[0].begin(), tuples[0].begin() + lengths[0], tuples[1].begin());
}

// Keys per part: a part's table stays small enough for the cache.
constexpr int64_t keysPerPart = 16384;

// The stretches of the walk that the threads take in turn: several per thread, each long enough
// to be worth one.
int64_t stretchCount(int64_t places, int threads) {
  return std::clamp<int64_t>(places / 65536, 1, int64_t{8} * threadCount(threads));
}

// For every key met in the walk, the first place where its key was met, written to
// firstPlace[key's place]: the keys are parted by hash, and each part is searched in walk order
// with a table of its own.
void findFirstPlaces(const Walk& walk, const std::array<IntArray, 8>& refined, int threads,
                     UnfilledVector<uint32_t>& firstPlace) {
  const int64_t stretches = stretchCount(walk.places, threads);
  const int64_t perStretch = (walk.places + stretches - 1) / stretches;
  int partBits = 0;
  while (partBits < 12 && (walk.places << 1) > keysPerPart << partBits) ++partBits;
  const int64_t parts = int64_t{1} << partBits;
  auto partOf = [partBits](uint32_t hash) -> int64_t {
    return partBits == 0 ? 0 : hash >> (32 - partBits);
  };
  // Keys per stretch and part, then where each stretch's keys of a part go: parts one after
  // another, each in walk order.
  std::vector<int64_t> at(static_cast<size_t>(stretches * parts), 0);
  parallelFor(stretches, threads, [&](int64_t s0, int64_t s1) {
    for (int64_t s = s0; s < s1; ++s) {
      int64_t* count = at.data() + s * parts;
      forEachKey(walk, refined, s * perStretch, std::min(walk.places, (s + 1) * perStretch),
                 [&](const MetKey& key) { ++count[partOf(key.hash)]; });
    }
  });
  std::vector<int64_t> partStart(static_cast<size_t>(parts + 1), 0);
  int64_t total = 0;
  for (int64_t q = 0; q < parts; ++q) {
    partStart[q] = total;
    for (int64_t s = 0; s < stretches; ++s) {
      const int64_t n = at[s * parts + q];
      at[s * parts + q] = total;
      total += n;
    }
  }
  partStart[parts] = total;
  UnfilledVector<MetKey> keys;
  keys.resize(static_cast<size_t>(total));
  parallelFor(stretches, threads, [&](int64_t s0, int64_t s1) {
    for (int64_t s = s0; s < s1; ++s) {
      int64_t* next = at.data() + s * parts;
      forEachKey(walk, refined, s * perStretch, std::min(walk.places, (s + 1) * perStretch),
                 [&](const MetKey& key) { keys[next[partOf(key.hash)]++] = key; });
    }
  });
  const uint64_t places = static_cast<uint64_t>(walk.places);
  parallelFor(parts, threads, [&](int64_t q0, int64_t q1) {
    struct Slot {
      uint64_t key;
      uint32_t first;
      bool used;
    };
    std::vector<Slot> slots;
    for (int64_t q = q0; q < q1; ++q) {
      const int64_t begin = partStart[q];
      const int64_t end = partStart[q + 1];
      size_t capacity = 16;
      while (capacity < static_cast<size_t>(2 * (end - begin))) capacity *= 2;
      slots.assign(capacity, Slot{0, 0, false});
      const size_t mask = capacity - 1;
      for (int64_t k = begin; k < end; ++k) {
        const MetKey& key = keys[k];
        const uint32_t place =
            key.place >= places ? static_cast<uint32_t>(key.place - places) : key.place;
        size_t i = key.hash & mask;
        for (;; i = (i + 1) & mask) {
          const Slot& slot = slots[i];
          if (!slot.used) break;
          if (slot.key == key.key &&
              (!(key.key & hashedKey) || sameTuple(walk, refined, slot.first, place)))
            break;
        }
        if (!slots[i].used) slots[i] = {key.key, place, true};
        firstPlace[key.place] = slots[i].first;
      }
    }
  });
}

// Numbers the nodes by their first places in the walk, which gives the walk's numbers where a
// quad middle's two diagonals are always first met together: each key then enters the walk's
// table at its first place.
bool numberByFirstPlaces(const Walk& walk, std::array<IntArray, 8>& refined, int& vertexCount,
                         int threads) {
  // Places and a quad middle's second diagonal must fit the keys' 32-bit places.
  if (walk.places == 0 || walk.places >= (int64_t{1} << 31)) return walk.places == 0;
  UnfilledVector<uint32_t> firstPlace;
  firstPlace.resize(static_cast<size_t>(walk.quads ? 2 * walk.places : walk.places));
  findFirstPlaces(walk, refined, threads, firstPlace);
  const int64_t places = walk.places;
  if (walk.quads) {
    std::atomic<bool> apart{false};
    for (const WalkBlock& block : walk.blocks) {
      if (block.group.length != 4) continue;
      parallelFor(block.cells, threads, [&](int64_t c0, int64_t c1) {
        for (int64_t p = block.first + c0; p < block.first + c1; ++p)
          if (firstPlace[p] != firstPlace[places + p]) apart.store(true, std::memory_order_relaxed);
      });
    }
    if (apart.load()) return false;
  }
  // New nodes (where a key is first met) take the next indices in walk order; the others take
  // their first place's index.
  const int64_t stretches = stretchCount(places, threads);
  const int64_t perStretch = (places + stretches - 1) / stretches;
  std::vector<int64_t> firstIndex(static_cast<size_t>(stretches) + 1, 0);
  parallelFor(stretches, threads, [&](int64_t s0, int64_t s1) {
    for (int64_t s = s0; s < s1; ++s) {
      int64_t count = 0;
      for (int64_t p = s * perStretch; p < std::min(places, (s + 1) * perStretch); ++p)
        count += firstPlace[p] == p;
      firstIndex[s + 1] = count;
    }
  });
  for (int64_t s = 0; s < stretches; ++s) firstIndex[s + 1] += firstIndex[s];
  CAGEWARP_CHECK(vertexCount + firstIndex[stretches] <= std::numeric_limits<int>::max());
  const int base = vertexCount;
  parallelFor(stretches, threads, [&](int64_t s0, int64_t s1) {
    int next = base + static_cast<int>(firstIndex[s0]);
    walk.forEachNodeRow(refined, s0 * perStretch, std::min(places, s1 * perStretch),
                        [&](int64_t p, int& row) {
                          if (firstPlace[p] == p) row = next++;
                        });
  });
  parallelFor(places, threads, [&](int64_t p0, int64_t p1) {
    walk.forEachNodeRow(refined, p0, p1, [&](int64_t p, int& row) {
      if (firstPlace[p] != p) row = *walk.nodeRow(refined, firstPlace[p]);
    });
  });
  vertexCount = base + static_cast<int>(firstIndex[stretches]);
  return true;
}

}  // namespace

std::vector<SplitGroup> splitGroups(const LookupTables& tables, int t) {
  std::vector<SplitGroup> groups;
  int row = verticesPerCell[t];
  for (int k = 1; k <= 4; ++k) {
    const IntMatrix* table = tables.nodeTable(t, k);
    if (!table) continue;
    for (int g = 0; g < table->count() / (2 * k); ++g)
      groups.push_back({row++, table->data() + g * 2 * k, 2 * k});
  }
  return groups;
}

void nodeTuple(const int* nodes, const int* members, int length, std::array<int, 8>& tuple) {
  for (int e = 0; e < length; ++e) tuple[e] = nodes[members[e]];
  if (length != 4) sortTuple(tuple.data(), length);
}

void numberNodesInWalk(const LookupTables& tables, std::array<IntArray, 8>& refined,
                       int& vertexCount) {
  // Only searched, never walked, so its layout changes no result.
  TupleIndexTable nodeIndices;
  std::array<int, 8> tuple{};
  for (int t = 0; t < cellTypeCount; ++t) {
    IntArray& cells = refined[t];
    for (const SplitGroup& group : splitGroups(tables, t)) {
      for (int cell = 0; cell < cells.cols(); ++cell) {
        if (cell + prefetchCells < cells.cols())
          prefetchNode(cells.column(cell + prefetchCells), group.members, group.length,
                       nodeIndices);
        int* nodes = cells.column(cell);
        nodeTuple(nodes, group.members, group.length, tuple);
        nodes[group.row] = nodeIndex(tuple.data(), group.length, nodeIndices, vertexCount);
      }
    }
  }
}

bool detail::numberByFirstPlaces(const LookupTables& tables, std::array<IntArray, 8>& refined,
                                 int& vertexCount, int threads) {
  return numberByFirstPlaces(Walk(tables, refined), refined, vertexCount, threads);
}

void numberNodes(const LookupTables& tables, std::array<IntArray, 8>& refined, int& vertexCount,
                 int threads) {
  // Below this many walk places the walk's table stays in the cache, and the walk is faster than
  // sharing the keys out.
  constexpr int64_t threadedPlaces = int64_t{1} << 17;
  for (int t = 0; t < cellTypeCount; ++t)
    if (refined[t].cols() > 0 && tables.checked().nodesNameNewNodes[t])
      return numberNodesInWalk(tables, refined, vertexCount);
  const Walk walk(tables, refined);
  if (walk.places < threadedPlaces || !numberByFirstPlaces(walk, refined, vertexCount, threads))
    numberNodesInWalk(tables, refined, vertexCount);
}

}  // namespace cagewarp
