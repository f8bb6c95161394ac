#include "formats/array_file.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "formats/atomic_file.h"
#include "formats/file_handle.h"
#include "formats/number_format.h"
#include "formats/text_scanner.h"

namespace cagewarp {
namespace {

static_assert(std::endian::native == std::endian::little,
              "binary array files are little-endian and read without byte swapping");

// The array text file's header lines and the echo's texts.
constexpr std::string_view textHeader =
    "% n-dimensional array file. n==2 corresponds to matrix or vector.\n"
    "% n | s1 s2 ... sn | data (filling up lower dimensions first = MATLAB standard)\n"
    "\n";
constexpr char commentLetter = '%';
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

template <typename T>
Status readElement(TextScanner& in, T& value) {
  if constexpr (std::is_floating_point_v<T>) {
    return in.readFloat(value, "an element");
  } else {
    int64_t wide = 0;
    if (Status s = in.readInt(wide, "an element"); !s.ok) return s;
    if (wide < INT32_MIN || wide > INT32_MAX)
      return in.fail("element " + std::to_string(wide) + " is out of range");
    value = static_cast<T>(wide);
    return Status::success();
  }
}

// Reads the text after the file's comments; every element takes at least one byte of it.
template <typename T>
Status parseArrayText(TextScanner& in, NdArray<T>& array) {
  int64_t n = 0;
  if (Status s = in.readCount(n, 1, "dimension count"); !s.ok) return s;
  if (n > maxDimensions) return in.fail("implausible dimension count " + std::to_string(n));
  std::vector<int> sizes(static_cast<size_t>(n));
  for (int& size : sizes) {
    int64_t value = 0;
    if (Status s = in.readCount(value, 0, "size"); !s.ok) return s;
    if (value > INT_MAX) return in.fail("implausible size " + std::to_string(value));
    size = static_cast<int>(value);
  }
  const int dimensions = static_cast<int>(n);
  const int64_t count = detail::elementCount(sizes.data(), dimensions);
  if (detail::columnCount(sizes.data(), dimensions) < 0 || count < 0)
    return in.fail("implausible sizes: too many elements");
  if (Status s = in.checkRoom(count, 1, "element count"); !s.ok) return s;
  NdArray<T> result(dimensions, sizes.data(), T{});
  for (int64_t i = 0; i < count; ++i)
    if (Status s = readElement(in, result.data()[i]); !s.ok) return s;
  if (!in.token().empty()) return in.fail("more elements than its sizes hold");
  array = std::move(result);
  return Status::success();
}

// A prepared run of "0 " texts, the bulk of a deformation matrix.
constexpr int zeroRun = 2048;
const std::string& zeroTexts() {
  static const std::string zeros = [] {
    std::string s;
    for (int i = 0; i < zeroRun; ++i) s += "0 ";
    return s;
  }();
  return zeros;
}
constexpr size_t writeChunk = size_t{1} << 20;

// Writes `count` elements, each followed by a blank, through a buffer; exact zeros are copied
// from the prepared run.
template <typename T>
bool writeElements(std::FILE* f, const T* data, int64_t count) {
  const std::string& zeros = zeroTexts();
  std::string buffer;
  buffer.reserve(writeChunk + zeros.size() + maxNumberText + 1);
  char number[maxNumberText];
  int64_t i = 0;
  while (i < count) {
    int64_t run = 0;
    while (i + run < count && run < zeroRun && isPlainZero(data[i + run])) ++run;
    if (run > 0) {
      buffer.append(zeros.data(), static_cast<size_t>(2 * run));
      i += run;
    } else {
      buffer.append(number, formatElement(number, data[i]));
      buffer.push_back(' ');
      ++i;
    }
    if (buffer.size() >= writeChunk) {
      if (std::fwrite(buffer.data(), 1, buffer.size(), f) != buffer.size()) return false;
      buffer.clear();
    }
  }
  return std::fwrite(buffer.data(), 1, buffer.size(), f) == buffer.size();
}

// The header lines of an array text file of the given shape.
std::string headerText(int n, const int* sizes) {
  std::string head(textHeader);
  head += std::to_string(n) + "\n";
  for (int d = 0; d < n; ++d) head += std::to_string(sizes[d]) + " ";
  head += "\n";
  return head;
}

template <typename T>
Status writeText(const NdArray<T>& array, const std::string& fileName) {
  AtomicFile file(fileName);
  if (Status opened = file.open(); !opened.ok) return opened;
  std::FILE* f = file.stream();
  const std::string head = headerText(array.n(), array.sizes());
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
  const FileHandle f = openFile(fileName, "rb");
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
LoadedArray<T> loadArrayText(const std::string& fileName) {
  LoadedArray<T> loaded;
  std::string bytes;
  loaded.status = readWholeFile(fileName, bytes);
  loaded.missing = !loaded.status.ok;
  if (loaded.missing) return loaded;
  TextScanner in(fileName, std::move(bytes), commentLetter);
  loaded.status = parseArrayText(in, loaded.array);
  return loaded;
}

template <typename T>
Status saveBinaryArray(const NdArray<T>& array, const std::string& fileName) {
  // Elements and sizes are written as the 4-byte words they are in memory.
  static_assert(sizeof(T) == 4 && sizeof(int) == 4);
  AtomicFile file(fileName);
  if (Status opened = file.open(); !opened.ok) return opened;
  std::FILE* f = file.stream();
  const int32_t n = array.n();
  const auto count = static_cast<size_t>(array.isEmpty() ? 0 : array.count());
  bool ok = std::fwrite(&n, 4, 1, f) == 1;
  ok = ok && (n == 0 ||
              std::fwrite(array.sizes(), 4, static_cast<size_t>(n), f) == static_cast<size_t>(n));
  ok = ok && (count == 0 || std::fwrite(array.data(), 4, count, f) == count);
  // Dropping the file uncommitted removes what was written and keeps any earlier file.
  if (!ok) return Status::failure(fileName + ": cannot write");
  return file.commit();
}

template <typename T>
Status saveArray(const NdArray<T>& array, const std::string& fileName, Echo echo) {
  const Status written = writeText(array, fileName);
  if (echo == Echo::on) writeStdout(savedEchoText(fileName, consoleForm(array)));
  return written;
}

std::string consoleShapeForm(const std::vector<int>& sizes, const void* data) {
  std::string text = " [";
  int64_t count = sizes.empty() ? 0 : 1;
  for (size_t d = 0; d < sizes.size(); ++d) {
    text += std::to_string(sizes[d]);
    if (d + 1 < sizes.size()) text += "x";
    count *= sizes[d];
  }
  char address[32];
  std::snprintf(address, sizeof address, "%p", data);
  return text + "]=" + std::to_string(count) + "\tdata:" + address + "\n";
}

std::string savedEchoText(const std::string& fileName, const std::string& console) {
  return fileName + std::string(saveMarker) + console;
}

bool consoleShowsElements(const std::vector<int>& sizes) {
  const int64_t count = detail::elementCount(sizes.data(), static_cast<int>(sizes.size()));
  if (count <= 0) return false;
  if (sizes.size() == 1) return count <= maxEchoVector;
  return sizes.size() == 2 && sizes[0] <= maxEchoRows && count <= maxEchoMatrix;
}

template <typename T>
std::string consoleForm(const NdArray<T>& array) {
  if (array.isEmpty()) return " [empty]\n";
  const std::vector<int> sizes(array.sizes(), array.sizes() + array.n());
  std::string text = consoleShapeForm(sizes, array.data());
  if (!consoleShowsElements(sizes)) return text;
  if (array.n() == 1) {
    for (int i = 0; i < array.count(); ++i) {
      appendElement(text, array[i]);
      text += "\t";
    }
    text += "\n";
  } else {
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

struct ArrayTextWriter::Output {
  Output(std::string fileName, std::vector<int> shape)
      : file(std::move(fileName)), sizes(std::move(shape)) {}

  AtomicFile file;
  std::vector<int> sizes;
  int64_t remaining = 0;
  std::string buffer;
  bool ok = true;
  // The elements themselves when the echo lists them (a few hundred at most).
  FloatArray shown;

  void show(float value) {
    if (!shown.isEmpty()) shown[shown.count() - static_cast<int>(remaining)] = value;
  }

  void flushIfFull() {
    if (buffer.size() < writeChunk) return;
    flush();
  }
  void flush() {
    if (file.stream() == nullptr) ok = false;
    if (ok && std::fwrite(buffer.data(), 1, buffer.size(), file.stream()) != buffer.size())
      ok = false;
    buffer.clear();
  }
};

ArrayTextWriter::ArrayTextWriter(std::string fileName, std::vector<int> sizes)
    : out_(std::make_unique<Output>(std::move(fileName), std::move(sizes))) {
  out_->remaining = detail::elementCount(out_->sizes.data(), static_cast<int>(out_->sizes.size()));
  CAGEWARP_CHECK(out_->remaining >= 0);
  if (consoleShowsElements(out_->sizes))
    out_->shown = FloatArray(static_cast<int>(out_->sizes.size()), out_->sizes.data(), 0.0f);
}

ArrayTextWriter::~ArrayTextWriter() = default;

Status ArrayTextWriter::open() {
  if (Status status = out_->file.open(); !status.ok) return status;
  out_->buffer.reserve(writeChunk + 2 * zeroRun + maxNumberText + 1);
  out_->buffer = headerText(static_cast<int>(out_->sizes.size()), out_->sizes.data());
  return Status::success();
}

void ArrayTextWriter::zeros(int64_t count) {
  CAGEWARP_CHECK(count >= 0 && count <= out_->remaining);
  for (int64_t i = 0; i < count && !out_->shown.isEmpty(); ++i) {
    out_->show(0.0f);
    --out_->remaining;
  }
  if (out_->shown.isEmpty()) out_->remaining -= count;
  const std::string& texts = zeroTexts();
  while (count > 0) {
    const int64_t run = std::min<int64_t>(count, zeroRun);
    out_->buffer.append(texts.data(), static_cast<size_t>(2 * run));
    count -= run;
    out_->flushIfFull();
  }
}

void ArrayTextWriter::element(float value) {
  CAGEWARP_CHECK(out_->remaining > 0);
  out_->show(value);
  --out_->remaining;
  char text[maxElementText];
  out_->buffer.append(text, putElementText(text, value));
  out_->flushIfFull();
}

void ArrayTextWriter::elementTexts(std::string_view text, int64_t count) {
  CAGEWARP_CHECK(out_->shown.isEmpty() && count >= 0 && count <= out_->remaining);
  out_->remaining -= count;
  // Large texts go straight to the file rather than through the buffer.
  out_->flush();
  if (out_->ok && std::fwrite(text.data(), 1, text.size(), out_->file.stream()) != text.size())
    out_->ok = false;
}

char* putZeroTexts(char* out, int64_t count) {
  const std::string& texts = zeroTexts();
  // The short runs between a column's entries: one fixed-size copy rather than a call.
  if (count <= zeroTextRoom / 2) {
    std::memcpy(out, texts.data(), zeroTextRoom);
    return out + 2 * count;
  }
  while (count > 0) {
    const int64_t run = std::min<int64_t>(count, zeroRun);
    std::memcpy(out, texts.data(), static_cast<size_t>(2 * run));
    out += 2 * run;
    count -= run;
  }
  return out;
}

char* putElementText(char* out, float value) {
  static_assert(maxElementText == maxNumberText + 1);
  if (isPlainZero(value)) {
    std::memcpy(out, "0 ", 2);
    return out + 2;
  }
  out = formatElement(out, value);
  *out++ = ' ';
  return out;
}

Status ArrayTextWriter::finish(Echo echo) {
  Status status = Status::success();
  if (out_->remaining != 0) {
    status = Status::failure(out_->file.path() + ": cannot write: elements missing");
  } else {
    out_->buffer.push_back('\n');
    out_->flush();
    status = out_->ok ? out_->file.commit() : Status::failure(out_->file.path() + ": cannot write");
  }
  if (echo == Echo::on) {
    const std::string console = out_->shown.isEmpty() ? consoleShapeForm(out_->sizes, out_.get())
                                                      : consoleForm(out_->shown);
    writeStdout(savedEchoText(out_->file.path(), console));
  }
  return status;
}

template LoadedArray<int32_t> loadArray<int32_t>(const std::string&, Echo);
template LoadedArray<float> loadArray<float>(const std::string&, Echo);
template LoadedArray<int32_t> loadArrayText<int32_t>(const std::string&);
template LoadedArray<float> loadArrayText<float>(const std::string&);
template Status saveBinaryArray<int32_t>(const IntArray&, const std::string&);
template Status saveBinaryArray<float>(const FloatArray&, const std::string&);
template Status saveArray<int32_t>(const IntArray&, const std::string&, Echo);
template Status saveArray<float>(const FloatArray&, const std::string&, Echo);
template std::string consoleForm<int32_t>(const IntArray&);
template std::string consoleForm<float>(const FloatArray&);
template std::string consoleForm<int8_t>(const ByteArray&);

}  // namespace cagewarp
