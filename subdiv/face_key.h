#pragma once

#include "array/nd_array.h"

namespace cagewarp {

// The key that names a face whatever cell it was taken from: its vertices turned left until the
// first occurrence of the smallest index stands first, then one tag element.
IntArray faceKey(const IntArray& faceVertices, int tag);

// The key of the same face with the opposite orientation: first and last element kept, the
// elements between them reversed. An edge key is its own reversal.
IntArray reversedFaceKey(const IntArray& key);

}  // namespace cagewarp
