#include "supportfixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

StandIns::StandIns(const QString &folder) : folder(folder), savedPath(qgetenv("PATH"))
{
    QDir().mkpath(folder);
    qputenv("PATH", folder.toUtf8());
}

StandIns::~StandIns()
{
    qputenv("PATH", savedPath);
}

void StandIns::add(const QString &name, const QByteArray &script) const
{
    const QByteArray record = "printf '%s\\n' \"$#\" > '" + argumentsFile(name) +
                              "'\nfor a in \"$@\"; do printf '%s\\0' \"$a\" >> '" + argumentsFile(name) +
                              "'; done\nprintf '%s\\0' \"$#:$*\" >> '" + runsFile(name) + "'\n";
    QFile file(folder + "/" + name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("#!/bin/sh\n" + record + script + "\n");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

int StandIns::runs(const QString &name) const
{
    QFile file(runsFile(name));
    return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\0')) : 0;
}

int StandIns::runs(const QString &name, const QStringList &arguments) const
{
    QFile file(runsFile(name));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray run = QByteArray::number(arguments.size()) + ":" + arguments.join(' ').toUtf8();
    return int(file.readAll().split('\0').count(run));
}

QStringList StandIns::arguments(const QString &name) const
{
    QFile file(argumentsFile(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const int count = file.readLine().trimmed().toInt();
    QStringList arguments;
    for (const QByteArray &argument : file.readAll().split('\0').mid(0, count))
        arguments << QString::fromUtf8(argument);
    return arguments;
}

BoxAnswers::BoxAnswers(QList<BoxAnswer> answers) : answers(answers)
{
    QObject::connect(&timer, &QTimer::timeout, [this] { answerOpenBoxes(); });
    timer.start(10);
}

void BoxAnswers::answerOpenBoxes()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box || !box->isVisible() || box->property("answered").toBool() ||
            (!answerResultBoxes && box->windowTitle() == resultBoxTitle))
            continue;
        box->setProperty("answered", true);
        QStringList labels;
        QAbstractButton *labelled = nullptr;
        const BoxAnswer answer = answers.isEmpty() ? BoxAnswer(QMessageBox::Abort) : answers.takeFirst();
        for (QAbstractButton *button : box->buttons()) {
            labels << button->text();
            if (!answer.label.isEmpty() && button->text() == answer.label)
                labelled = button;
        }
        seen.append({box->windowTitle(), box->text(), box->icon(), box->standardButtons(), labels});
        if (labelled)
            labelled->click();
        else if (answer.label.isEmpty() && answer.button == QMessageBox::NoButton)
            box->close();
        else if (QAbstractButton *button = answer.label.isEmpty() ? box->button(answer.button) : nullptr)
            button->click();
        else
            box->done(0);
    }
}

namespace {

Readers findReaders()
{
    return {QStandardPaths::findExecutable("python3"), QStandardPaths::findExecutable("unzip"),
            QProcessEnvironment::systemEnvironment()};
}

QByteArray runReader(const QString &program, const QStringList &arguments, int &exitCode)
{
    QProcess reader;
    reader.setProcessEnvironment(readers.environment);
    reader.start(program, arguments);
    exitCode = reader.waitForFinished(-1) && reader.exitStatus() == QProcess::NormalExit ? reader.exitCode() : -1;
    return reader.readAllStandardOutput() + reader.readAllStandardError();
}

} // namespace

const Readers readers = findReaders();

bool haveReaders()
{
    return !readers.python.isEmpty() && !readers.unzip.isEmpty();
}

void PrintTo(const Entry &entry, std::ostream *out)
{
    *out << entry.name.toStdString() << '=' << entry.data.toStdString();
}

std::optional<QList<Entry>> readWholeArchive(const QString &path)
{
    int exitCode = 0;
    const QByteArray tested = runReader(readers.unzip, {"-t", path}, exitCode);
    if (exitCode != 0) {
        ADD_FAILURE() << "unzip -t: " << tested.toStdString();
        return std::nullopt;
    }
    const char *script = "import base64, json, sys, zipfile\n"
                         "with zipfile.ZipFile(sys.argv[1]) as archive:\n"
                         "    print(json.dumps([[i.filename, base64.b64encode(archive.read(i)).decode()]"
                         " for i in archive.infolist()]))\n";
    const QByteArray listing = runReader(readers.python, {"-c", script, path}, exitCode);
    if (exitCode != 0) {
        ADD_FAILURE() << "zipfile: " << listing.toStdString();
        return std::nullopt;
    }
    QList<Entry> entries;
    for (const QJsonValue &item : QJsonDocument::fromJson(listing).array()) {
        const QJsonArray pair = item.toArray();
        entries.append({pair.at(0).toString(), QByteArray::fromBase64(pair.at(1).toString().toLatin1())});
    }
    return entries;
}

std::optional<QList<Entry>> readArchive(const QString &path)
{
    std::optional<QList<Entry>> entries = readWholeArchive(path);
    if (!entries)
        return entries;
    if (entries->isEmpty() || entries->constLast().name != "manifest.json" ||
        !QJsonDocument::fromJson(entries->constLast().data).isObject()) {
        ADD_FAILURE() << "the archive does not end with its manifest";
        return std::nullopt;
    }
    entries->removeLast();
    return entries;
}

QStringList names(const QList<Entry> &entries)
{
    QStringList names;
    for (const Entry &entry : entries)
        names << entry.name;
    return names;
}

QByteArray data(const QList<Entry> &entries, const QString &name)
{
    for (const Entry &entry : entries)
        if (entry.name == name)
            return entry.data;
    return "<no entry>";
}

void expectEmptyLogsWarning(const QList<SeenBox> &seen)
{
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0].title, "Warning");
    EXPECT_EQ(seen[0].text, "All log files are empty. Please log another session and try again");
    EXPECT_EQ(seen[0].icon, QMessageBox::Warning);
    EXPECT_EQ(seen[0].buttons, QMessageBox::Ok);
}

bool answerResultBoxes = false;

SupportTest::SupportTest() : tools(root.path() + "/bin")
{
    answerResultBoxes = false;
    QObject::connect(&resultCloser, &QTimer::timeout, [] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            if (!answerResultBoxes && box && box->isVisible() && box->windowTitle() == resultBoxTitle)
                box->button(QMessageBox::Ok)->click();
        }
    });
    resultCloser.start(10);
}

void SupportTest::click(Dialog &dialog, const char *button)
{
    QPushButton *found = dialog.findChild<QPushButton *>(button);
    ASSERT_TRUE(found) << button;
    found->click();
}

void SupportTest::addSystemTools(const QByteArray &report, const QByteArray &network) const
{
    tools.add("zel-sysreport", "if [ \"$1\" = --network ]; then\n" + network + "\nelse\n" + report + "\nfi");
}

void SupportTest::linkOut(const QString &name, const QString &target, const QByteArray &bytes) const
{
    if (!bytes.isNull()) {
        QFile file(outside(target));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    ASSERT_TRUE(QFile::link(outside(target), path(name)));
}

void SupportTest::hardLinkOut(const QString &name, const QString &target, const QByteArray &bytes) const
{
    QFile file(outside(target));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    ASSERT_TRUE(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                    QFileDevice::WriteGroup));
    ASSERT_EQ(link(QFile::encodeName(outside(target)).constData(), QFile::encodeName(path(name)).constData()), 0);
}

void SupportTest::idlePipe(const QString &name)
{
    ASSERT_EQ(mkfifo(QFile::encodeName(path(name)).constData(), 0600), 0);
    const int writer = open(QFile::encodeName(path(name)).constData(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    writers << writer;
}

SupportTest::~SupportTest()
{
    for (int writer : writers)
        close(writer);
}

QStringList SupportTest::folderNames(const QString &folder) const
{
    return QDir(path(folder)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
}
