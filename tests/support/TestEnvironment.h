// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace quaymark::test {

// Points HOME and the XDG folders into the build tree, so that no test ever reads or writes
// the real home, whether it runs through CTest or by hand. Call before anything reads them.
void isolateHome();

} // namespace quaymark::test
