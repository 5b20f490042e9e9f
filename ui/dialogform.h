#pragma once
// The form of the main dialog: seven widgets at fixed positions, no layout manager.

#include <QtWidgets/QComboBox>
#include <QtWidgets/QDialog>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QTreeWidget>

// The interface group among the tree's top-level items, and its number of children.
constexpr int interfaceGroup = 4;
constexpr int interfaceCount = 7;

struct DialogForm {
    QTreeWidget *treeWidget;
    QPushButton *pushButton_ClearLog;
    QPushButton *pushButton_ExploreLog;
    QLabel *label_2;
    QComboBox *comboBox;
    QPushButton *pushButton_CreateSupportFile;
    QPushButton *pushButton_SupportMail;

    // Creates the widgets as children of `dialog`, sets their texts and connects the
    // dialog's "on_<object name>_<signal>" slots by name.
    void setupUi(QDialog *dialog);
    void retranslateUi(QDialog *dialog);
};
