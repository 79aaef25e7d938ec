// Jet 3 and Jet 4 databases that Access encodes or protects with a database password.
//
// An encoded database has a non-zero key in its header page; every page after the first is then
// RC4-encrypted with a key made of that key and the page's number. The desktop engine opens such
// a file without asking for anything. A database password is kept in the header page as well,
// and is checked before anything else of the file is read.
//
// The header offsets below are those of the header page once its masked block (rc4.h) is
// unmasked.
#pragma once

#include "design.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <span>
#include <vector>

namespace engine {

constexpr std::size_t kEncodingKeyAt = 0x3E;   // 4 bytes; 0 when the pages are not encoded
constexpr std::size_t kPasswordAt = 0x42;      // Jet 3: 20 bytes; Jet 4: 20 UTF-16 units
constexpr std::size_t kCreationDateAt = 0x72;  // Jet 4: an 8-byte date, whose day masks the password

// How many bytes of the header page, from kHeaderMaskStart, Access masks: 126 for Jet 3, 128 for
// later formats.
std::size_t headerMaskLength(FileFormat format);

// Masks or unmasks (the same step) the masked block of a header page in place; header holds at
// least kHeaderMaskStart + headerMaskLength(format) bytes.
void toggleHeaderMask(std::uint8_t* header, FileFormat format);

// The RC4 key of page pageNumber of a database encoded with encodingKey: the four
// little-endian bytes of encodingKey XOR pageNumber. Key 0x11223344, page 2: 46 33 22 11.
std::array<std::uint8_t, 4> pageKey(std::uint32_t encodingKey, std::uint32_t pageNumber);

// Encodes, or decodes (the same step), every whole page after the first of a file of size bytes
// with encodingKey. The header page is left as it is.
void encodePages(std::uint8_t* bytes, std::size_t size, std::size_t pageSize, std::uint32_t encodingKey);

// The whole days of a Jet 4 creation date, as the password's mask takes them: the date's
// integer part (towards zero), limited to the range of a 32-bit integer, 0 for a NaN.
std::int32_t creationDay(double created);

// The 40 bytes a Jet 4 header keeps at kPasswordAt for password (UTF-8, at most 20 UTF-16
// units; "" for none): the UTF-16LE password padded with zeros, each byte XORed with the
// little-endian bytes of creationDay(created), repeated. Throws std::invalid_argument when the
// password is too long or no UTF-8.
std::array<std::uint8_t, 40> jet4PasswordField(const std::string& password, double created);

// The database password an unmasked Jet 3 or Jet 4 header keeps, as UTF-8: up to the first NUL
// (Jet 3: code page 1252 bytes; Jet 4: UTF-16 units), "" when there is none.
std::string storedPassword(const std::uint8_t* unmaskedHeader, FileFormat format);

// The checks of a Jet 3 or Jet 4 header page (unmasked, a whole page) made before the rest of the
// file is read. An encoded header must read as Access writes one (otherwise it is damaged, or
// from an Access version before 95). A database password must be given (password, UTF-8; "" for
// none) and match exactly, letter case included. Throws OpenError: "no password given"
// (OpenProblem::PasswordNeeded), "wrong password" (OpenProblem::WrongPassword), or the header's
// fault; path only names the file.
void checkJetHeader(const std::string& path, const std::uint8_t* unmaskedHeader, FileFormat format,
                    const std::string& password);

// Decodes an encoded Jet 3 or Jet 4 file in place and clears the key in its header, so that
// everything reading the bytes afterwards, libmdb included, sees a plain file. Returns whether the
// file was encoded; does nothing to a plain file (so a second call changes nothing). bytes holds
// whole pages of format, at least the header page.
bool decodeJetPages(std::span<std::uint8_t> bytes, FileFormat format);

}  // namespace engine
