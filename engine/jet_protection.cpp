#include "jet_protection.h"

#include "database_file.h"
#include "little_endian.h"
#include "rc4.h"
#include "text_codec.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace engine {

namespace {

constexpr std::size_t kJet3PasswordBytes = 20;
constexpr std::size_t kJet4PasswordUnits = 20;

// What the first 24 bytes of every unmasked Jet 3 and Jet 4 header hold (from kHeaderMaskStart).
constexpr std::uint8_t kUnmaskedStart[24] = {0, 1, 0, 0, 1, 1, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0};

// The UTF-16 code units of a UTF-8 text. Throws std::invalid_argument when it is no UTF-8.
std::vector<char16_t> utf16Units(const std::string& utf8)
{
    std::vector<char16_t> units;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t length = utf8SequenceLength(p, i, utf8.size());
        if (length == 0) throw std::invalid_argument("the password is no UTF-8 text");
        char32_t c = length == 1 ? p[i] : p[i] & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) c = c << 6 | (p[i + k] & 0x3F);
        if (c >= 0x10000) {
            units.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(c));
        }
        i += length;
    }
    return units;
}

// The 4 bytes that mask a Jet 4 password: the creation day, little-endian.
std::array<std::uint8_t, 4> passwordMask(double created)
{
    auto day = static_cast<std::uint32_t>(creationDay(created));
    return {static_cast<std::uint8_t>(day), static_cast<std::uint8_t>(day >> 8), static_cast<std::uint8_t>(day >> 16),
            static_cast<std::uint8_t>(day >> 24)};
}

double creationDateOf(const std::uint8_t* unmaskedHeader)
{
    double created = 0;
    std::memcpy(&created, unmaskedHeader + kCreationDateAt, sizeof created);
    return created;
}

}  // namespace

std::size_t headerMaskLength(FileFormat format) { return format == FileFormat::Jet3 ? 126 : 128; }

void toggleHeaderMask(std::uint8_t* header, FileFormat format)
{
    auto mask = rc4Keystream(kHeaderMaskKey, headerMaskLength(format));
    for (std::size_t i = 0; i < mask.size(); ++i) header[kHeaderMaskStart + i] ^= mask[i];
}

std::array<std::uint8_t, 4> pageKey(std::uint32_t encodingKey, std::uint32_t pageNumber)
{
    std::uint32_t key = encodingKey ^ pageNumber;
    return {static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(key >> 8), static_cast<std::uint8_t>(key >> 16),
            static_cast<std::uint8_t>(key >> 24)};
}

void encodePages(std::uint8_t* bytes, std::size_t size, std::size_t pageSize, std::uint32_t encodingKey)
{
    for (std::size_t page = 1; (page + 1) * pageSize <= size; ++page) {
        auto key = pageKey(encodingKey, static_cast<std::uint32_t>(page));
        rc4Apply(key.data(), key.size(), bytes + page * pageSize, pageSize);
    }
}

std::int32_t creationDay(double created)
{
    if (std::isnan(created)) return 0;
    if (created >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (created <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(created);
}

std::array<std::uint8_t, 40> jet4PasswordField(const std::string& password, double created)
{
    std::vector<char16_t> units = utf16Units(password);
    if (units.size() > kJet4PasswordUnits) throw std::invalid_argument("the password is longer than 20 characters");
    std::array<std::uint8_t, 40> field{};
    for (std::size_t i = 0; i < units.size(); ++i) {
        field[2 * i] = static_cast<std::uint8_t>(units[i]);
        field[2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
    }
    auto mask = passwordMask(created);
    for (std::size_t i = 0; i < field.size(); ++i) field[i] ^= mask[i % 4];
    return field;
}

std::string storedPassword(const std::uint8_t* unmaskedHeader, FileFormat format)
{
    const std::uint8_t* stored = unmaskedHeader + kPasswordAt;
    if (format == FileFormat::Jet3) {
        std::size_t length = 0;
        while (length < kJet3PasswordBytes && stored[length] != 0) ++length;
        return cp1252ToUtf8(stored, length);
    }
    std::array<std::uint8_t, 2 * kJet4PasswordUnits> field{};  // the password's UTF-16LE bytes, unmasked
    auto mask = passwordMask(creationDateOf(unmaskedHeader));
    for (std::size_t i = 0; i < field.size(); ++i) field[i] = stored[i] ^ mask[i % 4];
    std::size_t units = 0;
    while (units < kJet4PasswordUnits && (field[2 * units] | field[2 * units + 1]) != 0) ++units;
    return utf16leToUtf8(field.data(), 2 * units);
}

void checkJetHeader(const std::string& path, const std::uint8_t* unmaskedHeader, FileFormat format,
                    const std::string& password)
{
    // Before Access 95 the header was laid out otherwise; a key read from such a header, or from a
    // damaged one, would only decode the pages into noise.
    if (u32At(unmaskedHeader + kEncodingKeyAt) != 0 &&
        std::memcmp(unmaskedHeader + kHeaderMaskStart, kUnmaskedStart, sizeof kUnmaskedStart) != 0)
        throw OpenError(path, "damaged, or not a file of Access 95 or later: the header page says the database is "
                              "encoded, but does not read as Access writes one");
    std::string stored = storedPassword(unmaskedHeader, format);
    if (stored.empty()) return;
    // Access compares database passwords exactly: letter case matters.
    if (password.empty()) throw OpenError(path, "no password given", OpenProblem::PasswordNeeded);
    if (password != stored) throw OpenError(path, "wrong password", OpenProblem::WrongPassword);
}

bool decodeJetPages(std::span<std::uint8_t> bytes, FileFormat format)
{
    toggleHeaderMask(bytes.data(), format);
    std::uint32_t key = u32At(bytes.data() + kEncodingKeyAt);
    std::memset(bytes.data() + kEncodingKeyAt, 0, 4);
    toggleHeaderMask(bytes.data(), format);
    if (key == 0) return false;
    encodePages(bytes.data(), bytes.size(), pageSizeOf(format), key);
    return true;
}

}  // namespace engine
