// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecordsJson.h"

#include "IsoDate.h"
#include "StoredText.h"

namespace quaymark {

using nlohmann::json;

namespace {

// Every text of a document is stored text; records in memory hold the bytes.
std::string textAt(const json& object, const char* key) {
    return rawText(object.at(key).get_ref<const std::string&>());
}

std::optional<std::string> optionalTextAt(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) {
        return std::nullopt;
    }
    return rawText(found->get_ref<const std::string&>());
}

void putText(json& object, const char* key, const std::optional<std::string>& value) {
    if (value) {
        object[key] = storedText(*value);
    }
}

template <typename Value>
std::optional<std::map<std::string, Value>> optionalMapAt(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) {
        return std::nullopt;
    }
    std::map<std::string, Value> map;
    for (const auto& [name, value] : found->get_ref<const json::object_t&>()) {
        if constexpr (std::is_same_v<Value, std::string>) {
            map.emplace(rawText(name), rawText(value.template get_ref<const std::string&>()));
        } else {
            map.emplace(rawText(name), value.template get<Value>());
        }
    }
    return map;
}

Timestamp dateAt(const json& object, const char* key) {
    return parseIsoDate(object.at(key).get_ref<const std::string&>());
}

} // namespace

json storedJson(const std::map<std::string, std::string>& map) {
    json object = json::object();
    for (const auto& [name, value] : map) {
        object[storedText(name)] = storedText(value);
    }
    return object;
}

json storedJson(const std::map<std::string, std::int64_t>& map) {
    json object = json::object();
    for (const auto& [name, value] : map) {
        object[storedText(name)] = value;
    }
    return object;
}

void to_json(json& j, const ImportOptions& options) {
    j = json::object();
    j["folderRule"] = storedText(options.folderRule);
    j["parallelFiles"] = options.parallelFiles;
    j["videosOnly"] = options.videosOnly;
    putText(j, "cameraName", options.cameraName);
    if (options.onlyFiles) {
        json only = json::array();
        for (const auto& path : *options.onlyFiles) {
            only.push_back(storedText(path));
        }
        j["onlyFiles"] = std::move(only);
    }
}

void from_json(const json& j, ImportOptions& options) {
    options.folderRule = textAt(j, "folderRule");
    options.parallelFiles = j.at("parallelFiles").get<std::int64_t>();
    options.videosOnly = j.at("videosOnly").get<bool>();
    options.cameraName = optionalTextAt(j, "cameraName");
    if (const auto only = j.find("onlyFiles"); only != j.end()) {
        options.onlyFiles.emplace();
        for (const auto& path : *only) {
            options.onlyFiles->push_back(rawText(path.get<std::string>()));
        }
    }
}

void to_json(json& j, const FileReceipt& receipt) {
    j = json::object();
    j["path"] = storedText(receipt.path);
    j["bytes"] = receipt.bytes;
    j["sha256"] = receipt.sha256;
    if (receipt.sourceModified) {
        j["sourceModified"] = formatIsoDate(*receipt.sourceModified);
    }
    putText(j, "sourcePath", receipt.sourcePath);
    if (receipt.xxh128) {
        j["xxh128"] = *receipt.xxh128;
    }
}

void from_json(const json& j, FileReceipt& receipt) {
    receipt.path = textAt(j, "path");
    receipt.bytes = j.at("bytes").get<std::int64_t>();
    receipt.sha256 = j.at("sha256").get<std::string>();
    const auto modified = j.find("sourceModified");
    receipt.sourceModified =
        modified == j.end() || modified->is_null()
            ? std::nullopt
            : std::optional<Timestamp>(parseIsoDate(modified->get_ref<const std::string&>()));
    receipt.sourcePath = optionalTextAt(j, "sourcePath");
    const auto xxh128 = j.find("xxh128");
    if (xxh128 != j.end() && !xxh128->is_null()) {
        receipt.xxh128 = xxh128->get<std::string>();
    }
}

void to_json(json& j, const ImportReceipt& receipt) {
    j = json::object();
    j["app"] = receipt.app;
    j["source"] = storedText(receipt.source);
    j["started"] = formatIsoDate(receipt.started);
    j["finished"] = formatIsoDate(receipt.finished);
    j["status"] = receipt.status;
    j["algorithm"] = receipt.algorithm;
    j["files"] = receipt.files;
    // The receipt keeps its published form; the XXH3 values live in the journal and the ASC MHL.
    for (auto& file : j["files"]) {
        file.erase("xxh128");
    }
}

void from_json(const json& j, ImportReceipt& receipt) {
    receipt.app = j.at("app").get<std::string>();
    receipt.source = textAt(j, "source");
    receipt.started = dateAt(j, "started");
    receipt.finished = dateAt(j, "finished");
    receipt.status = j.at("status").get<std::string>();
    receipt.algorithm = j.at("algorithm").get<std::string>();
    receipt.files = j.at("files").get<std::vector<FileReceipt>>();
}

void to_json(json& j, const SessionRecord& record) {
    j = json::object();
    j["version"] = record.version;
    j["source"] = storedText(record.source);
    putText(j, "sourceVolume", record.sourceVolume);
    j["destination"] = storedText(record.destination);
    j["started"] = formatIsoDate(record.started);
    j["options"] = record.options;
    j["completed"] = record.completed;
    j["status"] = record.status;
    putText(j, "failure", record.failure);
    if (record.partialFiles) {
        j["partialFiles"] = storedJson(*record.partialFiles);
    }
    if (record.plannedFiles) {
        j["plannedFiles"] = storedJson(*record.plannedFiles);
    }
}

void from_json(const json& j, SessionRecord& record) {
    record.version = j.at("version").get<int>();
    record.source = textAt(j, "source");
    record.sourceVolume = optionalTextAt(j, "sourceVolume");
    record.destination = textAt(j, "destination");
    record.started = dateAt(j, "started");
    record.options = j.at("options").get<ImportOptions>();
    record.completed = j.at("completed").get<std::vector<FileReceipt>>();
    record.status = j.at("status").get<std::string>();
    record.failure = optionalTextAt(j, "failure");
    record.partialFiles = optionalMapAt<std::string>(j, "partialFiles");
    record.plannedFiles = optionalMapAt<std::int64_t>(j, "plannedFiles");
}

std::string encodeDocument(const json& j) {
    std::string text = j.dump(2, ' ', false, json::error_handler_t::replace);
    text += '\n';
    return text;
}

std::string encodeSession(const SessionRecord& record) {
    return encodeDocument(json(record));
}

std::string encodeReceipt(const ImportReceipt& receipt) {
    return encodeDocument(json(receipt));
}

SessionRecord decodeSession(std::string_view text) {
    return json::parse(text.begin(), text.end()).get<SessionRecord>();
}

ImportReceipt decodeReceipt(std::string_view text) {
    return json::parse(text.begin(), text.end()).get<ImportReceipt>();
}

} // namespace quaymark
