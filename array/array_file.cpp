#include "array/array_file.h"

#include <bit>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "array/atomic_file.h"
#include "array/number_format.h"

namespace cagewarp {
namespace {

static_assert(std::endian::native == std::endian::little,
              "binary array files are little-endian and read without byte swapping");

// The array text file's header lines and the echo's texts.
constexpr std::string_view textHeader =
    "% n-dimensional array file. n==2 corresponds to matrix or vector.\n"
    "% n | s1 s2 ... sn | data (filling up lower dimensions first = MATLAB standard)\n"
    "\n";
constexpr std::string_view missingPrefix = "??? ";
constexpr std::string_view missingSuffix = " input suppressed!\n";
constexpr std::string_view loadMarker = " ->\t";
constexpr std::string_view saveMarker = " <-T\t";
// Dimensions beyond this are taken as a corrupt header rather than a real array.
constexpr int maxDimensions = 32;
// Console form limits: longer vectors and larger matrices show only their shape line.
constexpr int maxEchoVector = 100;
constexpr int maxEchoRows = 500;
constexpr int maxEchoMatrix = 500;

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

void writeStdout(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

template <typename T>
char* formatElement(char* out, T value) {
  if constexpr (std::is_floating_point_v<T>) {
    return formatFloat(out, value);
  } else {
    return formatInt(out, static_cast<int32_t>(value));
  }
}

template <typename T>
void appendElement(std::string& text, T value) {
  char buffer[maxNumberText];
  text.append(buffer, formatElement(buffer, value));
}

// True for the values written as "0": an int zero or a float +0 (not -0).
template <typename T>
bool isPlainZero(T value) {
  if constexpr (std::is_floating_point_v<T>) {
    return std::bit_cast<uint32_t>(value) == 0;
  } else {
    return value == 0;
  }
}

bool readInt32(std::FILE* f, int32_t& value) {
  return std::fread(&value, 4, 1, f) == 1;
}

long remainingBytes(std::FILE* f) {
  const long here = std::ftell(f);
  if (here < 0 || std::fseek(f, 0, SEEK_END) != 0) return -1;
  const long end = std::ftell(f);
  std::fseek(f, here, SEEK_SET);
  return end - here;
}

// Reads the header and elements; a non-empty message means the file is malformed.
template <typename T>
NdArray<T> readBinary(std::FILE* f, std::string& problem) {
  int32_t n = 0;
  if (!readInt32(f, n)) {
    problem = "too short to hold a dimension count";
    return {};
  }
  if (n < 0 || n > maxDimensions) {
    problem = "implausible dimension count " + std::to_string(n);
    return {};
  }
  std::vector<int> sizes(n);
  for (int d = 0; d < n; ++d) {
    if (!readInt32(f, sizes[d])) {
      problem = "too short to hold its " + std::to_string(n) + " sizes";
      return {};
    }
    if (sizes[d] < 0) {
      problem = "negative size " + std::to_string(sizes[d]);
      return {};
    }
  }
  if (detail::columnCount(sizes.data(), n) < 0) {
    problem = "implausible sizes: more than " + std::to_string(INT_MAX) + " columns";
    return {};
  }
  const int64_t count = detail::elementCount(sizes.data(), n);
  const long available = remainingBytes(f);
  if (count < 0 || available < 0 || count > available / 4) {
    problem = "announces " + (count < 0 ? std::string("too many") : std::to_string(count)) +
              " elements but holds " + std::to_string(available < 0 ? 0 : available / 4);
    return {};
  }
  NdArray<T> array(n, sizes.data(), T{});
  if (count > 0 &&
      std::fread(array.data(), 4, static_cast<size_t>(count), f) != static_cast<size_t>(count)) {
    problem = "could not read its elements";
    return {};
  }
  return array;
}

// Writes `count` elements, each followed by a blank, through a buffer; exact zeros (the bulk
// of a deformation matrix) are copied from a prepared run of "0 ".
template <typename T>
bool writeElements(std::FILE* f, const T* data, int64_t count) {
  constexpr size_t chunk = size_t{1} << 20;
  static const std::string zeros = [] {
    std::string s;
    for (int i = 0; i < 2048; ++i) s += "0 ";
    return s;
  }();
  std::string buffer;
  buffer.reserve(chunk + zeros.size() + maxNumberText + 1);
  char number[maxNumberText];
  int64_t i = 0;
  while (i < count) {
    int64_t run = 0;
    while (i + run < count && run < 2048 && isPlainZero(data[i + run])) ++run;
    if (run > 0) {
      buffer.append(zeros.data(), static_cast<size_t>(2 * run));
      i += run;
    } else {
      buffer.append(number, formatElement(number, data[i]));
      buffer.push_back(' ');
      ++i;
    }
    if (buffer.size() >= chunk) {
      if (std::fwrite(buffer.data(), 1, buffer.size(), f) != buffer.size()) return false;
      buffer.clear();
    }
  }
  return std::fwrite(buffer.data(), 1, buffer.size(), f) == buffer.size();
}

template <typename T>
Status writeText(const NdArray<T>& array, const std::string& fileName) {
  AtomicFile file(fileName);
  if (Status opened = file.open(); !opened.ok) return opened;
  std::FILE* f = file.stream();
  std::string head(textHeader);
  head += std::to_string(array.n()) + "\n";
  for (int d = 0; d < array.n(); ++d) head += std::to_string(array.size(d)) + " ";
  head += "\n";
  bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
  ok = ok && writeElements(f, array.data(), array.isEmpty() ? 0 : array.count());
  ok = ok && std::fputc('\n', f) != EOF;
  // Dropping the file uncommitted removes the partial text and keeps any earlier result.
  if (!ok) return Status::failure(fileName + ": cannot write");
  return file.commit();
}

}  // namespace

template <typename T>
LoadedArray<T> loadArray(const std::string& fileName, Echo echo) {
  LoadedArray<T> loaded;
  File f(std::fopen(fileName.c_str(), "rb"));
  std::string problem;
  if (f) loaded.array = readBinary<T>(f.get(), problem);
  loaded.missing = !f;
  if (!f) loaded.status = Status::failure("cannot open");
  if (!problem.empty()) loaded.status = Status::failure(problem);
  if (echo == Echo::off) return loaded;
  if (!loaded.status.ok) {
    writeStdout(std::string(missingPrefix) + fileName + std::string(missingSuffix));
  } else {
    writeStdout(fileName + std::string(loadMarker) + consoleForm(loaded.array));
  }
  return loaded;
}

template <typename T>
Status saveArray(const NdArray<T>& array, const std::string& fileName, Echo echo) {
  const Status written = writeText(array, fileName);
  if (echo == Echo::on) writeStdout(fileName + std::string(saveMarker) + consoleForm(array));
  return written;
}

template <typename T>
std::string consoleForm(const NdArray<T>& array) {
  std::string text = " [";
  if (array.isEmpty()) return text + "empty]\n";
  for (int d = 0; d < array.n(); ++d) {
    text += std::to_string(array.size(d));
    if (d + 1 < array.n()) text += "x";
  }
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<const void*>(array.data()));
  text += "]=" + std::to_string(array.count()) + "\tdata:" + address + "\n";
  if (array.count() == 0) return text;
  if (array.n() == 1 && array.count() <= maxEchoVector) {
    for (int i = 0; i < array.count(); ++i) {
      appendElement(text, array[i]);
      text += "\t";
    }
    text += "\n";
  } else if (array.n() == 2 && array.rows() <= maxEchoRows && array.count() <= maxEchoMatrix) {
    for (int r = 0; r < array.rows(); ++r) {
      for (int c = 0; c < array.cols(); ++c) {
        appendElement(text, array.at(r, c));
        text += "\t";
      }
      text += "\n";
    }
  }
  return text;
}

template LoadedArray<int32_t> loadArray<int32_t>(const std::string&, Echo);
template LoadedArray<float> loadArray<float>(const std::string&, Echo);
template Status saveArray<int32_t>(const IntArray&, const std::string&, Echo);
template Status saveArray<float>(const FloatArray&, const std::string&, Echo);
template std::string consoleForm<int32_t>(const IntArray&);
template std::string consoleForm<float>(const FloatArray&);
template std::string consoleForm<int8_t>(const ByteArray&);

}  // namespace cagewarp
