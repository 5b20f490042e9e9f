#include "upload.h"

#include "identity.h"
#include "redaction.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QTimer>

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(Dialog)
};

// What the server's answer means for the user; empty for a 2xx.
QString statusProblem(int status)
{
    if (status >= 200 && status < 300)
        return QString();
    if (status == 401 || status == 403)
        return Text::tr("The server refused the upload (HTTP %1): the upload address may have expired or may not "
                        "allow writing. Please ask the support desk for a new one.")
            .arg(status);
    if (status == 404)
        return Text::tr("The server does not know the upload address (HTTP 404). Please check it with the support "
                        "desk.");
    if (status == 413)
        return Text::tr("The server refuses a support file this large (HTTP 413). Please build a smaller one (with "
                        "a lower level or a limit on the log size) or ask the support desk.");
    if (status >= 500)
        return Text::tr("The server failed (HTTP %1). Please try again later.").arg(status);
    if (status >= 300 && status < 400)
        return Text::tr("The server sent the upload elsewhere (HTTP %1), which is not followed. Please ask the "
                        "support desk for the address to use.")
            .arg(status);
    return Text::tr("The server did not take the upload (HTTP %1).").arg(status);
}

// Errors after which the same request may well succeed.
bool connectionLost(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError: // the stall timer's abort
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::UnknownNetworkError:
        return true;
    default:
        return false;
    }
}

} // namespace

const QRegularExpression &caseIdPattern()
{
    static const QRegularExpression pattern(QStringLiteral("[A-Za-z0-9.-]{0,40}"));
    return pattern;
}

bool validCaseId(const QString &id)
{
    static const QRegularExpression whole(QRegularExpression::anchoredPattern(caseIdPattern().pattern()));
    return !id.isEmpty() && whole.match(id).hasMatch();
}

QString uploadHostName(bool redacted)
{
    const Identity identity = machineIdentity();
    QString host = identity.hostNames.value(0);
    if (redacted && !host.isEmpty())
        host = QString::fromUtf8(Redactor(identity).redacted(host.toUtf8()));
    host.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9.-]")), QStringLiteral("-"));
    return host.isEmpty() ? QStringLiteral("unknown") : host;
}

QString uploadObjectName(const QString &caseId, const QString &host, const QDateTime &time)
{
    QStringList parts{QStringLiteral("zel_support")};
    if (!caseId.isEmpty())
        parts << caseId;
    parts << host << time.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    return parts.join(QLatin1Char('_')) + QStringLiteral(".zip");
}

std::optional<QUrl> uploadTarget(const QString &address, const QString &objectName, QString &problem)
{
    const QUrl url(QString(address).replace(QStringLiteral("{name}"), objectName), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("https") && scheme != QLatin1String("http"))) {
        problem = Text::tr("not an https:// address: %1").arg(address);
        return std::nullopt;
    }
    // Plain http is only for a server on this machine, where nobody on the way reads along.
    if (scheme == QLatin1String("http") && !QHostAddress(url.host()).isLoopback()) {
        problem = Text::tr("plain http:// is only allowed to a loopback address (127.0.0.1, ::1); please use https://");
        return std::nullopt;
    }
    return url;
}

std::optional<QList<QSslCertificate>> readCaFile(const QString &path, QString &problem)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = Text::tr("cannot read the CA file %1 (%2)").arg(path, file.errorString());
        return std::nullopt;
    }
    const QList<QSslCertificate> certificates = QSslCertificate::fromDevice(&file, QSsl::Pem);
    if (certificates.isEmpty()) {
        problem = Text::tr("the CA file %1 holds no PEM certificate").arg(path);
        return std::nullopt;
    }
    return certificates;
}

QString sha256Of(QFile &file)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const bool read = file.seek(0) && hash.addData(&file) && file.atEnd();
    return file.seek(0) && read ? QString::fromLatin1(hash.result().toHex()) : QString();
}

Upload::Upload(QFile &file, UploadOptions options, QObject *parent)
    : QObject(parent), file(file), options(std::move(options)), network(new QNetworkAccessManager(this)),
      retryTimer(new QTimer(this))
{
    // The proxy of the system, or on Linux of http_proxy and https_proxy, as other programs use it.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    // A redirected PUT would carry the archive to a place the desk did not name.
    network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    retryTimer->setSingleShot(true);
    connect(retryTimer, &QTimer::timeout, this, &Upload::attempt);
}

Upload::~Upload() = default;

void Upload::start()
{
    attempt();
}

void Upload::cancel()
{
    if (done)
        return;
    cancelled = true;
    retryTimer->stop();
    if (reply)
        reply->abort(); // attemptFinished() reports it
    else
        finish({});
}

void Upload::attempt()
{
    ++tries;
    if (!file.seek(0)) {
        finish({false, 0, QString(), Text::tr("The support file cannot be read (%1).").arg(file.errorString())});
        return;
    }
    QNetworkRequest request(options.target);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/zip"));
    request.setHeader(QNetworkRequest::ContentLengthHeader, file.size());
    request.setTransferTimeout(options.stallTimeoutMs);
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificates(options.extraCas);
    request.setSslConfiguration(tls);
    reply = network->put(request, &file);
    connect(reply, &QNetworkReply::uploadProgress, this, &Upload::progress);
    connect(reply, &QNetworkReply::finished, this, &Upload::attemptFinished);
}

void Upload::attemptFinished()
{
    QNetworkReply *const answered = reply;
    answered->deleteLater();
    reply = nullptr;
    UploadResult result;
    result.status = answered->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (cancelled) {
        finish(result);
        return;
    }
    bool retry = false;
    if (result.status > 0) {
        result.problem = statusProblem(result.status);
        result.uploaded = result.problem.isEmpty() && answered->error() == QNetworkReply::NoError;
        if (result.problem.isEmpty() && !result.uploaded)
            result.problem = Text::tr("The connection broke off after the server's answer (%1).")
                                 .arg(answered->errorString());
        result.etag = QString::fromLatin1(answered->rawHeader("ETag"));
        retry = result.status >= 500;
    } else if (answered->error() == QNetworkReply::OperationCanceledError) {
        result.problem = Text::tr("The server stopped answering for %1 s.").arg(options.stallTimeoutMs / 1000);
        retry = true;
    } else {
        result.problem = answered->error() == QNetworkReply::SslHandshakeFailedError
                             ? Text::tr("The server's certificate is not trusted (%1). If the support desk has a "
                                        "CA of its own, give its certificate with --ca-file.")
                                   .arg(answered->errorString())
                             : Text::tr("The connection to the server failed (%1).").arg(answered->errorString());
        retry = connectionLost(answered->error());
    }
    if (retry && tries <= options.retryDelaysMs.size()) {
        const int delay = options.retryDelaysMs.at(tries - 1);
        emit retrying(result.problem, delay);
        retryTimer->start(delay);
        return;
    }
    finish(result);
}

void Upload::finish(UploadResult result)
{
    done = true;
    result.cancelled = cancelled;
    if (cancelled) {
        result.uploaded = false;
        result.problem = Text::tr("The upload was cancelled.");
    }
    emit finished(result);
}

UploadResult uploadFile(QFile &file, const UploadOptions &options,
                        const std::function<void(qint64 sent, qint64 total)> &progress,
                        const std::function<void(const QString &problem, int delayMs)> &retrying)
{
    QEventLoop loop;
    Upload upload(file, options);
    UploadResult outcome;
    QObject::connect(&upload, &Upload::progress, &loop, progress);
    QObject::connect(&upload, &Upload::retrying, &loop, retrying);
    QObject::connect(&upload, &Upload::finished, &loop, [&](const UploadResult &result) {
        outcome = result;
        loop.quit();
    });
    upload.start();
    loop.exec();
    return outcome;
}
