#pragma once

#include "conversion/core/base/result.h"
#include "conversion/core/output/jpeg_output.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <vector>

// The photo's bytes, read whole, as the conversion of one file needs them.
namespace tessavo {

struct SourceFile {
    std::vector<uint8_t> bytes;
    FileIdentity identity;
    timespec modified{};
};

// Fails at Read where the path is no regular file that can be read whole,
// or is larger than any photo (a sparse or runaway file would take its size
// in memory); without stalling on a FIFO or a device.
Result<SourceFile> readWholeFile(const std::filesystem::path& path);

} // namespace tessavo
