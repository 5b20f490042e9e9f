#pragma once

#include "archivebuild.h"
#include "catalogue.h"
#include "inisettings.h"
#include "plainfile.h"
#include "sitesettings.h"

#include <QDialog>
#include <QFileSystemWatcher>
#include <QMap>
#include <QMessageBox>
#include <QString>
#include <QStringList>

class MailHandOff;
class QTreeWidgetItem;
struct DialogForm;

// The main window and the holder of all program state: the component tree, the level
// selector and the four support buttons. Every user action arrives as one of its slots.
class Dialog : public QDialog
{
    Q_OBJECT

public:
    explicit Dialog(QWidget *parent = nullptr);
    ~Dialog() override;

private slots:
    void on_pushButton_ClearLog_clicked();
    void on_pushButton_ExploreLog_clicked();
    void on_pushButton_CreateSupportFile_clicked();
    void on_pushButton_SupportMail_clicked();
    void on_treeWidget_itemClicked(QTreeWidgetItem *item, int column);
    void on_comboBox_currentIndexChanged(int index);
    void showModified_slot(QString str);

private:
    void refreshCheckStates();
    void switchLogFiles(const QStringList &logFiles, bool enable);
    void collectCheckedFiles(QStringList &paramFiles, QStringList &logFiles);
    void writeLoggingIni(const QStringList &paramFiles, const QStringList &logFiles, QVector<IniFault> &faults);
    void reportIniFaults(const QVector<IniFault> &faults);
    QList<QTreeWidgetItem *> componentItems() const;
    BuildOutcome createSupportFile(PlainFile *built = nullptr, quint64 logCap = 0);
    void reportUnwrittenArchive(const QString &problem = QString());
    void reportFileFaults(const QString &intro, const QStringList &lines);
    void reportSupportFile(quint64 size);
    bool fitForMail(PlainFile &archive, MailHandOff &handOff);
    void uploadSupportFile(PlainFile &archive, MailHandOff &handOff);
    void offerFolder(QMessageBox::Icon icon, const QString &title, const QString &text, const QString &path);

    DialogForm *form;
    QString logPath;
    QString paramPath;
    std::shared_ptr<const HeldFolder> logFolder; // every file step goes through it; null: unusable
    QString logLevel;
    LevelRecord levelWrites; // for the support archive's manifest
    QStringList folderEntries;
    QFileSystemWatcher folderWatcher;
    QMap<QTreeWidgetItem *, ComponentEntry> components;
    bool ready;
    bool building = false; // a support archive is being built
    SiteSettings site;
    QString folderRefusal; // why no component can be switched here; empty when they can

    // Lets the tests look at the state that has no other outlet (the construction gate).
    friend struct DialogProbe;
};
