// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the journal and receipt decoders, and their round trip.
#include "RecordsHarness.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        quaymark::fuzz::checkDocument(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const quaymark::fuzz::RoundTripBroken& broken) {
        std::fprintf(stderr, "%s\n", broken.what());
        std::abort();
    }
    return 0;
}
