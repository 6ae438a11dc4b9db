// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/records/RecordsJson.h"

#include <stdexcept>
#include <string>
#include <string_view>

namespace quaymark::fuzz {

// A property of the journal and receipt decoders that the fuzz target and the replay test
// check. Refusing a document is fine; one that decodes must encode to a text that decodes to
// the same record and encodes to the same text again, so that a journal rewritten by a resume
// keeps every receipt and name it held.
struct RoundTripBroken : std::logic_error {
    using std::logic_error::logic_error;
};

template <typename Record, typename Decode, typename Encode>
void roundTrip(std::string_view text, Decode decode, Encode encode, const char* what) {
    Record record;
    try {
        record = decode(text);
    } catch (const std::exception&) {
        return;
    }
    const std::string once = encode(record);
    const Record again = decode(once); // a throw here escapes: our own text must decode
    if (!(again == record) || encode(again) != once) {
        throw RoundTripBroken(std::string(what) + " changed on a second round trip");
    }
}

inline void checkDocument(std::string_view text) {
    roundTrip<SessionRecord>(text, decodeSession, encodeSession, "journal");
    roundTrip<ImportReceipt>(text, decodeReceipt, encodeReceipt, "receipt");
}

} // namespace quaymark::fuzz
