#include "inisettings.h"

#include "plainfile.h"

#include <QByteArrayList>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <SimpleIni.h>

#include <string>

namespace {

const QByteArray utf8Bom("\xEF\xBB\xBF");

bool isComment(char c)
{
    return c == ';' || c == '#';
}

// The reader's own idea of white space around names, values and lines.
QByteArray trimmed(const QByteArray &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && (text.at(first) == ' ' || text.at(first) == '\t'))
        ++first;
    while (last > first && (text.at(last - 1) == ' ' || text.at(last - 1) == '\t'))
        --last;
    return text.mid(first, last - first);
}

// Lines as the reader splits them: CR LF, LF and a lone CR each end one.
QByteArrayList lines(const QByteArray &text)
{
    QByteArrayList result;
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = pos;
        while (end < text.size() && text.at(end) != '\n' && text.at(end) != '\r')
            ++end;
        result.append(text.mid(pos, end - pos));
        pos = end + (text.mid(end, 2) == "\r\n" ? 2 : 1);
    }
    return result;
}

// Text the reader drops from a file without losing a value, to be put back in its place.
struct DroppedText {
    QHash<QByteArray, QByteArray> remarks; // lower-case section name -> what follows its "]"
    QByteArrayList trailingComment;        // comment lines after the last entry
};

// A file's lines as the comparison sees them: per section (by lower-case name, in the order of
// first appearance) its comment and key lines, trimmed, in order. Comments in front of a header
// belong to its section, as the library keeps them.
struct Outline {
    QByteArrayList names;
    QHash<QByteArray, QByteArrayList> items;
    QSet<QByteArray> headed;        // the sections with a header line
    QHash<QByteArray, QByteArray> remarks; // lower-case section name -> what follows its "]"
    bool lateRemark = false;        // a remark behind a section's second header
    QByteArray last;                // the section of the last line
    QVector<qsizetype> trailing; // the lines of the comments after the last other line
    QByteArrayList raw;
};

Outline outline(const QByteArray &text)
{
    Outline out;
    out.raw = lines(text);
    out.names.append(QByteArray());
    QByteArrayList pending;
    for (qsizetype i = 0; i < out.raw.size(); ++i) {
        const QByteArray line = trimmed(out.raw.at(i));
        if (line.isEmpty())
            continue;
        if (isComment(line.at(0))) {
            pending.append(line);
            out.trailing.append(i);
            continue;
        }
        out.trailing.clear();
        const qsizetype close = line.indexOf(']');
        if (line.startsWith('[') && close > 0) {
            out.last = trimmed(line.mid(1, close - 1)).toLower();
            const bool repeated = out.headed.contains(out.last);
            if (!out.names.contains(out.last))
                out.names.append(out.last);
            out.headed.insert(out.last);
            const QByteArray &rawLine = out.raw.at(i);
            const QByteArray remark = rawLine.mid(rawLine.indexOf(']') + 1);
            if (!trimmed(remark).isEmpty()) {
                out.lateRemark = out.lateRemark || repeated;
                out.remarks.insert(out.last, remark);
            }
            out.items[out.last] += pending;
        } else {
            const qsizetype equals = line.indexOf('=');
            out.items[out.last] += pending;
            out.items[out.last].append(equals < 0 ? line : trimmed(line.left(equals)) + '=' + trimmed(line.mid(equals + 1)));
        }
        pending.clear();
    }
    out.items[out.last] += pending;
    return out;
}

// What the library drops from a file (without byte-order mark) that we can put back: the file
// is loaded and saved unchanged, and every section, key, value and comment of the file must
// be in what was saved, in order, but for remarks behind headers and comments after the last
// entry. Nothing is returned where more is missing, or a remark stands behind a second header.
std::optional<DroppedText> droppedByLibrary(const QByteArray &text)
{
    // The library reads text up to a NUL byte; what follows could not be compared.
    if (text.contains('\0'))
        return {};
    CSimpleIniA ini(false, false, false);
    ini.SetSpaces(false);
    ini.SetQuotes(false);
    ini.SetAllowKeyOnly(false);
    std::string saved;
    if (ini.LoadData(text.constData(), size_t(text.size())) < 0 || ini.Save(saved, false) < 0)
        return {};
    Outline file = outline(text);
    const Outline kept = outline(QByteArray::fromStdString(saved));
    if (file.names != kept.names || file.headed != kept.headed || file.lateRemark)
        return {};
    DroppedText dropped;
    for (const QByteArray &remark : std::as_const(file.remarks))
        if (!isComment(trimmed(remark).at(0)))
            return {};
    dropped.remarks = file.remarks;
    QByteArrayList &tail = file.items[file.last];
    for (qsizetype cut = 0; cut <= file.trailing.size(); ++cut) {
        if (file.items == kept.items) {
            if (cut > 0) {
                const qsizetype from = file.trailing.at(file.trailing.size() - cut);
                dropped.trailingComment = file.raw.mid(from, file.trailing.back() + 1 - from);
            }
            return dropped;
        }
        if (cut < file.trailing.size())
            tail.removeLast();
    }
    return {};
}

// Puts the dropped text back into the saved file: each remark behind its section's header
// (the library writes every section once, its header as "[" + name + "]", and no other line
// starts with "["), the trailing comment at the end.
QByteArray withDroppedText(const QByteArray &saved, const DroppedText &dropped)
{
    QByteArrayList out = saved.split('\n');
    out.removeLast(); // the text after the last line end
    for (QByteArray &line : out) {
        if (line.startsWith('[') && line.endsWith("]\r"))
            line.insert(line.size() - 1, dropped.remarks.value(line.mid(1, line.size() - 3).toLower()));
    }
    for (const QByteArray &comment : dropped.trailingComment)
        out.append(comment + '\r');
    return out.join('\n') + '\n';
}

} // namespace

QByteArray withCrLf(const QByteArray &saved)
{
    QByteArray out;
    out.reserve(saved.size() + saved.size() / 16);
    for (char c : saved) {
        if (c == '\n' && (out.isEmpty() || out.back() != '\r'))
            out.append('\r');
        out.append(c);
    }
    return out;
}

std::optional<QByteArray> updatedIni(const QByteArray &original, const QString &logName, const QString &logFolder,
                                     const QString &levelMask)
{
    const bool bom = original.startsWith(utf8Bom);
    const QByteArray text = bom ? original.mid(utf8Bom.size()) : original;
    const std::optional<DroppedText> dropped = droppedByLibrary(text);
    // The reader would take a second byte-order mark for the first and drop it.
    if (!dropped || text.startsWith(utf8Bom))
        return {};

    CSimpleIniA ini(false, false, false);
    ini.SetSpaces(false);
    ini.SetQuotes(false);
    ini.SetAllowKeyOnly(false);
    if (ini.LoadData(text.constData(), size_t(text.size())) < 0)
        return {};
    const char *section = "LOGGING";
    if (!ini.GetValue(section, "Logname")) {
        ini.SetValue(section, "Logname", logName.toStdString().c_str());
        if (!ini.GetValue(section, "Logpath"))
            ini.SetValue(section, "Logpath", logFolder.toStdString().c_str());
    }
    ini.SetValue(section, "Logging", levelMask.toStdString().c_str());

    std::string saved;
    if (ini.Save(saved, false) < 0)
        return {};
    const QByteArray updated = withDroppedText(withCrLf(QByteArray::fromStdString(saved)), *dropped);
    // A first key whose name starts with the bytes of a byte-order mark would be read back as one.
    if (updated.startsWith(utf8Bom))
        return {};
    // The byte-order mark, where the file had one, is ours to put back.
    return (bom ? utf8Bom : QByteArray()) + updated;
}

Rewrite updateLoggingIni(const std::shared_ptr<const HeldFolder> &folder, const QString &iniName,
                         const QString &logName, const QString &logFolder, const QString &levelMask)
{
    return rewriteRegularFile(folder, iniName, maxIniSize, [&](const QByteArray &old) {
        return updatedIni(old, logName, logFolder, levelMask);
    });
}

namespace {

// The messages' context is the dialog's, which shows them.
struct Text {
    Q_DECLARE_TR_FUNCTIONS(Dialog)
};

// Why the existing file was left as it was: looked at again after the fact, for the message only.
IniRefusal untouchedReason(const HeldFolder &folder, const QString &iniName)
{
    if (folder.kind(iniName) != EntryKind::PlainFile)
        return IniRefusal::NotPlain;
    if (qint64(folder.size(iniName)) > maxIniSize)
        return IniRefusal::TooLarge;
    if (!folder.open(iniName, true))
        return IniRefusal::Unwritable;
    return IniRefusal::NotIni;
}

} // namespace

QString refusalText(IniRefusal refusal)
{
    switch (refusal) {
    case IniRefusal::NotPlain:
        return Text::tr("it is no regular file of its own (a link, a folder or a file with a second name)");
    case IniRefusal::TooLarge:
        return Text::tr("it is larger than 16 MiB");
    case IniRefusal::Unwritable:
        return Text::tr("it cannot be written");
    case IniRefusal::NotIni:
        return Text::tr("it holds text that is no INI file (or repeated keys), which would be lost");
    case IniRefusal::BrokeOff:
        break;
    }
    return Text::tr("a write broke off part way; the file may have changed");
}

const char *refusalCode(IniRefusal refusal)
{
    switch (refusal) {
    case IniRefusal::NotPlain:
        return "link, folder or second name";
    case IniRefusal::TooLarge:
        return "larger than 16 MiB";
    case IniRefusal::Unwritable:
        return "not writable";
    case IniRefusal::NotIni:
        return "not INI text";
    case IniRefusal::BrokeOff:
        break;
    }
    return "write broke off";
}

void record(LevelRecord &levels, const LevelWrite &write)
{
    for (const QString &path : write.updated)
        levels.insert(path, QString());
    for (const IniFault &fault : write.faults)
        levels.insert(fault.path, QLatin1String(refusalCode(fault.refusal)));
}

LevelWrite writeLevel(const std::shared_ptr<const HeldFolder> &folder, const QStringList &paramFiles,
                      const QStringList &logFiles, const QString &levelMask)
{
    LevelWrite write;
    for (int k = 0; k < paramFiles.size() && k < logFiles.size(); ++k) {
        const QString &path = paramFiles.at(k);
        const QString name = QFileInfo(path).fileName();
        const Rewrite result =
            updateLoggingIni(folder, name, QFileInfo(logFiles.at(k)).fileName(), folder->path(), levelMask);
        if (result == Rewrite::Failed)
            write.faults.append({path, IniRefusal::BrokeOff});
        else if (result == Rewrite::Untouched && folder->kind(name) != EntryKind::Missing)
            write.faults.append({path, untouchedReason(*folder, name)});
        else if (result != Rewrite::Untouched)
            write.updated.append(path);
    }
    return write;
}

std::optional<QString> loggingValue(const HeldFolder &folder, const QString &iniName)
{
    const PlainFile file = folder.open(iniName, false);
    QFile reader;
    if (!file || !reader.open(file.get(), QIODevice::ReadOnly) || reader.size() > maxIniSize)
        return std::nullopt;
    const QByteArray text = reader.readAll();
    // A file the update would refuse is no INI file to read a level from either.
    if (!updatedIni(text, QString(), QString(), QString()))
        return std::nullopt;
    CSimpleIniA ini(false, false, false);
    if (ini.LoadData(text.constData(), size_t(text.size())) < 0)
        return std::nullopt;
    return QString::fromUtf8(ini.GetValue("LOGGING", "Logging", ""));
}
