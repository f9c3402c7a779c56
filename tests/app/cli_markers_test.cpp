// orvane-cli's markers: steps in order with the edits, the listing, and the label text
// exchange.
#include <gtest/gtest.h>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <cstdlib>
#include <map>

#include "cli_run.h"
#include "doctest_util.h"

namespace {

TEST(CliMarkers, StepsRunInOrderWithTheEdits) {
    TTempFolder dir;
    WriteWav(dir.path("in.wav"), 1, 1000, std::vector<int16_t>(10000, 100));
    const TRun r = Cli({dir.path("in.wav"), "--marker", "8000:eight: o'clock", "--region",
                        "1000:3000", "--markers", "--delete", "0:2000", "--markers", "--undo",
                        "--insert-silence", "0:5", "--markers", "--clear-markers", "--markers"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(),
              "region 1000 3000 \n"
              "marker 8000 eight: o'clock\n"
              // The region lost what was deleted of it; the marker moved back.
              "region 0 1000 \n"
              "marker 6000 eight: o'clock\n"
              "region 1005 3005 \n"
              "marker 8005 eight: o'clock\n");
    for (const QStringList& bad : {QStringList{"--marker", "12000"}, {"--region", "3:3"}}) {
        const TRun b = Cli(QStringList{dir.path("in.wav")} + bad);
        EXPECT_NE(b.status, 0) << bad.join(' ').toStdString();
    }
}

// Times finer than a frame, a region, an empty name, a name holding a tab: the same text back.
TEST(CliMarkers, LabelTextComesBackAsItWent) {
    TTempFolder dir;
    WriteWav(dir.path("in.wav"), 2, 44100, std::vector<int16_t>(2 * 44100 * 5, 0));
    const QByteArray labels =
        "0.000000\t0.000000\tstart\n"
        "0.123457\t1.000001\tverse one\n"
        "1.500000\t1.500000\t\n"
        "2.718282\t2.718282\tname\twith a tab\n"
        "4.999977\t4.999977\tлейбл\n";
    QFile f(dir.path("in.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(labels);
    f.close();
    const TRun r =
        Cli({dir.path("in.wav"), "--import-labels", dir.path("in.txt"), "--export-labels",
             dir.path("out.txt"), "--export-labels", dir.path("out.json")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(ReadAll(dir.path("out.txt")).toStdString(), labels.toStdString());
    const QByteArray json = ReadAll(dir.path("out.json"));
    EXPECT_TRUE(json.contains("\"version\": \"1.2.0\"")) << json.toStdString();
    EXPECT_TRUE(json.contains("\"startTime\": 1.5")) << json.toStdString();
    EXPECT_TRUE(json.contains("\"endTime\": 1,")) << json.toStdString();
    QFile bad(dir.path("bad.txt"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("1.0\t2.0\tfine\nnot a time\t3\tx\n");
    bad.close();
    const TRun b = Cli({dir.path("in.wav"), "--import-labels", dir.path("bad.txt")});
    EXPECT_EQ(b.status, 1);
    EXPECT_TRUE(b.err.contains("line 2")) << b.err.toStdString();
}

struct TMark {
    QString kind;
    int64_t start = 0, end = 0;
    QString name;
};

// The lines of --markers.
std::vector<TMark> Listed(const QString& out) {
    std::vector<TMark> marks;
    for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(' ');
        const bool region = f.value(0) == "region";
        const int64_t start = f.value(1).toLongLong();
        const int64_t end = region ? f.value(2).toLongLong() : start;
        marks.push_back({f.value(0), start, end, f.mid(region ? 3 : 2).join(' ')});
    }
    return marks;
}

QString Tool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(120000);
    EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << " " << args.join(' ').toStdString()
                               << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

struct TFormatCase {
    const char* ext;
    uint32_t rate;  // of the sound the file opens as (Opus is always 48 kHz)
    bool exact;     // positions to the frame; else within 1 ms
};

class MarkersInFiles : public ::testing::TestWithParam<TFormatCase> {};

TEST_P(MarkersInFiles, SurviveASaveAndReadAsChaptersByFfprobe) {
    const TFormatCase& c = GetParam();
    TTempFolder dir;
    WriteWav(dir.path("in.wav"), 2, 44100, std::vector<int16_t>(2 * 44100 * 4, 300));
    const QString out = dir.path(QString("out.") + c.ext);
    const TRun saved = Cli({dir.path("in.wav"), "--marker", "22051:one", "--region",
                            "44100:66150:two parts", "--marker", "110251:три", "-o", out});
    ASSERT_EQ(saved.status, 0) << saved.err.toStdString();
    const TRun r = Cli({out, "--markers"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const std::vector<TMark> back = Listed(r.out);
    const std::vector<TMark> want{{"marker", 22051, 22051, "one"},
                                  {"region", 44100, 66150, "two parts"},
                                  {"marker", 110251, 110251, "три"}};
    ASSERT_EQ(back.size(), want.size()) << r.out.toStdString();
    const double scale = double(c.rate) / 44100;
    const int64_t slack = c.exact ? 0 : c.rate / 1000;
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(back[i].kind, want[i].kind) << i;
        EXPECT_EQ(back[i].name, want[i].name) << i;
        EXPECT_LE(std::llabs(back[i].start - std::llround(want[i].start * scale)), slack) << i;
        EXPECT_LE(std::llabs(back[i].end - std::llround(want[i].end * scale)), slack) << i;
    }
    if (QString(c.ext) == "wav") return;
    // Another program's reading of the chapters: a marker runs to the next one, a region is
    // its own length.
    const QJsonArray chapters =
        QJsonDocument::fromJson(
            Tool("ffprobe", {"-v", "error", "-show_chapters", "-of", "json", out}).toUtf8())
            .object()["chapters"]
            .toArray();
    ASSERT_EQ(chapters.size(), 3);
    const char* titles[] = {"one", "two parts", "три"};
    const double starts[] = {0.5, 1.0, 2.5};
    for (int i = 0; i < 3; ++i) {
        const QJsonObject ch = chapters[i].toObject();
        EXPECT_EQ(ch["tags"].toObject()["title"].toString(), QString(titles[i])) << i;
        EXPECT_NEAR(ch["start_time"].toString().toDouble(), starts[i], 0.001) << i;
    }
    if (QString(c.ext) == "mp3") {
        EXPECT_NEAR(chapters[0].toObject()["end_time"].toString().toDouble(), 1.0, 0.001);
        EXPECT_NEAR(chapters[1].toObject()["end_time"].toString().toDouble(), 1.5, 0.001);
    }
}

// Chapters that ffmpeg wrote from an ffmetadata file open as markers.
TEST_P(MarkersInFiles, ChaptersFfmpegWroteOpenAsMarkers) {
    const TFormatCase& c = GetParam();
    if (QString(c.ext) == "wav") GTEST_SKIP() << "ffmpeg writes no cue points";
    TTempFolder dir;
    WriteWav(dir.path("in.wav"), 2, 44100, std::vector<int16_t>(2 * 44100 * 4, 300));
    QFile meta(dir.path("meta.txt"));
    ASSERT_TRUE(meta.open(QIODevice::WriteOnly));
    meta.write(
        ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=500\nEND=1000\ntitle=Intro\n"
        "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=4000\ntitle=Main part\n");
    meta.close();
    const QString out = dir.path(QString("ff.") + c.ext);
    Tool("ffmpeg", {"-v", "error", "-i", dir.path("in.wav"), "-i", dir.path("meta.txt"), "-map",
                    "0:a", "-map_chapters", "1", out});
    // What ffprobe reads there, in time order, is what the file holds.
    const QJsonArray chapters =
        QJsonDocument::fromJson(
            Tool("ffprobe", {"-v", "error", "-show_chapters", "-of", "json", out}).toUtf8())
            .object()["chapters"]
            .toArray();
    if (chapters.isEmpty()) GTEST_SKIP() << "this ffmpeg writes no chapters into " << c.ext;
    std::map<double, QString> expected;
    for (const QJsonValue& ch : chapters) {
        expected[ch.toObject()["start_time"].toString().toDouble()] =
            ch.toObject()["tags"].toObject()["title"].toString();
    }
    const TRun r = Cli({out, "--markers"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const std::vector<TMark> back = Listed(r.out);
    ASSERT_EQ(back.size(), expected.size()) << r.out.toStdString();
    auto it = expected.begin();
    for (size_t i = 0; i < back.size(); ++i, ++it) {
        EXPECT_EQ(back[i].kind, "marker") << i;
        EXPECT_EQ(back[i].name, it->second) << i;
        EXPECT_NEAR(double(back[i].start) / c.rate, it->first, 0.001) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, MarkersInFiles,
                         ::testing::Values(TFormatCase{"wav", 44100, true},
                                           TFormatCase{"mp3", 44100, false},
                                           TFormatCase{"flac", 44100, true},
                                           TFormatCase{"ogg", 44100, false},
                                           TFormatCase{"opus", 48000, false}),
                         [](const auto& info) { return std::string(info.param.ext); });

// The samples ffmpeg decodes from a file, as 16-bit PCM.
QByteArray Decoded(const QString& path) {
    QProcess p;
    p.start("ffmpeg", {"-v", "error", "-i", path, "-f", "s16le", "-"});
    p.waitForFinished(120000);
    return p.readAllStandardOutput();
}

struct TExportCase {
    const char* name;
    const char* format;
    QStringList marks;  // the steps that set the markers
    std::vector<std::pair<int64_t, int64_t>> pieces;
    QStringList files;
    QStringList titles;
};

class ExportRegions : public ::testing::TestWithParam<TExportCase> {};

// Each piece bit for bit, named from the pattern, with the document's tags and its own title
// and number; files in the way refused unless --overwrite.
TEST_P(ExportRegions, WritesEachPieceBitForBitWithItsTags) {
    const TExportCase& c = GetParam();
    TTempFolder dir;
    std::vector<int16_t> s(2 * 30000);
    for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t((i * 7919) % 65536 - 32768);
    WriteWav(dir.path("in.wav"), 2, 44100, s);
    const QStringList args = QStringList{dir.path("in.wav"), "--set-tag", "artist=Band"} + c.marks +
                             QStringList{"--export-regions", dir.path("out"), "--format", c.format};
    const TRun r = Cli(args);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QStringList listed;
    for (const QString& f : c.files) listed << dir.path("out/" + f);
    EXPECT_EQ(r.out.split('\n', Qt::SkipEmptyParts), listed);
    for (qsizetype i = 0; i < c.files.size(); ++i) {
        const auto [start, end] = c.pieces[size_t(i)];
        const QByteArray want(reinterpret_cast<const char*>(s.data() + 2 * start),
                              qsizetype((end - start) * 4));
        EXPECT_TRUE(Decoded(listed[i]) == want) << listed[i].toStdString();
        const QJsonObject tags =
            QJsonDocument::fromJson(Tool("ffprobe", {"-v", "error", "-show_entries", "format_tags",
                                                     "-of", "json", listed[i]})
                                        .toUtf8())
                .object()["format"]
                .toObject()["tags"]
                .toObject();
        QMap<QString, QString> lower;
        for (auto it = tags.begin(); it != tags.end(); ++it)
            lower[it.key().toLower()] = it.value().toString();
        EXPECT_EQ(lower.value("title"), c.titles[i]) << i;
        EXPECT_EQ(lower.value("artist"), "Band") << i;
        EXPECT_EQ(lower.value("track"), QString::number(i + 1)) << i;
    }
    const TRun again = Cli(args);
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(again.err.contains("exists")) << again.err.toStdString();
    EXPECT_EQ(Cli(args + QStringList{"--overwrite"}).status, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, ExportRegions,
    ::testing::Values(TExportCase{"RegionsWav",
                                  "wav",
                                  {"--region", "1000:5000:Side A/1", "--marker", "7000:ignored",
                                   "--region", "4000:29999:B"},
                                  {{1000, 5000}, {4000, 29999}},
                                  {"01 Side A_1.wav", "02 B.wav"},
                                  {"Side A/1", "B"}},
                      TExportCase{"RegionsFlac",
                                  "flac",
                                  {"--region", "0:511:tiny", "--region", "512:30000:rest"},
                                  {{0, 511}, {512, 30000}},
                                  {"01 tiny.flac", "02 rest.flac"},
                                  {"tiny", "rest"}},
                      // Without regions, the stretches between markers from the start to the end.
                      TExportCase{"MarkersWav",
                                  "wav",
                                  {"--marker", "10000:two", "--marker", "20000:three"},
                                  {{0, 10000}, {10000, 20000}, {20000, 30000}},
                                  {"01.wav", "02 two.wav", "03 three.wav"},
                                  {"", "two", "three"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Save Selected As keeps what lies in the range, moved to its start.
TEST(CliMarkers, ARangeSaveKeepsTheMarkersInside) {
    TTempFolder dir;
    WriteWav(dir.path("in.wav"), 1, 1000, std::vector<int16_t>(10000, 100));
    const TRun saved =
        Cli({dir.path("in.wav"), "--marker", "1000:before", "--region", "3000:5000:cut into",
             "--marker", "6000:inside", "--range", "4000:8000", "-o", dir.path("part.wav")});
    ASSERT_EQ(saved.status, 0) << saved.err.toStdString();
    EXPECT_EQ(Cli({dir.path("part.wav"), "--markers"}).out.toStdString(),
              "region 0 1000 cut into\nmarker 2000 inside\n");
}

}  // namespace
