#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace cagewarp::messages {

// Every text the program prints on standard output, in one place, but for the lines that start
// a phase and name an operation, which are in the phase table (driver/phases.cpp). Lines with %s
// take a file name or a mesh summary. Below them, the driver's own messages on standard error
// (refused outputs, the table search, usage slips); the readers' and writers' messages stay with
// their formats.
// The usage screen: the title line ends with the project's web address, then comes the body with
// a line per operation (operationUsageLines) between its two parts.
inline constexpr std::string_view usageTitle =
    "3D mesh<=>model relator for deformation. available at ";
inline constexpr std::string_view usageBodyHead =
    "\n"
    "usage: cagewarp filename1 filename2 [options]\n\n"
    "filename1 is mesh file of volumetric control mesh\n"
    "filename2 is mesh file of model that is to be deformed\n"
    "options: arbitrary sequence of the characters \n";
inline constexpr std::string_view usageBodyTail =
    "to described how to yield the subdivided control mesh (not model mesh).\n"
    "Operations b,l,s are performed in order of appearance.\n"
    " Note: Use multiple s for smooth deformation!\n"
    "Matrix D for deformation is stored in filename1.mat.\n"
    "Not all model vertices have to be enclosed in which case make sure\n"
    "you read the involved model vertex indices from filename1.ind.\n"
    "\n"
    "Example: cagewarp control.txt model.txt b s s s\n"
    "hit ENTER to continue...\n";
inline constexpr std::string_view usageLine =
    "usage: cagewarp CONTROL MODEL [b|l|s|o ...] [--deform MOVED OUT ...] [--tables DIR] "
    "[--threads N] [--cage-out FILE] [--coordinates NAME] [--outside MODE] [--mtx] [--no-matrix] "
    "[--keep-normals] [--help] [--version]";

inline constexpr const char* controlSummary = "control mesh: %s\n";
inline constexpr const char* modelSummary = "model mesh: %s\n";
inline constexpr const char* refinedStored = "subdivided control mesh stored in: %s\n";
inline constexpr const char* refinedSummary = "subdivided control mesh: %s\n";
inline constexpr const char* matrixOutput = "matrix D output to:\n";
inline constexpr const char* indexOutput =
    "model vertex indices affected by multiplication are in:\n";

// Suffixes of the result files, appended to the control mesh file name.
inline constexpr std::string_view refinedSuffix = ".out";
inline constexpr std::string_view matrixSuffix = ".mat";
inline constexpr std::string_view matrixMarketSuffix = ".mtx";
inline constexpr std::string_view indexSuffix = ".ind";

// Outputs refused before a run starts (driver/run_files.cpp): the output's file name, then what
// it is or would replace, with the roles below.
inline constexpr const char* outputIsDirectory = "%s: is a directory; the %s is not written there";
inline constexpr const char* outputIsSpecial =
    "%s: is not a regular file (a device, FIFO or socket); the %s does not replace it";
inline constexpr const char* outputIsInput = "%s: is %s (%s); the %s would replace it";
inline constexpr const char* outputTwice =
    "%s: named for the %s and for the %s; one would replace the other";
inline constexpr const char* controlRole = "the control mesh";
inline constexpr const char* modelRole = "the model";
inline constexpr const char* movedRole = "a moved control mesh";
inline constexpr const char* cageOutRole = "refined control mesh of --cage-out";
inline constexpr const char* poseRole = "deformed model";
inline constexpr const char* refinedRole = "refined control mesh with its weights";
inline constexpr const char* matrixRole = "matrix D";
inline constexpr const char* indexRole = "enclosed vertex indices";

// The search for the table directory (driver/table_search.cpp); %s: the directory, then the
// number of missing files and their names.
inline constexpr const char* tablesPassedOver =
    "%s: holds none of the table files; passed over, looking further";
inline constexpr const char* tablesIncomplete =
    "%s: %s table files missing (%s); complete the directory, remove it or name one with "
    "--tables DIR";

// Usage errors; %s: the option as given, then the name it took as its output.
inline constexpr const char* forgottenOut =
    "%s %s: %s is an operation letter, not an output file; did you forget OUT? (write ./%s for a "
    "file of that name)";
inline constexpr const char* cageOutTwice =
    "--cage-out given twice (%s and %s); the refined control mesh is written once";
inline constexpr const char* noMatrixWithMtx =
    "--mtx chooses the format of D and --no-matrix writes no D; give one of them";

// A message of this file with its %s filled in order.
template <typename... Texts>
std::string formatted(const char* format, const Texts&... texts) {
  const int size = std::snprintf(nullptr, 0, format, std::string(texts).c_str()...);
  std::string message(static_cast<size_t>(size > 0 ? size : 0), '\0');
  std::snprintf(message.data(), message.size() + 1, format, std::string(texts).c_str()...);
  return message;
}

// Standard error: a non-empty input that gave no vertex, after its file name. Mesh text is read
// leniently, so junk there only warns; a model of another format is refused (the format's name
// follows the second text; for a cage it is a warning).
inline constexpr std::string_view noVertexWarning =
    ": no vertex record read; is it a mesh text file?";
inline constexpr std::string_view noVertexRefusal = ": no vertex record read from this ";
inline constexpr std::string_view noVertexRefusalEnd = " file";

// Standard error: an OUT in a format a model cannot be written in, refused before the run: the
// file, the first text, the format's name, the second text, the extensions a model can be
// written with, the third text.
inline constexpr std::string_view unwritableModelFormat = ": a model cannot be written as ";
inline constexpr std::string_view writableModelFormats = "; it can be written as ";
inline constexpr std::string_view otherModelOutput = " or, under any other extension, as mesh text";

// Standard error: every message starts with this.
inline constexpr std::string_view errorPrefix = "cagewarp: ";

}  // namespace cagewarp::messages
