// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChildProcess.h"
#include "TestFiles.h"
#include "ingest/engine/ImportRun.h"
#include "report/ImportReport.h"

#include <QImage>

#include <gtest/gtest.h>

#include <filesystem>

namespace quaymark::report {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

fs::path script(const fs::path& file, const std::string& body) {
    writeFile(file, "#!/bin/sh\n" + body + "\n");
    fs::permissions(file, fs::perms::owner_all);
    return file;
}

void ffmpeg(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"/usr/bin/ffmpeg", "-nostdin", "-loglevel", "error"});
    const auto made = test::runProcess(arguments);
    ASSERT_EQ(made.status, 0) << made.errors;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// Every way the helper can end: a preview, a format without decoder, a crash, a hang and a
// cancel. None of them holds the report up for longer than its limit.
TEST(Thumbnails, EveryEndingOfTheHelperHasItsOwnAnswer) {
    test::TempDir work;
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=640x360:rate=25", "-t", "2", "-c:v", "libx264",
            (work / "A001.MOV").string()});
    const CancellationFlag running;
    const Thumbnail preview = Thumbnailer(QUAYMARK_THUMBNAILER).of(work / "A001.MOV", running);
    ASSERT_EQ(preview.kind, Thumbnail::Kind::image);
    const QImage image = QImage::fromData(QByteArray::fromStdString(preview.jpeg), "JPEG");
    EXPECT_EQ(std::pair(image.width(), image.height()), std::pair(320, 180));

    const auto ending = [&](const std::string& body, std::chrono::milliseconds limit) {
        return Thumbnailer(script(work / "helper.sh", body), limit).of(work / "A001.MOV", running);
    };
    EXPECT_EQ(ending("exit 3", std::chrono::seconds(20)).kind, Thumbnail::Kind::unsupported);
    EXPECT_EQ(ending("printf x; kill -SEGV $$", std::chrono::seconds(20)).kind,
              Thumbnail::Kind::failed);
    const Thumbnail hung = ending("printf x; sleep 30", std::chrono::milliseconds(300));
    EXPECT_EQ(hung.kind, Thumbnail::Kind::failed);
    EXPECT_TRUE(hung.jpeg.empty());
    EXPECT_EQ(Thumbnailer(work / "missing").of(work / "A001.MOV", running).kind,
              Thumbnail::Kind::failed);

    CancellationFlag cancelled;
    cancelled.cancel();
    const Thumbnailer asleep(script(work / "helper.sh", "sleep 600"), std::chrono::seconds(600));
    EXPECT_THROW(asleep.of(work / "A001.MOV", cancelled), QuayError);
}

fs::path importInto(const fs::path& card, const fs::path& destination) {
    fs::create_directories(destination);
    ImportOptions options;
    options.folderRule = "{date}/{camera}_{time}";
    options.videosOnly = false;
    options.cameraName = "FX3";
    return ImportEngine::run(card, destination, options, CancellationFlag{}, std::nullopt, {})
        .destination;
}

std::string pdfText(const fs::path& pdf, int page) {
    const auto text = test::runProcess({"/usr/bin/pdftotext", "-f", std::to_string(page), "-l",
                                        std::to_string(page), "-layout", pdf.string(), "-"});
    EXPECT_EQ(text.status, 0) << text.errors;
    return text.output;
}

// A batch of two destinations and one that failed: the same report in both folders, a PDF whose
// pages are numbered and repeat the clip table's header, and names a page could take for markup
// shown as text.
TEST(BatchReport, OneReportInEveryFolderWithNumberedPagesAndEscapedNames) {
    if (!fs::exists("/usr/bin/pdftotext")) {
        GTEST_SKIP() << "poppler-utils is not installed";
    }
    test::TempDir work;
    fs::create_directories(work / "CARD");
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-t", "1", "-c:v", "libx264",
            "-timecode", "01:02:03:04", (work / "CARD/A001.MOV").string()});
    ffmpeg({"-f", "lavfi", "-i", "smptebars=size=320x240:rate=25", "-t", "1", "-c:v", "mpeg2video",
            "-timecode", "02:00:00:00", (work / "CARD/A002.MXF").string()});
    writeFile(work / "CARD/R&D <take 2>.MOV", "not a clip");
    for (int i = 0; i < 40; ++i) {
        writeFile(work / ("CARD/B" + std::to_string(100 + i) + ".MOV"), "damaged");
    }
    const fs::path a = importInto(work / "CARD", work / "A");
    const fs::path b = importInto(work / "CARD", work / "B");

    ReportContext context;
    context.heading = {"Harbour Lights", "Day 12", "R. Okafor"};
    context.unverified.push_back({"C", {}, "Unplugged.", {}, {}, 0, {}, {}, {}});
    context.cardState = "Safe to format: 2 verified copies on 2 drives";
    context.thumbnailer = QUAYMARK_THUMBNAILER;
    EXPECT_TRUE(writeBatchReport({{a, "A"}, {b, "B"}}, context, CancellationFlag{}).empty());

    const std::string html = readFile(a / ImportDocuments::reportHtml);
    EXPECT_EQ(readFile(b / ImportDocuments::reportHtml), html);
    EXPECT_EQ(readFile(b / ImportDocuments::reportCsv), readFile(a / ImportDocuments::reportCsv));
    EXPECT_EQ(occurrences(html, "src=\"data:image/jpeg;base64,/9j/"), 2u) << "both clips";
    EXPECT_EQ(occurrences(html, "No preview for this format"), 41u);
    EXPECT_NE(html.find("R&amp;D &lt;take 2&gt;.MOV"), std::string::npos);
    EXPECT_EQ(html.find("<take"), std::string::npos);

    const fs::path pdf = a / ImportDocuments::reportPdf;
    const std::string first = pdfText(pdf, 1);
    for (const char* shown : {"Harbour Lights", "R. Okafor", "01:02:03:04", "02:00:00:00",
                              "Unplugged.", "Page 1 of "}) {
        EXPECT_NE(first.find(shown), std::string::npos) << shown << "\n" << first;
    }
    const auto pages = std::stoi(first.substr(first.find("Page 1 of ") + 10));
    ASSERT_GE(pages, 2);
    const std::string second = pdfText(pdf, 2);
    EXPECT_NE(second.find("TC in"), std::string::npos) << "the header again\n" << second;
    EXPECT_NE(second.find("Page 2 of " + std::to_string(pages)), std::string::npos);
    const std::string last = pdfText(pdf, pages);
    EXPECT_NE(last.find("Safe to format: 2 verified copies on 2 drives"), std::string::npos)
        << last;
}

} // namespace
} // namespace quaymark::report
