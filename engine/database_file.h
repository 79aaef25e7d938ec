// A database file opened for reading, after the checks that tell a user why a file cannot be
// opened: it is missing, not a regular file, not an Access database, of a format or an encryption
// Dualyn cannot read, protected by a database password that was not given, or cut short.
#pragma once

#include "descriptor.h"
#include "design.h"
#include "table_definition.h"

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace engine {

// What a caller can do about a database that did not open: nothing but report it, or ask for its
// password (none was given: "no password given"), or ask again (the one given was wrong: "wrong
// password").
enum class OpenProblem { Other, PasswordNeeded, WrongPassword };

// Why a database could not be opened. what() reads "PATH: REASON", the path as printablePath
// shows it (printable_path.h); path() is the path itself.
class OpenError : public std::runtime_error {
public:
    OpenError(const std::string& path, const std::string& reason, OpenProblem problem = OpenProblem::Other);
    const std::string& path() const { return path_; }
    const std::string& reason() const { return reason_; }
    OpenProblem problem() const { return problem_; }

private:
    std::string path_;
    std::string reason_;
    OpenProblem problem_;
};

// The bytes of a database file in memory: either held whole, or read from the open file page by
// page as the pages are first used, so that a large file takes the memory of the pages read, not
// of its size. Move-only.
//
//     FileBytes bytes = FileBytes::readOnUse(path, fd, size, 4096);
//     bytes.page(2)[0];  // page 2 read from the file; its first byte
class FileBytes final : public PageLoader {
public:
    FileBytes() = default;
    explicit FileBytes(std::vector<std::uint8_t> held) : held_(std::move(held)) {}
    // The size bytes of the open file fd, read page by page on use through a descriptor of its own;
    // path names the file in errors.
    static FileBytes readOnUse(const std::string& path, int fd, std::size_t size, std::size_t pageSize);
    FileBytes(FileBytes&&) noexcept = default;
    FileBytes& operator=(FileBytes&&) noexcept = default;
    ~FileBytes();

    // The bytes of page of a file read on use, read from the file the first time. Throws OpenError
    // when the file cannot be read there or has got shorter ("the file got shorter while it was
    // read").
    const std::uint8_t* page(std::uint32_t page) const override;
    const std::uint8_t* pageStart(std::uint32_t page, std::size_t bytes) const override;
    void forgetPagesOver(std::size_t most) const override;
    // The whole file when it is held; nullptr when it is read on use.
    std::uint8_t* data() { return readOnUse_ ? nullptr : held_.data(); }
    const std::uint8_t* data() const { return readOnUse_ ? nullptr : held_.data(); }
    std::size_t size() const { return readOnUse_ ? size_ : held_.size(); }
    // This when pages are read on use; nullptr when the file is held.
    const PageLoader* loader() const { return readOnUse_ ? this : nullptr; }
    // The held file's bytes (none when pages are read on use).
    std::span<std::uint8_t> span() { return held_; }

private:
    std::vector<std::uint8_t> held_;
    bool readOnUse_ = false;
    std::string path_;
    std::size_t size_ = 0;
    std::size_t pageSize_ = 0;
    Descriptor file_;  // the file, read through a descriptor of its own
    struct ChunkUnmap {
        std::size_t bytes = 0;
        void operator()(std::uint8_t* chunk) const;
    };
    using Chunk = std::unique_ptr<std::uint8_t[], ChunkUnmap>;
    static constexpr std::size_t kChunkBytes = std::size_t{2} << 20;  // a chunk: a huge page
    mutable std::vector<const std::uint8_t*> pages_;  // per page: where it was read to, or nullptr
    mutable std::vector<std::uint16_t> bytesRead_;    // per page read to: how much of it, from its start
    mutable std::vector<std::uint32_t> heldPages_;    // the pages read, in the order read
    mutable std::vector<Chunk> chunks_;               // the memory pages are read into, reused once forgotten
};

struct DatabaseFile {
    std::string path;  // absolute
    FileFormat format = FileFormat::Jet4;
    FileBytes bytes;

    FileImage image() const { return FileImage{bytes.data(), bytes.size(), format == FileFormat::Jet3, bytes.loader()}; }
};

// Access files are at most 2 GiB; larger files are refused before they are read.
inline constexpr std::uint64_t kLargestDatabaseFile = std::uint64_t{1} << 31;

// The absolute form of path, as the engine names a database (its folders not resolved).
std::string absolutePathOf(const std::string& path);

// Opens the file at path (read-only; the file is not changed) for its pages to be read as they
// are used. Its size and its header page, with the database password (password: the one given, ""
// for none), are checked first, then its catalog's page. An encoded or encrypted file is read
// whole: an encoded Jet 3 or Jet 4 database is decoded in memory, and the pages of an Access 2007+
// file encrypted with a password decrypted in memory with password (UTF-8), so that bytes hold it
// as a plain one. Throws OpenError.
DatabaseFile loadDatabaseFile(const std::string& path, const std::string& password = {});

// The checks of loadDatabaseFile on bytes already in memory, which an encoded Jet database is
// decoded in, in place; path only names the file in errors. Throws OpenError.
FileFormat checkDatabaseBytes(const std::string& path, std::span<std::uint8_t> bytes, const std::string& password = {});

}  // namespace engine
