#pragma once
// Runs the program's command line as its own process without a display, against the test's
// temporary log folder.

#include "testenv.h"

#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
    QByteArray bytes; // standard output as it came
};

class CommandLineTest : public LogFolderTest {
protected:
    // A program that starts the command line, with its arguments; none: it starts directly.
    QStringList launcher;

    // In the C locale unless `changes` to the environment say otherwise. A program that crashed
    // has exit code -1, and its output all the same.
    Outcome run(const QStringList &arguments, const QMap<QString, QString> &changes = {}) const
    {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        environment.insert("LANG", "C");
        environment.insert("LC_ALL", "C");
        for (auto change = changes.cbegin(); change != changes.cend(); ++change)
            environment.insert(change.key(), change.value());
        program.setProcessEnvironment(environment);
        if (launcher.isEmpty())
            program.start(ZEL_PROGRAM, arguments);
        else
            program.start(launcher.first(), launcher.mid(1) + QStringList(ZEL_PROGRAM) + arguments);
        Outcome result;
        if (!program.waitForFinished(60000)) {
            program.kill();
            program.waitForFinished();
        } else if (program.exitStatus() == QProcess::NormalExit) {
            result.exitCode = program.exitCode();
        }
        // Windows writes its text streams with CR LF.
        result.bytes = program.readAllStandardOutput();
        result.out = QString::fromLocal8Bit(result.bytes).replace("\r\n", "\n");
        result.err = QString::fromLocal8Bit(program.readAllStandardError()).replace("\r\n", "\n");
        return result;
    }
    // Every file of the log folder with its contents.
    QMap<QString, QByteArray> snapshot() const
    {
        QMap<QString, QByteArray> files;
        for (const QString &name : QDir(logPath()).entryList(QDir::Files | QDir::Hidden))
            files[name] = read(name);
        return files;
    }
};

