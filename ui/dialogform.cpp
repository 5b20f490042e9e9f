#include "dialogform.h"

#include "catalogue.h"
#include "levels.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QMetaObject>

namespace {

// The form's texts are looked up in the dialog's context, "Dialog" (literals directly, table
// entries marked with QT_TRANSLATE_NOOP), so that lupdate files them with the texts of the
// dialog's message boxes.
QString translated(const char *source)
{
    return QCoreApplication::translate("Dialog", source);
}

} // namespace

void DialogForm::setupUi(QDialog *dialog)
{
    if (dialog->objectName().isEmpty())
        dialog->setObjectName("Dialog");
    dialog->resize(420, 402);
    QSizePolicy policy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    policy.setHorizontalStretch(0);
    policy.setVerticalStretch(0);
    policy.setHeightForWidth(dialog->sizePolicy().hasHeightForWidth());
    dialog->setSizePolicy(policy);
    dialog->setMinimumSize(QSize(420, 402));
    dialog->setMaximumSize(QSize(420, 402));

    treeWidget = new QTreeWidget(dialog);
    auto *header = new QTreeWidgetItem();
    header->setText(0, QCoreApplication::translate("Dialog", "Enable Logging:"));
    treeWidget->setHeaderItem(header);
    for (int i = 0; i < interfaceGroup; ++i)
        (new QTreeWidgetItem(treeWidget))->setCheckState(0, Qt::Unchecked);
    auto *group = new QTreeWidgetItem(treeWidget);
    group->setFlags(Qt::ItemFlags(125)); // selectable, drag, drop, checkable, enabled, auto-tristate
    group->setCheckState(0, Qt::Unchecked);
    for (int i = 0; i < interfaceCount; ++i)
        (new QTreeWidgetItem(group))->setCheckState(0, Qt::Unchecked);
    treeWidget->setObjectName("treeWidget");
    treeWidget->setEnabled(true);
    treeWidget->setGeometry(QRect(10, 10, 241, 301));
    treeWidget->setSelectionMode(QAbstractItemView::ExtendedSelection);
    treeWidget->setIndentation(20);
    treeWidget->setRootIsDecorated(true);
    treeWidget->setItemsExpandable(true);
    treeWidget->header()->setStretchLastSection(true);

    pushButton_ClearLog = new QPushButton(dialog);
    pushButton_ClearLog->setObjectName("pushButton_ClearLog");
    pushButton_ClearLog->setGeometry(QRect(260, 20, 145, 35));
    pushButton_ExploreLog = new QPushButton(dialog);
    pushButton_ExploreLog->setObjectName("pushButton_ExploreLog");
    pushButton_ExploreLog->setGeometry(QRect(260, 65, 145, 35));
    label_2 = new QLabel(dialog);
    label_2->setObjectName("label_2");
    label_2->setGeometry(QRect(260, 120, 145, 21));
    comboBox = new QComboBox(dialog);
    comboBox->setObjectName("comboBox");
    comboBox->setGeometry(QRect(260, 150, 145, 31));
    for (int i = 0; i < 4; ++i)
        comboBox->addItem(QString());
    pushButton_CreateSupportFile = new QPushButton(dialog);
    pushButton_CreateSupportFile->setObjectName("pushButton_CreateSupportFile");
    pushButton_CreateSupportFile->setGeometry(QRect(10, 320, 395, 31));
    pushButton_SupportMail = new QPushButton(dialog);
    pushButton_SupportMail->setObjectName("pushButton_SupportMail");
    pushButton_SupportMail->setGeometry(QRect(10, 360, 395, 31));

    retranslateUi(dialog);
    QMetaObject::connectSlotsByName(dialog);
}

void DialogForm::retranslateUi(QDialog *dialog)
{
    dialog->setWindowTitle(QCoreApplication::translate("Dialog", "zel.logging"));

    const bool sorting = treeWidget->isSortingEnabled();
    treeWidget->setSortingEnabled(false);
    for (int i = 0; i < interfaceGroup; ++i)
        treeWidget->topLevelItem(i)->setText(0, translated(componentText(i)));
    treeWidget->topLevelItem(interfaceGroup)->setText(0, translated(interfaceGroupText));
    QTreeWidgetItem *group = treeWidget->topLevelItem(interfaceGroup);
    for (int i = 0; i < interfaceCount; ++i)
        group->child(i)->setText(0, translated(componentText(interfaceGroup + i)));
    treeWidget->setSortingEnabled(sorting);

    pushButton_ClearLog->setText(QCoreApplication::translate("Dialog", "Clear Logfiles"));
    pushButton_ExploreLog->setText(QCoreApplication::translate("Dialog", "Explore Logfiles"));
    label_2->setText(QCoreApplication::translate("Dialog", "Logging Level"));
    for (int i = 0; i < 4; ++i)
        comboBox->setItemText(i, translated(levelName(i)));
    pushButton_CreateSupportFile->setText(QCoreApplication::translate("Dialog", "Create Support File"));
    pushButton_SupportMail->setText(QCoreApplication::translate("Dialog", "Support Mail (+Support File)"));
}
