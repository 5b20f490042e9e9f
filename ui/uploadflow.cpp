#include "uploadflow.h"

#include "sitesettings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(Dialog)
};

} // namespace

std::optional<QString> askCaseId(QWidget *parent)
{
    QDialog box(parent);
    box.setObjectName(QStringLiteral("caseQuestion"));
    box.setWindowTitle(Text::tr("Support Case"));
    auto *layout = new QVBoxLayout(&box);
    layout->addWidget(new QLabel(Text::tr("The support desk's case number, if you have one\n(letters, digits, \"-\" "
                                          "and \".\", up to 40):"),
                                 &box));
    auto *field = new QLineEdit(&box);
    field->setObjectName(QStringLiteral("caseId"));
    field->setValidator(new QRegularExpressionValidator(caseIdPattern(), field));
    layout->addWidget(field);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    layout->addWidget(buttons);
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return field->text();
}

UploadResult uploadWithProgress(QWidget *parent, QFile &archive, const UploadOptions &options)
{
    constexpr int steps = 1000;
    QProgressDialog progress(Text::tr("Uploading the support file..."), Text::tr("Cancel"), 0, steps, parent);
    progress.setObjectName(QStringLiteral("uploadProgress"));
    progress.setWindowTitle(Text::tr("Upload"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    QEventLoop loop;
    Upload upload(archive, options);
    UploadResult outcome;
    // Queued: a modal progress window's setValue() runs the events, which must not happen
    // inside Qt Network's own signal, or the upload stalls.
    QObject::connect(
        &upload, &Upload::progress, &progress,
        [&progress](qint64 sent, qint64 total) {
            if (total > 0)
                progress.setValue(int(sent * steps / total));
        },
        Qt::QueuedConnection);
    QObject::connect(&upload, &Upload::retrying, &progress, [&progress](const QString &why, int delayMs) {
        progress.setLabelText(why + QLatin1Char('\n') + Text::tr("Trying again in %1 s.").arg(delayMs / 1000));
    });
    QObject::connect(&progress, &QProgressDialog::canceled, &upload, &Upload::cancel);
    QObject::connect(&upload, &Upload::finished, &loop, [&](const UploadResult &result) {
        outcome = result;
        loop.quit();
    });
    progress.show();
    upload.start();
    loop.exec();
    return outcome;
}

std::optional<Uploaded> uploadFromDialog(QWidget *parent, std::FILE *archive, const QString &archivePath,
                                         const SiteSettings &site, bool redacted)
{
    const std::optional<QString> caseId = askCaseId(parent);
    if (!caseId)
        return std::nullopt;
    const QString kept = Text::tr("The support file stays at %1.").arg(QDir::toNativeSeparators(archivePath));
    const auto warn = [&](const QString &problem) {
        QMessageBox::warning(parent, Text::tr("Warning"), problem + QLatin1Char('\n') + kept);
        return std::nullopt;
    };
    QFile file;
    Uploaded uploaded;
    if (!file.open(archive, QIODevice::ReadOnly, QFileDevice::DontCloseHandle) ||
        (uploaded.sha256 = sha256Of(file)).isEmpty())
        return warn(Text::tr("The support file cannot be read (%1).").arg(file.errorString()));
    uploaded.objectName = uploadObjectName(*caseId, uploadHostName(redacted), QDateTime::currentDateTimeUtc());
    UploadOptions options;
    QString problem;
    const std::optional<QUrl> target = uploadTarget(site.uploadUrl, uploaded.objectName, problem);
    if (!target)
        return warn(problem);
    options.target = *target;
    if (!site.caFile.isEmpty()) {
        const std::optional<QList<QSslCertificate>> certificates = readCaFile(site.caFile, problem);
        if (!certificates)
            return warn(problem);
        options.extraCas = *certificates;
    }
    const UploadResult result = uploadWithProgress(parent, file, options);
    if (!result.uploaded)
        return result.cancelled ? std::nullopt : warn(result.problem);
    return uploaded;
}
