// Writes a HEIC sample for trying out and benchmarking the converter.
#include "heic_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: tessavo-make-sample OUTPUT.heic [WIDTH HEIGHT [ORIENTATION]]\n");
        return 2;
    }
    tessavo::testsupport::FixtureOptions options;
    options.width = 1024;
    options.height = 768;
    options.photographic = true;
    try {
        if (argc >= 4) {
            options.width = std::stoi(argv[2]);
            options.height = std::stoi(argv[3]);
        }
        if (argc == 5)
            options.orientation = std::stoi(argv[4]);
        if (options.width < 1 || options.height < 1 || options.orientation < 1 || options.orientation > 8)
            throw std::invalid_argument("out of range");
        tessavo::testsupport::writeFile(argv[1], tessavo::testsupport::makeHeic(options));
    } catch (const std::logic_error&) {
        std::fprintf(stderr, "tessavo-make-sample: WIDTH and HEIGHT must be positive, ORIENTATION 1 to 8\n");
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tessavo-make-sample: %s\n", error.what());
        return 1;
    }
    return 0;
}
