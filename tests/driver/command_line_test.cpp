#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace cagewarp {
namespace {

// A run's command line in one line of text, for comparing against the table below.
std::string summarize(const CommandLine& line) {
  switch (line.action) {
    case CommandAction::usageScreen:
      return "usage screen";
    case CommandAction::help:
      return "help";
    case CommandAction::version:
      return "version";
    case CommandAction::usageError:
      return "error: " + line.error;
    case CommandAction::run:
      break;
  }
  const Job& job = line.job;
  std::string text = "run " + job.controlFile + " " + job.modelFile + " ops=";
  for (char op : job.binding.operations) text += op == '\0' ? '0' : op;
  if (line.writeRefined) text += " refined";
  for (const Pose& pose : job.outputs.poses)
    text += " pose=" + pose.movedControlFile + ">" + pose.outFile;
  if (line.tablesGiven) text += " tables=" + job.tableDirectory;
  text += " threads=" + std::to_string(job.binding.threads);
  if (!job.outputs.cageOutFile.empty()) text += " cage=" + job.outputs.cageOutFile;
  if (line.matrixMarket) text += " mtx";
  if (job.binding.coordinates == Coordinates::trilinear) text += " trilinear";
  if (job.binding.outside == OutsideMode::nearest) {
    char reach[32];
    std::snprintf(reach, sizeof reach, " nearest:%g%s", job.binding.outsideDistance.value,
                  job.binding.outsideDistance.inCageEdges ? "x" : "");
    text += reach;
  }
  return text;
}

TEST(CommandLine, ReadsOldAndNewFormsAndRefusesMistakes) {
  const std::string cores = std::to_string(BindingOptions().threads);
  struct Case {
    std::vector<const char*> args;
    std::string expected;
  };
  const Case cases[] = {
      {{}, "usage screen"},
      {{"c", "m"}, "run c m ops= threads=" + cores},
      // Old command lines: first character counts, single-dash words pass as letters.
      {{"c", "m", "b", "-s", "", "lin", "o"}, "run c m ops=b-0lo refined threads=" + cores},
      {{"c", "m", "s", "--deform", "a.txt", "o.obj", "l", "--deform", "b", "p"},
       "run c m ops=sl pose=a.txt>o.obj pose=b>p threads=" + cores},
      {{"--tables", "t", "c", "--threads", "3", "m", "--cage-out", "r.vtk"},
       "run c m ops= tables=t threads=3 cage=r.vtk"},
      {{"--mtx", "c", "m", "s"}, "run c m ops=s threads=" + cores + " mtx"},
      {{"c", "m", "--mtx", "--mtx"}, "run c m ops= threads=" + cores + " mtx"},
      {{"c", "--coordinates", "trilinear", "m"}, "run c m ops= threads=" + cores + " trilinear"},
      {{"c", "m", "--coordinates", "trilinear", "--coordinates", "wachspress"},
       "run c m ops= threads=" + cores},
      {{"c", "m", "--coordinates"}, "error: --coordinates needs wachspress or trilinear"},
      {{"c", "m", "--outside", "nearest"}, "run c m ops= threads=" + cores + " nearest:1x"},
      {{"c", "m", "--outside", "nearest:0.25"}, "run c m ops= threads=" + cores + " nearest:0.25"},
      {{"c", "m", "--outside", "nearest:1.5x", "--outside", "keep"},
       "run c m ops= threads=" + cores},
      {{"c", "m", "--outside", "nearest:2.5x"}, "run c m ops= threads=" + cores + " nearest:2.5x"},
      {{"c", "m", "--outside"}, "error: --outside needs keep or nearest[:DIST]"},
      {{"c", "m", "--outside", "nearest:"},
       "error: --outside needs keep, nearest or nearest:DIST (a positive length, or a multiple of "
       "the cage's median edge ending in x), not 'nearest:'"},
      {{"c", "m", "--outside", "nearest:-1"},
       "error: --outside needs keep, nearest or nearest:DIST (a positive length, or a multiple of "
       "the cage's median edge ending in x), not 'nearest:-1'"},
      {{"c", "m", "--outside", "nearestx"},
       "error: --outside needs keep, nearest or nearest:DIST (a positive length, or a multiple of "
       "the cage's median edge ending in x), not 'nearestx'"},
      {{"c", "m", "--outside", "nearest:nanx"},
       "error: --outside needs keep, nearest or nearest:DIST (a positive length, or a multiple of "
       "the cage's median edge ending in x), not 'nearest:nanx'"},
      {{"c", "m", "--coordinates", "Trilinear"},
       "error: --coordinates needs wachspress or trilinear, not 'Trilinear'"},
      {{"c", "m", "--mtx=1"}, "error: unknown option --mtx=1"},
      {{"c", "-h"}, "help"},
      {{"c", "m", "--help"}, "help"},
      {{"--version", "c"}, "version"},
      {{"c", "m", "--xyz"}, "error: unknown option --xyz"},
      {{"c", "m", "--xyz", "--help"}, "error: unknown option --xyz"},
      {{"c", "m", "--"}, "error: unknown option --"},
      {{"c", "m", "--tables=t"}, "error: unknown option --tables=t"},
      {{"c", "m", "--deform", "a"},
       "error: --deform needs a moved control mesh file and an output file"},
      {{"c", "m", "--deform", "a", "--tables", "t"},
       "error: --deform needs a moved control mesh file and an output file"},
      {{"c", "m", "--tables"}, "error: --tables needs a directory"},
      {{"c", "m", "--tables", ""}, "error: --tables needs a directory"},
      {{"c", "m", "--cage-out"}, "error: --cage-out needs a file name"},
      {{"c", "m", "--threads"}, "error: --threads needs a number"},
      {{"c", "m", "--threads", "0"}, "error: --threads needs a positive whole number, not '0'"},
      {{"c", "m", "--threads", "-2"}, "error: --threads needs a positive whole number, not '-2'"},
      {{"c", "m", "--threads", "2x"}, "error: --threads needs a positive whole number, not '2x'"},
      {{"c", "m", "--threads", "99999999999"},
       "error: --threads needs a positive whole number, not '99999999999'"},
      {{"c"}, "error: no model mesh file given"},
      {{"--threads", "2"}, "error: no control mesh file given"},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv = {"cagewarp"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(summarize(parseCommandLine(static_cast<int>(argv.size()), argv.data())), c.expected)
        << "argument count " << c.args.size();
  }
}

TEST(CommandLine, HelpNamesEveryOptionAndTheExitStatuses) {
  const std::string help = helpText();
  for (const char* word : {"--deform MOVED OUT", "--tables DIR", "--threads N", "--cage-out FILE",
                           "--coordinates NAME", "--mtx", "--version", "-h, --help", ".obj", ".ply",
                           ".stl", ".off", "exit status"})
    EXPECT_NE(help.find(word), std::string::npos) << word;
  EXPECT_EQ(versionText().rfind("cagewarp ", 0), 0U);
}

}  // namespace
}  // namespace cagewarp
