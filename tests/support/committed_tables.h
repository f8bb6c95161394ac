#pragma once

#include <gtest/gtest.h>

#include <string>

#include "formats/table_files.h"
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

// A table file as messages name it for a table set read from the default directory.
inline std::string tableFile(const std::string& name) {
  return std::string(defaultTableDirectory) + "/" + name;
}

}  // namespace cagewarp::testing
