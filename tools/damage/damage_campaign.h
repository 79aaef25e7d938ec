// A deterministic campaign of damage to database files: each trial damages one copy of a file in
// one way (a cut, a flipped bit, a page zeroed or copied over another, a count in a table
// definition or on a data page set to a number that does not fit, ...), reads the copy as the
// reader process reads a file, and sorts the outcome. A damaged file must be refused or read with
// every object the undamaged file has: a read that lost an object, above all one that lost every
// table, is the fault the campaign looks for.
//
//     Campaign campaign(bytesOfFile, "shop.mdb");
//     Trial t = campaign.run(17);   // trial 17 of this file: always the same damage
//     t.outcome == Outcome::Refused && t.detail == "damaged: …"
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace damage {

// How many objects of each kind a reading found.
struct Counts {
    std::size_t tables = 0, fields = 0, indexes = 0, relations = 0, queries = 0;

    // Whether any kind has fewer objects than in whole.
    bool fewerThan(const Counts& whole) const;
    std::string text() const;  // "3 tables, 12 fields, 4 indexes, 1 relations, 2 queries"
};

enum class Outcome {
    Refused,  // the reading stopped with a reason
    Intact,   // read, with at least as many objects of each kind as the undamaged file
    Lost,     // read, with fewer objects of some kind
    Empty,    // read as a database without tables (the undamaged file has some)
    Crashed,  // the reading died of a signal
    Hung,     // the reading did not end in time
};

const char* outcomeName(Outcome outcome);

// The kinds of damage, one per trial in turn.
enum class Damage {
    Cut,             // the file cut short, at a page boundary or anywhere
    BitFlip,         // one bit of a design page
    ByteSet,         // one byte of a design page set to another value
    PageZeroed,      // a design page all zero
    PageCopied,      // another page of the file copied over a design page
    FFRun,           // 1 to 64 bytes of a design page set to 0xFF
    DefinitionCount, // a count of a table definition (rows, columns, indexes) set to a wrong number
    RowEntries,      // a data page's row count or a row's offset entry set to a wrong number
    RowInside,       // a row's own column count or one of its variable-length offsets changed
    CatalogPage,     // any of the above, on the catalog's own definition or data pages
};
constexpr int kDamageKinds = 10;

const char* damageName(Damage damage);

struct Trial {
    std::uint64_t number = 0;
    Damage damage = Damage::Cut;
    std::string change;   // what was changed where: "page 17 byte 302: 0x41 -> 0x00"
    Outcome outcome = Outcome::Refused;
    std::string detail;   // the reason of a refusal, the counts of a reading, the signal of a crash
};

class Campaign {
public:
    // Reads the undamaged file once (throws std::runtime_error when it cannot be read) and
    // finds its design pages: table definitions, and the data pages of the catalog and of the
    // system tables the design is read from.
    Campaign(std::vector<std::uint8_t> file, std::string name);

    // Damages a copy of the file as trial number says and reads it in a child process, which
    // has secondsAllowed to end. The same number always gives the same damage.
    Trial run(std::uint64_t number, double secondsAllowed = 20) const;

    const Counts& whole() const { return whole_; }
    const std::string& format() const { return format_; }  // "Jet 3", "Jet 4" or "ACE"
    const std::string& name() const { return name_; }

private:
    std::vector<std::uint8_t> damaged(std::uint64_t number, Damage& kind, std::string& change) const;

    std::vector<std::uint8_t> file_;
    std::string name_;
    bool jet3_ = false;
    std::string format_;
    std::size_t pageSize_ = 4096;
    Counts whole_;
    std::vector<std::uint32_t> definitionPages_;  // table definitions (first and continuation pages)
    std::vector<std::uint32_t> systemDataPages_;  // rows of the catalog and the system tables read
    std::vector<std::uint32_t> catalogPages_;     // the catalog's definition and its data pages
};

// Reads bytes as the reader process reads a file (header checks, then the whole design) in this
// process; the counts, or throws what the reading throws.
Counts readCounts(const std::vector<std::uint8_t>& bytes);

}  // namespace damage
