// libFuzzer target: the reader's parsing of a database file from memory, as the reader process
// runs it (the header checks, then the whole design through libmdb and the engine's own parsers).
// Refusals are fine; a crash, a hang or a sanitizer finding is not. Encrypted Access 2007+ files
// are decrypted with the password "fuzz", the password of the encrypted seed in corpus/reader.
#include "ace_encryption.h"
#include "database_file.h"
#include "design_reader.h"
#include "format_error.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    engine::DatabaseFile file;
    file.path = "fuzz.mdb";
    file.bytes = engine::FileBytes(std::vector<std::uint8_t>(data, data + size));
    try {
        engine::decryptAceFile(file.path, file.bytes.span(), "fuzz");
        file.format = engine::checkDatabaseBytes(file.path, file.bytes.span());
        engine::readDesign(file);
    } catch (const engine::OpenError&) {
    } catch (const engine::FormatError&) {
    }
    return 0;
}
