#pragma once
// Shared set-up of the Qt test programs: an offscreen application, data locations inside a
// temporary folder (never the user's own), and file permissions that bind even for root.

#include <QDir>
#include <QMap>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList &list, std::ostream *out)
{
    *out << '[' << list.join(", ").toStdString() << ']';
}

// Lets events arrive until `holds()` is true or `timeoutMs` has passed. Check the result with
// ASSERT_TRUE or EXPECT_TRUE, so that a time-out fails the test: Qt's QTRY_ macros only return
// from a GoogleTest test, which then counts as passed.
[[nodiscard]] ::testing::AssertionResult eventually(const std::function<bool()> &holds, int timeoutMs = 5000);

// Points XDG_DATA_HOME and XDG_DATA_DIRS into a fresh temporary folder, so the dialog's log
// folder is <root>/shared/zel/. Each test gets its own.
class LogFolderTest : public ::testing::Test {
protected:
    LogFolderTest();
    ~LogFolderTest() override;

    QString logPath() const { return root.path() + "/shared/zel/"; }
    QString path(const QString &name) const { return logPath() + name; }
    void write(const QString &name, const QByteArray &bytes) const;
    QByteArray read(const QString &name) const;
    bool exists(const QString &name) const;

    // A folder beside the log folder that stands for everything outside it.
    QString outside(const QString &name = QString()) const { return root.path() + "/outside/" + name; }
    // Each entry below the outside folder with its contents (a link: its target), so that a test
    // can tell that nothing there changed and nothing new appeared.
    QMap<QString, QByteArray> outsideSnapshot() const;

    QTemporaryDir root;
};
