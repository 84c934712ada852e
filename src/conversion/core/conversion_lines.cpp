#include "conversion/core/conversion_lines.h"

namespace tessavo {
namespace {

// What each step does, and the line it prints when it fails (the output
// folder's adds the reason).
struct StepTexts {
    std::string_view failed;
    std::string_view doing;
};

StepTexts textsOf(ConversionStep step)
{
    switch (step) {
    case ConversionStep::Read:
        return {"Failed to read HEIC data.", "reading"};
    case ConversionStep::Parse:
        return {"Failed to create CGImageSource.", "decoding"};
    case ConversionStep::Decode:
        return {"Failed to create CGImage.", "decoding"};
    case ConversionStep::CreateFolder:
        return {"Failed to create output directory: ", "creating"};
    case ConversionStep::CreateDestination:
        return {"Failed to create CGImageDestination.", "writing"};
    case ConversionStep::Finalize:
    case ConversionStep::Done:
        break;
    }
    return {"Failed to finalize the image destination.", "writing"};
}

} // namespace

void ConversionLines::converting(const std::filesystem::path& source) const { sink_("Converting file: " + source.filename().string()); }

void ConversionLines::destination(const std::filesystem::path& jpeg) const { sink_("Destination URL: " + jpeg.string()); }

void ConversionLines::converted(const std::filesystem::path& source, const std::filesystem::path& name) const
{
    sink_("Successfully converted " + source.filename().string() + " to " + name.string());
}

void ConversionLines::failed(const Failure& failure) const
{
    const std::string_view line = textsOf(failure.step).failed;
    if (failure.step == ConversionStep::CreateFolder)
        sink_(std::string(line) + failure.reason);
    else
        sink_(line);
}

std::string_view activityAt(ConversionStep step) { return textsOf(step).doing; }

} // namespace tessavo
