#include "mdb_tables.h"

#include "format_error.h"
#include "little_endian.h"
#include "live_rows.h"
#include "table_definition.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
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

// What libmdb reads a file read page by page on use through (FileImage::loader): a stream over
// the image whose reads read the pages first. A page that cannot be read fails the read; its
// OpenError is kept and thrown once libmdb has returned.
struct PageStream {
    FileImage image;
    off64_t position = 0;
    std::exception_ptr failure;

    void rethrowFailure() const
    {
        if (failure) std::rethrow_exception(failure);
    }

    static ssize_t read(void* cookie, char* into, std::size_t n)
    {
        auto* s = static_cast<PageStream*>(cookie);
        const std::size_t pageSize = s->image.pageSize();
        std::size_t done = 0;
        try {
            while (done < n && s->position >= 0 && static_cast<std::size_t>(s->position) < s->image.size) {
                const auto at = static_cast<std::size_t>(s->position);
                const std::size_t within = at % pageSize;
                const std::size_t take = std::min({n - done, pageSize - within, s->image.size - at});
                std::memcpy(into + done, s->image.page(static_cast<std::uint32_t>(at / pageSize)) + within, take);
                done += take;
                s->position += static_cast<off64_t>(take);
            }
        } catch (...) {
            s->failure = std::current_exception();
            return -1;
        }
        return static_cast<ssize_t>(done);
    }

    static int seek(void* cookie, off64_t* offset, int whence)
    {
        auto* s = static_cast<PageStream*>(cookie);
        const off64_t from = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? s->position : static_cast<off64_t>(s->image.size);
        if (*offset < -from) return -1;
        s->position = from + *offset;
        *offset = s->position;
        return 0;
    }

    static int close(void*) { return 0; }  // the stream belongs to MdbTables
};

// A table definition read by libmdb, freed when it goes. The catalog entry it points to lives
// beside it.
struct OpenTable {
    MdbCatalogEntry entry{};
    MdbTableDef* table = nullptr;

    OpenTable(MdbHandle* mdb, std::uint32_t page, const std::string& name, const PageStream* stream)
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
        if (!table && stream) stream->rethrowFailure();
        if (!table) throw FormatError("the definition of table " + name + " cannot be read");
    }
    ~OpenTable() { mdb_free_tabledef(table); }
    OpenTable(const OpenTable&) = delete;
    OpenTable& operator=(const OpenTable&) = delete;

    MdbColumn* column(unsigned i) const { return static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i)); }
};

// Contract: checks the frame of the row at place of a table with columnCount columns, of which
// some are of variable length (hasVariable), before libmdb takes it apart. A row starts with the
// number of columns it holds (a byte in Jet 3, u16 later) and ends with its null mask, one bit per
// column; before the mask come the number of its variable-length columns and (Jet 4) their
// offsets from the row's start, one more than there are columns, last one first. Each must fit.
// Throws FormatError naming the row.
//     Jet 4, 2 columns, 1 variable: 02 00 | fixed | text | 08 00 0C 00 (offsets) | 01 00 | 03 (mask)
void checkRowShape(const FileImage& image, const RowPlace& place, std::size_t columnCount, bool hasVariable,
                   const std::string& tableName)
{
    const std::uint8_t* row = image.page(place.page) + place.start;
    const std::size_t length = place.end - place.start;
    const std::size_t countSize = image.jet3 ? 1 : 2;  // of the column count and the variable count
    auto fail = [&](const std::string& what) {
        throw FormatError("row " + std::to_string(place.row) + " of page " + std::to_string(place.page) + " of table " +
                          tableName + " " + what);
    };
    if (length < countSize) fail("is too short to hold its column count");
    const std::size_t columns = image.jet3 ? row[0] : u16At(row);
    if (columns == 0 || columns > columnCount)
        fail("holds " + std::to_string(columns) + " columns, but the table has " + std::to_string(columnCount));
    const std::size_t mask = (columns + 7) / 8;
    if (!hasVariable) {
        if (countSize + mask > length) fail("is too short for its null mask");
        return;
    }
    if (countSize + mask + countSize > length) fail("is too short for its null mask and variable-length count");
    const std::size_t variableAt = length - mask - countSize;  // the count of variable-length columns
    const std::size_t variable = image.jet3 ? row[variableAt] : u16At(row + variableAt);
    if (variable > columns)
        fail("holds " + std::to_string(variable) + " variable-length columns of " + std::to_string(columns));
    if (image.jet3) return;
    // Jet 4: the offsets, the first variable column's just before the count, the end's last.
    if (countSize + 2 * (variable + 1) > variableAt) fail("is too short for its variable-length offsets");
    const std::size_t offsetsAt = variableAt - 2 * (variable + 1);
    std::size_t previous = countSize;  // no value starts before the column count ends
    for (std::size_t i = 0; i <= variable; ++i) {
        std::size_t offset = u16At(row + variableAt - 2 * (i + 1));
        if (offset < previous || offset > offsetsAt)
            fail("has variable-length offset " + std::to_string(offset) + " out of order or past its values (bytes " +
                 std::to_string(previous) + " to " + std::to_string(offsetsAt) + ")");
        previous = offset;
    }
}

}  // namespace

struct MdbTables::Handle {
    MdbHandle* mdb = nullptr;
    std::unique_ptr<PageStream> stream;  // when the file's pages are read on use
};

MdbTables::MdbTables(const DatabaseFile& file) : handle_(std::make_unique<Handle>()), image_(file.image())
{
    settleEnvironment();
    nullDevice();
    Quiet quiet;
    // libmdb reads the buffer only; the cast is for its C signature. A file read on use is opened
    // on its header page alone; libmdb reads the others through the stream below.
    handle_->mdb = mdb_open_buffer(const_cast<std::uint8_t*>(image_.page(0)),
                                   image_.loader ? image_.pageSize() : file.bytes.size(), MDB_NOFLAGS);
    if (!handle_->mdb) throw OpenError(file.path, "damaged: libmdb cannot open it");
    if (image_.loader) {
        // libmdb has read the header page through a stream over the buffer; from here on it reads
        // through one that reads each page from the file first.
        handle_->stream = std::make_unique<PageStream>(PageStream{image_, 0, nullptr});
        FILE* pages = ::fopencookie(handle_->stream.get(), "r",
                                    cookie_io_functions_t{PageStream::read, nullptr, PageStream::seek, PageStream::close});
        if (!pages) throw OpenError(file.path, "the file cannot be read: out of memory");
        std::setvbuf(pages, nullptr, _IOFBF, image_.pageSize());
        std::fclose(handle_->mdb->f->stream);
        handle_->mdb->f->stream = pages;
    }
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
    OpenTable t(handle_->mdb, page, tableName, handle_->stream.get());
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
    std::vector<std::vector<Cell>> out;
    visitRows(page, tableName, columnNames, [&out](const std::vector<CellView>& cells) {
        std::vector<Cell>& row = out.emplace_back();
        row.reserve(cells.size());
        for (const CellView& cell : cells) {
            if (cell)
                row.emplace_back(std::vector<std::uint8_t>(cell->begin(), cell->end()));
            else
                row.emplace_back();
        }
    });
    return out;
}

void MdbTables::visitRows(std::uint32_t page, const std::string& tableName, const std::vector<std::string>& columnNames,
                          const std::function<void(const std::vector<CellView>&)>& visit)
{
    Quiet quiet;
    OpenTable t(handle_->mdb, page, tableName, handle_->stream.get());
    std::vector<int> wanted;  // per named column: its index in libmdb's list, or -1
    for (const auto& name : columnNames) {
        int found = -1;
        for (unsigned i = 0; i < t.table->num_cols && found < 0; ++i)
            if (name == t.column(i)->name) found = static_cast<int>(i);
        wanted.push_back(found);
    }
    MdbHandle* mdb = handle_->mdb;
    const std::size_t pageSize = mdb->fmt->pg_size;
    if (t.table->num_cols == 0) return;  // as libmdb, which reads no rows of such a table

    // The table's data pages, from its map of row pages; liveRows checks that each is the table's.
    const std::vector<std::uint32_t> pages = rowPages(image_, page);
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
    static constexpr std::uint8_t kNo = 0, kYes = 1;  // what a Yes/No cell's view shows
    std::vector<CellView> row(wanted.size());  // the cells of the row handed over
    for (const RowPlace& place : places) {
        if (place.page != loaded) {
            if (mdb_read_pg(mdb, place.page) != static_cast<ssize_t>(pageSize)) {
                if (handle_->stream) handle_->stream->rethrowFailure();
                throw FormatError("page " + std::to_string(place.page) + " of table " + tableName + " cannot be read");
            }
            loaded = place.page;
        }
        checkRowShape(image_, place, t.table->num_cols, t.table->num_var_cols > 0, tableName);
        int present = mdb_crack_row(t.table, static_cast<int>(place.start), place.end - place.start, fields.data());
        if (present < 0)
            throw FormatError("row " + std::to_string(place.row) + " of page " + std::to_string(place.page) +
                              " of table " + tableName + " cannot be decoded");
        for (std::size_t k = 0; k < wanted.size(); ++k) {
            CellView& cell = row[k];
            cell.reset();
            const int index = wanted[k];
            if (index < 0) continue;
            // mdb_crack_row gives field i for column i.
            const MdbField& f = fields[static_cast<std::size_t>(index)];
            if (t.column(static_cast<unsigned>(index))->col_type == MDB_BOOL) {  // the null bit holds the value
                cell.emplace(f.is_null ? &kNo : &kYes, 1);
                continue;
            }
            if (f.is_null || f.siz <= 0) continue;
            auto start = static_cast<std::size_t>(f.start);
            auto length = static_cast<std::size_t>(f.siz);
            if (f.start < 0 || start + length > pageSize) throw FormatError("a row of table " + tableName + " reaches past its page");
            cell.emplace(mdb->pg_buf + start, length);
        }
        visit(row);
    }
}

}  // namespace engine
