// The site settings: what each key accepts, and where they are read from.

#include "sitesettings.h"
#include "testenv.h"

#include <QDir>
#include <QSettings>

namespace {

struct SettingRow {
    const char *text; // the "Support" group's lines
    bool redact;
    std::optional<quint64> maxLogSize;
    quint64 maxMailSize;
    QStringList problems;
};

SiteSettings fromText(const QString &folder, const char *text)
{
    const QString path = folder + "/site.conf";
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray("[Support]\n") + text);
    file.close();
    QSettings settings(path, QSettings::IniFormat);
    return siteSettingsFrom(settings);
}

} // namespace

TEST_F(LogFolderTest, siteSettingsReadEachKeyAndNameWhatTheyCannotRead)
{
    const quint64 mail = 20 * 1024 * 1024;
    const SettingRow rows[] = {
        {"", false, std::nullopt, mail, {}},
        {"Redact=true\nMaxLogSize=500K\nMaxMailSize=10M\n", true, 500 * 1024, 10 * 1024 * 1024, {}},
        {"Redact=1\nMaxMailSize=4096\n", true, std::nullopt, 4096, {}},
        {"Redact=FALSE\n", false, std::nullopt, mail, {}},
        {"Redact=perhaps\nMaxLogSize=0\nMaxMailSize=lots\n", false, std::nullopt, mail,
         {"Redact=perhaps", "MaxLogSize=0", "MaxMailSize=lots"}},
    };
    for (const SettingRow &row : rows) {
        SCOPED_TRACE(row.text);
        const SiteSettings site = fromText(root.path(), row.text);
        EXPECT_EQ(site.redact, row.redact);
        EXPECT_EQ(site.maxLogSize, row.maxLogSize);
        EXPECT_EQ(site.maxMailSize, row.maxMailSize);
        EXPECT_EQ(site.problems, row.problems);
    }
    const SiteSettings site = fromText(root.path(), "UploadUrl= https://desk.example/in/{name}?sig=a%2Fb \n");
    EXPECT_EQ(site.uploadUrl, "https://desk.example/in/{name}?sig=a%2Fb");
}

// A user's own ~/.config cannot undo what the site decided; the system folders are read in order.
TEST_F(LogFolderTest, siteSettingsComeFromTheSystemFoldersOnly)
{
    const auto place = [&](const QString &folder, const char *text) {
        QDir().mkpath(root.path() + "/" + folder + "/zel");
        QFile file(root.path() + "/" + folder + "/zel/zel.logging.conf");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    place("user", "[Support]\nRedact=false\nMaxMailSize=1G\n");
    place("second", "[Support]\nMaxMailSize=1K\n");
    qputenv("XDG_CONFIG_HOME", (root.path() + "/user").toUtf8());
    qputenv("XDG_CONFIG_DIRS", (root.path() + "/user:" + root.path() + "/first:" + root.path() + "/second").toUtf8());
    EXPECT_EQ(readSiteSettings().maxMailSize, 1024u);
    place("first", "[Support]\nRedact=true\n");
    const SiteSettings site = readSiteSettings();
    EXPECT_TRUE(site.redact);
    EXPECT_EQ(site.maxMailSize, 20u * 1024 * 1024);
}
