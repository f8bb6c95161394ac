#pragma once

#include <string>

namespace cagewarp::testing {

// Replaces each address printed after "\tdata:" by "@", so echoes compare as text.
inline std::string withoutAddresses(std::string text) {
  for (size_t at = text.find("\tdata:"); at != std::string::npos;
       at = text.find("\tdata:", at + 1)) {
    const size_t end = text.find('\n', at);
    text.replace(at, end - at, "\tdata:@");
  }
  return text;
}

}  // namespace cagewarp::testing
