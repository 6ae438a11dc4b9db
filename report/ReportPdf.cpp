// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReportPdf.h"

#include "ReportPage.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace quaymark::report {

namespace {

constexpr int pdfResolution = 96; // the page's px are CSS px

QPageSize pageSizeOfLocale() {
    return QLocale::system().measurementSystem() == QLocale::ImperialUSSystem
               ? QPageSize(QPageSize::Letter)
               : QPageSize(QPageSize::A4);
}

void addPreviews(QTextDocument& document, const std::vector<ImportReport>& imports) {
    QImage strut(1, 1, QImage::Format_ARGB32);
    strut.fill(Qt::transparent);
    document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("strut:")), strut);
    int index = -1;
    for (const auto& import : imports) {
        for (const auto& file : import.files) {
            ++index;
            if (file.preview && file.preview->kind == Thumbnail::Kind::image) {
                const QByteArray jpeg = QByteArray::fromStdString(file.preview->jpeg);
                document.addResource(QTextDocument::ImageResource,
                                     QUrl(u"preview:" + QString::number(index)),
                                     QImage::fromData(jpeg, "JPEG"));
            }
        }
    }
}

// Qt shapes without ligatures where letters are spaced: "verified" must stay findable and
// copyable in the PDF's text, not "veri\uFB01ed".
void withoutLigatures(QTextDocument& document) {
    QTextCursor all(&document);
    all.select(QTextCursor::Document);
    QTextCharFormat spaced;
    spaced.setFontLetterSpacingType(QFont::AbsoluteSpacing);
    spaced.setFontLetterSpacing(0.05);
    all.mergeCharFormat(spaced);
}

void paintPages(QPdfWriter& writer, QTextDocument& document) {
    const QFontMetrics footerFont(document.defaultFont(), &writer);
    const qreal footerHeight = footerFont.height() * 2.0;
    const QSizeF body(writer.width(), writer.height() - footerHeight);
    document.setPageSize(body);
    const int pages = document.pageCount();
    QPainter painter(&writer);
    for (int page = 0; page < pages; ++page) {
        if (page > 0) {
            writer.newPage();
        }
        painter.save();
        painter.translate(0, -page * body.height());
        const QRectF shown(0, page * body.height(), body.width(), body.height());
        painter.setClipRect(shown);
        document.drawContents(&painter, shown);
        painter.restore();
        painter.setFont(document.defaultFont());
        painter.setPen(QColor(0x66, 0x66, 0x66));
        painter.drawText(QRectF(0, body.height(), body.width(), footerHeight),
                         Qt::AlignRight | Qt::AlignBottom,
                         QStringLiteral("Page %1 of %2").arg(page + 1).arg(pages));
    }
}

} // namespace

void ensureGuiForReports() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        return;
    }
    if (QCoreApplication::instance()) {
        throw std::runtime_error("the PDF needs a Qt application that can lay text out");
    }
    // The command has no window: Qt's off-screen platform lays out and paints all the same.
    static int argc = 1;
    static char name[] = "quaymark-ingest";
    static char* argv[] = {name, nullptr};
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt's notes on its own set-up (a missing runtime folder, fonts) are not the command's
    // output; the command says what went wrong with a report itself.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtFatalMsg) {
            std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
            std::abort();
        }
    });
    static const std::unique_ptr<QGuiApplication> application =
        std::make_unique<QGuiApplication>(argc, argv);
}

QByteArray reportPdf(const std::vector<ImportReport>& imports, const ReportHeading& heading,
                     ReportKind kind) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        throw std::runtime_error("the PDF needs a Qt application that can lay text out");
    }
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(pdfResolution);
        writer.setPageSize(pageSizeOfLocale());
        writer.setPageOrientation(QPageLayout::Landscape);
        writer.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
        writer.setTitle(kind == ReportKind::day ? QStringLiteral("Day report")
                                                : QStringLiteral("Handover report"));
        writer.setCreator(QStringLiteral("Brindleway Quaymark"));
        QTextDocument document;
        document.documentLayout()->setPaintDevice(&writer);
        document.setDocumentMargin(0);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSizeF(8);
        document.setDefaultFont(font);
        addPreviews(document, imports);
        document.setHtml(reportHtml(imports, heading, kind, PreviewImages::resources));
        withoutLigatures(document);
        paintPages(writer, document);
    }
    return pdf;
}

} // namespace quaymark::report
