#include "jet4_writer.h"

#include "jet4_pages.h"
#include "jet4_tables.h"
#include "jet_protection.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <optional>
#include <set>
#include <unistd.h>

namespace mdbgen {

using namespace jet4;

namespace {

// The object ids of the catalog's containers and of the database object.
constexpr std::uint32_t kTablesContainer = 0x0F000001;
constexpr std::uint32_t kDatabasesContainer = 0x0F000002;
constexpr std::uint32_t kRelationshipsContainer = 0x0F000003;
constexpr std::uint32_t kContainersParent = 0x0F000000;
constexpr std::uint32_t kDatabaseObject = 0x10000000;
constexpr std::uint32_t kFirstObjectId = 0x80000000;  // queries, links and relationships
constexpr std::uint32_t kSystemFlags = 0x80000000;
constexpr std::uint32_t kHiddenFlag = 0x8;

// Catalog object types.
constexpr std::int16_t kTypeTable = 1;
constexpr std::int16_t kTypeDatabase = 2;
constexpr std::int16_t kTypeContainer = 3;
constexpr std::int16_t kTypeOdbcLink = 4;
constexpr std::int16_t kTypeQuery = 5;
constexpr std::int16_t kTypeAccessLink = 6;
constexpr std::int16_t kTypeRelationship = 8;

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

bool stale(RowState state) { return isStale(state); }

// Checks the database password: at most 20 characters, none of them NUL, as Access allows.
void checkPassword(const std::string& password)
{
    std::size_t length = 0;
    try {
        length = utf16Length(password);
    } catch (const std::invalid_argument& e) {
        throw DescriptionError(0, std::string("the database password: ") + e.what());
    }
    if (length > 20) throw DescriptionError(0, "the database password is longer than 20 characters");
    if (password.find('\0') != std::string::npos) throw DescriptionError(0, "the database password holds a NUL character");
}

void checkDesign(const Database& db)
{
    checkPassword(db.password);
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
    // Stale objects are old rows of a live object and claim no name of their own.
    for (const auto& t : db.tables)
        if (!stale(t.state)) claim(t.name, t.line, "table");
    for (const auto& l : db.linkedTables) claim(l.name, l.line, "linked table");
    for (const auto& q : db.queries)
        if (!stale(q.state)) claim(q.name, q.line, "query");
    auto live = [](const auto& objects, const std::string& name) {
        return std::any_of(objects.begin(), objects.end(),
                           [&name](const auto& o) { return o.name == name && !stale(o.state); });
    };
    for (const auto& t : db.tables)
        if (stale(t.state) && !live(db.tables, t.name))
            throw DescriptionError(t.line, "stale table " + t.name + ": the design has no live table " + t.name +
                                               " whose old row it is");
    for (const auto& q : db.queries)
        if (stale(q.state) && !live(db.queries, q.name))
            throw DescriptionError(q.line, "stale query " + q.name + ": the design has no live query " + q.name +
                                               " whose old rows they are");
    std::set<std::string> relationshipNames;
    for (const auto& r : db.relationships)
        if (!stale(r.state) && !relationshipNames.insert(r.name).second)
            throw DescriptionError(r.line, "there are two relationships named " + r.name);
    if (db.tables.size() + db.linkedTables.size() + db.queries.size() > 32768)
        throw DescriptionError(0, "a database holds at most 32768 tables and queries");
}

// ---------------------------------------------------------------------------------------------

class Writer {
public:
    explicit Writer(const Database& db) : db_(db), longValues_(file_), maps_(file_, ownerPage(0)) {}

    Bytes run()
    {
        checkDesign(db_);
        tables_ = systemTables();
        for (const Table& t : db_.tables)
            if (!stale(t.state)) tables_.push_back(userTable(t));
        resolveRelationships();

        file_.allocate();  // header page
        file_.allocate();  // global usage map
        for (auto& t : tables_) {
            for (const auto& c : t.columns)
                if (isLongValue(c.type)) t.longValueMaps.push_back({static_cast<std::uint32_t>(c.number), 0, 0});
            std::size_t pages = definitionPages(definitionLength(t));
            for (std::size_t i = 0; i < pages; ++i) t.pages.push_back(file_.allocate());
            t.firstPage = t.pages.front();
            // Left zero, and free in the file's usage map, which marks only pages in use.
            if (&t - tables_.data() >= static_cast<std::ptrdiff_t>(kFirstUserTable))
                for (int i = 0; i < db_.freePagesPerTable; ++i) file_.allocate();
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

        std::vector<std::vector<StoredRow>> rows(tables_.size());
        std::vector<CatalogEntry> entries = catalog();
        rows[kObjects] = catalogRows(entries);
        rows[kAces] = accessRows(entries);
        rows[kQueries] = queryRows();
        rows[kRelationships] = relationshipRows();
        for (std::size_t i = kFirstUserTable; i < tables_.size(); ++i) rows[i] = dataRows(tables_[i]);
        for (std::size_t i = 0; i < tables_.size(); ++i)
            if (!rows[i].empty()) storeRows(tables_[i], rows[i]);
        for (const auto& t : tables_) writeDefinition(file_, t, tables_);

        writeGlobalMap();
        const std::uint32_t key = db_.encoded ? encodingKey() : 0;
        writeHeaderPage(file_.page(0), key, db_.password);
        if (file_.count() >= (1u << 24)) throw DescriptionError(0, "the design is too large for one file");
        Bytes bytes = file_.bytes();
        if (key != 0) engine::encodePages(bytes.data(), bytes.size(), kPageSize, key);
        return bytes;
    }

private:
    // The key of an encoded file: the 32-bit FNV-1a hash of every page but the header, so that it
    // follows from the design alone; never 0, which means "not encoded".
    std::uint32_t encodingKey()
    {
        std::uint32_t hash = 2166136261u;
        for (std::uint32_t n = 1; n < file_.count(); ++n) {
            const std::uint8_t* p = file_.page(n);
            for (std::size_t i = 0; i < kPageSize; ++i) hash = (hash ^ p[i]) * 16777619u;
        }
        return hash != 0 ? hash : 1;
    }

    // A row to store, and how.
    struct StoredRow {
        Bytes bytes;
        RowState state = RowState::Live;
    };

    // Packs the rows of t onto data pages of its own, in order, and fills in its map of row pages.
    // A stale row is stored marked deleted. A moved row's place holds a pointer to the row, which
    // goes, marked deleted as Access marks such rows, onto pages after the table's others; the
    // pointer of a stale moved row is marked deleted too.
    void storeRows(TableLayout& t, const std::vector<StoredRow>& rows)
    {
        RowPacker packer(file_, ownerPage(t.firstPage));
        std::vector<std::pair<std::uint32_t, const Bytes*>> moved;  // the pointer's address, the row
        std::uint32_t live = 0;
        for (const StoredRow& r : rows) {
            switch (r.state) {
            case RowState::Live:
                ++live;
                packer.add(r.bytes);
                break;
            case RowState::Moved:
                ++live;
                moved.emplace_back(packer.add(Bytes(4, 0), kPointerRowFlag), &r.bytes);
                break;
            case RowState::Stale:
                packer.add(r.bytes, kDeletedRowFlag);
                break;
            case RowState::StaleMoved:
                moved.emplace_back(packer.add(Bytes(4, 0), kPointerRowFlag | kDeletedRowFlag), &r.bytes);
                break;
            }
        }
        if (!moved.empty()) packer.startOn(file_.allocate());
        for (auto [pointer, row] : moved) {
            std::uint32_t address = packer.add(*row, kDeletedRowFlag);
            // The pointer: the row's number, then its page's in three bytes; an address is
            // page << 8 | row.
            std::uint8_t* p = packer.rowData(pointer);
            p[0] = static_cast<std::uint8_t>(address & 0xFF);
            p[1] = static_cast<std::uint8_t>(address >> 8);
            p[2] = static_cast<std::uint8_t>(address >> 16);
            p[3] = static_cast<std::uint8_t>(address >> 24);
        }
        t.rowCount = live;
        writeUsageMap(file_, maps_.rowData(t.usedMap), packer.pages());
    }

    void resolveRelationships()
    {
        std::map<std::string, std::size_t> userTables;  // name, position in tables_
        for (std::size_t i = kFirstUserTable; i < tables_.size(); ++i) userTables.emplace(tables_[i].name, i);
        for (const Relationship& rel : db_.relationships) {
            if (stale(rel.state)) continue;  // an old version: its tables and fields need not exist now
            std::size_t ends[2];  // the primary and the foreign table
            for (int side = 0; side < 2; ++side) {
                const std::string& name = side == 0 ? rel.primaryTable : rel.foreignTable;
                auto it = userTables.find(name);
                if (it == userTables.end())
                    throw DescriptionError(rel.line, "relationship " + rel.name + " names table " + name +
                                                         ", which the design lacks");
                ends[side] = it->second;
            }
            std::size_t p = ends[0], f = ends[1];
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
        RowState state = RowState::Live;
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

        for (std::size_t i = 0; i < kFirstUserTable; ++i)
            add(tables_[i].firstPage, kTablesContainer, tables_[i].name, kTypeTable, kSystemFlags, 0x60000);
        // The described tables in the order described, a stale one with the id of the live one.
        std::map<std::string, std::uint32_t> tableIds;
        for (std::size_t i = kFirstUserTable; i < tables_.size(); ++i) tableIds.emplace(tables_[i].name, tables_[i].firstPage);
        for (const Table& t : db_.tables) {
            std::uint32_t flags = (t.system ? kSystemFlags : 0) | (t.hidden ? kHiddenFlag : 0);
            CatalogEntry& e = add(tableIds.at(t.name), kTablesContainer, t.name, kTypeTable, flags, 0xFFEFF);
            e.state = t.state;
            std::vector<PropertyBlock> blocks = {{"", &t.properties}};
            for (const Field& f : t.fields)
                if (!f.properties.empty()) blocks.push_back({f.name, &f.properties});
            if (blocks.size() > 1 || !t.properties.empty())
                e.properties = checkedBlob(propertyBlob(blocks), t.line, "table " + t.name);
        }
        // Ids in the order links, queries, relationships; stale queries and relationships take the
        // id of the live one of their name, and a stale relationship without one an id after all.
        std::uint32_t nextId = kFirstObjectId + static_cast<std::uint32_t>(db_.linkedTables.size());
        std::map<std::string, std::uint32_t> queryIds, relationshipIds;
        for (const auto& q : db_.queries)
            if (!stale(q.state)) queryIds.emplace(q.name, nextId++);
        for (const auto& r : db_.relationships)
            if (!stale(r.state)) relationshipIds.emplace(r.name, nextId++);
        for (const auto& r : db_.relationships)
            if (stale(r.state) && !relationshipIds.count(r.name)) relationshipIds.emplace(r.name, nextId++);

        nextId = kFirstObjectId;
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
            queryIds_.push_back(queryIds.at(q.name));
            CatalogEntry& e = add(queryIds_.back(), kTablesContainer, q.name, kTypeQuery,
                                  static_cast<std::uint32_t>(q.type) | (q.hidden ? kHiddenFlag : 0), 0xFFFFF);
            e.state = q.state;
            if (!q.properties.empty())
                e.properties = checkedBlob(propertyBlob({{"", &q.properties}}), q.line, "query " + q.name);
        }
        for (const auto& r : db_.relationships)
            add(relationshipIds.at(r.name), kRelationshipsContainer, r.name, kTypeRelationship, 0, 0).state = r.state;
        return entries;
    }

    // A property blob must fit in a long value, whose length field has 24 bits.
    static Bytes checkedBlob(Bytes blob, int line, const std::string& object)
    {
        if (blob.size() >= 0x00FFFFFF) throw DescriptionError(line, object + ": its properties take 16 MiB or more");
        return blob;
    }

    std::vector<StoredRow> catalogRows(const std::vector<CatalogEntry>& entries)
    {
        std::vector<StoredRow> rows;
        for (const auto& e : entries) rows.push_back({catalogRow(e), e.state});
        return rows;
    }

    // MSysACEs: ObjectId, SID, ACM (the rights), FInheritable.
    std::vector<StoredRow> accessRows(const std::vector<CatalogEntry>& entries)
    {
        static const Bytes adminSid = {0xAE, 0xE3};
        const TableLayout& t = tables_[kAces];
        std::vector<StoredRow> rows;
        for (const auto& e : entries) {
            if (!e.rights || stale(e.state)) continue;  // the live row of the object has the entry
            std::vector<Cell> cells(t.columns.size());
            cells[0] = longCell(static_cast<std::int32_t>(e.id));
            cells[1] = value(adminSid);
            cells[2] = longCell(static_cast<std::int32_t>(e.rights));
            cells[3] = Cell{e.inherited ? Cell::True : Cell::False, {}};
            rows.push_back({encodeRow(t, cells), RowState::Live});
        }
        return rows;
    }

    std::vector<StoredRow> queryRows()
    {
        const TableLayout& t = tables_[kQueries];
        std::vector<StoredRow> rows;
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
                if (r.extra) cells[7] = longCell(*r.extra);
                Bytes row = encodeRow(t, cells);
                if (row.size() > kRowCapacity)
                    throw DescriptionError(q.line, "query " + q.name + ": a design row is too large");
                rows.push_back({std::move(row), q.state});
            };
            add(QueryRow{0, q.version, {}, {}, {}, {}});
            for (const auto& r : q.rows) add(r);
            add(QueryRow{255, {}, {}, {}, {}, {}});
        }
        return rows;
    }

    // The data rows of a described table.
    std::vector<StoredRow> dataRows(const TableLayout& t)
    {
        std::vector<StoredRow> rows;
        for (const DataRow& row : t.source->rows) {
            if (row.values.size() != t.columns.size())
                throw DescriptionError(row.line, "table " + t.name + " has " + std::to_string(t.columns.size()) +
                                                     " fields, but the row gives " +
                                                     std::to_string(row.values.size()) + " values");
            std::vector<Cell> cells;
            for (std::size_t i = 0; i < t.columns.size(); ++i) {
                try {
                    cells.push_back(dataCell(t.columns[i], row.values[i]));
                } catch (const std::invalid_argument& e) {
                    throw DescriptionError(row.line, "table " + t.name + ", field " + t.columns[i].name + ": " + e.what());
                }
            }
            Bytes encoded = encodeRow(t, cells);
            if (encoded.size() > kRowCapacity)
                throw DescriptionError(row.line, "table " + t.name + ": the row does not fit on a page");
            rows.push_back({std::move(encoded), row.state});
        }
        return rows;
    }

    Cell dataCell(const Column& c, const DataValue& v)
    {
        if (c.type == DataType::YesNo)  // kept in the null mask: an empty value reads as No
            return Cell{!v.null && encodeValue(DataType::YesNo, v.text)[0] ? Cell::True : Cell::False, {}};
        if (v.null) return Cell{};
        if (c.type == DataType::Decimal) throw std::invalid_argument("Decimal values are not supported in rows");
        Bytes bytes = encodeValue(c.type, v.text);
        if (c.type == DataType::Text && bytes.size() > c.length)
            throw std::invalid_argument("the text is longer than the field's " + std::to_string(c.length / 2) +
                                        " characters");
        if (c.type == DataType::Binary && bytes.size() > c.length)
            throw std::invalid_argument("the value is longer than the field's " + std::to_string(c.length) + " bytes");
        if (isLongValue(c.type)) {
            if (bytes.size() >= 0x00FFFFFF) throw std::invalid_argument("the value takes 16 MiB or more");
            return value(longValue(bytes));
        }
        return value(std::move(bytes));
    }

    std::vector<StoredRow> relationshipRows()
    {
        const TableLayout& t = tables_[kRelationships];
        std::vector<StoredRow> rows;
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
                rows.push_back({encodeRow(t, cells), r.state});
            }
        }
        return rows;
    }

    // Page 1: the file's own usage map, which marks the pages past the file's end as free, and
    // an empty row that Access keeps beside it.
    void writeGlobalMap()
    {
        RowPacker page1(file_, ownerPage(1));
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
    std::vector<std::uint32_t> queryIds_;  // the catalog ids of db_.queries, given out by catalog()
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
