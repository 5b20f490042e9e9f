#pragma once
// Drives the real dialog as a user would: finds its widgets by object name and clicks the
// tree items' check boxes or texts with the mouse.

#include "dialog.h"

#include <QComboBox>
#include <QProgressDialog>
#include <QTreeWidget>

struct DialogProbe {
    static bool &ready(Dialog &dialog) { return dialog.ready; }
    static QStringList &folderEntries(Dialog &dialog) { return dialog.folderEntries; }
    static const QString &logLevel(Dialog &dialog) { return dialog.logLevel; }
    static const QString &logPath(Dialog &dialog) { return dialog.logPath; }
    static void notify(Dialog &dialog) { dialog.showModified_slot(dialog.logPath); }
};

class DialogDriver {
public:
    explicit DialogDriver(Dialog &dialog);

    QTreeWidget *tree() const;
    QComboBox *combo() const;
    // The item whose text is `text` (top-level or interface child).
    QTreeWidgetItem *item(const QString &text) const;
    Qt::CheckState state(const QString &text) const;
    void clickCheckBox(const QString &text);
    void clickText(const QString &text);
    void chooseLevel(const QString &label);
    // The progress dialog of a support archive build while it shows, else null.
    QProgressDialog *progress() const;

private:
    void click(QTreeWidgetItem *item, bool onCheckBox);
    Dialog &dialog;
};
