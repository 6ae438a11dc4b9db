// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DestinationJob.h"
#include "ImportBatch.h"

#include <QList>
#include <QtQml/qqml.h>

namespace quaymark {

// A batch's jobs and the queue's batches as typed lists for QML and its tools. Only the
// generated type registration includes this.
struct DestinationJobList {
    Q_GADGET
    QML_FOREIGN(QList<quaymark::DestinationJob*>)
    QML_ANONYMOUS
    QML_SEQUENTIAL_CONTAINER(quaymark::DestinationJob*)
};

struct ImportBatchList {
    Q_GADGET
    QML_FOREIGN(QList<quaymark::ImportBatch*>)
    QML_ANONYMOUS
    QML_SEQUENTIAL_CONTAINER(quaymark::ImportBatch*)
};

} // namespace quaymark
