#include "difference.h"

namespace dualyn {

Section SectionOf(DifferenceKind kind)
{
    switch (kind) {
    case DifferenceKind::RelationMissing:
    case DifferenceKind::RelationAttributes: return Section::Relations;
    case DifferenceKind::QueryMissing:
    case DifferenceKind::QueryProperty: return Section::Queries;
    default: return Section::Tables;
    }
}

Section SectionOf(OkKind kind)
{
    switch (kind) {
    case OkKind::Relations: return Section::Relations;
    case OkKind::Queries: return Section::Queries;
    default: return Section::Tables;
    }
}

std::string_view SectionName(Section section)
{
    switch (section) {
    case Section::Tables: return "tables";
    case Section::Relations: return "relations";
    case Section::Queries: return "queries";
    }
    return "";
}

std::string_view KindName(DifferenceKind kind)
{
    switch (kind) {
    case DifferenceKind::TableMissing: return "table missing";
    case DifferenceKind::FieldMissing: return "field missing";
    case DifferenceKind::FieldOrder: return "field order";
    case DifferenceKind::FieldProperty: return "field property";
    case DifferenceKind::PrimaryKey: return "primary key";
    case DifferenceKind::IndexProperty: return "index property";
    case DifferenceKind::IndexMissing: return "index missing";
    case DifferenceKind::RelationMissing: return "relation missing";
    case DifferenceKind::RelationAttributes: return "relation attributes";
    case DifferenceKind::QueryMissing: return "query missing";
    case DifferenceKind::QueryProperty: return "query property";
    }
    return "";
}

std::string_view OkKindName(OkKind kind)
{
    switch (kind) {
    case OkKind::Fields: return "fields";
    case OkKind::PrimaryKeysAndIndexes: return "primary keys and indexes";
    case OkKind::Relations: return "relations";
    case OkKind::Queries: return "queries";
    }
    return "";
}

}  // namespace dualyn
