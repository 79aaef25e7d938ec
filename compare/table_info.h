// A table handed from the table comparison to the field and index comparisons: the file name of
// its database, the table itself, and which database it is (for the lines' twins).
#pragma once

#include "database_engine.h"

#include <optional>
#include <string>

namespace dualyn {

struct TableInfo {
    std::string strDBName;               // strDB1Name or strDB2Name
    std::optional<engine::TableDef> tdf;  // set for every table handed on
    int database = 1;                    // 1 or 2: the database that holds the table
};

}  // namespace dualyn
