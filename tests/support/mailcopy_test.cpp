// The mail's private copy of the archive, on every platform.

#include "mailcopy.h"
#include "plainfile.h"
#include "testenv.h"

#include <QFileInfo>

// The copy is the whole archive, whatever was read of it before, in a folder of its own below
// the base; it stays until the next start removes the copies of earlier mails, and only those.
TEST_F(LogFolderTest, mailCopyIsTheWholeArchiveUntilTheNextStart)
{
    EXPECT_TRUE(QFileInfo(mailCopiesBase()).isDir()) << mailCopiesBase().toStdString();
    const QString base = root.path() + "/mail";
    ASSERT_TRUE(QDir().mkpath(base));
    write("zel_support.zip", "archive bytes");
    const PlainFile archive = openPlainFile(path("zel_support.zip"), false);
    ASSERT_TRUE(archive);
    char head[4];
    ASSERT_EQ(std::fread(head, 1, sizeof head, archive.get()), sizeof head);

    const std::optional<QString> copy = copyForMail(archive.get(), "zel_support.zip", base);
    ASSERT_TRUE(copy && !copy->isEmpty());
    EXPECT_EQ(QFileInfo(*copy).fileName(), "zel_support.zip");
    EXPECT_TRUE(QFileInfo(*copy).path().startsWith(base + "/zel.logging-mail-")) << copy->toStdString();
    QFile attached(*copy);
    ASSERT_TRUE(attached.open(QIODevice::ReadOnly));
    EXPECT_EQ(attached.readAll(), "archive bytes");
    attached.close();
    EXPECT_EQ(copyForMail(nullptr, "zel_support.zip", base), QString()) << "no archive, no attachment";
    EXPECT_FALSE(copyForMail(archive.get(), "zel_support.zip", QString())) << "no folder for the copy";

    QDir().mkpath(base + "/other");
    removeMailCopies(base);
    EXPECT_FALSE(QFileInfo::exists(*copy));
    EXPECT_EQ(QDir(base).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList({"other"}));
}
