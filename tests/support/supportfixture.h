#pragma once
// What the tests of the support buttons share: stand-in programs, answers to the message boxes,
// the independent archive readers and the fixture with its own log folder.

#include "dialog.h"
#include "testenv.h"

#include <QByteArray>
#include <QList>
#include <QMessageBox>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <optional>
#include <ostream>

// Stand-in programs in a folder that is the whole PATH while a test runs, so that no tool of
// the machine itself can ever be started. Each records its arguments and counts its runs.
class StandIns {
public:
    explicit StandIns(const QString &folder);
    ~StandIns();

    // Writes the program `name`: it records itself, then runs `script` (shell built-ins only,
    // since PATH holds nothing else).
    void add(const QString &name, const QByteArray &script) const;

    int runs(const QString &name) const;
    // The runs with exactly these arguments (none of them holding a space).
    int runs(const QString &name, const QStringList &arguments) const;
    // The arguments of the last run.
    QStringList arguments(const QString &name) const;

private:
    QByteArray argumentsFile(const QString &name) const { return (folder + "/" + name + ".args").toUtf8(); }
    QByteArray runsFile(const QString &name) const { return (folder + "/" + name + ".runs").toUtf8(); }

    QString folder;
    QByteArray savedPath;
};

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    QStringList labels; // the texts of all its buttons, in the order they were added
};

// A standard button, or one of the program's own by its text.
struct BoxAnswer {
    BoxAnswer(QMessageBox::StandardButton button) : button(button) {}
    BoxAnswer(const char *label) : label(QString::fromUtf8(label)) {}
    QMessageBox::StandardButton button = QMessageBox::NoButton;
    QString label;
};

// The box that ends every "Create Support File" that built an archive. Unless a test asks to
// see it (`answerResultBoxes`), SupportTest closes it with OK and BoxAnswers passes it by, so that
// a test of other things needs no answer for it.
inline const QString resultBoxTitle = QStringLiteral("Support File Created");
extern bool answerResultBoxes;

// Answers the message boxes that come up, one answer each in turn, and records what they
// showed. NoButton closes the box's window instead of clicking. A box beyond the answers is
// recorded and dismissed, so that an unexpected question shows as a failure, not a hang.
class BoxAnswers {
public:
    explicit BoxAnswers(QList<BoxAnswer> answers = {});

    QList<SeenBox> seen;

private:
    void answerOpenBoxes();

    QList<BoxAnswer> answers;
    QTimer timer;
};

// The independent archive readers, found on the PATH the test program started with.
struct Readers {
    QString python;
    QString unzip;
    QProcessEnvironment environment;
};

// Taken while the program starts, before any test narrows PATH.
extern const Readers readers;

bool haveReaders();

struct Entry {
    QString name;
    QByteArray data;
    bool operator==(const Entry &other) const { return name == other.name && data == other.data; }
};

void PrintTo(const Entry &entry, std::ostream *out);

// The archive's entries as Python's zipfile reads them (checking every CRC), after `unzip -t`
// found no error, without the manifest, which must be the last entry and a JSON object. Adds a
// failure and returns nothing when either reader refuses the archive or the manifest is wrong.
std::optional<QList<Entry>> readArchive(const QString &path);
// The same with the manifest, unchecked.
std::optional<QList<Entry>> readWholeArchive(const QString &path);

QStringList names(const QList<Entry> &entries);
QByteArray data(const QList<Entry> &entries, const QString &name);

// The one warning that comes instead of an archive when every log is empty.
void expectEmptyLogsWarning(const QList<SeenBox> &seen);

// Each test runs with its own log folder and with PATH holding only its stand-ins.
class SupportTest : public LogFolderTest {
protected:
    SupportTest();

    static void click(Dialog &dialog, const char *button);

    // The report script: the system report, or with --network the network listing, each
    // printing what it is named after unless another script is given.
    void addSystemTools(const QByteArray &report = "echo system report",
                        const QByteArray &network = "echo network") const;

    int reportRuns() const { return tools.runs("zel-sysreport", {}); }
    int networkRuns() const { return tools.runs("zel-sysreport", {"--network"}); }

    void makeFolder(const QString &name) const { ASSERT_TRUE(QDir().mkpath(path(name))); }

    // A link in the log folder to `target` outside it, which holds `bytes` unless they are null.
    void linkOut(const QString &name, const QString &target, const QByteArray &bytes = QByteArray()) const;
    // A second name in the log folder (a hard link) of the file `target` outside it, which holds
    // `bytes` and may be read and written by its group.
    void hardLinkOut(const QString &name, const QString &target, const QByteArray &bytes) const;

    // A named pipe held open by a writer that never writes, until the test ends.
    void idlePipe(const QString &name);
    ~SupportTest() override;
    QList<int> writers;

    QStringList folderNames(const QString &folder = QString()) const;

    StandIns tools;

private:
    QTimer resultCloser;
};
