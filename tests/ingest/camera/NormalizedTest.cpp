// SPDX-License-Identifier: GPL-3.0-or-later
#include "ingest/camera/CameraName.h"

#include <gtest/gtest.h>

#include <tuple>

namespace quaymark::test {
namespace {

TEST(NormalizedTest, NamesAsUsersSeeThem) {
    // 119 characters after trimming, counted as users see them, not in bytes or code points.
    const std::string longest(119, 'x');
    std::string accented;
    for (int i = 0; i < 119; ++i) {
        accented += "e\u0301";
    }
    using Text = std::optional<std::string>;
    const std::vector<std::tuple<Text, Text, Text>> cases = {
        // make, model, name
        // Unicode white space and line breaks are trimmed; inner blanks stay.
        {"  SONY\n", "\tILCE-7SM3  \r\n", "SONY ILCE-7SM3"},
        {"\u00A0Nikon\u3000", "\u2003Z 9\u00A0", "Nikon Z 9"},
        // Company suffixes, matched on the uppercased make.
        {"Blackmagic Design Inc.", "Pocket Cinema Camera 6K",
         "Blackmagic Design Pocket Cinema Camera 6K"},
        // Trimmed before the suffixes are tried, so no blank is left to match.
        {" CORPORATION", "Z1", "CORPORATION Z1"},
        // A model that contains the make, compared with Unicode case folding, stands alone.
        {"CANON", "Canon EOS R5", "Canon EOS R5"},
        {"Blackmagic Design Inc.", "Blackmagic Design Pocket Cinema Camera 6K",
         "Blackmagic Design Pocket Cinema Camera 6K"},
        {"E\u0301lan", "\u00C9LAN 7", "\u00C9LAN 7"},
        // Input that is not UTF-8 is repaired.
        {"Ca\xFFnon", "EOS", "Ca\xEF\xBF\xBDnon EOS"},
        // No usable model, no name.
        {"Canon", " \t\r\n\u00A0\u3000\u2028", std::nullopt},
        {std::nullopt, "  " + longest + "  ", longest},
        {std::nullopt, longest + "x", std::nullopt},
        {std::nullopt, accented, accented},
        {std::nullopt, accented + "e", std::nullopt},
    };
    for (const auto& [make, model, name] : cases) {
        EXPECT_EQ(CameraName::normalized(make, model), name)
            << make.value_or("(none)") << " / " << model.value_or("(none)");
    }
}

} // namespace
} // namespace quaymark::test
