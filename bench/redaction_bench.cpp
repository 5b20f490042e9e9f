// What redaction adds to the support archive's time: the same logs built into an archive with
// the batch add, read as they are and read through the redactor, best of several runs. The logs
// are camera logs in which every fourth line names an IPv4 address, and every tenth an IPv6 or a
// MAC address, the machine or a user. It prints figures; it is not a test.
// Usage: redaction_bench [MEGABYTES [RUNS]]

#include "archive.h"
#include "redaction.h"
#include "zipassembler.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace {

Identity machine{{"camlab-pc"}, {"corp.example.org"}, {"alice", "bob"}, {"/home/alice", "/home/bob"}, {}, {}, {}};

QByteArray cameraLog(qsizetype size, int seed)
{
    QByteArray log;
    log.reserve(size + 200);
    for (qint64 line = 0; log.size() < size; ++line) {
        const qint64 n = line * 7919 + seed;
        log += "2026-12-08 10:" + QByteArray::number(n / 60 % 60).rightJustified(2, '0') + ':' +
               QByteArray::number(n % 60).rightJustified(2, '0') + " kv4_cam frame " + QByteArray::number(n) +
               " exposure " + QByteArray::number(n % 977) + " us";
        if (line % 4 == 0)
            log += " from 192.168." + QByteArray::number(n % 3) + '.' + QByteArray::number(n % 250 + 2);
        if (line % 10 == 1)
            log += " link fe80::21a:2bff:fe3c:" + QByteArray::number(n % 4096, 16);
        if (line % 10 == 3)
            log += " camera 00:0f:31:a1:b2:" + QByteArray::number(n % 256, 16).rightJustified(2, '0');
        if (line % 10 == 7)
            log += " by alice on camlab-pc";
        log += '\n';
    }
    return log;
}

// Seconds to build the archive of `paths` with one batch add, through a redactor or not.
double build(const std::vector<QString> &paths, const QString &target, bool redact)
{
    QElapsedTimer clock;
    clock.start();
    ZipAssemblerHandle *archive = zipAssemblerCreate(target.toUtf8().constData(), 0, ZipTargetKind::FileName);
    Redactor redactor(machine);
    std::vector<SharedFile> files;
    std::vector<std::unique_ptr<RedactedSource>> sources;
    std::vector<QByteArray> names;
    std::vector<ZipAssemblerEntry> entries;
    for (const QString &path : paths) {
        files.push_back(shared(openPlainFile(path, false)));
        names.push_back(path.section('/', -1).toUtf8());
        sources.push_back(std::make_unique<RedactedSource>(files.back(), redactor));
    }
    // As the archive does: every entry learned before the first is packed.
    std::vector<std::FILE *> learned;
    for (size_t i = 0; redact && i < files.size(); ++i)
        learned.push_back(files[i].get());
    redactor.learnFiles(learned);
    for (size_t i = 0; i < paths.size(); ++i) {
        entries.push_back(redact ? ZipAssemblerEntry{names[i].constData(), sources[i]->reader(), 0, ZipSourceKind::Reader,
                                                     ZipAssemblerResult::Ok}
                                 : ZipAssemblerEntry{names[i].constData(), files[i].get(), 0, ZipSourceKind::Stream,
                                                     ZipAssemblerResult::Ok});
    }
    zipAssemblerAddBatch(archive, entries.data(), uint32_t(entries.size()), nullptr, nullptr);
    zipAssemblerClose(archive);
    return double(clock.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const qsizetype megabytes = argc > 1 ? std::atoi(argv[1]) : 64;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    QTemporaryDir folder;
    // One large log and eight small ones, as a support archive at "Full" usually holds.
    std::vector<QString> paths;
    for (int i = 0; i < 9; ++i) {
        paths.push_back(folder.filePath(QStringLiteral("log%1.log").arg(i)));
        QFile file(paths.back());
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(cameraLog(i == 0 ? megabytes * 1000000 / 2 : megabytes * 1000000 / 16, i)) < 0)
            return 1;
    }
    const double bytes = double(megabytes) * 1e6;
    double plain = 1e9;
    double redacted = 1e9;
    for (int run = 0; run < runs; ++run) {
        plain = std::min(plain, build(paths, folder.filePath(QStringLiteral("plain.zip")), false));
        redacted = std::min(redacted, build(paths, folder.filePath(QStringLiteral("redacted.zip")), true));
    }
    // The redactor alone, on one core, for scale.
    Redactor redactor(machine);
    const QByteArray log = cameraLog(megabytes * 1000000 / 4, 1);
    QElapsedTimer clock;
    clock.start();
    Redactor::Counts counts{};
    QByteArray out;
    redactor.redact(log, 0, true, out, counts);
    const double alone = double(clock.nsecsElapsed()) / 1e9;
    std::printf("%lld MB in 9 logs, best of %d runs, %u cores\n", qlonglong(megabytes), runs,
                std::thread::hardware_concurrency());
    std::printf("archive, as they are:  %6.1f MB/s\n", bytes / plain / 1e6);
    std::printf("archive, redacted:     %6.1f MB/s\n", bytes / redacted / 1e6);
    std::printf("redaction adds:        %6.1f %%\n", (redacted / plain - 1) * 100);
    std::printf("redactor alone:        %6.1f MB/s on one core\n", double(log.size()) / alone / 1e6);
    return 0;
}
