#pragma once

#include <string>

#include "array/status.h"
#include "formats/model_file.h"
#include "mesh/mesh.h"
#include "relate/deformation.h"

namespace cagewarp {

// One deformation asked for: the control mesh moved to new positions, and where the model
// deformed by it goes.
struct Pose {
  std::string movedControlFile;
  std::string outFile;
};

// The model vertices no cell encloses: they keep their place in every pose.
struct OutsideVertices {
  int count = 0;
  int total = 0;
  // The largest distance of such a vertex to the box around the control vertices (0 inside it).
  double largestDistance = 0;
};

// Counts the model vertices missing from the ascending `enclosed` list and measures how far they
// lie from the bounding box of the control mesh's positions.
OutsideVertices findOutsideVertices(const Mesh& model, const IntArray& enclosed,
                                    const Mesh& control);

// Writes the model with every enclosed vertex moved to P x D, P the positions read from the
// pose's moved control mesh (which must have `controlVertices` vertices), all other content as it
// was read. A model read from an OBJ, OFF, PLY or STL file (`source`) is written in its own
// format byte for byte; any other output extension gets `model` as mesh text. The output is
// complete or absent.
Status writePose(const Pose& pose, const ModelFile& source, const Mesh& model,
                 const Relation& relation, int controlVertices);

}  // namespace cagewarp
