#include "conversion/core/heif_boxes.h"
#include "conversion/core/heif_compat.h"
#include "conversion/core/heif_file.h"
#include "conversion/core/heif_properties.h"

#include "heic_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
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
// entry is (item ID, list of 1-based property indices). Every item named
// has an infe; `references` go into an iref box.
Bytes heifFile(const std::vector<Bytes>& properties, const std::vector<std::pair<uint32_t, std::vector<int>>>& entries,
               uint32_t primary = 1, int ipmaVersion = 0, uint32_t ipmaFlags = 0, int pitmVersion = 0,
               const Bytes& references = {}, const Bytes& secondIpma = {})
{
    Bytes ipco;
    for (const auto& property : properties)
        ipco = cat({ipco, property});
    Bytes ipma = be(entries.size(), 4);
    std::vector<uint32_t> items{primary};
    for (const auto& [item, indices] : entries) {
        ipma = cat({ipma, be(item, ipmaVersion < 1 ? 2 : 4), be(indices.size(), 1)});
        for (int index : indices)
            ipma = cat({ipma, be(uint32_t(index), (ipmaFlags & 1) ? 2 : 1)});
        if (std::find(items.begin(), items.end(), item) == items.end())
            items.push_back(item);
    }
    Bytes infos = be(items.size(), 2);
    for (const uint32_t item : items)
        infos = cat({infos, fullBox("infe", 3, 0, cat({be(item, 4), be(0, 2), text("hvc1"), Bytes{0}}))});
    const Bytes meta = cat({fullBox("hdlr", 0, 0, cat({be(0, 4), Bytes{'p', 'i', 'c', 't'}, Bytes(13, 0)})),
                            fullBox("pitm", pitmVersion, 0, be(primary, pitmVersion == 0 ? 2 : 4)),
                            fullBox("iinf", 0, 0, infos), fullBox("iloc", 0, 0, Bytes{0x44, 0, 0, 0}),
                            references.empty() ? Bytes{} : fullBox("iref", 0, 0, references),
                            box("iprp", cat({box("ipco", ipco), fullBox("ipma", ipmaVersion, ipmaFlags, ipma), secondIpma}))});
    return cat({box("ftyp", Bytes{'h', 'e', 'i', 'c', 0, 0, 0, 0, 'm', 'i', 'f', '1'}), fullBox("meta", 0, 0, meta)});
}

std::optional<std::vector<ImageTransform>> primaryTransforms(const Bytes& file)
{
    const auto heif = readHeifFile(file);
    return heif ? transformsOf(*heif, heif->primary) : std::nullopt;
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
    const auto transforms = primaryTransforms(file);
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
        {{clap(), irot(1)}, 8},
        // libheif refuses a second property of a kind.
        {{clap(), irot(1), clap()}, 0},
        {{imir(1), imir(1)}, 0},
        {{irot(1), irot(1)}, 0},
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
        const auto transforms = primaryTransforms(file);
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
    const auto mixed = primaryTransforms(heifFile(properties, {{2, {2}}, {1, {0, 9, 1, 3}}}));
    ASSERT_TRUE(mixed);
    EXPECT_EQ(kindsOf(*mixed), (std::vector<Kind>{Kind::Crop, Kind::Mirror}));
    EXPECT_EQ(orientationOf(heifFile(properties, {{2, {2, 3}}}, 1)), 1);
    // As in libheif, an item's first entry counts: a later one for it, in
    // the same box or another, is ignored.
    EXPECT_EQ(orientationOf(heifFile(properties, {{1, {1}}, {1, {2}}})), 1);
    const Bytes turn = fullBox("ipma", 0, 0, cat({be(1, 4), be(1, 2), be(1, 1), be(2, 1)}));
    EXPECT_EQ(orientationOf(heifFile(properties, {{1, {3}}}, 1, 0, 0, 0, {}, turn)), 2);
    // A box with a 64-bit size is read as well.
    Bytes large = cat({be(1, 4), Bytes{'i', 'r', 'o', 't'}, be(17, 8), Bytes{1}});
    EXPECT_EQ(orientationOf(heifFile({large}, {{1, {1}}})), 8);
}

TEST(HeifProperties, RefusesWhatIsNoHeifImage)
{
    EXPECT_FALSE(primaryTransforms({}));
    EXPECT_FALSE(primaryTransforms(Bytes(100, 0xff)));
    EXPECT_FALSE(primaryTransforms(box("ftyp", Bytes(8, 0))));
    Bytes file = heifFile({irot(1)}, {{1, {1}}});
    const auto pict = std::search(file.begin(), file.end(), std::begin("pict"), std::end("pict") - 1);
    *pict = 'v';
    EXPECT_FALSE(primaryTransforms(file));
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
        const auto result = primaryTransforms(prefix);
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
        (void)primaryTransforms(damaged);
    }
    // Lying counts and sizes: an ipma entry count past libheif's int (it
    // reads no entries then), a box claiming 2^64.
    Bytes hugeCount = heifFile({irot(1)}, {{1, {1}}});
    const auto ipma = std::search(hugeCount.begin(), hugeCount.end(), std::begin("ipma"), std::end("ipma") - 1);
    std::fill(ipma + 8, ipma + 12, 0xff);
    EXPECT_EQ(orientationOf(hugeCount), 1);
    const Bytes endless = cat({box("ftyp", Bytes(8, 0)), be(1, 4), Bytes{'m', 'e', 't', 'a'}, be(~0ull, 8)});
    EXPECT_FALSE(primaryTransforms(endless));
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

// The crop libheif applies, in the coded image's coordinates; expected
// values worked out by hand from libheif's Box_clap arithmetic (left rounds
// down, top to nearest; edges clamped to the image).
TEST(HeifProperties, CropsWhereLibheifCrops)
{
    const auto crop = [](const Bytes& box) {
        ImageTransform t;
        t.kind = Kind::Crop;
        const auto boxes = allBoxes(box);
        ByteReader r((*boxes)[0].payload);
        uint32_t v[8];
        for (auto& value : v)
            value = uint32_t(r.read(4));
        t.crop = {v[0], v[1], v[2], v[3], int32_t(v[4]), v[5], int32_t(v[6]), v[7]};
        return t;
    };
    const auto clapOf = [](uint32_t w, uint32_t h, int32_t x, uint32_t xd, int32_t y, uint32_t yd) {
        return box("clap", cat({be(w, 4), be(1, 4), be(h, 4), be(1, 4), be(uint32_t(x), 4), be(xd, 4),
                                be(uint32_t(y), 4), be(yd, 4)}));
    };
    ImageTransform turn, mirror;
    turn.rotationCcwDegrees = 90;
    mirror.kind = Kind::Mirror;
    mirror.mirrorAxis = 1;
    const struct {
        std::vector<ImageTransform> transforms;
        int width, height;
        std::optional<PixelRect> expected;
    } cases[] = {
        {{}, 64, 48, PixelRect{0, 0, 64, 48}},
        {{crop(clapOf(50, 36, -3, 1, -8, 1))}, 64, 64, PixelRect{4, 6, 50, 36}},
        {{crop(clapOf(33, 17, -31, 2, -47, 2))}, 64, 64, PixelRect{0, 0, 33, 17}},
        {{crop(clapOf(10, 10, 0, 1, 0, 1))}, 21, 21, PixelRect{5, 6, 10, 10}},
        {{crop(clapOf(100, 10, 0, 1, 0, 1))}, 64, 48, PixelRect{0, 19, 64, 10}},
        // Turned and mirrored first: 40x70 from (10, 12) of the 64x96 view.
        {{turn, mirror, crop(clapOf(40, 70, -2, 1, -1, 1))}, 96, 64, PixelRect{14, 14, 70, 40}},
        {{crop(clapOf(10, 10, 0, 0, 0, 1))}, 64, 48, std::nullopt},             // a zero denominator
        {{crop(clapOf(10, 10, 0x7fffffff, 1, 0, 1))}, 64, 48, std::nullopt},    // overflows libheif's int
        {{crop(clapOf(10, 10, 100, 1, 0, 1))}, 64, 48, std::nullopt},           // outside the image
    };
    for (const auto& c : cases) {
        const auto area = croppedArea(c.transforms, c.width, c.height);
        ASSERT_EQ(area.has_value(), c.expected.has_value()) << c.width << "x" << c.height;
        if (area) {
            EXPECT_EQ(area->x, c.expected->x);
            EXPECT_EQ(area->y, c.expected->y);
            EXPECT_EQ(area->width, c.expected->width);
            EXPECT_EQ(area->height, c.expected->height);
        }
    }
}

// The rewrite for libheif 1.15: only the iref box changes, its size never;
// what libheif reads afterwards has one target wherever it wants one.
TEST(HeifCompat, RewritesOnlyWhatLibheifRefuses)
{
    const auto reference = [](const char* type, uint32_t from, std::vector<uint32_t> to) {
        Bytes body = cat({be(from, 2), be(to.size(), 2)});
        for (uint32_t id : to)
            body = cat({body, be(id, 2)});
        return box(type, body);
    };
    const Bytes alpha = fullBox("auxC", 0, 0, cat({text("urn:mpeg:mpegB:cicp:systems:auxiliary:alpha"), Bytes{0}}));
    const Bytes gainMap = fullBox("auxC", 0, 0, cat({text("urn:com:apple:photo:2020:aux:hdrgainmap"), Bytes{0}}));
    // Items 1 (primary), 2 (alpha or gain map), 3 (another image), 4, 5.
    const struct {
        const char* what;
        Bytes auxC;
        Bytes references;
        Adaptation expected;
        std::vector<std::pair<std::string, std::vector<uint32_t>>> after; // (type, targets) of each reference
    } cases[] = {
        {"plain references", alpha, cat({reference("auxl", 2, {1}), reference("thmb", 4, {1})}), Adaptation::None, {}},
        {"a gain map of two images", gainMap, cat({reference("dimg", 5, {1, 2}), reference("auxl", 2, {1, 5})}),
         Adaptation::Rewritten, {{"dimg", {1, 2}}, {"free", {1, 5}}}},
        {"a thumbnail of two", alpha, reference("thmb", 4, {1, 3}), Adaptation::Rewritten, {{"free", {1, 3}}}},
        {"a shared alpha plane", alpha,
         cat({reference("thmb", 4, {1}), reference("auxl", 2, {3, 1}), reference("cdsc", 5, {1})}),
         Adaptation::Rewritten, {{"auxl", {1}}, {"cdsc", {1}}, {"free", {1, 0}}}},
        {"shared metadata, a reference libheif skips", alpha,
         cat({reference("cdsc", 5, {1, 3, 2}), reference("base", 3, {1})}), Adaptation::Rewritten,
         {{"cdsc", {1}}, {"free", {1, 0, 0}}}},
        {"a shared alpha plane and nothing to give room", alpha, reference("auxl", 2, {3, 1}), Adaptation::Impossible,
         {{"auxl", {3, 1}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes original = heifFile({c.auxC}, {{1, {}}, {2, {1}}, {3, {}}, {4, {}}, {5, {}}}, 1, 0, 0, 0, c.references);
        const auto heif = readHeifFile(original);
        ASSERT_TRUE(heif);
        Bytes file = original;
        EXPECT_EQ(adaptForLibheif(file, *heif), c.expected);
        ASSERT_EQ(file.size(), original.size());
        const size_t begin = heif->referencesOffset, end = begin + heif->referencesSize;
        EXPECT_TRUE(std::equal(file.begin(), file.begin() + std::ptrdiff_t(begin), original.begin()));
        EXPECT_TRUE(std::equal(file.begin() + std::ptrdiff_t(end), file.end(), original.begin() + std::ptrdiff_t(end)));
        if (c.expected == Adaptation::None) {
            EXPECT_EQ(file, original);
            continue;
        }
        const auto after = readHeifFile(file);
        ASSERT_TRUE(after);
        ASSERT_EQ(after->references.size(), c.after.size());
        for (size_t i = 0; i < c.after.size(); ++i) {
            EXPECT_EQ(typeOf({after->references[i].type, {}}), c.after[i].first);
            EXPECT_EQ(after->references[i].to, c.after[i].second);
        }
    }
}
