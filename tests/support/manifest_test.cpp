// manifest.json: the support archive's own account of what it holds and what it left out.
#include "archive.h"
#include "archivebuild.h"
#include "manifest.h"
#include "supportfixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

namespace {

class ManifestTest : public SupportTest {
protected:
    // Builds the support archive of `logs` and `inis` and returns its entries' names and the
    // manifest, which must be the last entry.
    QJsonObject build(const ArchiveRequest &request, QStringList &entries)
    {
        FileFault fault = FileFault::None;
        const std::unique_ptr<PendingFile> file = newSupportArchive(*request.logFolder, fault);
        const std::atomic<bool> cancel{false};
        BuildReport report;
        EXPECT_EQ(buildSupportFile(request, *file, [](const BuildProgress &) {}, cancel, report), BuildOutcome::Built);
        const std::optional<QList<Entry>> archive = readWholeArchive(path(archiveName));
        if (!archive || archive->isEmpty())
            return {};
        entries = names(*archive);
        EXPECT_EQ(entries.constLast(), "manifest.json");
        QJsonParseError error;
        const QJsonDocument manifest = QJsonDocument::fromJson(archive->constLast().data, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
        return manifest.object();
    }

    // The object of `list` whose "entry" (or "key") is `name`.
    static QJsonObject named(const QJsonValue &list, const QString &name)
    {
        for (const QJsonValue &item : list.toArray()) {
            if (item[QLatin1String("entry")] == name || item[QLatin1String("key")] == name)
                return item.toObject();
        }
        ADD_FAILURE() << "no " << name.toStdString();
        return {};
    }
};

// Compact JSON text, which a failure shows readably.
std::string text(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace

// Every log is accounted for: packed, capped, or left out with the reason found.
TEST_F(ManifestTest, tellsWhatBecameOfEveryFile)
{
    addSystemTools();
    write("kv4_usb.log", "usb log\n");
    write("kv4_cam.log", QByteArray(3000, 'x') + "\nlast line\n");
    linkOut("zel_conv.log", "conv.log", "outside log");
    hardLinkOut("kv4_gige.log", "gige.log", "second name");
    makeFolder("kv4_gige2.log");
    write("kv4_usb_param.ini", "[LOGGING]\r\nLogging=0x0000ffff\r\n");
    write("zel_conv.ini", "[LOGGING]\r\nLogging=0x1234\r\n");
    write("kv4_cam.ini", "not an INI file\r\n");
    ArchiveRequest request{held(),
                           {path("kv4_usb.log"), path("kv4_cam.log"), path("zel_conv.log"), path("kv4_gige.log"),
                            path("kv4_gige2.log"), path("kv4_1394.log")},
                           {path("kv4_usb_param.ini"), path("kv4_cam.ini"), path("zel_conv.ini")},
                           1000,
                           {},
                           {},
                           {}};
    record(request.levels, {{path("kv4_usb_param.ini")}, {{path("kv4_cam.ini"), IniRefusal::NotIni}}});

    QStringList entries;
    const QJsonObject manifest = build(request, entries);
    EXPECT_EQ(entries, QStringList({"kv4_usb.log", "kv4_cam.log", "kv4_usb_param.ini", "kv4_cam.ini",
                                    "zel_conv.ini", "conflicts.nfo", "network.txt", "manifest.json"}));
    const QJsonValue files = manifest["files"];
    EXPECT_EQ(files.toArray().size(), 9);
    EXPECT_EQ(text(named(files, "kv4_usb.log")), text(QJsonObject({{"entry", "kv4_usb.log"}, {"size", 8}, {"state", "packed"}})));
    EXPECT_EQ(text(named(files, "kv4_cam.log")), text(QJsonObject({{"entry", "kv4_cam.log"},
                                                        {"size", 3011},
                                                        {"state", "capped"},
                                                        {"leftOutBytes", 3001}})));
    const auto reason = [&](const char *name) { return named(files, name)["reason"].toString().toStdString(); };
    EXPECT_EQ(reason("zel_conv.log"), "link");
    EXPECT_EQ(reason("kv4_gige.log"), "hard link");
    EXPECT_EQ(reason("kv4_gige2.log"), "folder");
    EXPECT_EQ(reason("kv4_1394.log"), "missing");
    EXPECT_EQ(named(files, "zel_conv.log")["state"], "left out");

    const QJsonValue inis = manifest["iniFiles"];
    EXPECT_EQ(text(named(inis, "kv4_usb_param.ini")), text(QJsonObject({{"entry", "kv4_usb_param.ini"}, {"level", "Full"}, {"updated", true}})));
    EXPECT_EQ(text(named(inis, "kv4_cam.ini")), text(QJsonObject({{"entry", "kv4_cam.ini"},
                                                       {"level", QJsonValue::Null},
                                                       {"updated", false},
                                                       {"reason", "not INI text"}})));
    EXPECT_EQ(text(named(inis, "zel_conv.ini")),
              text(QJsonObject({{"entry", "zel_conv.ini"}, {"level", "0x1234"}, {"updated", QJsonValue::Null}})))
        << "no level was written to it";

    const QJsonArray tools = manifest["tools"].toArray();
    ASSERT_EQ(tools.size(), 2);
    EXPECT_EQ(tools[0]["entry"], "conflicts.nfo");
    EXPECT_EQ(tools[0]["outcome"], "done");
    EXPECT_EQ(tools[0]["exitCode"], 0);
    EXPECT_EQ(tools[0]["inArchive"], true);
    EXPECT_TRUE(tools[1]["command"].toString().endsWith("zel-sysreport --network"));

    EXPECT_EQ(manifest["redaction"], QJsonObject({{"on", false}}));
    EXPECT_EQ(manifest["program"]["version"], ZEL_VERSION);
    EXPECT_EQ(named(manifest["components"], "zel.interface usb")["logging"], true);
    EXPECT_EQ(named(manifest["components"], "zel.recorder")["logging"], false);
}

// A tool that fails or cannot start is recorded with what is known of it, and its output is not
// in the archive.
TEST_F(ManifestTest, recordsToolsThatFail)
{
    addSystemTools("exit 3", "echo network");
    write("kv4_usb.log", "usb log\n");
    QStringList entries;
    const QJsonObject manifest = build({held(), {path("kv4_usb.log")}, {}, 0, {}, {}, {}}, entries);
    EXPECT_EQ(entries, QStringList({"kv4_usb.log", "network.txt", "manifest.json"}));
    const QJsonObject report = named(manifest["tools"], "conflicts.nfo");
    EXPECT_EQ(report["outcome"], "failed");
    EXPECT_EQ(report["exitCode"], 3);
    EXPECT_EQ(report["inArchive"], false);
    EXPECT_EQ(named(manifest["tools"], "network.txt")["inArchive"], true);
}

// The creation time carries its offset from UTC, even when that is none.
TEST(ManifestTime, carriesItsOffset)
{
    const QDateTime summer(QDate(2026, 7, 1), QTime(12, 30, 5), QTimeZone(2 * 3600));
    EXPECT_EQ(QJsonDocument::fromJson(manifestJson({}, summer))["created"], "2026-07-01T12:30:05+02:00");
    const QDateTime west(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone(-(9 * 3600 + 30 * 60)));
    EXPECT_EQ(QJsonDocument::fromJson(manifestJson({}, west))["created"], "2026-01-02T03:04:05-09:30");
    const QDateTime utc(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);
    EXPECT_EQ(QJsonDocument::fromJson(manifestJson({}, utc))["created"], "2026-01-02T03:04:05+00:00");
}
