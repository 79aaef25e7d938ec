// The design of a database as bytes: what the reader process hands to the window process, and
// the readable text of it for people.
#pragma once

#include "design.h"
#include "encoded_design.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace engine {

// The compact serialized form of a design.
std::string encodeDesign(const DatabaseDesign& design);

// The same form made as a design is read (DesignSink), without holding the design whole: after
// end(), bytes() gives what encodeDesign gives for the whole design.
class DesignEncoder final : public DesignSink {
public:
    DesignEncoder();
    ~DesignEncoder() override;
    void begin(const std::string& name, FileFormat format, std::size_t tableCount) override;
    void table(TableDesign table) override;
    void tableAsRead(TableFacts table) override;
    void end(std::vector<RelationDesign> relations, std::vector<QueryDesign> queries) override;
    std::string bytes();
    // The same bytes handed to out piece by piece, without making them one string, until out
    // returns false; whether out took them all.
    bool write(const std::function<bool(std::string_view)>& out) const;
    // From now on hands each piece of the body to spill as soon as it is full, with where the
    // piece starts in the body, instead of holding the whole design (spill returns whether it
    // took the piece; table() and end() throw std::runtime_error when it did not). bytes() and
    // write() then no longer give the design: after end(), finishSpill hands over the last piece
    // and gives what goes before the body (the head), and the body's size in bodyBytes.
    //
    //     encoder.spillTo([&](std::string_view piece, std::size_t at) { return put(room + at, piece); });
    //     readDesign(file, encoder);
    //     std::string head = encoder.finishSpill(body);  // the design: head, then the body at room
    void spillTo(std::function<bool(std::string_view, std::size_t)> spill);
    std::string finishSpill(std::size_t& bodyBytes);

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// A design kept as its bytes, built out into strings and values.
DatabaseDesign expandDesign(const EncodedDesign& encoded);

// Decodes bytes that come from another process and are trusted no more than the file they were
// read from. Throws FormatError naming what is wrong and where when anything is malformed,
// incomplete or out of bounds: an unknown tag or kind, a count above what a collection can hold
// (32,767 items), a length past the end, text that is not UTF-8, bytes left over.
DatabaseDesign decodeDesign(std::string_view bytes);

// The design as text, one line per table, field, index, relation and query with all of its
// properties by position, for a person to read.
std::string designText(const DatabaseDesign& design);

}  // namespace engine
