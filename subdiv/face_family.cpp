#include "subdiv/face_family.h"

#include <string>

#include "mesh/cell_type.h"

namespace cagewarp {

Status checkFaceList(const LookupTables& tables, int q) {
  const IntArray& faceList = tables.zipTables[q];
  const std::string file = tables.fileName("zip", q) + ": ";
  const int expected = faceFamilySize[q] * faceFamilyFaceCount[q];
  const int count = faceList.isEmpty() ? 0 : faceList.count();
  if (count != expected) {
    return Status::failure(file + "holds " + std::to_string(count) + " face indices, expected " +
                           std::to_string(expected));
  }
  const int corners = verticesPerCell[faceFamilyCellType[q]];
  for (int i = 0; i < count; ++i) {
    if (faceList[i] < 0 || faceList[i] >= corners) {
      return Status::failure(file + "face index " + std::to_string(faceList[i]) +
                             " is not a corner of a cell with " + std::to_string(corners) +
                             " corners");
    }
  }
  return Status::success();
}

}  // namespace cagewarp
