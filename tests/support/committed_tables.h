#pragma once

#include <gtest/gtest.h>

#include <utility>

#include "array/array_file.h"
#include "driver/table_loader.h"

namespace cagewarp::testing {

// The committed table set, loaded once, silently, and expected to load without warnings.
inline const LookupTables& committedLookupTables() {
  static const LookupTables tables = [] {
    Warnings warnings;
    const bool echo = std::exchange(arrayIoReport, false);
    LookupTables t = loadLookupTables(CAGEWARP_TAB_DIR, warnings);
    arrayIoReport = echo;
    EXPECT_TRUE(warnings.empty());
    return t;
  }();
  return tables;
}

inline const MeshTables& committedMeshTables() {
  static const MeshTables tables = [] {
    Warnings warnings;
    const bool echo = std::exchange(arrayIoReport, false);
    MeshTables t = loadMeshTables(CAGEWARP_TAB_DIR, warnings);
    arrayIoReport = echo;
    EXPECT_TRUE(warnings.empty());
    return t;
  }();
  return tables;
}

}  // namespace cagewarp::testing
