#pragma once

#include <ostream>
#include <string>

#include "array/matrix.h"

namespace cagewarp {

// Echo switch of array reads and writes on standard output. Off while tables load, on from the
// first mesh on, so that saving the results is echoed.
inline bool arrayIoReport = true;

// Reads a binary array file (int32 n, n int32 sizes, the elements as little-endian int32 or
// float32 in storage order). A file that does not open, or one that is truncated or malformed,
// gives an empty array; `problem` (if given) then names what was wrong with a malformed file
// and stays empty for a missing one. Echoes the result while arrayIoReport is on.
template <typename T>
NdArray<T> loadArray(const std::string& fileName, std::string* problem = nullptr);
inline Matrix loadMatrix(const std::string& f, std::string* problem = nullptr) {
  return Matrix(loadArray<float>(f, problem));
}
inline IntMatrix loadIntMatrix(const std::string& f, std::string* problem = nullptr) {
  return IntMatrix(loadArray<int32_t>(f, problem));
}

// Writes the array text file and echoes it while arrayIoReport is on; false when the file could
// not be created or written.
template <typename T>
bool saveArray(const NdArray<T>& array, const std::string& fileName);

// The console form of an array (nothing while arrayIoReport is off).
template <typename T>
std::string consoleForm(const NdArray<T>& array);
template <typename T>
std::ostream& operator<<(std::ostream& out, const NdArray<T>& array) {
  return out << consoleForm(array);
}

}  // namespace cagewarp
