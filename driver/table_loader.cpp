#include "driver/table_loader.h"

#include "array/array_file.h"

namespace cagewarp {
namespace {

class TableReader {
 public:
  TableReader(const std::string& directory, Warnings& warnings)
      : directory_(directory), warnings_(warnings) {}

  IntMatrix ints(const std::string& name) { return IntMatrix(read<int32_t>(name)); }
  Matrix floats(const std::string& name) { return Matrix(read<float>(name)); }
  FloatArray array(const std::string& name) { return read<float>(name); }

 private:
  template <typename T>
  NdArray<T> read(const std::string& name) {
    const std::string path = directory_ + "/" + name;
    std::string problem;
    NdArray<T> table = loadArray<T>(path, &problem);
    if (!problem.empty()) warnings_.push_back(path + ": " + problem + "; the table is left empty");
    return table;
  }

  std::string directory_;
  Warnings& warnings_;
};

std::string indexed(const char* stem, int index) {
  return std::string("mesh_") + stem + std::to_string(index) + ".tab";
}

}  // namespace

LookupTables loadLookupTables(const std::string& directory, Warnings& warnings) {
  TableReader read(directory, warnings);
  LookupTables tables;
  tables.procTable = read.ints("mesh_proc.tab");
  tables.colrTable = read.array("mesh_colr.tab");
  static constexpr const char* nodeStems[4] = {"edg", "qua", "hex", "cub"};
  for (int t = 0; t < cellTypeCount; ++t) {
    tables.shpTables[t] = read.floats(indexed("shp", t));
    for (int k = 1; k <= 4; ++k)
      tables.nodeTables[t][k - 1] = read.ints(indexed(nodeStems[k - 1], t));
    tables.uniTables[t] = read.ints(indexed("uni", t));
    tables.basTables[t] = read.ints(indexed("bas", t));
    tables.zipTables[t] = read.ints(indexed("zip", t));
    tables.barTables[t] = read.ints(indexed("bar", t));
    tables.brnTables[t] = read.ints(indexed("brn", t));
    tables.nrmTables[t] = read.ints(indexed("nrm", t));
    tables.meaTables[t] = read.ints(indexed("mea", t));
    tables.swpTables[t] = read.ints(indexed("swp", t));
  }
  for (auto& perType : tables.nodeTables) {
    for (auto& entry : perType)
      if (entry->isEmpty() || entry->count() == 0) entry.reset();
  }
  for (int t = 8; t <= 9; ++t) {
    tables.zipTables[t] = read.ints(indexed("zip", t));
    tables.nrmTables[t] = read.ints(indexed("nrm", t));
  }
  return tables;
}

MeshTables loadMeshTables(const std::string& directory, Warnings& warnings) {
  TableReader read(directory, warnings);
  MeshTables tables;
  for (int t = 0; t < cellTypeCount; ++t) {
    tables.avgTables[t] = read.floats(indexed("avg4", t));
    tables.corTables[t] = read.array(indexed("cor4", t));
  }
  for (int r = 0; r < 6; ++r) tables.mulTables[r] = read.floats(indexed("mul4", r));
  return tables;
}

}  // namespace cagewarp
