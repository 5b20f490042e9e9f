#include "dialogdriver.h"
#include "workprogress.h"
#include "testenv.h"
#include "toolstandin.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QMetaMethod>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

const QStringList interfaces = {"FireWire", "Camera Link", "Camera Link HS", "USB", "USB3", "GigE", "GeniCam"};

class DialogTest : public LogFolderTest {
protected:
    QStringList checkedItems(DialogDriver &driver) const
    {
        QStringList checked;
        for (const QString &text : QStringList{"zel.sdk", "zel.recorder", "zel.matlab adaptor"} + interfaces)
            if (driver.state(text) == Qt::Checked)
                checked << text;
        return checked;
    }
};

} // namespace

TEST_F(DialogTest, formHasItsWidgetsTextsAndGeometry)
{
    Dialog dialog;
    EXPECT_EQ(dialog.objectName(), "Dialog");
    EXPECT_EQ(dialog.windowTitle(), "zel.logging");
    EXPECT_EQ(dialog.size(), QSize(420, 402));
    EXPECT_EQ(dialog.minimumSize(), QSize(420, 402));
    EXPECT_EQ(dialog.maximumSize(), QSize(420, 402));
    EXPECT_EQ(dialog.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    EXPECT_EQ(dialog.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);

    struct Widget { const char *name; QRect geometry; const char *text; };
    const Widget buttons[] = {
        {"pushButton_ClearLog", {260, 20, 145, 35}, "Clear Logfiles"},
        {"pushButton_ExploreLog", {260, 65, 145, 35}, "Explore Logfiles"},
        {"pushButton_CreateSupportFile", {10, 320, 395, 31}, "Create Support File"},
        {"pushButton_SupportMail", {10, 360, 395, 31}, "Support Mail (+Support File)"},
    };
    for (const Widget &expected : buttons) {
        auto *button = dialog.findChild<QPushButton *>(expected.name);
        ASSERT_TRUE(button) << expected.name;
        EXPECT_EQ(button->geometry(), expected.geometry) << expected.name;
        EXPECT_EQ(button->text(), expected.text);
    }
    auto *label = dialog.findChild<QLabel *>("label_2");
    ASSERT_TRUE(label);
    EXPECT_EQ(label->geometry(), QRect(260, 120, 145, 21));
    EXPECT_EQ(label->text(), "Logging Level");

    auto *combo = dialog.findChild<QComboBox *>("comboBox");
    ASSERT_TRUE(combo);
    EXPECT_EQ(combo->geometry(), QRect(260, 150, 145, 31));
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items << combo->itemText(i);
        EXPECT_TRUE(combo->itemIcon(i).isNull());
        EXPECT_FALSE(combo->itemData(i).isValid());
    }
    EXPECT_EQ(items, QStringList({"Error", "Standard", "High", "Full"}));
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_EQ(DialogProbe::logLevel(dialog), "0x0000FC03");
    EXPECT_TRUE(DialogProbe::ready(dialog));
}

TEST_F(DialogTest, treeHasTheComponentItemsFlagsAndSettings)
{
    Dialog dialog;
    DialogDriver driver(dialog);
    QTreeWidget *tree = driver.tree();
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->geometry(), QRect(10, 10, 241, 301));
    EXPECT_EQ(tree->columnCount(), 1);
    EXPECT_EQ(tree->headerItem()->text(0), "Enable Logging:");
    EXPECT_EQ(tree->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(tree->selectionMode(), QAbstractItemView::NoSelection);
    EXPECT_EQ(tree->indentation(), 20);
    EXPECT_TRUE(tree->rootIsDecorated());
    EXPECT_TRUE(tree->itemsExpandable());
    EXPECT_FALSE(tree->isSortingEnabled());
    EXPECT_TRUE(tree->header()->stretchLastSection());
    EXPECT_EQ(tree->header()->sectionResizeMode(0), QHeaderView::Fixed);
    EXPECT_EQ(tree->header()->minimumHeight(), 30);

    const QStringList topLevel = {"zel.device manager", "zel.sdk", "zel.recorder", "zel.matlab adaptor", "zel.interface"};
    ASSERT_EQ(tree->topLevelItemCount(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(tree->topLevelItem(i)->text(0), topLevel[i]);
    QTreeWidgetItem *group = tree->topLevelItem(4);
    EXPECT_EQ(int(group->flags()), 125);
    EXPECT_TRUE(group->isExpanded());
    ASSERT_EQ(group->childCount(), 7);
    const Qt::ItemFlags plain = Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled |
                                Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(group->child(i)->text(0), interfaces[i]);
        EXPECT_EQ(group->child(i)->flags(), plain);
    }
    EXPECT_EQ(tree->topLevelItem(1)->flags(), plain);
}

TEST_F(DialogTest, slotsKeepTheirIndexOrder)
{
    Dialog dialog;
    const QMetaObject *meta = dialog.metaObject();
    EXPECT_STREQ(meta->className(), "Dialog");
    const char *const expected[] = {
        "on_pushButton_ClearLog_clicked()", "on_pushButton_ExploreLog_clicked()",
        "on_pushButton_CreateSupportFile_clicked()", "on_pushButton_SupportMail_clicked()",
        "on_treeWidget_itemClicked(QTreeWidgetItem*,int)", "on_comboBox_currentIndexChanged(int)",
        "showModified_slot(QString)"};
    ASSERT_EQ(meta->methodCount() - meta->methodOffset(), 7);
    for (int i = 0; i < 7; ++i) {
        const QMetaMethod method = meta->method(meta->methodOffset() + i);
        EXPECT_EQ(method.methodSignature(), QByteArray(expected[i]));
        EXPECT_EQ(method.access(), QMetaMethod::Private);
    }
}

TEST_F(DialogTest, emptyFolderLeavesEverythingUncheckedAndHidesTheDeviceManager)
{
    Dialog dialog;
    DialogDriver driver(dialog);
    EXPECT_TRUE(checkedItems(driver).isEmpty());
    EXPECT_TRUE(driver.item("zel.device manager")->isHidden());
    EXPECT_FALSE(driver.item("zel.sdk")->isHidden());
    EXPECT_EQ(driver.state("zel.interface"), Qt::Unchecked);
    EXPECT_EQ(DialogProbe::logPath(dialog), logPath());
}

TEST_F(DialogTest, oneCameraLinkLogChecksCameraLinkAndPartlyTheGroup)
{
    write("kv4_cl_nat.log", "");
    Dialog dialog;
    DialogDriver driver(dialog);
    EXPECT_EQ(checkedItems(driver), QStringList({"Camera Link"}));
    EXPECT_EQ(driver.state("zel.interface"), Qt::PartiallyChecked);
}

TEST_F(DialogTest, anyOneLogOfTheSdkChecksItWithoutCreatingTheOther)
{
    write("zel_conv.log", "");
    Dialog dialog;
    DialogDriver driver(dialog);
    EXPECT_EQ(checkedItems(driver), QStringList({"zel.sdk"}));
    EXPECT_FALSE(exists("kv4_cam.log"));
}

TEST_F(DialogTest, neitherAFolderNamedLikeALogNorAnIniFileAloneCounts)
{
    QDir().mkpath(path("kv4_usb.log"));
    write("kv4_usb3_param.ini", "[LOGGING]\r\n");
    write("kv4_gige2.log", "");
    Dialog dialog;
    DialogDriver driver(dialog);
    EXPECT_EQ(checkedItems(driver), QStringList({"GigE"}));
}

TEST_F(DialogTest, allSevenInterfaceLogsCheckTheGroup)
{
    for (const char *name : {"kv4_1394", "kv4_cl_ser", "kv4_clhs", "kv4_usb", "kv4_usb3", "kv4_gige2", "kv4_genicam"})
        write(QString(name) + ".log", "");
    Dialog dialog;
    DialogDriver driver(dialog);
    EXPECT_EQ(driver.state("zel.interface"), Qt::Checked);
}

TEST_F(DialogTest, levelStartsAtStandardWhateverTheIniFilesHold)
{
    write("kv4_usb.log", "");
    write("kv4_usb_param.ini", "[LOGGING]\r\nLogging=0x0000FFFF\r\n");
    Dialog dialog;
    EXPECT_EQ(dialog.findChild<QComboBox *>("comboBox")->currentText(), "Standard");
    EXPECT_EQ(read("kv4_usb_param.ini"), "[LOGGING]\r\nLogging=0x0000FFFF\r\n");
}

TEST_F(DialogTest, unusableLogFolderStillBringsUpAnUncheckedDialog)
{
    write("../../blocker", "x");
    qputenv("XDG_DATA_DIRS", (root.path() + "/blocker").toUtf8());
    qputenv("XDG_DATA_HOME", (root.path() + "/blocker/home").toUtf8());
    Dialog dialog;
    DialogDriver driver(dialog);
    EXPECT_TRUE(checkedItems(driver).isEmpty());
    driver.clickCheckBox("USB");
    EXPECT_FALSE(QFileInfo::exists(root.path() + "/blocker/zel/kv4_usb.log"));
}

// --- watching the folder ---

TEST_F(DialogTest, logCreatedAndDeletedByAnotherProgramChangesTheTree)
{
    Dialog dialog;
    DialogDriver driver(dialog);
    write("kv4_usb.log", "");
    ASSERT_TRUE(eventually([&] { return driver.state("USB") == Qt::Checked; }));
    EXPECT_EQ(driver.state("zel.interface"), Qt::PartiallyChecked);
    QFile::remove(path("kv4_usb.log"));
    ASSERT_TRUE(eventually([&] { return driver.state("USB") == Qt::Unchecked; }));
}

TEST_F(DialogTest, namesNotEndingInLowerCaseLogDoNotRefresh)
{
    Dialog dialog;
    DialogDriver driver(dialog);
    // Ticking by hand without files shows whether a refresh ran: a refresh would untick it.
    driver.item("zel.recorder")->setCheckState(0, Qt::Checked);
    write("notes.txt", "x");
    ASSERT_TRUE(eventually([&] { return DialogProbe::folderEntries(dialog).contains("notes.txt"); }));
    write("OTHER.LOG", "x");
    ASSERT_TRUE(eventually([&] { return DialogProbe::folderEntries(dialog).contains("OTHER.LOG"); }));
    EXPECT_EQ(driver.state("zel.recorder"), Qt::Checked);
}

TEST_F(DialogTest, appendingToALogDoesNotRefresh)
{
    write("kv4_usb.log", "");
    Dialog dialog;
    DialogDriver driver(dialog);
    driver.item("zel.recorder")->setCheckState(0, Qt::Checked);
    write("kv4_usb.log", "more");
    DialogProbe::notify(dialog);
    EXPECT_EQ(driver.state("zel.recorder"), Qt::Checked);
}

TEST_F(DialogTest, renameToAnotherLogNameRefreshes)
{
    write("kv4_usb.log", "");
    Dialog dialog;
    DialogDriver driver(dialog);
    ASSERT_EQ(driver.state("USB"), Qt::Checked);
    ASSERT_TRUE(QFile::rename(path("kv4_usb.log"), path("kv4_usb3.log")));
    ASSERT_TRUE(eventually([&] { return driver.state("USB3") == Qt::Checked; }));
    EXPECT_EQ(driver.state("USB"), Qt::Unchecked);
}

TEST_F(DialogTest, notificationBeforeReadyChangesNothing)
{
    Dialog dialog;
    DialogDriver driver(dialog);
    const QStringList before = DialogProbe::folderEntries(dialog);
    DialogProbe::ready(dialog) = false;
    write("kv4_usb.log", "");
    DialogProbe::notify(dialog);
    EXPECT_EQ(DialogProbe::folderEntries(dialog), before);
    EXPECT_EQ(driver.state("USB"), Qt::Unchecked);
    DialogProbe::ready(dialog) = true;
    DialogProbe::notify(dialog);
    EXPECT_EQ(driver.state("USB"), Qt::Checked);
}

// --- the support archive's progress dialog ---

TEST_F(DialogTest, cancelInTheProgressDialogStopsTheBuildAndKeepsTheEarlierArchive)
{
    const QString bin = root.path() + "/bin";
    const QString runs = root.path() + "/system-tool-runs";
    QDir().mkpath(bin);
    if (!writeWaitingSystemTool(bin, runs))
        GTEST_SKIP() << "no stand-in for the system tools on this platform";
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", bin.toUtf8());
    write("kv4_usb.log", "usb log");
    write("kv4_usb_param.ini", "[LOGGING]\r\n");
    write("zel_support.zip", "earlier archive");
    Dialog dialog;
    DialogDriver driver(dialog);
    auto *create = dialog.findChild<QPushButton *>("pushButton_CreateSupportFile");

    // While the tool waits: clicks and Escape on the window itself (and a click that bypasses
    // the input, as an accessibility tool makes it), then Escape in the progress dialog while
    // it shows.
    QString label;
    bool busyBar = false;
    bool steadyWidth = false;
    bool archiveWhileBuilding = false;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        QProgressDialog *progress = driver.progress();
        if (!progress) {
            QTest::mouseClick(create, Qt::LeftButton);
            QTest::keyClick(&dialog, Qt::Key_Escape);
            create->click();
            return;
        }
        if (label.isEmpty()) {
            label = progress->labelText();
            busyBar = progress->minimum() == 0 && progress->maximum() == 0;
            const QStringList pending = QDir(logPath()).entryList({"~*~zel_support.zip"}, QDir::Files);
            archiveWhileBuilding = pending.size() == 1 && read("zel_support.zip") == "earlier archive";
            // A backup with a long name would fit without the dialog growing.
            const int width = progress->width();
            progress->setLabelText("Packing backup/zel_imaq_adaptor.log\n12.5 GiB of 812.5 GiB");
            steadyWidth = progress->sizeHint().width() <= width;
        }
        QTest::keyClick(progress, Qt::Key_Escape);
    });
    user.start(50);
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(create, Qt::LeftButton);
    const qint64 took = clock.elapsed();
    user.stop();
    qputenv("PATH", savedPath);

    EXPECT_TRUE(label.startsWith("Waiting for the system tools\n")) << label.toStdString();
    EXPECT_TRUE(busyBar) << "while only the tools run there is nothing to count";
    EXPECT_TRUE(steadyWidth) << "the dialog has room for the packing of a backup from the start";
    EXPECT_TRUE(archiveWhileBuilding) << "the new archive grows under a name of its own";
    // The earlier archive as it was, no pending file, and no output of the stopped tool.
    EXPECT_EQ(QDir(logPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList({"backup", "kv4_usb.log", "kv4_usb_param.ini", "zel_support.zip"}));
    EXPECT_EQ(read("zel_support.zip"), "earlier archive");
    EXPECT_EQ(read("kv4_usb.log"), "usb log");
    EXPECT_EQ(read("kv4_usb_param.ini"), "[LOGGING]\r\n");
    QFile runsFile(runs);
    ASSERT_TRUE(runsFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(runsFile.readAll(), "run\n") << "one build, whatever was clicked during it";
    EXPECT_LT(took, 20000) << "the waiting tool was stopped, not waited for";
    EXPECT_TRUE(dialog.isVisible()) << "Escape on the busy window closed it";
    EXPECT_EQ(dialog.cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(driver.progress());
}

// The bar moves with the bytes packed from the first entry on, also past 4 GiB, and never
// beyond its end when a log grew meanwhile.
TEST(ProgressBar, valueFollowsTheBytesPacked)
{
    EXPECT_EQ(progressValue({"kv4_usb.log", 1, 4}, progressSteps), 250);
    EXPECT_EQ(progressValue({"kv4_usb.log", 3'000'000'000ull, 6'000'000'000ull}, progressSteps), 500);
    EXPECT_EQ(progressValue({"kv4_usb.log", 5, 4}, progressSteps), progressSteps);
    EXPECT_EQ(progressValue({"kv4_usb.log", 0, 0}, progressSteps), 0);
}
