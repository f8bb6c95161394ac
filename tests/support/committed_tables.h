#pragma once

#include <gtest/gtest.h>

#include "mesh/lookup_tables.h"

namespace cagewarp::testing {

// The committed table set, loaded once and expected to load without warnings.
inline const LookupTables& committedLookupTables() {
  static const LookupTables tables = [] {
    Warnings warnings;
    LookupTables t = loadLookupTables(CAGEWARP_TAB_DIR, warnings);
    EXPECT_TRUE(warnings.empty());
    return t;
  }();
  return tables;
}

}  // namespace cagewarp::testing
