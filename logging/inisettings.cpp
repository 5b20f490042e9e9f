#include "inisettings.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <SimpleIni.h>

#include <string>

namespace {

// INI files are a few hundred bytes; anything far larger is not one of ours.
constexpr qint64 maxIniSize = 16 * 1024 * 1024;

bool isNewLine(char c)
{
    return c == '\n' || c == '\r';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// True when every line is one the INI reader keeps: blank, a comment, a section header or a
// key with "=". Saving drops every other line, so a file with any other line (binary data,
// NUL bytes, text that is no INI) is left alone rather than rewritten without it.
bool keepsEveryLine(const QByteArray &text)
{
    if (text.contains('\0'))
        return false;
    qsizetype pos = text.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (pos < text.size()) {
        qsizetype end = pos;
        while (end < text.size() && !isNewLine(text.at(end)))
            ++end;
        qsizetype first = pos;
        while (first < end && isBlank(text.at(first)))
            ++first;
        if (first < end) {
            const char c = text.at(first);
            const QByteArray line = text.mid(first, end - first);
            const bool comment = c == ';' || c == '#';
            const bool section = c == '[' && line.contains(']');
            const bool key = c != '[' && c != '=' && line.contains('=');
            if (!comment && !section && !key)
                return false;
        }
        pos = end + 1;
    }
    return true;
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
    if (!keepsEveryLine(original))
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
    const bool written = file.write(bytes) == bytes.size();
    return file.flush() && written;
}
