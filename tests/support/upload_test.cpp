// The upload's rules without a server: case numbers, object names, the addresses taken and the
// CA file. The uploads themselves go to a real nginx (upload_server.sh).

#include "upload.h"
#include "testenv.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>

TEST(UploadRules, caseIdsAreShortAndUrlSafe)
{
    const struct {
        QString id;
        bool valid;
    } rows[] = {
        {"SR-2026.0042", true},
        {"a", true},
        {QString(40, 'x'), true},
        {QString(41, 'x'), false},
        {"", false},
        {"has space", false},
        {"a/b", false},
        {"a_b", false}, // "_" separates the object name's parts
        {"case?x=1", false},
        {QString::fromUtf8("f\xc3\xbcr"), false}, // letters beyond ASCII would need encoding
    };
    for (const auto &row : rows)
        EXPECT_EQ(validCaseId(row.id), row.valid) << row.id.toStdString();
}

TEST(UploadRules, objectNameCarriesCaseHostAndUtcTime)
{
    // 10:15:30 in Berlin's winter is 09:15:30 UTC.
    const QDateTime local(QDate(2026, 12, 9), QTime(10, 15, 30), QTimeZone("Europe/Berlin"));
    EXPECT_EQ(uploadObjectName("SR-1", "cam-line7", local), "zel_support_SR-1_cam-line7_20261209T091530Z.zip");
    EXPECT_EQ(uploadObjectName("", "cam-line7", local), "zel_support_cam-line7_20261209T091530Z.zip");
}

TEST(UploadRules, hostPartIsTheStandInWhereRedacted)
{
    const QString redacted = uploadHostName(true);
    EXPECT_TRUE(redacted == "redacted-host1" || redacted == "unknown") << redacted.toStdString();
    const QString plain = uploadHostName(false);
    EXPECT_NE(plain, redacted);
    EXPECT_TRUE(QRegularExpression("^[A-Za-z0-9.-]+$").match(plain).hasMatch()) << plain.toStdString();
}

TEST(UploadRules, addressesTakenAndRefused)
{
    const struct {
        const char *address;
        const char *target; // empty: refused
    } rows[] = {
        {"https://desk.example/upload/{name}", "https://desk.example/upload/N.zip"},
        // A pre-signed address keeps its query; {name} may stand in it too.
        {"https://bucket.example/{name}?X-Sig=ab%2Fc&e=1", "https://bucket.example/N.zip?X-Sig=ab%2Fc&e=1"},
        {"https://desk.example/put?object={name}", "https://desk.example/put?object=N.zip"},
        {"https://desk.example/fixed.zip", "https://desk.example/fixed.zip"},
        {"http://127.0.0.1:8080/{name}", "http://127.0.0.1:8080/N.zip"},
        {"http://127.5.6.7/{name}", "http://127.5.6.7/N.zip"},
        {"http://[::1]:8080/{name}", "http://[::1]:8080/N.zip"},
        {"HTTP://127.0.0.1/{name}", "http://127.0.0.1/N.zip"},
        {"http://desk.example/{name}", ""},
        {"http://localhost/{name}", ""}, // a name, which resolves as the system says
        {"http://192.0.2.1/{name}", ""},
        {"http://127.0.0.1.desk.example/{name}", ""},
        {"ftp://127.0.0.1/{name}", ""},
        {"file:///tmp/{name}", ""},
        {"desk.example/{name}", ""},
        {"https:///{name}", ""},
        {"", ""},
    };
    for (const auto &row : rows) {
        QString problem;
        const std::optional<QUrl> target = uploadTarget(row.address, "N.zip", problem);
        if (*row.target) {
            ASSERT_TRUE(target) << row.address << ": " << problem.toStdString();
            EXPECT_EQ(target->toString(QUrl::FullyEncoded), row.target) << row.address;
        } else {
            EXPECT_FALSE(target) << row.address;
            EXPECT_FALSE(problem.isEmpty()) << row.address;
        }
    }
}

TEST(UploadRules, caFileNeedsACertificate)
{
    QTemporaryDir folder;
    const QString missing = folder.path() + "/missing.pem";
    const QString empty = folder.path() + "/empty.pem";
    QFile(empty).open(QIODevice::WriteOnly);
    for (const QString &path : {missing, empty}) {
        QString problem;
        EXPECT_FALSE(readCaFile(path, problem)) << path.toStdString();
        EXPECT_TRUE(problem.contains(path)) << problem.toStdString();
    }
}

TEST(UploadRules, hashIsTheWholeFileFromItsStart)
{
    QTemporaryDir folder;
    QFile file(folder.path() + "/a.zip");
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.write("abc");
    // Read from anywhere, it is still the whole file's; SHA-256 of "abc" (FIPS 180-2).
    EXPECT_EQ(sha256Of(file), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(file.pos(), 0);
}
