// Clearing a log while a component appends to it flat out: how many lines are lost between
// the backup and the emptied log. Each run writes a log of numbered lines, starts a writer
// process that appends more as fast as it can, clears the log, stops the writer and reads the
// backup and the log back. It prints figures; it is not a test.
// Usage: clearing_bench [RUNS [MEGABYTES]]

#include "clearing.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray line(long number)
{
    return "2026-12-08 kv4_cam frame " + QByteArray::number(qlonglong(number)) + " exposure ok\n";
}

// Appends numbered lines, each with one write as a component does, until it is killed.
[[noreturn]] void appendForever(const QByteArray &path, long first)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND);
    for (long number = first; fd >= 0; ++number) {
        const QByteArray text = line(number);
        if (::write(fd, text.constData(), size_t(text.size())) != text.size())
            break;
    }
    _exit(0);
}

struct Outcome {
    long lost = 0;   // lines in neither file
    long copied = 0; // lines that came during the clearing and went into the backup
    bool ordered = true;
};

Outcome count(const QByteArray &text, long firstAppended)
{
    Outcome outcome;
    long previous = -1;
    for (const QByteArray &row : text.split('\n')) {
        if (row.isEmpty())
            continue;
        const long number = row.split(' ').value(3).toLong();
        outcome.ordered = outcome.ordered && number > previous;
        outcome.lost += number > previous + 1 ? number - previous - 1 : 0;
        previous = number;
    }
    outcome.copied = previous >= firstAppended ? previous - firstAppended + 1 : 0;
    return outcome;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    const int megabytes = argc > 2 ? std::atoi(argv[2]) : 30;
    QTemporaryDir folder;
    const QString logPath = folder.path() + "/";
    long totalLost = 0;
    int runsWithLoss = 0;
    std::printf("run  log MB  appended during clearing  lost lines  order kept\n");
    for (int run = 1; run <= runs; ++run) {
        QByteArray text;
        long lines = 0;
        while (text.size() < megabytes * 1024 * 1024)
            text += line(lines++);
        QFile log(logPath + "kv4_cam.log");
        if (!log.open(QIODevice::WriteOnly | QIODevice::Truncate) || log.write(text) != text.size())
            return 1;
        log.close();
        const QByteArray path = QFile::encodeName(log.fileName());
        const pid_t writer = fork();
        if (writer == 0)
            appendForever(path, lines);
        usleep(20000); // the writer is under way
        const auto logs = HeldFolder::hold(logPath);
        const auto backups = logs ? makeBackupFolder(*logs) : nullptr;
        const bool cleared = backups && backUpAndEmpty(*logs, QStringLiteral("kv4_cam.log"), *backups);
        kill(writer, SIGKILL);
        waitpid(writer, nullptr, 0);
        QFile backup(logPath + "backup/kv4_cam.log");
        QFile rest(log.fileName());
        if (!cleared || !backup.open(QIODevice::ReadOnly) || !rest.open(QIODevice::ReadOnly))
            return 1;
        const Outcome outcome = count(backup.readAll() + rest.readAll(), lines);
        totalLost += outcome.lost;
        runsWithLoss += outcome.lost > 0;
        std::printf("%3d  %6d  %24ld  %10ld  %s\n", run, megabytes, outcome.copied, outcome.lost,
                    outcome.ordered ? "yes" : "NO");
    }
    std::printf("lost lines: %ld in all, in %d of %d runs\n", totalLost, runsWithLoss, runs);
    return 0;
}
