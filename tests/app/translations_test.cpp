// The dialog under the German translation, and in English under any other locale.

#include "dialogdriver.h"
#include "testenv.h"
#include "theme.h"
#include "translations.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

// The dialog's own texts, from the window title to the combo's items, and the text of the
// message boxes' Yes button.
QStringList shownTexts()
{
    Dialog dialog;
    DialogDriver driver(dialog);
    QStringList texts = {dialog.windowTitle(), driver.tree()->headerItem()->text(0),
                         driver.item("zel.sdk")->text(0), driver.item("GigE")->text(0)};
    for (const char *name : {"pushButton_ClearLog", "pushButton_ExploreLog", "pushButton_CreateSupportFile",
                             "pushButton_SupportMail"})
        texts << dialog.findChild<QPushButton *>(name)->text();
    texts << dialog.findChild<QLabel *>("label_2")->text();
    for (int i = 0; i < driver.combo()->count(); ++i)
        texts << driver.combo()->itemText(i);
    QMessageBox box(QMessageBox::Question, "", "", QMessageBox::Yes | QMessageBox::No);
    texts << box.button(QMessageBox::Yes)->text();
    return texts;
}

const QStringList english = {"zel.logging", "Enable Logging:", "zel.sdk", "GigE",
                             "Clear Logfiles", "Explore Logfiles", "Create Support File",
                             "Support Mail (+Support File)", "Logging Level",
                             "Error", "Standard", "High", "Full", "&Yes"};

class TranslationTest : public LogFolderTest {};
class OtherLocale : public TranslationTest, public testing::WithParamInterface<const char *> {};

} // namespace

TEST_F(TranslationTest, germanLocaleShowsTheDialogAndItsButtonsInGerman)
{
    for (const char *name : {"de_DE", "de_AT"}) {
        const Translations translations{QLocale(name)};
        EXPECT_EQ(shownTexts(), QStringList({"zel.logging", "Logging aktivieren:", "zel.sdk", "GigE",
                                             "Logdateien leeren", "Logdateien anzeigen", "Supportdatei erstellen",
                                             "Support-E-Mail (+Supportdatei)", "Logging-Stufe",
                                             "Fehler", "Standard", "Hoch", "Vollständig", "&Ja"}))
            << name;
    }
    EXPECT_EQ(shownTexts(), english) << "the translators stay installed";
}

TEST_P(OtherLocale, keepsTheEnglishTexts)
{
    const Translations translations{QLocale(GetParam())};
    EXPECT_EQ(shownTexts(), english);
}

INSTANTIATE_TEST_SUITE_P(Locales, OtherLocale, testing::Values("en_US", "fr_FR", "C"));

// Under the theme, every German button of a message box shows its whole text (an icon beside
// it once cut "Abbrechen" to "Abbreche").
TEST_F(TranslationTest, germanMessageBoxButtonsHaveRoomForTheirText)
{
    const Translations translations{QLocale("de_DE")};
    QFile sheet(":/zel_style/zel_style_dark.qss");
    ASSERT_TRUE(sheet.open(QIODevice::ReadOnly));
    qApp->setStyleSheet(themedStyleSheet(QString::fromUtf8(sheet.readAll())));
    QMessageBox box(QMessageBox::Question, "Supportdatei existiert", "Supportdatei neu erstellen?",
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    box.show();
    QApplication::processEvents();
    for (QAbstractButton *button : box.buttons()) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        option.icon = button->icon();
        const QRect contents = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        const int needed = button->fontMetrics().horizontalAdvance(QString(button->text()).remove('&')) +
                           (button->icon().isNull() ? 0 : button->iconSize().width() + 4);
        EXPECT_GE(contents.width(), needed) << button->text().toStdString();
    }
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), "Abbrechen");
    qApp->setStyleSheet(QString());
}
