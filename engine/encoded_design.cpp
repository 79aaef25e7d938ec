#include "encoded_design.h"

#include "design.h"
#include "design_path.h"
#include "format_error.h"
#include "text_codec.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <sys/mman.h>

namespace engine {

using namespace design_format;

namespace {

// An unsigned LEB128 number at p[at] in bytes already checked; moves at past it.
inline std::uint64_t checkedNumber(const unsigned char* p, std::uint32_t& at)
{
    std::uint64_t v = p[at] & 0x7F;
    if (!(p[at++] & 0x80)) return v;
    for (int shift = 7;; shift += 7) {
        std::uint8_t b = p[at++];
        v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) return v;
    }
}

// The double stored at p as its 8 bytes, little-endian (a value of tag kNumber).
double storedDouble(const char* p)
{
    std::uint64_t bits = 0;
    for (int k = 0; k < 8; ++k) bits |= static_cast<std::uint64_t>(static_cast<std::uint8_t>(p[k])) << 8 * k;
    return std::bit_cast<double>(bits);
}

}  // namespace

// Checks the bytes of a design from end to end (see encoded_design.h for their form), noting
// where each object starts. Refuses with a FormatError: "design data at byte 57: the name of
// field 2 of table 3 is not UTF-8".
class DesignDecoder {
public:
    explicit DesignDecoder(EncodedDesign& design)
        : design_(design), data_(reinterpret_cast<const unsigned char*>(design.bytes_.data())), size_(design.bytes_.size())
    {
    }

    void decode()
    {
        std::size_t signature = std::min(size_, sizeof kSignature);  // the bytes of it there are
        if (std::string_view(reinterpret_cast<const char*>(data_), signature) != std::string_view(kSignature, signature))
            fail(0, "the data", "does not start with the signature of a design");
        if (signature < sizeof kSignature) fail(size_, "the signature", "is cut off by the end of the data");
        // Offsets are kept in 32 bits; a design is a fraction of its file, and files stay below 2 GiB.
        if (size_ > std::numeric_limits<std::uint32_t>::max())
            fail(0, "the data", "is " + std::to_string(size_) + " bytes long, more than a design can be");
        at_ = sizeof kSignature;
        if (std::uint8_t version = byte("the version"); version != kVersion)
            fail(at_ - 1, "the version", "is " + std::to_string(version) + ", not " + std::to_string(kVersion));
        if (std::uint8_t format = byte("the file format"); format < std::size(kFormats))
            design_.format_ = kFormats[format];
        else
            fail(at_ - 1, "the file format", "is " + std::to_string(format) + ", not 0 (Jet 3), 1 (Jet 4) or 2 (ACE)");
        pool();

        design_.name_ = offset();
        bytes("the database name");  // a path: bytes, not necessarily UTF-8
        design_.tables_.resize(count("the table count", 3));  // name, field count, index count
        design_.tableByName_.reserve(design_.tables_.size());
        // Room for the fields of a real design in these bytes (a field takes about 40 of them),
        // so that the offsets are seldom copied as they grow; memory is taken as it is used.
        design_.fields_.reserve(left() / 32);
        for (std::size_t t = 0; t < design_.tables_.size(); ++t) {
            EncodedDesign::Table& table = design_.tables_[t];
            path_.enter("table", t);
            table.name = offset();
            std::string_view name = text("the name");
            design_.tableByName_.try_emplace(name, static_cast<int>(t));
            table.firstField = static_cast<std::uint32_t>(design_.fields_.size());
            table.fieldCount = static_cast<std::uint32_t>(count("the field count", 2));  // name, property count
            names_.clear();
            std::size_t fewest = table.fieldCount > 0 ? kMostItems : 0;  // properties of a field
            for (std::size_t f = 0; f < table.fieldCount; ++f) {
                path_.enter("field", f);
                design_.fields_.push_back(offset());
                names_.push_back(text("the name"));
                fewest = std::min(fewest, properties());
                path_.leave();
            }
            table.fewestFieldProperties = static_cast<std::uint32_t>(fewest);
            table.fieldsEnd = offset();
            table.distinctFieldNames = namesDiffer();
            table.firstIndex = static_cast<std::uint32_t>(design_.indexes_.size());
            table.indexCount = static_cast<std::uint32_t>(count("the index count", 3));  // name, fields, property count
            names_.clear();
            for (std::size_t x = 0; x < table.indexCount; ++x) {
                path_.enter("index", x);
                design_.indexes_.push_back(offset());
                names_.push_back(text("the name"));
                text("the fields");
                properties();
                path_.leave();
            }
            table.indexesEnd = offset();
            table.distinctIndexNames = namesDiffer();
            path_.leave();
        }
        design_.relations_.resize(count("the relation count", 5));  // three texts and two counts
        for (std::size_t r = 0; r < design_.relations_.size(); ++r) {
            path_.enter("relation", r);
            design_.relations_[r] = offset();
            text("the name");
            text("the table");
            text("the foreign table");
            std::size_t fields = count("the field count", 2);  // two texts
            for (std::size_t f = 0; f < fields; ++f) {
                path_.enter("field", f);
                text("the name");
                text("the foreign name");
                path_.leave();
            }
            properties();
            path_.leave();
        }
        design_.queries_.resize(count("the query count", 2));  // name, property count
        for (std::size_t q = 0; q < design_.queries_.size(); ++q) {
            path_.enter("query", q);
            design_.queries_[q] = offset();
            design_.queryByName_.try_emplace(text("the name"), static_cast<int>(q));
            properties();
            path_.leave();
        }
        if (at_ != size_)
            fail(at_, "the data", "goes on after the last query (" + std::to_string(size_ - at_) +
                                      (size_ - at_ == 1 ? " byte" : " bytes") + " left over)");
    }

private:
    [[noreturn]] void fail(std::size_t offset, const char* what, const std::string& problem) const
    {
        throw FormatError("design data at byte " + std::to_string(offset) + ": " + what + path_.describe() + " " +
                          problem);
    }

    std::uint32_t offset() const { return static_cast<std::uint32_t>(at_); }

    // Whether the names in names_ all differ. Keys made from them are compared: a name of up to
    // seven bytes is its own key (its bytes and its length); a longer one's is its hash, with the
    // top bit set. Equal names have equal keys, so a table is never taken for one of distinct
    // names when it is not.
    bool namesDiffer()
    {
        hashes_.clear();
        for (std::string_view name : names_) {
            if (name.size() > 7) {
                hashes_.push_back(std::hash<std::string_view>{}(name) | std::uint64_t{1} << 63);
                continue;
            }
            std::uint64_t key = static_cast<std::uint64_t>(name.size()) << 56;
            const auto* bytes = reinterpret_cast<const unsigned char*>(name.data());
            if (bytes + 8 <= data_ + size_) {  // the name's bytes and those after it, in one load
                std::uint64_t word = 0;
                std::memcpy(&word, bytes, 8);
                key |= word & ~(~std::uint64_t{0} << (8 * name.size()));
            } else {
                for (std::size_t k = 0; k < name.size(); ++k) key |= std::uint64_t{bytes[k]} << (8 * k);
            }
            hashes_.push_back(key);
        }
        std::sort(hashes_.begin(), hashes_.end());
        return std::adjacent_find(hashes_.begin(), hashes_.end()) == hashes_.end();
    }
    std::size_t left() const { return size_ - at_; }

    std::uint8_t byte(const char* what)
    {
        if (at_ == size_) fail(at_, what, "is cut off by the end of the data");
        return data_[at_++];
    }

    // An unsigned LEB128 number of at most nine bytes (63 bits) in its shortest form.
    std::uint64_t number(const char* what)
    {
        if (at_ < size_ && !(data_[at_] & 0x80)) return data_[at_++];  // most numbers are one byte
        std::size_t start = at_;
        std::uint64_t v = 0;
        for (int shift = 0; shift < 63; shift += 7) {
            if (at_ == size_) fail(start, what, "is cut off by the end of the data");
            std::uint8_t b = data_[at_++];
            v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
            if (!(b & 0x80)) {
                if (b == 0 && shift > 0) fail(start, what, "is a number not in its shortest form");
                return v;
            }
        }
        fail(start, what, "is a number longer than nine bytes");
    }

    // A count of items that take at least smallest bytes each: at most kMostItems and at most what
    // the bytes left can hold, so that room for them can be made before reading them.
    std::size_t count(const char* what, std::size_t smallest)
    {
        std::size_t start = at_;
        std::uint64_t n = number(what);
        if (n > kMostItems)
            fail(start, what, "is " + std::to_string(n) + ", more than " + std::to_string(kMostItems));
        if (n * smallest > left())
            fail(start, what, "is " + std::to_string(n) + ", more than the " + std::to_string(left()) +
                                  " bytes left can hold");
        return static_cast<std::size_t>(n);
    }

    // A length and that many bytes, viewed in place.
    std::string_view bytes(const char* what)
    {
        std::size_t start = at_;
        std::uint64_t length = number(what);
        if (length > left())
            fail(start, what, "is " + std::to_string(length) + " bytes long, past the end of the data (" +
                                  std::to_string(left()) + " bytes left)");
        std::string_view s(reinterpret_cast<const char*>(data_ + at_), static_cast<std::size_t>(length));
        at_ += s.size();
        return s;
    }

    // A length and that many bytes of UTF-8, viewed in place.
    std::string_view text(const char* what)
    {
        std::string_view s = bytes(what);
        std::size_t begin = at_ - s.size();  // where s starts
        if (std::size_t bad = firstNonUtf8(s); bad != std::string_view::npos) fail(begin + bad, what, "is not UTF-8");
        return s;
    }

    // The name pool: each entry at least its one length byte, none longer than kLongestPooledName.
    void pool()
    {
        std::size_t start = at_;
        std::uint64_t n = number("the name pool's count");
        if (n > left())
            fail(start, "the name pool's count", "is " + std::to_string(n) + ", more than the " +
                                                     std::to_string(left()) + " bytes left can hold");
        design_.pool_.reserve(static_cast<std::size_t>(n));
        for (std::size_t i = 0; i < n; ++i) {
            path_.enter("pooled name", i);
            std::size_t entry = at_;
            std::string_view name = text("the text");
            if (name.size() > kLongestPooledName)
                fail(entry, "the text", "is " + std::to_string(name.size()) + " bytes long, more than " +
                                            std::to_string(kLongestPooledName));
            design_.pool_.push_back(name);
            path_.leave();
        }
    }

    // A property list; its count.
    std::size_t properties()
    {
        std::size_t n = count("the property count", 2);  // name reference, tag
        if (quickProperties(n)) return n;
        for (std::size_t i = 0; i < n; ++i) {
            path_.enter("property", i);
            std::size_t start = at_;
            std::uint64_t reference = number("the name reference");
            if (reference == 0)
                text("the name");
            else if (reference > design_.pool_.size())
                fail(start, "the name reference", "is " + std::to_string(reference) + ", past the " +
                                                      std::to_string(design_.pool_.size()) + " pooled names");
            value();
            path_.leave();
        }
        return n;
    }

    // Checks n properties the way properties() does, as long as their name references and text
    // lengths take one byte, their whole numbers at most two and their texts are ASCII, which is
    // how nearly every property is stored; moves at_ past them and returns true when all are
    // sound. Returns false, leaving at_, at anything else and within kQuickMargin bytes of the
    // end: properties() then goes through them again, and says what is wrong if anything is.
    bool quickProperties(std::size_t n)
    {
        const unsigned char* p = data_ + at_;
        const unsigned char* const end = data_ + size_;
        // The references that take one byte and name a pooled name are 1 to this.
        const unsigned pooled = static_cast<unsigned>(std::min<std::size_t>(design_.pool_.size(), 0x7F));
        for (std::size_t i = 0; i < n; ++i) {
            if (static_cast<std::size_t>(end - p) < kQuickMargin) return false;
            if (static_cast<unsigned>(p[0]) - 1 >= pooled) return false;
            switch (p[1]) {
            case kNull:
            case kFalse:
            case kTrue: p += 2; break;
            case kWhole:
                if (p[2] < 0x80) {
                    p += 3;
                } else {
                    if (p[3] == 0 || p[3] >= 0x80) return false;  // longer, or not in its shortest form
                    p += 4;
                }
                break;
            case kText: {
                const unsigned length = p[2];
                if (length >= 0x80) return false;
                if (!ascii(p + 3, length)) return false;
                p += 3 + length;
                break;
            }
            case kNumber:
                if (const double number = storedDouble(reinterpret_cast<const char*>(p + 2)); number != number)
                    design_.holdsNaN_ = true;
                p += 10;
                break;
            default: return false;
            }
        }
        at_ = static_cast<std::size_t>(p - data_);
        return true;
    }

    // Whether the length bytes at text, fewer than 128, are all ASCII. Reads up to 16 bytes from
    // text however short it is: the caller sees that they are there.
    static bool ascii(const unsigned char* text, unsigned length)
    {
        std::uint64_t low = 0, high = 0;  // the text's first 16 bytes, those past it cleared
        std::memcpy(&low, text, 8);
        std::memcpy(&high, text + 8, 8);
        if (length < 16) {
            high &= length <= 8 ? 0 : ~std::uint64_t{0} >> (8 * (16 - length));
            low &= length >= 8 ? ~std::uint64_t{0} : ~(~std::uint64_t{0} << (8 * length));
        }
        std::uint64_t seen = low | high;  // the high bits of the text's bytes, eight at a time
        for (unsigned k = 16; k < length; k += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, text + k, 8);
            seen |= length - k >= 8 ? word : word & ~(~std::uint64_t{0} << (8 * (length - k)));
        }
        return !(seen & 0x8080808080808080u);
    }

    void value()
    {
        std::size_t start = at_;
        switch (byte("the value")) {
        case kNull:
        case kFalse:
        case kTrue: return;
        case kText: text("the value"); return;
        case kNumber: {
            if (left() < 8) fail(start, "the value", "is cut off by the end of the data");
            const double number = storedDouble(reinterpret_cast<const char*>(data_ + at_));
            if (number != number) design_.holdsNaN_ = true;
            at_ += 8;
            return;
        }
        case kWhole:
            if (number("the value") > 2 * kLargestWhole)  // 2^53 and -2^53 are 2^54 and 2^54 - 1
                fail(start, "the value", "is a whole number beyond 2^53");
            return;
        default:
            fail(start, "the value", "has the unknown tag " + std::to_string(data_[start]));
        }
    }

    EncodedDesign& design_;
    const unsigned char* data_;
    std::size_t size_;
    std::size_t at_ = 0;  // the next byte to read
    DesignPath path_;
    std::vector<std::string_view> names_;  // the names of the fields, or indexes, of the table being read
    std::vector<std::uint64_t> hashes_;    // their keys, sorted
    // What quickProperties may read of one property: a reference and a tag, a length and 127
    // bytes of text, and 8 bytes past a short text.
    static constexpr std::size_t kQuickMargin = 2 + 1 + 127 + 8;
};

EncodedDesign::EncodedDesign()
    : serial_([] {
          static std::atomic<std::uint64_t> designs{0};
          return ++designs;
      }())
{
}

std::unique_ptr<const EncodedDesign> EncodedDesign::decode(std::string bytes)
{
    std::unique_ptr<EncodedDesign> design(new EncodedDesign);
    design->held_ = std::move(bytes);
    design->bytes_ = design->held_;
    DesignDecoder(*design).decode();
    return design;
}

std::unique_ptr<const EncodedDesign> EncodedDesign::decodeMapped(const void* mapped, std::size_t mappedBytes,
                                                                 std::size_t from)
{
    std::unique_ptr<EncodedDesign> design(new EncodedDesign);
    design->mapped_ = mapped;
    design->mappedBytes_ = mappedBytes;
    from = std::min(from, mappedBytes);
    design->bytes_ = std::string_view(static_cast<const char*>(mapped) + from, mappedBytes - from);
    DesignDecoder(*design).decode();
    return design;
}

EncodedDesign::~EncodedDesign()
{
    if (mapped_) ::munmap(const_cast<void*>(mapped_), mappedBytes_);
}

std::string_view EncodedDesign::name() const { return textAt(name_); }

int EncodedDesign::tablePosition(std::string_view name) const
{
    auto found = tableByName_.find(name);
    return found == tableByName_.end() ? -1 : found->second;
}

int EncodedDesign::queryPosition(std::string_view name) const
{
    auto found = queryByName_.find(name);
    return found == queryByName_.end() ? -1 : found->second;
}

std::uint64_t EncodedDesign::number(std::uint32_t& at) const
{
    return checkedNumber(reinterpret_cast<const unsigned char*>(bytes_.data()), at);
}

std::string_view EncodedDesign::text(std::uint32_t& at) const
{
    auto length = static_cast<std::uint32_t>(number(at));
    std::string_view s(bytes_.data() + at, length);
    at += length;
    return s;
}

std::uint32_t EncodedDesign::valueOffset(std::uint32_t at) const
{
    if (number(at) == 0) skipText(at);
    return at;
}

std::string_view EncodedDesign::propertyName(std::uint32_t at) const
{
    std::uint64_t reference = number(at);
    return reference == 0 ? text(at) : pool_[reference - 1];
}

Variant EncodedDesign::propertyValue(std::uint32_t at) const
{
    at = valueOffset(at);
    switch (static_cast<std::uint8_t>(bytes_[at++])) {
    case kFalse: return Variant::boolean(false);
    case kTrue: return Variant::boolean(true);
    case kText: return Variant::text(std::string(text(at)));
    case kNumber: return Variant::number(storedDouble(bytes_.data() + at));
    case kWhole: {
        std::uint64_t zigzag = number(at);
        auto whole = static_cast<std::int64_t>(zigzag >> 1) ^ -static_cast<std::int64_t>(zigzag & 1);
        return Variant::number(static_cast<double>(whole));
    }
    default: return Variant();  // kNull; the decoder let no other tag through
    }
}

bool EncodedDesign::sameValue(std::uint32_t a, const EncodedDesign& other, std::uint32_t b) const
{
    const std::uint32_t valueA = valueOffset(a), valueB = other.valueOffset(b);
    const std::string_view bytesA(bytes_.data() + valueA, nextProperty(a) - valueA);
    const std::string_view bytesB(other.bytes_.data() + valueB, other.nextProperty(b) - valueB);
    if (bytesA != bytesB) return false;
    if (static_cast<std::uint8_t>(bytesA[0]) != kNumber) return true;
    const double number = storedDouble(bytesA.data() + 1);
    return number == number;
}

std::uint32_t EncodedDesign::nextProperty(std::uint32_t at) const
{
    at = valueOffset(at);
    switch (static_cast<std::uint8_t>(bytes_[at++])) {
    case kText: skipText(at); break;
    case kNumber: at += 8; break;
    case kWhole: number(at); break;
    default: break;
    }
    return at;
}

bool EncodedDesign::sameRecord(std::uint32_t a, std::uint32_t aEnd, const EncodedDesign& other, std::uint32_t b,
                               std::uint32_t bEnd) const
{
    if (holdsNaN_ || other.holdsNaN_) return false;
    if (std::string_view(bytes_.data() + a, aEnd - a) != std::string_view(other.bytes_.data() + b, bEnd - b))
        return false;
    if (&other == this || poolAlike_.load(std::memory_order_relaxed) == other.serial_) return true;
    if (pool_ != other.pool_) return false;
    poolAlike_.store(other.serial_, std::memory_order_relaxed);
    return true;
}

}  // namespace engine
