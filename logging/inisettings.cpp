#include "inisettings.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <SimpleIni.h>

#include <string>

namespace {

// INI files are a few hundred bytes; anything far larger is not one of ours.
constexpr qint64 maxIniSize = 16 * 1024 * 1024;

bool isNewLine(char c)
{
    return c == '\n' || c == '\r';
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

bool isComment(char c)
{
    return c == ';' || c == '#';
}

// True when the INI reader keeps everything the file holds, so that saving it loses nothing.
// It drops lines that are neither blank, a comment, a section header nor a key with "=";
// text after a section header's "]"; a second value of the same key (only the last one
// stays); and comments with no entry after them (but for the file's leading comment). Such a
// file (binary data, NUL bytes, text that is no INI) is left alone rather than rewritten
// without them.
bool keepsEverything(const QByteArray &text)
{
    if (text.contains('\0'))
        return false;
    qsizetype pos = text.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    bool leadingComment = pos < text.size() && isComment(text.at(pos));
    bool commentPending = false;
    QByteArray section;
    QSet<QByteArray> keys;
    while (pos < text.size()) {
        qsizetype end = pos;
        while (end < text.size() && !isNewLine(text.at(end)))
            ++end;
        const QByteArray line = trimmed(text.mid(pos, end - pos));
        leadingComment = leadingComment && !line.isEmpty() && isComment(text.at(pos));
        if (!line.isEmpty() && isComment(line.at(0))) {
            commentPending = !leadingComment;
        } else if (line.startsWith('[')) {
            const qsizetype close = line.indexOf(']');
            if (close != line.size() - 1)
                return false;
            section = trimmed(line.mid(1, close - 1)).toLower();
            commentPending = false;
        } else if (!line.isEmpty()) {
            const qsizetype equals = line.indexOf('=');
            if (equals <= 0)
                return false;
            const QByteArray key = section + '\n' + trimmed(line.left(equals)).toLower();
            if (keys.contains(key))
                return false;
            keys.insert(key);
            commentPending = false;
        }
        // CR LF ends one line, as the reader takes it.
        pos = end + (text.mid(end, 2) == "\r\n" ? 2 : 1);
    }
    return !commentPending;
}

// The components read CR LF line ends on every platform; the INI library writes its
// platform's line end, which is a bare LF outside Windows.
QByteArray withCrLf(const std::string &saved)
{
    QByteArray out;
    out.reserve(qsizetype(saved.size() + saved.size() / 16));
    for (char c : saved) {
        if (c == '\n' && (out.isEmpty() || out.back() != '\r'))
            out.append('\r');
        out.append(c);
    }
    return out;
}

} // namespace

bool updateLoggingIni(const QString &iniPath, const QString &logName, const QString &logFolder,
                      const QString &levelMask)
{
    const QFileInfo info(iniPath);
    if (!info.isFile() || info.size() > maxIniSize)
        return false;
    QFile file(iniPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray original = file.readAll();
    file.close();
    if (!keepsEverything(original))
        return false;

    CSimpleIniA ini(false, false, false);
    ini.SetSpaces(false);
    ini.SetQuotes(false);
    ini.SetAllowKeyOnly(false);
    if (ini.LoadData(original.constData(), size_t(original.size())) < 0)
        return false;

    const char *section = "LOGGING";
    if (!ini.GetValue(section, "Logname")) {
        ini.SetValue(section, "Logname", logName.toStdString().c_str());
        if (!ini.GetValue(section, "Logpath"))
            ini.SetValue(section, "Logpath", logFolder.toStdString().c_str());
    }
    ini.SetValue(section, "Logging", levelMask.toStdString().c_str());

    std::string saved;
    if (ini.Save(saved, true) < 0) // a byte-order mark only where the file had one
        return false;
    const QByteArray bytes = withCrLf(saved);
    // A plain open for writing fails on a read-only file, which then keeps its contents.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (file.write(bytes) == bytes.size() && file.flush())
        return true;
    // A full disk or a failing device: put the old contents back as far as they fit.
    file.seek(0);
    file.resize(0);
    file.write(original);
    return false;
}
