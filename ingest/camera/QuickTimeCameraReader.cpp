// SPDX-License-Identifier: GPL-3.0-or-later
#include "QuickTimeCameraReader.h"

#include "CameraName.h"
#include "CameraText.h"
#include "ingest/copy/UniqueFd.h"
#include "ingest/records/QuayError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <limits>
#include <map>
#include <string_view>
#include <vector>

namespace quaymark {

namespace {

namespace Reader = QuickTimeCameraReader;

struct Atom {
    std::uint32_t type; // inside an ilst list: the 1-based key index
    std::uint64_t payload;
    std::uint64_t end;
};

constexpr std::uint32_t fourCC(const char (&name)[5]) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(name[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(name[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(name[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(name[3]));
}

constexpr std::uint32_t moovType = fourCC("moov");
constexpr std::uint32_t udtaType = fourCC("udta");
constexpr std::uint32_t metaType = fourCC("meta");
constexpr std::uint32_t keysType = fourCC("keys");
constexpr std::uint32_t ilstType = fourCC("ilst");
constexpr std::uint32_t dataType = fourCC("data");

constexpr std::array<std::u32string_view, 4> acceptedKeys = {
    U"com.apple.quicktime.make", U"com.apple.quicktime.model", U"make", U"model"};

class File {
public:
    File(int fd, Reader::ReadObserver* observer)
        : fd_(fd)
        , observer_(observer) {}

    // Exactly `count` bytes at `offset`, or a QuayError.
    std::vector<unsigned char> read(std::uint64_t offset, std::size_t count) const {
        if (count > Reader::largestRead ||
            offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) ||
            count > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) - offset) {
            throw QuayError::unavailable("Invalid metadata extent");
        }
        if (observer_ != nullptr) {
            observer_->willRead(offset, count);
        }
        std::vector<unsigned char> buffer(count);
        std::size_t done = 0;
        while (done < count) {
            const ssize_t n = retryOnInterrupt([&] {
                return ::pread(fd_, buffer.data() + done, count - done,
                               static_cast<off_t>(offset + done));
            });
            if (n <= 0) {
                throw QuayError::unavailable("Cannot read camera metadata");
            }
            done += static_cast<std::size_t>(n);
        }
        if (done != count) {
            throw QuayError::unavailable("Truncated camera metadata");
        }
        return buffer;
    }

private:
    int fd_;
    Reader::ReadObserver* observer_;
};

// The big-endian number at `position`; fewer than 4 bytes there give the number they make.
std::uint32_t word(const std::vector<unsigned char>& bytes, std::size_t position) {
    std::uint32_t value = 0;
    for (std::size_t i = position; i < bytes.size() && i < position + 4; ++i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

std::vector<Atom> atoms(const File& file, std::uint64_t start, std::uint64_t end) {
    std::vector<Atom> found;
    if (end < start) {
        return found;
    }
    std::uint64_t offset = start;
    while (end - offset >= 8 && found.size() < Reader::atomsPerLevel) {
        const std::uint64_t remaining = end - offset;
        const std::vector<unsigned char> header = file.read(offset, 8);
        const std::uint32_t size32 = word(header, 0);
        const std::uint32_t type = word(header, 4);
        std::uint64_t size = 0;
        std::uint64_t headerLength = 8;
        if (size32 == 0) {
            size = remaining;
        } else if (size32 == 1) {
            const std::vector<unsigned char> extended = file.read(offset + 8, 8);
            const std::uint64_t size64 =
                (static_cast<std::uint64_t>(word(extended, 0)) << 32) | word(extended, 4);
            headerLength = 16;
            if (size64 == 0) {
                if (remaining < 16) {
                    break;
                }
                size = remaining;
            } else {
                if (size64 < 16 || size64 > remaining) {
                    break;
                }
                size = size64;
            }
        } else {
            if (size32 < 8 || size32 > remaining) {
                break;
            }
            size = size32;
        }
        found.push_back({type, offset + headerLength, offset + size});
        offset += size;
    }
    return found;
}

std::u32string keyName(const std::vector<unsigned char>& bytes) {
    const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return CameraText::lowercased(CameraText::decodeRepairing(raw));
}

std::string dataValue(const std::vector<unsigned char>& bytes) {
    const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const std::u32string decoded = CameraText::decodeRepairing(raw);
    return CameraText::encode(CameraText::trimmedControls(decoded));
}

bool endsWith(std::u32string_view text, std::u32string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The key names of a "keys" atom by their index; nothing when it claims more keys than any
// clip has.
std::optional<std::map<std::uint32_t, std::u32string>> keyTableOf(const File& file,
                                                                  const Atom& keys) {
    const std::uint32_t count = word(file.read(keys.payload, 8), 4);
    if (count > Reader::largestKeyCount) {
        return std::nullopt;
    }
    std::map<std::uint32_t, std::u32string> keyTable;
    std::uint64_t offset = keys.payload + 8;
    for (std::uint32_t index = 1; index <= count; ++index) {
        const std::uint64_t remaining = keys.end - offset;
        if (offset > keys.end || remaining < 8) {
            break;
        }
        const std::uint32_t size = word(file.read(offset, 8), 0);
        if (size < 8 || size > Reader::largestKeyEntry || size > remaining) {
            break;
        }
        keyTable[index] = keyName(file.read(offset + 8, size - 8));
        offset += size;
    }
    return keyTable;
}

// The camera name that one meta atom's keys and item list give, if any.
std::optional<std::string> nameFromMeta(const File& file, const Atom& meta) {
    if (meta.end - meta.payload < 4) {
        return std::nullopt;
    }
    const std::vector<Atom> children = atoms(file, meta.payload + 4, meta.end);
    const Atom* keys = nullptr;
    const Atom* ilst = nullptr;
    for (const Atom& child : children) {
        if (keys == nullptr && child.type == keysType) {
            keys = &child;
        }
        if (ilst == nullptr && child.type == ilstType) {
            ilst = &child;
        }
    }
    if (keys == nullptr || keys->end - keys->payload < 8 || ilst == nullptr) {
        return std::nullopt;
    }

    const auto keyTable = keyTableOf(file, *keys);
    if (!keyTable) {
        return std::nullopt;
    }

    std::optional<std::string> make;
    std::optional<std::string> model;
    for (const Atom& item : atoms(file, ilst->payload, ilst->end)) {
        const auto key = keyTable->find(item.type);
        if (key == keyTable->end()) {
            continue;
        }
        bool accepted = false;
        for (std::u32string_view name : acceptedKeys) {
            accepted = accepted || key->second == name;
        }
        if (!accepted) {
            continue;
        }
        for (const Atom& data : atoms(file, item.payload, item.end)) {
            const std::uint64_t length = data.end - data.payload;
            if (data.type != dataType || length < 8 || length > Reader::largestDataPayload) {
                continue;
            }
            std::string value =
                dataValue(file.read(data.payload + 8, static_cast<std::size_t>(length - 8)));
            if (endsWith(key->second, U"model")) {
                model = std::move(value);
            } else if (endsWith(key->second, U"make")) {
                make = std::move(value);
            }
        }
    }
    return CameraName::normalized(make, model);
}

} // namespace

std::optional<std::string> QuickTimeCameraReader::detect(int fd, std::uint64_t size,
                                                         ReadObserver* observer) {
    const File file(fd, observer);
    std::vector<Atom> metas;
    for (const Atom& top : atoms(file, 0, size)) {
        if (top.type != moovType) {
            continue;
        }
        for (const Atom& child : atoms(file, top.payload, top.end)) {
            if (child.type == metaType) {
                metas.push_back(child);
            } else if (child.type == udtaType) {
                for (const Atom& inner : atoms(file, child.payload, child.end)) {
                    if (inner.type == metaType) {
                        metas.push_back(inner);
                    }
                }
            }
        }
    }
    for (const Atom& meta : metas) {
        if (std::optional<std::string> name = nameFromMeta(file, meta)) {
            return name;
        }
    }
    return std::nullopt;
}

std::optional<std::string> QuickTimeCameraReader::detect(const std::filesystem::path& file) {
    // O_NONBLOCK keeps a FIFO (or a device node) from blocking the open; it changes nothing for
    // regular files, and anything else is refused below.
    const UniqueFd fd{retryOnInterrupt(
        [&] { return ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK); })};
    if (!fd) {
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0 ||
        static_cast<std::uint64_t>(status.st_size) < smallestFile) {
        return std::nullopt;
    }
    return detect(fd.get(), static_cast<std::uint64_t>(status.st_size));
}

} // namespace quaymark
