#include "dialog.h"

#include "archive.h"
#include "archivebuild.h"
#include "clearing.h"
#include "dialogform.h"
#include "inisettings.h"
#include "leftovers.h"
#include "levels.h"
#include "logfiles.h"
#include "logfolder.h"
#include "mailcopy.h"
#include "plainfile.h"
#include "showinfolder.h"
#include "supportmail.h"
#include "systemtools.h"
#include "uploadflow.h"
#include "workprogress.h"
#include "zipassembler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidgetItemIterator>

namespace {

// A file's size as people read it: "28.6 MiB", "3.9 KiB".
QString sizeText(quint64 bytes)
{
    return QLocale().formattedDataSize(qint64(bytes), 1);
}

} // namespace

Dialog::Dialog(QWidget *parent)
    : QDialog(parent), form(new DialogForm), ready(false)
{
    form->setupUi(this);

    QTreeWidget *tree = form->treeWidget;
    tree->setFocusPolicy(Qt::NoFocus);
    tree->setSelectionMode(QAbstractItemView::NoSelection);
    tree->topLevelItem(interfaceGroup)->setExpanded(true);
    tree->header()->setSectionResizeMode(QHeaderView::Fixed);
    tree->header()->setMinimumHeight(30);

    const QVector<ComponentEntry> &entries = catalogueEntries();
    QTreeWidgetItem *group = tree->topLevelItem(interfaceGroup);
    for (int i = 0; i < entries.size(); ++i) {
        QTreeWidgetItem *item = i < interfaceGroup ? tree->topLevelItem(i) : group->child(i - interfaceGroup);
        components.insert(item, entries.at(i));
    }

    site = readSiteSettings();
    logPath = findLogFolder();
    paramPath = logPath;
    // Held once, made where missing: a link put in place of the folder later leads nowhere.
    const LogFolder opened = openLogFolder(logPath);
    logFolder = opened.held;
    // A folder that other users could lead elsewhere is refused, and one the user may not write
    // into shows its components as they are; either way the user is told why, once, and again at
    // every click on a component. One that cannot be made leaves every component switched off.
    if (opened.access == FolderAccess::Link || opened.access == FolderAccess::BelowLink)
        folderRefusal = folderProblem(opened);
    else if (logFolder && !acceptsNewFiles(*logFolder))
        folderRefusal = tr("You may not write into the log folder %1, so no component can be switched on or off "
                           "here. An administrator can give you that right, or switch the components for you.")
                            .arg(QDir::toNativeSeparators(logPath));
    if (!folderRefusal.isEmpty())
        QMessageBox::warning(this, tr("Warning"), folderRefusal);
    else if (const QString notice = fallbackNotice(logPath); !notice.isEmpty())
        QMessageBox::information(this, tr("Log Folder"), notice);
    if (logFolder)
        reportFileFaults(tr("These files look like recovery files of INI files, but belong to none; they were left "
                            "alone:"),
                         tidyAfterEarlierRuns(logFolder));
    refreshCheckStates();

    folderWatcher.addPath(logPath);
    folderEntries = folderListing(logPath);
    connect(&folderWatcher, SIGNAL(directoryChanged(QString)), this, SLOT(showModified_slot(QString)));

    form->comboBox->setCurrentIndex(1);
    ready = true;
}

Dialog::~Dialog()
{
    delete form;
}

// The components' items in the tree's order, from top to bottom. (The map's own order follows
// the items' addresses, which would make the archive's entry order a matter of chance.)
QList<QTreeWidgetItem *> Dialog::componentItems() const
{
    QList<QTreeWidgetItem *> items;
    for (QTreeWidgetItemIterator it(form->treeWidget); *it; ++it) {
        if (components.contains(*it))
            items << *it;
    }
    return items;
}

void Dialog::refreshCheckStates()
{
    for (auto it = components.cbegin(); it != components.cend(); ++it) {
        QTreeWidgetItem *item = it.key();
        if (!item)
            continue;
        item->setCheckState(0, isLogging(logFolder.get(), it.value()) ? Qt::Checked : Qt::Unchecked);
        if (it.value().logNames.isEmpty())
            item->setHidden(true);
    }
}

void Dialog::showModified_slot(QString str)
{
    Q_UNUSED(str)
    if (!ready)
        return;
    const QString changed = changedNames(folderEntries, folderListing(logPath));
    folderEntries = folderListing(logPath);
    if (touchesLogFiles(changed))
        refreshCheckStates();
}

void Dialog::on_treeWidget_itemClicked(QTreeWidgetItem *item, int column)
{
    Q_UNUSED(column)
    if (!folderRefusal.isEmpty()) {
        refreshCheckStates();
        QMessageBox::warning(this, tr("Warning"), folderRefusal);
        return;
    }
    QList<QTreeWidgetItem *> work{item};
    if (item == form->treeWidget->topLevelItem(interfaceGroup)) {
        work.clear();
        for (int i = 0; i < item->childCount(); ++i)
            work << item->child(i);
    }
    QVector<IniFault> faults;
    for (QTreeWidgetItem *component : work) {
        const auto entry = components.constFind(component);
        if (entry == components.cend() || entry->logNames.isEmpty() || !logFolder)
            continue;
        const bool on = component->checkState(0) != Qt::Unchecked;
        const QStringList logs = logPaths(logPath, *entry);
        switchLogFiles(logs, on);
        if (on)
            writeLoggingIni(paramPaths(paramPath, *entry), logs, faults);
    }
    // A log that could not be made (a folder or a link of its name) leaves its component unticked.
    refreshCheckStates();
    reportIniFaults(faults);
}

void Dialog::switchLogFiles(const QStringList &logFiles, bool enable)
{
    folderWatcher.removePath(logPath);
    // A log that could not be made or deleted shows in its component's tick, refreshed after.
    for (const QString &path : logFiles) {
        const QString name = QFileInfo(path).fileName();
        if (enable)
            ensureLogFile(*logFolder, name);
        else
            removeLogFile(*logFolder, name);
    }
    folderWatcher.addPath(logPath);
}

// One warning for the files of one step that could not be handled, each with its reason.
void Dialog::reportFileFaults(const QString &intro, const QStringList &lines)
{
    if (!lines.isEmpty())
        QMessageBox::warning(this, tr("Warning"), intro + QLatin1Char('\n') + lines.join(QLatin1Char('\n')));
}

void Dialog::collectCheckedFiles(QStringList &paramFiles, QStringList &logFiles)
{
    for (QTreeWidgetItem *item : componentItems()) {
        if (item->checkState(0) != Qt::Checked)
            continue;
        logFiles << logPaths(logPath, components.value(item));
        paramFiles << paramPaths(paramPath, components.value(item));
    }
}

void Dialog::on_comboBox_currentIndexChanged(int index)
{
    const QString mask = levelMask(index);
    if (mask.isEmpty())
        return;
    logLevel = mask;
    if (!ready)
        return;
    QVector<IniFault> faults;
    for (QTreeWidgetItem *item : componentItems()) {
        if (item->checkState(0) == Qt::Checked)
            writeLoggingIni(paramPaths(paramPath, components.value(item)), logPaths(logPath, components.value(item)),
                            faults);
    }
    reportIniFaults(faults);
}

void Dialog::writeLoggingIni(const QStringList &paramFiles, const QStringList &logFiles, QVector<IniFault> &faults)
{
    if (!logFolder)
        return;
    const LevelWrite write = writeLevel(logFolder, paramFiles, logFiles, logLevel);
    record(levelWrites, write);
    faults += write.faults;
}

// One message for all the INI files of one change that kept their old level, so that the level
// shown is never taken for the level in force.
void Dialog::reportIniFaults(const QVector<IniFault> &faults)
{
    if (faults.isEmpty())
        return;
    QStringList lines;
    for (const IniFault &fault : faults)
        lines << QDir::toNativeSeparators(fault.path) + QStringLiteral(": ") + refusalText(fault.refusal);
    QMessageBox::warning(this, tr("Warning"),
                         tr("These INI files could not take the logging level:") + QLatin1Char('\n') +
                             lines.join(QLatin1Char('\n')));
}

// --- support tools: clearing, folder, archive, system tools, mail ---

void Dialog::on_pushButton_ClearLog_clicked()
{
    // The watch rests while the logs are copied, emptied, moved and made again, so none of it
    // refreshes the tree.
    if (!logFolder)
        return;
    folderWatcher.removePath(logPath);
    QStringList paramFiles;
    QStringList logFiles;
    collectCheckedFiles(paramFiles, logFiles);
    const Clearing clearing = clearLogs(*logFolder, logFiles, [this] {
        return QMessageBox::question(this, tr("Delete old log files"), tr("Do you also want to delete older log files?"),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    });
    folderWatcher.addPath(logPath);
    QStringList shown;
    for (const QString &log : clearing.kept)
        shown << QDir::toNativeSeparators(log);
    if (!clearing.backups)
        shown.prepend(QDir::toNativeSeparators(logPath + backupFolderName) + QStringLiteral(": ") +
                      tr("is no folder and cannot be made one, so no backup could be taken"));
    reportFileFaults(tr("These log files could not be backed up and emptied; they keep their contents:"), shown);
}

void Dialog::on_pushButton_ExploreLog_clicked()
{
    if (!openFolder(logPath))
        QMessageBox::warning(this, tr("Warning"),
                             tr("No file manager could be opened for the log folder %1.")
                                 .arg(QDir::toNativeSeparators(logPath)));
}

void Dialog::on_pushButton_CreateSupportFile_clicked()
{
    PlainFile archive;
    if (createSupportFile(&archive) == BuildOutcome::Built)
        reportSupportFile(quint64(qMax<qint64>(currentSize(archive.get()), 0)));
}

// A message about the support file at `path`, with a button that shows it in the file manager.
void Dialog::offerFolder(QMessageBox::Icon icon, const QString &title, const QString &text, const QString &path)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, this);
    QPushButton *show = box.addButton(tr("Show in Folder"), QMessageBox::ActionRole);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    if (box.clickedButton() == show && !showInFolder(path))
        QMessageBox::warning(this, tr("Warning"),
                             tr("No file manager could be opened for %1.").arg(QDir::toNativeSeparators(path)));
}

// Where the support file went, how large it is, and whether it tells names and addresses.
void Dialog::reportSupportFile(quint64 size)
{
    const QString path = supportArchivePath(logPath);
    const QString hidden =
        site.redact ? tr("Names of this machine and its users, and its addresses, were replaced by stand-ins. The key "
                         "to them is in %1, which only you can read: keep it, and do not send it.")
                          .arg(QDir::toNativeSeparators(redactionMappingPath(path)))
                    : tr("Names and addresses in it were not hidden.");
    offerFolder(QMessageBox::Information, tr("Support File Created"),
                tr("The support file was written:") + QLatin1Char('\n') + QDir::toNativeSeparators(path) +
                    QLatin1Char('\n') + sizeText(size) + QStringLiteral("\n\n") + hidden,
                path);
}

// Builds the support archive behind a progress dialog (the window keeps painting meanwhile) and
// hands it, open, to `built` when asked. Every log keeps its last `logCap` bytes, or the site's
// cap where that is smaller (0: none). A build that runs already starts none, and counts as
// cancelled.
BuildOutcome Dialog::createSupportFile(PlainFile *built, quint64 logCap)
{
    if (building)
        return BuildOutcome::Cancelled;
    if (!logFolder) {
        reportUnwrittenArchive(folderProblem(openLogFolder(logPath)));
        return BuildOutcome::Failed;
    }
    QStringList paramFiles;
    QStringList logFiles;
    collectCheckedFiles(paramFiles, logFiles);
    if (logFiles.isEmpty()) {
        QMessageBox::warning(this, tr("Warning"),
                             tr("No component is switched on. Please switch one on, log a session and try again"));
        return BuildOutcome::Empty;
    }
    if (logsAreEmpty(*logFolder, logFiles)) {
        QMessageBox::warning(this, tr("Warning"), tr("All log files are empty. Please log another session and try again"));
        return BuildOutcome::Empty;
    }
    // Written under a name of its own, it replaces the earlier archive only once it is whole.
    FileFault fault = FileFault::None;
    const std::unique_ptr<PendingFile> file = newSupportArchive(*logFolder, fault);
    if (!file) {
        reportUnwrittenArchive(tr("The support file could not be written completely: %1 (%2). An earlier support file "
                                  "stays as it was.")
                                   .arg(QDir::toNativeSeparators(supportArchivePath(logPath)), faultText(fault)));
        return BuildOutcome::Failed;
    }
    if (site.maxLogSize && (!logCap || *site.maxLogSize < logCap))
        logCap = *site.maxLogSize;
    // A site that wants names and addresses hidden has them hidden; the window offers no way out.
    const QString mapping = site.redact ? redactionMappingPath(supportArchivePath(logPath)) : QString();
    building = true;
    BuildReport report;
    const BuildOutcome outcome =
        runWithProgress(this, [&](const BuildProgressCallback &progress, const std::atomic<bool> &cancel) {
            return buildSupportFile({logFolder, logFiles, paramFiles, logCap, levelWrites, mapping, site}, *file,
                                    progress, cancel, report);
        });
    building = false;
    if (outcome == BuildOutcome::Failed)
        reportUnwrittenArchive(report.problem);
    if (outcome == BuildOutcome::Built)
        reportFileFaults(tr("The support file was written without these files:"), report.leftOut);
    if (outcome == BuildOutcome::Built && built)
        *built = file->takeStream();
    return outcome;
}

void Dialog::reportUnwrittenArchive(const QString &problem)
{
    const QString designed = tr("The support file could not be written completely (is the disk full?). "
                                "An earlier support file stays as it was.");
    QMessageBox::warning(this, tr("Warning"), problem.isEmpty() ? designed : problem);
}

void Dialog::on_pushButton_SupportMail_clicked()
{
    const std::unique_ptr<MailHandOff> handOff = openMailHandOff();
    if (!handOff)
        return;
    const bool exists = logFolder && logFolder->kind(archiveName) == EntryKind::PlainFile;
    const QString title = exists ? tr("Support File Exists") : tr("Support File Does Not Exist");
    const QString question = exists ? tr("Re-create support file?") : tr("Create support file?");
    const QMessageBox::StandardButton answer =
        QMessageBox::question(this, title, question, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    PlainFile built;
    if (answer == QMessageBox::Yes) {
        const BuildOutcome outcome = createSupportFile(&built);
        // A cancelled archive is no reason to write to the support desk, and one that could not
        // be written (the user was told) leaves only the earlier one, which was to be replaced.
        if (outcome == BuildOutcome::Cancelled || outcome == BuildOutcome::Failed)
            return;
        // Nothing to pack: the archive that was to be replaced goes, and the mail without it.
        if (outcome == BuildOutcome::Empty)
            logFolder->remove(archiveName);
    } else if (answer != QMessageBox::No) {
        return;
    }
    // The archive just built, held open since, so that no file put in its place goes out; else
    // the one in place, when it is a regular file with one name.
    PlainFile archive = built ? std::move(built) : logFolder ? logFolder->open(archiveName, false) : nullptr;
    if (!fitForMail(archive, *handOff))
        return;
    const std::optional<QString> attachment = copyForMail(archive.get(), archiveName, mailCopiesBase());
    if (!attachment) {
        QMessageBox::warning(this, tr("Warning"), tr("The support file could not be copied for the mail program."));
        return;
    }
    if (handOff->send(supportMail(*attachment), winId()) != MailOutcome::Failed)
        return;
    const QString failed = tr("The mail program could not be started, or it did not take the mail.");
    if (!archive) {
        QMessageBox::warning(this, tr("Warning"), failed);
        return;
    }
    const QString path = supportArchivePath(logPath);
    offerFolder(QMessageBox::Warning, tr("Warning"),
                failed + QStringLiteral("\n\n") + tr("You can attach the support file to a mail yourself:") +
                    QLatin1Char('\n') + QDir::toNativeSeparators(path),
                path);
}

// An archive larger than a mail may carry is said before the mail opens: the user may have a
// smaller one built (each log keeps its last part; each further try keeps half as much), upload it
// where the site has an upload address, or send it all the same. False when no mail is to go.
bool Dialog::fitForMail(PlainFile &archive, MailHandOff &handOff)
{
    // Room beside the logs for the INI files, the system reports, the manifest and the ZIP's own
    // records; logs of text shrink far below their size in the archive anyway.
    quint64 budget = site.maxMailSize / 4 * 3;
    for (;;) {
        const quint64 size = archive ? quint64(qMax<qint64>(currentSize(archive.get()), 0)) : 0;
        if (size <= site.maxMailSize)
            return true;
        QMessageBox box(QMessageBox::Warning, tr("Support File Too Large"),
                        tr("The support file is %1, more than the %2 that a mail to the support desk may carry: "
                           "mail servers refuse such mails.")
                                .arg(sizeText(size),
                                     sizeText(site.maxMailSize)) +
                            QStringLiteral("\n\n") + tr("A smaller support file keeps only the last part of each log."),
                        QMessageBox::Cancel, this);
        QPushButton *smaller = box.addButton(tr("Smaller Support File"), QMessageBox::AcceptRole);
        // The upload is offered only where the site has a server for it.
        QPushButton *upload = site.uploadUrl.isEmpty() ? nullptr : box.addButton(tr("Upload"), QMessageBox::AcceptRole);
        QPushButton *anyway = box.addButton(tr("Send Anyway"), QMessageBox::AcceptRole);
        box.setDefaultButton(smaller);
        box.exec();
        if (box.clickedButton() == anyway)
            return true;
        if (upload && box.clickedButton() == upload) {
            uploadSupportFile(archive, handOff);
            return false;
        }
        if (box.clickedButton() != smaller)
            return false;
        QStringList paramFiles;
        QStringList logFiles;
        collectCheckedFiles(paramFiles, logFiles);
        PlainFile rebuilt;
        if (createSupportFile(&rebuilt, logCapToFit(logSizes({logFolder, logFiles, paramFiles, 0, {}, QString(), {}}), budget)) !=
            BuildOutcome::Built)
            return false;
        archive = std::move(rebuilt);
        budget /= 2;
    }
}

// The support file uploaded to the site's server (UploadUrl) instead of attached, offered for one
// too large for a mail; the mail that follows names it on the server, with its checksum.
void Dialog::uploadSupportFile(PlainFile &archive, MailHandOff &handOff)
{
    const QString path = supportArchivePath(logPath);
    // An archive made earlier counts as redacted where its key lies beside it.
    const bool redacted =
        site.redact || logFolder->kind(QFileInfo(redactionMappingPath(path)).fileName()) == EntryKind::PlainFile;
    const std::optional<Uploaded> uploaded = uploadFromDialog(this, archive.get(), path, site, redacted);
    if (!uploaded)
        return;
    if (handOff.send(uploadedSupportMail(uploaded->objectName, uploaded->sha256), winId()) == MailOutcome::Failed)
        QMessageBox::warning(this, tr("Warning"),
                             tr("The support file was uploaded as %1, but the mail program could not be started, or "
                                "it did not take the mail. Please tell the support desk this name.")
                                 .arg(uploaded->objectName));
}
