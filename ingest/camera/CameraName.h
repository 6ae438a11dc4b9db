// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The display name of a camera from the make and model its clips state.
namespace quaymark::CameraName {

inline constexpr std::size_t longestModel = 119; // characters, after trimming

// The display name for a make and a model ("Canon EOS R5", "SONY ILCE-7SM3"), or nothing
// without a usable model. Pure; input that is not valid UTF-8 is repaired first.
std::optional<std::string> normalized(std::optional<std::string_view> make,
                                      std::optional<std::string_view> model);

} // namespace quaymark::CameraName
