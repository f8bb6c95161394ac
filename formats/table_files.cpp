#include "formats/table_files.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "formats/array_file.h"
#include "mesh/cell_type.h"

namespace cagewarp {
namespace {

class TableReader {
 public:
  TableReader(const LookupTables& tables, Warnings& warnings)
      : tables_(tables), warnings_(warnings) {}

  IntMatrix ints(std::string_view stem, int index) {
    return IntMatrix(read<int32_t>(tables_.fileName(stem, index)));
  }
  IntMatrix ints(std::string_view stem) { return IntMatrix(read<int32_t>(tables_.fileName(stem))); }
  Matrix floats(std::string_view stem, int index) {
    return Matrix(read<float>(tables_.fileName(stem, index)));
  }
  FloatArray array(std::string_view stem, int index) {
    return read<float>(tables_.fileName(stem, index));
  }

 private:
  template <typename T>
  NdArray<T> read(const std::string& path) {
    LoadedArray<T> loaded = loadArray<T>(path);
    if (!loaded.missing && !loaded.status.ok)
      warnings_.push_back(path + ": " + loaded.status.message + "; the table is left empty");
    return std::move(loaded.array);
  }

  const LookupTables& tables_;
  Warnings& warnings_;
};

}  // namespace

LookupTables loadLookupTables(const std::string& directory, Warnings& warnings) {
  LookupTables tables;
  tables.directory = directory;
  TableReader read(tables, warnings);
  tables.procTable = read.ints("proc");
  for (int t = 0; t < cellTypeCount; ++t) {
    for (int k = 1; k <= 4; ++k) tables.nodeTables[t][k - 1] = read.ints(nodeTableStems[k - 1], t);
    tables.uniTables[t] = read.ints("uni", t);
    tables.basTables[t] = read.ints("bas", t);
    tables.zipTables[t] = read.ints("zip", t);
    tables.barTables[t] = read.ints("bar", t);
    tables.brnTables[t] = read.ints("brn", t);
    tables.nrmTables[t] = read.ints("nrm", t);
  }
  for (auto& perType : tables.nodeTables) {
    for (auto& entry : perType)
      if (entry->isEmpty() || entry->count() == 0) entry.reset();
  }
  for (int t = 8; t <= 9; ++t) {
    tables.zipTables[t] = read.ints("zip", t);
    tables.nrmTables[t] = read.ints("nrm", t);
  }
  for (int t = 0; t < cellTypeCount; ++t) {
    tables.avgTables[t] = read.floats("avg4", t);
    tables.corTables[t] = read.array("cor4", t);
  }
  for (int r = 0; r < 6; ++r) tables.mulTables[r] = read.floats("mul4", r);
  checkTables(tables);
  return tables;
}

}  // namespace cagewarp
