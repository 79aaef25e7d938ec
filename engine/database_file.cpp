#include "database_file.h"

#include "ace_encryption.h"
#include "jet_protection.h"

#include "little_endian.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace engine {

namespace {

constexpr std::size_t kLargestPage = 4096;  // Jet 4 and ACE; Jet 3's pages are 2048 bytes

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

// Refuses a file of fileBytes that cannot be an Access file: empty, or larger than any is.
void checkFileSize(const std::string& path, std::uint64_t fileBytes)
{
    if (fileBytes == 0) throw OpenError(path, "the file is empty");
    if (fileBytes > kLargestDatabaseFile)
        throw OpenError(path, "not an Access database (the file is " + std::to_string(fileBytes) +
                                  " bytes; Access files are at most 2 GiB)");
}


// What the header page tells: the file's format, and whether its other pages are encoded (Jet 3,
// Jet 4) or encrypted (Access 2007+) under a key.
struct HeaderFacts {
    FileFormat format;
    bool encoded;
};

// The checks of a file's size (fileBytes) and of its header page (header: the file's first
// headerBytes bytes, all of the file up to 4096), made before the rest of the file is read: its
// size, signature, format, encryption and password (givenPassword: the one given, "" for none).
// Throws OpenError.
HeaderFacts checkHeaderPage(const std::string& path, const std::uint8_t* header, std::size_t headerBytes,
                            std::uint64_t fileBytes, const std::string& givenPassword)
{
    auto fail = [&path](const std::string& reason) -> HeaderFacts { throw OpenError(path, reason); };
    checkFileSize(path, fileBytes);
    static const char jet[] = "Standard Jet DB";
    static const char ace[] = "Standard ACE DB";
    if (headerBytes < 0x20 || (std::memcmp(header + 4, jet, 16) != 0 && std::memcmp(header + 4, ace, 16) != 0))
        fail("not an Access database");
    std::uint8_t version = header[0x14];
    FileFormat format = version == 0 ? FileFormat::Jet3 : version == 1 ? FileFormat::Jet4 : FileFormat::Ace;
    if (version > 6) fail("an Access file format Dualyn does not know (version byte " + std::to_string(version) + ")");
    std::size_t pageSize = pageSizeOf(format);
    if (fileBytes < 3 * pageSize || fileBytes % pageSize != 0 || headerBytes < pageSize)
        fail("damaged: the file is cut short (" + std::to_string(fileBytes) + " bytes is not a whole number of " +
             std::to_string(pageSize) + "-byte pages, at least 3)");

    // The header's masked block holds the encoding key and the database password.
    std::vector<std::uint8_t> unmasked(header, header + pageSize);
    toggleHeaderMask(unmasked.data(), format);
    const bool encoded = u32At(unmasked.data() + kEncodingKeyAt) != 0;
    if (format != FileFormat::Ace) {
        // Jet 3 and Jet 4: encoded pages are decoded once the file is in memory (checkDatabaseBytes).
        checkJetHeader(path, unmasked.data(), format, givenPassword);
        return {format, encoded};
    }
    // An Access 2007+ file with an encryption key has its pages encrypted with a password, which
    // decryptAceFile checks once the file is in memory; its Jet password field holds no password.
    if (encoded) return {format, true};
    // Without one, Access 2007+ keeps no password in the Jet 4 way: a field that is not the masked
    // empty password holds bytes that are not Access's own.
    double created = 0;  // the creation date, whose whole days mask the field
    std::memcpy(&created, unmasked.data() + kCreationDateAt, 8);
    const std::array<std::uint8_t, 40> empty = jet4PasswordField("", created);
    if (std::memcmp(unmasked.data() + kPasswordAt, empty.data(), empty.size()) != 0)
        fail("the database is protected by a database password");
    return {format, false};
}

// Reads n bytes of the open file fd, from offset at on, into into; path names the file in errors.
// Throws OpenError: the file cannot be read, or has fewer bytes than that now.
void readExactly(const std::string& path, int fd, std::uint8_t* into, std::size_t n, std::size_t at)
{
    for (std::size_t done = 0; done < n;) {
        ssize_t got = ::pread(fd, into + done, n - done, static_cast<off_t>(at + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw OpenError(path, "the file cannot be read: " + systemError(errno));
        if (got == 0) throw OpenError(path, "the file got shorter while it was read");
        done += static_cast<std::size_t>(got);
    }
}

// Refuses a file whose page 2 (page) does not start the catalog's definition, as every Access
// file's does: encrypted (Access 2007+), or damaged; decoded: its pages were decoded.
void checkCatalogPage(const std::string& path, FileFormat format, const std::uint8_t* page, bool decoded)
{
    // The catalog's definition is always on page 2; anything else there means the pages are
    // encrypted (as in newer Access versions) or damaged.
    if (page[0] != 0x02 || page[1] != 0x01) {
        if (format == FileFormat::Ace)
            throw OpenError(path, "the database is encrypted or damaged (its catalog is not where every Access file keeps it)");
        throw OpenError(path, std::string("damaged: page 2, where every Access file keeps its catalog, ") +
                                  (decoded ? "does not decode to the catalog's definition (the database is encoded)"
                                           : "holds no table definition"));
    }
}

}  // namespace

FileBytes FileBytes::readOnUse(const std::string& path, int fd, std::size_t size, std::size_t pageSize)
{
    FileBytes bytes;
    bytes.readOnUse_ = true;
    bytes.path_ = path;
    bytes.size_ = size;
    bytes.pageSize_ = pageSize;
    bytes.pages_.assign(size / pageSize, nullptr);
    bytes.bytesRead_.assign(size / pageSize, 0);
    bytes.file_ = Descriptor(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    if (bytes.file_.fd < 0) throw OpenError(path, "the file cannot be read: " + systemError(errno));
    return bytes;
}

const std::uint8_t* FileBytes::page(std::uint32_t page) const { return pageStart(page, pageSize_); }

const std::uint8_t* FileBytes::pageStart(std::uint32_t page, std::size_t bytes) const
{
    if (page >= pages_.size()) throw OpenError(path_, "page " + std::to_string(page) + " is past the file's end");
    bytes = std::clamp<std::size_t>(bytes, 1, pageSize_);  // a page asked for is there, however little of it
    const std::size_t read = pages_[page] ? bytesRead_[page] : 0;  // of it already
    if (read >= bytes) return pages_[page];
    const std::size_t at = static_cast<std::size_t>(page) * pageSize_;  // in the file
    if (read > 0) {  // the rest of a page whose start was read
        readExactly(path_, file_.fd, const_cast<std::uint8_t*>(pages_[page]) + read, bytes - read, at + read);
        bytesRead_[page] = static_cast<std::uint16_t>(bytes);
        return pages_[page];
    }
    // Pages are read into chunks of kChunkBytes, each taken from the system at once.
    const std::size_t slot = heldPages_.size();  // of the page among those held
    const std::size_t chunkPages = kChunkBytes / pageSize_;
    if (slot / chunkPages >= chunks_.size()) {
        void* chunk = ::mmap(nullptr, kChunkBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (chunk == MAP_FAILED) throw std::bad_alloc();
        // One huge page where the system gives them on request: one fault and one clearing for the
        // chunk instead of one for every page read into it.
        ::madvise(chunk, kChunkBytes, MADV_HUGEPAGE);
        chunks_.push_back(Chunk(static_cast<std::uint8_t*>(chunk), ChunkUnmap{kChunkBytes}));
    }
    std::uint8_t* into = chunks_[slot / chunkPages].get() + (slot % chunkPages) * pageSize_;
    readExactly(path_, file_.fd, into, bytes, at);
    heldPages_.push_back(page);
    pages_[page] = into;
    bytesRead_[page] = static_cast<std::uint16_t>(bytes);
    return into;
}

void FileBytes::forgetPagesOver(std::size_t most) const
{
    if (heldPages_.size() <= most) return;
    for (std::uint32_t page : heldPages_) pages_[page] = nullptr;
    heldPages_.clear();  // their chunks are read into again
}

FileBytes::~FileBytes() = default;

void FileBytes::ChunkUnmap::operator()(std::uint8_t* chunk) const { ::munmap(chunk, bytes); }

FileFormat checkDatabaseBytes(const std::string& path, std::span<std::uint8_t> bytes, const std::string& password)
{
    FileFormat format = checkHeaderPage(path, bytes.data(), bytes.size(), bytes.size(), password).format;

    // An encoded Jet database is decoded here, once, in memory; its header then says it is plain.
    const bool decoded = format != FileFormat::Ace && decodeJetPages(bytes, format);

    checkCatalogPage(path, format, bytes.data() + 2 * pageSizeOf(format), decoded);
    return format;
}

DatabaseFile loadDatabaseFile(const std::string& path, const std::string& password)
{
    DatabaseFile file;
    if (path.empty()) throw OpenError(path, "no file name was given");
    file.path = absolutePathOf(path);
    auto fail = [&file](const std::string& reason) { throw OpenError(file.path, reason); };

    struct stat st {};
    if (::stat(file.path.c_str(), &st) != 0)
        fail(errno == ENOENT ? "the file does not exist" : "the file cannot be read: " + systemError(errno));
    if (!S_ISREG(st.st_mode)) fail(std::string("not a file but ") + kindOf(st));
    checkFileSize(file.path, static_cast<std::uint64_t>(st.st_size));

    int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOATIME);
    if (fd < 0 && errno == EPERM) fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) fail("the file cannot be read: " + systemError(errno));
    struct Closing {  // closes fd however the loading ends
        int fd;
        ~Closing() { ::close(fd); }
    } closing{fd};
    // Checked again on the open file: the path may have changed in between.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) fail("the file changed while it was opened");
    const auto size = static_cast<std::uint64_t>(st.st_size);
    checkFileSize(file.path, size);

    // The header page first: a file that is no database this program can read is refused without
    // reading the rest.
    std::uint8_t header[kLargestPage];
    const std::size_t headerBytes = static_cast<std::size_t>(std::min<std::uint64_t>(size, kLargestPage));
    readExactly(file.path, fd, header, headerBytes, 0);
    const auto [format, encoded] = checkHeaderPage(file.path, header, headerBytes, size, password);
    if (!encoded) {
        // A plain file: its pages are read as they are used, the catalog's first.
        file.bytes = FileBytes::readOnUse(file.path, fd, static_cast<std::size_t>(size), pageSizeOf(format));
        // The header page again as it was checked: the file may have changed in between.
        if (std::memcmp(file.bytes.page(0), header, pageSizeOf(format)) != 0) fail("the file changed while it was read");
        checkCatalogPage(file.path, format, file.bytes.page(2), false);
        file.format = format;
        return file;
    }
    // An encoded or encrypted file is read whole and decoded or decrypted, once, in memory.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::memcpy(bytes.data(), header, headerBytes);
    readExactly(file.path, fd, bytes.data() + headerBytes, bytes.size() - headerBytes, headerBytes);
    decryptAceFile(file.path, bytes, password);  // Access 2007+ pages encrypted with a password; others unchanged
    file.format = checkDatabaseBytes(file.path, bytes, password);
    file.bytes = FileBytes(std::move(bytes));
    return file;
}

}  // namespace engine
