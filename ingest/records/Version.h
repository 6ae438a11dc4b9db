// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace quaymark {

// The release, as the build names it: shown to users and written into every history.
const char* quaymarkVersion() noexcept;

} // namespace quaymark
