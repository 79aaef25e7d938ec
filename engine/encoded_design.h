// A design kept in its serialized form — the bytes the reader process sends — together with
// where each table, field, index, relation and query starts in them. The window process holds
// its two designs this way: about the size of the bytes themselves, where a design built of
// strings and values takes ten to twenty times as much. Values are decoded when they are asked
// for (database_engine.h).
//
// The bytes, front to back:
//
//     "DLDS" 02                        signature, version
//     format                           one byte: 0 Jet 3, 1 Jet 4, 2 ACE
//     count  | (length | name)...      the name pool: property names of at most 64 bytes
//     length | bytes                   the database name: its path, not necessarily UTF-8
//     count  | table...                name | count | field... | count | index...
//                                        field: name | properties
//                                        index: name | fields | properties
//     count  | relation...             name | table | foreign table | count | (name | foreign name)...
//                                      | properties
//     count  | query...                name | properties
//
// A count or length is an unsigned LEB128 number (seven bits a byte, low bits first, the high bit
// set on every byte but the last) in its shortest form. A text is its length in bytes and that
// many bytes of UTF-8. Properties are a count and, for each, a name reference and a value. The
// reference is n >= 1 for entry n - 1 of the name pool, or 0 and a text for a name written where
// it is used (one longer than 64 bytes). A value is a tag byte and what the tag calls for:
//
//     0 Null   1 False   2 True   3 a number: the 8 bytes of the double, little-endian
//     4 a whole number from -2^53 to 2^53 (not -0) as a zigzag LEB128: 0 1 -1 2 ... as 0 1 2 3 ...
//     5 a text
//
// So a field's 17 properties cost two bytes each plus their values: "Attributes=2" is the three
// bytes 02 04 04 when Attributes is pooled name 1.
#pragma once

#include "design.h"
#include "variant.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace engine {

namespace design_format {
inline constexpr char kSignature[4] = {'D', 'L', 'D', 'S'};
inline constexpr std::uint8_t kVersion = 2;  // 2 added the format byte
// The format's byte, and back (kFormats[byte] for a byte below 3).
inline constexpr FileFormat kFormats[] = {FileFormat::Jet3, FileFormat::Jet4, FileFormat::Ace};
constexpr std::uint8_t formatByte(FileFormat format)
{
    return format == FileFormat::Jet3 ? 0 : format == FileFormat::Jet4 ? 1 : 2;
}
inline constexpr std::size_t kLongestPooledName = 64;  // Access names have at most 64 characters
inline constexpr std::uint64_t kLargestWhole = std::uint64_t{1} << 53;  // larger whole doubles skip numbers
enum Tag : std::uint8_t { kNull = 0, kFalse = 1, kTrue = 2, kNumber = 3, kWhole = 4, kText = 5 };
}  // namespace design_format

class EncodedDesign {
public:
    // Where a table is: its name's offset, then its fields' and indexes' entries in
    // fields() and indexes().
    struct Table {
        std::uint32_t name = 0;
        std::uint32_t firstField = 0, fieldCount = 0;
        std::uint32_t fieldsEnd = 0;  // where the last field's record ends (the index count)
        std::uint32_t fewestFieldProperties = 0;  // the fewest properties a field has; 0 without fields
        std::uint32_t firstIndex = 0, indexCount = 0;
        std::uint32_t indexesEnd = 0;  // where the last index's record ends
        bool distinctFieldNames = false;  // no two of its fields have the same name
        bool distinctIndexNames = false;  // no two of its indexes have the same name
    };

    // Checks bytes from end to end and keeps them. Bytes come from another process and are trusted
    // no more than the file they were read from: throws FormatError naming what is wrong and where
    // when anything is malformed, incomplete or out of bounds — an unknown tag, a count above what a
    // collection can hold (32,767 items), a length past the end, text that is not UTF-8, a pool
    // reference past the pool, bytes left over.
    static std::unique_ptr<const EncodedDesign> decode(std::string bytes);
    // The same for the bytes of a read-only mapping of mappedBytes bytes at mapped, from offset
    // from to its end, which the design unmaps when it goes (also when decoding throws).
    static std::unique_ptr<const EncodedDesign> decodeMapped(const void* mapped, std::size_t mappedBytes,
                                                             std::size_t from);

    EncodedDesign(const EncodedDesign&) = delete;
    EncodedDesign& operator=(const EncodedDesign&) = delete;
    ~EncodedDesign();

    std::string_view name() const;  // the database name the bytes carry: its path, as bytes
    FileFormat format() const { return format_; }  // the file format of the database
    const std::vector<Table>& tables() const { return tables_; }
    // Offsets of records: a field's (name, properties), an index's (name, fields, properties),
    // a relation's (name, table, foreign table, field pairs, properties), a query's (name,
    // properties); the fields and indexes of all tables one after the other.
    const std::vector<std::uint32_t>& fields() const { return fields_; }
    const std::vector<std::uint32_t>& indexes() const { return indexes_; }
    const std::vector<std::uint32_t>& relations() const { return relations_; }
    const std::vector<std::uint32_t>& queries() const { return queries_; }

    // The first position of a table or query with exactly this name, or -1.
    int tablePosition(std::string_view name) const;
    // Whether no two tables have the same name.
    bool tableNamesDiffer() const { return tableByName_.size() == tables_.size(); }
    int queryPosition(std::string_view name) const;

    // Reading the checked bytes at offset at: number, text and skipText move at past what they
    // read; textAt leaves it.
    std::uint64_t number(std::uint32_t& at) const;
    std::string_view text(std::uint32_t& at) const;
    void skipText(std::uint32_t& at) const { at += static_cast<std::uint32_t>(number(at)); }
    std::string_view textAt(std::uint32_t at) const { return text(at); }

    // A property entry at offset at (name reference, value): its name, its value, and where the
    // entry after it starts.
    std::string_view propertyName(std::uint32_t at) const;
    Variant propertyValue(std::uint32_t at) const;
    // Whether the values of the entries at a (in this design) and b (in other) are stored as the
    // same bytes, and so are the same value, but for a number that is not equal to itself (NaN).
    bool sameValue(std::uint32_t a, const EncodedDesign& other, std::uint32_t b) const;
    std::uint32_t nextProperty(std::uint32_t at) const;
    // Whether the bytes from a to aEnd here are those from b to bEnd in other, and so say the
    // same: both designs pool the same names in the same order, and neither holds a number that
    // is not equal to itself (NaN).
    bool sameRecord(std::uint32_t a, std::uint32_t aEnd, const EncodedDesign& other, std::uint32_t b,
                    std::uint32_t bEnd) const;

private:
    EncodedDesign();
    friend class DesignDecoder;

    // Where the value of the entry at offset at starts.
    std::uint32_t valueOffset(std::uint32_t at) const;

    std::string held_;                    // the bytes, when they came as a string
    const void* mapped_ = nullptr;        // or the mapping they are in ...
    std::size_t mappedBytes_ = 0;         // ... and its size
    std::string_view bytes_;              // the design's bytes, in one of them
    std::uint32_t name_ = 0;                       // the database name's offset
    FileFormat format_ = FileFormat::Jet4;
    std::vector<std::string_view> pool_;           // the pooled property names, in bytes_
    std::vector<Table> tables_;
    std::vector<std::uint32_t> fields_, indexes_, relations_, queries_;
    std::unordered_map<std::string_view, int> tableByName_, queryByName_;  // first position of a name
    bool holdsNaN_ = false;                        // some value is a number not equal to itself
    const std::uint64_t serial_;                   // this design's own number in the process
    mutable std::atomic<std::uint64_t> poolAlike_{0};  // the serial of a design found to pool alike
};

}  // namespace engine
