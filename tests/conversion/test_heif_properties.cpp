#include "conversion/heif_boxes.h"
#include "conversion/heif_properties.h"

#include "heic_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

using namespace tessavo;
using Bytes = std::vector<uint8_t>;
using Kind = ImageTransform::Kind;

namespace {

Bytes be(uint64_t value, int size)
{
    Bytes out;
    for (int i = size - 1; i >= 0; --i)
        out.push_back(uint8_t(value >> (8 * i)));
    return out;
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::string typeOf(const Box& box)
{
    std::string type;
    for (int shift = 24; shift >= 0; shift -= 8)
        type += char(box.type >> shift);
    return type;
}

Bytes box(const std::string& type, const Bytes& body)
{
    return cat({be(8 + body.size(), 4), Bytes(type.begin(), type.end()), body});
}

Bytes fullBox(const std::string& type, int version, uint32_t flags, const Bytes& body)
{
    return box(type, cat({be(uint32_t(version) << 24 | flags, 4), body}));
}

Bytes irot(int quarterTurns) { return box("irot", {uint8_t(quarterTurns)}); }
Bytes imir(int axis) { return box("imir", {uint8_t(axis)}); }
Bytes clap() { return box("clap", cat({be(10, 4), be(1, 4), be(8, 4), be(1, 4), be(0, 4), be(1, 4), be(0, 4), be(1, 4)})); }

// A HEIF file whose primary item `primary` has the given ipma entries; each
// entry is (item ID, list of 1-based property indices).
Bytes heifFile(const std::vector<Bytes>& properties, const std::vector<std::pair<uint32_t, std::vector<int>>>& entries,
               uint32_t primary = 1, int ipmaVersion = 0, uint32_t ipmaFlags = 0, int pitmVersion = 0)
{
    Bytes ipco;
    for (const auto& property : properties)
        ipco = cat({ipco, property});
    Bytes ipma = be(entries.size(), 4);
    for (const auto& [item, indices] : entries) {
        ipma = cat({ipma, be(item, ipmaVersion < 1 ? 2 : 4), be(indices.size(), 1)});
        for (int index : indices)
            ipma = cat({ipma, be(uint32_t(index), (ipmaFlags & 1) ? 2 : 1)});
    }
    const Bytes meta = cat({fullBox("hdlr", 0, 0, cat({be(0, 4), Bytes{'p', 'i', 'c', 't'}, Bytes(13, 0)})),
                            fullBox("pitm", pitmVersion, 0, be(primary, pitmVersion == 0 ? 2 : 4)),
                            box("iprp", cat({box("ipco", ipco), fullBox("ipma", ipmaVersion, ipmaFlags, ipma)}))});
    return cat({box("ftyp", Bytes{'h', 'e', 'i', 'c', 0, 0, 0, 0, 'm', 'i', 'f', '1'}), fullBox("meta", 0, 0, meta)});
}

std::vector<Kind> kindsOf(const std::vector<ImageTransform>& transforms)
{
    std::vector<Kind> kinds;
    for (const auto& t : transforms)
        kinds.push_back(t.kind);
    return kinds;
}

int orientationOf(const Bytes& file)
{
    const auto transforms = readPrimaryItemTransforms(file);
    return transforms ? exifOrientation(*transforms) : 0;
}

} // namespace

// Expected values worked out by hand from the EXIF definitions, with
// libheif 1.15's mirror axes (0 top-bottom, 1 left-right).
TEST(HeifProperties, ComposesRotationAndMirrorInPropertyOrder)
{
    const std::vector<std::pair<std::vector<Bytes>, int>> cases{
        {{}, 1},
        {{irot(0)}, 1},
        {{irot(1)}, 8}, // 90 anti-clockwise
        {{irot(2)}, 3},
        {{irot(3)}, 6},
        {{imir(1)}, 2},
        {{imir(0)}, 4},
        {{irot(3), imir(1)}, 5},
        {{imir(1), irot(3)}, 7}, // order matters
        {{irot(3), imir(0)}, 7},
        {{irot(1), imir(1)}, 7},
        {{irot(1), imir(0)}, 5},
        {{irot(2), imir(1)}, 4},
        {{clap(), irot(1), clap()}, 8},
        {{imir(1), imir(1)}, 1},
        {{irot(1), irot(1)}, 3},
    };
    for (const auto& [properties, expected] : cases) {
        std::vector<int> indices;
        for (size_t i = 0; i < properties.size(); ++i)
            indices.push_back(int(i + 1));
        EXPECT_EQ(orientationOf(heifFile(properties, {{1, indices}})), expected) << "case for " << expected;
    }
}

TEST(HeifProperties, ReadsWhatLibheifWrites)
{
    for (int orientation = 1; orientation <= 8; ++orientation) {
        testsupport::FixtureOptions options;
        options.width = 30;
        options.height = 20;
        options.orientation = orientation;
        const Bytes file = testsupport::makeHeic(options);
        const auto transforms = readPrimaryItemTransforms(file);
        ASSERT_TRUE(transforms) << orientation;
        EXPECT_EQ(exifOrientation(*transforms), orientation);
        ASSERT_FALSE(transforms->empty());
        // libheif crops padded sizes with clap first.
        EXPECT_EQ(transforms->front().kind, Kind::Crop);
        EXPECT_EQ(transforms->front().crop.widthNumerator, 30u);
        EXPECT_EQ(transforms->front().crop.heightNumerator, 20u);
    }
}

TEST(HeifProperties, FieldVariantsAndOtherItems)
{
    const std::vector<Bytes> properties{clap(), irot(3), imir(1)};
    // Wide indices with the essential bit set, 32-bit item IDs and pitm.
    EXPECT_EQ(orientationOf(heifFile(properties, {{7, {1}}, {1, {0x8002, 0x8003}}}, 1, 1, 1, 1)), 5);
    // Properties of other items, index 0 and indices past ipco are ignored.
    const auto mixed = readPrimaryItemTransforms(heifFile(properties, {{2, {2}}, {1, {0, 9, 1, 3}}}));
    ASSERT_TRUE(mixed);
    EXPECT_EQ(kindsOf(*mixed), (std::vector<Kind>{Kind::Crop, Kind::Mirror}));
    EXPECT_EQ(orientationOf(heifFile(properties, {{2, {2, 3}}}, 1)), 1);
    // A box with a 64-bit size is read as well.
    Bytes large = cat({be(1, 4), Bytes{'i', 'r', 'o', 't'}, be(17, 8), Bytes{1}});
    EXPECT_EQ(orientationOf(heifFile({large}, {{1, {1}}})), 8);
}

TEST(HeifProperties, RefusesWhatIsNoHeifImage)
{
    EXPECT_FALSE(readPrimaryItemTransforms({}));
    EXPECT_FALSE(readPrimaryItemTransforms(Bytes(100, 0xff)));
    EXPECT_FALSE(readPrimaryItemTransforms(box("ftyp", Bytes(8, 0))));
    Bytes file = heifFile({irot(1)}, {{1, {1}}});
    const auto pict = std::search(file.begin(), file.end(), std::begin("pict"), std::end("pict") - 1);
    *pict = 'v';
    EXPECT_FALSE(readPrimaryItemTransforms(file));
}

// The reader takes untrusted bytes: every prefix and many damaged copies of
// a real file must end quickly, within bounds (the sanitizer build checks
// the bounds), whatever the result.
TEST(HeifProperties, SurvivesTruncationAndDamage)
{
    testsupport::FixtureOptions options;
    options.orientation = 7;
    const Bytes file = testsupport::makeHeic(options);
    for (size_t size = 0; size <= file.size(); ++size) {
        const Bytes prefix(file.begin(), file.begin() + ptrdiff_t(size));
        const auto result = readPrimaryItemTransforms(prefix);
        if (result) {
            EXPECT_LE(result->size(), 3u);
        }
    }

    std::mt19937 random(7);
    const auto started = std::chrono::steady_clock::now();
    for (int round = 0; round < 20000; ++round) {
        Bytes damaged = file;
        for (int hits = 1 + int(random() % 4); hits > 0; --hits) {
            const size_t at = random() % 600; // the boxes before the image data
            damaged[at % damaged.size()] = random() % 3 == 0 ? 0xff : uint8_t(random());
        }
        (void)readPrimaryItemTransforms(damaged);
    }
    // Lying counts and sizes: a huge ipma entry count, a box claiming 2^64.
    Bytes hugeCount = heifFile({irot(1)}, {{1, {1}}});
    const auto ipma = std::search(hugeCount.begin(), hugeCount.end(), std::begin("ipma"), std::end("ipma") - 1);
    std::fill(ipma + 8, ipma + 12, 0xff);
    EXPECT_EQ(orientationOf(hugeCount), 8);
    const Bytes endless = cat({box("ftyp", Bytes(8, 0)), be(1, 4), Bytes{'m', 'e', 't', 'a'}, be(~0ull, 8)});
    EXPECT_FALSE(readPrimaryItemTransforms(endless));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

TEST(HeifBoxes, SplitsEveryHeaderForm)
{
    const Bytes extended(16, 0xee);
    const Bytes bytes = cat({be(11, 4), text("ftyp"), text("abc"),
                             be(1, 4), text("mdat"), be(18, 8), text("xy"),
                             be(26, 4), text("uuid"), extended, text("uu"),
                             be(0, 4), text("free"), text("rest")});
    const auto boxes = allBoxes(bytes);
    ASSERT_TRUE(boxes);
    ASSERT_EQ(boxes->size(), 4u);
    const std::vector<std::string> payloads{"abc", "xy", "uu", "rest"};
    for (size_t i = 0; i < payloads.size(); ++i)
        EXPECT_EQ(std::string((*boxes)[i].payload.begin(), (*boxes)[i].payload.end()), payloads[i]) << typeOf((*boxes)[i]);
    EXPECT_EQ(typeOf((*boxes)[2]), "uuid");
    EXPECT_EQ(leadingBoxes(bytes).size(), 4u);
    EXPECT_EQ(findBox(*boxes, fourcc("free")), &(*boxes)[3]);
    EXPECT_EQ(findBox(*boxes, fourcc("meta")), nullptr);
}

// One good box, then a bad one: the lenient split keeps the good one, the
// strict split refuses the lot.
TEST(HeifBoxes, StopsAtTheFirstMalformedBox)
{
    const Bytes good = cat({be(9, 4), text("ftyp"), text("a")});
    const std::vector<std::pair<std::string, Bytes>> bad{
        {"size below its header", cat({be(7, 4), text("free")})},
        {"size past the end", cat({be(13, 4), text("free"), text("abcd")})},
        {"largesize cut short", cat({be(1, 4), text("free"), be(0, 4)})},
        {"largesize below its header", cat({be(1, 4), text("free"), be(15, 8)})},
        {"largesize past the end", cat({be(1, 4), text("free"), be(uint64_t(1) << 63, 8)})},
        {"uuid shorter than its extended type", cat({be(20, 4), text("uuid"), Bytes(12, 0)})},
        {"fewer bytes than a header", text("abcdefg")},
    };
    for (const auto& [what, tail] : bad) {
        const Bytes bytes = cat({good, tail});
        const auto lenient = leadingBoxes(bytes);
        ASSERT_EQ(lenient.size(), 1u) << what;
        EXPECT_EQ(lenient[0].payload.size(), 1u) << what;
        EXPECT_FALSE(allBoxes(bytes)) << what;
    }
    EXPECT_TRUE(allBoxes({}));
}

TEST(HeifBoxes, ReaderFailsForGoodAtItsEnd)
{
    const Bytes bytes{0x01, 0x02, 0x03, 0x04, 0x05};
    ByteReader reader(bytes);
    const FullBoxHeader header = readFullBoxHeader(reader);
    EXPECT_EQ(header.version, 1u);
    EXPECT_EQ(header.flags, 0x020304u);
    EXPECT_EQ(reader.read(0), 0u);
    EXPECT_TRUE(reader.ok());
    EXPECT_EQ(reader.read(2), 0u);
    EXPECT_FALSE(reader.ok());
    EXPECT_EQ(reader.left(), 0u);
    EXPECT_TRUE(reader.take(0).empty());
    EXPECT_FALSE(reader.ok());

    const Bytes ones(16, 0xff);
    ByteReader wide(ones);
    EXPECT_EQ(wide.read(8), ~uint64_t(0));
    EXPECT_EQ(wide.read(9), 0u);
    EXPECT_FALSE(wide.ok());

    ByteReader taking(bytes);
    EXPECT_EQ(taking.take(2).size(), 2u);
    EXPECT_TRUE(taking.take(4).empty());
    EXPECT_FALSE(taking.ok());
}
