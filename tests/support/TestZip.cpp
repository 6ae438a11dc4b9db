// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestZip.h"

#include "TestFiles.h"

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <stdexcept>

namespace quaymark::test {

namespace {

struct WriterDeleter {
    void operator()(archive* handle) const { archive_write_free(handle); }
};
struct EntryDeleter {
    void operator()(archive_entry* entry) const { archive_entry_free(entry); }
};

void check(int status, archive* handle) {
    if (status < ARCHIVE_WARN) {
        throw std::runtime_error(std::string("writeZip: ") + archive_error_string(handle));
    }
}

} // namespace

void writeZip(const std::filesystem::path& path, const std::vector<ZipEntry>& entries) {
    std::unique_ptr<archive, WriterDeleter> writer(archive_write_new());
    archive* zip = writer.get();
    check(archive_write_set_format_zip(zip), zip);
    check(archive_write_open_filename(zip, path.c_str()), zip);
    for (const ZipEntry& item : entries) {
        std::unique_ptr<archive_entry, EntryDeleter> entry(archive_entry_new());
        archive_entry_set_pathname(entry.get(), item.name.c_str());
        const bool file = item.kind == ZipEntry::Kind::File;
        const bool folder = item.kind == ZipEntry::Kind::Folder;
        archive_entry_set_mode(entry.get(), file     ? AE_IFREG | 0644
                                            : folder ? AE_IFDIR | 0755
                                                     : AE_IFLNK | 0777);
        if (file) {
            archive_entry_set_size(entry.get(), static_cast<la_int64_t>(item.content.size()));
        } else if (!folder) {
            archive_entry_set_symlink(entry.get(), item.content.c_str());
        }
        check(archive_write_header(zip, entry.get()), zip);
        if (file && archive_write_data(zip, item.content.data(), item.content.size()) < 0) {
            check(ARCHIVE_FATAL, zip);
        }
    }
    check(archive_write_close(zip), zip);
}

std::string zipBytes(const std::vector<ZipEntry>& entries) {
    const TempDir folder;
    writeZip(folder / "archive.zip", entries);
    return readFile(folder / "archive.zip");
}

} // namespace quaymark::test
