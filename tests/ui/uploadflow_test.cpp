// The dialog's side of an upload: the case question and the progress window with Cancel, against
// a small HTTP server of the test's own on loopback (plain http is allowed there).

#include "deskserver.h"
#include "testenv.h"
#include "uploadflow.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// Calls `act` with the modal widget of type T once it shows.
template <typename T>
void whenShown(const std::function<void(T *)> &act)
{
    auto *timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        if (auto *widget = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(widget);
        }
    });
    timer->start(20);
}

class UploadFlowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        archive.setFileName(folder.path() + "/zel_support.zip");
        ASSERT_TRUE(archive.open(QIODevice::ReadWrite));
        archive.write(QByteArray(3 << 20, 'z'));
    }
    QTemporaryDir folder;
    QFile archive;
};

} // namespace

TEST(CaseQuestion, takesOnlyWhatACaseMayBeAndCancelGivesNothing)
{
    const struct {
        const char *typed;
        bool ok;
        std::optional<QString> answer;
    } rows[] = {
        {"SR-2026.0042", true, "SR-2026.0042"},
        {"SR 12/a_b", true, "SR12ab"},
        {"", true, ""},
        {"SR-1", false, std::nullopt},
    };
    for (const auto &row : rows) {
        whenShown<QDialog>([&row](QDialog *box) {
            QTest::keyClicks(box->findChild<QLineEdit *>("caseId"), row.typed);
            auto *buttons = box->findChild<QDialogButtonBox *>();
            buttons->button(row.ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
        });
        EXPECT_EQ(askCaseId(nullptr), row.answer) << row.typed;
    }
}

TEST_F(UploadFlowTest, progressWindowShowsTheUploadConfirmed)
{
    DeskServer desk(false);
    UploadOptions options;
    options.target = desk.url();
    // An upload that stalls (as one did, with the window's events run inside Qt Network's
    // signals) fails soon.
    options.stallTimeoutMs = 5000;
    options.retryDelaysMs.clear();
    int shownMaximum = 0;
    whenShown<QProgressDialog>([&](QProgressDialog *progress) { shownMaximum = progress->maximum(); });
    const UploadResult result = uploadWithProgress(nullptr, archive, options);
    EXPECT_TRUE(result.uploaded) << result.problem.toStdString();
    EXPECT_EQ(result.etag, "\"e1\"");
    EXPECT_EQ(desk.body().size(), 3 << 20);
    EXPECT_GT(shownMaximum, 0);
}

TEST_F(UploadFlowTest, cancelStopsAnUploadTheServerNeverAnswers)
{
    DeskServer desk(true);
    UploadOptions options;
    options.target = desk.url();
    options.stallTimeoutMs = 5000;
    options.retryDelaysMs.clear();
    whenShown<QProgressDialog>([](QProgressDialog *progress) {
        QTimer::singleShot(300, progress, [progress] { progress->findChild<QPushButton *>()->click(); });
    });
    const UploadResult result = uploadWithProgress(nullptr, archive, options);
    EXPECT_FALSE(result.uploaded);
    EXPECT_TRUE(result.cancelled);
}
