// SPDX-License-Identifier: GPL-3.0-or-later
#include "SessionDocuments.h"

#include "DurableWrite.h"
#include "UniqueFd.h"
#include "ingest/records/QuayError.h"
#include "ingest/records/RecordsJson.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <system_error>

namespace quaymark {

void saveSession(const SessionRecord& record, const std::filesystem::path& folder) {
    durableWrite(encodeSession(record), folder / ImportDocuments::journal);
}

std::string readDocument(const std::filesystem::path& path, std::int64_t limit,
                         const std::string& tooLargeMessage) {
    // Non-blocking and not through a link: a FIFO or a link in a document's place is refused at
    // once instead of hanging the reader.
    UniqueFd fd{retryOnInterrupt(
        [&] { return ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); })};
    if (!fd) {
        throw std::filesystem::filesystem_error("Cannot open", path,
                                                std::error_code(errno, std::generic_category()));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
        info.st_size > limit) {
        throw QuayError::unavailable(tooLargeMessage);
    }
    std::string text(static_cast<size_t>(info.st_size), '\0');
    size_t done = 0;
    for (;;) {
        if (done == text.size()) {
            // The file may have grown since fstat; read on until the end, within the limit.
            text.resize(done + 65536);
        }
        const ssize_t n = retryOnInterrupt(
            [&] { return ::read(fd.get(), text.data() + done, text.size() - done); });
        if (n < 0) {
            throw std::filesystem::filesystem_error(
                "Cannot read", path, std::error_code(errno, std::generic_category()));
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
        if (static_cast<std::int64_t>(done) > limit) {
            throw QuayError::unavailable(tooLargeMessage);
        }
    }
    text.resize(done);
    return text;
}

SessionRecord ImportEngine::readSession(const std::filesystem::path& folder) {
    return atEngineEdge([&] {
        constexpr std::int64_t limit = 268'435'456;
        return decodeSession(readDocument(folder / ImportDocuments::journal, limit,
                                          "Recovery record is too large to read safely."));
    });
}

void ImportEngine::markInterrupted(const std::filesystem::path& folder,
                                   const std::string& description) {
    return atEngineEdge([&] {
        SessionRecord record = readSession(folder);
        record.status = SessionStatus::interrupted;
        record.failure = description;
        saveSession(record, folder);
        durableWrite(ImportDocuments::interruptedText(description),
                     folder / ImportDocuments::marker);
    });
}

} // namespace quaymark
