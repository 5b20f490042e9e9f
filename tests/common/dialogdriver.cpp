#include "dialogdriver.h"

#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>

#include <gtest/gtest.h>

DialogDriver::DialogDriver(Dialog &dialog) : dialog(dialog)
{
    dialog.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
}

QTreeWidget *DialogDriver::tree() const
{
    return dialog.findChild<QTreeWidget *>("treeWidget");
}

QComboBox *DialogDriver::combo() const
{
    return dialog.findChild<QComboBox *>("comboBox");
}

QTreeWidgetItem *DialogDriver::item(const QString &text) const
{
    const QList<QTreeWidgetItem *> found =
        tree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive, 0);
    return found.size() == 1 ? found.first() : nullptr;
}

Qt::CheckState DialogDriver::state(const QString &text) const
{
    QTreeWidgetItem *found = item(text);
    EXPECT_TRUE(found) << text.toStdString();
    return found ? found->checkState(0) : Qt::Unchecked;
}

void DialogDriver::clickCheckBox(const QString &text)
{
    click(item(text), true);
}

void DialogDriver::clickText(const QString &text)
{
    click(item(text), false);
}

void DialogDriver::click(QTreeWidgetItem *target, bool onCheckBox)
{
    ASSERT_TRUE(target);
    QTreeWidget *view = tree();
    view->scrollToItem(target);
    const QRect rect = view->visualItemRect(target);
    ASSERT_TRUE(rect.isValid());
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.rect = rect;
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = target->text(0);
    const QRect box = view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
    const QPoint point = onCheckBox ? box.center() : QPoint(rect.right() - 10, rect.center().y());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, point);
}

void DialogDriver::chooseLevel(const QString &label)
{
    const int index = combo()->findText(label);
    ASSERT_GE(index, 0);
    combo()->setCurrentIndex(index);
}

QProgressDialog *DialogDriver::progress() const
{
    auto *found = dialog.findChild<QProgressDialog *>();
    return found && found->isVisible() ? found : nullptr;
}
