// SPDX-License-Identifier: GPL-3.0-or-later
#include "Version.h"

namespace quaymark {

const char* quaymarkVersion() noexcept {
    return QUAYMARK_VERSION;
}

} // namespace quaymark
