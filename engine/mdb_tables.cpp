#include "mdb_tables.h"

#include "format_error.h"
#include "live_rows.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <fcntl.h>
#include <unistd.h>

#include <glib.h>  // mdbtools.h includes it inside extern "C"
#include <mdbtools.h>

namespace engine {

namespace {

// /dev/null, opened once, while the process may still open files (a reader process gives that up
// after opening the database).
int nullDevice()
{
    static const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    return null;
}

// Sends what libmdb prints to /dev/null while it lives; it prints warnings and, on damaged files,
// hex dumps, on both standard output and standard error.
class Quiet {
public:
    Quiet()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        int null = nullDevice();
        if (null < 0) return;
        savedOut_ = ::dup(1);
        savedErr_ = ::dup(2);
        ::dup2(null, 1);
        ::dup2(null, 2);
    }
    ~Quiet()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        if (savedOut_ >= 0) {
            ::dup2(savedOut_, 1);
            ::close(savedOut_);
        }
        if (savedErr_ >= 0) {
            ::dup2(savedErr_, 2);
            ::close(savedErr_);
        }
    }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

private:
    int savedOut_ = -1;
    int savedErr_ = -1;
};

// libmdb takes its text encodings and its debugging options from the environment when a handle
// opens; fix them to what the engine expects: names and texts in UTF-8, Jet 3 texts read as code
// page 1252, no options.
void settleEnvironment()
{
    ::setenv("MDBICONV", "UTF-8", 1);
    ::setenv("MDB_JET3_CHARSET", "CP1252", 1);
    ::unsetenv("MDBOPTS");
    ::unsetenv("MDBPATH");
}

// A table definition read by libmdb, freed when it goes. The catalog entry it points to lives
// beside it.
struct OpenTable {
    MdbCatalogEntry entry{};
    MdbTableDef* table = nullptr;

    OpenTable(MdbHandle* mdb, std::uint32_t page, const std::string& name)
    {
        entry.mdb = mdb;
        entry.table_pg = page;
        entry.object_type = MDB_TABLE;
        std::snprintf(entry.object_name, sizeof entry.object_name, "%s", name.c_str());
        table = mdb_read_table(&entry);
        if (table && !mdb_read_columns(table)) {
            mdb_free_tabledef(table);
            table = nullptr;
        }
        if (!table) throw FormatError("the definition of table " + name + " cannot be read");
    }
    ~OpenTable() { mdb_free_tabledef(table); }
    OpenTable(const OpenTable&) = delete;
    OpenTable& operator=(const OpenTable&) = delete;

    MdbColumn* column(unsigned i) const { return static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i)); }
};

}  // namespace

struct MdbTables::Handle {
    MdbHandle* mdb = nullptr;
};

MdbTables::MdbTables(const DatabaseFile& file) : handle_(std::make_unique<Handle>()), image_(file.image())
{
    settleEnvironment();
    nullDevice();
    Quiet quiet;
    // libmdb reads the buffer only; the cast is for its C signature.
    handle_->mdb = mdb_open_buffer(const_cast<std::uint8_t*>(file.bytes.data()), file.bytes.size(), MDB_NOFLAGS);
    if (!handle_->mdb) throw OpenError(file.path, "damaged: libmdb cannot open it");
    pageCount_ = file.bytes.size() / image_.pageSize();
}

MdbTables::~MdbTables()
{
    if (handle_ && handle_->mdb) {
        Quiet quiet;
        mdb_close(handle_->mdb);
    }
}

std::vector<ColumnInfo> MdbTables::columns(std::uint32_t page, const std::string& tableName)
{
    Quiet quiet;
    OpenTable t(handle_->mdb, page, tableName);
    std::vector<ColumnInfo> out;
    for (unsigned i = 0; i < t.table->num_cols; ++i) {
        const MdbColumn* c = t.column(i);
        ColumnInfo info;
        info.name = c->name;
        info.number = c->col_num;
        info.type = c->col_type;
        info.size = c->col_size;
        info.precision = c->col_prec;
        info.scale = c->col_scale;
        info.autoNumber = c->is_long_auto;
        info.autoGuid = c->is_uuid_auto;
        out.push_back(std::move(info));
    }
    return out;
}

std::vector<std::vector<Cell>> MdbTables::rows(std::uint32_t page, const std::string& tableName,
                                               const std::vector<std::string>& columnNames)
{
    Quiet quiet;
    OpenTable t(handle_->mdb, page, tableName);
    std::vector<int> wanted;  // per named column: its index in libmdb's list, or -1
    for (const auto& name : columnNames) {
        int found = -1;
        for (unsigned i = 0; i < t.table->num_cols && found < 0; ++i)
            if (name == t.column(i)->name) found = static_cast<int>(i);
        wanted.push_back(found);
    }
    MdbHandle* mdb = handle_->mdb;
    const std::size_t pageSize = mdb->fmt->pg_size;
    if (t.table->num_cols == 0) return {};  // as libmdb, which reads no rows of such a table

    // The table's data pages, found by libmdb through the table's map of row pages. Its walk only
    // goes forward, so a page found twice or more pages than the file has mean it went wrong.
    std::vector<std::uint32_t> pages;
    std::set<std::uint32_t> found;
    mdb_rewind_table(t.table);
    while (int next = mdb_read_next_dpg(t.table)) {
        if (next < 0 || pages.size() >= pageCount_ || !found.insert(static_cast<std::uint32_t>(next)).second)
            throw FormatError("the rows of table " + tableName + " do not end");
        pages.push_back(static_cast<std::uint32_t>(next));
    }
    // Which rows of them are live is read from the pages' row entries here: libmdb reads the
    // flags of deleted and moved rows the other way round (see live_rows.h).
    std::vector<RowPlace> places;
    try {
        places = liveRows(image_, page, pages);
    } catch (const FormatError& e) {
        throw FormatError("the rows of table " + tableName + ": " + e.what());
    }

    std::vector<MdbField> fields(t.table->num_cols);
    std::uint32_t loaded = 0;  // the page in libmdb's page buffer; page 0 holds no rows
    std::vector<std::vector<Cell>> out;
    out.reserve(places.size());
    for (const RowPlace& place : places) {
        if (place.page != loaded) {
            if (mdb_read_pg(mdb, place.page) != static_cast<ssize_t>(pageSize))
                throw FormatError("page " + std::to_string(place.page) + " of table " + tableName + " cannot be read");
            loaded = place.page;
        }
        int present = mdb_crack_row(t.table, static_cast<int>(place.start), place.end - place.start, fields.data());
        if (present < 0)
            throw FormatError("row " + std::to_string(place.row) + " of page " + std::to_string(place.page) +
                              " of table " + tableName + " cannot be decoded");
        std::vector<Cell> row;
        row.reserve(wanted.size());
        for (int index : wanted) {
            if (index < 0) {
                row.emplace_back();
                continue;
            }
            // mdb_crack_row gives field i for column i.
            const MdbField& f = fields[static_cast<std::size_t>(index)];
            if (t.column(static_cast<unsigned>(index))->col_type == MDB_BOOL) {  // the null bit holds the value
                row.emplace_back(std::vector<std::uint8_t>{static_cast<std::uint8_t>(f.is_null ? 0 : 1)});
                continue;
            }
            if (f.is_null || f.siz <= 0) {
                row.emplace_back();
                continue;
            }
            auto start = static_cast<std::size_t>(f.start);
            auto length = static_cast<std::size_t>(f.siz);
            if (f.start < 0 || start + length > pageSize) throw FormatError("a row of table " + tableName + " reaches past its page");
            row.emplace_back(std::vector<std::uint8_t>(mdb->pg_buf + start, mdb->pg_buf + start + length));
        }
        out.push_back(std::move(row));
    }
    return out;
}

}  // namespace engine
