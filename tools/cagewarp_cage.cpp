// Makes a hexahedral cage around a model that encloses it after the refinement named:
//   cagewarp-cage box|fit K MODEL CAGE [b|l|s ...] [--tables DIR] [--threads N]
// box: a lattice over the model's bounding box, K cells along its longest side; fit: only the
// lattice cells the model's vertices occupy, dilated by one cell. MODEL in any format cagewarp
// reads, CAGE as .vtk, .msh, .mesh or (any other extension) mesh text; the refinement is b s s
// unless given.
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "driver/cage_fitting.h"
#include "driver/phases.h"
#include "driver/table_search.h"
#include "formats/cage_file.h"
#include "formats/file_format.h"
#include "formats/mesh_text.h"
#include "formats/model_file.h"
#include "formats/table_files.h"

namespace {

using namespace cagewarp;

int usage() {
  std::fprintf(stderr,
               "usage: cagewarp-cage box|fit K MODEL CAGE [b|l|s ...] [--tables DIR] "
               "[--threads N]\n");
  return 2;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "cagewarp-cage: %s\n", message.c_str());
  return 1;
}

bool positiveNumber(std::string_view text, int& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() && value > 0;
}

// The cage in the format its extension names, or as mesh text whose floats read back exactly.
Status writeFittedCage(const Mesh& cage, const std::string& path) {
  if (formatEntryOf(path).format == FileFormat::meshText)
    return writeText(
        cage, path,
        MeshTextLayout{.comment = "cagewarp-cage", .compact = false, .preciseFloats = true});
  return writeCagePositions(cage, path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) return usage();
  CageRequest request;
  const std::string shape = argv[1];
  if (shape == "box")
    request.shape = CageShape::box;
  else if (shape == "fit")
    request.shape = CageShape::fit;
  else
    return usage();
  if (!positiveNumber(argv[2], request.cells)) return usage();
  const std::string modelFile = argv[3], cageFile = argv[4];
  std::string tableOption;
  std::vector<char> operations;
  for (int i = 5; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--tables" && i + 1 < argc) {
      tableOption = argv[++i];
    } else if (argument == "--threads" && i + 1 < argc) {
      if (!positiveNumber(argv[++i], request.threads)) return usage();
    } else if (argument.size() == 1 && isOperation(argument[0])) {
      operations.push_back(argument[0]);
    } else {
      return usage();
    }
  }
  if (!operations.empty()) request.operations = operations;

  std::string tableDirectory;
  Warnings warnings;
  if (Status found = findTableDirectory(tableOption, tableDirectory, warnings); !found.ok)
    return fail(found.message);
  const LookupTables tables = loadLookupTables(tableDirectory, warnings);
  ModelFile source;
  Mesh model;
  if (Status read = readModelMesh(modelFile, source, model, warnings); !read.ok)
    return fail(read.message);
  for (const std::string& w : warnings)
    std::fprintf(stderr, "cagewarp-cage: warning: %s\n", w.c_str());

  FittedCage fitted;
  if (Status made = fitCage(model, tables, request, fitted); !made.ok) return fail(made.message);
  if (Status written = writeFittedCage(fitted.cage, cageFile); !written.ok)
    return fail(written.message);
  std::string refinement;
  for (char letter : request.operations) {
    if (!refinement.empty()) refinement += ' ';
    refinement += letter;
  }
  std::fprintf(stderr,
               "cagewarp-cage: %s: %d cells of a %d x %d x %d lattice (cell %g), %d vertices, %d "
               "part%s; ",
               shape.c_str(), fitted.cage.cellCount(7), fitted.lattice[0], fitted.lattice[1],
               fitted.lattice[2], fitted.cellSize, fitted.cage.vertexColumns(), fitted.parts,
               fitted.parts == 1 ? "" : "s");
  if (request.shape == CageShape::box)
    std::fprintf(stderr, "margin %g", fitted.margin);
  else
    std::fprintf(stderr, "up to %d ring%s of cells around the occupied ones", fitted.rings,
                 fitted.rings == 1 ? "" : "s");
  std::fprintf(stderr, "; encloses the model after %s (%d attempt%s); written to %s\n",
               refinement.c_str(), fitted.attempts, fitted.attempts == 1 ? "" : "s",
               cageFile.c_str());
  return 0;
}
