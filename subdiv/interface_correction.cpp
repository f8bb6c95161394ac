#include "subdiv/interface_correction.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "mesh/cell_type.h"
#include "mesh/face_family.h"
#include "subdiv/face_key.h"
#include "subdiv/vertex_value.h"

namespace cagewarp {

using detail::FaceTuple;
using detail::prismQuadMark;

namespace {

constexpr int kindCount = faceKindCount;
constexpr int prismQuadKind = faceFamilyKind[prismQuadFamily];

// The cell type of kind k: that of family k.
int kindOwnerType(int k) {
  return faceFamilyCellType[k];
}

bool isMarked(int v) {
  return (v & prismQuadMark) != 0;
}

struct Rule {
  int index;
  int firstKind;
  int secondKind;
  const Matrix* mul;  // the rule's interface matrix
};

// The rules of procTable that can be applied; every other rule is reported and left out.
std::vector<Rule> usableRules(const LookupTables& tables, Warnings& warnings) {
  const TableChecks& checks = tables.checked();
  if (!checks.interfaceRules.ok) {
    warnings.push_back(checks.interfaceRules.message);
    return {};
  }
  std::vector<Rule> rules;
  for (int r = 0; r < static_cast<int>(checks.rules.size()); ++r) {
    if (!checks.rules[r].ok) {
      warnings.push_back(checks.rules[r].message);
      continue;
    }
    rules.push_back(
        {r, tables.procTable.at(0, r), tables.procTable.at(1, r), &tables.mulTables[r]});
  }
  return rules;
}

// Faces that name a vertex twice or a vertex outside the mesh take no part: the former would
// make a quad's second entry land in the bucket being walked, the latter would index memory.
bool usableFace(const IntArray& face, int vertexCount) {
  for (int i = 0; i < face.count(); ++i) {
    if (face[i] < 0 || face[i] >= vertexCount) return false;
    for (int j = 0; j < i; ++j)
      if (face[j] == face[i]) return false;
  }
  return true;
}

// The kinds whose faces some rule can pair: both its kinds have faces, from cells with a usable
// face list. Faces of other kinds meet only faces of their own kind, in no rule, so they are not
// collected; a mesh of one cell type collects none.
std::array<bool, kindCount> pairedKinds(const Mesh& mesh, const LookupTables& tables,
                                        const std::vector<Rule>& rules) {
  std::array<bool, kindCount> hasFaces{};
  for (int q = 0; q < faceFamilyCount; ++q)
    if (mesh.cells[faceFamilyCellType[q]].cols() > 0 && tables.checked().faceLists[q].ok)
      hasFaces[faceFamilyKind[q]] = true;
  std::array<bool, kindCount> paired{};
  for (const Rule& rule : rules)
    if (hasFaces[rule.firstKind] && hasFaces[rule.secondKind])
      paired[rule.firstKind] = paired[rule.secondKind] = true;
  return paired;
}

// Step 1: the faces on the outside of each region, as kind keys, of the kinds in `paired`.
void collectRegionFaces(const Mesh& mesh, const LookupTables& tables,
                        const std::array<bool, kindCount>& paired, TupleIndexMap& faceSet,
                        Warnings& warnings) {
  const int n = mesh.vertices.cols();
  int unused = 0;
  for (int q = 0; q < faceFamilyCount; ++q) {
    const IntArray& cells = mesh.cells[faceFamilyCellType[q]];
    if (cells.cols() == 0) continue;
    CAGEWARP_CHECK(cells.rows() == verticesPerCell[faceFamilyCellType[q]]);
    const IntMatrix& faceList = tables.zipTables[q];
    if (const Status& status = tables.checked().faceLists[q]; !status.ok) {
      warnings.push_back(status.message + "; these faces take no part in interface correction");
      continue;
    }
    if (!paired[faceFamilyKind[q]]) continue;
    const int size = faceFamilySize[q];
    IntArray face({size}, 0);
    for (int c = 0; c < cells.cols(); ++c) {
      for (int g = 0; g < faceFamilyFaceCount[q]; ++g) {
        for (int i = 0; i < size; ++i) face[i] = cells.at(faceList[g * size + i], c);
        if (!usableFace(face, n)) continue;
        if (q == prismQuadFamily) {
          int largest = 0;
          face.argMax(largest);
          if (largest % 2 == 1) face[largest] |= prismQuadMark;
        }
        IntArray key = faceKey(face, faceFamilyKind[q]);
        if (!faceSet.erase(reversedFaceKey(key))) faceSet.insertIfAbsent(key, unused);
      }
    }
  }
}

// Step 2: every quad is listed again at its second smallest unmarked vertex, so that a triangle
// or quad starting there finds it. Buckets are visited downwards, so the new entries land in
// buckets already passed.
void addSecondQuadEntries(TupleIndexMap& faceSet, int vertexCount) {
  int unused = 0;
  IntArray second({5}, 0);
  for (int v = vertexCount - 1; v >= 0; --v) {
    TupleIndexMap::View entry{};
    while (faceSet.nextInBucket(v, entry)) {
      if (entry.length != 5) continue;
      int m = 0;
      for (int i = 1; i <= 3; ++i)
        if (entry.key[i] < vertexCount && (m == 0 || entry.key[i] < entry.key[m])) m = i;
      if (m == 0) continue;
      for (int i = 0; i < 4; ++i) second[i] = entry.key[(m + i) % 4];
      second[4] = entry.key[4];
      faceSet.insertIfAbsent(second, unused);
    }
  }
}

// Scratch of the contributions, kept across calls so that they do not allocate per face.
struct ContributionScratch {
  explicit ContributionScratch(int weightRows) : weightSum(weightRows) {}
  WeightSum weightSum;
  std::array<std::vector<SparseEntry>, 4> productWeights;
  std::vector<SparseEntry> merged;
};

void addContribution(const Mesh& mesh, const Rule& rule, const FaceTuple& t, VertexValueMap& sums,
                     Arena& weightMemory, ContributionScratch& scratch) {
  const int d = mesh.vertices.rows();
  Matrix product(d, t.length);
  for (int q = 0; q < t.length; ++q) std::copy_n(mesh.vertices.column(t[q]), d, product.column(q));
  product.rightMultiplyInPlace(*rule.mul);
  const int c = product.cols();
  if (mesh.hasSparseWeights()) {
    // The weight rows of the same product, column by column, inner index ascending.
    for (int q = 0; q < std::min(c, t.length); ++q) {
      for (int j = 0; j < t.length; ++j)
        scratch.weightSum.addProduct({mesh.weights.begin(t[j]), mesh.weights.end(t[j])},
                                     (*rule.mul)(j, q));
      scratch.weightSum.take(scratch.productWeights[q]);
    }
  }
  IntArray key({2}, 0);
  key[1] = rule.index;
  for (int q = 0; q < t.length; ++q) {
    key[0] = t[q];
    VertexValue sum{DenseColumn(d + 1), {}};
    sums.lookup(key, sum);
    if (q < c) {
      const float* column = product.column(q);
      for (int i = 0; i < d; ++i) sum.dense[i] = sum.dense[i] + column[i];
      mergeWeights(
          sum.weights, scratch.productWeights[q], [](float s, float p) { return s + p; },
          scratch.merged);
      sum.weights = keptIn(weightMemory, scratch.merged);
    }
    sum.dense[d] = sum.dense[d] + 1.0f;
    sums.insertOrAssign(key, sum);
  }
}

// Step 3: for every vertex, each rule pairs the faces of its two kinds that start there.
void sumContributions(const Mesh& mesh, const std::vector<Rule>& rules, TupleIndexMap& faceSet,
                      VertexValueMap& sums, Arena& weightMemory) {
  std::array<std::vector<FaceTuple>, kindCount> faces;
  ContributionScratch scratch(mesh.weights.rows);
  for (int v = 0; v < mesh.vertices.cols(); ++v) {
    for (auto& list : faces) list.clear();
    TupleIndexMap::View entry{};
    while (faceSet.nextInBucket(v, entry)) {
      FaceTuple face;
      face.length = entry.length - 1;
      std::copy_n(entry.key, face.length, face.v.begin());
      faces[entry.key[face.length]].push_back(face);
    }
    for (const Rule& rule : rules) {
      for (const FaceTuple& x : faces[rule.firstKind]) {
        for (const FaceTuple& y : faces[rule.secondKind]) {
          FaceTuple t;
          if (!detail::matchFaces(x, y, rule.secondKind == prismQuadKind, t)) continue;
          // A prism quad taken whole keeps its mark; the corrected vertex is the unmarked one.
          for (int q = 0; q < t.length; ++q) t.v[q] &= ~prismQuadMark;
          addContribution(mesh, rule, t, sums, weightMemory, scratch);
        }
      }
    }
  }
}

void shiftValue(VertexValueMap& vertexValues, int v, int cellClassOfValue, const VertexValue& mean,
                float sign, Arena& weightMemory) {
  const IntArray key = IntArray::fromValues({v, cellClassOfValue});
  VertexValue value;
  if (!vertexValues.lookup(key, value)) return;
  const int d = std::min(value.dense.count(), mean.dense.count() - 1);
  auto shift = [sign](float x, float m) { return sign > 0 ? x + m : x - m; };
  for (int i = 0; i < d; ++i) value.dense[i] = shift(value.dense[i], mean.dense[i]);
  std::vector<SparseEntry> shifted;
  mergeWeights(value.weights, mean.weights, shift, shifted);
  value.weights = keptIn(weightMemory, shifted);
  vertexValues.insertOrAssign(key, value);
}

// Step 4: each vertex moves by the mean correction of each rule, up in the first kind's class and
// down in the second's.
void applyCorrections(const std::vector<Rule>& rules, int vertexCount, VertexValueMap& sums,
                      VertexValueMap& vertexValues, Arena& weightMemory) {
  std::array<const Rule*, 6> ruleOf{};
  for (const Rule& rule : rules) ruleOf[rule.index] = &rule;
  for (int v = 0; v < vertexCount; ++v) {
    VertexValueMap::View entry{};
    while (sums.nextInBucket(v, entry)) {
      const Rule& rule = *ruleOf[entry.key[1]];
      VertexValue mean(*entry.value);
      const float reciprocal = 1.0f / mean.dense[mean.dense.count() - 1];
      mean.dense *= reciprocal;
      std::vector<SparseEntry> scaled;
      for (const SparseEntry& e : mean.weights)
        if (const float x = reciprocal * e.value; !isPositiveZero(x)) scaled.push_back({e.row, x});
      mean.weights = scaled;
      shiftValue(vertexValues, v, cellClass[kindOwnerType(rule.firstKind)], mean, 1.0f,
                 weightMemory);
      shiftValue(vertexValues, v, cellClass[kindOwnerType(rule.secondKind)], mean, -1.0f,
                 weightMemory);
    }
  }
}

int distinctCount(std::initializer_list<int> values) {
  std::vector<int> sorted(values);
  std::sort(sorted.begin(), sorted.end());
  return static_cast<int>(std::unique(sorted.begin(), sorted.end()) - sorted.begin());
}

int positionIn(const FaceTuple& face, int value) {
  for (int i = 0; i < face.length; ++i)
    if (face[i] == value) return i;
  return -1;
}

// Takes the mark off prism quad y and returns 1 when y[0]-y[1] is one of the prism's triangle
// edges (they start at even positions of its face list), 0 when y[0]-y[1] is an axis edge.
int unmarkPrismQuad(FaceTuple& y) {
  int largest = 0;
  for (int i = 1; i < 4; ++i)
    if (y[i] > y[largest]) largest = i;
  if (isMarked(y[largest])) {
    y.v[largest] &= ~prismQuadMark;
    return largest % 2;
  }
  return (largest + 1) % 2;
}

// A triangle x lying on a quad y: the quad's corners without the one x leaves out.
bool matchTriangleOnQuad(const FaceTuple& x, FaceTuple y, bool quadIsPrismFace, FaceTuple& t) {
  const int parity = quadIsPrismFace ? unmarkPrismQuad(y) : 0;
  if (distinctCount({x[1], x[2], y[1], y[2], y[3]}) != 3) return false;
  int left = -1;
  for (int i = 0; i < 4 && left < 0; ++i)
    if (positionIn(x, y[i]) < 0) left = i;
  if (left < 0) return false;
  t.length = 3;
  for (int i = 0; i < 3; ++i) t.v[i] = y[(left + 1 + i) % 4];
  if (quadIsPrismFace && (left + parity) % 2 == 1) std::swap(t.v[0], t.v[2]);
  return true;
}

}  // namespace

namespace detail {

bool matchFaces(const FaceTuple& x, FaceTuple y, bool quadIsPrismFace, FaceTuple& t) {
  if (x.length == 2) {
    if (y.length < 2 || x[1] != y[1]) return false;
    t = x;
    return true;
  }
  if (y.length == 3) {
    if (x[1] != y[2] || x[2] != y[1]) return false;
    t = x;
    t.length = 3;
    return true;
  }
  if (x.length == 3 && y.length == 4) return matchTriangleOnQuad(x, y, quadIsPrismFace, t);
  if (x.length == 4 && y.length == 4) {
    // Only a quad's own entry (at its smallest vertex) stands for it on this side.
    if (x[0] > x[1] || x[0] > x[2] || x[0] > x[3]) return false;
    if (distinctCount({x[1], x[2], x[3], y[1], y[2], y[3]}) > 4) return false;
    if (quadIsPrismFace) {
      // A rule against prism quads acts along the prism's triangle edges, so T[0]-T[1] and
      // T[2]-T[3] must be those edges whichever way the user numbered the cells.
      t = y;
      if (unmarkPrismQuad(t) == 0) std::swap(t.v[1], t.v[3]);
      return true;
    }
    t = x;
    if (isMarked(y[2])) {
      t = y;
      t.v[2] = x[2];
    }
    return true;
  }
  return false;
}

}  // namespace detail

void correctInterfaces(const Mesh& mesh, const LookupTables& tables, VertexValueMap& vertexValues,
                       Arena& weightMemory, Warnings& warnings) {
  const int n = mesh.vertices.cols();
  const std::vector<Rule> rules = usableRules(tables, warnings);
  if (n == 0 || rules.empty()) return;
  const std::array<bool, kindCount> paired = pairedKinds(mesh, tables, rules);
  TupleIndexMap faceSet(n, firstElementHash);
  collectRegionFaces(mesh, tables, paired, faceSet, warnings);
  if (std::none_of(paired.begin(), paired.end(), [](bool p) { return p; })) return;
  addSecondQuadEntries(faceSet, n);
  VertexValueMap sums(n, firstElementHash);
  sumContributions(mesh, rules, faceSet, sums, weightMemory);
  applyCorrections(rules, n, sums, vertexValues, weightMemory);
}

}  // namespace cagewarp
