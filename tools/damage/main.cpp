// dualyn-damage: the damage campaign on database files, with its figures.
//
//     dualyn-damage [--trials N] [--from K] [--show lost|all] FILE...
//
// runs trials K to K+N-1 (default 0 to 999) on each file and prints, per format and per kind of
// damage, how many damaged files were refused, read whole, read with an object lost, read as
// empty, crashed the reading or hung it. --show lost lists each trial that lost an object (or
// worse) with its damage; --show all lists every trial. Exit status 0 when no reading lost an
// object, crashed or hung; 1 otherwise; 2 on a bad argument or an unreadable undamaged file.
#include "damage_campaign.h"

#include <array>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>

namespace {

using Tally = std::array<std::size_t, 6>;  // trials per outcome

int usage()
{
    std::cerr << "usage: dualyn-damage [--trials N] [--from K] [--show lost|all] FILE...\n";
    return 2;
}

void printTally(const std::string& label, const Tally& t)
{
    std::size_t trials = 0;
    for (std::size_t n : t) trials += n;
    std::size_t read = t[1] + t[2] + t[3];
    std::cout << label << ": " << trials << " tried, " << t[0] << " refused, " << read << " read (" << t[1] << " whole, "
              << t[2] << " with an object lost, " << t[3] << " as empty), " << t[4] << " crashed, " << t[5] << " hung";
    if (read) std::cout << "; lost or empty per 100 read: " << 100.0 * static_cast<double>(t[2] + t[3]) / static_cast<double>(read);
    std::cout << "\n";
}

}  // namespace

int main(int argc, char* argv[])
{
    std::uint64_t trials = 1000, from = 0;
    std::string show;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "--trials" || arg == "--from" || arg == "--show") && i + 1 < argc) {
            std::string value = argv[++i];
            if (arg == "--show") {
                if (value != "lost" && value != "all") return usage();
                show = value;
            } else {
                char* end = nullptr;
                std::uint64_t n = std::strtoull(value.c_str(), &end, 10);
                if (value.empty() || *end) return usage();
                (arg == "--trials" ? trials : from) = n;
            }
        } else if (!arg.empty() && arg[0] != '-') {
            files.push_back(arg);
        } else {
            return usage();
        }
    }
    if (files.empty()) return usage();

    std::map<std::string, Tally> byFormat, byDamage;
    Tally all{};
    bool bad = false;
    for (const std::string& path : files) {
        std::ifstream in(path, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.eof() && !in) {
            std::cerr << path << ": cannot be read\n";
            return 2;
        }
        try {
            damage::Campaign campaign(std::move(bytes), path);
            std::cout << path << " (" << campaign.format() << "): " << campaign.whole().text() << "\n";
            Tally mine{};
            for (std::uint64_t n = from; n < from + trials; ++n) {
                damage::Trial t = campaign.run(n);
                auto o = static_cast<std::size_t>(t.outcome);
                ++mine[o];
                ++byFormat[campaign.format()][o];
                ++byDamage[damage::damageName(t.damage)][o];
                ++all[o];
                bool worse = t.outcome != damage::Outcome::Refused && t.outcome != damage::Outcome::Intact;
                bad |= worse;
                if (show == "all" || (show == "lost" && worse))
                    std::cout << "  trial " << n << " (" << damage::damageName(t.damage) << ", " << t.change
                              << "): " << damage::outcomeName(t.outcome) << ": " << t.detail << "\n";
            }
            printTally("  " + path, mine);
        } catch (const std::exception& e) {
            std::cerr << e.what() << "\n";
            return 2;
        }
    }
    std::cout << "\nper format\n";
    for (const auto& [format, tally] : byFormat) printTally("  " + format, tally);
    std::cout << "per kind of damage\n";
    for (const auto& [kind, tally] : byDamage) printTally("  " + kind, tally);
    printTally("all", all);
    return bad ? 1 : 0;
}
