// libFuzzer target: the window process's decoding of a serialized design, which comes from
// another process and is trusted no more than a file, and the engine's views over what was
// accepted: every name, value and lookup the comparisons can ask for. Refusals are fine; a
// crash, a hang or a sanitizer finding is not.
#include "database_engine.h"
#include "design_codec.h"
#include "format_error.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// Reads every property of a list, last position first, so that the walk also starts over.
void readAll(const engine::Properties& properties)
{
    for (std::int16_t i = properties.Count(); i-- > 0;) {
        properties.Item(i).Name();
        properties.Item(i).Value();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<const engine::EncodedDesign> encoded;
    try {
        encoded = engine::EncodedDesign::decode(bytes);
    } catch (const engine::FormatError&) {
        return 0;
    }
    engine::expandDesign(*encoded);
    engine::Database db("/fuzz.mdb", std::move(encoded));
    for (std::int16_t t = 0; t < db.TableDefs().Count(); ++t) {
        const engine::TableDef table = db.TableDefs().Item(t);
        db.TableDefs().PositionOf(table.Name());
        for (std::int16_t f = 0; f < table.Fields().Count(); ++f) {
            table.Fields().PositionOf(table.Fields().Item(f).Name());
            readAll(table.Fields().Item(f).Properties());
        }
        for (std::int16_t x = 0; x < table.Indexes().Count(); ++x) {
            table.Indexes().PositionOf(table.Indexes().Item(x).Name());
            table.Indexes().Item(x).Fields();
            readAll(table.Indexes().Item(x).Properties());
        }
    }
    for (std::int16_t r = 0; r < db.Relations().Count(); ++r) {
        const engine::Relation relation = db.Relations().Item(r);
        relation.Table();
        relation.ForeignTable();
        for (std::int16_t f = 0; f < relation.Fields().Count(); ++f) relation.Fields().Item(f).ForeignName();
        readAll(relation.Properties());
    }
    for (std::int16_t q = 0; q < db.QueryDefs().Count(); ++q) {
        db.QueryDefs().PositionOf(db.QueryDefs().Item(q).Name());
        readAll(db.QueryDefs().Item(q).Properties());
    }
    return 0;
}
