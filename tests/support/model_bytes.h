#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/model_file.h"

namespace cagewarp::testing {

// The file's bytes with every coordinate left out (each marked by '#'): what moving vertices must
// not change.
inline std::string withoutCoordinates(const ModelFile& model) {
  std::string rest;
  int64_t at = 0;
  for (const CoordinateSite& site : model.sites) {
    rest.append(model.text(), static_cast<size_t>(at), static_cast<size_t>(site.offset - at));
    rest += '#';
    at = site.offset + site.length;
  }
  return rest.append(model.text().substr(static_cast<size_t>(at)));
}

}  // namespace cagewarp::testing
