#pragma once

namespace cagewarp {

// The whole program: the usage screen without arguments, otherwise one run that loads the
// tables and both meshes, applies the options in order, relates the model to the refined
// control mesh and writes D and the enclosed vertex list. Returns the exit status.
int runCagewarp(int argc, const char* const* argv);

}  // namespace cagewarp
