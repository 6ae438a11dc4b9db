// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the QuickTime atom walk, the keys/ilst reading and the name normaliser
// on what they find.
#include "CameraReaderHarness.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

int descriptor() {
    static const int fd = [] {
        const int created = ::memfd_create("quaymark-camera-fuzz", MFD_CLOEXEC);
        if (created < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        return created;
    }();
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = descriptor();
    if (::ftruncate(fd, 0) != 0 ||
        (size > 0 && ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))) {
        std::perror("memfd write");
        std::abort();
    }
    try {
        (void)quaymark::fuzz::runReader(fd, size);
    } catch (const quaymark::fuzz::LimitViolation& violation) {
        std::fprintf(stderr, "limit violation: %s\n", violation.what());
        std::abort();
    }
    return 0;
}
