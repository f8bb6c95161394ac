// The table set: the first byte picks one file of a copy of the committed tables and the rest of
// the input replaces it. Loading the damaged set and running `b s` on a small cage of every
// volume type must end in a result or a message, never a crash.
#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "driver/pipeline.h"
#include "mesh/cell_type.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/support/reference_cells.h"

namespace {

namespace fs = std::filesystem;

// A copy of the committed tables that one input at a time may damage, and a cage and model.
class DamagedTables {
 public:
  DamagedTables()
      : directory_(fs::temp_directory_path() /
                   ("cagewarp-fuzz-tab-" + std::to_string(::getpid()))) {
    fs::remove_all(directory_);
    fs::create_directories(directory_);
    for (const auto& entry : fs::directory_iterator(CAGEWARP_TAB_DIR))
      if (entry.is_regular_file()) files_.push_back(entry.path().filename().string());
    std::sort(files_.begin(), files_.end());
    for (const std::string& name : files_) {
      originals_.push_back(cagewarp::fuzzing::contentOf(std::string(CAGEWARP_TAB_DIR "/") + name));
      write(name, originals_.back());
    }
    writeScene();
  }
  ~DamagedTables() {
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }
  DamagedTables(const DamagedTables&) = delete;
  DamagedTables& operator=(const DamagedTables&) = delete;

  // Restores the file the last input damaged and replaces the picked one.
  void damage(uint8_t pick, std::string_view bytes) {
    if (damaged_ >= 0) write(files_[damaged_], originals_[damaged_]);
    damaged_ = pick % static_cast<int>(files_.size());
    write(files_[damaged_], bytes);
  }

  std::string tables() const { return (directory_ / "tab").string(); }
  std::string control() const { return (directory_ / "cage.txt").string(); }
  std::string model() const { return (directory_ / "model.txt").string(); }

 private:
  void write(const std::string& name, std::string_view bytes) const {
    fs::create_directories(directory_ / "tab");
    cagewarp::fuzzing::InputFile::writeAll((directory_ / "tab" / name).string(), bytes);
  }
  // One cell of each volume type side by side, and the centre of each as the model.
  void writeScene() const {
    using namespace cagewarp;
    std::string cells;
    std::string vertices;
    std::string centres;
    int first = 0;
    for (int t = tetrahedronType; t <= hexahedronType; ++t) {
      const auto corners = testing::referenceCell(t);
      const double shift = 3.0 * (t - tetrahedronType);
      cells += "f " + std::to_string(t) + " 1\n";
      std::array<double, 3> centre{};
      for (size_t k = 0; k < corners.size(); ++k) {
        cells += std::to_string(first + static_cast<int>(k)) + " ";
        vertices += std::to_string(corners[k][0] + shift) + " " + std::to_string(corners[k][1]) +
                    " " + std::to_string(corners[k][2]) + "\n";
        for (int a = 0; a < 3; ++a)
          centre[a] += corners[k][a] / static_cast<double>(corners.size());
      }
      cells += "\n";
      centres += std::to_string(centre[0] + shift) + " " + std::to_string(centre[1]) + " " +
                 std::to_string(centre[2]) + "\n";
      first += static_cast<int>(corners.size());
    }
    fuzzing::InputFile::writeAll(control(),
                                 cells + "v 3 " + std::to_string(first) + "\n" + vertices);
    fuzzing::InputFile::writeAll(model(), "v 3 4\n" + centres);
  }

  fs::path directory_;
  std::vector<std::string> files_;
  std::vector<std::string> originals_;
  int damaged_ = -1;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace cagewarp;
  static DamagedTables set;
  if (size == 0) return 0;
  set.damage(data[0], std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
  Job job;
  job.controlFile = set.control();
  job.modelFile = set.model();
  job.binding.operations = {'b', 's'};
  job.tableDirectory = set.tables();
  RunObserver quiet;
  fuzzing::requireSoundOutcome(runJob(job, quiet));
  return 0;
}
