// Runs a fuzz target once over every file under the folders given, so a build without libFuzzer still replays the
// samples and the regressions.
#include "sample_files.h"

#include <cstdio>
#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i)
        for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i]))
            if (entry.is_regular_file() && entry.path().extension() != ".md") {
                const auto bytes = tessavo::testsupport::readFile(entry.path());
                LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
                ++replayed;
            }
    std::printf("replayed %zu inputs\n", replayed);
    return replayed > 0 ? 0 : 1;
}
