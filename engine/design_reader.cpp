#include "design_reader.h"

#include "field_properties.h"
#include "format_error.h"
#include "long_value.h"
#include "mdb_tables.h"
#include "name_order.h"
#include "property_blob.h"
#include "query_text.h"
#include "table_definition.h"
#include "text_codec.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <span>

namespace engine {

namespace {

using Bytes = std::vector<std::uint8_t>;

// The pages of a file read on use that the reader keeps between tables (512 KiB of 4 KiB pages):
// few enough that the first chunk they are read into serves again and again, instead of fresh
// memory the system must clear. A table's pages are seldom read again for the next table.
constexpr std::size_t kMostPagesHeld = 128;

// Catalog object types.
constexpr int kTypeTable = 1;
constexpr int kTypeOdbcLink = 4;
constexpr int kTypeQuery = 5;
constexpr int kTypeAccessLink = 6;

// Stored column type codes the engine treats specially.
constexpr int kYesNo = 1, kByte = 2, kInteger = 3, kLong = 4, kCurrency = 5, kSingle = 6, kDouble = 7,
              kDateTime = 8, kBinary = 9, kText = 10, kOle = 11, kMemo = 12, kGuid = 15, kDecimal = 16;

// The bits of a column entry's second flags byte that mark a calculated column (ACE).
constexpr std::uint8_t kCalculatedColumn = 0xC0;


// The bytes of a cell, of a row kept (Cell) or of one being handed over (CellView); none for Null.
struct CellBytes {
    CellBytes(const Cell& cell) : bytes(cell ? std::span<const std::uint8_t>(*cell) : std::span<const std::uint8_t>()) {}
    CellBytes(const CellView& cell) : bytes(cell ? *cell : std::span<const std::uint8_t>()) {}
    std::span<const std::uint8_t> bytes;
};

// A signed little-endian number of the cell's width (Integer, Long); 0 for Null.
std::int64_t integer(CellBytes cell)
{
    std::uint64_t v = 0;
    for (std::size_t i = cell.bytes.size(); i-- > 0;) v = v << 8 | cell.bytes[i];
    std::size_t bits = 8 * std::min<std::size_t>(cell.bytes.size(), 8);
    if (bits > 0 && bits < 64 && (v >> (bits - 1) & 1)) v |= ~0ull << bits;  // sign-extend
    return static_cast<std::int64_t>(v);
}

// A Double or Date/Time cell; 0 for Null or any other width.
double real(CellBytes cell)
{
    double d = 0;
    if (cell.bytes.size() == 8) std::memcpy(&d, cell.bytes.data(), 8);
    return d;
}

// A column of a system table the design is read from, as every Access version defines it.
struct SystemColumn {
    const char* name;
    int type;           // the stored type code
    bool jet3 = true;   // Jet 3 files have it too
};

// The columns of the system tables read, in any order. Each file format defines them alike, but
// for MSysQueries' LvExtra, which Jet 3 lacks; MSysComplexColumns exists from ACE on.
const std::vector<SystemColumn> kCatalogColumns = {
    {"Id", kLong},         {"ParentId", kLong},     {"Name", kText},         {"Type", kInteger},
    {"DateCreate", kDateTime}, {"DateUpdate", kDateTime}, {"Owner", kBinary},   {"Flags", kLong},
    {"Database", kMemo},   {"Connect", kMemo},      {"ForeignName", kText},  {"RmtInfoShort", kBinary},
    {"RmtInfoLong", kOle}, {"Lv", kOle},            {"LvProp", kOle},        {"LvModule", kOle},
    {"LvExtra", kOle}};
const std::vector<SystemColumn> kQueryColumns = {
    {"ObjectId", kLong}, {"Attribute", kByte}, {"Order", kBinary},        {"Name1", kText},
    {"Name2", kText},    {"Expression", kMemo}, {"Flag", kInteger}, {"LvExtra", kLong, false}};
const std::vector<SystemColumn> kRelationshipColumns = {
    {"szRelationship", kText}, {"grbit", kLong},    {"ccolumn", kLong},           {"icolumn", kLong},
    {"szObject", kText},       {"szColumn", kText}, {"szReferencedObject", kText}, {"szReferencedColumn", kText}};
const std::vector<SystemColumn> kComplexColumns = {
    {"ColumnName", kText}, {"ComplexID", kLong}, {"ComplexTypeObjectID", kLong}, {"ConceptualTableID", kLong},
    {"FlatTableID", kLong}};

// One row of MSysObjects.
struct CatalogObject {
    std::size_t row = 0;  // its position among the catalog's live rows, from 1
    std::uint32_t id = 0;
    std::string name;
    int type = 0;
    std::uint32_t flags = 0;
    double created = 0, updated = 0;
    Cell properties;  // LvProp, a long value
};

// The design rows of one query.
using QueryRows = std::vector<QueryRow>;

class Reader {
public:
    explicit Reader(const DatabaseFile& file) : file_(file), image_(file.image()), tables_(file) {}

    // Hands the design to sink: the tables one by one in the design's order (by name, letter case
    // ignored, ties by exact name), each read just before it is handed over.
    void run(DesignSink& sink)
    {
        readCatalog();
        std::set<std::uint32_t> storage = complexStorageTables();
        std::vector<const CatalogObject*> tables;  // in the order of the catalog's rows, then by name
        for (const CatalogObject& o : catalog_)
            if ((o.type == kTypeTable || o.type == kTypeOdbcLink || o.type == kTypeAccessLink) && !storage.count(o.id))
                tables.push_back(&o);
        std::stable_sort(tables.begin(), tables.end(), [](const CatalogObject* a, const CatalogObject* b) {
            return nameLess(a->name, b->name);
        });
        checkCount(tables.size(), "tables");
        sink.begin(file_.path, file_.format, tables.size());
        for (const CatalogObject* o : tables) {
            if (o->type == kTypeTable)
                sink.tableAsRead(table(*o));
            else
                sink.table(TableDesign{o->name, {}, {}});
            // Between tables no page is in use: a file read on use keeps a few hundred at most.
            if (image_.loader) image_.loader->forgetPagesOver(kMostPagesHeld);
        }
        std::vector<RelationDesign> relations = this->relations();
        std::vector<QueryDesign> queries = this->queries();
        auto byName = [](const auto& a, const auto& b) { return nameLess(a.name, b.name); };
        std::stable_sort(relations.begin(), relations.end(), byName);
        std::stable_sort(queries.begin(), queries.end(), byName);
        checkCount(relations.size(), "relationships");
        checkCount(queries.size(), "queries");
        sink.end(std::move(relations), std::move(queries));
    }

private:
    [[noreturn]] void damaged(const std::string& what) const { throw OpenError(file_.path, "damaged: " + what); }

    void checkCount(std::size_t n, const char* what) const
    {
        if (n > kMostItems)
            throw OpenError(file_.path, "it has " + std::to_string(n) + " " + what + ", more than Dualyn can compare (" +
                                            std::to_string(kMostItems) + ")");
    }

    std::string text(CellBytes cell) const
    {
        return image_.jet3 ? cp1252ToUtf8(cell.bytes.data(), cell.bytes.size())
                           : jet4TextToUtf8(cell.bytes.data(), cell.bytes.size());
    }

    std::optional<std::string> optionalText(const Cell& cell) const
    {
        if (!cell) return std::nullopt;
        return text(cell);
    }

    Bytes longValue(const Cell& cell) const { return cell ? readLongValue(image_, *cell) : Bytes{}; }

    std::optional<std::string> longText(const Cell& cell) const
    {
        if (!cell) return std::nullopt;
        Bytes b = longValue(cell);
        return image_.jet3 ? cp1252ToUtf8(b.data(), b.size()) : jet4TextToUtf8(b.data(), b.size());
    }

    // The page of a system table's definition, from the catalog; 0 when the file has none.
    std::uint32_t systemTablePage(const char* name) const
    {
        for (const CatalogObject& o : catalog_)
            if (o.type == kTypeTable && o.name == name) return o.id & 0x00FFFFFF;
        return 0;
    }

    // Contract: the live rows of the system table name, whose definition starts at page: per row
    // the cells of the columns named, in that order. First checks that the definition holds the
    // columns that table has in this file's format, no more and no fewer, each of its type, and
    // that libmdb reads the same columns from it. Throws FormatError.
    //     systemRows(2, "MSysObjects", kCatalogColumns, {"Id", "Name"})  -> {{Id, Name}, ...}
    std::vector<std::vector<Cell>> systemRows(std::uint32_t page, const std::string& name,
                                              const std::vector<SystemColumn>& expected,
                                              const std::vector<std::string>& wanted)
    {
        checkSystemTable(page, name, expected);
        return tables_.rows(page, name, wanted);
    }

    // The checks of systemRows on the definition of the system table name at page.
    void checkSystemTable(std::uint32_t page, const std::string& name, const std::vector<SystemColumn>& expected)
    {
        TableDefinition definition = readTableDefinition(image_, page);
        std::size_t count = 0;  // the columns this format gives the table
        for (const SystemColumn& c : expected) {
            if (image_.jet3 && !c.jet3) continue;
            ++count;
            auto entry = std::find_if(definition.columns.begin(), definition.columns.end(),
                                      [&c](const ColumnEntry& e) { return e.name == c.name; });
            if (entry == definition.columns.end())
                throw FormatError("the definition of " + name + " at page " + std::to_string(page) + " lacks its column " +
                                  c.name);
            if (entry->type != c.type)
                throw FormatError("the definition of " + name + " at page " + std::to_string(page) + " gives its column " +
                                  c.name + " type " + std::to_string(entry->type) + ", not " + std::to_string(c.type));
        }
        if (definition.columns.size() != count)
            throw FormatError("the definition of " + name + " at page " + std::to_string(page) + " has " +
                              std::to_string(definition.columns.size()) + " columns, not " + std::to_string(count));
        if (std::size_t read = tables_.columns(page, name).size(); read != count)
            throw FormatError("libmdb reads " + std::to_string(read) + " columns of " + name + ", not " +
                              std::to_string(count));
    }

    // How a message names the table of catalog object o: by its name, or by its catalog row when
    // the name is empty.
    static std::string tableLabel(const CatalogObject& o)
    {
        return o.name.empty() ? "the table in catalog row " + std::to_string(o.row) : "table " + o.name;
    }

    void readCatalog()
    {
        try {
            // The catalog's own definition is always on page 2. Its rows are taken one by one as
            // libmdb reads them, keeping only what the design needs of each.
            checkSystemTable(2, "MSysObjects", kCatalogColumns);
            const std::vector<std::string> wanted{"Id", "Name", "Type", "Flags", "DateCreate", "DateUpdate", "LvProp"};
            tables_.visitRows(2, "MSysObjects", wanted, [this](const std::vector<CellView>& r) {
                CatalogObject& o = catalog_.emplace_back();
                o.row = catalog_.size();
                // Every object has these; without them it would silently drop out of the design.
                if (!r[0] || !r[1] || !r[2])
                    throw FormatError("row " + std::to_string(o.row) + " has no " + (!r[0] ? "Id" : !r[1] ? "Name" : "Type"));
                o.id = static_cast<std::uint32_t>(integer(r[0]));
                o.name = text(r[1]);
                o.type = static_cast<int>(integer(r[2]));
                // Access numbers its kinds of objects from 1 (tables, queries, relationships, ...)
                // and from -32768 (forms, reports, macros, modules, ...); any other number is not
                // one an object was ever given.
                if (!(o.type >= 1 && o.type <= 15) && !(o.type >= -32768 && o.type <= -32750))
                    throw FormatError("row " + std::to_string(o.row) + " has the type " + std::to_string(o.type) +
                                      ", which no kind of object has");
                o.flags = static_cast<std::uint32_t>(integer(r[3]));
                o.created = real(r[4]);
                o.updated = real(r[5]);
                if (r[6]) o.properties.emplace(r[6]->begin(), r[6]->end());
            });
        } catch (const FormatError& e) {
            damaged(std::string("the catalog cannot be read: ") + e.what());
        }
        if (catalog_.empty()) damaged("the catalog is empty");
    }

    // The hidden tables in which newer Access versions keep attachments and multi-value fields:
    // MSysComplexColumns names each by the whole id of its catalog row. Ids with high bits set
    // (0x8000002C, a storage table linked from another file) are not page numbers, and their low
    // bits may be those of a real table (0x0000002C).
    std::set<std::uint32_t> complexStorageTables()
    {
        std::set<std::uint32_t> ids;
        std::uint32_t page = systemTablePage("MSysComplexColumns");
        if (!page) return ids;
        try {
            for (const auto& r : systemRows(page, "MSysComplexColumns", kComplexColumns, {"FlatTableID"}))
                if (r[0]) ids.insert(static_cast<std::uint32_t>(integer(r[0])));
        } catch (const FormatError& e) {
            damaged(std::string("the list of attachment tables cannot be read: ") + e.what());
        }
        return ids;
    }

    std::vector<PropertyBlock> propertyBlocks(const CatalogObject& o) const
    {
        if (!o.properties) return {};
        Bytes blob = longValue(o.properties);
        return parsePropertyBlob(blob.data(), blob.size());
    }

    TableFacts table(const CatalogObject& o)
    {
        try {
            return readTable(o);
        } catch (const FormatError& e) {
            damaged("the design of " + tableLabel(o) + " cannot be read: " + e.what());
        }
    }

    TableFacts readTable(const CatalogObject& o)
    {
        const std::uint32_t page = o.id & 0x00FFFFFF;
        TableFacts t;
        t.name = o.name;
        TableDefinition indexes = readTableDefinition(image_, page);
        // The fields in the order of their numbers (a deleted field leaves its number unused).
        std::vector<const ColumnEntry*> columns;
        columns.reserve(indexes.columns.size());
        for (const ColumnEntry& entry : indexes.columns) columns.push_back(&entry);
        auto byNumber = [](const ColumnEntry* a, const ColumnEntry* b) { return a->columnNumber < b->columnNumber; };
        // No two have the same number (readTableDefinition checks it): sorted without a buffer.
        if (!std::is_sorted(columns.begin(), columns.end(), byNumber)) std::sort(columns.begin(), columns.end(), byNumber);
        if (columns.size() > kMostItems) throw FormatError("too many fields");
        // Every table has its own map of row pages: a definition that shares another's is a
        // copy of it, written over this table's.
        const std::uint32_t map = rowPageMapAddress(image_, page);
        if (auto [other, fresh] = rowPageMaps_.emplace(map, TablePlace{&o.name, page}); !fresh)
            throw FormatError("its definition at page " + std::to_string(page) + " has the map of row pages of table " +
                              *other->second.name + ", whose definition is at page " + std::to_string(other->second.page));
        t.blocks = propertyBlocks(o);
        t.fields.reserve(columns.size());
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const ColumnEntry& column = *columns[i];
            FieldFacts& f = t.fields.emplace_back();
            f.name = column.name;
            f.attributes = column.flags;
            // Only text columns keep a collating order; the others sort as General (1033).
            f.collatingOrder = column.type == kText || column.type == kMemo ? column.sortOrder : 1033;
            f.type = reportedType(column.type);
            f.size = reportedSize(column);
            f.position = i;
            const PropertyBlock* block = nullptr;  // the last one named like the field
            for (const PropertyBlock& b : t.blocks)
                if (b.name == column.name && !b.name.empty()) block = &b;
            if (!block) continue;  // nothing stored for the field, as for most
            static const std::vector<std::string_view> fixedNames(kFieldPropertyNames.begin(), kFieldPropertyNames.end());
            for (std::size_t k = 0; k < f.stored.size(); ++k)
                f.stored[k] = storedValueOf(block, fixedNames[kFirstStoredFieldProperty + k]);
            f.others = otherProperties(block, fixedNames);
        }
        for (const LogicalIndex& ix : indexes.logical) {
            // The index a relationship adds to its primary table is the engine's, not the design's.
            if (ix.kind == 2 && ix.relationshipSide == 1) continue;
            if (ix.realIndex >= indexes.real.size()) throw FormatError("index " + ix.name + " has no real index");
            const RealIndex& real = indexes.real[ix.realIndex];
            std::string fields;
            for (const IndexColumn& c : real.columns) {
                auto column = std::find_if(columns.begin(), columns.end(),
                                           [&c](const ColumnEntry* entry) { return entry->columnNumber == c.columnNumber; });
                if (column == columns.end())
                    throw FormatError("index " + ix.name + " names column number " + std::to_string(c.columnNumber) +
                                      ", which the table lacks");
                if (!fields.empty()) fields += ";";
                fields += (c.descending ? "-" : "+") + (*column)->name;
            }
            IndexFacts& index = t.indexes.emplace_back();
            index.name = ix.name;
            index.fields = std::move(fields);
            index.foreign = ix.kind == 2;
            index.unique = real.flags & 0x01;
            index.required = real.flags & 0x08;
            index.ignoreNulls = real.flags & 0x02;
            index.primary = ix.kind == 1;
        }
        if (t.indexes.size() > kMostItems) throw FormatError("too many indexes");
        return t;
    }

    // The type code Access reports for a stored column type.
    static int reportedType(int stored)
    {
        if ((stored >= 1 && stored <= 12) || stored == kGuid) return stored;
        if (stored == kDecimal) return 20;
        return stored + 1000;
    }

    // The size Access reports: characters for Text, 0 for Memo and OLE, bytes otherwise. A
    // calculated column stores its value behind a 23-byte header, and its stored length counts
    // it: a calculated Text(243) stores 509 bytes (23 + 2 × 243); fixed-size results are all
    // stored in 39 bytes and report their type's own size.
    int reportedSize(const ColumnEntry& c) const
    {
        constexpr int kCalculatedHeader = 23;
        if (!image_.jet3 && (c.moreFlags & kCalculatedColumn) == kCalculatedColumn) {
            switch (c.type) {
            case kText: return std::max(0, c.length - kCalculatedHeader) / 2;
            case kMemo:
            case kOle: return 0;
            case kYesNo:
            case kByte: return 1;
            case kInteger: return 2;
            case kLong:
            case kSingle: return 4;
            case kCurrency:
            case kDouble:
            case kDateTime: return 8;
            case kGuid: return 16;
            case kDecimal: return 17;
            default: return std::max(0, c.length - kCalculatedHeader);
            }
        }
        switch (c.type) {
        case kText: return image_.jet3 ? c.length : c.length / 2;
        case kMemo:
        case kOle: return 0;
        case kYesNo: return 1;
        default: return c.length;
        }
    }

    // The value of the first property of block named name in any letter case, as the engine finds
    // properties by name ("required" is Required); null when there is no block or no such property.
    static const Variant* storedValueOf(const PropertyBlock* block, std::string_view name)
    {
        if (block)
            for (const auto& p : block->properties)
                if (sameFolded(p.name, name)) return &p.value;
        return nullptr;
    }

    // The stored properties of block (none when it is null) that a list does not hold among its
    // fixed ones, named placed: those not named like one of them, letter case aside, each name
    // once, sorted by name. They follow the fixed ones.
    static std::vector<const StoredProperty*> otherProperties(const PropertyBlock* block,
                                                              const std::vector<std::string_view>& placed)
    {
        std::vector<const StoredProperty*> others;
        if (!block) return others;
        for (const auto& s : block->properties) {
            bool isPlaced = std::any_of(placed.begin(), placed.end(), [&s](std::string_view p) { return sameFolded(p, s.name); });
            bool repeated = std::any_of(others.begin(), others.end(), [&s](const StoredProperty* o) { return o->name == s.name; });
            if (!isPlaced && !repeated) others.push_back(&s);
        }
        std::stable_sort(others.begin(), others.end(),
                         [](const StoredProperty* a, const StoredProperty* b) { return nameLess(a->name, b->name); });
        return others;
    }

    std::vector<RelationDesign> relations()
    {
        std::uint32_t page = systemTablePage("MSysRelationships");
        if (!page) return {};
        std::map<std::string, RelationDesign> byName;
        std::map<std::string, std::map<std::int64_t, RelationField>> fields;  // per relationship, by icolumn
        std::map<std::string, std::int64_t> flags;
        try {
            auto rows = systemRows(page, "MSysRelationships", kRelationshipColumns,
                                   {"szRelationship", "grbit", "icolumn", "szObject", "szColumn",
                                    "szReferencedObject", "szReferencedColumn"});
            for (const auto& r : rows) {
                if (!r[0] || !r[3] || !r[5]) throw FormatError("a row has no relationship or table name");
                std::string name = text(r[0]);
                RelationDesign& rel = byName[name];
                rel.name = name;
                rel.foreignTable = text(r[3]);
                rel.table = text(r[5]);
                flags[name] = integer(r[1]);
                fields[name][integer(r[2])] = RelationField{text(r[6]), text(r[4])};
            }
        } catch (const FormatError& e) {
            damaged(std::string("the relationships cannot be read: ") + e.what());
        }
        std::vector<RelationDesign> out;
        for (auto& [name, rel] : byName) {
            // Newer Access versions relate their own system tables; that is not the design.
            if (isSystemName(rel.table) && isSystemName(rel.foreignTable)) continue;
            for (auto& [position, field] : fields[name]) rel.fields.push_back(field);
            rel.properties = {
                {"Name", Variant::text(rel.name)},
                {"Table", Variant::text(rel.table)},
                {"ForeignTable", Variant::text(rel.foreignTable)},
                {"Attributes", Variant::number(static_cast<double>(flags[name]))},
                {"PartialReplica", Variant::boolean(false)},
            };
            out.push_back(std::move(rel));
        }
        return out;
    }

    std::vector<QueryDesign> queries()
    {
        std::map<std::uint32_t, QueryRows> rowsById;
        if (std::uint32_t page = systemTablePage("MSysQueries")) {
            try {
                auto rows = systemRows(page, "MSysQueries", kQueryColumns,
                                       {"ObjectId", "Attribute", "Order", "Name1", "Name2", "Expression", "Flag", "LvExtra"});
                for (const auto& r : rows) {
                    if (!r[0] || !r[1]) throw FormatError("a row has no ObjectId or Attribute");
                    QueryRow q;
                    q.attribute = r[1] && !r[1]->empty() ? (*r[1])[0] : 0;  // a Byte: unsigned
                    if (r[2]) {
                        for (std::uint8_t b : *r[2]) q.order = q.order << 8 | b;
                    }
                    q.name1 = optionalText(r[3]);
                    q.name2 = optionalText(r[4]);
                    q.expression = longText(r[5]);
                    if (r[6]) q.flag = static_cast<int>(integer(r[6]));
                    if (r[7]) q.extra = integer(r[7]);
                    rowsById[static_cast<std::uint32_t>(integer(r[0]))].push_back(std::move(q));
                }
            } catch (const FormatError& e) {
                damaged(std::string("the queries' design cannot be read: ") + e.what());
            }
        }
        std::vector<QueryDesign> out;
        for (const CatalogObject& o : catalog_) {
            if (o.type != kTypeQuery) continue;
            try {
                out.push_back(query(o, rowsById[o.id]));
            } catch (const FormatError& e) {
                damaged("the design of query " + o.name + " cannot be read: " + e.what());
            }
        }
        return out;
    }

    QueryDesign query(const CatalogObject& o, const QueryRows& rows) const
    {
        std::vector<PropertyBlock> blocks = propertyBlocks(o);
        const PropertyBlock* own = nullptr;
        for (const auto& b : blocks)
            if (b.name.empty()) own = &b;
        // A stored value, or what Access reports when none is stored.
        auto storedOr = [own](const char* name, Variant otherwise) {
            const Variant* stored = storedValueOf(own, name);
            return stored ? *stored : otherwise;
        };
        const int type = static_cast<int>(o.flags & 0xF0);
        std::string connect;
        for (const QueryRow& r : rows)
            if (r.attribute == 1 && type == 112 && r.name1) connect = *r.name1;
        PropertyList p = {
            {"Name", Variant::text(o.name)},
            {"DateCreated", Variant::number(o.created)},
            {"LastUpdated", Variant::number(o.updated)},
            {"Type", Variant::number(type)},
            {"SQL", Variant::text(queryText(rows))},
            {"Updatable", Variant::boolean(true)},
            {"Connect", storedOr("Connect", Variant::text(connect))},
            {"ReturnsRecords", storedOr("ReturnsRecords", Variant::boolean(true))},
            {"ODBCTimeout", storedOr("ODBCTimeout", Variant::number(60))},
            {"RecordsAffected", Variant::number(0)},
            {"MaxRecords", storedOr("MaxRecords", Variant::number(0))},
        };
        std::vector<std::string_view> placed;
        for (const Property& fixed : p) placed.push_back(fixed.name);
        for (const StoredProperty* other : otherProperties(own, placed)) p.push_back(Property{other->name, other->value});
        return QueryDesign{o.name, std::move(p)};
    }

    const DatabaseFile& file_;
    FileImage image_;
    MdbTables tables_;
    std::vector<CatalogObject> catalog_;  // in the order of its rows
    struct TablePlace {
        const std::string* name;  // the catalog's, which outlives the reading
        std::uint32_t page;
    };
    std::unordered_map<std::uint32_t, TablePlace> rowPageMaps_;  // the tables read so far, by their map's address
};

}  // namespace

void readDesign(const DatabaseFile& file, DesignSink& sink, const std::function<void()>& afterOpen)
{
    Reader reader(file);
    if (afterOpen) afterOpen();
    reader.run(sink);
}

DatabaseDesign readDesign(const DatabaseFile& file, const std::function<void()>& afterOpen)
{
    // Keeps every piece.
    class Collector final : public DesignSink {
    public:
        void begin(const std::string& name, FileFormat format, std::size_t tableCount) override
        {
            design.name = name;
            design.format = format;
            design.tables.reserve(tableCount);
        }
        void table(TableDesign table) override { design.tables.push_back(std::move(table)); }
        void end(std::vector<RelationDesign> relations, std::vector<QueryDesign> queries) override
        {
            design.relations = std::move(relations);
            design.queries = std::move(queries);
        }
        DatabaseDesign design;
    } collector;
    readDesign(file, collector, afterOpen);
    return std::move(collector.design);
}

DatabaseDesign readDesign(const std::string& path, const std::string& password)
{
    return readDesign(loadDatabaseFile(path, password));
}

}  // namespace engine
