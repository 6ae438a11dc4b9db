// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceProbe.h"

#include <blkid.h>

#include <memory>

namespace quaymark::platform {

namespace {

struct ProbeDeleter {
    void operator()(blkid_struct_probe* probe) const { blkid_free_probe(probe); }
};
using Probe = std::unique_ptr<blkid_struct_probe, ProbeDeleter>;

std::optional<std::string> lookup(blkid_probe probe, const char* name) {
    const char* value = nullptr;
    size_t length = 0;
    if (blkid_probe_lookup_value(probe, name, &value, &length) != 0 || value == nullptr) {
        return std::nullopt;
    }
    // The length counts the terminating zero.
    std::string text(value, length > 0 && value[length - 1] == '\0' ? length - 1 : length);
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

} // namespace

std::optional<DeviceLabels> probeDevice(const std::filesystem::path& device) {
    Probe probe(blkid_new_probe_from_filename(device.c_str()));
    if (!probe) {
        return std::nullopt;
    }
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(),
                                      BLKID_SUBLKS_UUID | BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE);
    // Safe probing refuses a device that carries two conflicting signatures.
    if (blkid_do_safeprobe(probe.get()) != 0) {
        return std::nullopt;
    }
    return DeviceLabels{lookup(probe.get(), "UUID"), lookup(probe.get(), "LABEL")};
}

} // namespace quaymark::platform
