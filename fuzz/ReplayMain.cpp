// Runs a fuzz target without a fuzzing engine: every seed file given, then every prefix of
// it and every single-byte change to 0x00, 0x7F, 0x80 and 0xFF. This keeps the targets
// exercised by the ordinary test run; the fuzzing build links the engine instead.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size);

static size_t Replay(const std::vector<unsigned char>& seed) {
    size_t nRuns = 0;
    LLVMFuzzerTestOneInput(seed.data(), seed.size());
    ++nRuns;
    for (size_t n = 0; n < seed.size(); ++n, ++nRuns)
        LLVMFuzzerTestOneInput(seed.data(), n);
    const unsigned char kValues[] = {0x00, 0x7F, 0x80, 0xFF};
    std::vector<unsigned char> mutated = seed;
    for (size_t i = 1; i < seed.size(); ++i) {
        for (unsigned char v : kValues) {
            mutated[i] = v;
            LLVMFuzzerTestOneInput(mutated.data(), mutated.size());
            ++nRuns;
        }
        mutated[i] = seed[i];
    }
    return nRuns;
}

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    size_t nRuns = 0, nSeeds = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<fs::path> files;
        if (fs::is_directory(argv[i])) {
            for (const auto& e : fs::directory_iterator(argv[i]))
                files.push_back(e.path());
        } else {
            files.emplace_back(argv[i]);
        }
        for (const fs::path& f : files) {
            std::ifstream in(f, std::ios::binary);
            std::vector<unsigned char> seed((std::istreambuf_iterator<char>(in)), {});
            nRuns += Replay(seed);
            ++nSeeds;
        }
    }
    std::printf("%zu seeds, %zu inputs replayed\n", nSeeds, nRuns);
    return nSeeds > 0 ? 0 : 1;
}
