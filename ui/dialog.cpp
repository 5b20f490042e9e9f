#include "dialog.h"

#include "dialogform.h"
#include "inisettings.h"
#include "levels.h"
#include "logfiles.h"
#include "logfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>

namespace {

constexpr int groupIndex = 4;

} // namespace

Dialog::Dialog(QWidget *parent)
    : QDialog(parent), form(new DialogForm), ready(false)
{
    form->setupUi(this);

    QTreeWidget *tree = form->treeWidget;
    tree->setFocusPolicy(Qt::NoFocus);
    tree->setSelectionMode(QAbstractItemView::NoSelection);
    tree->topLevelItem(groupIndex)->setExpanded(true);
    tree->header()->setSectionResizeMode(QHeaderView::Fixed);
    tree->header()->setMinimumHeight(30);

    const QVector<ComponentEntry> &entries = catalogueEntries();
    QTreeWidgetItem *group = tree->topLevelItem(groupIndex);
    for (int i = 0; i < entries.size(); ++i) {
        QTreeWidgetItem *item = i < groupIndex ? tree->topLevelItem(i) : group->child(i - groupIndex);
        components.insert(item, entries.at(i));
    }

    logPath = findLogFolder();
    paramPath = logPath;
    if (!QDir(logPath).exists())
        QDir(logPath).mkpath(".");
    if (!QDir(paramPath).exists())
        QDir(paramPath).mkpath(".");

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

void Dialog::refreshCheckStates()
{
    for (auto it = components.cbegin(); it != components.cend(); ++it) {
        QTreeWidgetItem *item = it.key();
        if (!item)
            continue;
        item->setCheckState(0, isLogging(logPath, it.value()) ? Qt::Checked : Qt::Unchecked);
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
    QList<QTreeWidgetItem *> work{item};
    if (item == form->treeWidget->topLevelItem(groupIndex)) {
        work.clear();
        for (int i = 0; i < item->childCount(); ++i)
            work << item->child(i);
    }
    for (QTreeWidgetItem *component : work) {
        const auto entry = components.constFind(component);
        if (entry == components.cend() || entry->logNames.isEmpty())
            continue;
        const bool on = component->checkState(0) != Qt::Unchecked;
        const QStringList logs = logPaths(logPath, *entry);
        switchLogFiles(logs, on);
        if (on)
            writeLoggingIni(paramPaths(paramPath, *entry), logs);
    }
}

void Dialog::switchLogFiles(const QStringList &logFiles, bool enable)
{
    folderWatcher.removePath(logPath);
    for (const QString &path : logFiles) {
        if (enable)
            ensureLogFile(path);
        else
            QFile::remove(path);
    }
    folderWatcher.addPath(logPath);
}

void Dialog::collectCheckedFiles(QStringList &paramFiles, QStringList &logFiles)
{
    for (auto it = components.cbegin(); it != components.cend(); ++it) {
        if (!it.key() || it.key()->checkState(0) != Qt::Checked)
            continue;
        logFiles << logPaths(logPath, it.value());
        paramFiles << paramPaths(paramPath, it.value());
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
    for (auto it = components.cbegin(); it != components.cend(); ++it) {
        if (it.key() && it.key()->checkState(0) == Qt::Checked)
            writeLoggingIni(paramPaths(paramPath, it.value()), logPaths(logPath, it.value()));
    }
}

void Dialog::writeLoggingIni(const QStringList &paramFiles, const QStringList &logFiles)
{
    for (int k = 0; k < paramFiles.size() && k < logFiles.size(); ++k)
        updateLoggingIni(paramFiles.at(k), QFileInfo(logFiles.at(k)).fileName(), logPath, logLevel);
}

// --- support tools: clearing, folder, archive, system tools, mail ---

void Dialog::on_pushButton_ClearLog_clicked()
{
}

void Dialog::on_pushButton_ExploreLog_clicked()
{
}

void Dialog::on_pushButton_CreateSupportFile_clicked()
{
}

void Dialog::on_pushButton_SupportMail_clicked()
{
}

void Dialog::runSystemTool(ZipAssemblerHandle *archive, const QString &program, const QString &arguments,
                           const QString &outputName, bool capture)
{
    Q_UNUSED(archive) Q_UNUSED(program) Q_UNUSED(arguments) Q_UNUSED(outputName) Q_UNUSED(capture)
}
