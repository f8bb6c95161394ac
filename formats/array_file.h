#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

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

// Reads an array text file as saveArray writes it: '%' comments, the dimension count, the sizes,
// then the elements in storage order. The file must hold exactly that many elements; a failure
// names the file and line.
template <typename T>
LoadedArray<T> loadArrayText(const std::string& fileName);

// Writes a binary array file as loadArray reads it (the table files), beside `fileName`, and
// renames it into place when complete; fails when it could not be created, written or renamed.
template <typename T>
Status saveBinaryArray(const NdArray<T>& array, const std::string& fileName);

// Writes the array text file beside `fileName` and renames it into place when complete; fails
// when it could not be created, written or renamed, and then leaves any earlier file. With
// Echo::on the array is shown on standard output whether or not the write succeeded.
template <typename T>
Status saveArray(const NdArray<T>& array, const std::string& fileName, Echo echo = Echo::off);

// The console form of an array: its shape line, then its elements when it is small.
template <typename T>
std::string consoleForm(const NdArray<T>& array);
// The console form of an array too large to hold: its shape line alone, `data` shown as the
// address. Only for shapes whose console form shows no elements (see consoleShowsElements).
std::string consoleShapeForm(const std::vector<int>& sizes, const void* data);
// The line (or lines) that echo an array saved under `fileName`, given its console form; for
// writers of other formats that echo like saveArray.
std::string savedEchoText(const std::string& fileName, const std::string& console);
// Whether the console form of an array of this shape lists its elements.
bool consoleShowsElements(const std::vector<int>& sizes);

// Writes a float array text file element by element in storage order, for arrays that are
// never held whole (the elements are mostly zeros, written in runs). The text is the same as
// saveArray writes for the same elements. The file takes its name only when finish() succeeds.
class ArrayTextWriter {
 public:
  ArrayTextWriter(std::string fileName, std::vector<int> sizes);
  ~ArrayTextWriter();
  ArrayTextWriter(const ArrayTextWriter&) = delete;
  ArrayTextWriter& operator=(const ArrayTextWriter&) = delete;

  // Creates the file and writes the header.
  Status open();
  // The next `count` elements are +0.
  void zeros(int64_t count);
  // The next element.
  void element(float value);
  // The next `count` elements, given as text that putZeroTexts and putElementText made.
  // Only for shapes whose console form lists no elements (see consoleShowsElements).
  void elementTexts(std::string_view text, int64_t count);
  // Writes what is buffered and puts the file in place; fails when a write failed or the
  // elements given do not fill the shape. With Echo::on the console form follows, as saveArray
  // shows it, whether or not the write succeeded.
  Status finish(Echo echo = Echo::off);

 private:
  struct Output;
  std::unique_ptr<Output> out_;
};

// The text of `count` +0 elements (two bytes each), or of one element (at most maxElementText
// bytes), as an array text file holds it, written at `out`; returns its end. For writers that
// format parts of an array apart (on several threads) and hand them over in order. Either may
// overwrite bytes past the text: an element's up to maxElementText from `out`, zeros' up to
// zeroTextRoom from `out`, so a writer leaves that much room after its last text.
inline constexpr int maxElementText = 17;
inline constexpr int zeroTextRoom = 16;
char* putZeroTexts(char* out, int64_t count);
char* putElementText(char* out, float value);

template <typename T>
std::ostream& operator<<(std::ostream& out, const NdArray<T>& array) {
  return out << consoleForm(array);
}

}  // namespace cagewarp
