// Redacts files as the support archive does, under this machine's identity: every file read once
// for the redactor to learn from, then each read through it into FOLDER under its own name, the
// mapping into FOLDER/mapping.txt. For the corpus check. Usage: redaction_files FOLDER FILE...
#include "redaction.h"
#include "zipassembler.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: redaction_files FOLDER FILE...\n");
        return 2;
    }
    const Identity identity = machineIdentity();
    std::fprintf(stderr, "identity: hosts %s; domains %s; users %s; names %s; addresses %s; MACs %s\n",
                 qPrintable(identity.hostNames.join(u' ')), qPrintable(identity.domains.join(u' ')),
                 qPrintable(identity.users.join(u' ')), qPrintable(identity.fullNames.join(u',')),
                 qPrintable(identity.addresses.join(u' ')), qPrintable(identity.macs.join(u' ')));
    Redactor redactor(identity);
    std::vector<std::unique_ptr<RedactedSource>> sources;
    std::vector<SharedFile> files;
    for (const QString &path : arguments.mid(1)) {
        const SharedFile file = shared(openPlainFile(path, false));
        if (!file) {
            std::fprintf(stderr, "%s: cannot be read\n", qPrintable(path));
            return 1;
        }
        sources.push_back(std::make_unique<RedactedSource>(file, redactor));
        files.push_back(file);
    }
    std::vector<std::FILE *> learned;
    for (const SharedFile &file : files)
        learned.push_back(file.get());
    redactor.learnFiles(learned);
    for (size_t i = 0; i < sources.size(); ++i) {
        QFile out(arguments[0] + u'/' + QFileInfo(arguments[int(i) + 1]).fileName());
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        const ZipAssemblerReader *reader = sources[i]->reader();
        reader->rewind(reader->context);
        uint8_t buffer[65536];
        for (uint32_t got; (got = reader->read(reader->context, buffer, sizeof buffer)) > 0;)
            out.write(reinterpret_cast<const char *>(buffer), got);
    }
    QFile mapping(arguments[0] + QStringLiteral("/mapping.txt"));
    if (!mapping.open(QIODevice::WriteOnly))
        return 1;
    mapping.write("# zel.logging: the originals behind the stand-ins of corpus.redaction.zip.\n" + redactor.mapping());
    const QMap<QString, quint64> counts = redactor.counts();
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        std::fprintf(stderr, "replaced %s: %llu\n", qPrintable(it.key()), qulonglong(it.value()));
    return 0;
}
