#include "driver/run.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "array/array_file.h"
#include "driver/messages.h"
#include "driver/table_loader.h"
#include "mesh/mesh_file.h"
#include "relate/deformation.h"
#include "subdiv/add_boundary.h"
#include "subdiv/subdivide.h"

namespace cagewarp {
namespace {

constexpr int failureStatus = 1;
constexpr int usageStatus = 2;

void print(const char* format, const std::string& text) {
  std::printf(format, text.c_str());
  std::fflush(stdout);
}
void print(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

void reportError(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s%s\n", messages::errorPrefix.data(), message.c_str());
}

// Passes the operations' warnings on to standard error. Without a table directory every table
// is missing; the one warning about the directory says all there is to say, so the warnings
// that only repeat it are dropped.
class WarningReporter {
 public:
  explicit WarningReporter(bool tablesPresent) : tablesPresent_(tablesPresent) {}
  void report(Warnings& warnings) const {
    if (tablesPresent_)
      for (const std::string& w : warnings) reportError("warning: " + w);
    warnings.clear();
  }

 private:
  bool tablesPresent_;
};

int showUsage() {
  std::string text(messages::usageTitle);
  text += std::string(projectWebAddress) + "\n";
  text += messages::usageBody;
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  std::getchar();
  return 0;
}

// Below the coordinates every control vertex carries its coefficients over the control
// vertices as loaded: the rows of an identity matrix.
void appendWeightRows(Mesh& control) {
  const int n = control.vertexColumns();
  control.vertices.appendRows(Matrix(n, n, "eye"));
}

// Applies one option letter to the control mesh; false stops the run.
bool applyOption(char option, Mesh& control, const LookupTables& tables, Warnings& warnings,
                 const WarningReporter& reporter, bool& writeRefined) {
  Status status;
  switch (option) {
    case 'b':
      print(messages::addBoundary);
      status = addBoundary(control, tables);
      break;
    case 'l':
      print(messages::linearSubdivision);
      status = subdivide(control, tables, linearSubdivision, warnings);
      break;
    case 's':
      print(messages::normalSubdivision);
      status = subdivide(control, tables, normalSubdivision, warnings);
      break;
    case 'o':
      writeRefined = true;
      break;
    default:
      break;
  }
  reporter.report(warnings);
  if (!status.ok) reportError(status.message);
  return status.ok;
}

}  // namespace

int runCagewarp(int argc, const char* const* argv) {
  arrayIoReport = false;
  if (argc <= 1) return showUsage();
  if (argc == 2) {
    reportError("no model mesh file given");
    std::fprintf(stderr, "%s\n", messages::usageLine.data());
    return usageStatus;
  }

  Warnings warnings;
  const bool tablesPresent = std::filesystem::is_directory(tableDirectory);
  if (!tablesPresent)
    reportError(std::string("warning: no table directory '") + tableDirectory +
                "' in the working directory; running without tables");
  const WarningReporter reporter(tablesPresent);
  const LookupTables tables = loadLookupTables(tableDirectory, warnings);
  const MeshTables meshTables = loadMeshTables(tableDirectory, warnings);
  reporter.report(warnings);

  Mesh controlMesh;
  controlMesh.tables = meshTables;
  Mesh modelMesh;
  modelMesh.tables = meshTables;
  arrayIoReport = true;

  const std::string controlName = argv[1];
  print(messages::loadControl, controlName);
  if (Status s = readText(controlMesh, controlName); !s.ok) {
    reportError(s.message);
    return failureStatus;
  }
  print(messages::controlSummary, controlMesh.summary());
  const Mesh unrefinedControl = controlMesh;
  appendWeightRows(controlMesh);

  print(messages::loadModel, argv[2]);
  if (Status s = readText(modelMesh, argv[2]); !s.ok) {
    reportError(s.message);
    return failureStatus;
  }
  print(messages::modelSummary, modelMesh.summary());

  bool writeRefined = false;
  for (int i = 3; i < argc; ++i)
    if (!applyOption(argv[i][0], controlMesh, tables, warnings, reporter, writeRefined))
      return failureStatus;

  int exitStatus = 0;
  if (writeRefined) {
    const std::string refinedName = controlName + std::string(messages::refinedSuffix);
    print(messages::refinedStored, refinedName);
    if (!writeText(controlMesh, refinedName)) {
      reportError(refinedName + ": cannot write the refined control mesh");
      exitStatus = failureStatus;
    }
    print(messages::refinedSummary, controlMesh.summary());
  }

  const Relation relation = relateModel(modelMesh, unrefinedControl, controlMesh, tables, warnings);
  reporter.report(warnings);
  print(enclosedCountLine(relation.enclosedIndices.count(), modelMesh.vertexColumns()).c_str());

  const std::string matrixName = controlName + std::string(messages::matrixSuffix);
  print(messages::matrixOutput);
  if (!saveArray(relation.deformationMatrix, matrixName)) {
    reportError(matrixName + ": cannot write the deformation matrix");
    exitStatus = failureStatus;
  }
  const std::string indexName = controlName + std::string(messages::indexSuffix);
  print(messages::indexOutput);
  if (!saveArray(relation.enclosedIndices, indexName)) {
    reportError(indexName + ": cannot write the enclosed vertex indices");
    exitStatus = failureStatus;
  }
  return exitStatus;
}

}  // namespace cagewarp
