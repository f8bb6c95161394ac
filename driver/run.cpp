#include "driver/run.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "driver/command_line.h"
#include "driver/messages.h"
#include "driver/pipeline.h"
#include "driver/progress_display.h"
#include "formats/mesh_text.h"

namespace cagewarp {
namespace {

constexpr int failureStatus = 1;
constexpr int usageStatus = 2;

// A run shorter than this shows no progress display; a longer one has it redrawn this often.
constexpr std::chrono::milliseconds progressDelay{1000};
constexpr std::chrono::milliseconds progressPeriod{250};

void reportError(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s%s\n", messages::errorPrefix.data(), message.c_str());
}

// The phases of a run as the progress display names them: operations by their step.
std::string progressText(const PhaseInfo& info, int step, int steps) {
  if (info.letter == 0) return info.description;
  return "refinement step " + std::to_string(step) + " of " + std::to_string(steps);
}

// The console side of a run: progress lines and the results' echo on standard output, warnings
// and failures on standard error, and on a terminal a progress display on standard error, taken
// away before every other line.
class ConsoleObserver : public RunObserver {
 public:
  ConsoleObserver(std::string refinedFile, bool writeRefined, bool writeMatrix, int steps,
                  bool terminal)
      : refinedFile_(std::move(refinedFile)),
        writeRefined_(writeRefined),
        writeMatrix_(writeMatrix),
        steps_(steps) {
    if (!terminal) return;
    display_ = std::make_unique<ProgressDisplay>(
        [](std::string_view text) {
          std::fwrite(text.data(), 1, text.size(), stderr);
          std::fflush(stderr);
        },
        [] { return std::chrono::steady_clock::now(); }, progressDelay);
    // Without a thread to redraw it the run goes on without the display.
    try {
      ticker_ = std::make_unique<ProgressTicker>(*display_, progressPeriod);
    } catch (const std::system_error&) {
      display_.reset();
    }
  }
  ~ConsoleObserver() override { endProgress(); }
  ConsoleObserver(const ConsoleObserver&) = delete;
  ConsoleObserver& operator=(const ConsoleObserver&) = delete;

  void started(Phase phase, const std::string& file) override {
    // The enclosed list is written and echoed at once, so the display stays away meanwhile; an
    // out-of-memory there is reported as part of writing D.
    if (phase == Phase::writeIndices) {
      print(messages::indexOutput);
      endProgress();
      return;
    }
    if (phase == Phase::writeMatrix) {
      nowDoing("writing the results");
      print(enclosedCountLine(enclosed_, static_cast<int>(modelVertices_)).c_str());
      print(messages::matrixOutput);
    }
    const PhaseInfo& info = phaseInfo(phase);
    doing_ = info.description;
    file_ = file;
    if (info.letter != 0) ++step_;
    if (display_ && phase == Phase::relate) {
      display_->showCount("locating", &located_, modelVertices_, "model vertices");
    } else if (display_) {
      display_->show(progressText(info, step_, steps_));
    }
    if (info.startLine != nullptr) print(info.startLine, file);
  }
  void finished(Phase phase, const Mesh* mesh) override {
    if (phase == Phase::readControl) print(messages::controlSummary, mesh->summary());
    if (phase == Phase::readModel) {
      modelVertices_ = mesh->vertexColumns();
      print(messages::modelSummary, mesh->summary());
    }
    if (phase == Phase::deform) error("deformed model written to " + file_);
  }
  // The refined mesh is written with the other results once the run has succeeded, so a run
  // that runs out of memory while relating leaves every earlier result as it was.
  void refined(const Mesh& control) override {
    if (!writeRefined_) return;
    print(messages::refinedStored, refinedFile_);
    print(messages::refinedSummary, control.summary());
  }
  void outside(const OutsideVertices& vertices) override {
    for (const std::string& line : outsideMessages(vertices)) error(line);
  }
  void related(const Relation& relation) override {
    enclosed_ = relation.enclosedIndices.count() - relation.boundFromOutside;
    // Without D the count has no results to come before, so it follows the relating at once.
    if (!writeMatrix_)
      print(enclosedCountLine(enclosed_, static_cast<int>(modelVertices_)).c_str());
  }
  void poseFailed(const Pose& /*pose*/, const Status& status) override { error(status.message); }
  void writeFailed(Phase phase, const std::string& file, const Status& status) override {
    switch (phase) {
      case Phase::writeRefined:
        error(file + ": cannot write the refined control mesh");
        break;
      case Phase::writeMatrix: {
        // The writer's reason follows when it says more than the file name.
        std::string reason = status.message;
        if (reason.rfind(file + ": ", 0) == 0) reason.erase(0, file.size() + 2);
        error(file + ": cannot write the deformation matrix" +
              (reason.empty() ? "" : " (" + reason + ")"));
        break;
      }
      case Phase::writeIndices:
        error(file + ": cannot write the enclosed vertex indices");
        break;
      default:
        error(status.message);
    }
  }
  void echo(const std::string& text) override { print("%s", text); }
  void warning(const std::string& message) override { error("warning: " + message); }
  std::atomic<int64_t>* locatedCounter() override { return &located_; }

  // What the run is doing, for the out-of-memory message and the progress display.
  const char* doing() const { return doing_; }
  void nowDoing(const char* what) {
    doing_ = what;
    if (display_) display_->show(what);
  }

  // A progress line on standard output, an error on standard error: the display goes first.
  void print(const char* format, const std::string& text) {
    withoutDisplay([&] {
      std::printf(format, text.c_str());
      std::fflush(stdout);
    });
  }
  void print(const char* text) { print("%s", text); }
  void error(const std::string& message) {
    withoutDisplay([&] { reportError(message); });
  }
  // Stops the display and takes it away for good.
  void endProgress() {
    ticker_.reset();
    if (display_) display_->clear();
    display_.reset();
  }

  // Other output, never on the same line as the display.
  void withoutDisplay(const std::function<void()>& output) {
    if (display_)
      display_->clearFor(output);
    else
      output();
  }

 private:
  std::string refinedFile_;
  bool writeRefined_;
  bool writeMatrix_;
  const char* doing_ = describe(Phase::loadTables);
  std::string file_;
  int steps_;
  int step_ = 0;
  int64_t modelVertices_ = 0;
  int enclosed_ = 0;
  std::atomic<int64_t> located_{0};
  std::unique_ptr<ProgressDisplay> display_;
  std::unique_ptr<ProgressTicker> ticker_;
};

int showUsage() {
  std::string text(messages::usageTitle);
  text += std::string(projectWebAddress) + "\n";
  text += messages::usageBodyHead;
  text += operationUsageLines();
  text += messages::usageBodyTail;
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  std::getchar();
  return 0;
}

int runOnce(const CommandLine& line, ConsoleObserver& observer) {
  const RunOutcome run = runJob(line.job, observer);
  if (!run.status.ok) {
    observer.error(run.status.message);
    return failureStatus;
  }
  return run.allWritten() ? 0 : failureStatus;
}

int usageError(const std::string& message) {
  reportError(message);
  std::fprintf(stderr, "%s\n", messages::usageLine.data());
  return usageStatus;
}

int printText(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int runCagewarp(int argc, const char* const* argv) {
  CommandLine line = parseCommandLine(argc, argv);
  switch (line.action) {
    case CommandAction::usageScreen:
      return showUsage();
    case CommandAction::help:
      return printText(helpText());
    case CommandAction::version:
      return printText(versionText());
    case CommandAction::usageError:
      return usageError(line.error);
    case CommandAction::run:
      break;
  }
  Job& job = line.job;
  // The results go beside the control mesh, named after it, and are echoed.
  const std::string& control = job.controlFile;
  if (line.writeRefined) job.outputs.refinedFile = control + std::string(messages::refinedSuffix);
  if (!line.noMatrix) {
    job.outputs.matrixFile = control + std::string(line.matrixMarket ? messages::matrixMarketSuffix
                                                                     : messages::matrixSuffix);
    job.outputs.indexFile = control + std::string(messages::indexSuffix);
  }
  job.outputs.matrixMarket = line.matrixMarket;
  job.outputs.echo = true;
  const auto steps = static_cast<int>(
      std::count_if(job.binding.operations.begin(), job.binding.operations.end(), isOperation));
  ConsoleObserver observer(job.controlFile + std::string(messages::refinedSuffix),
                           line.writeRefined, !line.noMatrix, steps, ::isatty(2) == 1);
  try {
    return runOnce(line, observer);
  } catch (const std::bad_alloc&) {
    observer.error(std::string("out of memory while ") + observer.doing());
    return failureStatus;
  }
}

}  // namespace cagewarp
