#include "commandline.h"

#include "archive.h"
#include "archivebuild.h"
#include "catalogue.h"
#include "clearing.h"
#include "console.h"
#include "inisettings.h"
#include "leftovers.h"
#include "levels.h"
#include "logfiles.h"
#include "logfolder.h"
#include "plainfile.h"
#include "sitesettings.h"
#include "unredact.h"
#include "upload.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <limits>
#include <optional>
#include <cstdio>
#include <cstring>

namespace {

// The command line's texts are the dialog's: one context, "Dialog", for both.
struct Text {
    Q_DECLARE_TR_FUNCTIONS(Dialog)
};

// Texts of tables marked for translation elsewhere (QT_TRANSLATE_NOOP), in the user's language.
QString translated(const char *text)
{
    return QCoreApplication::translate("Dialog", text);
}

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// Bytes as they are (JSON is UTF-8 whatever the console's code page); false when not all of
// them went out.
bool printBytes(const QByteArray &bytes)
{
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size()) &&
           std::fflush(stdout) == 0;
}

int usageError(const QString &problem)
{
    print(stderr, QStringLiteral("zel.logging: %1\n").arg(problem) + Text::tr("See \"zel.logging --help\".") +
                      QLatin1Char('\n'));
    return 2;
}

// Each value of a repeatable option, split at commas as well; nothing when a value names no
// component at all (empty, or only commas and blanks).
std::optional<QStringList> listValues(const QCommandLineParser &parser, const QCommandLineOption &option)
{
    QStringList values;
    for (const QString &value : parser.values(option)) {
        QStringList parts;
        for (const QString &part : value.split(QLatin1Char(',')))
            if (!part.trimmed().isEmpty())
                parts << part.trimmed();
        if (parts.isEmpty())
            return std::nullopt;
        values << parts;
    }
    return values;
}

// The level's index, from its name in English or in the user's language, in any letter case.
int levelNamed(const QString &name)
{
    for (int i = 0; i < 4; ++i) {
        if (name.compare(QLatin1String(levelName(i)), Qt::CaseInsensitive) == 0 ||
            name.compare(translated(levelName(i)), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

// The components that have logs, in the tree's order, by their index in the catalogue.
QVector<int> switchableComponents()
{
    QVector<int> indexes;
    for (int i = 0; i < catalogueEntries().size(); ++i) {
        if (!catalogueEntries().at(i).logNames.isEmpty())
            indexes << i;
    }
    return indexes;
}

QString componentName(int index)
{
    return translated(componentText(index)) + QStringLiteral(" [") + catalogueEntries().at(index).key +
           QLatin1Char(']');
}

// What a log of the listing is; for its size, see HeldFolder::size.
const char *logState(EntryKind kind)
{
    switch (kind) {
    case EntryKind::Missing:
        return "missing";
    case EntryKind::PlainFile:
        return "file";
    default:
        return "other";
    }
}

QString describeLog(const HeldFolder &folder, const QString &name)
{
    switch (folder.kind(name)) {
    case EntryKind::Missing:
        return Text::tr("missing");
    case EntryKind::PlainFile:
        return Text::tr("%1 bytes").arg(folder.size(name));
    default:
        return Text::tr("no regular file of its own (a link, a folder or a pipe)");
    }
}

enum class IniState { Missing, Unreadable, Read };

const char *iniStateName(IniState state)
{
    switch (state) {
    case IniState::Missing:
        return "missing";
    case IniState::Unreadable:
        return "unreadable";
    case IniState::Read:
        break;
    }
    return "file";
}

// An INI file of the listing, and the value of its "Logging" when it could be read (empty when
// it has none).
struct IniReading {
    IniState state;
    QString value;
};

IniReading readIni(const HeldFolder &folder, const QString &name)
{
    if (folder.kind(name) == EntryKind::Missing)
        return {IniState::Missing, {}};
    const std::optional<QString> value = loggingValue(folder, name);
    return value ? IniReading{IniState::Read, *value} : IniReading{IniState::Unreadable, {}};
}

QString describeIni(const HeldFolder &folder, const QString &name)
{
    const IniReading ini = readIni(folder, name);
    if (ini.state == IniState::Missing)
        return Text::tr("missing");
    if (ini.state == IniState::Unreadable)
        return Text::tr("cannot be read as an INI file");
    if (ini.value.isEmpty())
        return Text::tr("no level");
    const int index = levelIndex(ini.value);
    return index < 0 ? ini.value : translated(levelName(index)) + QStringLiteral(" (") + ini.value + QLatin1Char(')');
}

QString folderLine(const QString &logPath)
{
    const QString where = QDir::toNativeSeparators(logPath);
    return (isFallbackFolder(logPath)
                ? Text::tr("Log folder: %1 (your own, standing in for the shared folder, which cannot be used)")
                : Text::tr("Log folder: %1 (the shared folder)"))
               .arg(where) +
           QLatin1Char('\n');
}

void list(const HeldFolder &folder, const QString &logPath)
{
    const auto line = [](const QString &name, const QString &state) {
        print(stdout, QStringLiteral("    ") + name + QStringLiteral(": ") + state + QLatin1Char('\n'));
    };
    print(stdout, folderLine(logPath));
    for (int index : switchableComponents()) {
        const ComponentEntry &entry = catalogueEntries().at(index);
        print(stdout, componentName(index) + QStringLiteral(": ") +
                          (isLogging(&folder, entry) ? Text::tr("on") : Text::tr("off")) + QLatin1Char('\n'));
        for (const QString &path : logPaths(QString(), entry))
            line(path, describeLog(folder, path));
        for (const QString &path : paramPaths(QString(), entry))
            line(path, describeIni(folder, path));
    }
}

// The listing for scripts: the same facts as list(), in English words whatever the locale.
QByteArray listJson(const HeldFolder &folder, const QString &logPath)
{
    const auto orNull = [](const QString &text) { return text.isEmpty() ? QJsonValue() : QJsonValue(text); };
    QJsonArray components;
    for (int index : switchableComponents()) {
        const ComponentEntry &entry = catalogueEntries().at(index);
        QJsonArray logs;
        for (const QString &name : logPaths(QString(), entry)) {
            const EntryKind kind = folder.kind(name);
            const QJsonValue size = kind == EntryKind::PlainFile ? QJsonValue(qint64(folder.size(name))) : QJsonValue();
            logs.append(QJsonObject{{"file", name}, {"state", logState(kind)}, {"size", size}});
        }
        QJsonArray inis;
        for (const QString &name : paramPaths(QString(), entry)) {
            const IniReading ini = readIni(folder, name);
            const int level = levelIndex(ini.value);
            inis.append(QJsonObject{{"file", name},
                                    {"state", iniStateName(ini.state)},
                                    {"level", level < 0 ? QJsonValue() : QJsonValue(levelName(level))},
                                    {"mask", orNull(ini.value)}});
        }
        components.append(QJsonObject{{"key", entry.key},
                                      {"name", componentText(index)},
                                      {"logging", isLogging(&folder, entry)},
                                      {"logs", logs},
                                      {"ini", inis}});
    }
    return QJsonDocument(QJsonObject{{"folder", QDir::toNativeSeparators(logPath)},
                                     {"fallback", isFallbackFolder(logPath)},
                                     {"components", components}})
        .toJson(QJsonDocument::Indented);
}

// Writes the open file from its start to standard output; false when a read or write failed.
bool copyToStandardOutput(std::FILE *file)
{
    QFile source;
    QFile target;
    return source.open(file, QIODevice::ReadOnly, QFileDevice::DontCloseHandle) && source.seek(0) &&
           target.open(stdout, QIODevice::WriteOnly, QFileDevice::DontCloseHandle) && copyToEnd(source, target);
}

// Progress of the archive on a terminal, rewritten in place.
void showProgress(const BuildProgress &now)
{
    const QString what = now.entry.isEmpty() ? Text::tr("Waiting for the system tools") : now.entry;
    print(stderr, QStringLiteral("\r\033[K%1  %2 / %3 KiB").arg(what).arg(now.done / 1024).arg(now.total / 1024));
}

// What --upload asks for, checked before anything changes.
struct UploadRequest {
    QString address;
    QString caseId;
    QList<QSslCertificate> extraCas;
};

// Uploads the open archive at `path`, telling how it goes on standard error; the problem when
// the server did not confirm it, with where the archive stays.
std::optional<QString> upload(QFile &archive, const QString &path, bool redacted, const UploadRequest &request)
{
    const QString kept =
        QLatin1Char(' ') + Text::tr("The support file stays at %1.").arg(QDir::toNativeSeparators(path));
    const QString hash = sha256Of(archive);
    if (hash.isEmpty())
        return Text::tr("The support file cannot be read (%1).").arg(archive.errorString()) + kept;
    const QString name =
        uploadObjectName(request.caseId, uploadHostName(redacted), QDateTime::currentDateTimeUtc());
    QString problem;
    UploadOptions options;
    options.target = *uploadTarget(request.address, name, problem); // checked at the start
    options.extraCas = request.extraCas;
    const bool terminal = stderrIsTerminal();
    const UploadResult result = uploadFile(
        archive, options,
        [terminal, &name](qint64 sent, qint64 total) {
            if (terminal && total > 0)
                print(stderr, QStringLiteral("\r\033[K") +
                                  Text::tr("Uploading %1  %2 / %3 KiB").arg(name).arg(sent / 1024).arg(total / 1024));
        },
        [terminal](const QString &why, int delayMs) {
            print(stderr, (terminal ? QStringLiteral("\r\033[K") : QString()) + QStringLiteral("zel.logging: ") + why +
                              QLatin1Char(' ') + Text::tr("Trying again in %1 s.").arg(delayMs / 1000) +
                              QLatin1Char('\n'));
        });
    if (terminal)
        print(stderr, QStringLiteral("\r\033[K"));
    if (!result.uploaded)
        return result.problem + kept;
    print(stdout, Text::tr("Uploaded as %1").arg(name) + QLatin1Char('\n') +
                      (result.etag.isEmpty() ? QString() : QStringLiteral("ETag: ") + result.etag + QLatin1Char('\n')) +
                      QStringLiteral("SHA-256: ") + hash + QLatin1Char('\n'));
    return std::nullopt;
}

} // namespace

bool wantsCommandLine(int argc, char **argv)
{
    // What QGuiApplication, QApplication and the X11 platform take out of the arguments, with one
    // dash or two; the first ones take the next argument as their value.
    static const char *const valued[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                         "qwindowgeometry", "geometry", "qwindowtitle", "title",
                                         "qwindowicon", "icon", "session", "style", "stylesheet",
                                         "qmljsdebugger", "display", "name", "visual"};
    static const char *const flags[] = {"reverse", "testability", "widgetcount", "nograb", "dograb"};
    static const char *const joined[] = {"style=", "stylesheet=", "qmljsdebugger="};
    const auto among = [](const char *name, const auto &names, bool prefix) {
        return std::any_of(std::begin(names), std::end(names), [&](const char *known) {
            return prefix ? std::strncmp(name, known, std::strlen(known)) == 0 : std::strcmp(name, known) == 0;
        });
    };
    for (int i = 1; i < argc; ++i) {
        const char *name = argv[i];
        if (*name != '-')
            return true;
        name += name[1] == '-' ? 2 : 1;
        if (among(name, valued, false))
            ++i;
        else if (!among(name, flags, false) && !among(name, joined, true))
            return true;
    }
    return false;
}

int runCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        Text::tr("Switches the logging of the camera software's components and builds the support archive, without a "
                 "window. Without options, the dialog opens. Components are named by key (\"zel.sdk\") or by their "
                 "text in the dialog (\"USB3\"), in any letter case; several are separated by commas."));
    // "-?" on every platform, and "/?" as Windows users type it (found among the arguments).
    const QCommandLineOption help({QStringLiteral("?"), QStringLiteral("h"), QStringLiteral("help")},
                                  Text::tr("Shows these options."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption listing(
        QStringLiteral("list"), Text::tr("Lists the log folder and each component: whether its logging is on, the "
                                         "sizes of its logs and the level in each of its INI files."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  Text::tr("With --list: lists as one JSON object, in English whatever the language."));
    const QCommandLineOption enable(QStringLiteral("enable"),
                                    Text::tr("Switches the logging of the components on (all: of every one)."),
                                    Text::tr("NAME"));
    const QCommandLineOption disable(QStringLiteral("disable"),
                                     Text::tr("Switches the logging of the components off (all: of every one)."),
                                     Text::tr("NAME"));
    const QCommandLineOption level(
        QStringLiteral("level"),
        Text::tr("Writes the level (Error, Standard, High or Full) into the INI files of the components whose logging "
                 "is on. Components switched on without it get Standard, as in the dialog."),
        Text::tr("LEVEL"));
    const QCommandLineOption clear(
        QStringLiteral("clear"),
        Text::tr("Clears the logs of the components whose logging is on, keeping one backup of each."));
    const QCommandLineOption older(
        QStringLiteral("delete-older"),
        Text::tr("With --clear: moves the older log files into the backup folder too (the dialog's question; by "
                 "default they stay)."));
    const QCommandLineOption archive(QStringLiteral("support-archive"),
                                     Text::tr("Builds the support archive zel_support.zip in the log folder."));
    const QCommandLineOption maxLogSize(
        QStringLiteral("max-log-size"),
        Text::tr("With --support-archive: keeps of each log only its last SIZE bytes (such as 500K or 20M), from "
                 "the start of a line, behind a first line that says how much was left out."),
        Text::tr("SIZE"));
    const QCommandLineOption redact(
        QStringLiteral("redact"),
        Text::tr("With --support-archive: replaces the machine's names, user names, home folders, IP addresses and "
                 "the device part of MAC addresses by stand-ins throughout the archive. Which stand-in is which "
                 "original goes into a file beside the archive that only you can read."));
    const QCommandLineOption output(QStringLiteral("output"),
                                    Text::tr("With --support-archive: writes the archive to PATH instead."),
                                    Text::tr("PATH"));
    const QCommandLineOption unredact(
        QStringLiteral("unredact"),
        Text::tr("Writes the FILEs (or standard input) to standard output with every stand-in of a redacted support "
                 "archive replaced by its original, read from MAPPING, the file left beside the archive."),
        Text::tr("MAPPING"));
    const QCommandLineOption uploadTo(
        QStringLiteral("upload"),
        Text::tr("Uploads the support archive just built with --support-archive, or the one that --output names, "
                 "by an HTTPS PUT to URL, where {name} stands for the archive's name on the server "
                 "(zel_support_<case>_<host>_<UTC time>.zip). Plain http:// only to this machine."),
        Text::tr("URL"));
    const QCommandLineOption caseNumber(
        QStringLiteral("case"),
        Text::tr("With --upload: the support desk's case, up to 40 letters, digits, \"-\" and \".\", for the "
                 "archive's name."),
        Text::tr("ID"));
    const QCommandLineOption caFile(
        QStringLiteral("ca-file"),
        Text::tr("With --upload: trusts the certificates of the PEM file besides the system's, such as the support "
                 "desk's own CA."),
        Text::tr("PEM"));
    parser.addOptions({listing, json, enable, disable, level, clear, older, archive, maxLogSize, redact, output,
                       unredact, uploadTo, caseNumber, caFile});

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help) || parser.positionalArguments().contains(QLatin1String("/?"))) {
        print(stdout, parser.helpText());
        return 0;
    }
    if (parser.isSet(version)) {
        print(stdout, QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion() +
                          QLatin1Char('\n'));
        return 0;
    }
    if (parser.isSet(unredact))
        return unredactFiles(parser.value(unredact), parser.positionalArguments());
    if (!parser.positionalArguments().isEmpty())
        return usageError(Text::tr("unexpected argument: %1").arg(parser.positionalArguments().constFirst()));
    if (parser.isSet(older) && !parser.isSet(clear))
        return usageError(Text::tr("--delete-older needs --clear"));
    if (parser.isSet(output) && !parser.isSet(archive) && !parser.isSet(uploadTo))
        return usageError(Text::tr("--output needs --support-archive or --upload"));
    if (parser.isSet(maxLogSize) && !parser.isSet(archive))
        return usageError(Text::tr("--max-log-size needs --support-archive"));
    if (parser.isSet(redact) && !parser.isSet(archive))
        return usageError(Text::tr("--redact needs --support-archive"));
    if (parser.isSet(json) && !parser.isSet(listing))
        return usageError(Text::tr("--json needs --list"));
    // Standard output then carries one thing alone, for whatever reads it.
    if (parser.isSet(json) && parser.isSet(archive))
        return usageError(Text::tr("--json cannot go with --support-archive, which prints where the archive went"));
    const QString outputPath = parser.value(output);
    if (parser.isSet(output) && outputPath.trimmed().isEmpty())
        return usageError(Text::tr("--output needs a path, or - for standard output"));
    const bool toStandardOutput = outputPath == QLatin1String("-");
    if (toStandardOutput && parser.isSet(listing))
        return usageError(Text::tr("--list cannot go with --output -, which writes the archive to standard output"));
    if (toStandardOutput && parser.isSet(redact))
        return usageError(Text::tr("--redact needs a file for --output: the key to the stand-ins goes beside it"));
    // The site's settings apply as in the dialog: its redaction cannot be turned off, its cap is
    // the default.
    const SiteSettings site = readSiteSettings();
    const bool redacting = parser.isSet(redact) || site.redact;
    if (parser.isSet(archive) && toStandardOutput && redacting)
        return usageError(Text::tr("this site's settings ask for redaction, which needs a file for --output: the key "
                                   "to the stand-ins goes beside it"));
    const std::optional<quint64> cap =
        parser.isSet(maxLogSize) ? byteCount(parser.value(maxLogSize)) : site.maxLogSize.value_or(0);
    UploadRequest uploadRequest;
    if (parser.isSet(uploadTo)) {
        if (!parser.isSet(archive) && !parser.isSet(output))
            return usageError(Text::tr("--upload needs --support-archive, or --output with the archive to upload"));
        if (toStandardOutput)
            return usageError(Text::tr("--upload needs a file for --output"));
        uploadRequest.address = parser.value(uploadTo);
        QString problem;
        if (!uploadTarget(uploadRequest.address, QStringLiteral("name"), problem))
            return usageError(problem);
        uploadRequest.caseId = parser.value(caseNumber);
        if (parser.isSet(caseNumber) && !validCaseId(uploadRequest.caseId))
            return usageError(
                Text::tr("not a case: %1 (up to 40 letters, digits, \"-\" and \".\")").arg(uploadRequest.caseId));
        QStringList caFiles = parser.values(caFile);
        if (!site.caFile.isEmpty())
            caFiles << site.caFile;
        for (const QString &path : std::as_const(caFiles)) {
            const std::optional<QList<QSslCertificate>> certificates = readCaFile(path, problem);
            if (!certificates)
                return usageError(problem);
            uploadRequest.extraCas << *certificates;
        }
    } else if (parser.isSet(caseNumber) || parser.isSet(caFile)) {
        return usageError(Text::tr("--%1 needs --upload").arg(parser.isSet(caseNumber) ? "case" : "ca-file"));
    }
    if (!cap)
        return usageError(Text::tr("not a size: %1 (bytes, or a number followed by K, M or G)")
                              .arg(parser.value(maxLogSize)));

    // Every name and the level are checked before anything changes.
    QVector<int> switchOn;
    QVector<int> switchOff;
    for (const auto &[option, indexes] : {std::pair{&enable, &switchOn}, std::pair{&disable, &switchOff}}) {
        const std::optional<QStringList> names = listValues(parser, *option);
        if (!names)
            return usageError(Text::tr("--%1 needs the name of a component").arg(option->names().constFirst()));
        for (const QString &name : *names) {
            if (name.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0) {
                *indexes << switchableComponents();
                continue;
            }
            const int index = findComponent(name);
            if (index < 0 || catalogueEntries().at(index).logNames.isEmpty())
                return usageError(Text::tr("unknown component: %1").arg(name));
            indexes->append(index);
        }
    }
    int levelChoice = 1; // the dialog's level at its start
    if (parser.isSet(level) && (levelChoice = levelNamed(parser.value(level))) < 0)
        return usageError(Text::tr("unknown level: %1 (Error, Standard, High or Full)").arg(parser.value(level)));
    const QString mask = levelMask(levelChoice);

    const QString logPath = findLogFolder();
    const LogFolder opened = openLogFolder(logPath);
    const std::shared_ptr<const HeldFolder> &folder = opened.held;
    if (const QString notice = fallbackNotice(logPath); !notice.isEmpty())
        print(stderr, QStringLiteral("zel.logging: ") + notice + QLatin1Char('\n'));
    if (parser.isSet(archive)) {
        for (const QString &unread : site.problems)
            print(stderr, QStringLiteral("zel.logging: ") +
                              Text::tr("%1 (%2) cannot be read as a site setting; it is left at its default")
                                  .arg(unread, QDir::toNativeSeparators(site.source)) +
                              QLatin1Char('\n'));
    }
    if (!folder) {
        print(stderr, QStringLiteral("zel.logging: ") + folderProblem(opened) + QLatin1Char('\n'));
        return 1;
    }
    for (const QString &foreign : tidyAfterEarlierRuns(folder))
        print(stderr, QStringLiteral("zel.logging: ") + QDir::toNativeSeparators(foreign) + QStringLiteral(": ") +
                          Text::tr("looks like a recovery file of an INI file, but belongs to none; it was left alone") +
                          QLatin1Char('\n'));

    QStringList problems;
    const auto problem = [&](const QString &path, const QString &why) {
        problems << QDir::toNativeSeparators(path) + QStringLiteral(": ") + why;
    };
    for (int index : switchOff) {
        for (const QString &log : logPaths(logPath, catalogueEntries().at(index))) {
            const FileFault fault = removeLogFile(*folder, QFileInfo(log).fileName());
            if (fault != FileFault::None)
                problem(log, Text::tr("could not be deleted (%1)").arg(faultText(fault)));
        }
    }
    LevelRecord levels;
    const auto addFaults = [&](const LevelWrite &write) {
        record(levels, write);
        for (const IniFault &fault : write.faults)
            problem(fault.path, refusalText(fault.refusal));
    };
    for (int index : switchOn) {
        const ComponentEntry &entry = catalogueEntries().at(index);
        const QStringList logs = logPaths(logPath, entry);
        for (const QString &log : logs) {
            const FileFault fault = ensureLogFile(*folder, QFileInfo(log).fileName());
            if (fault != FileFault::None)
                problem(log, Text::tr("could not be made (%1)").arg(faultText(fault)));
        }
        addFaults(writeLevel(folder, paramPaths(logPath, entry), logs, mask));
    }

    QStringList logFiles;
    QStringList paramFiles;
    for (int index : switchableComponents()) {
        const ComponentEntry &entry = catalogueEntries().at(index);
        if (!isLogging(folder.get(), entry))
            continue;
        logFiles << logPaths(logPath, entry);
        paramFiles << paramPaths(logPath, entry);
        if (parser.isSet(level) && !switchOn.contains(index))
            addFaults(writeLevel(folder, paramPaths(logPath, entry), logPaths(logPath, entry), mask));
    }

    if (parser.isSet(clear)) {
        const bool moveOlder = parser.isSet(older);
        const Clearing clearing = clearLogs(*folder, logFiles, [moveOlder] { return moveOlder; });
        if (!clearing.backups)
            problem(logPath + backupFolderName,
                    Text::tr("is no folder and cannot be made one, so no log was backed up and emptied"));
        for (const QString &log : clearing.kept)
            problem(log, Text::tr("could not be backed up and emptied; it keeps its contents"));
    }

    if (parser.isSet(archive)) {
        // Standard output takes a finished archive: it is built in a private folder first, gone
        // once it is copied.
        const QTemporaryDir privateFolder(QDir::tempPath() + QStringLiteral("/zel.logging-XXXXXX"));
        const QString target = toStandardOutput ? privateFolder.path() + QLatin1Char('/') + archiveName
                               : parser.isSet(output) ? QFileInfo(outputPath).absoluteFilePath()
                                                      : supportArchivePath(logPath);
        if (parser.isSet(output) && !toStandardOutput) {
            if (const auto held = HeldFolder::hold(QFileInfo(target).absolutePath() + QLatin1Char('/')))
                completeRedactedPair(*held, QFileInfo(target).fileName());
        }
        FileFault fault = FileFault::None;
        const std::unique_ptr<PendingFile> file =
            toStandardOutput ? newPendingFile(target, fault, NewFileAccess::OwnerOnly)
            : parser.isSet(output) ? newPendingFile(target, fault, NewFileAccess::Readable, true)
                                   : newSupportArchive(*folder, fault);
        if (logFiles.isEmpty()) {
            problems << Text::tr("No component is switched on. Please switch one on, log a session and try again");
        } else if (logsAreEmpty(*folder, logFiles)) {
            problems << Text::tr("All log files are empty. Please log another session and try again");
        } else if (!file) {
            problem(target, Text::tr("cannot be written (%1)").arg(faultText(fault)));
        } else {
            const bool terminal = stderrIsTerminal();
            const std::atomic<bool> cancel{false};
            const QString mapping = redacting ? redactionMappingPath(target) : QString();
            BuildReport report;
            const BuildOutcome outcome = buildSupportFile(
                {folder, logFiles, paramFiles, *cap, levels, mapping, site}, *file,
                [terminal](const BuildProgress &now) {
                    if (terminal)
                        showProgress(now);
                },
                cancel, report);
            if (terminal)
                print(stderr, QStringLiteral("\r\033[K"));
            for (const QString &left : std::as_const(report.leftOut))
                problems << left + QStringLiteral(" ") + Text::tr("(left out of the support file)");
            if (outcome == BuildOutcome::Built && toStandardOutput) {
                if (!copyToStandardOutput(file->stream()))
                    problems << Text::tr("The support file could not be written to standard output completely.");
            } else if (outcome == BuildOutcome::Built) {
                print(stdout, QDir::toNativeSeparators(target) + QLatin1Char('\n') +
                                  (mapping.isEmpty() ? QString() : QDir::toNativeSeparators(mapping) + QLatin1Char('\n')));
                // The archive as it was committed, through the file written, whatever has its
                // name by now.
                QFile built;
                if (parser.isSet(uploadTo)) {
                    if (!built.open(file->stream(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
                        problem(target, Text::tr("cannot be read for the upload"));
                    else if (const std::optional<QString> failed =
                                 upload(built, target, !mapping.isEmpty(), uploadRequest))
                        problems << *failed;
                }
            } else {
                problem(target, report.problem.isEmpty()
                                    ? Text::tr("The support file could not be written completely (is the disk full?). "
                                               "An earlier support file stays as it was.")
                                    : report.problem);
            }
        }
    }

    if (parser.isSet(uploadTo) && !parser.isSet(archive)) {
        // An archive made earlier is uploaded only when it is a file of its own, so that a link
        // put in its place cannot send another file of the user's to the desk.
        const QString path = QFileInfo(outputPath).absoluteFilePath();
        const PlainFile plain = openPlainFile(path, false);
        QFile existing;
        if (!plain || !existing.open(plain.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
            problem(path, Text::tr("cannot be uploaded: it is missing, cannot be read, or is no regular file of its own "
                                   "(a link, a folder, or a file with a second name)"));
        else if (const std::optional<QString> failed =
                     upload(existing, path, isPlainFile(redactionMappingPath(path)), uploadRequest))
            problems << *failed;
    }

    if (parser.isSet(json)) {
        if (!printBytes(listJson(*folder, logPath)))
            problems << Text::tr("The listing could not be written to standard output completely.");
    } else if (parser.isSet(listing)) {
        list(*folder, logPath);
    }
    for (const QString &problem : std::as_const(problems))
        print(stderr, QStringLiteral("zel.logging: ") + problem + QLatin1Char('\n'));
    return problems.isEmpty() ? 0 : 1;
}
