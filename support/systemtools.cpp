#include "systemtools.h"

#include <QFileInfo>

QString toolOutputName(const QString &program, const QString &outputName)
{
    return outputName.isEmpty() ? program + QStringLiteral(".txt") : outputName;
}

QStringList toolArguments(const QString &arguments)
{
    if (arguments.isEmpty())
        return {};
    return arguments.split(QLatin1Char(','), Qt::KeepEmptyParts);
}

bool toolSucceeded(bool finished, QProcess::ExitStatus status, int exitCode)
{
    return finished && status == QProcess::NormalExit && exitCode == 0;
}

bool reportIsFresh(const QString &reportPath, const QDateTime &now)
{
    constexpr qint64 reportLifetime = 2 * 60 * 60 * 1000;
    const QFileInfo report(reportPath);
    if (!report.isFile())
        return false;
    const qint64 age = now.toMSecsSinceEpoch() -
                       report.fileTime(QFileDevice::FileMetadataChangeTime).toMSecsSinceEpoch();
    return age < reportLifetime;
}
