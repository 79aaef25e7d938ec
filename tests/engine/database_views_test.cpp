// The engine's views over a design kept in its serialized form: every name and value read back
// as the design had it, in whatever order positions are asked for, and names looked up by their
// first position.
#include "database_engine.h"

#include <gtest/gtest.h>

#include <limits>

using namespace engine;

namespace {

// Properties named P0, P1, ... whose values run through every kind a value can be.
PropertyList properties(int count)
{
    PropertyList list;
    for (int i = 0; i < count; ++i) {
        Variant v = i % 5 == 0   ? Variant()
                    : i % 5 == 1 ? Variant::boolean(i % 2 == 0)
                    : i % 5 == 2 ? Variant::number(i * 1000.5)
                    : i % 5 == 3 ? Variant::number(-i)
                                 : Variant::text(std::string(static_cast<std::size_t>(i * 7), 'x') + "é");
        list.push_back({"P" + std::to_string(i), v});
    }
    return list;
}

TableDesign table(const std::string& name, std::vector<std::string> fieldNames)
{
    TableDesign t{name, {}, {}};
    for (const auto& f : fieldNames) t.fields.push_back({f, properties(3)});
    t.indexes.push_back({"PrimaryKey", "+" + fieldNames.front(), properties(8)});
    t.indexes.push_back({"ByName", "-" + fieldNames.back(), properties(8)});
    return t;
}

}  // namespace

TEST(DatabaseViews, PropertiesReadInAnyOrder)
{
    DatabaseDesign design{"/db/a.mdb", {table("T", {"ID", "Name"})}, {}, {QueryDesign{"Q", properties(20)}}};
    Database db(design);
    const PropertyList& expected = design.queries[0].properties;
    // Rising, falling, repeated and jumping positions, all from one collection.
    const Properties p = db.QueryDefs().Item(0).Properties();
    ASSERT_EQ(p.Count(), 20);
    for (int position : {0, 5, 6, 19, 2, 2, 18, 0, 11, 7}) {
        EXPECT_EQ(p.Item(static_cast<std::int16_t>(position)).Name(), expected[position].name) << position;
        EXPECT_EQ(p.Item(static_cast<std::int16_t>(position)).Value(), expected[position].value) << position;
    }
    EXPECT_THROW(p.Item(20), std::out_of_range);
    EXPECT_THROW(p.Item(-1), std::out_of_range);
    EXPECT_EQ(db.TableDefs().Item(0).Indexes().Item(1).Fields(), "-Name");
    EXPECT_EQ(db.TableDefs().Item(0).Indexes().Item(1).Properties().Item(7).Value(), design.tables[0].indexes[1].properties[7].value);
    EXPECT_EQ(db.Name(), "/db/a.mdb");
}

TEST(DatabaseViews, PositionOfIsTheFirstWithExactlyThatName)
{
    DatabaseDesign design{"/db/a.mdb",
                          {table("Orders", {"ID", "id", "ID", "Total"}), table("orders", {"X"}), table("Orders", {"Y"})},
                          {},
                          {QueryDesign{"Q", {}}, QueryDesign{"q", {}}, QueryDesign{"Q", {}}}};
    Database db(design);
    EXPECT_EQ(db.TableDefs().PositionOf("Orders"), 0);
    EXPECT_EQ(db.TableDefs().PositionOf("orders"), 1);
    EXPECT_EQ(db.TableDefs().PositionOf("ORDERS"), -1);
    EXPECT_EQ(db.TableDefs().PositionOf("Orders", 2), 0);  // not the likely one: an earlier has the name
    Database twoTables(DatabaseDesign{"/db/b.mdb", {table("A", {"X"}), table("B", {"X"})}, {}, {}});
    EXPECT_EQ(twoTables.TableDefs().PositionOf("B", 1), 1);
    EXPECT_EQ(twoTables.TableDefs().PositionOf("B", 0), 1);
    EXPECT_EQ(twoTables.TableDefs().PositionOf("C", 1), -1);
    EXPECT_EQ(db.QueryDefs().PositionOf("Q"), 0);
    EXPECT_EQ(db.QueryDefs().PositionOf("q"), 1);
    EXPECT_EQ(db.QueryDefs().PositionOf(""), -1);
    const Fields fields = db.TableDefs().Item(0).Fields();
    EXPECT_EQ(fields.PositionOf("ID"), 0);
    EXPECT_EQ(fields.PositionOf("id"), 1);
    EXPECT_EQ(fields.PositionOf("Total"), 3);
    EXPECT_EQ(fields.PositionOf("Y"), -1);  // another table's field
    EXPECT_EQ(db.TableDefs().Item(2).Fields().PositionOf("Y"), 0);
    // A likely position is only taken when no other field can have the name.
    EXPECT_EQ(fields.PositionOf("ID", 2), 0);
    EXPECT_EQ(fields.PositionOf("Total", 3), 3);
    const Fields distinct = db.TableDefs().Item(1).Fields();
    EXPECT_EQ(distinct.PositionOf("X", 0), 0);
    EXPECT_EQ(distinct.PositionOf("X", 7), 0);
    EXPECT_EQ(distinct.PositionOf("Z", 0), -1);
    EXPECT_EQ(db.TableDefs().Item(1).Indexes().PositionOf("ByName"), 1);
    EXPECT_EQ(db.TableDefs().Item(1).Indexes().PositionOf("byname"), -1);
}

TEST(DatabaseViews, RelationNamesFieldsAndPropertiesComeBack)
{
    RelationDesign two{"R2", "Authors", "Books", {{"AuthorID", "WriterID"}, {"Edition", "Ed"}}, properties(5)};
    RelationDesign none{"R0", "A", "B", {}, properties(2)};
    Database db(DatabaseDesign{"/db/r.mdb", {}, {two, none}, {}});
    const Relation r = db.Relations().Item(0);
    EXPECT_EQ(r.Name(), "R2");
    EXPECT_EQ(r.Table(), "Authors");
    EXPECT_EQ(r.ForeignTable(), "Books");
    ASSERT_EQ(r.Fields().Count(), 2);
    EXPECT_EQ(r.Fields().Item(1).Name(), "Edition");
    EXPECT_EQ(r.Fields().Item(1).ForeignName(), "Ed");
    EXPECT_EQ(r.Fields().Item(0).ForeignName(), "WriterID");
    EXPECT_EQ(r.Properties().Item(4).Value(), two.properties[4].value);
    const Relation empty = db.Relations().Item(1);
    EXPECT_EQ(empty.Fields().Count(), 0);
    EXPECT_THROW(empty.Fields().Item(0), std::out_of_range);
    EXPECT_EQ(empty.Properties().Item(1).Name(), "P1");
}

// Two values stored as the same bytes are the same value, which SameValueAs tells without
// decoding them, across two databases whose name pools differ; a NaN, which equals nothing, not
// even itself, never is; 1 and 1.0 are stored alike, 1 and True are not.
TEST(DatabaseViews, SameValueAsTellsStoredAlikeValues)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Variant> values = {Variant(), Variant::boolean(true), Variant::number(1), Variant::number(1.0),
                                         Variant::number(2.5), Variant::number(nan), Variant::text("x"), Variant::text("")};
    PropertyList list1, list2;
    list2.push_back({"OnlyInTheSecond", Variant()});  // the second pool numbers the names otherwise
    for (std::size_t i = 0; i < values.size(); ++i) {
        list1.push_back({"P" + std::to_string(i), values[i]});
        list2.push_back({"P" + std::to_string(i), values[i]});
    }
    Database db1(DatabaseDesign{"/a.mdb", {}, {}, {QueryDesign{"Q", list1}}});
    Database db2(DatabaseDesign{"/b.mdb", {}, {}, {QueryDesign{"Q", list2}}});
    const Properties p1 = db1.QueryDefs().Item(0).Properties(), p2 = db2.QueryDefs().Item(0).Properties();
    for (std::size_t i = 0; i < values.size(); ++i)
        for (std::size_t j = 0; j < values.size(); ++j) {
            const bool same = p1.Item(static_cast<std::int16_t>(i)).SameValueAs(p2.Item(static_cast<std::int16_t>(j + 1)));
            const bool expected = values[i] == values[j] && !(values[i].isNumber() && values[i].number() != values[i].number());
            EXPECT_EQ(same, expected) << i << " " << j;
        }
}

// Two fields' property lists stored as the same bytes hold the same values, but only where the
// bytes name the same properties (the two pools number the names alike) and no value is a NaN;
// the last field of a table ends where its table's indexes start.
TEST(DatabaseViews, SamePropertiesAsTellsListsStoredAlike)
{
    auto field = [](const std::string& name, PropertyList list) { return FieldDesign{name, std::move(list)}; };
    const PropertyList ab = {{"A", Variant::number(1)}, {"B", Variant::text("x")}};
    const PropertyList abOther = {{"A", Variant::number(2)}, {"B", Variant::text("x")}};
    const PropertyList ba = {{"B", Variant::number(1)}, {"A", Variant::text("x")}};
    auto design = [&](const std::string& path, std::vector<FieldDesign> fields) {
        return DatabaseDesign{path, {TableDesign{"T", std::move(fields), {{"PrimaryKey", "+F", properties(2)}}}}, {}, {}};
    };
    Database db1(design("/a.mdb", {field("F", ab), field("G", ab)}));
    Database db2(design("/b.mdb", {field("F", ab), field("G", abOther)}));
    Database swapped(design("/c.mdb", {field("F", ba), field("G", ba)}));  // pools B before A
    const Fields f1 = db1.TableDefs().Item(0).Fields(), f2 = db2.TableDefs().Item(0).Fields();
    const Fields fs = swapped.TableDefs().Item(0).Fields();
    EXPECT_TRUE(f1.Item(0).SamePropertiesAs(f2.Item(0)));
    EXPECT_TRUE(f1.Item(1).SamePropertiesAs(f1.Item(0)));  // the last field and the first
    EXPECT_FALSE(f1.Item(1).SamePropertiesAs(f2.Item(1)));
    EXPECT_FALSE(f1.Item(0).SamePropertiesAs(fs.Item(0)));  // the same bytes, other names

    const double nan = std::numeric_limits<double>::quiet_NaN();
    Database withNaN(design("/n.mdb", {field("F", ab), field("G", {{"A", Variant::number(nan)}})}));
    EXPECT_FALSE(withNaN.TableDefs().Item(0).Fields().Item(0).SamePropertiesAs(f1.Item(0)));
    EXPECT_FALSE(f1.Item(0).SamePropertiesAs(withNaN.TableDefs().Item(0).Fields().Item(0)));
}
