// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The per-user data folder and the diagnostics log kept in it.
namespace quaymark::AppDiagnostics {

// "$XDG_DATA_HOME/Brindleway Quaymark" (XDG_DATA_HOME defaults to ~/.local/share); only computed,
// never created. Empty when the system names no data location at all.
QString directory();

// Returns at once; the line is written later, in call order, from any thread. A line logged while
// the data folder does not exist is dropped.
void log(const QString& message);

// Waits until every line logged before the call has been written or dropped.
void flush();

} // namespace quaymark::AppDiagnostics
