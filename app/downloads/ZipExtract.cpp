// SPDX-License-Identifier: GPL-3.0-or-later
#include "ZipExtract.h"

#include "DownloadError.h"

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <new>
#include <string>
#include <string_view>

namespace quaymark {

namespace {

struct ReadDeleter {
    void operator()(archive* handle) const { archive_read_free(handle); }
};
struct WriteDeleter {
    void operator()(archive* handle) const { archive_write_free(handle); }
};

// A relative path that stays below the folder it is resolved in.
bool staysInside(std::string_view path) {
    if (path.empty() || path.front() == '/') {
        return false;
    }
    while (!path.empty()) {
        const size_t slash = path.find('/');
        const std::string_view component = path.substr(0, slash);
        if (component == "..") {
            return false;
        }
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    }
    return true;
}

DownloadError badArchive(const std::filesystem::path& archivePath, const std::string& detail) {
    return DownloadError(ToolsError::badArchive,
                         "Could not unpack " + archivePath.filename().string() + ": " + detail);
}

std::string errorText(archive* handle) {
    const char* text = archive_error_string(handle);
    return text ? text : "the archive is damaged.";
}

void copyData(archive* reader, archive* writer, const std::filesystem::path& archivePath) {
    for (;;) {
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        const int status = archive_read_data_block(reader, &block, &size, &offset);
        if (status == ARCHIVE_EOF) {
            return;
        }
        if (status < ARCHIVE_WARN) {
            throw badArchive(archivePath, errorText(reader));
        }
        if (archive_write_data_block(writer, block, size, offset) < ARCHIVE_WARN) {
            throw badArchive(archivePath, errorText(writer));
        }
    }
}

// Refuses an entry that is not a file, folder or link, or that leads outside the archive's
// folder, and moves it below `folder`.
void placeEntry(archive_entry* entry, const std::filesystem::path& archivePath,
                const std::filesystem::path& folder) {
    const char* name = archive_entry_pathname(entry);
    if (!name || !staysInside(name)) {
        throw badArchive(archivePath, "the entry \"" + std::string(name ? name : "") +
                                          "\" lies outside the archive's folder.");
    }
    const mode_t type = archive_entry_filetype(entry);
    if (type == AE_IFLNK) {
        const char* target = archive_entry_symlink(entry);
        if (!target || !staysInside(target)) {
            throw badArchive(archivePath, "the link \"" + std::string(name) +
                                              "\" points outside the archive's folder.");
        }
    } else if (type != AE_IFREG && type != AE_IFDIR) {
        throw badArchive(archivePath,
                         "the entry \"" + std::string(name) + "\" is not a file or folder.");
    }
    if (const char* link = archive_entry_hardlink(entry)) {
        if (!staysInside(link)) {
            throw badArchive(archivePath, "the link \"" + std::string(name) +
                                              "\" points outside the archive's folder.");
        }
        archive_entry_copy_hardlink(entry, (folder / link).c_str());
    }
    archive_entry_copy_pathname(entry, (folder / name).c_str());
}

} // namespace

void extractZip(const std::filesystem::path& archivePath, const std::filesystem::path& folder) {
    std::unique_ptr<archive, ReadDeleter> reader(archive_read_new());
    std::unique_ptr<archive, WriteDeleter> writer(archive_write_disk_new());
    if (!reader || !writer) {
        throw std::bad_alloc();
    }
    archive_read_support_format_zip(reader.get());
    // Entries are prefixed with `folder` below, so libarchive's own checks look at the full
    // path: no "..", and no symbolic link on the way to any entry.
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                     ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                     ARCHIVE_EXTRACT_NO_OVERWRITE);
    if (archive_read_open_filename(reader.get(), archivePath.c_str(), 1 << 16) != ARCHIVE_OK) {
        throw badArchive(archivePath, errorText(reader.get()));
    }

    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) {
            break;
        }
        if (status < ARCHIVE_WARN) {
            throw badArchive(archivePath, errorText(reader.get()));
        }

        placeEntry(entry, archivePath, folder);

        if (archive_write_header(writer.get(), entry) < ARCHIVE_WARN) {
            throw badArchive(archivePath, errorText(writer.get()));
        }
        if (archive_entry_size_is_set(entry) == 0 || archive_entry_size(entry) > 0) {
            copyData(reader.get(), writer.get(), archivePath);
        }
        if (archive_write_finish_entry(writer.get()) < ARCHIVE_WARN) {
            throw badArchive(archivePath, errorText(writer.get()));
        }
    }
    if (archive_write_close(writer.get()) < ARCHIVE_WARN) {
        throw badArchive(archivePath, errorText(writer.get()));
    }
}

} // namespace quaymark
