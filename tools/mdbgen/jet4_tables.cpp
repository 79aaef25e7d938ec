#include "jet4_tables.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>

namespace mdbgen::jet4 {

namespace {

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

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

}  // namespace

bool isLongValue(DataType t) { return t == DataType::Memo || t == DataType::Ole; }

// The system tables' columns, in column-number order.
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
    if (table.fields.size() > 255) throw DescriptionError(table.line, "table " + table.name + " has more than 255 fields");
    if (table.indexes.size() > 32) throw DescriptionError(table.line, "table " + table.name + " has more than 32 indexes");
    std::set<std::string> names;
    std::set<int> numbers;
    for (const Field& f : table.fields) {
        auto fail = [&](const std::string& what) {
            throw DescriptionError(f.line, "table " + table.name + ", field " + f.name + ": " + what);
        };
        if (!names.insert(f.name).second)
            throw DescriptionError(f.line, "table " + table.name + " has two fields named " + f.name);
        if (f.columnNumber < 0 || f.columnNumber > 254 || !numbers.insert(f.columnNumber).second)
            fail("column number " + std::to_string(f.columnNumber) + " is taken or out of range");
        if ((f.type == DataType::Text || f.type == DataType::Binary) && (f.size < 1 || f.size > 255))
            fail("the size must be from 1 to 255");
        if (f.type == DataType::Decimal && (f.precision < 1 || f.precision > 28 || f.scale < 0 || f.scale > f.precision))
            fail("the precision must be from 1 to 28 and the scale from 0 to the precision");
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
        if (f.calculated) {
            // A calculated value sits behind a 23-byte header; fixed-size results all take 39 bytes.
            c.extraFlags |= 0xC0;
            if (f.type == DataType::Text || f.type == DataType::Binary) c.length = static_cast<std::uint16_t>(c.length + 23);
            else if (!isLongValue(f.type)) c.length = 39;
        }
        t.columns.push_back(c);
    }
    t.maxColumns = std::max(t.maxColumns, *numbers.rbegin() + 1);
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

namespace {

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

}  // namespace

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
    return row;
}


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


}  // namespace mdbgen::jet4
