#pragma once
// Shared set-up of the Qt test programs: an offscreen application, data locations inside a
// temporary folder (never the user's own), and file permissions that bind even for root.

#include "plainfile.h"

#include <QDir>
#include <QFileDevice>
#include <QMap>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
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

// Makes the dialog's log folder an empty folder of the tests' own, and returns its path with a
// trailing "/". On POSIX it is <root>/shared/zel/, through XDG_DATA_HOME and XDG_DATA_DIRS, with
// the user's runtime folder at <root>/runtime. Windows has no such per-process setting, so there
// it is the real program-data folder's "zel/", and only where nobody else's data is there:
// absent, or left by an earlier test run; the test program stops otherwise. Windows tests share
// that folder, so ctest runs them one at a time.
QString useTestLogFolder(const QString &root);
// Undoes useTestLogFolder once the test is done.
void releaseTestLogFolder(const QString &logPath);
// The permissions QFileInfo reports for a file anybody may read and write: POSIX modes have
// execution bits too, Windows reports execution only for programs.
QFileDevice::Permissions permittedToAll();
// Whether only the running user may open the file: on POSIX no group or other bits, on Windows an
// access list that grants nobody else but the system itself.
bool openToOwnerAlone(const QString &path);
// Whether a folder's modes stop changes inside it; Windows ignores a folder's read-only attribute.
bool folderModesBind();
// Leaves nothing read-only below `folder` that would stop its removal.
void makeRemovable(const QString &folder);

// Gives each test a fresh log folder (useTestLogFolder) and a temporary folder `root` beside it.
class LogFolderTest : public ::testing::Test {
protected:
    LogFolderTest();
    ~LogFolderTest() override;

    QString logPath() const { return folder; }
    QString path(const QString &name) const { return logPath() + name; }
    // The log folder held, as the program holds it.
    std::shared_ptr<const HeldFolder> held() const { return HeldFolder::hold(logPath()); }
    void write(const QString &name, const QByteArray &bytes) const;
    QByteArray read(const QString &name) const;
    bool exists(const QString &name) const;

    // A folder beside the log folder that stands for everything outside it.
    QString outside(const QString &name = QString()) const { return root.path() + "/outside/" + name; }
    // Each entry below the outside folder with its contents (a link: its target), so that a test
    // can tell that nothing there changed and nothing new appeared.
    QMap<QString, QByteArray> outsideSnapshot() const;

    QTemporaryDir root;
    const QString folder;
};
