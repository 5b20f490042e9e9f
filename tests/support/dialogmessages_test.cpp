// What the dialog tells its user: where the support file went, a support file too large for a
// mail, a mail program that fails, a file manager that does not open, a log folder the user may
// not write into or that is not the shared one, and the site's settings in the archive it builds.
#include "archivebuild.h"
#include "dialogdriver.h"
#include "deskserver.h"
#include "supportfixture.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <random>

namespace {

// Records what the desktop was asked to open.
class OpenedUrls : public QObject {
    Q_OBJECT
public:
    OpenedUrls() { QDesktopServices::setUrlHandler("file", this, "open"); }
    ~OpenedUrls() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

QByteArray randomBytes(int size)
{
    std::mt19937 generator(25);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(generator());
    return bytes;
}

class DialogMessages : public SupportTest {
protected:
    DialogMessages()
    {
        // No session bus: "Show in Folder" opens the folder through the desktop.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/zel-test-bus");
        addSystemTools();
        answerResultBoxes = true;
    }

    void site(const QByteArray &lines) const
    {
        ASSERT_TRUE(QDir().mkpath(root.path() + "/site/zel"));
        QFile file(root.path() + "/site/zel/zel.logging.conf");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Support]\n" + lines);
    }

    QJsonObject manifest() const
    {
        const std::optional<QList<Entry>> entries = readWholeArchive(path(archiveName));
        return entries && !entries->isEmpty() ? QJsonDocument::fromJson(entries->last().data).object() : QJsonObject();
    }

    QString native(const QString &name) const { return QDir::toNativeSeparators(path(name)); }
};

QStringList sorted(QStringList labels)
{
    labels.sort();
    return labels;
}

} // namespace

// The box after "Create Support File": path, size, whether names were hidden and where their key
// is; the site's redaction and cap made the archive what it is, and its manifest says so.
TEST_F(DialogMessages, createdSupportFileIsNamedWithItsRedactionAndTheSiteSettingsApply)
{
    if (!haveReaders())
        GTEST_SKIP() << "python3 or unzip is missing";
    struct Row {
        const char *site;
        bool redacted;
        bool capped;
    };
    const QByteArray log = QByteArray("first line of 10.1.2.3\n").repeated(200) + "last line\n";
    for (const Row &row : {Row{"", false, false}, Row{"Redact=true\nMaxLogSize=1K\n", true, true},
                           Row{"Redact=false\nMaxLogSize=1M\n", false, false}}) {
        SCOPED_TRACE(row.site);
        site(row.site);
        write("kv4_usb.log", log);
        Dialog dialog;
        BoxAnswers boxes({QMessageBox::Ok});
        click(dialog, "pushButton_CreateSupportFile");
        ASSERT_EQ(boxes.seen.size(), 1);
        const SeenBox &box = boxes.seen[0];
        EXPECT_EQ(box.title, "Support File Created");
        EXPECT_EQ(box.icon, QMessageBox::Information);
        EXPECT_EQ(sorted(box.labels), QStringList({"OK", "Show in Folder"}));
        EXPECT_TRUE(box.text.contains(native(archiveName) + "\n")) << box.text.toStdString();
        EXPECT_TRUE(box.text.contains(QLocale().formattedDataSize(QFileInfo(path(archiveName)).size(), 1)));
        const QString mapping = native("zel_support.redaction.txt");
        EXPECT_EQ(box.text.contains(mapping), row.redacted) << box.text.toStdString();
        EXPECT_EQ(box.text.contains("were not hidden"), !row.redacted);
        EXPECT_EQ(exists("zel_support.redaction.txt"), row.redacted);

        const std::optional<QList<Entry>> entries = readArchive(path(archiveName));
        ASSERT_TRUE(entries);
        const QByteArray packed = data(*entries, "kv4_usb.log");
        EXPECT_EQ(packed.contains("10.1.2.3"), !row.redacted);
        EXPECT_EQ(packed.size() < log.size() / 2, row.capped);
        EXPECT_TRUE(packed.endsWith("last line\n"));
        const QJsonObject facts = manifest();
        EXPECT_EQ(facts["redaction"]["on"].toBool(), row.redacted);
        EXPECT_EQ(facts["site"]["redact"].toBool(), row.redacted);
        EXPECT_EQ(facts["site"]["source"].toString(), root.path() + "/site/zel/zel.logging.conf");
        EXPECT_EQ(facts["site"]["maxMailSize"].toInteger(), 20 * 1024 * 1024);
        QFile::remove(path("zel_support.redaction.txt"));
    }
}

// "Show in Folder" opens the file manager where the support file is: selected, where the desktop
// takes such a request, else the folder alone.
TEST_F(DialogMessages, showInFolderOpensTheSupportFilesFolder)
{
    write("kv4_usb.log", "usb log");
    OpenedUrls opened;
    Dialog dialog;
    BoxAnswers boxes({"Show in Folder"});
    click(dialog, "pushButton_CreateSupportFile");
    ASSERT_EQ(boxes.seen.size(), 1);
    ASSERT_EQ(opened.urls.size(), 1);
    EXPECT_EQ(QDir::cleanPath(opened.urls[0].toLocalFile()), QDir::cleanPath(logPath()));
}

// "Support Mail" with a support file above the site's mail size asks first; each answer does what
// it says, and the upload is offered only where the site has an upload address.
TEST_F(DialogMessages, supportFileTooLargeForAMailIsSaidBeforeTheMailOpens)
{
    struct Row {
        const char *answer;
        const char *site;
        bool mailed;
        bool smaller;
    };
    const Row rows[] = {
        {"Send Anyway", "MaxMailSize=64K\n", true, false},
        {"Smaller Support File", "MaxMailSize=64K\n", true, true},
        {"Cancel", "MaxMailSize=64K\n", false, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.answer);
        site(row.site);
        write("kv4_usb.log", randomBytes(200 * 1024));
        QFile::remove(path(archiveName));
        tools.add("xdg-email", "exit 0");
        const int mailsBefore = tools.runs("xdg-email");
        Dialog dialog;
        BoxAnswers boxes({QMessageBox::Yes, row.answer, QMessageBox::Ok});
        click(dialog, "pushButton_SupportMail");
        ASSERT_GE(boxes.seen.size(), 2);
        const SeenBox &question = boxes.seen[1];
        EXPECT_EQ(question.title, "Support File Too Large");
        EXPECT_TRUE(question.text.contains("more than the 64.0 KiB")) << question.text.toStdString();
        EXPECT_EQ(sorted(question.labels), sorted(QStringList({"Cancel", "Smaller Support File", "Send Anyway"})));
        EXPECT_EQ(tools.runs("xdg-email") - mailsBefore, row.mailed ? 1 : 0);
        const qint64 size = QFileInfo(path(archiveName)).size();
        EXPECT_EQ(size <= 64 * 1024, row.smaller) << size;
        EXPECT_EQ(boxes.seen.size(), 2) << "no further question once the archive fits";
        if (row.mailed) {
            QFile attached(tools.arguments("xdg-email").value(5));
            EXPECT_EQ(attached.size(), size) << "the archive on disk is the one mailed";
        }
    }
}

// Where the site has an upload address, a support file too large for a mail can go to the desk's
// server instead, under its object name with the case; the mail that follows names it and carries
// no attachment.
TEST_F(DialogMessages, uploadedSupportFileIsNamedInTheMailInsteadOfAttached)
{
    DeskServer desk(false);
    site("MaxMailSize=64K\nUploadUrl=" + desk.url().toString().replace("N.zip", "{name}").toUtf8() + "\n");
    write("kv4_usb.log", randomBytes(200 * 1024));
    tools.add("xdg-email", "exit 0");
    Dialog dialog;
    BoxAnswers boxes({QMessageBox::Yes, "Upload"});
    QTimer caseAnswer;
    QObject::connect(&caseAnswer, &QTimer::timeout, [&caseAnswer] {
        QWidget *modal = QApplication::activeModalWidget();
        auto *field = modal ? modal->findChild<QLineEdit *>("caseId") : nullptr;
        if (!field)
            return;
        caseAnswer.stop();
        QTest::keyClicks(field, "SR-7");
        modal->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
    caseAnswer.start(20);
    click(dialog, "pushButton_SupportMail");
    ASSERT_GE(boxes.seen.size(), 2);
    EXPECT_TRUE(boxes.seen[1].labels.contains("Upload"));
    EXPECT_EQ(desk.body(), read(archiveName));
    EXPECT_TRUE(desk.requestLine().startsWith("PUT /desk/zel_support_SR-7_")) << desk.requestLine().toStdString();
    ASSERT_EQ(tools.runs("xdg-email"), 1);
    const QString mail = tools.arguments("xdg-email").join(u' ');
    EXPECT_FALSE(mail.contains("--attach")) << mail.toStdString();
    EXPECT_TRUE(mail.contains("zel_support_SR-7_")) << mail.toStdString();
}

TEST_F(DialogMessages, supportFileWithinTheMailSizeGoesWithoutAQuestion)
{
    site("MaxMailSize=1M\n");
    write("kv4_usb.log", randomBytes(200 * 1024));
    tools.add("xdg-email", "exit 0");
    Dialog dialog;
    BoxAnswers boxes({QMessageBox::Yes});
    click(dialog, "pushButton_SupportMail");
    EXPECT_EQ(boxes.seen.size(), 1);
    EXPECT_EQ(tools.runs("xdg-email"), 1);
}

// A mail program that cannot be started, or does not take the mail, is said, with the support
// file's path and "Show in Folder" when there is one to attach by hand.
TEST_F(DialogMessages, failingMailProgramIsSaidWithTheSupportFilesPath)
{
    struct Row {
        QMessageBox::StandardButton answer;
        bool archive;
    };
    write("kv4_usb.log", "usb log");
    tools.add("xdg-email", "exit 3");
    for (const Row &row : {Row{QMessageBox::Yes, true}, Row{QMessageBox::No, false}}) {
        Dialog dialog;
        BoxAnswers boxes({row.answer, QMessageBox::Ok});
        click(dialog, "pushButton_SupportMail");
        ASSERT_EQ(boxes.seen.size(), 2);
        const SeenBox &failure = boxes.seen[1];
        EXPECT_TRUE(failure.text.startsWith("The mail program could not be started")) << failure.text.toStdString();
        EXPECT_EQ(failure.icon, QMessageBox::Warning);
        EXPECT_EQ(failure.text.contains(native(archiveName)), row.archive);
        EXPECT_EQ(failure.labels.contains("Show in Folder"), row.archive);
        QFile::remove(path(archiveName));
    }
}

// "Explore Logfiles" names the folder when no file manager opens it, and says nothing when one does.
TEST_F(DialogMessages, exploreLogfilesThatOpensNothingNamesTheFolder)
{
    Dialog dialog;
    {
        BoxAnswers boxes({QMessageBox::Ok});
        click(dialog, "pushButton_ExploreLog");
        ASSERT_EQ(boxes.seen.size(), 1);
        EXPECT_TRUE(boxes.seen[0].text.contains(QDir::toNativeSeparators(logPath()))) << boxes.seen[0].text.toStdString();
    }
    OpenedUrls opened;
    BoxAnswers boxes;
    click(dialog, "pushButton_ExploreLog");
    EXPECT_TRUE(boxes.seen.isEmpty());
    EXPECT_EQ(opened.urls, QList<QUrl>({QUrl::fromLocalFile(logPath())}));
}

// A log folder the user may not write into: one message at the start naming it and who can fix
// it, the components as they are on disk, and every click refused with the same reason.
TEST_F(DialogMessages, readOnlyLogFolderIsSaidOnceAndEveryClickIsRefused)
{
    write("kv4_usb.log", "usb log");
    ASSERT_TRUE(QDir(root.path() + "/home").removeRecursively());
    write("../../home", "a file where the user's own data folder would be");
    ASSERT_TRUE(QFile::setPermissions(QDir::cleanPath(logPath()), QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                                       QFileDevice::ReadOther | QFileDevice::ExeOther));
    BoxAnswers boxes({QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok});
    Dialog dialog;
    ASSERT_EQ(boxes.seen.size(), 1);
    const QString reason = boxes.seen[0].text;
    EXPECT_TRUE(reason.contains(QDir::toNativeSeparators(logPath()))) << reason.toStdString();
    EXPECT_TRUE(reason.contains("administrator")) << reason.toStdString();
    DialogDriver driver(dialog);
    EXPECT_EQ(driver.state("USB"), Qt::Checked) << "as on disk";
    driver.clickCheckBox("USB");
    driver.clickCheckBox("USB3");
    ASSERT_EQ(boxes.seen.size(), 3);
    EXPECT_EQ(boxes.seen[1].text, reason);
    EXPECT_EQ(boxes.seen[2].text, reason);
    EXPECT_EQ(driver.state("USB"), Qt::Checked);
    EXPECT_EQ(driver.state("USB3"), Qt::Unchecked);
    EXPECT_TRUE(exists("kv4_usb.log"));
}

// The user's own folder standing in for the shared one is said once at the start, naming both.
TEST_F(DialogMessages, fallbackFolderIsSaidOnceAtTheStart)
{
    ASSERT_TRUE(QFile::setPermissions(QDir::cleanPath(logPath()), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    BoxAnswers boxes({QMessageBox::Ok});
    Dialog dialog;
    ASSERT_EQ(boxes.seen.size(), 1);
    const QString own = QDir::toNativeSeparators(root.path() + "/home/zel/");
    EXPECT_EQ(DialogProbe::logPath(dialog), root.path() + "/home/zel/");
    EXPECT_TRUE(boxes.seen[0].text.contains(own)) << boxes.seen[0].text.toStdString();
    EXPECT_TRUE(boxes.seen[0].text.contains(QDir::toNativeSeparators(logPath())));
    DialogDriver driver(dialog);
    driver.clickCheckBox("USB");
    EXPECT_EQ(boxes.seen.size(), 1) << "said once; the own folder takes the switch";
    EXPECT_TRUE(QFileInfo::exists(root.path() + "/home/zel/kv4_usb.log"));
}

// The smaller archive's cap: logs below it keep all of themselves, the others share what is left.
TEST(LogCap, sharesTheBudgetAmongTheLargeLogs)
{
    struct Row {
        QVector<quint64> sizes;
        quint64 budget;
        quint64 cap;
    };
    const Row rows[] = {
        {{100}, 40, 40},
        {{10, 100, 100}, 70, 30},
        {{10, 20, 30}, 1000, 30},
        {{}, 50, 50},
        {{5, 5}, 0, 1},
        {{100, 100, 100}, 299, 99},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(logCapToFit(row.sizes, row.budget), row.cap) << row.budget;
        quint64 kept = 0;
        for (quint64 size : row.sizes)
            kept += qMin(size, row.cap);
        EXPECT_LE(kept, qMax<quint64>(row.budget, row.sizes.size()));
    }
}

#include "dialogmessages_test.moc"
