// The database engine the comparisons use: one DBEngine a process, whose OpenDatabase reads a
// database's whole design once and serves it as collections walked by position, each item with
// a property list read by position. Nothing here touches the file after OpenDatabase.
//
//     auto db = DBEngine::instance().OpenDatabase("/data/shop.mdb");
//     for (std::int16_t i = 0; i < db->TableDefs().Count(); ++i)
//         std::cout << db->TableDefs().Item(i).Name() << "\n";
//
// The design stays in its serialized form (encoded_design.h); the views below read names and
// values out of it when asked, so a name or a value comes back as a copy.
#pragma once

#include "design.h"
#include "encoded_design.h"

#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Throws std::out_of_range unless 0 <= position < count.
void checkPosition(std::int16_t position, std::size_t count);

// The first position from 0 to count - 1 whose name (nameAt(position)) is exactly name, or -1.
template <typename NameAt>
int firstNamed(std::string_view name, std::size_t count, const NameAt& nameAt)
{
    for (std::size_t i = 0; i < count; ++i)
        if (nameAt(i) == name) return static_cast<int>(i);
    return -1;
}

// Whether position likely (from 0 to count - 1) is the first named name: it has the name, and
// namesDiffer says that no two positions have the same one.
template <typename NameAt>
bool firstNamedAt(std::string_view name, std::size_t count, const NameAt& nameAt, int likely, bool namesDiffer)
{
    return namesDiffer && likely >= 0 && static_cast<std::size_t>(likely) < count &&
           nameAt(static_cast<std::size_t>(likely)) == name;
}

// A collection of the design: Count, Item by position from 0 to Count - 1 (outside that range
// Item throws std::out_of_range), and PositionOf, the first position of an item with exactly the
// given name or -1. View is a light handle on one item, made from the design and the item's Entry.
template <typename View, typename Entry>
class Collection {
public:
    using Lookup = int (EncodedDesign::*)(std::string_view) const;

    // namesDiffer: no two items have the same name.
    Collection(const EncodedDesign& design, const Entry* items, std::size_t count, Lookup lookup = nullptr,
               bool namesDiffer = false)
        : design_(&design), items_(items), count_(count), lookup_(lookup), namesDiffer_(namesDiffer)
    {
    }
    std::int16_t Count() const { return static_cast<std::int16_t>(count_); }
    View Item(std::int16_t position) const
    {
        checkPosition(position, count_);
        return View(*design_, items_[position]);
    }
    int PositionOf(std::string_view name) const
    {
        if (lookup_) return (design_->*lookup_)(name);
        return firstNamed(name, count_, nameAt());
    }
    // PositionOf, looking at position likely first: where the names all differ, a name found there
    // is found nowhere else. Two databases mostly hold their common items in the same order.
    int PositionOf(std::string_view name, int likely) const
    {
        return firstNamedAt(name, count_, nameAt(), likely, namesDiffer_) ? likely : PositionOf(name);
    }

private:
    static std::uint32_t nameOffset(std::uint32_t record) { return record; }  // records start with the name
    static std::uint32_t nameOffset(const EncodedDesign::Table& table) { return table.name; }
    // The name of the item at a position.
    auto nameAt() const
    {
        return [this](std::size_t i) { return design_->textAt(nameOffset(items_[i])); };
    }

    const EncodedDesign* design_;
    const Entry* items_;
    std::size_t count_;
    Lookup lookup_;  // a faster PositionOf, or nullptr
    bool namesDiffer_;  // no two items have the same name
};

class PropertyView {
public:
    PropertyView(const EncodedDesign& design, std::uint32_t at) : design_(&design), at_(at) {}
    std::string Name() const { return std::string(design_->propertyName(at_)); }
    Variant Value() const { return design_->propertyValue(at_); }
    // Whether other's value is stored as this one is, and so is the same value (NaN aside), which
    // tells it without decoding either.
    bool SameValueAs(const PropertyView& other) const { return design_->sameValue(at_, *other.design_, other.at_); }

private:
    const EncodedDesign* design_;
    std::uint32_t at_;  // the property's entry
};

// A property list. Items are found by walking the list from its start; the walk remembers where
// it got to, so reading positions in rising order reads the list once.
class Properties {
public:
    Properties(const EncodedDesign& design, std::uint32_t at);  // at: the list's count
    std::int16_t Count() const { return static_cast<std::int16_t>(count_); }
    PropertyView Item(std::int16_t position) const;

private:
    const EncodedDesign* design_;
    std::size_t count_;
    std::uint32_t first_;                 // the first entry
    mutable std::size_t reached_ = 0;     // the position the walk got to ...
    mutable std::uint32_t reachedAt_;     // ... and its entry
};

class Field {
public:
    // The field whose record runs from at to end.
    Field(const EncodedDesign& design, std::uint32_t at, std::uint32_t end) : design_(&design), at_(at), end_(end) {}
    std::string Name() const { return std::string(design_->textAt(at_)); }
    engine::Properties Properties() const;
    // Whether other's property list is stored as this one is, and so holds the same values (NaN
    // aside), which tells it without reading either.
    bool SamePropertiesAs(const Field& other) const;

private:
    const EncodedDesign* design_;
    std::uint32_t at_;   // the field's record
    std::uint32_t end_;  // where it ends
};

// The fields of a table, as a collection (see Collection).
class Fields {
public:
    Fields(const EncodedDesign& design, const EncodedDesign::Table& table);
    std::int16_t Count() const { return static_cast<std::int16_t>(table_->fieldCount); }
    Field Item(std::int16_t position) const;
    int PositionOf(std::string_view name) const { return PositionOf(name, -1); }
    // PositionOf, looking at position likely first: in a table whose fields' names all differ, a
    // name found there is found nowhere else. Fields that two tables share mostly have the same
    // positions in both.
    int PositionOf(std::string_view name, int likely) const;
    // Whether no two of the fields have the same name.
    bool NamesDiffer() const { return table_->distinctFieldNames; }
    // The fewest properties a field has; 0 without fields.
    int FewestProperties() const { return static_cast<int>(table_->fewestFieldProperties); }
    // Whether other's fields are stored as these are, names, order and property lists, and so are
    // the same fields with the same values (NaN aside), which tells it without reading them.
    bool StoredAlike(const Fields& other) const;

private:
    const EncodedDesign* design_;
    const EncodedDesign::Table* table_;
    const std::uint32_t* items_;  // the fields' records
};

class Index {
public:
    Index(const EncodedDesign& design, std::uint32_t at) : design_(&design), at_(at) {}
    std::string Name() const { return std::string(design_->textAt(at_)); }
    // The indexed fields, each with its order sign: "+OrderID;-Amount".
    std::string Fields() const;
    engine::Properties Properties() const;

private:
    const EncodedDesign* design_;
    std::uint32_t at_;  // the index's record
};
using Indexes = Collection<Index, std::uint32_t>;

class TableDef {
public:
    TableDef(const EncodedDesign& design, const EncodedDesign::Table& table) : design_(&design), table_(&table) {}
    std::string Name() const { return std::string(design_->textAt(table_->name)); }
    engine::Fields Fields() const;
    engine::Indexes Indexes() const;
    // Whether no two of the indexes have the same name.
    bool IndexNamesDiffer() const { return table_->distinctIndexNames; }
    // Whether other's indexes are stored as these are, names, order, fields and property lists,
    // and so are the same indexes with the same values (NaN aside).
    bool IndexesStoredAlike(const TableDef& other) const;

private:
    const EncodedDesign* design_;
    const EncodedDesign::Table* table_;
};
using TableDefs = Collection<TableDef, EncodedDesign::Table>;

// A field pair of a relation: the primary table's field and the foreign table's.
class RelationFieldView {
public:
    RelationFieldView(const EncodedDesign& design, std::uint32_t at) : design_(&design), at_(at) {}
    std::string Name() const { return std::string(design_->textAt(at_)); }
    std::string ForeignName() const;

private:
    const EncodedDesign* design_;
    std::uint32_t at_;  // the pair
};

class RelationFields {
public:
    RelationFields(const EncodedDesign& design, std::uint32_t at);  // at: the pairs' count
    std::int16_t Count() const { return static_cast<std::int16_t>(count_); }
    RelationFieldView Item(std::int16_t position) const;

private:
    const EncodedDesign* design_;
    std::size_t count_;
    std::uint32_t first_;  // the first pair
};

class Relation {
public:
    Relation(const EncodedDesign& design, std::uint32_t at) : design_(&design), at_(at) {}
    std::string Name() const { return std::string(design_->textAt(at_)); }
    std::string Table() const;         // the primary ("one") side
    std::string ForeignTable() const;
    RelationFields Fields() const;
    engine::Properties Properties() const;

private:
    std::uint32_t fieldsAt() const;  // where the field pairs' count is
    const EncodedDesign* design_;
    std::uint32_t at_;  // the relation's record
};
using Relations = Collection<Relation, std::uint32_t>;

class QueryDef {
public:
    QueryDef(const EncodedDesign& design, std::uint32_t at) : design_(&design), at_(at) {}
    std::string Name() const { return std::string(design_->textAt(at_)); }
    engine::Properties Properties() const;

private:
    const EncodedDesign* design_;
    std::uint32_t at_;  // the query's record
};
using QueryDefs = Collection<QueryDef, std::uint32_t>;

// An open database: its design, read when it opened. Views taken from it live as long as it does.
class Database {
public:
    Database(std::string path, std::unique_ptr<const EncodedDesign> design)
        : path_(std::move(path)), design_(std::move(design))
    {
    }
    // A database made in memory from a design (its name as the path), for tests and tools.
    explicit Database(const DatabaseDesign& design);

    const std::string& Name() const { return path_; }  // the file's absolute path
    FileFormat Format() const { return design_->format(); }  // the file's format: Jet 3, Jet 4 or ACE
    engine::TableDefs TableDefs() const
    {
        return {*design_, design_->tables().data(), design_->tables().size(), &EncodedDesign::tablePosition,
                design_->tableNamesDiffer()};
    }
    engine::Relations Relations() const { return {*design_, design_->relations().data(), design_->relations().size()}; }
    engine::QueryDefs QueryDefs() const
    {
        return {*design_, design_->queries().data(), design_->queries().size(), &EncodedDesign::queryPosition};
    }

private:
    std::string path_;
    std::unique_ptr<const EncodedDesign> design_;
};

// A database being opened on another thread. get() waits for it and gives the database or throws
// what OpenDatabase would; an opening nobody waited for is stopped when this goes.
class OpeningDatabase {
public:
    OpeningDatabase(std::shared_ptr<std::atomic<bool>> stop, std::future<std::shared_ptr<Database>> result)
        : stop_(std::move(stop)), result_(std::move(result))
    {
    }
    OpeningDatabase(OpeningDatabase&&) = default;
    ~OpeningDatabase();
    std::shared_ptr<Database> get() { return result_.get(); }

private:
    std::shared_ptr<std::atomic<bool>> stop_;
    std::future<std::shared_ptr<Database>> result_;
};

class DBEngine {
public:
    // The process's engine, made on first use.
    static DBEngine& instance();

    // Reads the design of the database at path, in a reader process of its own (reader_process.h),
    // with the database's password when it has one. Throws OpenError (database_file.h) saying
    // which file and why it cannot be opened.
    std::shared_ptr<Database> OpenDatabase(const std::string& path, const std::string& password = {});

    // OpenDatabase started on another thread, so that two databases are read at the same time:
    // the reader process starts at once, and ends when the thread that called this ends. The
    // password is copied for that thread and cleared when it is done with it.
    OpeningDatabase StartOpening(const std::string& path, const std::string& password = {});

private:
    DBEngine() = default;
};

}  // namespace engine
