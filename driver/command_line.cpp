#include "driver/command_line.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "driver/messages.h"
#include "driver/phases.h"
#include "formats/cage_file.h"

namespace cagewarp {
namespace {

bool isLongOption(std::string_view argument) {
  return argument.size() >= 2 && argument.substr(0, 2) == "--";
}

// Takes the `count` arguments of option `name` that follow index i; false when they run out.
bool takeArguments(int argc, const char* const* argv, int& i, int count,
                   std::vector<std::string>& values) {
  values.clear();
  for (int k = 1; k <= count; ++k) {
    if (i + k >= argc || isLongOption(argv[i + k])) return false;
    values.emplace_back(argv[i + k]);
  }
  i += count;
  return true;
}

bool parseThreads(const std::string& text, int& threads) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  if (result.ec != std::errc() || result.ptr != end || value <= 0) return false;
  threads = value;
  return true;
}

bool parseCoordinates(const std::string& text, Coordinates& coordinates) {
  if (text == "wachspress")
    coordinates = Coordinates::wachspress;
  else if (text == "trilinear")
    coordinates = Coordinates::trilinear;
  else
    return false;
  return true;
}

CommandLine usageError(std::string message) {
  CommandLine line;
  line.action = CommandAction::usageError;
  line.error = std::move(message);
  return line;
}

struct LongOption {
  std::string_view name;
  int arguments;
  std::string_view missing;  // the error when its arguments are missing
};

constexpr LongOption longOptions[] = {
    {"--deform", 2, "--deform needs a moved control mesh file and an output file"},
    {"--tables", 1, "--tables needs a directory"},
    {"--threads", 1, "--threads needs a number"},
    {"--cage-out", 1, "--cage-out needs a file name"},
    {"--coordinates", 1, "--coordinates needs wachspress or trilinear"},
    {"--outside", 1, "--outside needs keep or nearest[:DIST]"},
    {"--mtx", 0, ""},
    {"--no-matrix", 0, ""},
    {"--keep-normals", 0, ""},
    {"--help", 0, ""},
    {"--version", 0, ""},
};

// An output name that is an operation letter was most likely meant as one, its OUT forgotten
// before it; "./b" still names a file b.
bool looksLikeOperation(const std::string& name) {
  return name.size() == 1 && (isOperation(name[0]) || name[0] == 'o');
}

const LongOption* findLongOption(std::string_view name) {
  for (const LongOption& option : longOptions)
    if (option.name == name) return &option;
  return nullptr;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  if (argc <= 1) {
    line.action = CommandAction::usageScreen;
    return line;
  }
  std::vector<std::string> files;
  std::vector<std::string> values;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "-h") {
      line.action = CommandAction::help;
      return line;
    }
    if (!isLongOption(argument)) {
      if (files.size() < 2) {
        files.emplace_back(argument);
      } else {
        const char letter = argument.empty() ? '\0' : argument[0];
        line.job.binding.operations.push_back(letter);
        line.writeRefined = line.writeRefined || letter == 'o';
      }
      continue;
    }
    const LongOption* option = findLongOption(argument);
    if (option == nullptr) return usageError("unknown option " + std::string(argument));
    if (!takeArguments(argc, argv, i, option->arguments, values))
      return usageError(std::string(option->missing));
    if (option->name == "--help") {
      line.action = CommandAction::help;
      return line;
    }
    if (option->name == "--version") {
      line.action = CommandAction::version;
      return line;
    }
    if (option->name == "--mtx") {
      line.matrixMarket = true;
    } else if (option->name == "--no-matrix") {
      line.noMatrix = true;
    } else if (option->name == "--keep-normals") {
      line.job.outputs.keepNormals = true;
    } else if (option->name == "--deform") {
      if (looksLikeOperation(values[1]))
        return usageError(messages::formatted(messages::forgottenOut, "--deform " + values[0],
                                              values[1], values[1], values[1]));
      line.job.outputs.poses.push_back({values[0], values[1]});
    } else if (option->name == "--tables") {
      if (values[0].empty()) return usageError(std::string(option->missing));
      line.job.tableDirectory = values[0];
      line.tablesGiven = true;
    } else if (option->name == "--threads") {
      if (!parseThreads(values[0], line.job.binding.threads))
        return usageError("--threads needs a positive whole number, not '" + values[0] + "'");
    } else if (option->name == "--coordinates") {
      if (!parseCoordinates(values[0], line.job.binding.coordinates))
        return usageError("--coordinates needs wachspress or trilinear, not '" + values[0] + "'");
    } else if (option->name == "--outside") {
      if (!parseOutside(values[0], line.job.binding))
        return usageError(
            "--outside needs keep, nearest or nearest:DIST (a positive length, or "
            "a multiple of the cage's median edge ending in x), not '" +
            values[0] + "'");
    } else {
      if (!line.job.outputs.cageOutFile.empty())
        return usageError(
            messages::formatted(messages::cageOutTwice, line.job.outputs.cageOutFile, values[0]));
      if (looksLikeOperation(values[0]))
        return usageError(messages::formatted(messages::forgottenOut, "--cage-out", values[0],
                                              values[0], values[0]));
      // Known from the name alone, so refused before a long run rather than after it.
      if (Status writable = cagePositionsWritable(values[0]); !writable.ok)
        return usageError(writable.message);
      line.job.outputs.cageOutFile = values[0];
    }
  }
  if (line.noMatrix && line.matrixMarket) return usageError(messages::noMatrixWithMtx);
  if (files.size() < 2)
    return usageError(files.empty() ? "no control mesh file given" : "no model mesh file given");
  line.job.controlFile = files[0];
  line.job.modelFile = files[1];
  return line;
}

std::string helpText() {
  return "cagewarp: binds a model to a volumetric control mesh (a cage) and deforms it with the\n"
         "cage. It refines the cage by the operations given, finds every model vertex in the\n"
         "refined cells and writes the matrix D that turns cage positions into model positions.\n"
         "\n"
         "usage: cagewarp CONTROL MODEL [b|l|s|o ...] [--deform MOVED OUT ...] [--tables DIR]\n"
         "                [--threads N] [--cage-out FILE] [--coordinates NAME] [--outside MODE]\n"
         "                [--mtx] [--no-matrix] [--keep-normals] [--help] [--version]\n"
         "\n"
         "operations, one per argument (its first letter counts), in the order given:\n" +
         operationHelpLines() +
         "  o                  also write the refined control mesh to CONTROL.out\n"
         "options:\n"
         "  --deform MOVED OUT write the model deformed by the moved control mesh MOVED (same\n"
         "                     vertices as CONTROL, any cage format) to OUT; repeat for more "
         "poses\n"
         "  --tables DIR       read the subdivision tables from DIR (default: tab/ below the\n"
         "                     working directory, else the tables installed with cagewarp)\n"
         "  --threads N        use at most N threads (default: all cores)\n"
         "  --cage-out FILE    write the refined control mesh, positions only, as .vtk, .msh,\n"
         "                     .mesh or (any other extension) mesh text\n"
         "  --coordinates NAME the coordinates of a point in a refined cell: wachspress (the\n"
         "                     default) or trilinear (isoparametric: hexahedra trilinear,\n"
         "                     prisms linear times linear, tetrahedra and octahedra\n"
         "                     barycentric; cells agree on every shared face, so no cracks\n"
         "                     where cells share a bent face)\n"
         "  --outside MODE     model vertices outside every refined cell: keep (the default)\n"
         "                     leaves them where they are; nearest[:DIST] binds those within\n"
         "                     DIST of the refined cage's surface to the nearest surface cell\n"
         "                     (DIST a length, or with a suffix x a multiple of the cage's\n"
         "                     median edge; default 1x)\n"
         "  --mtx              write D as CONTROL.mtx (Matrix Market, sparse, one line per\n"
         "                     non-zero entry, a column for every model vertex, values that\n"
         "                     read back as the same floats) instead of CONTROL.mat; a\n"
         "                     CONTROL.mat of an earlier run stays beside it (not deleted)\n"
         "  --no-matrix        write neither D nor CONTROL.ind, for a run that only deforms\n"
         "  --keep-normals     keep the normals of OBJ, PLY and STL models as read; by default\n"
         "                     those of moved faces are recomputed from the deformed faces\n"
         "  -h, --help         show this text\n"
         "  --version          show the version\n"
         "\n"
         "results: CONTROL.mat (D, one row per control vertex, one column per enclosed model\n"
         "vertex) and CONTROL.ind (the enclosed model vertex indices); with --outside nearest\n"
         "both also list the vertices bound from outside, in model order.\n"
         "\n"
         "formats, by extension (any case):\n"
         "  models: .obj .off .ply .stl .xyz (x y z per line) .csv (a header naming x, y, z),\n"
         "          written back byte for byte with moved positions;\n"
         "          the control mesh formats below; any other extension: mesh text\n"
         "  control meshes and poses: .msh (gmsh) .vtk (legacy VTK) .ele (TetGen) .mesh (Medit);\n"
         "          any other extension: mesh text\n"
         "  OUT: the model's own format (byte for byte), another model format or .vtk .msh\n"
         "          .mesh (written fresh: positions, faces, normals where both hold them),\n"
         "          or mesh text under any extension not listed here\n"
         "\n"
         "exit status: 0 success; 1 an input could not be read, a table is missing or a result\n"
         "could not be written (the other results are still written), or an output would\n"
         "replace an input, another output or what is not a regular file (refused before\n"
         "anything is written); 2 a usage error.\n";
}

std::string versionText() {
  return "cagewarp " CAGEWARP_VERSION
         "\n"
         "build type: " CAGEWARP_BUILD_TYPE
         "\n"
         "compiler: " CAGEWARP_COMPILER "\n";
}

}  // namespace cagewarp
