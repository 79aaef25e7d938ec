#include "ace_encryption.h"

#include "database_file.h"
#include "little_endian.h"
#include "rc4.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>

namespace engine {

namespace {

// OpenSSL's libcrypto, loaded the first time an encrypted file is read rather than with the
// reader: plain files, nearly all of them, are read without the time loading it takes.
#define DUALYN_CRYPTO_FUNCTIONS(X)                                                                               \
    X(EVP_MD_CTX_new) X(EVP_MD_CTX_free) X(EVP_DigestInit_ex) X(EVP_DigestUpdate) X(EVP_DigestFinal_ex)        \
    X(EVP_MD_get_size) X(EVP_CIPHER_CTX_new) X(EVP_CIPHER_CTX_free) X(EVP_CIPHER_CTX_set_padding)              \
    X(EVP_DecryptInit_ex) X(EVP_DecryptUpdate) X(EVP_aes_128_ecb) X(EVP_aes_128_cbc) X(EVP_aes_128_cfb8)        \
    X(EVP_aes_192_ecb) X(EVP_aes_192_cbc) X(EVP_aes_192_cfb8) X(EVP_aes_256_ecb) X(EVP_aes_256_cbc)             \
    X(EVP_aes_256_cfb8) X(EVP_md5) X(EVP_sha1) X(EVP_sha256) X(EVP_sha384) X(EVP_sha512) X(CRYPTO_memcmp)      \
    X(OPENSSL_cleanse)

// The functions of libcrypto this file calls, once loadCrypto has found them.
struct Crypto {
#define DUALYN_CRYPTO_POINTER(name) decltype(&::name) name = nullptr;
    DUALYN_CRYPTO_FUNCTIONS(DUALYN_CRYPTO_POINTER)
#undef DUALYN_CRYPTO_POINTER
} crypto;

// Loads libcrypto (the first time) and finds its functions in it. Throws OpenError naming the
// encrypted file at path when it cannot.
void loadCrypto(const std::string& path)
{
    static std::once_flag once;
    static std::string failure;  // why libcrypto could not be loaded; empty once it is
    std::call_once(once, [] {
        void* library = ::dlopen("libcrypto.so.3", RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            failure = ::dlerror();
            return;
        }
#define DUALYN_CRYPTO_FIND(name)                                                                  \
    crypto.name = reinterpret_cast<decltype(crypto.name)>(::dlsym(library, #name));              \
    if (!crypto.name) failure = std::string("libcrypto.so.3 has no ") + #name;
        DUALYN_CRYPTO_FUNCTIONS(DUALYN_CRYPTO_FIND)
#undef DUALYN_CRYPTO_FIND
    });
    if (!failure.empty())
        throw OpenError(path, "the database is encrypted, and OpenSSL's libcrypto, which decrypts it, cannot be loaded (" +
                                  failure + ")");
}

using Bytes = std::vector<std::uint8_t>;
using PageBlock = std::array<std::uint8_t, 4>;  // the encoding key XOR the page's number

constexpr std::size_t kPageSize = 4096;
constexpr std::size_t kMaskedBytes = 128;           // the header's masked block, from kHeaderMaskStart
constexpr std::size_t kEncodingKeyAt = 0x3E;        // 4 bytes, masked; not 0 when the pages are encrypted
constexpr std::size_t kJetPasswordAt = 0x42;        // 40 bytes, masked, and XORed with the creation day
constexpr std::size_t kJetPasswordBytes = 40;
constexpr std::size_t kCreatedAt = 0x72;            // the creation date, a double, masked
constexpr std::size_t kEncryptionInfoAt = 0x299;    // a 2-byte length, then the encryption information
constexpr std::size_t kLongestPassword = 255;       // UTF-16 code units of a password that count
constexpr std::uint32_t kLargestSpinCount = 10'000'000;  // the most hashing rounds the format allows

// ---------------------------------------------------------------------------------------------
// Errors

// A damaged header: "damaged: WHAT (at byte AT)". Never returns.
[[noreturn]] void damaged(const std::string& path, std::size_t at, const std::string& what)
{
    throw OpenError(path, "damaged: " + what + " (at byte " + std::to_string(at) + ")");
}

// An encryption this program does not read, named. Never returns.
[[noreturn]] void unreadable(const std::string& path, const std::string& what)
{
    throw OpenError(path, "an encryption Dualyn cannot read: " + what);
}

// n as "0x" and 4 hex digits or more, for algorithm identifiers in messages.
std::string hex(std::uint32_t n)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", n);
    return text;
}

// The encryption information: bounds-checked little-endian reads that name the byte of the file
// where a field is cut short.
class InfoReader {
public:
    // data: n bytes that start at byte base of the file.
    InfoReader(const std::string& path, const std::uint8_t* data, std::size_t n, std::size_t base)
        : path_(path), data_(data), size_(n), base_(base)
    {
    }
    // The next 4 (u32) or 2 (u16) bytes as a number; what names the field in the error.
    std::uint32_t u32(const char* what) { return u32At(take(4, what)); }
    std::uint16_t u16(const char* what) { return u16At(take(2, what)); }
    // The next n bytes.
    Bytes bytes(std::size_t n, const char* what)
    {
        const std::uint8_t* p = take(n, what);
        return Bytes(p, p + n);
    }
    // A reader of the next n bytes alone (this one moves past them).
    InfoReader part(std::size_t n, const char* what)
    {
        std::size_t at = fileOffset();
        const std::uint8_t* p = take(n, what);
        return InfoReader(path_, p, n, at);
    }
    std::size_t fileOffset() const { return base_ + pos_; }
    std::size_t left() const { return size_ - pos_; }
    const std::uint8_t* here() const { return data_ + pos_; }

private:
    const std::uint8_t* take(std::size_t n, const char* what)
    {
        if (n > size_ - pos_)
            damaged(path_, fileOffset(),
                    std::string("the encryption header ends inside its ") + what + " (" + std::to_string(n) +
                        " bytes needed, " + std::to_string(size_ - pos_) + " left)");
        const std::uint8_t* p = data_ + pos_;
        pos_ += n;
        return p;
    }
    const std::string& path_;
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t base_;
    std::size_t pos_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Hashes and ciphers (OpenSSL)

// A hash function of OpenSSL's, applied to the concatenation of byte strings.
class Hasher {
public:
    explicit Hasher(const EVP_MD* md) : md_(md), ctx_(crypto.EVP_MD_CTX_new())
    {
        if (!ctx_) throw std::bad_alloc();
    }
    ~Hasher() { crypto.EVP_MD_CTX_free(ctx_); }
    Hasher(const Hasher&) = delete;
    Hasher& operator=(const Hasher&) = delete;

    // The hash of the parts one after another, e.g. hash({salt, password}).
    Bytes operator()(std::initializer_list<std::span<const std::uint8_t>> parts)
    {
        Bytes out(size());
        unsigned int n = 0;
        bool ok = crypto.EVP_DigestInit_ex(ctx_, md_, nullptr) == 1;
        for (auto part : parts) ok = ok && crypto.EVP_DigestUpdate(ctx_, part.data(), part.size()) == 1;
        ok = ok && crypto.EVP_DigestFinal_ex(ctx_, out.data(), &n) == 1;
        if (!ok) throw std::runtime_error("the hash function failed");
        return out;
    }
    std::size_t size() const { return static_cast<std::size_t>(crypto.EVP_MD_get_size(md_)); }

private:
    const EVP_MD* md_;
    EVP_MD_CTX* ctx_;
};

// bytes cut or padded (with pad) to n bytes.
Bytes fitted(Bytes bytes, std::size_t n, std::uint8_t pad)
{
    bytes.resize(n, pad);
    return bytes;
}

// The 4 bytes of n, least significant first.
PageBlock le32(std::uint32_t n)
{
    return {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n >> 16),
            static_cast<std::uint8_t>(n >> 24)};
}

// The password hash stretched as the Office schemes do it: H(salt + password), then spinCount
// times H(i + previous) with i the round as 4 little-endian bytes.
Bytes stretchedHash(Hasher& hash, const Bytes& salt, const Bytes& password, std::uint32_t spinCount)
{
    Bytes h = hash({salt, password});
    for (std::uint32_t i = 0; i < spinCount; ++i) h = hash({le32(i), h});
    return h;
}

enum class Chaining { Ecb, Cbc, Cfb8 };

// Decrypts n bytes at data in place with AES under key (16, 24 or 32 bytes) in chaining mode,
// iv the 16-byte IV (unused by ECB). ECB and CBC need n to be a whole number of 16-byte blocks;
// nothing is padded.
void aesDecrypt(Chaining chaining, const Bytes& key, const std::uint8_t* iv, std::uint8_t* data, std::size_t n)
{
    const EVP_CIPHER* cipher = nullptr;
    switch (key.size()) {
    case 16: cipher = chaining == Chaining::Ecb ? crypto.EVP_aes_128_ecb() : chaining == Chaining::Cbc ? crypto.EVP_aes_128_cbc() : crypto.EVP_aes_128_cfb8(); break;
    case 24: cipher = chaining == Chaining::Ecb ? crypto.EVP_aes_192_ecb() : chaining == Chaining::Cbc ? crypto.EVP_aes_192_cbc() : crypto.EVP_aes_192_cfb8(); break;
    case 32: cipher = chaining == Chaining::Ecb ? crypto.EVP_aes_256_ecb() : chaining == Chaining::Cbc ? crypto.EVP_aes_256_cbc() : crypto.EVP_aes_256_cfb8(); break;
    default: throw std::logic_error("AES key of " + std::to_string(key.size()) + " bytes");
    }
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(crypto.EVP_CIPHER_CTX_new(), crypto.EVP_CIPHER_CTX_free);
    int done = 0;  // bytes OpenSSL wrote
    bool ok = ctx && crypto.EVP_DecryptInit_ex(ctx.get(), cipher, nullptr, key.data(), iv) == 1 &&
              crypto.EVP_CIPHER_CTX_set_padding(ctx.get(), 0) == 1 &&
              crypto.EVP_DecryptUpdate(ctx.get(), data, &done, data, static_cast<int>(n)) == 1 &&
              static_cast<std::size_t>(done) == n;
    if (!ok) throw std::runtime_error("AES decryption failed");
}

// XORs n bytes at data with the RC4 keystream of key, starting skip bytes into the stream.
void rc4Apply(const Bytes& key, std::uint8_t* data, std::size_t n, std::size_t skip = 0)
{
    Bytes stream = rc4Keystream(key, skip + n);
    for (std::size_t i = 0; i < n; ++i) data[i] ^= stream[skip + i];
}

// Whether a and b (of equal size) are equal, in constant time.
bool sameBytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) { return crypto.CRYPTO_memcmp(a, b, n) == 0; }

// ---------------------------------------------------------------------------------------------
// The schemes

// One way of encrypting the pages: it checks a password against the file's verifier and then
// decrypts pages.
class PageScheme {
public:
    virtual ~PageScheme() = default;
    // Whether password (UTF-16LE) is the file's; if it is, keeps what decrypting the pages needs.
    virtual bool opens(const Bytes& password) = 0;
    // Decrypts one page of n bytes in place; block: the encoding key XOR the page's number.
    virtual void decryptPage(const PageBlock& block, std::uint8_t* page, std::size_t n) = 0;
};

// RC4 with MD5 (the information's version 1.1): a 16-byte salt, an encrypted 16-byte verifier and
// its encrypted MD5 hash.
class Md5Rc4Scheme : public PageScheme {
public:
    explicit Md5Rc4Scheme(InfoReader& info)
        : salt_(info.bytes(16, "salt")), verifier_(info.bytes(16, "verifier")), verifierHash_(info.bytes(16, "verifier hash"))
    {
    }
    bool opens(const Bytes& password) override
    {
        // The first 5 bytes of MD5(password) and the salt, 16 times over, hashed; its first 5 bytes.
        Bytes h0 = fitted(md5_({password}), 5, 0);
        Bytes repeated;
        for (int i = 0; i < 16; ++i) {
            repeated.insert(repeated.end(), h0.begin(), h0.end());
            repeated.insert(repeated.end(), salt_.begin(), salt_.end());
        }
        base_ = fitted(md5_({repeated}), 5, 0);
        // The verifier and its hash are one RC4 stream under the key of block 0.
        Bytes both = verifier_;
        both.insert(both.end(), verifierHash_.begin(), verifierHash_.end());
        rc4Apply(keyOf(le32(0)), both.data(), both.size());
        Bytes hash = md5_({std::span(both.data(), 16)});
        return sameBytes(hash.data(), both.data() + 16, 16);
    }
    void decryptPage(const PageBlock& block, std::uint8_t* page, std::size_t n) override
    {
        rc4Apply(keyOf(block), page, n);
    }

private:
    Bytes keyOf(const PageBlock& block) { return md5_({base_, block}); }  // all 128 bits
    Hasher md5_{crypto.EVP_md5()};
    Bytes salt_, verifier_, verifierHash_;
    Bytes base_;  // the password's hash, once opened
};

// The fields of a CryptoAPI encryption header and verifier (information versions 2.2, 3.2, 4.2).
struct CryptoApiHeader {
    std::uint32_t flags = 0;
    std::uint32_t algorithm = 0;  // the cipher's identifier (0: given by the flags)
    std::uint32_t hashAlgorithm = 0;
    std::uint32_t keyBits = 0;    // 0: the default of the algorithm (and provider)
    std::size_t keyBitsAt = 0;    // where keyBits is in the file
    std::string provider;         // the cryptographic provider's name (ASCII part; for the RC4 default)
    Bytes salt, verifier, verifierHash;
    std::uint32_t verifierHashSize = 0;
    std::size_t verifierHashSizeAt = 0;
};

constexpr std::uint32_t kCryptoApiFlag = 0x04, kExternalFlag = 0x10, kAesFlag = 0x20;
constexpr std::uint32_t kRc4Id = 0x6801, kAes128Id = 0x660E, kAes192Id = 0x660F, kAes256Id = 0x6610, kSha1Id = 0x8004;

// Reads the header (its size first) and the verifier, whose encrypted hash is 32 bytes for AES
// (aes) and 20 for RC4. A hash other than SHA-1 is refused by name.
CryptoApiHeader readCryptoApiHeader(const std::string& path, InfoReader& info, bool aes)
{
    CryptoApiHeader h;
    std::uint32_t headerSize = info.u32("header size");
    std::size_t headerAt = info.fileOffset();
    if (headerSize < 32 || headerSize > info.left())
        damaged(path, headerAt - 4,
                "the encryption header's size " + std::to_string(headerSize) + " is not between 32 and the " +
                    std::to_string(info.left()) + " bytes left");
    InfoReader header = info.part(headerSize, "header");
    h.flags = header.u32("flags");
    header.u32("extra size");
    h.algorithm = header.u32("algorithm");
    h.hashAlgorithm = header.u32("hash algorithm");
    h.keyBitsAt = header.fileOffset();
    h.keyBits = header.u32("key size");
    header.u32("provider type");
    header.u32("reserved");
    header.u32("reserved");
    // The provider's name: UTF-16LE up to a NUL or the header's end.
    while (header.left() >= 2) {
        std::uint16_t c = header.u16("provider name");
        if (c == 0) break;
        h.provider += c < 0x80 ? static_cast<char>(c) : '?';
    }
    std::size_t saltSizeAt = info.fileOffset();
    std::uint32_t saltSize = info.u32("salt size");
    if (saltSize != 16) damaged(path, saltSizeAt, "the salt size is " + std::to_string(saltSize) + ", not 16");
    h.salt = info.bytes(16, "salt");
    h.verifier = info.bytes(16, "verifier");
    h.verifierHashSizeAt = info.fileOffset();
    h.verifierHashSize = info.u32("verifier hash size");
    h.verifierHash = info.bytes(aes ? 32 : 20, "verifier hash");
    if (h.verifierHashSize == 0 || h.verifierHashSize > 20)
        damaged(path, h.verifierHashSizeAt,
                "the verifier hash size is " + std::to_string(h.verifierHashSize) + ", not a SHA-1 hash's 20 bytes at most");
    if (h.hashAlgorithm != 0 && h.hashAlgorithm != kSha1Id)
        unreadable(path, "CryptoAPI encryption with the hash algorithm " + hex(h.hashAlgorithm) + " (only SHA-1 is read)");
    return h;
}

// RC4 with SHA-1 through CryptoAPI: 40 to 512-bit keys, whatever the provider's name.
class CryptoApiRc4Scheme : public PageScheme {
public:
    CryptoApiRc4Scheme(const std::string& path, CryptoApiHeader header) : h_(std::move(header))
    {
        keyBits_ = h_.keyBits;
        if (keyBits_ == 0) {
            // The provider's default: 40 bits for the "Base" provider (or none named), 128 otherwise.
            std::string name = h_.provider;
            std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
            keyBits_ = name.find_first_not_of(' ') == std::string::npos || name.find(" base ") != std::string::npos ? 40 : 128;
        }
        if (keyBits_ < 40 || keyBits_ > 512 || keyBits_ % 8 != 0)
            damaged(path, h_.keyBitsAt, "the RC4 key size " + std::to_string(keyBits_) + " bits is not a whole number of bytes from 40 to 512");
    }
    bool opens(const Bytes& password) override
    {
        base_ = sha1_({h_.salt, password});
        Bytes both = h_.verifier;
        both.insert(both.end(), h_.verifierHash.begin(), h_.verifierHash.end());
        rc4Apply(keyOf(le32(0)), both.data(), both.size());
        Bytes hash = sha1_({std::span(both.data(), 16)});
        return sameBytes(hash.data(), both.data() + 16, h_.verifierHashSize);
    }
    void decryptPage(const PageBlock& block, std::uint8_t* page, std::size_t n) override
    {
        rc4Apply(keyOf(block), page, n);
    }

private:
    // SHA-1(base + block) fitted to the key size; a 40-bit key is used as 128 bits, zero-padded.
    Bytes keyOf(const PageBlock& block)
    {
        Bytes key = fitted(sha1_({base_, block}), keyBits_ / 8, 0);
        if (keyBits_ == 40) key.resize(16, 0);
        return key;
    }
    CryptoApiHeader h_;
    std::uint32_t keyBits_ = 0;
    Hasher sha1_{crypto.EVP_sha1()};
    Bytes base_;
};

// AES in ECB mode with SHA-1 key derivation (standard encryption): 50,000 hashing rounds; files
// saved with the CryptoAPI flags but an AES algorithm use none.
class StandardAesScheme : public PageScheme {
public:
    StandardAesScheme(const std::string& path, CryptoApiHeader header, std::uint32_t rounds)
        : h_(std::move(header)), rounds_(rounds)
    {
        std::uint32_t bits = h_.algorithm == kAes192Id ? 192 : h_.algorithm == kAes256Id ? 256 : 128;
        if (h_.keyBits != 0 && h_.keyBits != bits)
            damaged(path, h_.keyBitsAt, "the key size " + std::to_string(h_.keyBits) + " bits does not fit AES-" + std::to_string(bits));
        keyBytes_ = bits / 8;
    }
    bool opens(const Bytes& password) override
    {
        stretched_ = stretchedHash(sha1_, h_.salt, password, rounds_);
        Bytes key = keyOf(le32(0));
        Bytes verifier = h_.verifier, hash = h_.verifierHash;
        aesDecrypt(Chaining::Ecb, key, nullptr, verifier.data(), verifier.size());
        aesDecrypt(Chaining::Ecb, key, nullptr, hash.data(), hash.size());
        Bytes expected = sha1_({verifier});
        return sameBytes(expected.data(), hash.data(), h_.verifierHashSize);
    }
    void decryptPage(const PageBlock& block, std::uint8_t* page, std::size_t n) override
    {
        aesDecrypt(Chaining::Ecb, keyOf(block), nullptr, page, n - n % 16);
    }

private:
    // H = SHA-1(stretched + block); the key is the start of SHA-1(H XOR 64 × 0x36) followed by
    // SHA-1(H XOR 64 × 0x5C).
    Bytes keyOf(const PageBlock& block)
    {
        Bytes h = sha1_({stretched_, block});
        Bytes x1(64, 0x36), x2(64, 0x5C);
        for (std::size_t i = 0; i < h.size(); ++i) x1[i] ^= h[i], x2[i] ^= h[i];
        Bytes key = sha1_({x1});
        Bytes second = sha1_({x2});
        key.insert(key.end(), second.begin(), second.end());
        return fitted(key, keyBytes_, 0);
    }
    CryptoApiHeader h_;
    std::uint32_t rounds_;
    std::size_t keyBytes_ = 16;
    Hasher sha1_{crypto.EVP_sha1()};
    Bytes stretched_;
};

// ---------------------------------------------------------------------------------------------
// Agile encryption: an XML description

struct XmlAttribute {
    std::string name;   // without its namespace prefix
    std::string value;  // entities replaced
    std::size_t at;     // where the value starts in the file
};

struct XmlElement {
    std::string name;  // without its namespace prefix
    int parent;        // index of the enclosing element, -1 for the root
    std::vector<XmlAttribute> attributes;
    std::size_t at;    // where its tag starts in the file
};

// name without a "prefix:".
std::string localName(std::string_view name)
{
    std::size_t colon = name.find(':');
    return std::string(colon == std::string_view::npos ? name : name.substr(colon + 1));
}

// The elements of the XML document of n bytes at xml (starting at byte base of the file), in
// document order. Anything that is not well-formed (an unclosed or mismatched tag, a quote
// missing, an unknown entity, a document type, text outside the root) is "damaged".
std::vector<XmlElement> parseXml(const std::string& path, const std::uint8_t* xml, std::size_t n, std::size_t base)
{
    std::string_view text(reinterpret_cast<const char*>(xml), n);
    auto bad = [&](std::size_t i, const std::string& what) {
        damaged(path, base + i, "the encryption description is not well-formed XML: " + what);
    };
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    auto isNameEnd = [&](char c) { return isSpace(c) || c == '/' || c == '>' || c == '=' || c == '<'; };
    std::vector<XmlElement> elements;
    std::vector<std::pair<std::string, int>> open;  // full names and indexes of the open elements
    bool rootSeen = false;
    std::size_t i = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;  // a UTF-8 byte order mark
    while (i < n) {
        if (text[i] != '<') {
            if (open.empty() && !isSpace(text[i]) && text[i] != '\0') bad(i, "text outside the root element");
            ++i;
            continue;
        }
        if (text.substr(i, 2) == "<?") {
            std::size_t end = text.find("?>", i + 2);
            if (end == std::string_view::npos) bad(i, "an unclosed processing instruction");
            i = end + 2;
        } else if (text.substr(i, 4) == "<!--") {
            std::size_t end = text.find("-->", i + 4);
            if (end == std::string_view::npos) bad(i, "an unclosed comment");
            i = end + 3;
        } else if (text.substr(i, 2) == "<!") {
            bad(i, "a document type or CDATA section");
        } else if (text.substr(i, 2) == "</") {
            std::size_t end = text.find('>', i + 2);
            if (end == std::string_view::npos) bad(i, "an unclosed end tag");
            std::string_view name = text.substr(i + 2, end - i - 2);
            while (!name.empty() && isSpace(name.back())) name.remove_suffix(1);
            if (open.empty() || open.back().first != name) bad(i, "an end tag </" + std::string(name) + "> that closes nothing open");
            open.pop_back();
            i = end + 1;
        } else {
            std::size_t start = i++;
            std::size_t nameStart = i;
            while (i < n && !isNameEnd(text[i])) ++i;
            if (i == nameStart) bad(start, "a tag without a name");
            if (open.empty() && rootSeen) bad(start, "a second root element");
            if (open.size() >= 16) bad(start, "elements nested too deeply");
            XmlElement element{localName(text.substr(nameStart, i - nameStart)), open.empty() ? -1 : open.back().second, {}, base + start};
            std::string fullName(text.substr(nameStart, i - nameStart));
            bool closed = false;  // <name ... />
            for (;;) {
                while (i < n && isSpace(text[i])) ++i;
                if (i >= n) bad(start, "an unclosed tag <" + fullName + ">");
                if (text[i] == '>') { ++i; break; }
                if (text.substr(i, 2) == "/>") { i += 2; closed = true; break; }
                std::size_t attrStart = i;
                while (i < n && !isNameEnd(text[i])) ++i;
                if (i == attrStart) bad(i, "an attribute without a name in <" + fullName + ">");
                std::string attrName = localName(text.substr(attrStart, i - attrStart));
                while (i < n && isSpace(text[i])) ++i;
                if (i >= n || text[i] != '=') bad(i, "an attribute without a value in <" + fullName + ">");
                ++i;
                while (i < n && isSpace(text[i])) ++i;
                if (i >= n || (text[i] != '"' && text[i] != '\'')) bad(i, "an attribute value without quotes in <" + fullName + ">");
                char quote = text[i++];
                std::size_t valueStart = i;
                std::size_t end = text.find(quote, i);
                if (end == std::string_view::npos) bad(valueStart, "an attribute value without its closing quote");
                std::string value;
                for (std::size_t k = valueStart; k < end; ++k) {
                    if (text[k] == '<') bad(k, "a '<' inside an attribute value");
                    if (text[k] != '&') { value += text[k]; continue; }
                    std::size_t semi = text.find(';', k);
                    if (semi == std::string_view::npos || semi > end) bad(k, "an unterminated entity");
                    std::string_view entity = text.substr(k + 1, semi - k - 1);
                    if (entity == "amp") value += '&';
                    else if (entity == "lt") value += '<';
                    else if (entity == "gt") value += '>';
                    else if (entity == "quot") value += '"';
                    else if (entity == "apos") value += '\'';
                    else bad(k, "the entity &" + std::string(entity) + "; (only the five predefined ones are read)");
                    k = semi;
                }
                element.attributes.push_back({attrName, value, base + valueStart});
                i = end + 1;
            }
            rootSeen = true;
            elements.push_back(std::move(element));
            if (!closed) open.emplace_back(fullName, static_cast<int>(elements.size() - 1));
        }
    }
    if (!open.empty()) bad(n, "<" + open.back().first + "> is never closed");
    if (!rootSeen) bad(0, "no element");
    return elements;
}

// The attribute name of element, or null.
const XmlAttribute* attributeOf(const XmlElement& element, std::string_view name)
{
    for (const auto& a : element.attributes)
        if (a.name == name) return &a;
    return nullptr;
}

// The value of a required attribute; a missing one is "damaged".
const XmlAttribute& required(const std::string& path, const XmlElement& element, std::string_view name)
{
    const XmlAttribute* a = attributeOf(element, name);
    if (!a) damaged(path, element.at, "the encryption description's <" + element.name + "> has no " + std::string(name));
    return *a;
}

// A required attribute's decimal number, from lowest to highest.
std::uint32_t numberOf(const std::string& path, const XmlElement& element, std::string_view name, std::uint32_t lowest,
                       std::uint32_t highest)
{
    const XmlAttribute& a = required(path, element, name);
    std::uint64_t n = 0;
    bool digits = !a.value.empty() && a.value.size() <= 10;
    for (char c : a.value) {
        digits = digits && c >= '0' && c <= '9';
        if (digits) n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (!digits || n < lowest || n > highest)
        damaged(path, a.at,
                std::string(name) + " is \"" + a.value.substr(0, 20) + "\", not a number from " + std::to_string(lowest) +
                    " to " + std::to_string(highest));
    return static_cast<std::uint32_t>(n);
}

// A required attribute's base64 bytes.
Bytes base64Of(const std::string& path, const XmlElement& element, std::string_view name)
{
    const XmlAttribute& a = required(path, element, name);
    auto valueOf = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    const std::string& s = a.value;
    std::size_t padding = s.size() >= 2 && s[s.size() - 1] == '=' ? (s[s.size() - 2] == '=' ? 2 : 1) : 0;
    if (s.empty() || s.size() % 4 != 0)
        damaged(path, a.at, std::string(name) + " is not base64 (its length " + std::to_string(s.size()) + " is no multiple of 4)");
    Bytes out;
    std::uint32_t bits = 0;  // the 24 bits of the current group of four characters
    for (std::size_t k = 0; k < s.size(); ++k) {
        int v = k >= s.size() - padding ? 0 : valueOf(s[k]);
        if (v < 0) damaged(path, a.at + k, std::string(name) + " is not base64 (the character '" + s[k] + "')");
        bits = bits << 6 | static_cast<std::uint32_t>(v);
        if (k % 4 == 3) {
            out.push_back(static_cast<std::uint8_t>(bits >> 16));
            out.push_back(static_cast<std::uint8_t>(bits >> 8));
            out.push_back(static_cast<std::uint8_t>(bits));
            bits = 0;
        }
    }
    out.resize(out.size() - padding);
    return out;
}

// The cipher and hash settings of <keyData> or of the password's <encryptedKey>.
struct AgileSettings {
    const EVP_MD* md = nullptr;
    std::size_t blockSize = 16;
    std::size_t keyBytes = 16;
    Chaining chaining = Chaining::Cbc;
    Bytes salt;
};

// Reads the settings of element; AES with SHA-1, SHA-256, SHA-384, SHA-512 or MD5 is read, other
// ciphers and hashes are refused by name.
AgileSettings agileSettings(const std::string& path, const XmlElement& element)
{
    AgileSettings s;
    auto upper = [](std::string t) {
        std::string out;
        for (unsigned char c : t)
            if (c != '-' && c != '_' && c != ' ') out += static_cast<char>(std::toupper(c));
        return out;
    };
    const XmlAttribute& cipher = required(path, element, "cipherAlgorithm");
    if (upper(cipher.value) != "AES") unreadable(path, "agile encryption with the cipher " + cipher.value.substr(0, 40));
    const XmlAttribute& chaining = required(path, element, "cipherChaining");
    if (upper(chaining.value) == "CHAININGMODECBC") s.chaining = Chaining::Cbc;
    else if (upper(chaining.value) == "CHAININGMODECFB") s.chaining = Chaining::Cfb8;
    else unreadable(path, "agile encryption with the chaining " + chaining.value.substr(0, 40));
    const XmlAttribute& hash = required(path, element, "hashAlgorithm");
    std::string h = upper(hash.value);
    s.md = h == "SHA1" ? crypto.EVP_sha1() : h == "SHA256" ? crypto.EVP_sha256() : h == "SHA384" ? crypto.EVP_sha384() : h == "SHA512" ? crypto.EVP_sha512() : h == "MD5" ? crypto.EVP_md5() : nullptr;
    if (!s.md) unreadable(path, "agile encryption with the hash " + hash.value.substr(0, 40));
    std::uint32_t hashSize = numberOf(path, element, "hashSize", 1, 65536);
    if (hashSize != static_cast<std::uint32_t>(crypto.EVP_MD_get_size(s.md)))
        damaged(path, required(path, element, "hashSize").at,
                "hashSize " + std::to_string(hashSize) + " does not fit " + hash.value + " (" + std::to_string(crypto.EVP_MD_get_size(s.md)) + " bytes)");
    s.blockSize = numberOf(path, element, "blockSize", 16, 16);  // AES's block
    std::uint32_t keyBits = numberOf(path, element, "keyBits", 128, 256);
    if (keyBits % 64 != 0) damaged(path, required(path, element, "keyBits").at, "keyBits " + std::to_string(keyBits) + " is no AES key size");
    s.keyBytes = keyBits / 8;
    std::uint32_t saltSize = numberOf(path, element, "saltSize", 1, 65536);
    s.salt = base64Of(path, element, "saltValue");
    if (s.salt.size() != saltSize)
        damaged(path, required(path, element, "saltValue").at,
                "saltValue holds " + std::to_string(s.salt.size()) + " bytes, saltSize says " + std::to_string(saltSize));
    return s;
}

// An encrypted value of element: whole cipher blocks, at least least bytes once decrypted.
Bytes encryptedValueOf(const std::string& path, const XmlElement& element, std::string_view name, const AgileSettings& s,
                       std::size_t least)
{
    Bytes value = base64Of(path, element, name);
    if (value.size() < least || (s.chaining != Chaining::Cfb8 && value.size() % s.blockSize != 0))
        damaged(path, required(path, element, name).at,
                std::string(name) + " holds " + std::to_string(value.size()) + " bytes, not whole " +
                    std::to_string(s.blockSize) + "-byte blocks of at least " + std::to_string(least));
    return value;
}

// AES in CBC or CFB mode with keys derived by a configurable hash (agile encryption): the page key
// is encrypted with a key made from the password; each page's IV is a hash of the key data's salt
// and the page's block.
class AgileScheme : public PageScheme {
public:
    AgileScheme(const std::string& path, InfoReader& info)
    {
        std::size_t reservedAt = info.fileOffset();
        std::uint32_t reserved = info.u32("reserved value");
        if (reserved != 0x40) damaged(path, reservedAt, "the reserved value is " + hex(reserved) + ", not 0x0040");
        std::size_t xmlAt = info.fileOffset();
        std::vector<XmlElement> xml = parseXml(path, info.here(), info.left(), xmlAt);
        if (xml[0].name != "encryption")
            damaged(path, xml[0].at, "the encryption description's root is <" + xml[0].name + ">, not <encryption>");
        // The elements directly in the root, and the password's key encryptor.
        const XmlElement* keyData = nullptr;
        const XmlElement* integrity = nullptr;
        const XmlElement* passwordKey = nullptr;
        int keyEncryptors = 0;
        for (std::size_t i = 0; i < xml.size(); ++i) {
            const XmlElement& e = xml[i];
            if (e.parent == 0 && e.name == "keyData") keyData = keyData ? keyData : &e;
            if (e.parent == 0 && e.name == "dataIntegrity") integrity = &e;
            if (e.name == "keyEncryptor" && e.parent >= 0 && xml[static_cast<std::size_t>(e.parent)].name == "keyEncryptors") {
                ++keyEncryptors;
                const XmlAttribute* uri = attributeOf(e, "uri");
                if (!uri || uri->value != "http://schemas.microsoft.com/office/2006/keyEncryptor/password") continue;
                for (std::size_t k = i + 1; k < xml.size() && !passwordKey; ++k)
                    if (xml[k].parent == static_cast<int>(i) && xml[k].name == "encryptedKey") passwordKey = &xml[k];
                if (!passwordKey) damaged(path, e.at, "the password's <keyEncryptor> holds no <encryptedKey>");
            }
        }
        if (!keyData) damaged(path, xml[0].at, "the encryption description has no <keyData>");
        if (!passwordKey && keyEncryptors > 0) unreadable(path, "agile encryption whose key is opened by a certificate, not a password");
        if (!passwordKey) damaged(path, xml[0].at, "the encryption description has no <keyEncryptor>");
        data_ = agileSettings(path, *keyData);
        key_ = agileSettings(path, *passwordKey);
        pageHash_ = std::make_unique<Hasher>(data_.md);
        spinCount_ = numberOf(path, *passwordKey, "spinCount", 0, kLargestSpinCount);
        verifierInput_ = encryptedValueOf(path, *passwordKey, "encryptedVerifierHashInput", key_, key_.salt.size());
        verifierHash_ = encryptedValueOf(path, *passwordKey, "encryptedVerifierHashValue", key_, static_cast<std::size_t>(crypto.EVP_MD_get_size(key_.md)));
        encryptedKey_ = encryptedValueOf(path, *passwordKey, "encryptedKeyValue", key_, data_.keyBytes);
        // The HMAC of <dataIntegrity> is checked to be there and whole; what it covers in a
        // database file is not known, so it is not verified.
        if (integrity) {
            encryptedValueOf(path, *integrity, "encryptedHmacKey", data_, 1);
            encryptedValueOf(path, *integrity, "encryptedHmacValue", data_, 1);
        }
    }
    bool opens(const Bytes& password) override
    {
        Hasher hash(key_.md);
        Bytes stretched = stretchedHash(hash, key_.salt, password, spinCount_);
        // Each of the three values has a key of its own: H(stretched + a fixed block), fitted with 0x36.
        auto decrypted = [&](const Bytes& value, const PageBlock& block1, const PageBlock& block2) {
            std::array<std::uint8_t, 8> block{};
            std::copy(block1.begin(), block1.end(), block.begin());
            std::copy(block2.begin(), block2.end(), block.begin() + 4);
            Bytes key = fitted(hash({stretched, block}), key_.keyBytes, 0x36);
            Bytes iv = fitted(key_.salt, key_.blockSize, 0x36);
            Bytes out = value;
            aesDecrypt(key_.chaining, key, iv.data(), out.data(), out.size());
            crypto.OPENSSL_cleanse(key.data(), key.size());
            return out;
        };
        Bytes input = decrypted(verifierInput_, {0xFE, 0xA7, 0xD2, 0x76}, {0x3B, 0x4B, 0x9E, 0x79});
        Bytes value = decrypted(verifierHash_, {0xD7, 0xAA, 0x0F, 0x6D}, {0x30, 0x61, 0x34, 0x4E});
        Bytes expected = hash({std::span(input.data(), key_.salt.size())});
        bool right = sameBytes(expected.data(), value.data(), expected.size());
        if (right) pageKey_ = fitted(decrypted(encryptedKey_, {0x14, 0x6E, 0x0B, 0xE7}, {0xAB, 0xAC, 0xD0, 0xD6}), data_.keyBytes, 0);
        crypto.OPENSSL_cleanse(stretched.data(), stretched.size());
        return right;
    }
    void decryptPage(const PageBlock& block, std::uint8_t* page, std::size_t n) override
    {
        Bytes iv = fitted((*pageHash_)({data_.salt, block}), data_.blockSize, 0x36);
        std::size_t whole = data_.chaining == Chaining::Cfb8 ? n : n - n % data_.blockSize;
        aesDecrypt(data_.chaining, pageKey_, iv.data(), page, whole);
    }
    ~AgileScheme() override { crypto.OPENSSL_cleanse(pageKey_.data(), pageKey_.size()); }

private:
    AgileSettings data_;  // how the pages are encrypted
    AgileSettings key_;   // how the page key is encrypted with the password
    std::uint32_t spinCount_ = 0;
    Bytes verifierInput_, verifierHash_, encryptedKey_;
    Bytes pageKey_;                     // once opened
    std::unique_ptr<Hasher> pageHash_;  // the key data's hash, for the pages' IVs
};

// ---------------------------------------------------------------------------------------------

// The scheme the encryption information of the header page names. Throws OpenError.
std::unique_ptr<PageScheme> schemeOf(const std::string& path, std::span<const std::uint8_t> bytes)
{
    std::uint16_t length = u16At(bytes.data() + kEncryptionInfoAt);
    std::size_t start = kEncryptionInfoAt + 2;
    if (length > kPageSize - start)
        damaged(path, kEncryptionInfoAt,
                "the encryption information is " + std::to_string(length) + " bytes long, past the end of the header page");
    InfoReader info(path, bytes.data() + start, length, start);
    std::uint16_t major = info.u16("version");
    std::uint16_t minor = info.u16("version");
    std::string version = std::to_string(major) + "." + std::to_string(minor);
    if (major == 4 && minor == 4) return std::make_unique<AgileScheme>(path, info);
    if (major == 1 && minor == 1) return std::make_unique<Md5Rc4Scheme>(info);
    if ((major == 3 || major == 4) && minor == 3) unreadable(path, "extensible encryption (version " + version + ")");
    if (major >= 2 && major <= 4 && minor == 2) {
        std::uint32_t flags = info.u32("flags");  // a copy of the header's flags
        if (!(flags & kCryptoApiFlag)) {
            if (flags & kExternalFlag) unreadable(path, "extensible encryption (version " + version + ")");
            unreadable(path, "encryption version " + version + " without the CryptoAPI flag (flags " + hex(flags) + ")");
        }
        bool aes = flags & kAesFlag;
        CryptoApiHeader header = readCryptoApiHeader(path, info, aes);
        bool aesAlgorithm = header.algorithm == kAes128Id || header.algorithm == kAes192Id || header.algorithm == kAes256Id;
        if (aes) {
            if (!aesAlgorithm && header.algorithm != 0)
                unreadable(path, "standard encryption with the algorithm " + hex(header.algorithm));
            return std::make_unique<StandardAesScheme>(path, std::move(header), 50'000);
        }
        if (header.algorithm == kRc4Id || header.algorithm == 0) return std::make_unique<CryptoApiRc4Scheme>(path, std::move(header));
        if (aesAlgorithm) {
            // AES under the CryptoAPI flags alone: hashed without rounds; its verifier hash is
            // 32 bytes like AES's, so the header is read again.
            InfoReader again(path, bytes.data() + start + 8, length - 8, start + 8);
            return std::make_unique<StandardAesScheme>(path, readCryptoApiHeader(path, again, true), 0);
        }
        unreadable(path, "CryptoAPI encryption with the algorithm " + hex(header.algorithm));
    }
    unreadable(path, "encryption version " + version);
}

// password (UTF-8) as the UTF-16LE bytes the key derivations hash, cut to the 255 code units
// Access uses. A byte that does not start valid UTF-8 counts as one character (Latin-1).
Bytes passwordBytes(const std::string& password)
{
    std::vector<std::uint16_t> units;
    for (std::size_t i = 0; i < password.size();) {
        auto b = [&](std::size_t k) { return static_cast<std::uint8_t>(password[k]); };
        std::uint32_t c = b(i);
        std::size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        bool valid = n > 0 && i + n <= password.size();
        std::uint32_t code = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
        for (std::size_t k = 1; valid && k < n; ++k) {
            valid = (b(i + k) & 0xC0) == 0x80;
            code = code << 6 | (b(i + k) & 0x3F);
        }
        static const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};  // no overlong forms
        valid = valid && code >= least[n] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        if (!valid) code = c, n = 1;
        if (code >= 0x10000) {
            units.push_back(static_cast<std::uint16_t>(0xD800 + ((code - 0x10000) >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<std::uint16_t>(code));
        }
        i += n;
    }
    units.resize(std::min(units.size(), kLongestPassword));
    Bytes out;
    for (std::uint16_t u : units) {
        out.push_back(static_cast<std::uint8_t>(u));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    crypto.OPENSSL_cleanse(units.data(), units.size() * sizeof units[0]);
    return out;
}

}  // namespace

void decryptAceFile(const std::string& path, std::span<std::uint8_t> bytes, const std::string& password)
{
    // Access 2007+ as the header checks tell it: a signature and a version byte of 2 or more.
    bool signature = bytes.size() >= kPageSize && (std::memcmp(bytes.data() + 4, "Standard ACE DB", 16) == 0 ||
                                                   std::memcmp(bytes.data() + 4, "Standard Jet DB", 16) == 0);
    if (!signature || bytes[0x14] < 2) return;
    Bytes mask = rc4Keystream(kHeaderMaskKey, kMaskedBytes);
    // The header's byte at offset, unmasked.
    auto unmasked = [&](std::size_t offset) { return static_cast<std::uint8_t>(bytes[offset] ^ mask[offset - kHeaderMaskStart]); };
    PageBlock encodingKey{};
    for (std::size_t i = 0; i < 4; ++i) encodingKey[i] = unmasked(kEncodingKeyAt + i);
    if (encodingKey == PageBlock{}) return;  // not encrypted
    loadCrypto(path);
    if (bytes.size() % kPageSize != 0)
        damaged(path, bytes.size() - bytes.size() % kPageSize, "the file does not end with a whole page");

    std::unique_ptr<PageScheme> scheme = schemeOf(path, bytes);
    if (password.empty()) throw OpenError(path, "no password given", OpenProblem::PasswordNeeded);
    Bytes utf16 = passwordBytes(password);
    bool opens = scheme->opens(utf16);
    crypto.OPENSSL_cleanse(utf16.data(), utf16.size());
    if (!opens) throw OpenError(path, "wrong password", OpenProblem::WrongPassword);

    const std::size_t pages = bytes.size() / kPageSize;
    for (std::size_t page = 1; page < pages; ++page) {
        PageBlock block = le32(static_cast<std::uint32_t>(page));
        for (std::size_t i = 0; i < 4; ++i) block[i] ^= encodingKey[i];
        scheme->decryptPage(block, bytes.data() + page * kPageSize, kPageSize);
    }

    // Every Access file keeps its catalog's definition on page 2: the right password on pages that
    // do not decrypt to it means the file is damaged.
    if (pages > 2 && (bytes[2 * kPageSize] != 0x02 || bytes[2 * kPageSize + 1] != 0x01))
        damaged(path, 2 * kPageSize, "page 2 does not decrypt to the catalog's definition with the right password");

    // The plain pages read as an unencrypted file: no encryption key, and no Jet password (the
    // password field of an encrypted file holds none). The field is stored XORed with the
    // creation day as the header checks read it.
    double created = 0;
    std::uint8_t date[8];
    for (std::size_t i = 0; i < 8; ++i) date[i] = unmasked(kCreatedAt + i);
    std::memcpy(&created, date, 8);
    std::uint32_t day = created >= 0 && created < 4e9 ? static_cast<std::uint32_t>(created) : 0;
    for (std::size_t i = 0; i < 4; ++i) bytes[kEncodingKeyAt + i] = mask[kEncodingKeyAt - kHeaderMaskStart + i];
    for (std::size_t i = 0; i < kJetPasswordBytes; ++i)
        bytes[kJetPasswordAt + i] = static_cast<std::uint8_t>(mask[kJetPasswordAt - kHeaderMaskStart + i] ^ (day >> (8 * (i % 4))));
}

}  // namespace engine
