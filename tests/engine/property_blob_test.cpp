#include "property_blob.h"

#include "format_error.h"
#include "jet4_writer.h"
#include "run_command.h"
#include "schema_text.h"

#include <gtest/gtest.h>

#include <set>

using namespace engine;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

namespace {

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes b;
    for (const auto& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

Bytes le(std::uint64_t value, int size)  // little-endian
{
    Bytes b;
    for (int i = 0; i < size; ++i) b.push_back(static_cast<std::uint8_t>(value >> 8 * i));
    return b;
}

Bytes str(std::string_view s) { return Bytes(s.begin(), s.end()); }
Bytes chunk(std::uint16_t type, const Bytes& body) { return cat({le(6 + body.size(), 4), le(type, 2), body}); }

Bytes pool(std::initializer_list<std::string_view> names)  // names as stored
{
    Bytes b;
    for (auto n : names) b = cat({b, le(n.size(), 2), str(n)});
    return chunk(0x80, b);
}

Bytes property(std::uint8_t type, int nameIndex, const Bytes& value)
{
    return cat({le(8 + value.size(), 2), {0, type}, le(static_cast<std::uint64_t>(nameIndex), 2),
                le(value.size(), 2), value});
}

Bytes block(std::uint16_t type, std::string_view name, const Bytes& properties)
{
    return chunk(type, cat({le(6 + name.size(), 4), le(name.size(), 2), str(name), properties}));
}

// Every property as "block/name type value" in stored order, e.g. "ID/Required 1 True".
Lines flatten(const Bytes& blob)
{
    Lines out;
    for (const auto& block : parsePropertyBlob(blob.data(), blob.size()))
        for (const auto& p : block.properties)
            out.push_back(block.name + "/" + p.name + " " + std::to_string(p.type) + " " + p.value.describe());
    return out;
}

// A Jet 3 blob as real files hold it: code page 1252 names and texts, four-byte Yes/No and
// Integer values, the object's block after a field's; an empty text is "", an empty Long Null. Kept in chunks to know where each ends.
std::vector<Bytes> jet3Chunks()
{
    return {str(std::string_view("KKD\0", 4)), pool({"Gr\xF6\xDF" "e", "TotalsRow", "ColumnWidth", "Amount", "Odd"}),
            block(1, "Ma\xDF", cat({property(10, 0, {0x80, ' ', '5'}), property(3, 2, le(0xFFFFFFFF, 4)),
                                    property(10, 4, {})})),
            block(0, "", cat({property(1, 1, {0, 0, 0, 1}), property(16, 3, {0, 2, 0x7B, 0x80}),
                              property(0x13, 4, {0xAB}), property(4, 3, {})}))};
}

}  // namespace

TEST(PropertyBlob, EveryValueTypeOfAGeneratedFile)
{
    testsupport::TempDir dir;
    mdbgen::writeJet4File(mdbgen::parseDescription(R"(table Größe
  field Maß text(20) Required=yes Description="Länge in €" Empty=""
  field Ja yesno Flag:yesno=no DecimalPlaces:byte=2 Small:integer=-2 Big:long=-123456
  field Preis currency Price:currency=12.3456 Ratio:single=0.1 Pi:double=3.25 When:datetime=45292.5
  field Raw binary(4) Raw:binary=0x01ab Blob:ole=0xff00 Id:guid={00112233-4455-6677-8899-AABBCCDDEEFF} None:binary=0x NoMemo:memo=""
  property Description="Tabelle")"),
                          dir.file("t.mdb"));
    Bytes blob;  // LvProp (column 14) of the table's catalog row, as mdb-export reads it
    for (const auto& row : testsupport::parseCsv(
             testsupport::runCommand("mdb-export", {"-H", "-b", "hex", dir.file("t.mdb"), "MSysObjects"}).out))
        for (std::size_t i = 0; row.size() > 14 && row[2] == "Größe" && i + 1 < row[14].size(); i += 2)
            blob.push_back(static_cast<std::uint8_t>(std::stoi(row[14].substr(i, 2), nullptr, 16)));
    EXPECT_EQ(flatten(blob), (Lines{"/Description 12 \"Tabelle\"", "Maß/Required 1 True", "Maß/Description 12 "
                                    "\"Länge in €\"", "Maß/Empty 10 \"\"", "Ja/Flag 1 False", "Ja/DecimalPlaces 2 2",
                                    "Ja/Small 3 -2", "Ja/Big 4 -123456", "Preis/Price 5 12.3456", "Preis/Ratio 6 0.10000000149011612",
                                    "Preis/Pi 7 3.25", "Preis/When 8 45292.5", "Raw/Raw 9 \"0x01AB\"",
                                    "Raw/Blob 11 \"0xFF00\"", "Raw/Id 15 \"{00112233-4455-6677-8899-AABBCCDDEEFF}\"",
                                    "Raw/None 9 \"0x\"", "Raw/NoMemo 12 \"\""}));
}

TEST(PropertyBlob, Jet3BlobAsRealFilesHoldIt)
{
    Bytes blob;
    for (const auto& c : jet3Chunks()) blob = cat({blob, c});
    EXPECT_EQ(flatten(blob), (Lines{"Maß/Größe 10 \"€ 5\"", "Maß/ColumnWidth 3 -1", "Maß/Odd 10 \"\"",
                                    "/TotalsRow 1 True", "/Amount 16 \"0x00027B80\"", "/Odd 19 \"0xAB\"",
                                    "/Amount 4 Null"}));
}

TEST(PropertyBlob, EveryPrefixIsWholeChunksOrRefused)
{
    const std::vector<Bytes> jet4Chunks = {str(std::string_view("MR2\0", 4)), pool({std::string_view("A\0", 2)}),
                                           block(1, std::string_view("F\0", 2), property(4, 0, {1, 0, 0, 0})),
                                           block(0, "", property(1, 0, {0xFF}))};
    for (const auto& chunks : {jet3Chunks(), jet4Chunks}) {
        Bytes blob;
        std::set<std::size_t> chunkEnds;  // a blob may end where any chunk ends
        for (const auto& c : chunks) chunkEnds.insert((blob = cat({blob, c})).size());
        for (std::size_t n = 0; n <= blob.size(); ++n) {
            Bytes prefix(blob.begin(), blob.begin() + static_cast<std::ptrdiff_t>(n));  // reads past it: caught by ASan
            if (chunkEnds.count(n))
                EXPECT_NO_THROW(parsePropertyBlob(prefix.data(), prefix.size())) << n;
            else
                EXPECT_THROW(parsePropertyBlob(prefix.data(), prefix.size()), FormatError) << n;
        }
    }
}

TEST(PropertyBlob, MalformedBlobsNameTheirFaultAndWhere)
{
    const Bytes sig = str(std::string_view("MR2\0", 4)), names = pool({std::string_view("A\0", 2)});  // bytes 4-13
    Bytes pastEnd = cat({sig, names}), zeroProperty = cat({sig, names, block(0, "", property(4, 0, le(1, 4)))});
    pastEnd[4] += 1;
    zeroProperty[26] = 0;
    const std::vector<std::pair<Bytes, std::string>> cases = {
        {str(std::string_view("KDD\0", 4)), "not with MR2 or KKD"},
        {cat({sig, le(0x800000000, 6)}), "chunk at byte 4 has length 0"},
        {pastEnd, "chunk at byte 4 has length 11, past the blob's end"},
        {cat({sig, chunk(2, {})}), "chunk at byte 4 has unknown type 2"},
        {cat({sig, pool({"A"})}), "name at byte 12 has an odd length"},
        {cat({sig, names, block(0, "", property(4, 1, le(1, 4)))}), "property at byte 26 names entry 1"},
        {zeroProperty, "property at byte 26 has length 0"},
        {cat({sig, names, chunk(0, {6, 0, 0, 0, 0, 0, 9, 0, 0})}), "property at byte 26 is cut off"},
        {cat({sig, names, block(0, "", property(4, 0, le(1, 2)))}), "Long value at byte 34 has 2 bytes"},
        {cat({sig, names, block(1, "", {})}), "part's block at byte 14 has no name"},
    };
    for (const auto& [blob, fault] : cases) {
        try {
            parsePropertyBlob(blob.data(), blob.size());
            ADD_FAILURE() << "accepted; expected: " << fault;
        } catch (const FormatError& e) {
            EXPECT_NE(std::string(e.what()).find(fault), std::string::npos) << e.what();
        }
    }
}
