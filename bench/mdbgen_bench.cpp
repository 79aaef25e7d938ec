// How long the generator takes to write a large database, against a baseline measured in the
// same run: writing the same number of bytes to a file of the same folder with plain write().
//
//     mdbgen-bench [TABLES [FIELDS]]       (default: 5000 tables of 50 fields)
#include "jet4_writer.h"
#include "schema_text.h"
#include "synthetic.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Writes size bytes to path with write() and fsync(), as the generator does.
void plainWrite(const std::string& path, std::size_t size)
{
    std::vector<char> block(1 << 20, 'x');
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) std::exit(1);
    for (std::size_t done = 0; done < size;) {
        ssize_t n = ::write(fd, block.data(), std::min(block.size(), size - done));
        if (n <= 0) std::exit(1);
        done += static_cast<std::size_t>(n);
    }
    ::fsync(fd);
    ::close(fd);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char* argv[])
{
    mdbgen::SyntheticDesign design;
    design.tables = argc > 1 ? std::atoi(argv[1]) : 5000;
    design.fieldsPerTable = argc > 2 ? std::atoi(argv[2]) : 50;
    if (design.tables < 1 || design.fieldsPerTable < 2 || design.fieldsPerTable > 255) {
        std::fprintf(stderr, "usage: mdbgen-bench [TABLES [FIELDS]] (FIELDS from 2 to 255)\n");
        return 2;
    }
    std::string folder = std::filesystem::temp_directory_path() / ("mdbgen-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::string description = mdbgen::syntheticDescription(design);

    constexpr int kRuns = 5;
    std::vector<double> parse, write, total, baseline;
    std::uintmax_t size = 0;
    for (int run = 0; run < kRuns; ++run) {
        auto start = std::chrono::steady_clock::now();
        mdbgen::Database db = mdbgen::parseDescription(description);
        parse.push_back(secondsSince(start));
        auto writeStart = std::chrono::steady_clock::now();
        mdbgen::writeJet4File(db, folder + "/bench.mdb");
        write.push_back(secondsSince(writeStart));
        total.push_back(secondsSince(start));
        size = std::filesystem::file_size(folder + "/bench.mdb");

        auto plainStart = std::chrono::steady_clock::now();
        plainWrite(folder + "/plain.bin", size);
        baseline.push_back(secondsSince(plainStart));
    }
    std::filesystem::remove_all(folder);

    std::printf("design: %d tables of %d fields, %zu bytes of description\n", design.tables,
                design.fieldsPerTable, description.size());
    std::printf("file:   %.1f MiB (%ju bytes)\n", static_cast<double>(size) / (1 << 20), size);
    std::printf("median of %d runs: parse %.3f s, write %.3f s, total %.3f s\n", kRuns, median(parse),
                median(write), median(total));
    std::printf("baseline (plain write of the same size): %.3f s; ratio total/baseline %.1f\n",
                median(baseline), median(total) / median(baseline));
    return 0;
}
