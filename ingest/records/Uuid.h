// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace quaymark {

// A random (version 4) UUID in canonical upper-case 8-4-4-4-12 form.
std::string makeUuid();

} // namespace quaymark
