#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The values of simple XMP properties, as gain maps' writers store them.
namespace tessavo {

// The values of the property `name` of the namespace `uri` (whatever prefix
// the packet binds to it): one for an attribute (`p:Name="v"`) or an element
// (`<p:Name>v</p:Name>`), one per item for an rdf:Seq or rdf:Bag. None when
// the packet does not hold it. Entities are not expanded: numbers need none.
std::vector<std::string> xmpValues(std::string_view xmp, std::string_view uri, std::string_view name);

// The characters of XML names (with the prefix's colon) and of the space between them.
bool isXmlNameChar(char c);
bool isXmlSpace(char c);

// A number in XMP's (and C's) notation, whole and finite; nothing otherwise.
std::optional<double> xmpNumber(std::string_view text);

} // namespace tessavo
