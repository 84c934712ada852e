// Which route each file takes: the direct YCbCr route, libheif's RGB route,
// or a failure; then the direct route's share of the files converted.
// usage: route_share FILE...     (JPEGs go to a temporary folder)
#include "conversion/core/convert_file.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tessavo-routes-XXXXXX").string();
    if (argc < 2 || !::mkdtemp(pattern.data())) {
        std::fprintf(stderr, "usage: route_share FILE...\n");
        return 2;
    }
    int direct = 0, converted = 0;
    for (int i = 1; i < argc; ++i) {
        const auto result = tessavo::convertFile(argv[i], pattern, {}, [](std::string_view) {});
        converted += result.succeeded();
        direct += result.directRoute;
        std::printf("%-8s %s\n", result.succeeded() ? (result.directRoute ? "direct" : "RGB") : "failed", argv[i]);
    }
    std::filesystem::remove_all(pattern);
    std::printf("direct route: %d of %d converted files\n", direct, converted);
    return 0;
}
