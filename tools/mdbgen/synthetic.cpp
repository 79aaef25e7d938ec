#include "synthetic.h"

#include <sstream>

namespace mdbgen {

std::string syntheticDescription(const SyntheticDesign& design)
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

}  // namespace mdbgen
