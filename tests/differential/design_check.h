// What the engine served for a database, as a design model, and its comparison with the
// expected model: every difference is a Mismatch naming the object, the position and both
// values, with a category that says what kind of fault it looks like.
#pragma once

#include "database_engine.h"
#include "design_model.h"

#include <map>
#include <string>
#include <vector>

namespace difftest {

struct Mismatch {
    std::string category;  // "empty value read as Null", "order of names", "query SQL", ...
    std::string object;    // table "Orders" field "Name"
    std::string what;      // property 12 DefaultValue
    std::string expected;
    std::string actual;
};

// How much a check looked at, by kind of object ("tables", "fields", "values", ...).
using Counts = std::map<std::string, long>;

// The engine's design of db in the model's shape: every collection and property list walked by
// position through the views of database_engine.h.
DesignModel servedDesign(const engine::Database& db);

// Every difference between what the engine must serve and what it served: the order of each
// collection and property list, objects missing or unexpected, and each value, objects matched
// by their exact names. Adds what it checked to counts.
std::vector<Mismatch> compareDesigns(const DesignModel& expected, const DesignModel& served, Counts& counts);

}  // namespace difftest
