#include "testenv.h"

#include "privileges.h"

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTest>

LogFolderTest::LogFolderTest() : folder(useTestLogFolder(root.path()))
{
    QDir(root.path()).mkpath("outside");
}

LogFolderTest::~LogFolderTest()
{
    makeRemovable(root.path());
    releaseTestLogFolder(folder);
}

void makeRemovable(const QString &folder)
{
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    QFile::setPermissions(folder, QFileDevice::Permissions(0x7777));
    while (it.hasNext())
        QFile::setPermissions(it.next(), QFileDevice::Permissions(0x7777));
}

void LogFolderTest::write(const QString &name, const QByteArray &bytes) const
{
    QFile file(path(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path(name).toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray LogFolderTest::read(const QString &name) const
{
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool LogFolderTest::exists(const QString &name) const
{
    return QFileInfo::exists(path(name));
}

QMap<QString, QByteArray> LogFolderTest::outsideSnapshot() const
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(outside(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        QFile file(entry.filePath());
        if (entry.isSymLink())
            entries[entry.filePath()] = "link to " + entry.symLinkTarget().toUtf8();
        else if (entry.isDir())
            entries[entry.filePath()] = "folder";
        else if (!entry.isFile())
            entries[entry.filePath()] = "pipe or device";
        else
            entries[entry.filePath()] = file.open(QIODevice::ReadOnly) ? file.readAll() : "unreadable";
    }
    return entries;
}

::testing::AssertionResult eventually(const std::function<bool()> &holds, int timeoutMs)
{
    if (QTest::qWaitFor(holds, timeoutMs))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "still not so after " << timeoutMs << " ms";
}

// Every Qt test program runs inside a QApplication on the offscreen platform.
int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Until a test points them elsewhere, the data locations lead nowhere real.
    qputenv("XDG_DATA_HOME", "/nonexistent/zel-test-home");
    qputenv("XDG_DATA_DIRS", "/nonexistent/zel-test-shared");
    dropFileOverrides();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
