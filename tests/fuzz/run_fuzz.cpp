// A whole run on small inputs: the first byte picks the operations, the rest up to the first zero
// byte is the control mesh text and after it the model mesh text (without a zero byte the one
// text is both). No input may crash the run, and a run that succeeds leaves a sound relation.
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "driver/pipeline.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace cagewarp;
  static const fuzzing::InputFile control(".control.txt");
  static const fuzzing::InputFile model(".model.txt");
  static const std::array<std::vector<char>, 6> sequences = {
      std::vector<char>{}, {'b'}, {'l'}, {'s'}, {'b', 's'}, {'l', 's'}};
  if (size == 0) return 0;
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t split = text.find('\0');
  control.hold(text.substr(0, split));
  model.hold(split == std::string_view::npos ? text : text.substr(split + 1));

  Job job;
  job.controlFile = control.path();
  job.modelFile = model.path();
  job.binding.operations = sequences[data[0] % sequences.size()];
  job.tableDirectory = CAGEWARP_TAB_DIR;
  RunObserver quiet;
  fuzzing::requireSoundOutcome(runJob(job, quiet));
  return 0;
}
