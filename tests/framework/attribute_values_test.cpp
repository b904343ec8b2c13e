// Value forms of layout attributes: what parses, and what is refused so the attribute
// stays unset.

#include <gtest/gtest.h>

#include "framework/attribute_values.h"
#include "framework/image_description.h"

using namespace Framework;

TEST(FrameworkAttributeValues, ColoursAcceptTheSkinFormsAndRefuseTheRest) {
    const struct { const wchar_t* text; std::optional<std::uint32_t> expected; } cases[] = {
        {L"#26003B76", 0x26003B76u},
        {L"0xFF1675FE", 0xFF1675FEu},
        {L"0XFF1675fe", 0xFF1675FEu},
        {L"#FF0000", 0xFFFF0000u},  // six digits: opaque red
        {L" #FFEDF0F4 ", 0xFFEDF0F4u},
        {L"", std::nullopt},
        {L"#", std::nullopt},
        {L"FF1675FE", std::nullopt},
        {L"#FF1675F", std::nullopt},
        {L"#FF1675FEE", std::nullopt},
        {L"#GG1675FE", std::nullopt},
        {L"0x", std::nullopt},
        {L"red", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseColor(c.text), c.expected) << c.text;
}

TEST(FrameworkAttributeValues, NumbersAndRectanglesRefuseMalformedText) {
    EXPECT_EQ(ParseInteger(L" 42 "), 42);
    EXPECT_EQ(ParseInteger(L"-7"), -7);
    EXPECT_EQ(ParseInteger(L"+3"), 3);
    for (const wchar_t* bad : {L"", L"-", L"4x", L"x4", L"1.5", L"99999999999999999999", L"1000001"}) {
        EXPECT_EQ(ParseInteger(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(ParseRect(L"0,0,0,35"), (Rect{0, 0, 0, 35}));
    EXPECT_EQ(ParseRect(L" 9, 0 ,9,3"), (Rect{9, 0, 9, 3}));
    for (const wchar_t* bad : {L"", L"1,2,3", L"1,2,3,4,5", L"1,,3,4", L"1,2,3,a", L"1,2,3,4,"}) {
        EXPECT_EQ(ParseRect(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(ParseSize(L"600,400"), (Size{600, 400}));
    EXPECT_EQ(ParseSize(L"600"), std::nullopt);
    EXPECT_TRUE(ParseBool(L"TRUE"));
    EXPECT_FALSE(ParseBool(L"yes"));
}

TEST(FrameworkImageDescriptions, PlainNamesAndKeyValuePairs) {
    const ImageDescription plain = ParseImageDescription(L"res\\mainWnd\\bg1.png");
    EXPECT_EQ(plain.file, L"res\\mainWnd\\bg1.png");
    EXPECT_FALSE(plain.dest.has_value());
    EXPECT_EQ(plain.fade, 255);

    const ImageDescription full = ParseImageDescription(
        L"file='res\\mainWnd\\installPrg1.png' corner='2,2,2,2' mask='#FF0000' fade='128' hole='false' "
        L"xtiled='true' ytiled='false' dest='0,2,15,16' source='1,1,5,5'");
    EXPECT_EQ(full.file, L"res\\mainWnd\\installPrg1.png");
    EXPECT_EQ(full.corner, (Rect{2, 2, 2, 2}));
    EXPECT_EQ(full.mask, 0xFF0000u);
    EXPECT_EQ(full.fade, 128);
    EXPECT_FALSE(full.hole);
    EXPECT_TRUE(full.xtiled);
    EXPECT_FALSE(full.ytiled);
    EXPECT_EQ(full.dest, (Rect{0, 2, 15, 16}));
    EXPECT_EQ(full.source, (Rect{1, 1, 5, 5}));
}

TEST(FrameworkImageDescriptions, MalformedPartsStayUnset) {
    const struct { const wchar_t* text; const wchar_t* file; bool hasDest; int fade; } cases[] = {
        {L"file='a.png' dest='1,2,3'", L"a.png", false, 255},
        {L"file='a.png' fade='abc'", L"a.png", false, 255},
        {L"file='a.png' fade='999'", L"a.png", false, 255},  // clamped
        {L"file='a.png' dest='0,0,4,4", L"a.png", false, 255},  // unterminated quote ends it
        {L"dest='0,0,4,4' file=", L"", true, 255},
        {L"= = '' file='b.png'", L"b.png", false, 255},
        {L"file=\"c.png\" fade=7", L"c.png", false, 7},
    };
    for (const auto& c : cases) {
        const ImageDescription d = ParseImageDescription(c.text);
        EXPECT_EQ(d.file, c.file) << c.text;
        EXPECT_EQ(d.dest.has_value(), c.hasDest) << c.text;
        EXPECT_EQ(d.fade, c.fade) << c.text;
    }
}
