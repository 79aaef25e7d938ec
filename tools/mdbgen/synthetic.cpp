#include "synthetic.h"

#include <sstream>

namespace mdbgen {

namespace {

// The free pages a Plain or Properties file keeps after each table's definition: about 17 KB a
// table in all, as in the files these shapes stand for.
constexpr int kFreePagesPerTable = 3;

std::string currentShape(const SyntheticDesign& design)
{
    std::ostringstream d;
    for (int t = 0; t < design.tables; ++t) {
        d << "table T" << t << "\n  field ID autonumber Required=no\n";
        for (int f = 1; f < design.fieldsPerTable; ++f) {
            switch (f % 4) {
            case 0: d << "  field F" << f << " text(50) Required=no AllowZeroLength=yes\n"; break;
            case 1: d << "  field F" << f << " long DefaultValue=\"0\" Required=no\n"; break;
            case 2: d << "  field F" << f << " datetime\n"; break;
            default: d << "  field F" << f << " memo Description=\"Notes " << t << "\"\n"; break;
            }
        }
        d << "  index PrimaryKey (ID) primary\n  index ByF1 (F1)\n";
        if (t > 0) d << "relationship R" << t << " T" << t - 1 << "(ID) -> T" << t << "(F1) enforced\n";
        if (design.tablesPerQuery > 0 && t % design.tablesPerQuery == 0)
            d << "query Q" << t << " select\n  from T" << t << "\n  column \"T" << t << ".F1\"\n";
    }
    return d.str();
}

// Plain and Properties: 30 fields of Long, Text, Date/Time and Double.
std::string plainShape(const SyntheticDesign& design, bool withProperties)
{
    constexpr int kFields = 30;
    std::ostringstream d;
    d << "database spacious " << kFreePagesPerTable << "\n";
    for (int t = 0; t < design.tables; ++t) {
        d << "table T" << t << "\n  field ID autonumber\n";
        for (int f = 1; f < kFields; ++f) {
            d << "  field F" << f;
            const char* format = "";        // the Format property Access gives the type
            const char* defaultValue = "";  // and the default value it suggests
            switch (f % 4) {
            case 1: d << " long"; format = "General Number"; defaultValue = "0"; break;
            case 2: d << " datetime"; format = "General Date"; defaultValue = "Now()"; break;
            case 3: d << " double"; format = "Standard"; defaultValue = "0"; break;
            default: d << " text(50)"; format = "@"; defaultValue = "n/a"; break;
            }
            if (withProperties)
                d << " Description=\"Field " << f << " of table " << t << "\" Caption=\"F" << f << " of T" << t
                  << "\" Format=\"" << format << "\" DefaultValue=\"" << defaultValue << "\" Required=no"
                  << " ColumnWidth:integer=" << 1500 + f << " ColumnOrder:integer=" << f + 1
                  << " DisplayControl:integer=109";
            d << "\n";
        }
        d << "  index PrimaryKey (ID) primary\n  index ByF1 (F1)\n";
        if (t > 0 && t % 10 == 0) d << "relationship R" << t << " T" << t - 1 << "(ID) -> T" << t << "(F1) enforced\n";
    }
    return d.str();
}

}  // namespace

std::string syntheticDescription(const SyntheticDesign& design)
{
    switch (design.shape) {
    case SyntheticShape::Plain: return plainShape(design, false);
    case SyntheticShape::Properties: return plainShape(design, true);
    default: return currentShape(design);
    }
}

}  // namespace mdbgen
