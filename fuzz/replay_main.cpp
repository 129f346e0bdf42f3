// Stand-in driver for fuzz targets when libFuzzer is not available: feeds every file of the
// given corpus folders, then pseudo-random inputs (fresh and mutated corpus entries) for a
// bounded time, so the smoke run still exercises the reader under the sanitizers.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    double seconds = 2.0;
    std::vector<std::vector<uint8_t>> corpus;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--seconds=", 10) == 0) {
            seconds = std::atof(argv[i] + 10);
            continue;
        }
        std::filesystem::path path(argv[i]);
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
                if (entry.is_regular_file()) files.push_back(entry.path());
        } else {
            files.push_back(path);
        }
        for (const auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    for (const auto& input : corpus) LLVMFuzzerTestOneInput(input.data(), input.size());

    std::mt19937_64 rng(12345);
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    size_t runs = 0;
    std::vector<uint8_t> input;
    while (std::chrono::steady_clock::now() < end) {
        if (!corpus.empty() && rng() % 4 != 0) {
            input = corpus[rng() % corpus.size()];
            const size_t flips = 1 + rng() % 8;
            for (size_t f = 0; f < flips && !input.empty(); ++f) {
                switch (rng() % 3) {
                    case 0: input[rng() % input.size()] = static_cast<uint8_t>(rng()); break;
                    case 1: input.erase(input.begin() + static_cast<long>(rng() % input.size())); break;
                    default:
                        input.insert(input.begin() + static_cast<long>(rng() % (input.size() + 1)),
                                     static_cast<uint8_t>(rng()));
                        break;
                }
            }
        } else {
            input.resize(rng() % 4096);
            for (auto& b : input) b = static_cast<uint8_t>(rng());
        }
        LLVMFuzzerTestOneInput(input.data(), input.size());
        ++runs;
    }
    std::printf("replayed %zu corpus inputs and %zu generated inputs\n", corpus.size(), runs);
    return 0;
}
