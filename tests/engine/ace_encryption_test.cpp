// Access 2007+ files encrypted with a password: files encrypted here, with OpenSSL and the steps
// each scheme prescribes, are decrypted page for page by the engine; a missing or wrong password
// and damaged headers are refused with the right problem.
#include "ace_encryption.h"
#include "database_file.h"
#include "design_reader.h"
#include "generated_database.h"
#include "rc4.h"
#include "reader_process.h"
#include "run_command.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <functional>

using namespace engine;
using testsupport::TempDir;

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kPage = 4096;

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes le32(std::uint32_t n) { return {std::uint8_t(n), std::uint8_t(n >> 8), std::uint8_t(n >> 16), std::uint8_t(n >> 24)}; }
Bytes le16(std::uint16_t n) { return {std::uint8_t(n), std::uint8_t(n >> 8)}; }
Bytes pattern(std::size_t n, std::uint8_t seed)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed * 31 + i * 7 + (i >> 8));
    return b;
}
Bytes hashOf(const EVP_MD* md, const Bytes& data)
{
    Bytes out(static_cast<std::size_t>(EVP_MD_get_size(md)));
    unsigned int n = 0;
    EVP_Digest(data.data(), data.size(), out.data(), &n, md, nullptr);
    return out;
}
Bytes fit(Bytes b, std::size_t n, std::uint8_t pad)
{
    b.resize(n, pad);
    return b;
}
// Encrypts data (whole blocks) with cipher, no padding.
Bytes encrypt(const EVP_CIPHER* cipher, const Bytes& key, const Bytes& iv, const Bytes& data)
{
    Bytes out(data.size() + 32);
    int n = 0, m = 0;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, cipher, nullptr, key.data(), iv.empty() ? nullptr : iv.data());
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_EncryptUpdate(ctx, out.data(), &n, data.data(), static_cast<int>(data.size()));
    EVP_EncryptFinal_ex(ctx, out.data() + n, &m);
    EVP_CIPHER_CTX_free(ctx);
    out.resize(static_cast<std::size_t>(n + m));
    return out;
}
Bytes rc4(const Bytes& key, Bytes data)
{
    Bytes stream = rc4Keystream(key, data.size());
    for (std::size_t i = 0; i < data.size(); ++i) data[i] ^= stream[i];
    return data;
}
std::string base64(const Bytes& b)
{
    std::string out(4 * ((b.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), b.data(), static_cast<int>(b.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}
// The UTF-16LE of an ASCII password.
Bytes utf16(const std::string& ascii)
{
    Bytes out;
    for (char c : ascii) out.push_back(static_cast<std::uint8_t>(c)), out.push_back(0);
    return out;
}

// How a scheme is written: the header's encryption information and each page's encryption
// (page: the encoding key XOR the page number, 4 bytes).
struct Written {
    Bytes info;
    std::function<Bytes(const Bytes& block, const Bytes& plain)> encryptPage;
};

const Bytes kEncodingKey = {0x5A, 0x13, 0xC4, 0x7E};

// page (a header page) marked as Access marks an encrypted one: kEncodingKey in its masked
// block, the Jet password field holding the key's first byte (as Access leaves it), and info.
Bytes encryptedHeader(Bytes page, const Bytes& info)
{
    Bytes mask = rc4Keystream(kHeaderMaskKey, 128);
    for (std::size_t i = 0; i < 128; ++i) page[kHeaderMaskStart + i] ^= mask[i];
    std::memcpy(page.data() + 0x3E, kEncodingKey.data(), 4);
    double created = 0;
    std::memcpy(&created, page.data() + 0x72, 8);
    auto day = static_cast<std::uint32_t>(created);
    for (std::size_t i = 0; i < 40; ++i) page[0x42 + i] = kEncodingKey[0] ^ static_cast<std::uint8_t>(day >> (8 * (i % 4)));
    for (std::size_t i = 0; i < 128; ++i) page[kHeaderMaskStart + i] ^= mask[i];
    Bytes length = le16(static_cast<std::uint16_t>(info.size()));
    std::copy(length.begin(), length.end(), page.begin() + 0x299);
    std::copy(info.begin(), info.begin() + static_cast<long>(std::min(info.size(), kPage - 0x29B)), page.begin() + 0x29B);
    return page;
}

// An ACE header page (version byte 2) of an encrypted file, created on day 41000.
Bytes headerPage(const Bytes& info)
{
    Bytes page(kPage, 0);
    page[1] = 1;
    std::memcpy(page.data() + 4, "Standard ACE DB", 16);
    page[0x14] = 2;
    double created = 41000.25;
    std::memcpy(page.data() + 0x72, &created, 8);
    Bytes mask = rc4Keystream(kHeaderMaskKey, 128);
    for (std::size_t i = 0; i < 128; ++i) page[kHeaderMaskStart + i] ^= mask[i];
    return encryptedHeader(page, info);
}

// A plain file of n pages after the header: page 2 opens as a table definition does.
Bytes plainPages(std::size_t n)
{
    Bytes pages;
    for (std::size_t p = 1; p <= n; ++p) pages = pages + pattern(kPage, static_cast<std::uint8_t>(p));
    pages[kPage] = 0x02, pages[kPage + 1] = 0x01;
    return pages;
}

// The whole encrypted file of plain (pages 1 on), after header (by default a made-up one).
Bytes encryptedFile(const Written& w, const Bytes& plain, const Bytes& header = {})
{
    Bytes file = header.empty() ? headerPage(w.info) : encryptedHeader(header, w.info);
    for (std::size_t p = 1; p <= plain.size() / kPage; ++p) {
        Bytes block = le32(static_cast<std::uint32_t>(p));
        for (int i = 0; i < 4; ++i) block[i] ^= kEncodingKey[i];
        Bytes page(plain.begin() + static_cast<long>((p - 1) * kPage), plain.begin() + static_cast<long>(p * kPage));
        file = file + w.encryptPage(block, page);
    }
    return file;
}

// Agile encryption: password key encryptor and key data with hash md, AES of keyBits.
Written agile(const Bytes& password, const EVP_MD* md, const std::string& hashName, int keyBits, std::uint32_t spinCount,
              const std::string& xmlTail = "")
{
    const std::size_t keyBytes = static_cast<std::size_t>(keyBits / 8);
    const EVP_CIPHER* cbc = keyBits == 128 ? EVP_aes_128_cbc() : keyBits == 192 ? EVP_aes_192_cbc() : EVP_aes_256_cbc();
    Bytes keySalt = pattern(16, 1), dataSalt = pattern(16, 2), pageKey = pattern(keyBytes, 3), input = pattern(16, 4);
    Bytes h = hashOf(md, keySalt + password);
    for (std::uint32_t i = 0; i < spinCount; ++i) h = hashOf(md, le32(i) + h);
    auto keyFor = [&](const Bytes& block) { return fit(hashOf(md, h + block), keyBytes, 0x36); };
    Bytes hashValue = hashOf(md, input);
    hashValue = fit(hashValue, (hashValue.size() + 15) / 16 * 16, 0);
    Bytes encInput = encrypt(cbc, keyFor({0xfe, 0xa7, 0xd2, 0x76, 0x3b, 0x4b, 0x9e, 0x79}), keySalt, input);
    Bytes encValue = encrypt(cbc, keyFor({0xd7, 0xaa, 0x0f, 0x6d, 0x30, 0x61, 0x34, 0x4e}), keySalt, hashValue);
    Bytes encKey = encrypt(cbc, keyFor({0x14, 0x6e, 0x0b, 0xe7, 0xab, 0xac, 0xd0, 0xd6}), keySalt, pageKey);
    std::string common = "saltSize=\"16\" blockSize=\"16\" keyBits=\"" + std::to_string(keyBits) + "\" hashSize=\"" +
                         std::to_string(EVP_MD_get_size(md)) + "\" cipherAlgorithm=\"AES\" cipherChaining=\"ChainingModeCBC\" hashAlgorithm=\"" +
                         hashName + "\" ";
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<encryption xmlns=\"http://schemas.microsoft.com/office/2006/encryption\" "
        "xmlns:p=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\">"
        "<keyData " + common + "saltValue=\"" + base64(dataSalt) + "\"/>" + xmlTail +
        "<keyEncryptors><keyEncryptor uri=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\">"
        "<p:encryptedKey spinCount=\"" + std::to_string(spinCount) + "\" " + common + "saltValue=\"" + base64(keySalt) +
        "\" encryptedVerifierHashInput=\"" + base64(encInput) + "\" encryptedVerifierHashValue=\"" + base64(encValue) +
        "\" encryptedKeyValue=\"" + base64(encKey) + "\"/></keyEncryptor></keyEncryptors></encryption>";
    Written w;
    w.info = le16(4) + le16(4) + le32(0x40) + text(xml);
    w.encryptPage = [=](const Bytes& block, const Bytes& plain) {
        return encrypt(cbc, pageKey, fit(hashOf(md, dataSalt + block), 16, 0x36), plain);
    };
    return w;
}

// A CryptoAPI encryption header and verifier (the verifier encrypted by encryptVerifier).
Bytes cryptoApiInfo(std::uint32_t flags, std::uint32_t algorithm, std::uint32_t keyBits, const std::string& provider,
                    const Bytes& salt, const Bytes& verifier, const Bytes& verifierHash)
{
    Bytes name;
    for (char c : provider) name.push_back(static_cast<std::uint8_t>(c)), name.push_back(0);
    name = name + le16(0);
    Bytes header = le32(flags) + le32(0) + le32(algorithm) + le32(0x8004) + le32(keyBits) + le32(0x18) + le32(0) + le32(0) + name;
    return le16(4) + le16(2) + le32(flags) + le32(static_cast<std::uint32_t>(header.size())) + header + le32(16) + salt + verifier +
           le32(20) + verifierHash;
}

// Standard encryption: AES-ECB, SHA-1 keys with `rounds` rounds (50,000 as the format says).
Written standardAes(const Bytes& password, int keyBits, std::uint32_t algorithm, std::uint32_t flags = 0x24, std::uint32_t rounds = 50000)
{
    const EVP_CIPHER* ecb = keyBits == 128 ? EVP_aes_128_ecb() : keyBits == 192 ? EVP_aes_192_ecb() : EVP_aes_256_ecb();
    Bytes salt = pattern(16, 5), verifier = pattern(16, 6);
    Bytes h = hashOf(EVP_sha1(), salt + password);
    for (std::uint32_t i = 0; i < rounds; ++i) h = hashOf(EVP_sha1(), le32(i) + h);
    auto keyFor = [=](const Bytes& block) {
        Bytes final = hashOf(EVP_sha1(), h + block);
        Bytes x1(64, 0x36), x2(64, 0x5C);
        for (std::size_t i = 0; i < final.size(); ++i) x1[i] ^= final[i], x2[i] ^= final[i];
        return fit(hashOf(EVP_sha1(), x1) + hashOf(EVP_sha1(), x2), static_cast<std::size_t>(keyBits / 8), 0);
    };
    Bytes key0 = keyFor(le32(0));
    Written w;
    w.info = cryptoApiInfo(flags, algorithm, static_cast<std::uint32_t>(keyBits), "Microsoft Enhanced RSA and AES Cryptographic Provider",
                           salt, encrypt(ecb, key0, {}, verifier), encrypt(ecb, key0, {}, fit(hashOf(EVP_sha1(), verifier), 32, 0)));
    w.encryptPage = [=](const Bytes& block, const Bytes& plain) { return encrypt(ecb, keyFor(block), {}, plain); };
    return w;
}

// RC4 through CryptoAPI: keySize 0 takes the provider's default (40 bits for a "Base" provider).
Written cryptoApiRc4(const Bytes& password, std::uint32_t keySize, int effectiveBits, const std::string& provider)
{
    Bytes salt = pattern(16, 7), verifier = pattern(16, 8);
    Bytes base = hashOf(EVP_sha1(), salt + password);
    auto keyFor = [=](const Bytes& block) {
        Bytes key = fit(hashOf(EVP_sha1(), base + block), static_cast<std::size_t>(effectiveBits / 8), 0);
        return effectiveBits == 40 ? fit(key, 16, 0) : key;
    };
    Bytes both = rc4(keyFor(le32(0)), verifier + hashOf(EVP_sha1(), verifier));
    Written w;
    w.info = cryptoApiInfo(0x04, 0x6801, keySize, provider, salt, Bytes(both.begin(), both.begin() + 16), Bytes(both.begin() + 16, both.end()));
    w.encryptPage = [=](const Bytes& block, const Bytes& plain) { return rc4(keyFor(block), plain); };
    return w;
}

// RC4 with MD5 (version 1.1).
Written md5Rc4(const Bytes& password)
{
    Bytes salt = pattern(16, 9), verifier = pattern(16, 10);
    Bytes h0 = fit(hashOf(EVP_md5(), password), 5, 0);
    Bytes repeated;
    for (int i = 0; i < 16; ++i) repeated = repeated + h0 + salt;
    Bytes base = fit(hashOf(EVP_md5(), repeated), 5, 0);
    auto keyFor = [=](const Bytes& block) { return hashOf(EVP_md5(), base + block); };
    Bytes both = rc4(keyFor(le32(0)), verifier + hashOf(EVP_md5(), verifier));
    Written w;
    w.info = le16(1) + le16(1) + salt + both;
    w.encryptPage = [=](const Bytes& block, const Bytes& plain) { return rc4(keyFor(block), plain); };
    return w;
}

struct Case {
    const char* name;
    Written written;
};

std::vector<Case> everyScheme(const Bytes& password)
{
    return {
        {"agile SHA-512 AES-256", agile(password, EVP_sha512(), "SHA512", 256, 1000)},
        {"agile SHA-1 AES-128", agile(password, EVP_sha1(), "SHA1", 128, 1000)},
        {"standard AES-128", standardAes(password, 128, 0x660E)},
        {"standard AES-256", standardAes(password, 256, 0x6610)},
        {"AES under CryptoAPI flags alone", standardAes(password, 192, 0x660F, 0x04, 0)},
        {"CryptoAPI RC4, base provider's 40 bits", cryptoApiRc4(password, 0, 40, "Microsoft Base Cryptographic Provider v1.0")},
        {"CryptoAPI RC4, another provider's 128 bits", cryptoApiRc4(password, 0, 128, "Some Other Provider")},
        {"CryptoAPI RC4, 56 bits", cryptoApiRc4(password, 56, 56, "Microsoft Enhanced Cryptographic Provider v1.0")},
        {"MD5 RC4", md5Rc4(password)},
    };
}

// The problem and reason decryptAceFile refuses bytes with ("" when it does not).
std::pair<OpenProblem, std::string> refusal(Bytes bytes, const std::string& password)
{
    try {
        decryptAceFile("x.accdb", bytes, password);
    } catch (const OpenError& e) {
        return {e.problem(), e.reason()};
    }
    return {OpenProblem::Other, ""};
}

TEST(AceEncryption, EverySchemeDecryptsEveryPageWithTheRightPasswordOnly)
{
    const Bytes plain = plainPages(3);
    for (const Case& c : everyScheme(utf16("Secret7"))) {
        SCOPED_TRACE(c.name);
        Bytes file = encryptedFile(c.written, plain);
        ASSERT_NE(Bytes(file.begin() + kPage, file.end()), plain);

        auto [noneProblem, noneReason] = refusal(file, "");
        EXPECT_EQ(noneProblem, OpenProblem::PasswordNeeded);
        EXPECT_EQ(noneReason, "no password given");
        auto [wrongProblem, wrongReason] = refusal(file, "Secret8");
        EXPECT_EQ(wrongProblem, OpenProblem::WrongPassword);
        EXPECT_EQ(wrongReason, "wrong password");

        decryptAceFile("x.accdb", file, "Secret7");
        EXPECT_EQ(Bytes(file.begin() + kPage, file.end()), plain);
        // The header no longer says the pages are encrypted, and passes the file checks.
        EXPECT_EQ(checkDatabaseBytes("x.accdb", file), FileFormat::Ace);
        Bytes again = file;
        decryptAceFile("x.accdb", again, "");
        EXPECT_EQ(again, file);
    }
}

TEST(AceEncryption, PasswordIsHashedAsUtf16AndCutAt255Characters)
{
    // "Grüße€" in UTF-16LE, written out by hand.
    const Bytes umlauts = {0x47, 0, 0x72, 0, 0xFC, 0, 0xDF, 0, 0x65, 0, 0xAC, 0x20};
    Bytes file = encryptedFile(agile(umlauts, EVP_sha1(), "SHA1", 128, 10), plainPages(3));
    EXPECT_EQ(refusal(file, "Grusse").first, OpenProblem::WrongPassword);
    EXPECT_EQ(refusal(file, "Gr\xC3\xBC\xC3\x9F" "e\xE2\x82\xAC").second, "");

    std::string longest(255, 'a');
    Bytes cut = encryptedFile(agile(utf16(longest), EVP_sha1(), "SHA1", 128, 10), plainPages(3));
    EXPECT_EQ(refusal(cut, longest + "bcd").second, "");
    EXPECT_EQ(refusal(cut, std::string(254, 'a')).first, OpenProblem::WrongPassword);
}

TEST(AceEncryption, DamagedHeadersSayWhereAndUnknownSchemesSayWhich)
{
    const Bytes plain = plainPages(3);
    const Bytes password = utf16("pw");
    auto withInfo = [&](const Bytes& info) {
        Bytes file = encryptedFile(agile(password, EVP_sha1(), "SHA1", 128, 1), plain);
        Bytes header = headerPage(info);
        std::copy(header.begin(), header.end(), file.begin());
        return file;
    };
    auto agileXml = [&](const std::string& tail, const std::function<std::string(std::string)>& edit) {
        Bytes info = agile(password, EVP_sha1(), "SHA1", 128, 1, tail).info;
        std::string xml(info.begin() + 8, info.end());
        return le16(4) + le16(4) + le32(0x40) + text(edit(xml));
    };
    auto replaced = [](std::string from, std::string to) {
        return [=](std::string xml) {
            std::size_t at = xml.find(from);
            return at == std::string::npos ? xml : xml.replace(at, from.size(), to);
        };
    };

    struct Bad {
        const char* name;
        Bytes file;
        std::string reasonStart;
    };
    Bytes pastPage = withInfo(le16(4) + le16(4));
    pastPage[0x299] = 0xFF, pastPage[0x29A] = 0x0F;
    Bytes standard = standardAes(password, 128, 0x660E).info;
    const std::vector<Bad> bad = {
        {"length past the page", pastPage, "damaged: the encryption information is 4095 bytes long, past the end of the header page (at byte 665)"},
        {"cut in its version", withInfo(le16(4)), "damaged: the encryption header ends inside its version (2 bytes needed, 0 left) (at byte 669)"},
        {"standard header cut short", withInfo(Bytes(standard.begin(), standard.end() - 10)), "damaged: the encryption header ends inside its verifier hash"},
        {"header size past the end", withInfo(le16(3) + le16(2) + le32(0x24) + le32(5000)), "damaged: the encryption header's size 5000"},
        {"unknown version", withInfo(le16(9) + le16(9)), "an encryption Dualyn cannot read: encryption version 9.9"},
        {"extensible", withInfo(le16(4) + le16(3) + le32(0x10)), "an encryption Dualyn cannot read: extensible encryption (version 4.3)"},
        {"reserved value", withInfo(le16(4) + le16(4) + le32(0x41)), "damaged: the reserved value is 0x0041, not 0x0040 (at byte 671)"},
        {"unclosed tag", withInfo(agileXml("", replaced("</encryption>", ""))), "damaged: the encryption description is not well-formed XML: <encryption> is never closed"},
        {"mismatched tag", withInfo(agileXml("", replaced("</keyEncryptors>", "</keyEncryptor>"))), "damaged: the encryption description is not well-formed XML: an end tag"},
        {"quote missing", withInfo(agileXml("", replaced("saltSize=\"16\"", "saltSize=16"))), "damaged: the encryption description is not well-formed XML: an attribute value without quotes"},
        {"no key data", withInfo(agileXml("", replaced("<keyData ", "<keyDatum "))), "damaged: the encryption description has no <keyData>"},
        {"bad base64", withInfo(agileXml("", replaced("encryptedKeyValue=\"", "encryptedKeyValue=\"*"))), "damaged: encryptedKeyValue is not base64"},
        {"salt size mismatch", withInfo(agileXml("", replaced("saltSize=\"16\"", "saltSize=\"17\""))), "damaged: saltValue holds 16 bytes, saltSize says 17"},
        {"hash size mismatch", withInfo(agileXml("", replaced("hashSize=\"20\"", "hashSize=\"64\""))), "damaged: hashSize 64 does not fit SHA1"},
        {"spin count too large", withInfo(agileXml("", replaced("spinCount=\"1\"", "spinCount=\"4000000000\""))), "damaged: spinCount is \"4000000000\", not a number from 0 to 10000000"},
        {"other cipher", withInfo(agileXml("", replaced("cipherAlgorithm=\"AES\"", "cipherAlgorithm=\"DES\""))), "an encryption Dualyn cannot read: agile encryption with the cipher DES"},
        {"certificate only", withInfo(agileXml("", replaced("keyEncryptor/password\"><p:", "keyEncryptor/certificate\"><p:"))), "an encryption Dualyn cannot read: agile encryption whose key is opened by a certificate"},
        {"data integrity cut", withInfo(agileXml("<dataIntegrity encryptedHmacKey=\"AAAA\" encryptedHmacValue=\"AAAA\"/>", [](std::string x) { return x; })), "damaged: encryptedHmacKey holds 3 bytes"},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.name);
        auto [problem, reason] = refusal(b.file, "pw");
        EXPECT_EQ(problem, OpenProblem::Other);
        EXPECT_EQ(reason.substr(0, b.reasonStart.size()), b.reasonStart) << reason;
        // A damaged header is damaged whatever the password, and never a wrong password.
        EXPECT_EQ(refusal(b.file, "other").second, reason);
    }
}

// A generated database made an Access 2007 file (its version byte), as bytes.
Bytes generatedAceFile(const TempDir& dir)
{
    std::string path = testsupport::writeDatabase(dir,
                                                  "table Customers\n  field ID autonumber\n  field Name text(40) Required=yes\n"
                                                  "  index PrimaryKey (ID) primary\n"
                                                  "table Orders\n  field OrderID long\n  field CustomerID long\n");
    std::string bytes = testsupport::readFile(path);
    Bytes file(bytes.begin(), bytes.end());
    std::memcpy(file.data() + 4, "Standard ACE DB", 16);
    file[0x14] = 2;
    return file;
}

TEST(AceEncryption, EncryptedFileReadsAsTheSameDesignThroughTheReader)
{
    TempDir dir;
    Bytes plainFile = generatedAceFile(dir);
    Bytes plain(plainFile.begin() + kPage, plainFile.end());
    Bytes encrypted = encryptedFile(agile(utf16("Open sesame"), EVP_sha512(), "SHA512", 256, 100000), plain,
                                    Bytes(plainFile.begin(), plainFile.begin() + kPage));
    testsupport::writeFile(dir.file("plain.accdb"), std::string(plainFile.begin(), plainFile.end()));
    testsupport::writeFile(dir.file("encrypted.accdb"), std::string(encrypted.begin(), encrypted.end()));

    auto plainText = testsupport::runCommand(readerProgram(), {"--text", dir.file("plain.accdb")});
    ASSERT_EQ(plainText.exitCode, 0) << plainText.err;
    auto read = testsupport::runCommand(readerProgram(), {"--text", "--password-on-stdin", dir.file("encrypted.accdb")}, "Open sesame");
    EXPECT_EQ(read.exitCode, 0) << read.err;
    auto afterPath = [](const std::string& out) { return out.substr(out.find('\n')); };  // the first line names the file
    EXPECT_EQ(afterPath(read.out), afterPath(plainText.out));
    EXPECT_NE(read.out.find("Customers"), std::string::npos);

    auto none = testsupport::runCommand(readerProgram(), {"--text", dir.file("encrypted.accdb")});
    EXPECT_EQ(none.exitCode, 4);
    EXPECT_NE(none.err.find("no password given"), std::string::npos) << none.err;
    auto wrong = testsupport::runCommand(readerProgram(), {"--text", "--password-on-stdin", dir.file("encrypted.accdb")}, "open sesame");
    EXPECT_EQ(wrong.exitCode, 5);
    EXPECT_NE(wrong.err.find("wrong password"), std::string::npos) << wrong.err;

    // The right password on a file whose pages do not decrypt to a database: damaged, not wrong.
    Bytes garbled = encrypted;
    for (std::size_t i = 2 * kPage; i < 2 * kPage + 64; ++i) garbled[i] ^= 0xFF;
    testsupport::writeFile(dir.file("garbled.accdb"), std::string(garbled.begin(), garbled.end()));
    auto damagedRead = testsupport::runCommand(readerProgram(), {"--text", "--password-on-stdin", dir.file("garbled.accdb")}, "Open sesame");
    EXPECT_EQ(damagedRead.exitCode, 2);
    EXPECT_NE(damagedRead.err.find("damaged"), std::string::npos) << damagedRead.err;

    // OpenSSL's library is loaded only for an encrypted file: one that cannot be loaded is a
    // reason for that file, and keeps no plain one from being read.
    testsupport::writeFile(dir.file("libcrypto.so.3"), "no library");
    const testsupport::Environment noCrypto = {{"LD_LIBRARY_PATH", dir.path()}};
    auto withoutCrypto = testsupport::runCommand(readerProgram(), {"--text", "--password-on-stdin", dir.file("encrypted.accdb")},
                                                 "Open sesame", noCrypto);
    EXPECT_EQ(withoutCrypto.exitCode, 2);
    EXPECT_EQ(withoutCrypto.err.rfind("the database is encrypted, and OpenSSL's libcrypto, which decrypts it, cannot be loaded (", 0), 0u)
        << withoutCrypto.err;
    EXPECT_EQ(testsupport::runCommand(readerProgram(), {"--text", dir.file("plain.accdb")}, {}, noCrypto).out, plainText.out);
}

}  // namespace
