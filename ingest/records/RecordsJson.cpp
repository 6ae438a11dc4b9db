#include "RecordsJson.h"

#include "IsoDate.h"

namespace quaymark {

using nlohmann::json;

namespace {

template <typename T>
void putOptional(json& object, const char* key, const std::optional<T>& value) {
    if (value) {
        object[key] = *value;
    }
}

template <typename T>
void getOptional(const json& object, const char* key, std::optional<T>& value) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) {
        value.reset();
    } else {
        value = found->get<T>();
    }
}

std::optional<std::string> isoDate(const std::optional<Timestamp>& date) {
    if (!date) {
        return std::nullopt;
    }
    return formatIsoDate(*date);
}

Timestamp dateAt(const json& object, const char* key) {
    return parseIsoDate(object.at(key).get_ref<const std::string&>());
}

} // namespace

void to_json(json& j, const ImportOptions& options) {
    j = json::object();
    j["folderRule"] = options.folderRule;
    j["parallelFiles"] = options.parallelFiles;
    j["videosOnly"] = options.videosOnly;
    putOptional(j, "cameraName", options.cameraName);
}

void from_json(const json& j, ImportOptions& options) {
    options.folderRule = j.at("folderRule").get<std::string>();
    options.parallelFiles = j.at("parallelFiles").get<std::int64_t>();
    options.videosOnly = j.at("videosOnly").get<bool>();
    getOptional(j, "cameraName", options.cameraName);
}

void to_json(json& j, const FileReceipt& receipt) {
    j = json::object();
    j["path"] = receipt.path;
    j["bytes"] = receipt.bytes;
    j["sha256"] = receipt.sha256;
    putOptional(j, "sourceModified", isoDate(receipt.sourceModified));
    putOptional(j, "sourcePath", receipt.sourcePath);
}

void from_json(const json& j, FileReceipt& receipt) {
    receipt.path = j.at("path").get<std::string>();
    receipt.bytes = j.at("bytes").get<std::int64_t>();
    receipt.sha256 = j.at("sha256").get<std::string>();
    std::optional<std::string> modified;
    getOptional(j, "sourceModified", modified);
    receipt.sourceModified =
        modified ? std::optional<Timestamp>(parseIsoDate(*modified)) : std::nullopt;
    getOptional(j, "sourcePath", receipt.sourcePath);
}

void to_json(json& j, const ImportReceipt& receipt) {
    j = json::object();
    j["app"] = receipt.app;
    j["source"] = receipt.source;
    j["started"] = formatIsoDate(receipt.started);
    j["finished"] = formatIsoDate(receipt.finished);
    j["status"] = receipt.status;
    j["algorithm"] = receipt.algorithm;
    j["files"] = receipt.files;
}

void from_json(const json& j, ImportReceipt& receipt) {
    receipt.app = j.at("app").get<std::string>();
    receipt.source = j.at("source").get<std::string>();
    receipt.started = dateAt(j, "started");
    receipt.finished = dateAt(j, "finished");
    receipt.status = j.at("status").get<std::string>();
    receipt.algorithm = j.at("algorithm").get<std::string>();
    receipt.files = j.at("files").get<std::vector<FileReceipt>>();
}

void to_json(json& j, const SessionRecord& record) {
    j = json::object();
    j["version"] = record.version;
    j["source"] = record.source;
    putOptional(j, "sourceVolume", record.sourceVolume);
    j["destination"] = record.destination;
    j["started"] = formatIsoDate(record.started);
    j["options"] = record.options;
    j["completed"] = record.completed;
    j["status"] = record.status;
    putOptional(j, "failure", record.failure);
    putOptional(j, "partialFiles", record.partialFiles);
    putOptional(j, "plannedFiles", record.plannedFiles);
}

void from_json(const json& j, SessionRecord& record) {
    record.version = j.at("version").get<int>();
    record.source = j.at("source").get<std::string>();
    getOptional(j, "sourceVolume", record.sourceVolume);
    record.destination = j.at("destination").get<std::string>();
    record.started = dateAt(j, "started");
    record.options = j.at("options").get<ImportOptions>();
    record.completed = j.at("completed").get<std::vector<FileReceipt>>();
    record.status = j.at("status").get<std::string>();
    getOptional(j, "failure", record.failure);
    getOptional(j, "partialFiles", record.partialFiles);
    getOptional(j, "plannedFiles", record.plannedFiles);
}

std::string encodeDocument(const json& j) {
    // File names on Linux need not be UTF-8; a document must still be written.
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
