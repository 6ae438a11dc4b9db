// SPDX-License-Identifier: GPL-3.0-or-later
#include "JournalWriter.h"

#include "ingest/copy/DurableWrite.h"
#include "ingest/records/IsoDate.h"
#include "ingest/records/RecordsJson.h"
#include "ingest/records/StoredText.h"

namespace quaymark {

using nlohmann::json;

namespace {

// A value's pretty-printed text as it stands `depth` levels deep in a document.
std::string nested(const json& value, int depth) {
    const std::string text = value.dump(2, ' ', false, json::error_handler_t::replace);
    const std::string indent(static_cast<size_t>(depth) * 2, ' ');
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
        out += c;
        if (c == '\n') {
            out += indent;
        }
    }
    return out;
}

} // namespace

JournalWriter::JournalWriter(SessionRecord record, std::filesystem::path folder)
    : record_(std::move(record))
    , folder_(std::move(folder)) {
    for (const auto& receipt : record_.completed) {
        completedTexts_.push_back(nested(json(receipt), 2));
    }
    if (record_.plannedFiles) {
        plannedFilesText_ = nested(storedJson(*record_.plannedFiles), 1);
    }
}

void JournalWriter::addCompleted(FileReceipt receipt) {
    completedTexts_.push_back(nested(json(receipt), 2));
    record_.completed.push_back(std::move(receipt));
}

void JournalWriter::clearCompleted() {
    record_.completed.clear();
    completedTexts_.clear();
}

void JournalWriter::setStatus(std::string_view status, std::optional<std::string> failure) {
    record_.status = status;
    record_.failure = std::move(failure);
}

void JournalWriter::setPlannedFiles(std::map<std::string, std::int64_t> planned) {
    plannedFilesText_ = nested(storedJson(planned), 1);
    record_.plannedFiles = std::move(planned);
}

void JournalWriter::setPartialFile(const std::string& relative, std::string partialName) {
    if (!record_.partialFiles) {
        record_.partialFiles.emplace();
    }
    (*record_.partialFiles)[relative] = std::move(partialName);
    partialFilesStale_ = true;
}

std::string JournalWriter::encode() const {
    std::string text = "{\n";
    bool first = true;
    const auto member = [&](std::string_view key, const std::string& value) {
        if (!first) {
            text += ",\n";
        }
        first = false;
        text += "  \"";
        text += key;
        text += "\": ";
        text += value;
    };
    const auto string = [](const std::string& value) { return nested(json(storedText(value)), 1); };

    // Members in sorted key order, as the JSON library writes them.
    std::string completed = "[]";
    if (!completedTexts_.empty()) {
        completed = "[\n";
        for (size_t i = 0; i < completedTexts_.size(); ++i) {
            completed += i == 0 ? "    " : ",\n    ";
            completed += completedTexts_[i];
        }
        completed += "\n  ]";
    }
    member("completed", completed);
    member("destination", string(record_.destination));
    if (record_.failure) {
        member("failure", string(*record_.failure));
    }
    member("options", nested(json(record_.options), 1));
    if (record_.partialFiles) {
        if (partialFilesStale_) {
            partialFilesText_ = nested(storedJson(*record_.partialFiles), 1);
            partialFilesStale_ = false;
        }
        member("partialFiles", partialFilesText_);
    }
    if (record_.plannedFiles) {
        member("plannedFiles", plannedFilesText_);
    }
    member("source", string(record_.source));
    if (record_.sourceVolume) {
        member("sourceVolume", string(*record_.sourceVolume));
    }
    member("started", string(formatIsoDate(record_.started)));
    member("status", string(record_.status));
    member("version", std::to_string(record_.version));
    text += "\n}\n";
    return text;
}

void JournalWriter::save() const {
    durableWrite(encode(), folder_ / ImportDocuments::journal);
}

} // namespace quaymark
