// Replays committed corpus and regression files through a fuzz target without
// libFuzzer, so that the normal (g++) build keeps them as tests.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace fs = std::filesystem;

namespace {
bool replay(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return false;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    // A copy of exactly the input's size, so that reads past its end are caught
    // by the sanitizers as they would be under libFuzzer.
    std::vector<uint8_t> input(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(input.data(), input.size());
    return true;
}
} // namespace

// Arguments: files or directories (every regular file below them, in name order).
int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path path(argv[i]);
        std::vector<fs::path> files;
        if (fs::is_directory(path)) {
            for (const auto& entry : fs::recursive_directory_iterator(path))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        } else if (fs::is_regular_file(path)) {
            files.push_back(path);
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            if (!replay(file))
                return 1;
            ++replayed;
        }
    }
    std::printf("replayed %d inputs\n", replayed);
    // A target without a single input tests nothing.
    return replayed > 0 ? 0 : 1;
}
