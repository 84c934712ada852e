#pragma once

#include "conversion/core/base/result.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

// Every line a conversion prints is made here. Scripts read them: their
// texts are a contract, to be kept byte for byte.
namespace tessavo {

// Receives each diagnostic line, without its line feed; the programs print
// them on standard output, tests may collect them. Called from the thread
// that converts.
using LineSink = std::function<void(std::string_view line)>;

class ConversionLines {
public:
    explicit ConversionLines(const LineSink& sink) : sink_(sink) { }

    void converting(const std::filesystem::path& source) const;
    void destination(const std::filesystem::path& jpeg) const;
    void converted(const std::filesystem::path& source, const std::filesystem::path& name) const;
    // The failed step's line; the output folder's adds the reason.
    void failed(const Failure& failure) const;

private:
    const LineSink& sink_;
};

// What a conversion was doing at `step`, for people: "reading", "decoding",
// "creating" or "writing".
std::string_view activityAt(ConversionStep step);

} // namespace tessavo
