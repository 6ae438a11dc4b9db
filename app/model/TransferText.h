// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/records/ImportRecords.h"

#include <QString>

namespace quaymark {

// The texts a destination row shows, fixed here so that tests can pin them down.

// "182 MB/s" (whole decimal megabytes per second), "— MB/s" when nothing moves.
QString speedText(double bytesPerSecond);

// "1204 files · 182.5 GB · SHA-256 matched · 1433s"; one file reads "1 file".
QString verifiedSummary(const ImportResult& result);

// "37/120 verified · 30%": the percentage truncated, never outside 0 to 100.
QString progressSummary(const ImportProgress& progress);

} // namespace quaymark
