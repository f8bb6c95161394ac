#pragma once

#include <ostream>
#include <string>

#include "array/matrix.h"
#include "array/status.h"

namespace cagewarp {

// Whether a read or write also shows the array on standard output (its console form after the
// file name), as the program does for the result files it writes.
enum class Echo { off, on };

// An array read from a file: empty unless the file was read whole.
template <typename T>
struct LoadedArray {
  NdArray<T> array;
  bool missing = false;  // the file did not open
  Status status;         // fails when the file is missing or malformed, naming what was wrong
};

// Reads a binary array file (int32 n, n int32 sizes, the elements as little-endian int32 or
// float32 in storage order). With Echo::on the result, or a line saying the input was
// suppressed, goes to standard output.
template <typename T>
LoadedArray<T> loadArray(const std::string& fileName, Echo echo = Echo::off);

// Writes the array text file beside `fileName` and renames it into place when complete; fails
// when it could not be created, written or renamed, and then leaves any earlier file. With
// Echo::on the array is shown on standard output whether or not the write succeeded.
template <typename T>
Status saveArray(const NdArray<T>& array, const std::string& fileName, Echo echo = Echo::off);

// The console form of an array: its shape line, then its elements when it is small.
template <typename T>
std::string consoleForm(const NdArray<T>& array);
template <typename T>
std::ostream& operator<<(std::ostream& out, const NdArray<T>& array) {
  return out << consoleForm(array);
}

}  // namespace cagewarp
