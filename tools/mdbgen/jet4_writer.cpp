#include "jet4_writer.h"

#include "schema_text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <optional>
#include <set>
#include <unistd.h>

namespace mdbgen {

namespace {

constexpr std::size_t kPageSize = 4096;
constexpr std::size_t kDataHeader = 14;            // data page header before the row offsets
constexpr std::size_t kRowCapacity = kPageSize - kDataHeader - 2;  // largest row on a page
constexpr int kMaxRowsPerPage = 255;               // a row number is one byte in a row pointer
constexpr std::size_t kInlineLongValue = 64;       // long values up to this size stay in the row
constexpr std::size_t kUsageMapRow = 69;           // type byte, start page, 64-byte bitmap
constexpr std::uint32_t kPagesPerMapPage = (kPageSize - 4) * 8;
constexpr double kFixedDate = 45292.5;             // 2024-01-01 12:00: every date the file keeps

// The object ids of the catalog's containers and of the database object.
constexpr std::uint32_t kTablesContainer = 0x0F000001;
constexpr std::uint32_t kDatabasesContainer = 0x0F000002;
constexpr std::uint32_t kRelationshipsContainer = 0x0F000003;
constexpr std::uint32_t kContainersParent = 0x0F000000;
constexpr std::uint32_t kDatabaseObject = 0x10000000;
constexpr std::uint32_t kFirstObjectId = 0x80000000;  // queries, links and relationships
constexpr std::uint32_t kSystemFlags = 0x80000000;

// Catalog object types.
constexpr std::int16_t kTypeTable = 1;
constexpr std::int16_t kTypeDatabase = 2;
constexpr std::int16_t kTypeContainer = 3;
constexpr std::int16_t kTypeOdbcLink = 4;
constexpr std::int16_t kTypeQuery = 5;
constexpr std::int16_t kTypeAccessLink = 6;
constexpr std::int16_t kTypeRelationship = 8;

// A value Access writes in several header places; its meaning is unknown.
constexpr std::uint32_t kHeaderWord = 0x0659;

using Bytes = std::vector<std::uint8_t>;

void put8(Bytes& b, std::uint8_t v) { b.push_back(v); }
void put16(Bytes& b, std::uint16_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void putDouble(Bytes& b, double d)
{
    std::uint8_t raw[8];
    std::memcpy(raw, &d, 8);
    b.insert(b.end(), raw, raw + 8);
}
void putBytes(Bytes& b, const Bytes& v) { b.insert(b.end(), v.begin(), v.end()); }
void set16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void set32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
// A text as stored in a table definition: byte length, then UTF-16LE.
void putName(Bytes& b, const std::string& name)
{
    Bytes u = utf16le(name);
    put16(b, static_cast<std::uint16_t>(u.size()));
    putBytes(b, u);
}

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// ---------------------------------------------------------------------------------------------
// Pages

class PageFile {
public:
    std::uint32_t allocate()
    {
        pages_.emplace_back();
        pages_.back().fill(0);
        return static_cast<std::uint32_t>(pages_.size() - 1);
    }
    std::uint8_t* page(std::uint32_t n) { return pages_.at(n).data(); }
    std::uint32_t count() const { return static_cast<std::uint32_t>(pages_.size()); }
    Bytes bytes() const
    {
        Bytes out;
        out.reserve(pages_.size() * kPageSize);
        for (const auto& p : pages_) out.insert(out.end(), p.begin(), p.end());
        return out;
    }

private:
    std::vector<std::array<std::uint8_t, kPageSize>> pages_;
};

// Rows of one owner packed onto data pages: the rows of a page grow from its end towards its
// header, and a row is addressed as page << 8 | row number.
class RowPacker {
public:
    RowPacker(PageFile& file, std::array<std::uint8_t, 4> owner) : file_(file), owner_(owner) {}

    std::uint32_t add(const Bytes& row)
    {
        if (row.size() > kRowCapacity) throw std::logic_error("row larger than a page");
        if (pages_.empty() || rows_ == kMaxRowsPerPage ||
            top_ < row.size() + kDataHeader + 2 * (rows_ + 1))
            startPage();
        std::uint8_t* p = file_.page(pages_.back());
        top_ -= row.size();
        std::memcpy(p + top_, row.data(), row.size());
        set16(p + kDataHeader + 2 * rows_, static_cast<std::uint16_t>(top_));
        ++rows_;
        set16(p + 12, static_cast<std::uint16_t>(rows_));
        set16(p + 2, static_cast<std::uint16_t>(top_ - (kDataHeader + 2 * rows_)));
        return pages_.back() << 8 | static_cast<std::uint32_t>(rows_ - 1);
    }

    // Where the row stored at ref starts, for filling in reserved rows later.
    std::uint8_t* rowData(std::uint32_t ref)
    {
        std::uint8_t* p = file_.page(ref >> 8);
        std::uint16_t offset = static_cast<std::uint16_t>(p[kDataHeader + 2 * (ref & 0xFF)] |
                                                          p[kDataHeader + 2 * (ref & 0xFF) + 1] << 8);
        return p + offset;
    }

    const std::vector<std::uint32_t>& pages() const { return pages_; }

    // Makes an already allocated page the current one.
    void startOn(std::uint32_t page)
    {
        pages_.push_back(page);
        std::uint8_t* p = file_.page(page);
        p[0] = 0x01;
        p[1] = 0x01;
        std::memcpy(p + 4, owner_.data(), 4);
        rows_ = 0;
        top_ = kPageSize;
        set16(p + 2, static_cast<std::uint16_t>(kPageSize - kDataHeader));
    }

private:
    void startPage() { startOn(file_.allocate()); }

    PageFile& file_;
    std::array<std::uint8_t, 4> owner_;
    std::vector<std::uint32_t> pages_;
    int rows_ = 0;             // rows on the current page
    std::size_t top_ = kPageSize;  // start of the lowest row on the current page
};

std::array<std::uint8_t, 4> ownerBytes(std::uint32_t page)
{
    return {static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(page >> 8),
            static_cast<std::uint8_t>(page >> 16), static_cast<std::uint8_t>(page >> 24)};
}

// Memo and OLE values: short ones stay inside the row, others go to long-value pages, on one
// page when they fit, otherwise as a chain of rows that each start with the next row's address.
class LongValues {
public:
    explicit LongValues(PageFile& file) : rows_(file, {'L', 'V', 'A', 'L'}) {}

    // The column value to store in the row: the 12-byte header, followed by the data when inline.
    Bytes store(const Bytes& data)
    {
        Bytes out;
        if (data.size() >= 0x00FFFFFF) throw std::logic_error("long value too large");
        auto length = static_cast<std::uint32_t>(data.size());
        if (data.size() <= kInlineLongValue) {
            put32(out, length | 0x80000000u);
            put32(out, 0);
            put32(out, 0);
            putBytes(out, data);
        } else if (data.size() <= kRowCapacity) {
            put32(out, length | 0x40000000u);
            put32(out, rows_.add(data));
            put32(out, 0);
        } else {
            // Chunks are written last to first so that each knows the address of its successor.
            constexpr std::size_t chunk = kRowCapacity - 4;
            std::size_t chunks = (data.size() + chunk - 1) / chunk;
            std::uint32_t next = 0;
            for (std::size_t i = chunks; i-- > 0;) {
                Bytes row;
                put32(row, next);
                std::size_t begin = i * chunk;
                std::size_t end = std::min(data.size(), begin + chunk);
                row.insert(row.end(), data.begin() + static_cast<std::ptrdiff_t>(begin),
                           data.begin() + static_cast<std::ptrdiff_t>(end));
                next = rows_.add(row);
            }
            put32(out, length);
            put32(out, next);
            put32(out, 0);
        }
        return out;
    }

private:
    RowPacker rows_;
};

// ---------------------------------------------------------------------------------------------
// Table layouts

struct Column {
    std::string name;
    DataType type;
    int number = 0;         // column number, as rows and indexes refer to it
    int rank = 0;           // position among the table's columns
    std::uint16_t length = 0;  // bytes
    bool fixed = false;
    std::uint16_t fixedOffset = 0;
    std::uint16_t varIndex = 0;  // for fixed columns: the variable columns before it
    std::uint8_t flags = 0;
    std::uint8_t extraFlags = 0;
    std::uint16_t misc = 0x0409;  // text sort order, or precision and scale
};

struct RealIndex {
    std::vector<std::pair<int, bool>> columns;  // column number, descending
    std::uint8_t flags = 0x80;
    std::uint32_t map = 0;
};

struct LogicalIndex {
    std::string name;
    std::uint32_t number = 0;
    std::uint32_t real = 0;
    std::uint8_t kind = 0;         // 1 primary key, 2 relationship, 0 other
    std::uint8_t side = 0;         // relationship: 1 primary side, 2 foreign side
    std::int32_t otherIndex = -1;  // relationship: the other table's index number
    std::size_t otherTable = 0;    // relationship: the other table's layout
    std::uint8_t cascadeUpdate = 4;
    std::uint8_t cascadeDelete = 4;
};

struct TableLayout {
    std::string name;
    bool system = false;
    std::vector<Column> columns;   // in column-number order
    int maxColumns = 0;            // column numbers used, deleted fields included
    int varColumns = 0;
    std::size_t fixedSize = 0;
    std::vector<RealIndex> realIndexes;
    std::vector<LogicalIndex> indexes;
    std::uint32_t firstPage = 0;
    std::vector<std::uint32_t> pages;  // the definition's pages
    std::uint32_t usedMap = 0, freeMap = 0;
    std::vector<std::array<std::uint32_t, 3>> longValueMaps;  // column number, used map, free map
    std::uint32_t rowCount = 0;
    const Table* source = nullptr;
    int relationshipIndexes = 0;  // hidden primary-side indexes made so far
};

std::uint16_t fixedLength(DataType t)
{
    switch (t) {
    case DataType::YesNo: return 1;
    case DataType::Byte: return 1;
    case DataType::Integer: return 2;
    case DataType::Long: return 4;
    case DataType::Currency: return 8;
    case DataType::Single: return 4;
    case DataType::Double: return 8;
    case DataType::DateTime: return 8;
    case DataType::Guid: return 16;
    case DataType::Decimal: return 17;
    default: return 0;
    }
}

bool isVariable(DataType t)
{
    return t == DataType::Text || t == DataType::Binary || t == DataType::Memo || t == DataType::Ole;
}

bool isLongValue(DataType t) { return t == DataType::Memo || t == DataType::Ole; }

// Fixed offsets, variable-column indexes and flags from the columns' types, in number order.
void layOutColumns(TableLayout& t)
{
    std::sort(t.columns.begin(), t.columns.end(),
              [](const Column& a, const Column& b) { return a.number < b.number; });
    std::uint16_t offset = 0;
    std::uint16_t var = 0;
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
        Column& c = t.columns[i];
        c.rank = static_cast<int>(i);
        c.fixed = !isVariable(c.type);
        if (c.fixed) {
            c.flags |= 0x01;
            c.varIndex = var;
            if (c.type != DataType::YesNo) {  // Yes/No lives in the null mask only
                c.fixedOffset = offset;
                offset = static_cast<std::uint16_t>(offset + c.length);
            }
        } else {
            c.varIndex = var++;
        }
        c.flags |= 0x02;
        if (t.system) c.flags |= 0x10;
    }
    t.fixedSize = offset;
    t.varColumns = var;
}

struct SystemColumn {
    const char* name;
    DataType type;
    std::uint16_t length;
};

TableLayout systemTable(const char* name, std::initializer_list<SystemColumn> columns)
{
    TableLayout t;
    t.name = name;
    t.system = true;
    int number = 0;
    for (const auto& sc : columns) {
        Column c;
        c.name = sc.name;
        c.type = sc.type;
        c.number = number++;
        c.length = sc.length ? sc.length : fixedLength(sc.type);
        t.columns.push_back(c);
    }
    t.maxColumns = number;
    layOutColumns(t);
    return t;
}

// The system tables' columns, in column-number order, as Access defines them.
enum { kObjects, kAces, kQueries, kRelationships, kFirstUserTable };

std::vector<TableLayout> systemTables()
{
    std::vector<TableLayout> t;
    t.push_back(systemTable("MSysObjects", {{"Id", DataType::Long, 0},
                                            {"ParentId", DataType::Long, 0},
                                            {"Name", DataType::Text, 510},
                                            {"Type", DataType::Integer, 0},
                                            {"DateCreate", DataType::DateTime, 0},
                                            {"DateUpdate", DataType::DateTime, 0},
                                            {"Owner", DataType::Binary, 510},
                                            {"Flags", DataType::Long, 0},
                                            {"Database", DataType::Memo, 0},
                                            {"Connect", DataType::Memo, 0},
                                            {"ForeignName", DataType::Text, 510},
                                            {"RmtInfoShort", DataType::Binary, 510},
                                            {"RmtInfoLong", DataType::Ole, 0},
                                            {"Lv", DataType::Ole, 0},
                                            {"LvProp", DataType::Ole, 0},
                                            {"LvModule", DataType::Ole, 0},
                                            {"LvExtra", DataType::Ole, 0}}));
    t.push_back(systemTable("MSysACEs", {{"ObjectId", DataType::Long, 0},
                                         {"SID", DataType::Binary, 510},
                                         {"ACM", DataType::Long, 0},
                                         {"FInheritable", DataType::YesNo, 0}}));
    t.push_back(systemTable("MSysQueries", {{"ObjectId", DataType::Long, 0},
                                            {"Attribute", DataType::Byte, 0},
                                            {"Order", DataType::Binary, 510},
                                            {"Name1", DataType::Text, 510},
                                            {"Name2", DataType::Text, 510},
                                            {"Expression", DataType::Memo, 0},
                                            {"Flag", DataType::Integer, 0},
                                            {"LvExtra", DataType::Long, 0}}));
    t.push_back(systemTable("MSysRelationships", {{"szRelationship", DataType::Text, 510},
                                                  {"grbit", DataType::Long, 0},
                                                  {"ccolumn", DataType::Long, 0},
                                                  {"icolumn", DataType::Long, 0},
                                                  {"szObject", DataType::Text, 510},
                                                  {"szColumn", DataType::Text, 510},
                                                  {"szReferencedObject", DataType::Text, 510},
                                                  {"szReferencedColumn", DataType::Text, 510}}));
    return t;
}

const Column* findColumn(const TableLayout& t, const std::string& name)
{
    for (const auto& c : t.columns)
        if (c.name == name) return &c;
    return nullptr;
}

TableLayout userTable(const Table& table)
{
    TableLayout t;
    t.name = table.name;
    t.system = table.system;
    t.source = &table;
    t.maxColumns = table.columnNumbersUsed;
    if (table.fields.empty()) throw DescriptionError(table.line, "table " + table.name + " has no fields");
    std::set<std::string> names;
    for (const Field& f : table.fields) {
        if (!names.insert(f.name).second)
            throw DescriptionError(f.line, "table " + table.name + " has two fields named " + f.name);
        Column c;
        c.name = f.name;
        c.type = f.type;
        c.number = f.columnNumber;
        c.length = fixedLength(f.type);
        if (f.type == DataType::Text) c.length = static_cast<std::uint16_t>(2 * f.size);
        if (f.type == DataType::Binary) c.length = static_cast<std::uint16_t>(f.size);
        if (f.type == DataType::Decimal)
            c.misc = static_cast<std::uint16_t>(f.precision | f.scale << 8);
        if (f.autoNumber) c.flags |= f.type == DataType::Guid ? 0x40 : 0x04;
        if ((f.type == DataType::Text || f.type == DataType::Memo) && f.compressedUnicode)
            c.extraFlags = 0x01;
        t.columns.push_back(c);
    }
    t.maxColumns = std::max(t.maxColumns, static_cast<int>(table.fields.size()));
    layOutColumns(t);

    std::set<std::string> indexNames;
    for (const Index& ix : table.indexes) {
        if (!indexNames.insert(ix.name).second)
            throw DescriptionError(ix.line, "table " + table.name + " has two indexes named " + ix.name);
        if (ix.columns.size() > 10)
            throw DescriptionError(ix.line, "index " + ix.name + " has more than 10 fields");
        RealIndex real;
        for (const IndexColumn& ic : ix.columns) {
            const Column* c = findColumn(t, ic.field);
            if (!c)
                throw DescriptionError(ix.line, "index " + ix.name + " names field " + ic.field +
                                                    ", which table " + table.name + " lacks");
            if (isLongValue(c->type))
                throw DescriptionError(ix.line, "index " + ix.name + ": a memo or OLE field cannot be indexed");
            real.columns.emplace_back(c->number, ic.descending);
        }
        if (ix.primary) {
            for (const auto& other : t.indexes)
                if (other.kind == 1)
                    throw DescriptionError(ix.line, "table " + table.name + " has two primary keys");
        }
        bool unique = ix.unique || ix.primary;
        bool required = ix.required || ix.primary;
        real.flags = static_cast<std::uint8_t>(0x80 | (unique ? 0x01 : 0) | (ix.ignoreNulls ? 0x02 : 0) |
                                               (required ? 0x08 : 0));
        LogicalIndex logical;
        logical.name = ix.name;
        logical.number = static_cast<std::uint32_t>(t.indexes.size());
        logical.real = static_cast<std::uint32_t>(t.realIndexes.size());
        logical.kind = ix.primary ? 1 : 0;
        t.realIndexes.push_back(real);
        t.indexes.push_back(logical);
    }
    return t;
}

// Adds the index pair Access makes for an enforced relationship: a hidden index on the primary
// table that shares the real index of its unique index over the related fields, and an index on
// the foreign table, named like the relationship, sharing a real index over the same fields when
// the table has one.
void addRelationshipIndexes(const Relationship& rel, std::vector<TableLayout>& tables,
                            std::size_t primary, std::size_t foreign)
{
    TableLayout& p = tables[primary];
    TableLayout& f = tables[foreign];
    std::vector<std::pair<int, bool>> pCols, fCols;
    for (const auto& n : rel.primaryFields) pCols.emplace_back(findColumn(p, n)->number, false);
    for (const auto& n : rel.foreignFields) fCols.emplace_back(findColumn(f, n)->number, false);

    std::optional<std::uint32_t> pReal;
    for (std::size_t i = 0; i < p.realIndexes.size() && !pReal; ++i)
        if (p.realIndexes[i].columns == pCols && (p.realIndexes[i].flags & 0x01))
            pReal = static_cast<std::uint32_t>(i);
    if (!pReal)
        throw DescriptionError(rel.line, "relationship " + rel.name + " is enforced, but table " + p.name +
                                             " has no unique index on its related fields");
    if (p.indexes.size() >= 32 || f.indexes.size() >= 32)
        throw DescriptionError(rel.line, "relationship " + rel.name + ": a table has at most 32 indexes");
    for (const auto& ix : f.indexes)
        if (ix.name == rel.name)
            throw DescriptionError(rel.line, "relationship " + rel.name + ": table " + f.name +
                                                 " already has an index of that name");

    std::optional<std::uint32_t> fReal;
    for (std::size_t i = 0; i < f.realIndexes.size() && !fReal; ++i)
        if (f.realIndexes[i].columns == fCols && f.realIndexes[i].flags == 0x80)
            fReal = static_cast<std::uint32_t>(i);
    if (!fReal) {
        fReal = static_cast<std::uint32_t>(f.realIndexes.size());
        f.realIndexes.push_back(RealIndex{fCols, 0x80, 0});
    }

    std::uint8_t cascadeUpdate = rel.cascadeUpdate ? 1 : 0;
    std::uint8_t cascadeDelete = rel.cascadeDelete ? 1 : rel.cascadeNull ? 2 : 0;
    LogicalIndex pIndex;
    pIndex.name = std::string(".r") + static_cast<char>('C' + p.relationshipIndexes++ % 24);
    pIndex.number = static_cast<std::uint32_t>(p.indexes.size());
    pIndex.real = *pReal;
    pIndex.kind = 2;
    pIndex.side = 1;
    pIndex.otherTable = foreign;
    pIndex.cascadeUpdate = cascadeUpdate;
    pIndex.cascadeDelete = cascadeDelete;

    LogicalIndex fIndex;
    fIndex.name = rel.name;
    fIndex.number = static_cast<std::uint32_t>(f.indexes.size() + (primary == foreign ? 1 : 0));
    fIndex.real = *fReal;
    fIndex.kind = 2;
    fIndex.side = 2;
    fIndex.otherTable = primary;
    fIndex.cascadeUpdate = cascadeUpdate;
    fIndex.cascadeDelete = cascadeDelete;

    pIndex.otherIndex = static_cast<std::int32_t>(fIndex.number);
    fIndex.otherIndex = static_cast<std::int32_t>(pIndex.number);
    p.indexes.push_back(pIndex);
    tables[foreign].indexes.push_back(fIndex);
}

std::size_t definitionLength(const TableLayout& t)
{
    std::size_t n = 63 + 12 * t.realIndexes.size() + 25 * t.columns.size();
    for (const auto& c : t.columns) n += 2 + 2 * utf16Length(c.name);
    n += 52 * t.realIndexes.size() + 28 * t.indexes.size();
    for (const auto& ix : t.indexes) n += 2 + 2 * utf16Length(ix.name);
    n += 10 * t.longValueMaps.size() + 2;
    return n;
}

std::size_t definitionPages(std::size_t length)
{
    if (length <= kPageSize) return 1;
    return 1 + (length - kPageSize + (kPageSize - 8) - 1) / (kPageSize - 8);
}

// The table definition, as one stream that continuation pages carry on after their 8-byte header.
Bytes definition(const TableLayout& t, const std::vector<TableLayout>& all)
{
    Bytes b;
    b.reserve(definitionLength(t));
    put8(b, 0x02);
    put8(b, 0x01);
    put16(b, 0);  // free space: set per page
    put32(b, 0);  // next page: set per page
    put32(b, static_cast<std::uint32_t>(definitionLength(t)));
    put32(b, kHeaderWord);
    put32(b, t.rowCount);
    put32(b, 0);  // next AutoNumber value
    put8(b, 0x01);
    b.resize(40, 0);
    put8(b, t.system ? 0x53 : 0x4E);
    put16(b, static_cast<std::uint16_t>(t.maxColumns));
    put16(b, static_cast<std::uint16_t>(t.varColumns));
    put16(b, static_cast<std::uint16_t>(t.columns.size()));
    put32(b, static_cast<std::uint32_t>(t.indexes.size()));
    put32(b, static_cast<std::uint32_t>(t.realIndexes.size()));
    put32(b, t.usedMap);
    put32(b, t.freeMap);
    for (std::size_t i = 0; i < t.realIndexes.size(); ++i) {
        put32(b, 0);
        put32(b, t.rowCount);
        put32(b, 0);
    }
    // Access keeps the column entries sorted by name; rows and indexes use the column numbers.
    std::vector<const Column*> byName;
    for (const auto& c : t.columns) byName.push_back(&c);
    std::stable_sort(byName.begin(), byName.end(), [](const Column* a, const Column* b) {
        std::string la = lower(a->name), lb = lower(b->name);
        return la != lb ? la < lb : a->name < b->name;
    });
    for (const Column* c : byName) {
        put8(b, static_cast<std::uint8_t>(c->type));
        put32(b, kHeaderWord);
        put16(b, static_cast<std::uint16_t>(c->number));
        put16(b, c->varIndex);
        put16(b, static_cast<std::uint16_t>(c->rank));
        put16(b, c->misc);
        put16(b, 0);
        put8(b, c->flags);
        put8(b, c->extraFlags);
        put32(b, 0);
        put16(b, c->fixedOffset);
        put16(b, c->length);
    }
    for (const Column* c : byName) putName(b, c->name);
    for (const auto& real : t.realIndexes) {
        put32(b, 0x0783);
        for (std::size_t k = 0; k < 10; ++k) {
            if (k < real.columns.size()) {
                put16(b, static_cast<std::uint16_t>(real.columns[k].first));
                put8(b, real.columns[k].second ? 2 : 1);
            } else {
                put16(b, 0xFFFF);
                put8(b, 0);
            }
        }
        put32(b, real.map);
        put32(b, 0);  // root page: these tables hold no rows to index
        put32(b, 0);
        put8(b, real.flags);
        b.resize(b.size() + 5, 0);
    }
    for (const auto& ix : t.indexes) {
        put32(b, kHeaderWord);
        put32(b, ix.number);
        put32(b, ix.real);
        put8(b, ix.side);
        put32(b, static_cast<std::uint32_t>(ix.otherIndex));
        put32(b, ix.kind == 2 ? all[ix.otherTable].firstPage : 0);
        put8(b, ix.cascadeUpdate);
        put8(b, ix.cascadeDelete);
        put8(b, ix.kind);
        put32(b, 0);
    }
    for (const auto& ix : t.indexes) putName(b, ix.name);
    for (const auto& m : t.longValueMaps) {
        put16(b, static_cast<std::uint16_t>(m[0]));
        put32(b, m[1]);
        put32(b, m[2]);
    }
    put16(b, 0xFFFF);
    if (b.size() != definitionLength(t)) throw std::logic_error("table definition length");
    return b;
}

void writeDefinition(PageFile& file, const TableLayout& t, const std::vector<TableLayout>& all)
{
    Bytes def = definition(t, all);
    std::size_t pos = 0;
    for (std::size_t i = 0; i < t.pages.size(); ++i) {
        std::uint8_t* p = file.page(t.pages[i]);
        std::size_t header = i == 0 ? 0 : 8;
        std::size_t take = std::min(def.size() - pos, kPageSize - header);
        std::memcpy(p + header, def.data() + pos, take);
        pos += take;
        p[0] = 0x02;
        p[1] = 0x01;
        set16(p + 2, static_cast<std::uint16_t>(kPageSize - (header + take) -
                                               (header + take < kPageSize ? 8 : 0)));
        set32(p + 4, i + 1 < t.pages.size() ? t.pages[i + 1] : 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Rows

struct Cell {
    enum Kind { Null, Value, True, False } kind = Null;
    Bytes bytes;
};

Cell value(Bytes b) { return Cell{Cell::Value, std::move(b)}; }
Cell longCell(std::int32_t v)
{
    Bytes b;
    put32(b, static_cast<std::uint32_t>(v));
    return value(b);
}
Cell shortCell(std::int16_t v)
{
    Bytes b;
    put16(b, static_cast<std::uint16_t>(v));
    return value(b);
}
Cell dateCell(double d)
{
    Bytes b;
    putDouble(b, d);
    return value(b);
}
Cell textCell(const std::string& s) { return value(utf16le(s)); }

// One row of a table: cells in column-number order (one per column of the layout).
Bytes encodeRow(const TableLayout& t, const std::vector<Cell>& cells)
{
    Bytes row;
    put16(row, static_cast<std::uint16_t>(t.maxColumns));
    row.resize(2 + t.fixedSize, 0);
    std::vector<std::uint8_t> mask(static_cast<std::size_t>((t.maxColumns + 7) / 8), 0);
    std::vector<std::uint16_t> varOffsets;
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
        const Column& c = t.columns[i];
        const Cell& cell = cells.at(i);
        bool present = cell.kind == Cell::Value || cell.kind == Cell::True;
        if (!c.fixed) varOffsets.push_back(static_cast<std::uint16_t>(row.size()));
        if (present) mask[static_cast<std::size_t>(c.number / 8)] |= static_cast<std::uint8_t>(1 << (c.number % 8));
        if (cell.kind != Cell::Value) continue;
        if (c.fixed) {
            if (cell.bytes.size() != c.length) throw std::logic_error("fixed value length");
            std::memcpy(row.data() + 2 + c.fixedOffset, cell.bytes.data(), c.length);
        } else {
            putBytes(row, cell.bytes);
        }
    }
    if (t.varColumns > 0) {
        put16(row, static_cast<std::uint16_t>(row.size()));  // end of the variable data
        for (std::size_t i = varOffsets.size(); i-- > 0;) put16(row, varOffsets[i]);
        put16(row, static_cast<std::uint16_t>(varOffsets.size()));
    } else {
        put16(row, 0);
    }
    putBytes(row, mask);
    if (row.size() > kRowCapacity) throw std::logic_error("row too large");
    return row;
}

// The property blob: a pool of property names, the object's own block, then one block per
// named part (a table's fields, for instance).
struct PropertyBlock {
    std::string name;  // empty for the object's own block
    const std::vector<Property>* properties;
};

Bytes propertyBlob(const std::vector<PropertyBlock>& blocks)
{
    std::vector<std::string> pool;
    std::map<std::string, std::uint16_t> poolIndex;
    for (const auto& block : blocks)
        for (const auto& p : *block.properties)
            if (poolIndex.emplace(p.name, static_cast<std::uint16_t>(pool.size())).second) pool.push_back(p.name);

    Bytes b = {'M', 'R', '2', 0};
    auto chunk = [&b](std::uint16_t type, const Bytes& body) {
        put32(b, static_cast<std::uint32_t>(6 + body.size()));
        put16(b, type);
        putBytes(b, body);
    };
    Bytes names;
    for (const auto& n : pool) putName(names, n);
    chunk(0x80, names);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        Bytes body;
        Bytes blockName = utf16le(blocks[i].name);
        put32(body, static_cast<std::uint32_t>(6 + blockName.size()));
        put16(body, static_cast<std::uint16_t>(blockName.size()));
        putBytes(body, blockName);
        for (const auto& p : *blocks[i].properties) {
            put16(body, static_cast<std::uint16_t>(8 + p.value.size()));
            put8(body, p.ddl ? 1 : 0);
            put8(body, static_cast<std::uint8_t>(p.type));
            put16(body, poolIndex.at(p.name));
            put16(body, static_cast<std::uint16_t>(p.value.size()));
            putBytes(body, p.value);
        }
        chunk(i == 0 ? 0x00 : 0x01, body);
    }
    return b;
}

std::uint32_t relationshipFlags(const Relationship& r)
{
    std::uint32_t g = 0;
    if (r.oneToOne) g |= 0x1;
    if (!r.enforced) g |= 0x2;
    if (r.cascadeUpdate) g |= 0x100;
    if (r.cascadeDelete) g |= 0x1000;
    if (r.cascadeNull) g |= 0x2000;
    if (r.join == JoinType::LeftOuter) g |= 0x01000000;
    if (r.join == JoinType::RightOuter) g |= 0x02000000;
    return g;
}

// ---------------------------------------------------------------------------------------------
// Checks of the whole design that no single line shows.

void checkDesign(const Database& db)
{
    std::map<std::string, int> objectLines;  // table, link and query names share one namespace
    auto claim = [&objectLines](const std::string& name, int line, const char* what) {
        for (const char* reserved : {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"})
            if (name == reserved)
                throw DescriptionError(line, name + " is a system table the generator always writes");
        auto [it, fresh] = objectLines.emplace(name, line);
        if (!fresh)
            throw DescriptionError(line, std::string(what) + " " + name + ": the name is already used on line " +
                                             std::to_string(it->second));
    };
    for (const auto& t : db.tables) claim(t.name, t.line, "table");
    for (const auto& l : db.linkedTables) claim(l.name, l.line, "linked table");
    for (const auto& q : db.queries) claim(q.name, q.line, "query");
    std::set<std::string> relationshipNames;
    for (const auto& r : db.relationships)
        if (!relationshipNames.insert(r.name).second)
            throw DescriptionError(r.line, "there are two relationships named " + r.name);
    if (db.tables.size() + db.linkedTables.size() + db.queries.size() + db.relationships.size() > 32768)
        throw DescriptionError(0, "a database holds at most 32768 objects");
}

// ---------------------------------------------------------------------------------------------
// RC4, which masks part of the header page.

std::array<std::uint8_t, 128> headerMask()
{
    std::array<std::uint8_t, 256> s{};
    const std::uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
    for (int i = 0; i < 256; ++i) s[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[static_cast<std::size_t>(i)] + key[i % 4]) & 0xFF;
        std::swap(s[static_cast<std::size_t>(i)], s[static_cast<std::size_t>(j)]);
    }
    std::array<std::uint8_t, 128> out{};
    for (std::size_t n = 0, i = 0, j = 0; n < out.size(); ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        out[n] = s[(s[i] + s[j]) & 0xFF];
    }
    return out;
}

void writeHeaderPage(std::uint8_t* p)
{
    const std::uint8_t start[] = {0x00, 0x01, 0x00, 0x00};
    std::memcpy(p, start, 4);
    std::memcpy(p + 4, "Standard Jet DB", 16);
    set32(p + 0x14, 1);  // Jet 4
    const std::uint8_t fixedStart[24] = {0, 1, 0, 0, 1, 1, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0};
    std::memcpy(p + 0x18, fixedStart, sizeof fixedStart);
    set16(p + 0x3C, 1252);  // code page
    set32(p + 0x3E, 0);     // database key: 0 means not encoded
    // The password field holds the password XORed with the creation day; no password leaves the
    // day repeated.
    for (int i = 0; i < 10; ++i) set32(p + 0x42 + 4 * i, static_cast<std::uint32_t>(kFixedDate));
    set32(p + 0x6E, 0x0409);  // sort order
    std::memcpy(p + 0x72, &kFixedDate, 8);
    auto mask = headerMask();
    for (std::size_t i = 0; i < mask.size(); ++i) p[0x18 + i] ^= mask[i];
    const std::uint8_t version[] = {0x54, 0x06, 0x00, 0x00, '4', '.', '0', 0};
    std::memcpy(p + 0x98, version, sizeof version);
}

// A usage map row listing pages: an inline bitmap when the pages lie within 512 of each other,
// otherwise a list of bitmap pages that each cover 32736 pages.
void writeUsageMap(PageFile& file, std::uint8_t* row, const std::vector<std::uint32_t>& pages)
{
    std::memset(row, 0, kUsageMapRow);
    if (pages.empty()) return;
    std::uint32_t first = *std::min_element(pages.begin(), pages.end());
    std::uint32_t last = *std::max_element(pages.begin(), pages.end());
    if (last - first < 64 * 8) {
        row[0] = 0x00;
        set32(row + 1, first);
        for (auto pg : pages) row[5 + (pg - first) / 8] |= static_cast<std::uint8_t>(1 << ((pg - first) % 8));
        return;
    }
    row[0] = 0x01;
    std::map<std::uint32_t, std::uint32_t> bitmapPages;  // map index, its page
    for (auto pg : pages) {
        std::uint32_t index = pg / kPagesPerMapPage;
        if (index >= (kUsageMapRow - 1) / 4) throw std::logic_error("file too large for a usage map");
        auto it = bitmapPages.find(index);
        if (it == bitmapPages.end()) {
            std::uint32_t mp = file.allocate();
            std::uint8_t* m = file.page(mp);
            m[0] = 0x05;
            m[1] = 0x01;
            it = bitmapPages.emplace(index, mp).first;
            set32(row + 1 + 4 * index, mp);
        }
        std::uint32_t bit = pg % kPagesPerMapPage;
        file.page(it->second)[4 + bit / 8] |= static_cast<std::uint8_t>(1 << (bit % 8));
    }
}

// ---------------------------------------------------------------------------------------------

class Writer {
public:
    explicit Writer(const Database& db) : db_(db), longValues_(file_), maps_(file_, ownerBytes(0)) {}

    Bytes run()
    {
        checkDesign(db_);
        tables_ = systemTables();
        for (const Table& t : db_.tables) tables_.push_back(userTable(t));
        resolveRelationships();

        file_.allocate();  // header page
        file_.allocate();  // global usage map
        for (auto& t : tables_) {
            for (const auto& c : t.columns)
                if (isLongValue(c.type)) t.longValueMaps.push_back({static_cast<std::uint32_t>(c.number), 0, 0});
            std::size_t pages = definitionPages(definitionLength(t));
            for (std::size_t i = 0; i < pages; ++i) t.pages.push_back(file_.allocate());
            t.firstPage = t.pages.front();
        }
        Bytes emptyMap(kUsageMapRow, 0);
        for (auto& t : tables_) {
            t.usedMap = maps_.add(emptyMap);
            t.freeMap = maps_.add(emptyMap);
            for (auto& real : t.realIndexes) real.map = maps_.add(emptyMap);
            for (auto& m : t.longValueMaps) {
                m[1] = maps_.add(emptyMap);
                m[2] = maps_.add(emptyMap);
            }
        }

        std::vector<std::vector<Bytes>> rows(kFirstUserTable);
        std::vector<CatalogEntry> entries = catalog();
        rows[kObjects] = catalogRows(entries);
        rows[kAces] = accessRows(entries);
        rows[kQueries] = queryRows();
        rows[kRelationships] = relationshipRows();
        for (int s = 0; s < kFirstUserTable; ++s) {
            TableLayout& t = tables_[static_cast<std::size_t>(s)];
            RowPacker packer(file_, ownerBytes(t.firstPage));
            for (const auto& r : rows[static_cast<std::size_t>(s)]) packer.add(r);
            t.rowCount = static_cast<std::uint32_t>(rows[static_cast<std::size_t>(s)].size());
            writeUsageMap(file_, maps_.rowData(t.usedMap), packer.pages());
        }
        for (const auto& t : tables_) writeDefinition(file_, t, tables_);

        writeGlobalMap();
        writeHeaderPage(file_.page(0));
        if (file_.count() >= (1u << 24)) throw DescriptionError(0, "the design is too large for one file");
        return file_.bytes();
    }

private:
    std::size_t tableIndex(const std::string& name) const
    {
        for (std::size_t i = kFirstUserTable; i < tables_.size(); ++i)
            if (tables_[i].name == name) return i;
        return tables_.size();
    }

    void resolveRelationships()
    {
        for (const Relationship& rel : db_.relationships) {
            std::size_t p = tableIndex(rel.primaryTable), f = tableIndex(rel.foreignTable);
            for (auto [index, name] : {std::pair{p, &rel.primaryTable}, std::pair{f, &rel.foreignTable}})
                if (index == tables_.size())
                    throw DescriptionError(rel.line, "relationship " + rel.name + " names table " + *name +
                                                         ", which the design lacks");
            if (rel.primaryFields.empty() || rel.primaryFields.size() > 10)
                throw DescriptionError(rel.line, "relationship " + rel.name + " relates 1 to 10 fields");
            for (auto [index, fields] : {std::pair{p, &rel.primaryFields}, std::pair{f, &rel.foreignFields}})
                for (const auto& field : *fields)
                    if (!findColumn(tables_[index], field))
                        throw DescriptionError(rel.line, "relationship " + rel.name + " names field " + field +
                                                             ", which table " + tables_[index].name + " lacks");
            if (rel.enforced) addRelationshipIndexes(rel, tables_, p, f);
        }
    }

    Bytes longValue(const Bytes& data) { return longValues_.store(data); }

    // One object of the catalog, with the access entry that grants the Admin user its rights.
    struct CatalogEntry {
        std::uint32_t id = 0;
        std::uint32_t parent = kTablesContainer;
        std::string name;
        std::int16_t type = kTypeTable;
        std::uint32_t flags = 0;
        std::optional<Bytes> properties;
        std::optional<std::string> database, connect, foreignName;
        std::uint32_t rights = 0;  // 0: no access entry
        bool inherited = false;    // containers pass their rights on to new objects
    };

    Bytes catalogRow(const CatalogEntry& e)
    {
        // Owners as Access keeps them: a short token for the engine or for the Admin user.
        static const Bytes engineOwner = {0xAF, 0xE1}, adminOwner = {0xAE, 0xE3};
        const TableLayout& t = tables_[kObjects];
        std::vector<Cell> cells(t.columns.size());
        cells[0] = longCell(static_cast<std::int32_t>(e.id));
        cells[1] = longCell(static_cast<std::int32_t>(e.parent));
        cells[2] = textCell(e.name);
        cells[3] = shortCell(e.type);
        cells[4] = dateCell(kFixedDate);
        cells[5] = dateCell(kFixedDate);
        cells[6] = value(e.flags & kSystemFlags ? engineOwner : adminOwner);
        cells[7] = longCell(static_cast<std::int32_t>(e.flags));
        if (e.database) cells[8] = value(longValue(utf16le(*e.database)));
        if (e.connect) cells[9] = value(longValue(utf16le(*e.connect)));
        if (e.foreignName) cells[10] = textCell(*e.foreignName);
        if (e.properties) cells[14] = value(longValue(*e.properties));
        return encodeRow(t, cells);
    }

    std::vector<CatalogEntry> catalog()
    {
        std::vector<CatalogEntry> entries;
        auto add = [&entries](std::uint32_t id, std::uint32_t parent, std::string name, std::int16_t type,
                              std::uint32_t flags, std::uint32_t rights) -> CatalogEntry& {
            CatalogEntry e;
            e.id = id;
            e.parent = parent;
            e.name = std::move(name);
            e.type = type;
            e.flags = flags;
            e.rights = rights;
            return entries.emplace_back(std::move(e));
        };
        add(kTablesContainer, kContainersParent, "Tables", kTypeContainer, kSystemFlags, 0xFFEFF).inherited = true;
        add(kDatabasesContainer, kContainersParent, "Databases", kTypeContainer, kSystemFlags, 0x60000);
        add(kRelationshipsContainer, kContainersParent, "Relationships", kTypeContainer, kSystemFlags, 0x60001)
            .inherited = true;
        std::vector<Property> dbProperties = {makeProperty("AccessVersion", "text", "08.50", true)};
        add(kDatabaseObject, kDatabasesContainer, "MSysDb", kTypeDatabase, kSystemFlags, 0x6000E).properties =
            propertyBlob({{"", &dbProperties}});

        for (const auto& t : tables_) {
            CatalogEntry& e = add(t.firstPage, kTablesContainer, t.name, kTypeTable, t.system ? kSystemFlags : 0,
                                  t.source ? 0xFFEFF : 0x60000);
            if (!t.source) continue;
            std::vector<PropertyBlock> blocks = {{"", &t.source->properties}};
            for (const Field& f : t.source->fields)
                if (!f.properties.empty()) blocks.push_back({f.name, &f.properties});
            if (blocks.size() > 1 || !t.source->properties.empty()) e.properties = propertyBlob(blocks);
        }
        std::uint32_t nextId = kFirstObjectId;
        for (const auto& l : db_.linkedTables) {
            bool odbc = !l.connect.empty();
            CatalogEntry& e = add(nextId++, kTablesContainer, l.name, odbc ? kTypeOdbcLink : kTypeAccessLink,
                                  odbc ? 0x100000 : 0x200000, 0xFFEFF);
            if (odbc)
                e.connect = l.connect;
            else
                e.database = l.database;
            e.foreignName = l.foreignName;
        }
        for (const auto& q : db_.queries) {
            queryIds_.push_back(nextId);
            CatalogEntry& e = add(nextId++, kTablesContainer, q.name, kTypeQuery,
                                  static_cast<std::uint32_t>(q.type) | (q.hidden ? 0x8 : 0), 0xFFFFF);
            if (!q.properties.empty()) e.properties = propertyBlob({{"", &q.properties}});
        }
        for (const auto& r : db_.relationships) add(nextId++, kRelationshipsContainer, r.name, kTypeRelationship, 0, 0);
        return entries;
    }

    std::vector<Bytes> catalogRows(const std::vector<CatalogEntry>& entries)
    {
        std::vector<Bytes> rows;
        for (const auto& e : entries) rows.push_back(catalogRow(e));
        return rows;
    }

    // MSysACEs: ObjectId, SID, ACM (the rights), FInheritable.
    std::vector<Bytes> accessRows(const std::vector<CatalogEntry>& entries)
    {
        static const Bytes adminSid = {0xAE, 0xE3};
        const TableLayout& t = tables_[kAces];
        std::vector<Bytes> rows;
        for (const auto& e : entries) {
            if (!e.rights) continue;
            std::vector<Cell> cells(t.columns.size());
            cells[0] = longCell(static_cast<std::int32_t>(e.id));
            cells[1] = value(adminSid);
            cells[2] = longCell(static_cast<std::int32_t>(e.rights));
            cells[3] = Cell{e.inherited ? Cell::True : Cell::False, {}};
            rows.push_back(encodeRow(t, cells));
        }
        return rows;
    }

    std::vector<Bytes> queryRows()
    {
        const TableLayout& t = tables_[kQueries];
        std::vector<Bytes> rows;
        for (std::size_t qi = 0; qi < db_.queries.size(); ++qi) {
            const Query& q = db_.queries[qi];
            std::map<int, std::uint32_t> order;  // per attribute: rows so far
            auto add = [&](const QueryRow& r) {
                std::vector<Cell> cells(t.columns.size());
                cells[0] = longCell(static_cast<std::int32_t>(queryIds_[qi]));
                cells[1] = value({static_cast<std::uint8_t>(r.attribute)});
                std::uint32_t n = ++order[r.attribute];
                cells[2] = value({static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
                                  static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
                if (r.name1) cells[3] = textCell(*r.name1);
                if (r.name2) cells[4] = textCell(*r.name2);
                if (r.expression) cells[5] = value(longValue(utf16le(*r.expression)));
                if (r.flag) cells[6] = shortCell(static_cast<std::int16_t>(*r.flag));
                Bytes row = encodeRow(t, cells);
                if (row.size() > kRowCapacity)
                    throw DescriptionError(q.line, "query " + q.name + ": a design row is too large");
                rows.push_back(std::move(row));
            };
            add(QueryRow{0, 0, {}, {}, {}});
            for (const auto& r : q.rows) add(r);
            add(QueryRow{255, {}, {}, {}, {}});
        }
        return rows;
    }

    std::vector<Bytes> relationshipRows()
    {
        const TableLayout& t = tables_[kRelationships];
        std::vector<Bytes> rows;
        for (const auto& r : db_.relationships) {
            for (std::size_t i = 0; i < r.primaryFields.size(); ++i) {
                std::vector<Cell> cells(t.columns.size());
                cells[0] = textCell(r.name);
                cells[1] = longCell(static_cast<std::int32_t>(relationshipFlags(r)));
                cells[2] = longCell(static_cast<std::int32_t>(r.primaryFields.size()));
                cells[3] = longCell(static_cast<std::int32_t>(i));
                cells[4] = textCell(r.foreignTable);
                cells[5] = textCell(r.foreignFields[i]);
                cells[6] = textCell(r.primaryTable);
                cells[7] = textCell(r.primaryFields[i]);
                rows.push_back(encodeRow(t, cells));
            }
        }
        return rows;
    }

    // Page 1: the file's own usage map, which marks the pages past the file's end as free, and
    // an empty row that Access keeps beside it.
    void writeGlobalMap()
    {
        RowPacker page1(file_, ownerBytes(1));
        page1.startOn(1);
        Bytes map(kUsageMapRow, 0);
        for (std::uint32_t pg = file_.count(); pg < 64 * 8; ++pg)
            map[5 + pg / 8] |= static_cast<std::uint8_t>(1 << (pg % 8));
        page1.add(map);
        page1.add(Bytes(kUsageMapRow, 0));
    }

    const Database& db_;
    PageFile file_;
    LongValues longValues_;
    RowPacker maps_;
    std::vector<TableLayout> tables_;
    std::vector<std::uint32_t> queryIds_;
};

}  // namespace

std::vector<std::uint8_t> writeJet4(const Database& db)
{
    return Writer(db).run();
}

void writeJet4File(const Database& db, const std::string& path)
{
    Bytes bytes = writeJet4(db);
    std::string temp = path + ".partial";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + temp + ": " + std::strerror(errno));
    std::size_t done = 0;
    int error = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (!error && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && !error) error = errno;
    if (!error && std::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error) {
        std::remove(temp.c_str());
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(error));
    }
}

}  // namespace mdbgen
