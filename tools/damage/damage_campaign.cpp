#include "damage_campaign.h"

#include "database_file.h"
#include "design_reader.h"
#include "format_error.h"
#include "mdb_tables.h"
#include "sanitizers.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <set>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace damage {

namespace {

// splitmix64: a small generator whose whole state is one number, so that a trial's number alone
// fixes its damage.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // A number in [0, n); 0 when n is 0.
    std::size_t below(std::size_t n) { return n ? static_cast<std::size_t>(next() % n) : 0; }
    template <typename T> T pick(const std::vector<T>& from) { return from[below(from.size())]; }

private:
    std::uint64_t state_;
};

std::string hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// Numbers that a count may be damaged to: none, one, one off either way, and the largest that
// fit in the field's width.
std::vector<std::uint32_t> wrongCounts(std::uint32_t count, std::size_t width)
{
    std::vector<std::uint32_t> wrong{0, 1, count + 1, count ? count - 1 : 2, 0x7F, 0xFF};
    if (width >= 2) wrong.insert(wrong.end(), {0x7FFF, 0xFFFF});
    if (width >= 4) wrong.insert(wrong.end(), {0x7FFFFFFF, 0xFFFFFFFF});
    return wrong;
}

void store(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value, std::size_t width)
{
    for (std::size_t i = 0; i < width && at + i < bytes.size(); ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t load(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t width)
{
    std::uint32_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = value << 8 | (at + i < bytes.size() ? bytes[at + i] : 0);
    return value;
}

}  // namespace

bool Counts::fewerThan(const Counts& whole) const
{
    return tables < whole.tables || fields < whole.fields || indexes < whole.indexes || relations < whole.relations ||
           queries < whole.queries;
}

std::string Counts::text() const
{
    return std::to_string(tables) + " tables, " + std::to_string(fields) + " fields, " + std::to_string(indexes) +
           " indexes, " + std::to_string(relations) + " relations, " + std::to_string(queries) + " queries";
}

const char* outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Refused: return "refused";
    case Outcome::Intact: return "read whole";
    case Outcome::Lost: return "read, an object lost";
    case Outcome::Empty: return "read as empty";
    case Outcome::Crashed: return "crashed";
    case Outcome::Hung: return "hung";
    }
    return "?";
}

const char* damageName(Damage damage)
{
    static const char* const names[kDamageKinds] = {"cut",          "bit flip",         "byte set",
                                                    "page zeroed",  "page copied over", "0xFF run",
                                                    "definition count", "row entries",  "inside a row",
                                                    "catalog page"};
    return names[static_cast<int>(damage)];
}

Counts readCounts(const std::vector<std::uint8_t>& bytes)
{
    engine::DatabaseFile file;
    file.path = "damaged.mdb";
    file.bytes = engine::FileBytes(bytes);
    file.format = engine::checkDatabaseBytes(file.path, file.bytes.span());
    engine::DatabaseDesign design = engine::readDesign(file);
    Counts counts;
    counts.tables = design.tables.size();
    for (const auto& t : design.tables) {
        counts.fields += t.fields.size();
        counts.indexes += t.indexes.size();
    }
    counts.relations = design.relations.size();
    counts.queries = design.queries.size();
    return counts;
}

Campaign::Campaign(std::vector<std::uint8_t> file, std::string name) : file_(std::move(file)), name_(std::move(name))
{
    engine::DatabaseFile whole;
    whole.path = name_;
    whole.bytes = engine::FileBytes(file_);
    try {
        whole.format = engine::checkDatabaseBytes(whole.path, whole.bytes.span());
        whole_ = readCounts(file_);
    } catch (const std::exception& e) {
        throw std::runtime_error(name_ + ": the undamaged file cannot be read: " + e.what());
    }
    jet3_ = whole.format == engine::FileFormat::Jet3;
    format_ = jet3_ ? "Jet 3" : whole.format == engine::FileFormat::Jet4 ? "Jet 4" : "ACE";
    pageSize_ = jet3_ ? 2048 : 4096;

    // The system tables the design is read from: their definitions own the pages of their rows.
    std::set<std::uint32_t> systemTables{2};
    engine::MdbTables tables(whole);
    for (const auto& row : tables.rows(2, "MSysObjects", {"Id", "Name", "Type"})) {
        if (!row[0] || !row[1] || !row[2]) continue;
        std::string name;  // the name's bytes as stored; the system tables' names are ASCII
        for (std::size_t i = 0; i < row[1]->size(); ++i)
            if ((*row[1])[i] >= 0x20 && (*row[1])[i] < 0x7F) name += static_cast<char>((*row[1])[i]);
        bool table = (*row[2])[0] == 1;
        if (table && name.find("MSys") != std::string::npos) systemTables.insert(load(*row[0], 0, 3));
    }
    const std::size_t pages = file_.size() / pageSize_;
    catalogPages_ = {1, 2};
    for (std::uint32_t p = 1; p < pages; ++p) {
        const std::uint8_t* page = file_.data() + static_cast<std::size_t>(p) * pageSize_;
        if (page[0] == 0x02) definitionPages_.push_back(p);
        if (page[0] != 0x01) continue;
        std::uint32_t owner = load(file_, static_cast<std::size_t>(p) * pageSize_ + 4, 4);
        if (systemTables.count(owner)) systemDataPages_.push_back(p);
        if (owner == 2) catalogPages_.push_back(p);
    }
}

std::vector<std::uint8_t> Campaign::damaged(std::uint64_t number, Damage& kind, std::string& change) const
{
    Random random(number * 0x100000001B3ull ^ std::hash<std::string>{}(name_));
    kind = static_cast<Damage>(number % kDamageKinds);
    std::vector<std::uint8_t> bytes = file_;
    const std::size_t pageCount = bytes.size() / pageSize_;

    // A design page: a table definition or a page of rows the design is read from; for the
    // catalog's kind of damage, one of the catalog's own pages.
    std::vector<std::uint32_t> design = definitionPages_;
    design.insert(design.end(), systemDataPages_.begin(), systemDataPages_.end());
    const std::vector<std::uint32_t>& targets = kind == Damage::CatalogPage ? catalogPages_ : design;
    std::uint32_t page = random.pick(targets);
    const std::size_t base = static_cast<std::size_t>(page) * pageSize_;
    auto where = [&](std::size_t at) { return "page " + std::to_string(page) + " byte " + std::to_string(at - base); };

    Damage how = kind;
    if (kind == Damage::CatalogPage) how = static_cast<Damage>(1 + random.below(8));  // any kind but a cut
    const bool definition = bytes[base] == 0x02 && bytes[base + 1] == 0x01;
    if (how == Damage::DefinitionCount && !definition) how = Damage::ByteSet;
    if ((how == Damage::RowEntries || how == Damage::RowInside) && bytes[base] != 0x01) how = Damage::ByteSet;

    switch (how) {
    case Damage::Cut: {
        std::size_t length = random.below(bytes.size());
        if (random.below(2)) length -= length % pageSize_;
        change = "cut to " + std::to_string(length) + " bytes";
        bytes.resize(length);
        break;
    }
    case Damage::BitFlip: {
        std::size_t at = base + random.below(pageSize_);
        unsigned bit = static_cast<unsigned>(random.below(8));
        change = where(at) + ": bit " + std::to_string(bit) + " flipped";
        bytes[at] ^= static_cast<std::uint8_t>(1u << bit);
        break;
    }
    case Damage::ByteSet: {
        std::size_t at = base + random.below(pageSize_);
        auto value = static_cast<std::uint8_t>(random.below(256));
        if (value == bytes[at]) value ^= 0x80;
        change = where(at) + ": " + hex(bytes[at]) + " -> " + hex(value);
        bytes[at] = value;
        break;
    }
    case Damage::PageZeroed:
        change = "page " + std::to_string(page) + " zeroed";
        std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(base), bytes.begin() + static_cast<std::ptrdiff_t>(base + pageSize_), 0);
        break;
    case Damage::PageCopied: {
        auto from = static_cast<std::uint32_t>(1 + random.below(pageCount - 1));
        if (from == page) from = page == 1 ? 2 : 1;
        change = "page " + std::to_string(from) + " copied over page " + std::to_string(page);
        std::copy_n(file_.begin() + static_cast<std::ptrdiff_t>(from * pageSize_), pageSize_,
                    bytes.begin() + static_cast<std::ptrdiff_t>(base));
        break;
    }
    case Damage::FFRun: {
        std::size_t length = 1 + random.below(64);
        std::size_t at = base + random.below(pageSize_ - length);
        change = where(at) + ": " + std::to_string(length) + " bytes 0xFF";
        std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), length, 0xFF);
        break;
    }
    case Damage::DefinitionCount: {
        // The row count, the column counts (all, variable-length) and the index counts (logical,
        // real) of the definition's header.
        struct Field {
            std::size_t at, width;
            const char* name;
        };
        static const std::vector<Field> jet4{{16, 4, "row count"}, {43, 2, "variable-length column count"},
                                             {45, 2, "column count"}, {47, 4, "logical index count"},
                                             {51, 4, "real index count"}, {8, 4, "stored length"}};
        static const std::vector<Field> jet3{{12, 4, "row count"}, {23, 2, "variable-length column count"},
                                             {25, 2, "column count"}, {27, 4, "logical index count"},
                                             {31, 4, "real index count"}, {8, 4, "stored length"}};
        Field f = random.pick(jet3_ ? jet3 : jet4);
        std::uint32_t old = load(bytes, base + f.at, f.width);
        std::uint32_t value = random.pick(wrongCounts(old, f.width));
        if (value == old) value = old + 2;
        change = "page " + std::to_string(page) + ": " + f.name + " " + std::to_string(old) + " -> " + std::to_string(value);
        store(bytes, base + f.at, value, f.width);
        break;
    }
    case Damage::RowEntries: {
        const std::size_t countAt = jet3_ ? 8 : 12;
        std::uint32_t rows = load(bytes, base + countAt, 2);
        if (rows == 0 || random.below(3) == 0) {
            std::uint32_t value = random.pick(wrongCounts(rows, 2));
            if (value == rows) value = rows + 2;
            change = "page " + std::to_string(page) + ": row count " + std::to_string(rows) + " -> " + std::to_string(value);
            store(bytes, base + countAt, value, 2);
        } else {
            std::size_t row = random.below(rows);
            std::size_t at = base + countAt + 2 + 2 * row;
            std::uint32_t old = load(bytes, at, 2);
            std::vector<std::uint32_t> wrong{0, old + 1, old - 1, (old & 0xE000) | 0x1FFF,
                                             static_cast<std::uint32_t>(random.below(pageSize_)), old ^ 0x4000, old ^ 0x2000};
            std::uint32_t value = random.pick(wrong) & 0xFFFF;
            if (value == old) value ^= 0x0010;
            change = "page " + std::to_string(page) + ": entry of row " + std::to_string(row) + " " + hex(old) + " -> " + hex(value);
            store(bytes, at, value, 2);
        }
        break;
    }
    case Damage::RowInside: {
        // A live row's first bytes hold its column count; its last bytes its variable-length
        // offsets and their count.
        const std::size_t countAt = jet3_ ? 8 : 12;
        std::uint32_t rows = load(bytes, base + countAt, 2);
        std::vector<std::pair<std::size_t, std::size_t>> places;  // start, end of each live row
        for (std::size_t row = 0; row < rows && countAt + 4 + 2 * row <= pageSize_; ++row) {
            std::uint32_t entry = load(bytes, base + countAt + 2 + 2 * row, 2);
            std::size_t start = entry & 0x1FFF;
            std::size_t end = row == 0 ? pageSize_ : load(bytes, base + countAt + 2 * row, 2) & 0x1FFF;
            if (!(entry & 0xC000) && start + 4 < end && end <= pageSize_) places.emplace_back(start, end);
        }
        if (places.empty()) {
            std::size_t at = base + random.below(pageSize_);
            change = where(at) + ": " + hex(bytes[at]) + " -> " + hex(bytes[at] ^ 0xFF) + " (a page without live rows)";
            bytes[at] ^= 0xFF;
            break;
        }
        auto [start, end] = random.pick(places);
        const std::size_t width = jet3_ ? 1 : 2;
        std::size_t at = random.below(2) ? base + start : base + end - width - 2 * random.below(std::min<std::size_t>(4, (end - start) / 2));
        std::uint32_t old = load(bytes, at, width);
        std::uint32_t value = random.pick(wrongCounts(old, width)) & (width == 1 ? 0xFF : 0xFFFF);
        if (value == old) value ^= 1;
        change = where(at) + ": " + std::to_string(old) + " -> " + std::to_string(value) + " (in the row at " +
                 std::to_string(start) + ")";
        store(bytes, at, value, width);
        break;
    }
    case Damage::CatalogPage: break;
    }
    return bytes;
}

Trial Campaign::run(std::uint64_t number, double secondsAllowed) const
{
    Trial trial;
    trial.number = number;
    std::vector<std::uint8_t> bytes = damaged(number, trial.damage, trial.change);

    std::fflush(nullptr);  // what this process has buffered is not the child's to print
    int answer[2];
    if (::pipe(answer) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    pid_t child = ::fork();
    if (child < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (child == 0) {
        ::close(answer[0]);
#if !defined(DUALYN_ADDRESS_SANITIZER)
        struct rlimit memory {4ull << 30, 4ull << 30};
        ::setrlimit(RLIMIT_AS, &memory);
#endif
        std::string said;
        try {
            Counts c = readCounts(bytes);
            said = "C" + std::to_string(c.tables) + " " + std::to_string(c.fields) + " " + std::to_string(c.indexes) + " " +
                   std::to_string(c.relations) + " " + std::to_string(c.queries);
        } catch (const std::exception& e) {
            said = std::string("R") + e.what();
        }
        ssize_t ignored = ::write(answer[1], said.data(), said.size());
        (void)ignored;
        ::_exit(0);
    }
    ::close(answer[1]);
    std::string said;
    bool hung = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(secondsAllowed);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            hung = true;
            break;
        }
        pollfd fd{answer[0], POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
        char buffer[4096];
        ssize_t n = ::read(answer[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        said.append(buffer, static_cast<std::size_t>(n));
    }
    if (hung) ::kill(child, SIGKILL);
    ::close(answer[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (hung) {
        trial.outcome = Outcome::Hung;
        trial.detail = "no end after " + std::to_string(secondsAllowed) + " s";
    } else if (WIFSIGNALED(status) || said.empty()) {
        trial.outcome = Outcome::Crashed;
        trial.detail = WIFSIGNALED(status) ? std::string("signal ") + strsignal(WTERMSIG(status)) : "no answer";
    } else if (said[0] == 'R') {
        trial.outcome = Outcome::Refused;
        trial.detail = said.substr(1);
    } else {
        Counts c;
        std::sscanf(said.c_str() + 1, "%zu %zu %zu %zu %zu", &c.tables, &c.fields, &c.indexes, &c.relations, &c.queries);
        trial.detail = c.text();
        trial.outcome = c.tables == 0 && whole_.tables > 0 ? Outcome::Empty
                        : c.fewerThan(whole_)               ? Outcome::Lost
                                                            : Outcome::Intact;
    }
    return trial;
}

}  // namespace damage
