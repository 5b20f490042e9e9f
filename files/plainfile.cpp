#include "plainfile.h"

#include "platform.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>

#include <cstring>

bool removePlainFile(const QString &path)
{
    return isPlainFile(path) && QFile::remove(path);
}

namespace {

// The messages' context is the dialog's, which shows them.
struct Text {
    Q_DECLARE_TR_FUNCTIONS(Dialog)
};

} // namespace

QString faultText(FileFault fault)
{
    switch (fault) {
    case FileFault::NotPlain:
        return Text::tr("a link, a folder or a pipe has its name");
    case FileFault::Denied:
        return Text::tr("no permission");
    case FileFault::NoSpace:
        return Text::tr("the disk is full");
    case FileFault::TooMany:
        return Text::tr("too many files are open");
    case FileFault::None:
    case FileFault::Failed:
        break;
    }
    return Text::tr("the system refused it");
}

namespace {

const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr int uniqueLength = 6;

} // namespace

bool isUniqueName(const QString &name, const QString &prefix, const QString &suffix)
{
    if (name.size() != prefix.size() + uniqueLength + suffix.size() || !name.startsWith(prefix) ||
        !name.endsWith(suffix))
        return false;
    for (const QChar c : QStringView(name).mid(prefix.size(), uniqueLength)) {
        if (c.unicode() > 127 || !std::strchr(letters, char(c.unicode())))
            return false;
    }
    return true;
}

bool isPendingName(const QString &name)
{
    const QString target = name.mid(1 + uniqueLength);
    return target.size() > 1 && target.startsWith(QLatin1Char('~')) && isUniqueName(name, QStringLiteral("~"), target);
}

PlainFile HeldFolder::createUnique(const QString &prefix, const QString &suffix, QString &name,
                                   NewFileAccess access) const
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = prefix;
        for (int i = 0; i < uniqueLength; ++i)
            name += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
        name += suffix;
        bool taken = false;
        PlainFile file = createNew(name, access, taken);
        if (file || !taken)
            return file;
    }
    return nullptr;
}

PlainFile HeldFolder::create(const QString &name) const
{
    bool taken = false;
    return createNew(name, NewFileAccess::Shared, taken);
}

std::unique_ptr<PendingFile> HeldFolder::createPending(const QString &target, NewFileAccess access) const
{
    QString name;
    PlainFile file = createUnique(QStringLiteral("~"), QLatin1Char('~') + target, name, access);
    if (!file)
        return nullptr;
    return std::make_unique<PendingFile>(shared_from_this(), target, name, std::move(file));
}

void HeldFolder::removeLeftovers() const
{
    for (const QString &name : names()) {
        if (!isPendingName(name))
            continue;
        // Held while it is removed, so that no program can take it up meanwhile.
        const PlainFile leftover = claimLeftover(name);
        if (leftover && holds(name, leftover.get()))
            remove(name);
    }
}

PendingFile::PendingFile(std::shared_ptr<const HeldFolder> folder, QString target, QString name, PlainFile file)
    : folder(std::move(folder)), target(std::move(target)), name(std::move(name)), file(std::move(file))
{
}

PendingFile::~PendingFile()
{
    // Only the file made here goes: a file another user put in its place is theirs.
    if (!settled && file && folder->holds(name, file.get()))
        folder->remove(name);
}

bool PendingFile::commit()
{
    const bool done = file && std::fflush(file.get()) == 0 && syncFile(file.get()) &&
                      folder->holds(name, file.get()) && folder->replace(name, target) &&
                      folder->holds(target, file.get());
    if (!done && file && folder->holds(name, file.get()))
        folder->remove(name);
    // Either way the name is no longer ours to remove.
    settled = true;
    return done;
}
