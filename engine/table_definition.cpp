// The column and index entries of a table definition (TDEF). A definition starts on its own page
//
//     0 02 01 | 2 u16 free space (Jet 4) or "VC" (Jet 3) | 4 u32 next page | 8 u32 stored length
//
// and, when longer than a page, continues on the pages that each page names at offset 4, after
// their own 8-byte header. The stored length is that of the whole definition read as one run of
// bytes: the first page with its header, the continuation pages without theirs. In that run come
// the header fields, one row-count entry per real index, the column entries, the column names,
// the real index entries, the logical index entries and the logical index names.
#include "table_definition.h"

#include "little_endian.h"

#include "format_error.h"
#include "long_value.h"
#include "text_codec.h"

#include <algorithm>
#include <span>
#include <string>
#include <string_view>

namespace engine {

namespace {

// Where the parts of a definition sit in one format; offsets inside an entry are from its start.
struct Layout {
    std::size_t pageSize;
    std::size_t columnCountAt;        // u16: number of column entries
    std::size_t logicalCountAt;       // u32: number of logical index entries
    std::size_t realCountAt;          // u32: number of real index entries
    std::size_t headerSize;           // where the per-real-index row-count entries start
    std::size_t realRowCountSize;     // one such entry
    std::size_t columnSize;           // one column entry; its first byte is the column's type
    std::size_t columnNumberAt;       // u16 column number (deleted columns leave gaps)
    std::size_t columnSortOrderAt;    // u16 collating order of a text column
    std::size_t columnFlagsAt;        // byte: fixed, nullable, AutoNumber, ...
    std::size_t columnMoreFlagsAt;    // byte: compressed text, calculated; 0 where the format has none
    std::size_t columnScaleAt;        // byte: the scale of a Decimal column
    std::size_t columnPrecisionAt;    // byte: the precision of a Decimal column
    std::size_t columnLengthAt;       // u16: the stored length of a value
    std::size_t nameLengthSize;       // 1: u8 length, code page 1252; 2: u16 length, UTF-16LE
    std::size_t realSize;             // one real index entry
    std::size_t realSlotsAt;          // its 10 column slots: u16 column number, order byte
    std::size_t realFlagsAt;          // its flags byte
    std::size_t logicalSize;          // one logical index entry
    std::size_t logicalNumberAt;      // u32 index number
    std::size_t logicalRealAt;        // u32 number of its real index
    std::size_t logicalSideAt;        // byte: side of a relationship (1 primary, 2 foreign)
    std::size_t logicalKindAt;        // byte: 1 primary key, 2 relationship
};

constexpr Layout kJet3Layout{.pageSize = 2048, .columnCountAt = 25, .logicalCountAt = 27, .realCountAt = 31,
                             .headerSize = 43, .realRowCountSize = 8, .columnSize = 18, .columnNumberAt = 1,
                             .columnSortOrderAt = 7, .columnFlagsAt = 13, .columnMoreFlagsAt = 0,
                             .columnScaleAt = 9, .columnPrecisionAt = 10, .columnLengthAt = 16,
                             .nameLengthSize = 1, .realSize = 39, .realSlotsAt = 0, .realFlagsAt = 38,
                             .logicalSize = 20, .logicalNumberAt = 0, .logicalRealAt = 4, .logicalSideAt = 8,
                             .logicalKindAt = 19};
// The flags sit at 46 in the files Access writes (the mdbtools notes put them at 42).
constexpr Layout kJet4Layout{.pageSize = 4096, .columnCountAt = 45, .logicalCountAt = 47, .realCountAt = 51,
                             .headerSize = 63, .realRowCountSize = 12, .columnSize = 25, .columnNumberAt = 5,
                             .columnSortOrderAt = 11, .columnFlagsAt = 15, .columnMoreFlagsAt = 16,
                             .columnScaleAt = 11, .columnPrecisionAt = 12, .columnLengthAt = 23,
                             .nameLengthSize = 2, .realSize = 52, .realSlotsAt = 4, .realFlagsAt = 46,
                             .logicalSize = 28, .logicalNumberAt = 4, .logicalRealAt = 8, .logicalSideAt = 12,
                             .logicalKindAt = 23};

constexpr std::size_t kPageHeaderSize = 8;      // of every page of a definition
constexpr std::size_t kStoredLengthAt = 8;      // u32 in the first page
constexpr std::size_t kNextPageAt = 4;          // u32 in every page; 0 ends the chain
constexpr std::size_t kMaxPages = 64;           // the largest possible design needs about 13
constexpr std::size_t kColumnSlots = 10;
constexpr std::uint16_t kUnusedSlot = 0xFFFF;
constexpr std::uint8_t kAccessIndexFlag = 0x80; // set by Jet 4 and later on every index

// One definition's bytes gathered from its page chain, cut to its stored length, with reads that
// refuse to leave them. Every error names the definition's first page and the byte concerned.
class Definition {
public:
    // Gathers the definition starting at page. Each page of the chain must lie wholly inside the
    // file and be a definition page; the chain must reach the stored length without returning to
    // a page it passed and within kMaxPages pages.
    Definition(const FileImage& file, std::uint32_t page, const Layout& layout);

    // The size bytes at offset at; what names them for the message when they are not all there.
    const std::uint8_t* bytes(std::size_t at, std::size_t size, std::string_view what) const
    {
        if (!holds(at, size)) [[unlikely]]
            failPastEnd(at, what);
        return bytes_.data() + at;
    }
    // Whether the size bytes at offset at are all in the definition.
    bool holds(std::size_t at, std::size_t size) const { return at <= bytes_.size() && size <= bytes_.size() - at; }
    std::uint8_t u8(std::size_t at, std::string_view what) const { return *bytes(at, 1, what); }
    std::uint16_t u16(std::size_t at, std::string_view what) const { return u16At(bytes(at, 2, what)); }
    std::uint32_t u32(std::size_t at, std::string_view what) const { return u32At(bytes(at, 4, what)); }

    // Checks that count entries of entrySize bytes fit from at on, before anything is read or
    // allocated for them.
    void requireEntries(std::size_t at, std::size_t count, std::size_t entrySize, std::string_view what) const;

    std::size_t size() const { return bytes_.size(); }  // the stored length

    // "byte 4500 (page 708)": where byte at of the definition is stored.
    std::string where(std::size_t at) const;

    // Throws FormatError with message, naming the definition by its first page.
    [[noreturn]] void fail(const std::string& message) const;
    // Throws FormatError saying that what, at byte at, runs past the definition's end.
    [[noreturn]] void failPastEnd(std::size_t at, std::string_view what) const;

private:
    // The bytes of page, of which at least the first bytes are read, after checking that it lies
    // inside the file and is a definition page.
    const std::uint8_t* pageBytes(std::uint32_t page, const char* role, std::size_t bytes) const;

    const FileImage& file_;
    const Layout& layout_;
    std::uint32_t firstPage_;
    std::vector<std::uint32_t> pages_;   // the chain, in order
    std::vector<std::uint8_t> joined_;   // the pages of a longer definition, without the continuation pages' headers
    std::span<const std::uint8_t> bytes_;  // the definition: in its page when it fits there, else joined_
};

Definition::Definition(const FileImage& file, std::uint32_t page, const Layout& layout)
    : file_(file), layout_(layout), firstPage_(page)
{
    const std::size_t pageSize = layout.pageSize;
    // Most definitions take less than half their page: its start is read first, the rest of it
    // only when the stored length reaches there.
    constexpr std::size_t kFirstRead = 2048;
    const std::uint8_t* current = pageBytes(page, "its first page", kFirstRead);
    std::uint32_t length = u32At(current + kStoredLengthAt);
    // The most a chain of kMaxPages pages holds.
    const std::size_t maxLength = pageSize + (kMaxPages - 1) * (pageSize - kPageHeaderSize);
    if (length < layout.headerSize)
        fail("its stored length " + std::to_string(length) + " is shorter than its " +
             std::to_string(layout.headerSize) + "-byte header");
    if (length > maxLength)
        fail("its stored length " + std::to_string(length) + " would take more than " + std::to_string(kMaxPages) +
             " pages");
    pages_.push_back(page);
    current = file_.pageStart(page, length);
    if (length <= pageSize) {  // most definitions: read where the page is
        bytes_ = std::span<const std::uint8_t>(current, length);
        return;
    }
    joined_.reserve(length);
    joined_.insert(joined_.end(), current, current + pageSize);
    while (joined_.size() < length) {
        std::uint32_t next = u32At(current + kNextPageAt);
        if (next == 0)
            fail("its stored length is " + std::to_string(length) + " bytes, but its page chain ends after " +
                 std::to_string(pages_.size()) + " page(s) holding " + std::to_string(joined_.size()));
        if (std::find(pages_.begin(), pages_.end(), next) != pages_.end())
            fail("its page chain returns from page " + std::to_string(pages_.back()) + " to page " +
                 std::to_string(next));
        current = pageBytes(next, "its continuation page", pageSize);
        pages_.push_back(next);
        std::size_t take = std::min<std::size_t>(length - joined_.size(), pageSize - kPageHeaderSize);
        joined_.insert(joined_.end(), current + kPageHeaderSize, current + kPageHeaderSize + take);
    }
    bytes_ = joined_;
}

const std::uint8_t* Definition::pageBytes(std::uint32_t page, const char* role, std::size_t bytes) const
{
    std::size_t pageCount = file_.size / layout_.pageSize;  // whole pages only
    if (page >= pageCount)
        fail(std::string(role) + " " + std::to_string(page) + " is past the file's end (" +
             std::to_string(pageCount) + " whole pages)");
    const std::uint8_t* p = file_.pageStart(page, bytes);
    if (p[0] != 0x02 || p[1] != 0x01)
        fail(std::string(role) + " " + std::to_string(page) + " is no table definition page (it starts with " +
             std::to_string(p[0]) + " " + std::to_string(p[1]) + ", not 2 1)");
    return p;
}

void Definition::failPastEnd(std::size_t at, std::string_view what) const
{
    fail(std::string(what) + " at byte " + std::to_string(at) + " runs past the definition's stored end at byte " +
         std::to_string(bytes_.size()));
}

void Definition::requireEntries(std::size_t at, std::size_t count, std::size_t entrySize,
                                std::string_view what) const
{
    if (at > bytes_.size() || count > (bytes_.size() - at) / entrySize)
        fail(std::to_string(count) + " " + std::string(what) + " of " + std::to_string(entrySize) + " bytes from byte " +
             std::to_string(at) + " run past the definition's stored end at byte " + std::to_string(bytes_.size()));
}

std::string Definition::where(std::size_t at) const
{
    // The first page holds bytes [0, pageSize); each further page pageSize - 8 more.
    std::size_t pageIndex =
        at < layout_.pageSize ? 0 : 1 + (at - layout_.pageSize) / (layout_.pageSize - kPageHeaderSize);
    std::string out = "byte " + std::to_string(at);
    if (pageIndex < pages_.size()) out += " (page " + std::to_string(pages_[pageIndex]) + ")";
    return out;
}

void Definition::fail(const std::string& message) const
{
    throw FormatError("table definition at page " + std::to_string(firstPage_) + ": " + message);
}

// Contract: reads the name at at (length, then the name) into out and moves at past it; its
// owner, of which it is the position-th ("column", 3), names it for messages: "the name of column
// 3". Names are never empty, and UTF-16LE names have an even length.
// Jet 4: 04 00 'I' 00 'D' 00 -> "ID", at + 6.
void readName(const Definition& definition, const Layout& layout, std::size_t& at, const char* owner,
              std::size_t position, std::string& out)
{
    // Made only for a message: most names are read without one.
    auto what = [&] { return "the name of " + std::string(owner) + " " + std::to_string(position); };
    const std::size_t lengthSize = layout.nameLengthSize;
    if (!definition.holds(at, lengthSize)) [[unlikely]]
        definition.bytes(at, lengthSize, what() + "'s length");  // throws
    std::size_t length = lengthSize == 1 ? definition.u8(at, {}) : definition.u16(at, {});
    if (length == 0) definition.fail(what() + " at " + definition.where(at) + " is empty");
    if (lengthSize == 2 && length % 2 != 0)
        definition.fail(what() + " at " + definition.where(at) + " has an odd length of " + std::to_string(length) +
                        " bytes for UTF-16 text");
    if (!definition.holds(at + lengthSize, length)) [[unlikely]]
        definition.bytes(at + lengthSize, length, what());  // throws
    const std::uint8_t* name = definition.bytes(at + lengthSize, length, {});
    at += lengthSize + length;
    if (lengthSize == 2)
        utf16leToUtf8(name, length, out);  // made where it goes
    else
        out = cp1252ToUtf8(name, length);
}

// Contract: the real index entry at at. Its used column slots come first (Access never leaves a
// gap), there is at least one, and each names a column of the definition (columnNumbers, sorted).
// Order byte 1 is ascending; 2 (as written for descending columns) and 0 (as Jet 3 system tables
// hold, and as other readers take for descending) are descending.
RealIndex readRealIndex(const Definition& definition, const Layout& layout, std::size_t at, std::size_t position,
                        const std::vector<std::uint16_t>& columnNumbers)
{
    const std::string what = "real index " + std::to_string(position);
    RealIndex index;
    bool unusedSeen = false;  // an unused slot came before: no used slot may follow
    for (std::size_t slot = 0; slot < kColumnSlots; ++slot) {
        std::size_t slotAt = at + layout.realSlotsAt + 3 * slot;
        std::uint16_t number = definition.u16(slotAt, what);
        std::uint8_t order = definition.u8(slotAt + 2, what);
        if (number == kUnusedSlot) {
            unusedSeen = true;
            continue;
        }
        if (unusedSeen)
            definition.fail(what + " at " + definition.where(at) + " uses column slot " + std::to_string(slot) +
                            " after an unused one");
        if (!std::binary_search(columnNumbers.begin(), columnNumbers.end(), number))
            definition.fail(what + " at " + definition.where(at) + " names column number " + std::to_string(number) +
                            ", which the definition lacks");
        if (order > 2)
            definition.fail(what + " at " + definition.where(at) + " has sort order " + std::to_string(order) +
                            " for column number " + std::to_string(number));
        index.columns.push_back(IndexColumn{number, order != 1});
    }
    if (index.columns.empty()) definition.fail(what + " at " + definition.where(at) + " has no columns");
    index.flags = static_cast<std::uint8_t>(definition.u8(at + layout.realFlagsAt, what) & ~kAccessIndexFlag);
    return index;
}

// Contract: checks the list that ends every definition, from at on: one 10-byte entry per column
// that keeps its own long values (its number, then the addresses of its two page maps), then
// 0xFFFF, which must be the definition's last two bytes. Every count of the definition decides
// where this list starts, so a count that does not fit the stored length shows here.
//     09 00 | 04 06 00 00 | 05 06 00 00 | FF FF   column 9's maps, and the end
void readColumnMaps(const Definition& definition, std::size_t at, const std::vector<std::uint16_t>& columnNumbers)
{
    constexpr std::size_t kMapEntrySize = 10;
    constexpr std::uint16_t kEndOfMaps = 0xFFFF;
    for (;;) {
        std::uint16_t number = definition.u16(at, "the list of long-value page maps");
        if (number == kEndOfMaps) break;
        if (!std::binary_search(columnNumbers.begin(), columnNumbers.end(), number))
            definition.fail("the list of long-value page maps at " + definition.where(at) + " names column number " +
                            std::to_string(number) + ", which the definition lacks");
        definition.requireEntries(at, 1, kMapEntrySize, "long-value page map entries");
        at += kMapEntrySize;
    }
    at += 2;
    if (at != definition.size())
        definition.fail("its entries end at byte " + std::to_string(at) + ", but its stored length is " +
                        std::to_string(definition.size()) + " bytes");
}

// Contract: the columns' entries and the indexes of the whole definition; see readTableDefinition.
TableDefinition readDefinition(const Definition& definition, const Layout& layout)
{
    std::size_t columnCount = definition.u16(layout.columnCountAt, "the column count");
    std::size_t logicalCount = definition.u32(layout.logicalCountAt, "the index count");
    std::size_t realCount = definition.u32(layout.realCountAt, "the real index count");

    std::size_t at = layout.headerSize;  // the reading position, from part to part
    definition.requireEntries(at, realCount, layout.realRowCountSize, "real index row counts");
    at += realCount * layout.realRowCountSize;

    TableDefinition result;
    definition.requireEntries(at, columnCount, layout.columnSize, "column entries");
    std::vector<std::uint16_t> columnNumbers;  // sorted, to check what the indexes name
    columnNumbers.reserve(columnCount);
    result.columns.reserve(columnCount);
    for (std::size_t i = 0; i < columnCount; ++i) {
        // Within the definition: requireEntries saw all of them there.
        const std::uint8_t* entry = definition.bytes(at + i * layout.columnSize, layout.columnSize, "a column entry");
        ColumnEntry& column = result.columns.emplace_back();
        column.type = entry[0];
        column.columnNumber = u16At(entry + layout.columnNumberAt);
        column.sortOrder = u16At(entry + layout.columnSortOrderAt);
        column.flags = entry[layout.columnFlagsAt];
        if (layout.columnMoreFlagsAt != 0) column.moreFlags = entry[layout.columnMoreFlagsAt];
        column.length = u16At(entry + layout.columnLengthAt);
        column.scale = entry[layout.columnScaleAt];
        column.precision = entry[layout.columnPrecisionAt];
        columnNumbers.push_back(static_cast<std::uint16_t>(column.columnNumber));
    }
    std::sort(columnNumbers.begin(), columnNumbers.end());
    auto repeated = std::adjacent_find(columnNumbers.begin(), columnNumbers.end());
    if (repeated != columnNumbers.end())
        definition.fail("two columns have the number " + std::to_string(*repeated));
    at += columnCount * layout.columnSize;
    for (std::size_t i = 0; i < columnCount; ++i)
        readName(definition, layout, at, "column", i, result.columns[i].name);

    definition.requireEntries(at, realCount, layout.realSize, "real index entries");
    result.real.reserve(realCount);
    for (std::size_t i = 0; i < realCount; ++i, at += layout.realSize)
        result.real.push_back(readRealIndex(definition, layout, at, i, columnNumbers));

    definition.requireEntries(at, logicalCount, layout.logicalSize, "index entries");
    result.logical.resize(logicalCount);
    for (LogicalIndex& index : result.logical) {
        index.number = definition.u32(at + layout.logicalNumberAt, "an index entry");
        index.realIndex = definition.u32(at + layout.logicalRealAt, "an index entry");
        index.relationshipSide = definition.u8(at + layout.logicalSideAt, "an index entry");
        index.kind = definition.u8(at + layout.logicalKindAt, "an index entry");
        at += layout.logicalSize;
    }
    for (std::size_t i = 0; i < logicalCount; ++i)
        readName(definition, layout, at, "index", i, result.logical[i].name);
    // Checked once the names are known, to name the index in the message.
    for (const LogicalIndex& index : result.logical)
        if (index.realIndex >= realCount)
            definition.fail("index \"" + index.name + "\" names real index " + std::to_string(index.realIndex) +
                            ", but the definition has " + std::to_string(realCount));
    readColumnMaps(definition, at, columnNumbers);
    return result;
}

}  // namespace

// Contract: see the header. Logical indexes keep their stored order and are paired with their
// real index by the number they store, which need not be their position.
TableDefinition readTableDefinition(const FileImage& file, std::uint32_t page)
{
    const Layout& layout = file.jet3 ? kJet3Layout : kJet4Layout;
    Definition definition(file, page, layout);
    return readDefinition(definition, layout);
}

// Contract: see the header. The map's address is at 35 (Jet 3) or 55 (Jet 4) of the definition's
// first page. A map row is a type byte, then for type 0 a start page and a bitmap whose bit i
// stands for page start + i; for type 1 the numbers of bitmap pages (0 for none), the k-th
// covering pages k * B to (k + 1) * B - 1 with B = (page size - 4) * 8 bits after its 4-byte
// header.
//     00 | 10 00 00 00 | 05   -> pages 16 and 18
std::uint32_t rowPageMapAddress(const FileImage& file, std::uint32_t page)
{
    if (page == 0 || page >= file.size / file.pageSize())
        throw FormatError("table definition at page " + std::to_string(page) + " is past the file's end");
    const std::size_t at = file.jet3 ? 35 : 55;
    return u32At(file.pageStart(page, at + 4) + at);
}

std::vector<std::uint32_t> rowPages(const FileImage& file, std::uint32_t page)
{
    const std::size_t pageSize = file.pageSize();
    const std::size_t pageCount = file.size / pageSize;
    const std::string table = "table definition at page " + std::to_string(page);
    const std::uint32_t address = rowPageMapAddress(file, page);
    std::vector<std::uint8_t> map;
    try {
        map = readRow(file, address >> 8, address & 0xFF);
    } catch (const FormatError& e) {
        throw FormatError(table + ": its map of row pages: " + e.what());
    }
    auto fail = [&table](const std::string& what) { throw FormatError(table + ": its map of row pages " + what); };
    std::vector<std::uint32_t> pages;  // in rising order, as the bits come
    // Adds the pages whose bits are set in bitmap, the first bit standing for page first.
    auto addPages = [&](const std::uint8_t* bitmap, std::size_t bytes, std::uint64_t first) {
        for (std::size_t i = 0; i < bytes * 8; ++i) {
            if (!(bitmap[i / 8] >> (i % 8) & 1)) continue;
            std::uint64_t listed = first + i;
            if (listed == 0 || listed >= pageCount)
                fail("lists page " + std::to_string(listed) + ", which is not in the file (it has " +
                     std::to_string(pageCount) + " pages)");
            pages.push_back(static_cast<std::uint32_t>(listed));
        }
    };
    if (map.size() < 5) fail("is too short");
    if (map[0] == 0) {
        addPages(map.data() + 5, map.size() - 5, u32At(map.data() + 1));
    } else if (map[0] == 1) {
        const std::size_t bitsPerPage = (pageSize - 4) * 8;
        for (std::size_t at = 1, k = 0; at + 4 <= map.size(); at += 4, ++k) {
            std::uint32_t bitmapPage = u32At(map.data() + at);
            if (bitmapPage == 0) continue;
            if (bitmapPage >= pageCount) fail("names page " + std::to_string(bitmapPage) + ", past the file's end");
            const std::uint8_t* bitmap = file.page(bitmapPage);
            if (bitmap[0] != 0x05)
                fail("names page " + std::to_string(bitmapPage) + " as a bitmap, but it is none (it starts with " +
                     std::to_string(bitmap[0]) + ")");
            addPages(bitmap + 4, pageSize - 4, static_cast<std::uint64_t>(k) * bitsPerPage);
        }
    } else {
        fail("is of an unknown kind " + std::to_string(map[0]));
    }
    return pages;
}

}  // namespace engine
