#include "subdiv/face_key.h"

#include <algorithm>

namespace cagewarp {

IntArray faceKey(const IntArray& faceVertices, int tag) {
  IntArray turned(faceVertices);
  int first = 0;
  turned.argMin(first);
  turned.rotate(first);
  IntArray key({turned.count() + 1}, 0);
  std::copy(turned.data(), turned.data() + turned.count(), key.data());
  key[turned.count()] = tag;
  return key;
}

IntArray reversedFaceKey(const IntArray& key) {
  IntArray reversed(key);
  std::reverse(reversed.data() + 1, reversed.data() + reversed.count() - 1);
  return reversed;
}

}  // namespace cagewarp
