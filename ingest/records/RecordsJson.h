// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ImportRecords.h"

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace quaymark {

// Exactly the documented keys; absent optionals are left out. Decoding a document that lacks a
// required key throws the JSON library's own error. Texts are stored as StoredText.h says, so
// records hold the exact bytes of file names even where they are not UTF-8.
void to_json(nlohmann::json& json, const ImportOptions& options);
void from_json(const nlohmann::json& json, ImportOptions& options);
void to_json(nlohmann::json& json, const FileReceipt& receipt);
void from_json(const nlohmann::json& json, FileReceipt& receipt);
void to_json(nlohmann::json& json, const ImportReceipt& receipt);
void from_json(const nlohmann::json& json, ImportReceipt& receipt);
void to_json(nlohmann::json& json, const SessionRecord& record);
void from_json(const nlohmann::json& json, SessionRecord& record);

// Import documents: keys sorted at every level, pretty-printed, UTF-8.
std::string encodeDocument(const nlohmann::json& json);
std::string encodeSession(const SessionRecord& record);
std::string encodeReceipt(const ImportReceipt& receipt);
SessionRecord decodeSession(std::string_view text);
// A map as the documents store it (see StoredText.h).
nlohmann::json storedJson(const std::map<std::string, std::string>& map);
nlohmann::json storedJson(const std::map<std::string, std::int64_t>& map);
ImportReceipt decodeReceipt(std::string_view text);

} // namespace quaymark
