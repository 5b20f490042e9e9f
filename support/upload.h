#pragma once
// Delivering a support archive to the support desk's server: one HTTP PUT of the archive's
// bytes, streamed from the open file, over TLS checked against the system's certificates and
// the desk's own CA. A success is only what the server confirmed with a 2xx answer.

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QUrl>
#include <QVector>

#include <cstdio>
#include <memory>
#include <optional>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// What a case may be, empty or not: up to 40 ASCII letters, digits, "-" and ".".
const QRegularExpression &caseIdPattern();

// Whether `id` may name a case: not empty, and caseIdPattern() matches it whole.
bool validCaseId(const QString &id);

// The host part of an object name: the machine's first name, or its stand-in where the archive
// is redacted; only letters, digits, "-" and "." survive.
QString uploadHostName(bool redacted);

// "zel_support_<case>_<host>_<UTC time>.zip", the time as 20261209T081500Z; without the case
// and its "_" when `caseId` is empty.
QString uploadObjectName(const QString &caseId, const QString &host, const QDateTime &time);

// The address to PUT to: `address` with every "{name}" replaced by `objectName`. Only https,
// or plain http to a loopback address; nothing otherwise, with the reason in `problem`.
std::optional<QUrl> uploadTarget(const QString &address, const QString &objectName, QString &problem);

// The certificates of a PEM file; nothing, with the reason in `problem`, when the file cannot be
// read or holds none.
std::optional<QList<QSslCertificate>> readCaFile(const QString &path, QString &problem);

// The SHA-256 of an open file from its start, in hexadecimal; empty when it cannot be read.
// Leaves the file at its start.
QString sha256Of(QFile &file);

struct UploadOptions {
    QUrl target;
    QList<QSslCertificate> extraCas;        // trusted besides the system's
    QVector<int> retryDelaysMs{2000, 5000}; // one retry per entry, after a 5xx or a lost connection
    int stallTimeoutMs = 60000;             // no byte going either way for this long loses the connection
};

struct UploadResult {
    bool uploaded = false; // the server confirmed with a 2xx answer
    int status = 0;        // the last HTTP status, 0 when none came
    QString etag;          // the server's ETag, when it sent one
    QString problem;       // unless uploaded, in the user's language
    bool cancelled = false;
};

// One upload of an open file. Tries once and after a 5xx or a lost connection as many times
// more as there are retry delays, each from the file's start.
class Upload : public QObject {
    Q_OBJECT
public:
    // `file` must stay open, positioned anywhere, until finished() is emitted.
    Upload(QFile &file, UploadOptions options, QObject *parent = nullptr);
    ~Upload() override;

    void start();
    // Stops the upload; finished() follows, not uploaded and cancelled.
    void cancel();

signals:
    // Bytes sent of the current try, and the file's size.
    void progress(qint64 sent, qint64 total);
    // A try failed and the next starts after `delayMs`; `problem` says why.
    void retrying(const QString &problem, int delayMs);
    void finished(const UploadResult &result);

private:
    void attempt();
    void attemptFinished();
    void finish(UploadResult result);

    QFile &file;
    const UploadOptions options;
    QNetworkAccessManager *network;
    QTimer *retryTimer;
    QPointer<QNetworkReply> reply;
    int tries = 0;
    bool cancelled = false;
    bool done = false;
};

// Uploads the open `file` and waits for the outcome, running an event loop meanwhile; `progress`
// and `retrying` are called from it. Needs an application object.
UploadResult uploadFile(QFile &file, const UploadOptions &options,
                        const std::function<void(qint64 sent, qint64 total)> &progress,
                        const std::function<void(const QString &problem, int delayMs)> &retrying);
