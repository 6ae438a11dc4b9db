#include "ingest/camera/CameraMetadata.h"

#include <gtest/gtest.h>

namespace quaymark::test {
namespace {

using CameraMetadata::normalized;

TEST(NormalizedTest, ExamplesOfThePart) {
    EXPECT_EQ(normalized("Canon", "Canon EOS R5"), "Canon EOS R5");
    EXPECT_EQ(normalized("SONY", "ILCE-7SM3"), "SONY ILCE-7SM3");
    EXPECT_EQ(normalized("Apple", "iPhone 15 Pro"), "Apple iPhone 15 Pro");
    EXPECT_EQ(normalized("Blackmagic Design Inc.", "Pocket Cinema Camera 6K"),
              "Blackmagic Design Pocket Cinema Camera 6K");
}

TEST(NormalizedTest, NoModelOrAnEmptyOneGivesNothing) {
    EXPECT_EQ(normalized("Canon", std::nullopt), std::nullopt);
    EXPECT_EQ(normalized(std::nullopt, std::nullopt), std::nullopt);
    EXPECT_EQ(normalized("Canon", ""), std::nullopt);
    EXPECT_EQ(normalized("Canon", "   "), std::nullopt);
    EXPECT_EQ(normalized("Canon", " \t\r\n\u00A0\u3000\u2028"), std::nullopt);
}

TEST(NormalizedTest, ModelAloneWithoutMake) {
    EXPECT_EQ(normalized(std::nullopt, "EOS R5"), "EOS R5");
    EXPECT_EQ(normalized("", "EOS R5"), "EOS R5");
    EXPECT_EQ(normalized("  \n", "EOS R5"), "EOS R5");
}

TEST(NormalizedTest, TrimsWhiteSpaceAndLineBreaks) {
    EXPECT_EQ(normalized("  SONY\n", "\tILCE-7SM3  \r\n"), "SONY ILCE-7SM3");
    // Inner blanks stay.
    EXPECT_EQ(normalized("Panasonic", "  DC-GH6  "), "Panasonic DC-GH6");
    // No-break and ideographic spaces are white space as well.
    EXPECT_EQ(normalized("\u00A0Nikon\u3000", "\u2003Z 9\u00A0"), "Nikon Z 9");
}

TEST(NormalizedTest, CompanySuffixes) {
    EXPECT_EQ(normalized("Panasonic Corporation", "DC-S5"), "Panasonic DC-S5");
    EXPECT_EQ(normalized("Foo Corp.", "Z1"), "Foo Z1");
    EXPECT_EQ(normalized("Foo corp.", "Z1"), "Foo Z1");
    EXPECT_EQ(normalized("Foo Inc.", "Z1"), "Foo Z1");
    EXPECT_EQ(normalized("Foo inc", "Z1"), "Foo Z1");
    // Trimmed again after the suffix is dropped.
    EXPECT_EQ(normalized("Foo   Inc", "Z1"), "Foo Z1");
    // The list is walked once, in order: "CORP. INC" loses " INC" only.
    EXPECT_EQ(normalized("Acme CORP. INC", "Z1"), "Acme CORP. Z1");
    // ... while "INC CORP." loses both (" CORP." is tried before " INC").
    EXPECT_EQ(normalized("Acme INC CORP.", "Z1"), "Acme Z1");
    // " INC." and then " INC": both go.
    EXPECT_EQ(normalized("Acme Inc Inc.", "Z1"), "Acme Z1");
    // A suffix needs its leading blank.
    EXPECT_EQ(normalized("Zinc", "Z1"), "Zinc Z1");
    EXPECT_EQ(normalized("Corporation", "Z1"), "Corporation Z1");
    // The Part's edge case says " CORPORATION" alone becomes empty, but its algorithm trims
    // the make first (step 3), and "CORPORATION" has no leading blank left to match: the
    // algorithm is followed.
    EXPECT_EQ(normalized(" CORPORATION", "Z1"), "CORPORATION Z1");
    EXPECT_EQ(normalized("X CORPORATION", "Z1"), "X Z1");
    // A suffix in the middle stays.
    EXPECT_EQ(normalized("Inc. Cameras", "Z1"), "Inc. Cameras Z1");
}

TEST(NormalizedTest, UppercasingForSuffixesIsUnicodeAware) {
    // U+0131 (dotless i) uppercases to I: " ınc" is the suffix " INC".
    EXPECT_EQ(normalized("Foo \u0131nc", "Z1"), "Foo Z1");
    // Full-width letters uppercase to full-width letters, which are no suffix.
    EXPECT_EQ(normalized("Foo \uFF49\uFF4E\uFF43", "Z1"), "Foo \uFF49\uFF4E\uFF43 Z1");
}

TEST(NormalizedTest, ModelContainingTheMakeIsReturnedAlone) {
    EXPECT_EQ(normalized("CANON", "Canon EOS R5"), "Canon EOS R5");
    EXPECT_EQ(normalized("canon", "EOS R5 CANON"), "EOS R5 CANON");
    EXPECT_EQ(normalized("Blackmagic Design Inc.", "Blackmagic Pocket Cinema Camera 6K"),
              "Blackmagic Design Blackmagic Pocket Cinema Camera 6K");
    EXPECT_EQ(normalized("Blackmagic Design Inc.", "Blackmagic Design Pocket Cinema Camera 6K"),
              "Blackmagic Design Pocket Cinema Camera 6K");
}

TEST(NormalizedTest, ContainsComparesUnicodeCaseInsensitively) {
    // Beyond ASCII: Greek, Cyrillic, German sharp s (case folding makes ß and SS equal).
    EXPECT_EQ(normalized("ΣΟΝΥ", "σονυ A1"), "σονυ A1");
    EXPECT_EQ(normalized("ЗЕНИТ", "Зенит-E"), "Зенит-E");
    EXPECT_EQ(normalized("STRASSE", "Straße 1"), "Straße 1");
    EXPECT_EQ(normalized("Élan", "ÉLAN 7"), "ÉLAN 7");
    // Canonically equivalent forms match (precomposed é against e + combining acute).
    EXPECT_EQ(normalized("E\u0301lan", "\u00C9LAN 7"), "\u00C9LAN 7");
    // Accents are not ignored.
    EXPECT_EQ(normalized("Elan", "Élan 7"), "Elan Élan 7");
}

TEST(NormalizedTest, LongestModel) {
    const std::string longest(119, 'x');
    EXPECT_EQ(normalized(std::nullopt, longest), longest);
    EXPECT_EQ(normalized(std::nullopt, longest + "x"), std::nullopt);
    // Counted after trimming.
    EXPECT_EQ(normalized(std::nullopt, "  " + longest + "  "), longest);
    // Counted in characters, not bytes: 119 two-byte letters pass, and a letter with a
    // combining mark counts once.
    std::string accented;
    for (int i = 0; i < 119; ++i) {
        accented += "e\u0301";
    }
    EXPECT_EQ(normalized(std::nullopt, accented), accented);
    EXPECT_EQ(normalized(std::nullopt, accented + "e"), std::nullopt);
}

TEST(NormalizedTest, InvalidUtf8IsRepaired) {
    EXPECT_EQ(normalized("Ca\xFFnon", "EOS"), "Ca\xEF\xBF\xBDnon EOS");
    EXPECT_EQ(normalized(std::nullopt, "\xC3"), "\xEF\xBF\xBD");
}

} // namespace
} // namespace quaymark::test
