// The property blobs of the catalog (MSysObjects.LvProp): the stored properties of an object and
// of its parts (a table's fields, a query's columns).
#pragma once

#include "variant.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace engine {

struct StoredProperty {
    std::string name;
    int type = 0;   // the stored type code (1 Yes/No, 2 Byte, 3 Integer, 4 Long, ... 10 Text, 12 Memo)
    Variant value;  // Yes/No as Boolean, numbers as numbers, texts as text
};

struct PropertyBlock {
    std::string name;  // empty for the object's own block; a field's name for a field's block
    std::vector<StoredProperty> properties;
};

// Parses a whole blob: "MR2\0" (Jet 4 and later, texts in UTF-16LE) or "KKD\0" (Jet 3, texts in
// code page 1252). Throws FormatError naming what is wrong when any count, length or offset does
// not fit the blob.
std::vector<PropertyBlock> parsePropertyBlob(const std::uint8_t* data, std::size_t size);

}  // namespace engine
