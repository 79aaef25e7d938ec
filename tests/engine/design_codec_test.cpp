// The serialized form of a design: designs of generator files and of every value kind back
// unchanged, the text for people exactly, and bytes that are cut off, damaged or made up refused
// with a FormatError that says what and where.
#include "database_engine.h"
#include "design_codec.h"
#include "design_reader.h"
#include "field_properties.h"
#include "format_error.h"
#include "jet4_writer.h"
#include "run_command.h"
#include "schema_text.h"
#include "synthetic.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <limits>
#include <random>

using namespace engine;

namespace {

// Numbers by their bits, so that NaN equals itself and -0 differs from 0.
bool same(const Variant& a, const Variant& b)
{
    if (a.isNumber() && b.isNumber()) return std::bit_cast<std::uint64_t>(a.number()) == std::bit_cast<std::uint64_t>(b.number());
    return a == b;
}

bool same(const PropertyList& a, const PropertyList& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const Property& x, const Property& y) { return x.name == y.name && same(x.value, y.value); });
}

bool same(const DatabaseDesign& a, const DatabaseDesign& b)
{
    auto field = [](const FieldDesign& x, const FieldDesign& y) { return x.name == y.name && same(x.properties, y.properties); };
    auto index = [](const IndexDesign& x, const IndexDesign& y) {
        return x.name == y.name && x.fields == y.fields && same(x.properties, y.properties);
    };
    auto table = [&](const TableDesign& x, const TableDesign& y) {
        return x.name == y.name && std::equal(x.fields.begin(), x.fields.end(), y.fields.begin(), y.fields.end(), field) &&
               std::equal(x.indexes.begin(), x.indexes.end(), y.indexes.begin(), y.indexes.end(), index);
    };
    auto pair = [](const RelationField& x, const RelationField& y) { return x.name == y.name && x.foreignName == y.foreignName; };
    auto relation = [&](const RelationDesign& x, const RelationDesign& y) {
        return x.name == y.name && x.table == y.table && x.foreignTable == y.foreignTable &&
               std::equal(x.fields.begin(), x.fields.end(), y.fields.begin(), y.fields.end(), pair) &&
               same(x.properties, y.properties);
    };
    auto query = [](const QueryDesign& x, const QueryDesign& y) { return x.name == y.name && same(x.properties, y.properties); };
    return a.name == b.name && a.format == b.format && std::equal(a.tables.begin(), a.tables.end(), b.tables.begin(), b.tables.end(), table) &&
           std::equal(a.relations.begin(), a.relations.end(), b.relations.begin(), b.relations.end(), relation) &&
           std::equal(a.queries.begin(), a.queries.end(), b.queries.begin(), b.queries.end(), query);
}

Variant num(double v) { return Variant::number(v); }
Variant text(const std::string& s) { return Variant::text(s); }

// Every kind of value and name the format treats apart: -0, NaN, infinities, whole numbers at and
// past 2^53, empty and non-ASCII texts, long texts and names, more pooled names than one byte counts.
DatabaseDesign everyKind()
{
    const double big = 9007199254740992.0;  // 2^53
    PropertyList values = {
        {"Null", Variant()}, {"No", Variant::boolean(false)}, {"Yes", Variant::boolean(true)}, {"Zero", num(0)},
        {"Minus", num(-0.0)}, {"NaN", num(-std::nan("7"))}, {"Inf", num(INFINITY)}, {"NegInf", num(-INFINITY)},
        {"Half", num(0.5)}, {"Big", num(big)}, {"Bigger", num(big + 2)}, {"NegBig", num(-big)}, {"Long", num(-100000)},
        {"Tiny", num(std::numeric_limits<double>::denorm_min())}, {"Empty", text("")},
        {"Größe", text("Ключ 顧客 𝄞 \"q\"\r\n\t\x01")}, {std::string(65, 'L'), text(std::string(300, 'x'))}, {"", Variant()},
    };
    PropertyList many;
    for (int i = 0; i < 200; ++i) many.push_back({"P" + std::to_string(i), num(i * 1000.25)});
    return DatabaseDesign{"/data/Größe.mdb",
                          {TableDesign{"T", {{"A", values}, {"B", many}, {"", {}}}, {{"PK", "+A;-B", values}}}, TableDesign{}},
                          {RelationDesign{"R", "T", "U", {{"A", "X"}, {"B", "Y"}}, values}, RelationDesign{}},
                          {QueryDesign{"Q", values}, QueryDesign{"Empty", {}}}};
}

// Made-up bytes in the layout the codec documents: the signature, version and format (Jet 4),
// then numbers as LEB128, texts as a length and bytes, anything else as given.
struct Raw {
    std::string bytes = std::string("DLDS\x02\x01", 6);
    Raw& n(std::uint64_t v)
    {
        for (; v >= 0x80; v >>= 7) bytes += static_cast<char>(v | 0x80);
        bytes += static_cast<char>(v);
        return *this;
    }
    Raw& s(std::string_view t) { return n(t.size()).b(t); }
    Raw& b(std::string_view raw)
    {
        bytes += raw;
        return *this;
    }
};

// How many times needle occurs in bytes, not overlapping.
std::size_t occurrences(const std::string& bytes, const std::string& needle)
{
    std::size_t n = 0;
    for (std::size_t at = bytes.find(needle); at != std::string::npos; at = bytes.find(needle, at + needle.size())) ++n;
    return n;
}

// The message of the FormatError that decoding bytes throws, or "" when it throws none.
std::string refusal(const std::string& bytes)
{
    try {
        decodeDesign(bytes);
    } catch (const FormatError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(DesignCodec, GeneratorFilesComeBackUnchanged)
{
    testsupport::TempDir dir;
    std::filesystem::path examples = std::filesystem::path(__FILE__).parent_path() / "../../tools/mdbgen/examples";
    for (const char* name : {"shop.txt", "names.txt"}) {
        SCOPED_TRACE(name);
        std::string path = dir.file("test.mdb");
        mdbgen::writeJet4File(mdbgen::parseDescription(testsupport::readFile((examples / name).string())), path);
        DatabaseDesign design = readDesign(path);
        ASSERT_GE(design.tables.size(), 6u);
        std::string bytes = encodeDesign(design);
        EXPECT_TRUE(same(decodeDesign(bytes), design));
        EXPECT_EQ(designText(decodeDesign(bytes)), designText(design));
        // Every field has these names; each is stored once.
        for (const char* property : {"AllowZeroLength", "CollatingOrder"}) EXPECT_EQ(occurrences(bytes, property), 1u) << property;
    }
}

TEST(DesignCodec, EveryValueKindComesBackUnchanged)
{
    DatabaseDesign design = everyKind();
    std::string bytes = encodeDesign(design);
    EXPECT_TRUE(same(decodeDesign(bytes), design));
    EXPECT_TRUE(same(decodeDesign(encodeDesign(DatabaseDesign{})), DatabaseDesign{}));
    // The unpooled 65-byte name is written at each of its four uses.
    EXPECT_EQ(occurrences(bytes, std::string(65, 'L')), 4u);
}

// Each file format comes back as its own byte after the version, and the engine's database serves it.
TEST(DesignCodec, FileFormatComesBack)
{
    for (FileFormat format : {FileFormat::Jet3, FileFormat::Jet4, FileFormat::Ace}) {
        SCOPED_TRACE(formatName(format));
        DatabaseDesign design = everyKind();
        design.format = format;
        std::string bytes = encodeDesign(design);
        EXPECT_EQ(bytes.at(5), static_cast<char>(design_format::formatByte(format)));
        EXPECT_EQ(decodeDesign(bytes).format, format);
        EXPECT_EQ(Database("/x.mdb", EncodedDesign::decode(bytes)).Format(), format);
    }
    EXPECT_EQ(formatName(FileFormat::Jet3), "Jet 3");
    EXPECT_EQ(formatName(FileFormat::Jet4), "Jet 4");
    EXPECT_EQ(formatName(FileFormat::Ace), "ACE");
}

// Encoding table by table as a design is read gives the same bytes as encoding it whole, even
// though each table is gone before the next arrives.
TEST(DesignCodec, EncodingAsReadGivesTheSameBytes)
{
    const DatabaseDesign design = everyKind();
    DesignEncoder encoder;
    encoder.begin(design.name, design.format, design.tables.size());
    for (TableDesign table : design.tables) encoder.table(std::move(table));
    encoder.end(design.relations, design.queries);
    EXPECT_EQ(encoder.bytes(), encodeDesign(design));
}

// A file read straight into the encoder (fields written from what the reader finds, no property
// lists made) gives the bytes of its whole design encoded, also when its stored properties are
// named in another letter case, repeated, named like a fixed one or unknown, and when the design
// takes more than one of the encoder's 1 MiB pieces. The pieces write() hands out make the same bytes.
TEST(DesignCodec, FileReadIntoTheEncoderGivesTheBytesOfItsWholeDesign)
{
    testsupport::TempDir dir;
    mdbgen::SyntheticDesign large;
    large.tables = 400;
    large.shape = mdbgen::SyntheticShape::Properties;
    const std::string oddProperties =
        "table Odd\n"
        "  field A text(20) required=yes Required=no DefaultValue=\"x\" Zeta=1 alpha=\"a\" Alpha=2 Name=\"not the name\"\n"
        "  field B double DefaultValue=0.5 ValidationRule=\"<10\" validationtext=\"small\" Caption=\"B\"\n"
        "  field C long\n"
        "  index PrimaryKey (C) primary\n";
    for (const std::string& description : {oddProperties, mdbgen::syntheticDescription(large)}) {
        std::string path = dir.file("read.mdb");
        mdbgen::writeJet4File(mdbgen::parseDescription(description), path);
        DesignEncoder encoder;
        readDesign(loadDatabaseFile(path), encoder);
        const std::string bytes = encoder.bytes();
        EXPECT_EQ(bytes, encodeDesign(readDesign(path)));
        std::string pieces;
        EXPECT_TRUE(encoder.write([&pieces](std::string_view piece) {
            pieces += piece;
            return true;
        }));
        EXPECT_EQ(pieces, bytes);
        // A writer that fails stops the pieces.
        int calls = 0;
        EXPECT_FALSE(encoder.write([&calls](std::string_view) { return ++calls > 1 ? false : true; }));
    }
}

// An encoder that spills its body as it goes hands over pieces that, put at the offsets it gives
// and led by the head it gives at the end, are the bytes of the design it would have held; the
// first piece goes when the first megabyte is full, long before the end.
TEST(DesignCodec, SpilledPiecesAndTheHeadAreTheWholeDesign)
{
    testsupport::TempDir dir;
    mdbgen::SyntheticDesign large;
    large.tables = 400;
    large.shape = mdbgen::SyntheticShape::Properties;
    const std::string path = dir.file("large.mdb");
    mdbgen::writeJet4File(mdbgen::parseDescription(mdbgen::syntheticDescription(large)), path);
    DesignEncoder held;
    readDesign(loadDatabaseFile(path), held);
    const std::string whole = held.bytes();

    DesignEncoder spilling;
    std::string body;
    std::size_t pieces = 0;            // handed over
    std::size_t tablesSeen = 0;        // tables handed to the encoder so far
    std::size_t firstAfterTables = 0;  // tables handed to it before the first piece came
    struct Counting : DesignSink {  // counts the tables on their way to the encoder
        DesignEncoder& encoder;
        std::size_t& tables;
        Counting(DesignEncoder& e, std::size_t& t) : encoder(e), tables(t) {}
        void begin(const std::string& name, FileFormat format, std::size_t count) override { encoder.begin(name, format, count); }
        void table(TableDesign t) override
        {
            ++tables;
            encoder.table(std::move(t));
        }
        void tableAsRead(TableFacts t) override
        {
            ++tables;
            encoder.tableAsRead(std::move(t));
        }
        void end(std::vector<RelationDesign> r, std::vector<QueryDesign> q) override { encoder.end(std::move(r), std::move(q)); }
    } counting(spilling, tablesSeen);
    spilling.spillTo([&](std::string_view piece, std::size_t at) {
        EXPECT_EQ(at, body.size());
        if (pieces++ == 0) firstAfterTables = tablesSeen;
        body += piece;
        return true;
    });
    readDesign(loadDatabaseFile(path), counting);
    std::size_t bodyBytes = 0;
    const std::string head = spilling.finishSpill(bodyBytes);
    EXPECT_EQ(bodyBytes, body.size());
    EXPECT_EQ(head + body, whole);
    EXPECT_GT(pieces, 1u);
    EXPECT_LT(firstAfterTables, tablesSeen);
}

// Fields as read, with names longer than Access allows (as a damaged file may have them) first
// or after short ones, give the bytes of their property lists made and encoded, and names that
// are not UTF-8 the same refusal.
TEST(DesignCodec, FieldsAsReadWithLongNamesGiveTheBytesOfTheirLists)
{
    auto facts = [](std::vector<std::string> names) {
        TableFacts table;
        table.name = std::string(200, 't');
        for (std::size_t i = 0; i < names.size(); ++i) {
            FieldFacts f;
            f.name = names[i];
            f.attributes = 2;
            f.collatingOrder = 1033;
            f.type = 10;
            f.size = 255;
            f.position = i;
            table.fields.push_back(std::move(f));
        }
        table.indexes.push_back({"PrimaryKey", "+" + names.front(), false, true, true, false, true});
        return table;
    };
    const std::string longName(400, 'x'), shortName = "ID";
    for (const std::vector<std::string>& names : {std::vector<std::string>{longName, shortName},
                                                  std::vector<std::string>{shortName, longName, "\u00e9t\u00e9"}}) {
        DesignEncoder asRead, asLists;
        for (DesignEncoder* encoder : {&asRead, &asLists}) encoder->begin("/db.mdb", FileFormat::Jet4, 1);
        asRead.tableAsRead(facts(names));
        asLists.table(tableDesign(facts(names)));
        for (DesignEncoder* encoder : {&asRead, &asLists}) encoder->end({}, {});
        EXPECT_EQ(asRead.bytes(), asLists.bytes()) << names.front();
    }
    // A name that is not UTF-8 is refused the same way on both, short or long.
    for (const std::string& bad : {std::string("ab\xFF"), std::string(400, 'x') + "\xC3"}) {
        std::string refusals[2];
        for (int asRead = 0; asRead < 2; ++asRead) {
            DesignEncoder encoder;
            encoder.begin("/db.mdb", FileFormat::Jet4, 1);
            try {
                if (asRead)
                    encoder.tableAsRead(facts({shortName, bad}));
                else
                    encoder.table(tableDesign(facts({shortName, bad})));
            } catch (const std::invalid_argument& e) {
                refusals[asRead] = e.what();
            }
        }
        EXPECT_NE(refusals[0].find("the name of field 1 of table 0 is not UTF-8"), std::string::npos) << refusals[0];
        EXPECT_EQ(refusals[1], refusals[0]);
    }
}

TEST(DesignCodec, EncoderRefusesWhatCannotComeBack)
{
    DatabaseDesign design = everyKind();
    design.queries[0].properties[15].value = text("cut \xE2\x82");
    EXPECT_THROW(encodeDesign(design), std::invalid_argument);
    design = DatabaseDesign{};
    design.tables.push_back(TableDesign{"Wide", std::vector<FieldDesign>(32768), {}});
    EXPECT_THROW(encodeDesign(design), std::length_error);
}

TEST(DesignCodec, TextFormOfASmallDesign)
{
    DatabaseDesign design{"/db/x.mdb",
                          {TableDesign{"T",
                                       {{"ID", {{"Value", Variant()}, {"Size", num(4)}, {"Caption", text("a\"b\\c\nd")}}}},
                                       {{"PrimaryKey", "+ID", {{"Primary", Variant::boolean(true)}}}}}},
                          {RelationDesign{"R", "T", "U", {{"ID", "TID"}, {"X", "Y"}}, {{"Attributes", num(0.5)}}}},
                          {QueryDesign{"Q\x01", {{"SQL", text("SELECT *\r\nFROM T")}, {"Größe", num(-0.0)}, {"", num(NAN)},
                                                 {"1a", Variant::boolean(false)}, {"Sep", text("\u2028\u0085\xFF\x7F\t")}}}}};
    EXPECT_EQ(designText(design),
              "DATABASE \"/db/x.mdb\" format=\"Jet 4\" tables=1 relations=1 queries=1\n"
              "TABLE \"T\" fields=1 indexes=1\n"
              "  FIELD \"ID\" 0 Value=Null 1 Size=4 2 Caption=\"a\\\"b\\\\c\\nd\"\n"
              "  INDEX \"PrimaryKey\" fields=\"+ID\" 0 Primary=True\n"
              "RELATION \"R\" \"T\" (\"ID\", \"X\") -> \"U\" (\"TID\", \"Y\") 0 Attributes=0.5\n"
              "QUERY \"Q\\x01\" 0 SQL=\"SELECT *\\r\\nFROM T\" 1 \"Größe\"=-0 2 \"\"=nan 3 \"1a\"=False "
              "4 Sep=\"\\u2028\\u0085\\xFF\\x7F\\t\"\n");
}

TEST(DesignCodec, EveryTruncationAndTrailingBytesRefused)
{
    std::string bytes = encodeDesign(everyKind());
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        std::string message = refusal(bytes.substr(0, n));
        ASSERT_TRUE(message.find("cut off") != std::string::npos || message.find("bytes left") != std::string::npos)
            << "prefix of " << n << " bytes: " << message;
    }
    EXPECT_EQ(refusal(bytes + '\0'), "design data at byte " + std::to_string(bytes.size()) +
                                         ": the data goes on after the last query (1 byte left over)");
}

TEST(DesignCodec, DamagedBytesRefusedOrReadAsAnotherDesign)
{
    const DatabaseDesign design = everyKind();
    const std::string bytes = encodeDesign(design);
    std::mt19937 random(20240101);
    for (int round = 0; round < 3 * static_cast<int>(bytes.size()) + 3000; ++round) {
        std::string damaged = bytes;
        if (round < 3 * static_cast<int>(bytes.size())) {
            damaged[round / 3] ^= "\x01\x80\xFF"[round % 3];  // each byte three ways
        } else {
            for (int k = random() % 4; k >= 0; --k) damaged[random() % damaged.size()] = static_cast<char>(random());
        }
        try {
            DatabaseDesign read = decodeDesign(damaged);  // anything but a FormatError fails the test
            if (damaged != bytes) {
                ASSERT_FALSE(same(read, design)) << "byte changes ignored, round " << round;
            }
            ASSERT_TRUE(same(decodeDesign(encodeDesign(read)), read)) << "round " << round;
        } catch (const FormatError&) {
        }
    }
}

// Field properties come in lists of short texts and small numbers, which the decoder checks in
// one quick pass when enough bytes follow them (here a query's long text). Texts of every length a
// one-byte length allows, and one past it, with a byte that is not UTF-8 at each place; whole
// numbers at the edges of one, two and three bytes; and a two-byte number not in its shortest form.
TEST(DesignCodec, PropertiesWithRoomAfterThemCheckedAsAnywhere)
{
    auto design = [](std::string_view value) {
        return Raw().n(1).s("Size").s("db").n(1).s("T").n(1).s("F").n(1).n(1).b(value).n(0).n(0).n(1).s("Q").n(1).n(1)
            .b("\x05").s(std::string(200, 'q')).bytes;
    };
    auto textValue = [](const std::string& t) { return "\x05" + Raw().s(t).bytes.substr(Raw().bytes.size()); };
    for (std::size_t length = 0; length <= 130; ++length) {
        const std::string plain(length, 'a');
        DatabaseDesign read = decodeDesign(design(textValue(plain)));
        ASSERT_TRUE(same(read.tables.at(0).fields.at(0).properties.at(0).value, text(plain))) << length;
        for (std::size_t bad = 0; bad < length; ++bad) {
            std::string damaged = plain;
            damaged[bad] = '\xFF';
            const std::string bytes = design(textValue(damaged));
            ASSERT_EQ(refusal(bytes), "design data at byte " + std::to_string(bytes.find(damaged) + bad) +
                                          ": the value of property 0 of field 0 of table 0 is not UTF-8")
                << length << " " << bad;
        }
    }
    const std::string wholes[] = {"\x04\x7F", "\x04\x80\x01", "\x04\xFF\x7F", "\x04\x80\x80\x01"};
    const double values[] = {-64, 64, -8192, 8192};  // zigzag: 127, 128, 16383, 16384
    for (int k = 0; k < 4; ++k)
        EXPECT_TRUE(same(decodeDesign(design(wholes[k])).tables.at(0).fields.at(0).properties.at(0).value, num(values[k])))
            << k;
    const std::string padded(std::string("\x04\x80\x00", 3));  // 0 in two bytes
    const std::string bytes = design(padded);
    EXPECT_EQ(refusal(bytes), "design data at byte " + std::to_string(bytes.find(padded) + 1) +
                                  ": the value of property 0 of field 0 of table 0 is a number not in its shortest form");
}

TEST(DesignCodec, MadeUpBytesRefusedWithWhatAndWhere)
{
    // A valid one first, so that the cases below fail for their one fault: the whole number 4 is 08.
    DatabaseDesign read = decodeDesign(Raw().n(1).s("Size").s("db").n(1).s("T").n(1).s("F").n(1).n(1).b("\x04\x08").n(0).n(0).n(0).bytes);
    ASSERT_EQ(read.tables.at(0).fields.at(0).properties.at(0).name, "Size");
    EXPECT_TRUE(same(read.tables[0].fields[0].properties[0].value, num(4)));

    auto query = [](std::string_view property) { return Raw().n(0).s("").n(0).n(0).n(1).s("Q").n(1).b(property).bytes; };
    // A field with one property named by the pool, whose value is the text given.
    auto fieldText = [](std::string_view value) {
        return Raw().n(1).s("Size").s("db").n(1).s("T").n(1).s("F").n(1).n(1).b("\x05").s(value).n(0).n(0).n(0).bytes;
    };
    std::pair<std::string, std::string> cases[] = {
        {Raw().n(0).s("").n(40000).bytes, "design data at byte 8: the table count is 40000, more than 32767"},
        {Raw().n(0).s("").n(32767).bytes, "the table count is 32767, more than the 0 bytes left can hold"},
        {Raw().n(0).n(std::uint64_t{1} << 62).bytes, "the database name is 4611686018427387904 bytes long, past the end"},
        {Raw().n(std::uint64_t{1} << 40).bytes, "at byte 6: the name pool's count is 1099511627776, more than"},
        {Raw().n(1).s(std::string(65, 'x')).bytes, "the text of pooled name 0 is 65 bytes long, more than 64"},
        {Raw().n(0).b(std::string("\x80\x00", 2)).bytes, "the database name is a number not in its shortest form"},
        {Raw().n(0).b(std::string(9, '\xFF')).bytes, "the database name is a number longer than nine bytes"},
        {Raw().n(0).s("").n(1).s("a\xED\xA0\x80").bytes, "at byte 11: the name of table 0 is not UTF-8"},
        {fieldText("caf\xC3"), "the value of property 0 of field 0 of table 0 is not UTF-8"},
        {fieldText("abcdefghijk\xFFmnop"), "at byte 36: the value of property 0 of field 0 of table 0 is not UTF-8"},
        {query(std::string("\x00\x01p\x06", 4)), "the value of property 0 of query 0 has the unknown tag 6"},
        {query(std::string("\x01\x00", 2)), "the name reference of property 0 of query 0 is 1, past the 0 pooled names"},
        {query(Raw().b(std::string("\x00\x00\x04", 3)).n((std::uint64_t{1} << 54) + 1).bytes.substr(Raw().bytes.size())),
         "the value of property 0 of query 0 is a whole number beyond 2^53"},
        {"DLDT\x01", "design data at byte 0: the data does not start with the signature of a design"},
        {"DLDS\x01", "design data at byte 4: the version is 1, not 2"},
        {std::string("DLDS\x02\x03\x00", 8), "design data at byte 5: the file format is 3, not 0 (Jet 3), 1 (Jet 4) or 2 (ACE)"},
        {"DLDS\x02", "design data at byte 5: the file format is cut off by the end of the data"},
    };
    for (const auto& [bytes, message] : cases)
        EXPECT_NE(refusal(bytes).find(message), std::string::npos) << refusal(bytes) << "\n  wanted: " << message;
}
