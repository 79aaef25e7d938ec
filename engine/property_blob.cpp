// The property blobs of the catalog. A blob is a signature and a run of chunks:
//
//     "MR2\0" or "KKD\0"
//     chunk: u32 length (itself included) | u16 type | body
//       type 0x80  the name pool: (u16 byte length | name) repeated
//       type 0x00  the object's own value block
//       type 0x01  the value block of one part (a table's field, a query's column)
//     value block: u32 (6 + name length) | u16 name length | name | properties
//     property:    u16 length (itself included) | ddl byte | type byte | u16 index into the
//                  name pool | u16 value length | value
//
// Names and texts are UTF-16LE after "MR2\0" (Jet 4 and later) and code page 1252 after "KKD\0"
// (Jet 3). Every length is checked against the bytes it claims, and against the lengths the files
// Access writes use, so that a damaged blob is refused rather than half read.
#include "property_blob.h"

#include "little_endian.h"

#include "format_error.h"
#include "text_codec.h"

#include <cstring>
#include <optional>

namespace engine {

namespace {

constexpr std::size_t kSignatureSize = 4;
constexpr std::size_t kChunkHeaderSize = 6;      // u32 length, u16 type
constexpr std::size_t kBlockHeaderSize = 6;      // u32 header length, u16 name length
constexpr std::size_t kPropertyHeaderSize = 8;   // u16 length, ddl, type, u16 name index, u16 value length

constexpr std::uint16_t kNamePoolChunk = 0x80;
constexpr std::uint16_t kObjectChunk = 0x00;
constexpr std::uint16_t kPartChunk = 0x01;

// The stored type codes of property values.
enum ValueType : int {
    kYesNo = 1,
    kByte = 2,
    kInteger = 3,
    kLong = 4,
    kCurrency = 5,
    kSingle = 6,
    kDouble = 7,
    kDateTime = 8,
    kBinary = 9,
    kText = 10,
    kOle = 11,
    kMemo = 12,
    kGuid = 15,
    kDecimal = 16,
};

// "at byte 12" style position for messages.
std::string atByte(std::size_t offset) { return "at byte " + std::to_string(offset); }

std::uint64_t u64At(const std::uint8_t* p)
{
    return static_cast<std::uint64_t>(u32At(p)) | static_cast<std::uint64_t>(u32At(p + 4)) << 32;
}

// Upper-case hex digits of size bytes, as "0x" and two digits per byte: {0x01, 0xAB} -> "0x01AB".
std::string hexText(const std::uint8_t* data, std::size_t size)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out = "0x";
    out.reserve(2 + 2 * size);
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 0x0F];
    }
    return out;
}

// A 16-byte GUID as Access shows it, the first three groups stored little-endian:
// 33 22 11 00 55 44 77 66 88 99 AA BB CC DD EE FF -> "{00112233-4455-6677-8899-AABBCCDDEEFF}".
std::string guidText(const std::uint8_t* p)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    // The byte order of the 32 digits: three little-endian groups, then the last eight bytes.
    static constexpr int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    std::string out = "{";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        out += digits[p[order[i]] >> 4];
        out += digits[p[order[i]] & 0x0F];
    }
    return out + "}";
}

// The parser of one blob: its bytes, their text encoding (known once the signature is read) and
// the name pool (known once its chunk is read).
class BlobParser {
public:
    BlobParser(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    // The whole blob; see parsePropertyBlob.
    std::vector<PropertyBlock> parse();

private:
    // Text of size bytes at offset in the blob's encoding. what names the text for messages.
    // A UTF-16LE text of an odd byte count is refused: its last character would be lost.
    std::string text(std::size_t offset, std::size_t size, const char* what) const;

    // Reads the name pool from a chunk's body, the bytes [begin, end).
    void readNamePool(std::size_t begin, std::size_t end);

    // Reads the value block in the body [begin, end) of a chunk of the given type.
    PropertyBlock readBlock(std::size_t chunkStart, std::uint16_t chunkType, std::size_t begin,
                            std::size_t end) const;

    // The value of a property of the given stored type whose size value bytes start at offset.
    Variant value(int type, std::size_t offset, std::size_t size) const;

    const std::uint8_t* data_;
    std::size_t size_;
    bool utf16_ = true;                            // "MR2": UTF-16LE texts; "KKD": code page 1252
    std::optional<std::vector<std::string>> pool_; // the names, once the pool chunk was read
};

// Contract: see parsePropertyBlob. Walks the chunks; every chunk must lie inside the blob, be of
// a known type, and the name pool must come before any value block (as in every real file).
std::vector<PropertyBlock> BlobParser::parse()
{
    if (size_ < kSignatureSize)
        throw FormatError("property blob of " + std::to_string(size_) + " bytes is too short for its signature");
    if (std::memcmp(data_, "MR2\0", 4) == 0) {
        utf16_ = true;
    } else if (std::memcmp(data_, "KKD\0", 4) == 0) {
        utf16_ = false;
    } else {
        throw FormatError("property blob starts with " + hexText(data_, 4) + ", not with MR2 or KKD");
    }

    std::vector<PropertyBlock> blocks;
    std::size_t chunkStart = kSignatureSize;
    while (chunkStart < size_) {
        std::size_t left = size_ - chunkStart;  // bytes from the chunk's start to the blob's end
        if (left < kChunkHeaderSize)
            throw FormatError("property blob: chunk " + atByte(chunkStart) + " is cut off after " +
                              std::to_string(left) + " bytes of its 6-byte header");
        std::uint32_t length = u32At(data_ + chunkStart);
        std::uint16_t type = u16At(data_ + chunkStart + 4);
        if (length < kChunkHeaderSize)
            throw FormatError("property blob: chunk " + atByte(chunkStart) + " has length " +
                              std::to_string(length) + ", less than its own header");
        if (length > left)
            throw FormatError("property blob: chunk " + atByte(chunkStart) + " has length " +
                              std::to_string(length) + ", past the blob's end at byte " + std::to_string(size_));
        std::size_t bodyBegin = chunkStart + kChunkHeaderSize;
        std::size_t bodyEnd = chunkStart + length;
        if (type == kNamePoolChunk) {
            if (pool_)
                throw FormatError("property blob: a second name pool " + atByte(chunkStart));
            readNamePool(bodyBegin, bodyEnd);
        } else if (type == kObjectChunk || type == kPartChunk) {
            if (!pool_)
                throw FormatError("property blob: value block " + atByte(chunkStart) + " comes before the name pool");
            blocks.push_back(readBlock(chunkStart, type, bodyBegin, bodyEnd));
        } else {
            throw FormatError("property blob: chunk " + atByte(chunkStart) + " has unknown type " +
                              std::to_string(type));
        }
        chunkStart = bodyEnd;
    }
    return blocks;
}

// Contract: size bytes at offset, already checked to lie in the blob, as UTF-8.
std::string BlobParser::text(std::size_t offset, std::size_t size, const char* what) const
{
    if (!utf16_) return cp1252ToUtf8(data_ + offset, size);
    if (size % 2 != 0)
        throw FormatError(std::string("property blob: ") + what + " " + atByte(offset) + " has an odd length of " +
                          std::to_string(size) + " bytes for UTF-16 text");
    return utf16leToUtf8(data_ + offset, size);
}

// Contract: fills pool_ with the names of the body [begin, end), in stored order (a property names
// its name by that position). Each entry must fit in the body and have a name.
void BlobParser::readNamePool(std::size_t begin, std::size_t end)
{
    std::vector<std::string> names;
    std::size_t at = begin;
    while (at < end) {
        if (end - at < 2)
            throw FormatError("property blob: name pool entry " + atByte(at) + " is cut off at the chunk's end");
        std::uint16_t length = u16At(data_ + at);
        if (length == 0) throw FormatError("property blob: empty name in the name pool " + atByte(at));
        if (length > end - at - 2)
            throw FormatError("property blob: name pool entry " + atByte(at) + " of " + std::to_string(length) +
                              " bytes runs past its chunk's end at byte " + std::to_string(end));
        names.push_back(text(at + 2, length, "name"));
        at += 2 + static_cast<std::size_t>(length);
    }
    pool_ = std::move(names);
}

// Contract: the block in the body [begin, end) of the chunk at chunkStart. The object's own block
// (type 0x00) has no name; a part's block (0x01) must have one, so the two cannot be confused.
// Properties must fill the body exactly, each one's length being its header plus its value.
PropertyBlock BlobParser::readBlock(std::size_t chunkStart, std::uint16_t chunkType, std::size_t begin,
                                    std::size_t end) const
{
    if (end - begin < kBlockHeaderSize)
        throw FormatError("property blob: value block " + atByte(begin) + " is cut off: its chunk ends at byte " +
                          std::to_string(end));
    std::uint32_t headerLength = u32At(data_ + begin);
    std::uint16_t nameLength = u16At(data_ + begin + 4);
    if (headerLength != kBlockHeaderSize + nameLength)
        throw FormatError("property blob: value block " + atByte(begin) + " gives its header as " +
                          std::to_string(headerLength) + " bytes, but 6 + its name's " + std::to_string(nameLength));
    if (nameLength > end - begin - kBlockHeaderSize)
        throw FormatError("property blob: the name of value block " + atByte(begin) +
                          " runs past its chunk's end at byte " + std::to_string(end));
    if (chunkType == kObjectChunk && nameLength != 0)
        throw FormatError("property blob: the object's own block " + atByte(chunkStart) + " has a name");
    if (chunkType == kPartChunk && nameLength == 0)
        throw FormatError("property blob: the part's block " + atByte(chunkStart) + " has no name");

    PropertyBlock block;
    block.name = text(begin + kBlockHeaderSize, nameLength, "block name");
    std::size_t at = begin + kBlockHeaderSize + nameLength;
    while (at < end) {
        if (end - at < kPropertyHeaderSize)
            throw FormatError("property blob: property " + atByte(at) + " is cut off after " +
                              std::to_string(end - at) + " bytes of its 8-byte header");
        std::uint16_t length = u16At(data_ + at);
        int type = data_[at + 3];
        std::uint16_t nameIndex = u16At(data_ + at + 4);
        std::uint16_t valueLength = u16At(data_ + at + 6);
        if (length != kPropertyHeaderSize + valueLength)
            throw FormatError("property blob: property " + atByte(at) + " has length " + std::to_string(length) +
                              ", but 8 + its value's " + std::to_string(valueLength));
        if (length > end - at)
            throw FormatError("property blob: property " + atByte(at) + " of " + std::to_string(length) +
                              " bytes runs past its chunk's end at byte " + std::to_string(end));
        if (nameIndex >= pool_->size())
            throw FormatError("property blob: property " + atByte(at) + " names entry " + std::to_string(nameIndex) +
                              " of a name pool of " + std::to_string(pool_->size()));
        StoredProperty property;
        property.name = (*pool_)[nameIndex];
        property.type = type;
        property.value = value(type, at + kPropertyHeaderSize, valueLength);
        block.properties.push_back(std::move(property));
        at += length;
    }
    return block;
}

// Contract: the value of size bytes at offset (inside the blob) for a stored type. A text or a
// binary value may be empty: "" and "0x", not Null (DefaultValue set to "" is not the same as
// no DefaultValue). An empty value of a type with a fixed size (a number, a Date/Time, a GUID) is
// Null. Numbers must have their type's size; Access also writes Yes/No and Integer values in four
// bytes (TotalsRow, ColumnWidth), which are read as a whole. A Single is served at its exact
// value (0.1 stored as a Single is 0.100000001490116...). Types without a sound number or text
// form, Decimal included, are served as hex text.
Variant BlobParser::value(int type, std::size_t offset, std::size_t size) const
{
    const std::uint8_t* p = data_ + offset;
    const bool fixedSize = (type >= kYesNo && type <= kDateTime) || type == kGuid || type == kDecimal;
    if (size == 0 && fixedSize) return Variant();
    auto requireSize = [&](std::initializer_list<std::size_t> allowed, const char* typeName) {
        for (std::size_t s : allowed)
            if (s == size) return;
        throw FormatError(std::string("property blob: ") + typeName + " value " + atByte(offset) + " has " +
                          std::to_string(size) + " bytes");
    };
    switch (type) {
    case kYesNo: {
        requireSize({1, 4}, "Yes/No");
        bool set = false;
        for (std::size_t i = 0; i < size; ++i) set = set || p[i] != 0;
        return Variant::boolean(set);
    }
    case kByte:
        requireSize({1}, "Byte");
        return Variant::number(p[0]);
    case kInteger:
        requireSize({2, 4}, "Integer");
        return Variant::number(size == 2 ? static_cast<std::int16_t>(u16At(p)) : static_cast<std::int32_t>(u32At(p)));
    case kLong:
        requireSize({4}, "Long");
        return Variant::number(static_cast<std::int32_t>(u32At(p)));
    case kCurrency:
        requireSize({8}, "Currency");
        return Variant::number(static_cast<double>(static_cast<std::int64_t>(u64At(p))) / 10000.0);
    case kSingle: {
        requireSize({4}, "Single");
        float single;
        std::uint32_t bits = u32At(p);
        std::memcpy(&single, &bits, sizeof single);
        return Variant::number(static_cast<double>(single));
    }
    case kDouble:
    case kDateTime: {  // Date/Time: the day number, served as the number itself
        requireSize({8}, type == kDouble ? "Double" : "Date/Time");
        double number;
        std::uint64_t bits = u64At(p);
        std::memcpy(&number, &bits, sizeof number);
        return Variant::number(number);
    }
    case kText:
    case kMemo:
        return Variant::text(text(offset, size, "text value"));
    case kGuid:
        requireSize({16}, "GUID");
        return Variant::text(guidText(p));
    case kBinary:
    case kOle:
    case kDecimal:  // its layout in a blob is not known from real files: kept exact as hex
    default:        // types of unknown layout
        return Variant::text(hexText(p, size));
    }
}

}  // namespace

// Contract: see the header. For instance "MR2\0", a pool naming "Required", the object's block
// with no properties and a block "ID" holding Required = Yes give {{"", {}}, {"ID", {{"Required",
// 1, True}}}}. Blocks come in stored order (the object's own block is not always first).
std::vector<PropertyBlock> parsePropertyBlob(const std::uint8_t* data, std::size_t size)
{
    return BlobParser(data, size).parse();
}

}  // namespace engine
