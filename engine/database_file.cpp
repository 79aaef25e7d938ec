#include "database_file.h"

#include "little_endian.h"

#include "rc4.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace engine {

namespace {

// Access files are at most 2 GiB; anything much larger is not one.
constexpr std::uint64_t kLargestFile = 4ull << 30;

std::string systemError(int error) { return std::strerror(error); }

// What kind of file system object st describes, for "is not a regular file" messages.
const char* kindOf(const struct stat& st)
{
    if (S_ISDIR(st.st_mode)) return "a folder";
    if (S_ISFIFO(st.st_mode)) return "a pipe";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device";
    if (S_ISSOCK(st.st_mode)) return "a socket";
    return "not a regular file";
}

}  // namespace

OpenError::OpenError(const std::string& path, const std::string& reason)
    : std::runtime_error(path + ": " + reason), path_(path), reason_(reason)
{
}

std::string absolutePathOf(const std::string& path)
{
    std::error_code ec;
    std::string absolute = std::filesystem::absolute(path, ec).lexically_normal().string();
    return ec ? path : absolute;
}

FileFormat checkDatabaseBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    auto fail = [&path](const std::string& reason) -> FileFormat { throw OpenError(path, reason); };
    if (bytes.empty()) fail("the file is empty");
    static const char jet[] = "Standard Jet DB";
    static const char ace[] = "Standard ACE DB";
    if (bytes.size() < 0x20 || (std::memcmp(bytes.data() + 4, jet, 16) != 0 && std::memcmp(bytes.data() + 4, ace, 16) != 0))
        fail("not an Access database");
    std::uint8_t version = bytes[0x14];
    FileFormat format = version == 0 ? FileFormat::Jet3 : version == 1 ? FileFormat::Jet4 : FileFormat::Ace;
    if (version > 6) fail("an Access file format Dualyn does not know (version byte " + std::to_string(version) + ")");
    std::size_t pageSize = format == FileFormat::Jet3 ? 2048 : 4096;
    if (bytes.size() < 3 * pageSize || bytes.size() % pageSize != 0)
        fail("damaged: the file is cut short (" + std::to_string(bytes.size()) + " bytes is not a whole number of " +
             std::to_string(pageSize) + "-byte pages, at least 3)");

    // The header's masked block holds the encoding key and the database password.
    std::size_t masked = format == FileFormat::Jet3 ? 126 : 128;
    std::vector<std::uint8_t> header(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(pageSize));
    auto mask = rc4Keystream(kHeaderMaskKey, masked);
    for (std::size_t i = 0; i < masked; ++i) header[kHeaderMaskStart + i] ^= mask[i];
    if (u32At(header.data() + 0x3E) != 0) fail("the database is encrypted");
    bool password = false;
    if (format == FileFormat::Jet3) {
        for (std::size_t i = 0; i < 20; ++i) password |= header[0x42 + i] != 0;
    } else {
        // Later formats XOR the password with the whole days of the creation date.
        double created = 0;
        std::memcpy(&created, header.data() + 0x72, 8);
        std::uint32_t day = created >= 0 && created < 4e9 ? static_cast<std::uint32_t>(created) : 0;
        for (std::size_t i = 0; i < 40; ++i)
            password |= (header[0x42 + i] ^ static_cast<std::uint8_t>(day >> (8 * (i % 4)))) != 0;
    }
    if (password) fail("the database is protected by a database password");
    // The catalog's definition is always on page 2; anything else there means the pages are
    // encrypted (as in newer Access versions) or damaged.
    if (bytes[2 * pageSize] != 0x02 || bytes[2 * pageSize + 1] != 0x01)
        fail("the database is encrypted or damaged (its catalog is not where every Access file keeps it)");
    return format;
}

DatabaseFile loadDatabaseFile(const std::string& path)
{
    DatabaseFile file;
    if (path.empty()) throw OpenError(path, "no file name was given");
    file.path = absolutePathOf(path);
    auto fail = [&file](const std::string& reason) { throw OpenError(file.path, reason); };

    struct stat st {};
    if (::stat(file.path.c_str(), &st) != 0)
        fail(errno == ENOENT ? "the file does not exist" : "the file cannot be read: " + systemError(errno));
    if (!S_ISREG(st.st_mode)) fail(std::string("not a file but ") + kindOf(st));
    if (static_cast<std::uint64_t>(st.st_size) > kLargestFile) fail("not an Access database (the file is too large)");

    int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) fail("the file cannot be read: " + systemError(errno));
    // Checked again on the open file: the path may have changed in between.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        fail("the file changed while it was opened");
    }
    file.bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < file.bytes.size()) {
        ssize_t n = ::read(fd, file.bytes.data() + done, file.bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            int error = n < 0 ? errno : 0;
            ::close(fd);
            fail(error ? "the file cannot be read: " + systemError(error) : std::string("the file got shorter while it was read"));
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    file.format = checkDatabaseBytes(file.path, file.bytes);
    return file;
}

}  // namespace engine
