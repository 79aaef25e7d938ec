// The plain-text description of a database design that the generator reads. The format is
// described in tools/mdbgen/README.md; in short, one object per line, a table's or a query's
// details on the lines that follow it, and '#' comments:
//
//     table Customers
//       field ID    long autonumber Required=no
//       field Name  text(50) Required=yes AllowZeroLength=no
//       index PrimaryKey (ID) primary unique required
//     query "All customers" select
//       from Customers
//       column "Customers.*"
#pragma once

#include "schema.h"

#include <string>
#include <string_view>

namespace mdbgen {

// Parses a whole description. Throws DescriptionError naming the first line that is wrong.
Database parseDescription(std::string_view text);

// Encodes "Name[:type]=value" style values: the stored bytes of a property of the given type,
// or of the type the value's form suggests when type is empty. Used by the parser and by code
// that builds designs directly. Throws std::invalid_argument when the value does not fit.
Property makeProperty(const std::string& name, std::string_view typeName, std::string_view value,
                      bool quoted);

// The stored bytes of a value of the given type written as text: yes/no/true/false, a whole or
// decimal number (a day number for Date/Time), text, 0x and hex digits for Binary and OLE, {...}
// for a GUID. Throws std::invalid_argument when the text is no such value.
std::vector<std::uint8_t> encodeValue(DataType type, std::string_view value);

// UTF-8 to UTF-16LE bytes; throws std::invalid_argument on malformed UTF-8.
std::vector<std::uint8_t> utf16le(std::string_view utf8);

// Number of UTF-16 code units of a valid UTF-8 text.
std::size_t utf16Length(std::string_view utf8);

}  // namespace mdbgen
