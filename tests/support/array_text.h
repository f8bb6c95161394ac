#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace cagewarp::testing {

// An array text file as written for results: comment lines, the dimension count, the sizes,
// then the elements in column-major order.
struct ArrayText {
  std::vector<int> sizes;
  std::vector<double> values;
};

inline ArrayText parseArrayText(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  while (in.peek() == '%' && std::getline(in, line)) {
  }
  ArrayText array;
  int n = 0;
  in >> n;
  array.sizes.resize(n > 0 ? n : 0);
  size_t count = 1;
  for (int& s : array.sizes) {
    in >> s;
    count *= s > 0 ? static_cast<size_t>(s) : 0;
  }
  array.values.resize(count);
  for (double& x : array.values) in >> x;
  return array;
}

}  // namespace cagewarp::testing
