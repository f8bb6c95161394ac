#include "driver/phases.h"

#include "array/check.h"
#include "subdiv/add_boundary.h"
#include "subdiv/subdivide.h"

namespace cagewarp {
namespace {

Status addBoundaryStep(Mesh& control, const LookupTables& tables, Warnings&, int) {
  return addBoundary(control, tables);
}

Status linearStep(Mesh& control, const LookupTables& tables, Warnings& warnings, int threads) {
  return subdivide(control, tables, linearSubdivision, warnings, threads);
}

Status normalStep(Mesh& control, const LookupTables& tables, Warnings& warnings, int threads) {
  return subdivide(control, tables, normalSubdivision, warnings, threads);
}

// In the order of Phase.
constexpr PhaseInfo phases[] = {
    {Phase::loadTables, 0, nullptr, "load tables", "loading the tables", nullptr, nullptr},
    {Phase::readControl, 0, nullptr, "read control mesh", "reading the control mesh",
     "load control mesh: %s\n", nullptr},
    {Phase::readModel, 0, nullptr, "read model mesh", "reading the model mesh",
     "load model mesh: %s\n", nullptr},
    {Phase::appendWeightRows, 0, nullptr, "append weight rows", "preparing the control mesh",
     nullptr, nullptr},
    {Phase::addBoundary, 'b', addBoundaryStep, "add boundary", "adding the boundary",
     "add boundary\n", "add boundary"},
    {Phase::linearSubdivision, 'l', linearStep, "linear subdivision", "subdividing linearly",
     "linear subdivision\n", "linear subdivision"},
    {Phase::normalSubdivision, 's', normalStep, "normal subdivision", "subdividing",
     "normal subdivision\n", "smooth subdivision (several give a smoother deformation)"},
    {Phase::relate, 0, nullptr, "relate (locate, D, sparse)",
     "relating the model to the control mesh", nullptr, nullptr},
    {Phase::writeCage, 0, nullptr, "write refined cage", "writing the refined cage", nullptr,
     nullptr},
    {Phase::deform, 0, nullptr, "write a deformed model", "writing a deformed model", nullptr,
     nullptr},
    {Phase::writeRefined, 0, nullptr, "write refined mesh", "writing the refined control mesh",
     nullptr, nullptr},
    {Phase::writeMatrix, 0, nullptr, "write D", "writing D", nullptr, nullptr},
    {Phase::writeIndices, 0, nullptr, "write index list", "writing the enclosed vertex indices",
     nullptr, nullptr},
};

}  // namespace

const PhaseInfo& phaseInfo(Phase phase) {
  const PhaseInfo& info = phases[static_cast<int>(phase)];
  CAGEWARP_CHECK(info.phase == phase);
  return info;
}

const PhaseInfo* operationOf(char letter) {
  for (const PhaseInfo& info : phases)
    if (info.letter != 0 && info.letter == letter) return &info;
  return nullptr;
}

const char* describe(Phase phase) {
  return phaseInfo(phase).description;
}

bool isOperation(char letter) {
  return operationOf(letter) != nullptr;
}

std::string operationUsageLines() {
  std::string lines;
  for (const PhaseInfo& info : phases)
    if (info.letter != 0)
      lines += std::string("         ") + info.letter + " - " + info.label + "\n";
  return lines;
}

std::string operationHelpLines() {
  std::string lines;
  for (const PhaseInfo& info : phases)
    if (info.letter != 0)
      lines += std::string("  ") + info.letter + std::string(18, ' ') + info.help + "\n";
  return lines;
}

}  // namespace cagewarp
