// The program's command line, run as its own process without a display, against a temporary log
// folder.

#include "commandline.h"
#include "commandline_fixture.h"
#include "testenv.h"

#include "../zip/archive_view.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>

namespace {

// The archive's last entry read as JSON.
QJsonObject manifestOf(const archive_view::Archive &archive)
{
    const archive_view::Bytes bytes = archive_view::contents(archive.entries.back());
    QJsonParseError error;
    const QJsonDocument manifest =
        QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return manifest.object();
}

// The listing of `--list --json`, parsed; each component under its key.
QMap<QString, QJsonObject> componentsOf(const QJsonObject &listing)
{
    QMap<QString, QJsonObject> components;
    for (const QJsonValue &component : listing["components"].toArray())
        components[component["key"].toString()] = component.toObject();
    return components;
}

QJsonObject parsed(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << json.toStdString();
    EXPECT_TRUE(document.isObject());
    return document.object();
}

QString usbIni(const QString &folder, const char *mask)
{
    return QString("[LOGGING]\r\nLogname=kv4_usb.log\r\nLogpath=%1\r\nLogging=%2\r\n").arg(folder, mask);
}

} // namespace

TEST_F(CommandLineTest, switchesLogsAndLevelsAsTheDialogDoes)
{
    write("kv4_usb_param.ini", "[LOGGING]\r\n");
    write("kv4_cam.ini", "[LOGGING]\r\n");
    Outcome result = run({"--enable", "usb3,USB", "--enable", "zel.SDK"});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    for (const char *log : {"kv4_usb.log", "kv4_usb3.log", "kv4_cam.log", "zel_conv.log"})
        EXPECT_TRUE(exists(log)) << log;
    EXPECT_EQ(read("kv4_usb_param.ini"), usbIni(logPath(), "0x0000FC03")) << "Standard, the dialog's first level";

    result = run({"--level", "fULL", "--disable", "zel.interface usb3,zel.sdk"});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_FALSE(exists("kv4_usb3.log"));
    EXPECT_FALSE(exists("kv4_cam.log"));
    EXPECT_EQ(read("kv4_usb_param.ini"), usbIni(logPath(), "0x0000FFFF"));
    EXPECT_EQ(read("kv4_cam.ini"), "[LOGGING]\r\nLogname=kv4_cam.log\r\nLogpath=" + logPath().toUtf8() +
                                       "\r\nLogging=0x0000FC03\r\n")
        << "switched off first, so the level stays";

    write("kv4_usb.log", "12345");
    result = run({"--list"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.out.contains("USB [zel.interface usb]: on\n    kv4_usb.log: 5 bytes\n"
                                    "    kv4_usb_param.ini: Full (0x0000FFFF)\n"))
        << result.out.toStdString();
    EXPECT_TRUE(result.out.contains("zel.sdk [zel.sdk]: off\n    kv4_cam.log: missing\n")) << result.out.toStdString();
    EXPECT_FALSE(result.out.contains("device manager")) << "it has no logs, and the dialog hides it";

    result = run({"--help"});
    EXPECT_EQ(result.exitCode, 0);
    for (const char *option : {"--list", "--enable", "--disable", "--level", "--clear", "--delete-older",
                               "--support-archive", "--output", "--version"})
        EXPECT_TRUE(result.out.contains(option)) << option;
    result = run({"--version"});
    EXPECT_EQ(result.out, "zel.logging 2.2.1\n");
}

TEST_F(CommandLineTest, badUsageChangesNothingAndExitsWithTwo)
{
    write("kv4_usb.log", "log");
    write("kv4_usb_param.ini", "[LOGGING]\r\n");
    const QMap<QString, QByteArray> before = snapshot();
    const QList<QStringList> cases = {{"--bogus"},
                                      {"--level", "loud"},
                                      {"--enable", "usb,nothing"},
                                      {"--disable", "zel.devicemgr"},
                                      {"--enable", "usb", "--level", "Medium"},
                                      {"--output", "x.zip"},
                                      {"--delete-older"},
                                      {"--clear", "leftover"},
                                      {"leftover"},
                                      {"-x"},
                                      {"--enable", "all,nothing"},
                                      {"--json"},
                                      {"--list", "--json", "--support-archive"},
                                      {"--list", "--support-archive", "--output", "-"}};
    for (const QStringList &arguments : cases) {
        const Outcome result = run(arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.err.contains("zel.logging --help")) << result.err.toStdString();
        EXPECT_EQ(snapshot(), before) << arguments.join(' ').toStdString();
    }
}

TEST_F(CommandLineTest, iniFileThatCannotTakeTheLevelIsNamedAndKept)
{
    write("kv4_usb.log", "log");
    write("kv4_usb_param.ini", "[LOGGING]\r\nnot an ini line\r\n");
    write("kv4_gige.log", "");
    write("kv4_gige_param.ini", "[LOGGING]\r\n");
    const Outcome result = run({"--level", "High"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(QDir::toNativeSeparators(path("kv4_usb_param.ini")) + ": "))
        << result.err.toStdString();
    EXPECT_EQ(read("kv4_usb_param.ini"), "[LOGGING]\r\nnot an ini line\r\n");
    EXPECT_TRUE(read("kv4_gige_param.ini").endsWith("Logging=0x0000FC0B\r\n")) << "the others are done";
}

TEST_F(CommandLineTest, clearKeepsOneBackupAndMovesOlderLogsOnlyWhenAsked)
{
    write("kv4_usb.log", "first");
    write("kv4_usb_1.log", "older");
    Outcome result = run({"--clear"});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(read("kv4_usb.log"), "");
    EXPECT_EQ(read("backup/kv4_usb.log"), "first");
    EXPECT_TRUE(exists("kv4_usb_1.log")) << "the dialog's safe answer";
    write("kv4_usb.log", "second");
    result = run({"--clear", "--delete-older"});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(read("backup/kv4_usb.log"), "second");
    EXPECT_FALSE(exists("kv4_usb_1.log"));
    EXPECT_EQ(read("backup/kv4_usb_1.log"), "older");
}

TEST_F(CommandLineTest, supportArchiveGoesIntoTheLogFolderOrToTheOutput)
{
    Outcome result = run({"--support-archive"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains("No component is switched on")) << result.err.toStdString();
    write("kv4_usb.log", "usb log");
    write("kv4_usb_param.ini", "[LOGGING]\r\n");
    result = run({"--support-archive"});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(QFileInfo(path("zel_support.zip")).size() > 0);

    const QString output = root.path() + "/out/support.zip";
    QDir().mkpath(root.path() + "/out");
    result = run({"--support-archive", "--level", "high", "--output", output});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.out.trimmed(), QDir::toNativeSeparators(output));
    const archive_view::Archive archive = archive_view::parse(archive_view::readFile(output.toStdString()));
    ASSERT_GE(archive.entries.size(), 3u);
    EXPECT_EQ(archive.entries[0].name, "kv4_usb.log");
    EXPECT_EQ(archive.entries[1].name, "kv4_usb_param.ini");
    EXPECT_EQ(archive_view::contents(archive.entries[0]), archive_view::textOf("usb log"));
    // The manifest comes last and records the level written by the same run.
    EXPECT_EQ(archive.entries.back().name, "manifest.json");
    const QJsonObject manifest = manifestOf(archive);
    EXPECT_EQ(manifest["files"][0]["entry"], "kv4_usb.log");
    EXPECT_EQ(manifest["files"][0]["size"], 7);
    EXPECT_EQ(manifest["iniFiles"][0]["level"], "High");
    EXPECT_EQ(manifest["iniFiles"][0]["updated"], true);
}

// A capped log keeps its last bytes from the start of a line, behind a line that says how much
// was left out; INI files are never cut.
TEST_F(CommandLineTest, maxLogSizeKeepsEachLogsLastBytesFromALineStart)
{
    QByteArray log;
    for (int line = 0; log.size() < 5 * 1024 * 1024; ++line)
        log += QString("%1 camera frame %2 received\n").arg(line, 7, 10, QChar('0')).arg(line % 977).toUtf8();
    // So that the cut falls inside a line.
    log += "end of the log\n";
    write("kv4_usb.log", log);
    write("kv4_usb_param.ini", "[LOGGING]\r\n");
    EXPECT_EQ(run({"--support-archive", "--max-log-size", "1x"}).exitCode, 2);
    EXPECT_EQ(run({"--max-log-size", "1M"}).exitCode, 2) << "only with --support-archive";

    const QString output = root.path() + "/capped.zip";
    const Outcome result = run({"--support-archive", "--max-log-size", "1m", "--output", output});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const archive_view::Archive archive = archive_view::parse(archive_view::readFile(output.toStdString()));
    ASSERT_GE(archive.entries.size(), 2u);
    const archive_view::Bytes bytes = archive_view::contents(archive.entries[0]);
    const QByteArray entry(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
    const qsizetype headerEnd = entry.indexOf('\n') + 1;
    const QByteArray kept = entry.mid(headerEnd);
    EXPECT_LE(kept.size(), 1024 * 1024);
    EXPECT_GT(kept.size(), 1024 * 1024 - 64) << "cut at the first line start only";
    EXPECT_TRUE(log.endsWith(kept));
    EXPECT_EQ(log.at(log.size() - kept.size() - 1), '\n') << "the kept part starts a line";
    EXPECT_EQ(entry.left(headerEnd), QString("[zel.logging: the first %1 bytes of this log were left out]\n")
                                         .arg(log.size() - kept.size())
                                         .toUtf8());
    EXPECT_EQ(archive_view::contents(archive.entries[1]), archive_view::textOf("[LOGGING]\r\n"));
    const QJsonObject manifest = manifestOf(archive);
    EXPECT_EQ(manifest["files"][0]["state"], "capped");
    EXPECT_EQ(manifest["files"][0]["leftOutBytes"], log.size() - kept.size());
    EXPECT_EQ(read("kv4_usb.log"), log) << "the log itself stays whole";
}

// Redaction: nothing of the machine's name or its addresses is left in any entry, the maker's
// part of a MAC address stays, the same address has the same stand-in everywhere, and the
// originals go into a file beside the archive, not into it.
TEST_F(CommandLineTest, redactedArchiveHoldsStandInsAndTheMappingStaysBeside)
{
    const QByteArray host = QSysInfo::machineHostName().section('.', 0, 0).toUtf8();
    ASSERT_GE(host.size(), 2);
    write("kv4_usb.log", "connected to " + host + " at 192.168.7.20 and 2a02:810d:4d40:1e00:1a2b:3cff:fe4d:5e6f\n"
                         "camera 00:0F:31:A1:B2:C3 on 192.168.7.21\n");
    write("kv4_usb_param.ini", "[LOGGING]\r\nCamera=192.168.7.20\r\n");
    const QString output = root.path() + "/redacted.zip";
    EXPECT_EQ(run({"--redact"}).exitCode, 2) << "only with --support-archive";
    const Outcome result = run({"--support-archive", "--redact", "--output", output});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QString mappingPath = root.path() + "/redacted.redaction.txt";
    EXPECT_EQ(result.out, QDir::toNativeSeparators(output) + "\n" + QDir::toNativeSeparators(mappingPath) + "\n");

    const archive_view::Archive archive = archive_view::parse(archive_view::readFile(output.toStdString()));
    QMap<std::string, QByteArray> entries;
    for (const archive_view::Entry &entry : archive.entries) {
        const archive_view::Bytes bytes = archive_view::contents(entry);
        entries[entry.name] = QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
    }
    // The stand-ins' numbers follow the order they are met in, the machine's own addresses first.
    const QByteArray log = entries["kv4_usb.log"];
    EXPECT_TRUE(QRegularExpression("^connected to redacted-host\\d+ at 240\\.0\\.(\\d+)\\.20 and 100:[0-9a-f:]+\n"
                                   "camera 00:0F:31:00:00:[0-9A-F]{2} on 240\\.0\\.\\1\\.21\n$")
                    .match(QString::fromUtf8(log))
                    .hasMatch())
        << log.toStdString();
    EXPECT_TRUE(entries["kv4_usb_param.ini"].startsWith("[LOGGING]\r\nCamera=240.0.")) << entries["kv4_usb_param.ini"].toStdString();
    for (auto entry = entries.cbegin(); entry != entries.cend(); ++entry) {
        for (const QByteArray &original : {QByteArray("192.168.7."), QByteArray("2a02:810d"), QByteArray("A1:B2:C3")})
            EXPECT_FALSE(entry.value().contains(original)) << entry.key() << " holds " << original.toStdString();
    }
    const QJsonObject manifest = manifestOf(archive);
    EXPECT_EQ(manifest["redaction"]["on"], true);
    EXPECT_GE(manifest["redaction"]["replaced"]["IPv4 address"].toInt(), 3);
    EXPECT_GE(manifest["redaction"]["replaced"]["MAC address"].toInt(), 1);

    QFile mapping(mappingPath);
    ASSERT_TRUE(mapping.open(QIODevice::ReadOnly));
    const QByteArray originals = mapping.readAll();
    EXPECT_TRUE(originals.startsWith("# zel.logging: the originals behind the stand-ins of redacted.zip.")) << originals.toStdString();
    for (const QByteArray &line : {"\t" + host + "\n", QByteArray("\t192.168.7.0/24\n"), QByteArray("\t00:0f:31:a1:b2:c3\n")})
        EXPECT_TRUE(originals.toLower().contains(line.toLower())) << line.toStdString() << " not in\n" << originals.toStdString();
    // The way back: the stand-ins of the log read as its originals again.
    QFile redactedLog(root.path() + "/redacted.log");
    ASSERT_TRUE(redactedLog.open(QIODevice::WriteOnly));
    redactedLog.write(log);
    redactedLog.close();
    const Outcome back = run({"--unredact", mappingPath, root.path() + "/redacted.log"});
    ASSERT_EQ(back.exitCode, 0) << back.err.toStdString();
    EXPECT_EQ(back.out.toLower(), ("connected to " + host + " at 192.168.7.20 and 2a02:810d:4d40:1e00:1a2b:3cff:fe4d:5e6f\n"
                                   "camera 00:0F:31:A1:B2:C3 on 192.168.7.21\n").toLower());
    EXPECT_FALSE(entries.contains("redacted.redaction.txt"));
    EXPECT_TRUE(openToOwnerAlone(mappingPath));

    // Where the mapping cannot go, the archive does not replace the earlier one either.
    mapping.close();
    ASSERT_TRUE(QFile::remove(mappingPath));
    ASSERT_TRUE(QDir().mkpath(mappingPath));
    const archive_view::Bytes before = archive_view::readFile(output.toStdString());
    const Outcome blocked = run({"--support-archive", "--redact", "--output", output});
    EXPECT_EQ(blocked.exitCode, 1);
    EXPECT_TRUE(blocked.err.contains(QDir::toNativeSeparators(output))) << blocked.err.toStdString();
    EXPECT_EQ(archive_view::readFile(output.toStdString()), before);
}

// A camera register writes an address as a number; it is that address only where the address is
// met in an ordinary notation, and that may be in any entry: here the last backup of many, packed
// long after the log.
TEST_F(CommandLineTest, redactionKnowsEveryEntrysAddressesBeforeThePackingBegins)
{
    write("kv4_usb.log", "GevCurrentIPAddress=0xC0A80763 (3232237411) register 0xC0A80764\n");
    ASSERT_TRUE(QDir().mkpath(path("backup")));
    for (int i = 0; i < 70; ++i)
        write(QStringLiteral("backup/kv4_usb_%1.log").arg(i, 2, 10, QLatin1Char('0')), "-\n");
    write("backup/kv4_usb_99.log", "peer 192.168.7.99 answered\n");
    const QString output = root.path() + "/redacted.zip";
    const Outcome result = run({"--support-archive", "--redact", "--output", output});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const archive_view::Archive archive = archive_view::parse(archive_view::readFile(output.toStdString()));
    ASSERT_GE(archive.entries.size(), 72u);
    const archive_view::Bytes bytes = archive_view::contents(archive.entries[0]);
    const QByteArray log(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
    EXPECT_TRUE(QRegularExpression("^GevCurrentIPAddress=0xF0[0-9A-F]{6} \\(40[0-9]{8}\\) register 0xC0A80764\n$")
                    .match(QString::fromUtf8(log))
                    .hasMatch())
        << log.toStdString();
}

// Anything but Qt's own options, which the dialog takes, asks for the command line.
TEST(CommandLineChoice, everythingButQtsOwnOptionsIsForTheCommandLine)
{
    const struct {
        std::vector<const char *> arguments;
        bool commandLine;
    } cases[] = {
        {{}, false},
        {{"-platform", "offscreen"}, false},
        {{"--platform", "offscreen"}, false},
        {{"-style=fusion", "-reverse", "-widgetcount"}, false},
        {{"-style", "fusion", "-qwindowtitle", "--list"}, false}, // the title is "--list"
        {{"-platform"}, false},
        {{"-h"}, true},
        {{"-?"}, true},
        {{"/?"}, true},
        {{"-v"}, true},
        {{"--help"}, true},
        {{"leftover"}, true},
        {{"-platform", "offscreen", "leftover"}, true},
        {{"-x"}, true},
        {{"-styles"}, true},
        {{"-style=fusion", "--list"}, true},
        {{""}, true},
    };
    for (const auto &row : cases) {
        std::vector<char *> argv{const_cast<char *>("zel.logging")};
        for (const char *argument : row.arguments)
            argv.push_back(const_cast<char *>(argument));
        std::string line;
        for (const char *argument : row.arguments)
            line += std::string(" [") + argument + "]";
        EXPECT_EQ(wantsCommandLine(int(argv.size()), argv.data()), row.commandLine) << line;
    }
}

// The short forms need no display, and touch nothing.
TEST_F(CommandLineTest, helpAndVersionInEveryFormNeedNoDisplay)
{
    write("kv4_usb.log", "log");
    const QMap<QString, QByteArray> before = snapshot();
    const QList<QStringList> helps = {{"-h"}, {"-?"}, {"/?"}, {"--help"}, {"-h", "--enable", "all"}};
    for (const QStringList &arguments : helps) {
        const Outcome result = run(arguments);
        EXPECT_EQ(result.exitCode, 0) << arguments.join(' ').toStdString() << result.err.toStdString();
        for (const char *option : {"--list", "--json", "--enable", "-?, -h, --help"})
            EXPECT_TRUE(result.out.contains(option)) << arguments.join(' ').toStdString() << ": " << option;
    }
    for (const QStringList &arguments : QList<QStringList>{{"-v"}, {"--version"}}) {
        const Outcome result = run(arguments);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        EXPECT_EQ(result.out, "zel.logging 2.2.1\n") << arguments.join(' ').toStdString();
    }
    EXPECT_EQ(snapshot(), before);
}

// Every state a log or INI file can be in, in the same English words whatever the locale.
TEST_F(CommandLineTest, jsonListingHoldsEveryStateInEveryLanguageAlike)
{
    write("kv4_usb.log", "12345");
    write("kv4_usb_param.ini", "[LOGGING]\r\nLogging=0x0000ffff\r\n");
    write("kv4_gige.log", "");
    ASSERT_TRUE(QDir(logPath()).mkdir("kv4_gige2.log"));
    write("kv4_gige_param.ini", "[LOGGING]\r\nnot an ini line\r\n");
    write("kv4_cam.ini", "[LOGGING]\r\nLogging=0x00001234\r\n");
    write("zel_conv.ini", "[LOGGING]\r\n");
    const Outcome english = run({"--list", "--json"});
    ASSERT_EQ(english.exitCode, 0) << english.err.toStdString();
    const Outcome german = run({"--json", "--list"}, {{"LANG", "de_DE.UTF-8"}, {"LC_ALL", "de_DE.UTF-8"}});
    EXPECT_EQ(QString::fromUtf8(german.bytes), QString::fromUtf8(english.bytes));

    const QJsonObject listing = parsed(english.bytes);
    EXPECT_EQ(listing["folder"], QDir::toNativeSeparators(logPath()));
    EXPECT_EQ(listing["fallback"], false);
    const QJsonArray components = listing["components"].toArray();
    ASSERT_EQ(components.size(), 10) << "the ten with logs, in the tree's order";
    EXPECT_EQ(components[0]["key"], "zel.sdk");
    EXPECT_EQ(components[9]["key"], "zel.interface genicam");
    const QMap<QString, QJsonObject> byKey = componentsOf(listing);
    const auto json = [](const char *text) { return QJsonDocument::fromJson(text).array(); };

    const QJsonObject usb = byKey["zel.interface usb"];
    EXPECT_EQ(usb["name"], "USB");
    EXPECT_EQ(usb["logging"], true);
    EXPECT_EQ(usb["logs"], json(R"([{"file": "kv4_usb.log", "state": "file", "size": 5}])"));
    EXPECT_EQ(usb["ini"], json(R"([{"file": "kv4_usb_param.ini", "state": "file", "level": "Full",
                                    "mask": "0x0000ffff"}])"));

    const QJsonObject gige = byKey["zel.interface gige"];
    EXPECT_EQ(gige["logging"], true) << "an empty log is one";
    EXPECT_EQ(gige["logs"], json(R"([{"file": "kv4_gige.log", "state": "file", "size": 0},
                                     {"file": "kv4_gige2.log", "state": "other", "size": null}])"));
    EXPECT_EQ(gige["ini"], json(R"([{"file": "kv4_gige_param.ini", "state": "unreadable", "level": null,
                                     "mask": null}])"));

    const QJsonObject sdk = byKey["zel.sdk"];
    EXPECT_EQ(sdk["name"], "zel.sdk");
    EXPECT_EQ(sdk["logging"], false);
    EXPECT_EQ(sdk["logs"], json(R"([{"file": "kv4_cam.log", "state": "missing", "size": null},
                                    {"file": "zel_conv.log", "state": "missing", "size": null}])"));
    EXPECT_EQ(sdk["ini"], json(R"([{"file": "kv4_cam.ini", "state": "file", "level": null, "mask": "0x00001234"},
                                   {"file": "zel_conv.ini", "state": "file", "level": null, "mask": null}])"));
    EXPECT_EQ(byKey["zel.interface cl"]["name"], "Camera Link");
    EXPECT_EQ(byKey["zel.recorder"]["ini"],
              json(R"([{"file": "zel_recorder_param.ini", "state": "missing", "level": null, "mask": null}])"));

    // For people: the folder comes first, in the locale's words.
    const Outcome people = run({"--list"});
    EXPECT_TRUE(people.out.startsWith("Log folder: " + QDir::toNativeSeparators(logPath()) + " (the shared folder)\n"))
        << people.out.toStdString();
    EXPECT_TRUE(people.out.contains("    kv4_usb_param.ini: Full (0x0000ffff)\n")) << people.out.toStdString();
}

TEST_F(CommandLineTest, allSwitchesEveryComponent)
{
    const auto logging = [this] {
        QStringList on;
        const Outcome listing = run({"--list", "--json"});
        for (const QJsonObject &component : componentsOf(parsed(listing.bytes))) {
            if (component["logging"].toBool())
                on << component["key"].toString();
        }
        return on;
    };
    Outcome result = run({"--enable", "All"});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(logging().size(), 10);
    EXPECT_EQ(snapshot().size(), 15) << "every log of every component";
    result = run({"--disable", "all", "--enable", "usb"});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(logging(), QStringList{"zel.interface usb"}) << "off goes first";
    result = run({"--disable", "ALL"});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(snapshot().isEmpty());
}
