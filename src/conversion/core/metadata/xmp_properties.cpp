#include "conversion/core/metadata/xmp_properties.h"

#include <charconv>
#include <cmath>

namespace tessavo {

bool isXmlNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' || c == '_' || c == '-' || c == '.';
}

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

namespace {

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isXmlSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isXmlSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// The prefix bound to `uri` by an xmlns attribute; empty when none is.
std::string_view prefixOf(std::string_view xmp, std::string_view uri)
{
    for (const char quote : {'"', '\''}) {
        std::string bound{'=', quote};
        bound.append(uri).push_back(quote);
        for (size_t at = xmp.find(bound); at != std::string_view::npos; at = xmp.find(bound, at + 1)) {
            size_t start = at;
            while (start > 0 && isXmlNameChar(xmp[start - 1]))
                --start;
            const std::string_view name = xmp.substr(start, at - start);
            if (name.starts_with("xmlns:") && name.size() > 6)
                return name.substr(6);
        }
    }
    return {};
}

} // namespace

std::vector<std::string> xmpValues(std::string_view xmp, std::string_view uri, std::string_view name)
{
    const std::string_view prefix = prefixOf(xmp, uri);
    if (prefix.empty())
        return {};
    const std::string qualified = std::string(prefix) + ":" + std::string(name);
    for (size_t at = xmp.find(qualified); at != std::string_view::npos; at = xmp.find(qualified, at + 1)) {
        const size_t after = at + qualified.size();
        if (at == 0 || (after < xmp.size() && isXmlNameChar(xmp[after])))
            continue;
        if (isXmlSpace(xmp[at - 1])) { // an attribute
            size_t equals = after;
            while (equals < xmp.size() && isXmlSpace(xmp[equals]))
                ++equals;
            if (equals + 1 >= xmp.size() || xmp[equals] != '=')
                continue;
            size_t open = equals + 1;
            while (open < xmp.size() && isXmlSpace(xmp[open]))
                ++open;
            const size_t close = open < xmp.size() ? xmp.find(xmp[open], open + 1) : std::string_view::npos;
            if ((xmp[open] != '"' && xmp[open] != '\'') || close == std::string_view::npos)
                continue;
            return {std::string(trimmed(xmp.substr(open + 1, close - open - 1)))};
        }
        if (xmp[at - 1] != '<')
            continue;
        // An element: its text, or the items of the list it holds.
        const size_t open = xmp.find('>', after);
        const size_t close = xmp.find("</" + qualified, after);
        if (open == std::string_view::npos || close == std::string_view::npos || close < open || xmp[open - 1] == '/')
            continue;
        const std::string_view content = xmp.substr(open + 1, close - open - 1);
        if (content.find("<rdf:li") == std::string_view::npos)
            return {std::string(trimmed(content))};
        std::vector<std::string> items;
        for (size_t item = content.find("<rdf:li"); item != std::string_view::npos; item = content.find("<rdf:li", item + 1)) {
            const size_t begin = content.find('>', item), end = content.find("</rdf:li", item);
            if (begin == std::string_view::npos || end == std::string_view::npos || end < begin)
                return {};
            items.emplace_back(trimmed(content.substr(begin + 1, end - begin - 1)));
        }
        return items;
    }
    return {};
}

Result<double> xmpNumber(std::string_view text)
{
    text = trimmed(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return Failure{ConversionStep::Decode, "no number: " + std::string(text)};
    return value;
}

} // namespace tessavo
