#include "conversion/core/input/photo_names.h"

#include <algorithm>
#include <array>

namespace tessavo {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
char folded(char c) { return c >= 'A' && c <= 'Z' ? char(c | 0x20) : c; }

} // namespace

bool isHeifName(std::string_view name)
{
    const size_t dot = name.rfind('.');
    if (dot == 0 || dot == name.npos)
        return false;
    const std::string_view extension = name.substr(dot + 1);
    constexpr std::array<std::string_view, 3> kExtensions{"heic", "heif", "hif"};
    return std::any_of(kExtensions.begin(), kExtensions.end(), [&](std::string_view known) {
        return extension.size() == known.size() &&
            std::equal(extension.begin(), extension.end(), known.begin(), [](char a, char b) { return folded(a) == b; });
    });
}

bool naturalLess(std::string_view a, std::string_view b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Numbers by value: fewer digits once the leading zeros are gone is less.
            size_t endA = i, endB = j;
            while (endA < a.size() && isDigit(a[endA]))
                ++endA;
            while (endB < b.size() && isDigit(b[endB]))
                ++endB;
            size_t startA = i, startB = j;
            while (startA + 1 < endA && a[startA] == '0')
                ++startA;
            while (startB + 1 < endB && b[startB] == '0')
                ++startB;
            const std::string_view numberA = a.substr(startA, endA - startA), numberB = b.substr(startB, endB - startB);
            if (numberA.size() != numberB.size())
                return numberA.size() < numberB.size();
            if (numberA != numberB)
                return numberA < numberB;
            i = endA;
            j = endB;
            continue;
        }
        if (folded(a[i]) != folded(b[j]))
            return (unsigned char)folded(a[i]) < (unsigned char)folded(b[j]);
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return j < b.size();
    return a < b;
}

} // namespace tessavo
