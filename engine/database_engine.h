// The database engine the comparisons use: one DBEngine a process, whose OpenDatabase reads a
// database's whole design once and serves it as collections walked by position, each item with
// a property list read by position. Nothing here touches the file after OpenDatabase.
//
//     auto db = DBEngine::instance().OpenDatabase("/data/shop.mdb");
//     for (std::int16_t i = 0; i < db->TableDefs().Count(); ++i)
//         std::cout << db->TableDefs().Item(i).Name() << "\n";
#pragma once

#include "design.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace engine {

// A collection of the design: Count, and Item by position from 0 to Count - 1. Item outside that
// range throws std::out_of_range. View is a light handle on one item.
template <typename View, typename Element>
class Collection {
public:
    explicit Collection(const std::vector<Element>& items) : items_(&items) {}
    std::int16_t Count() const { return static_cast<std::int16_t>(items_->size()); }
    View Item(std::int16_t position) const
    {
        if (position < 0 || static_cast<std::size_t>(position) >= items_->size())
            throw std::out_of_range("position " + std::to_string(position) + " is outside a collection of " +
                                    std::to_string(items_->size()));
        return View((*items_)[static_cast<std::size_t>(position)]);
    }

private:
    const std::vector<Element>* items_;
};

class PropertyView {
public:
    explicit PropertyView(const Property& p) : p_(&p) {}
    const std::string& Name() const { return p_->name; }
    const Variant& Value() const { return p_->value; }

private:
    const Property* p_;
};
using Properties = Collection<PropertyView, Property>;

class Field {
public:
    explicit Field(const FieldDesign& d) : d_(&d) {}
    const std::string& Name() const { return d_->name; }
    engine::Properties Properties() const { return engine::Properties(d_->properties); }

private:
    const FieldDesign* d_;
};
using Fields = Collection<Field, FieldDesign>;

class Index {
public:
    explicit Index(const IndexDesign& d) : d_(&d) {}
    const std::string& Name() const { return d_->name; }
    // The indexed fields, each with its order sign: "+OrderID;-Amount".
    const std::string& Fields() const { return d_->fields; }
    engine::Properties Properties() const { return engine::Properties(d_->properties); }

private:
    const IndexDesign* d_;
};
using Indexes = Collection<Index, IndexDesign>;

class TableDef {
public:
    explicit TableDef(const TableDesign& d) : d_(&d) {}
    const std::string& Name() const { return d_->name; }
    engine::Fields Fields() const { return engine::Fields(d_->fields); }
    engine::Indexes Indexes() const { return engine::Indexes(d_->indexes); }

private:
    const TableDesign* d_;
};
using TableDefs = Collection<TableDef, TableDesign>;

// A field pair of a relation: the primary table's field and the foreign table's.
class RelationFieldView {
public:
    explicit RelationFieldView(const RelationField& f) : f_(&f) {}
    const std::string& Name() const { return f_->name; }
    const std::string& ForeignName() const { return f_->foreignName; }

private:
    const RelationField* f_;
};
using RelationFields = Collection<RelationFieldView, RelationField>;

class Relation {
public:
    explicit Relation(const RelationDesign& d) : d_(&d) {}
    const std::string& Name() const { return d_->name; }
    const std::string& Table() const { return d_->table; }
    const std::string& ForeignTable() const { return d_->foreignTable; }
    RelationFields Fields() const { return RelationFields(d_->fields); }
    engine::Properties Properties() const { return engine::Properties(d_->properties); }

private:
    const RelationDesign* d_;
};
using Relations = Collection<Relation, RelationDesign>;

class QueryDef {
public:
    explicit QueryDef(const QueryDesign& d) : d_(&d) {}
    const std::string& Name() const { return d_->name; }
    engine::Properties Properties() const { return engine::Properties(d_->properties); }

private:
    const QueryDesign* d_;
};
using QueryDefs = Collection<QueryDef, QueryDesign>;

// An open database: its design, read when it opened. Views taken from it live as long as it does.
class Database {
public:
    explicit Database(DatabaseDesign design) : design_(std::move(design)) {}
    const std::string& Name() const { return design_.name; }  // the file's absolute path
    engine::TableDefs TableDefs() const { return engine::TableDefs(design_.tables); }
    engine::Relations Relations() const { return engine::Relations(design_.relations); }
    engine::QueryDefs QueryDefs() const { return engine::QueryDefs(design_.queries); }
    const DatabaseDesign& design() const { return design_; }

private:
    DatabaseDesign design_;
};

class DBEngine {
public:
    // The process's engine, made on first use.
    static DBEngine& instance();

    // Reads the design of the database at path, in a reader process of its own (reader_process.h).
    // Throws OpenError (database_file.h) saying which file and why it cannot be opened.
    std::shared_ptr<Database> OpenDatabase(const std::string& path);

private:
    DBEngine() = default;
};

}  // namespace engine
