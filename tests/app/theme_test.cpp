#include "theme.h"

#include <QFile>
#include <QIcon>
#include <QImageReader>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

QString resourceText(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return QString::fromUtf8(file.readAll());
}

} // namespace

TEST(Theme, everyPlaceholderIsReplacedCaseSensitively)
{
    const QString sheet = "a { color: @accent_hex; border: 1px solid @accent_hex; }\n"
                          "b { background: rgba(@accent_rgb, 20%); } c { x: @ACCENT_HEX; y: @Accent_rgb; }";
    EXPECT_EQ(themedStyleSheet(sheet),
              "a { color: #64A70B; border: 1px solid #64A70B; }\n"
              "b { background: rgba(100, 167, 11, 20%); } c { x: @ACCENT_HEX; y: @Accent_rgb; }");
    EXPECT_EQ(themedStyleSheet(QString()), QString());
}

TEST(Theme, darkSheetCarriesOnlyPlaceholdersAndResolvableImages)
{
    const QString sheet = resourceText(":/zel_style/zel_style_dark.qss");
    ASSERT_FALSE(sheet.isEmpty());
    EXPECT_TRUE(sheet.contains("@accent_hex"));
    EXPECT_TRUE(sheet.contains("@accent_rgb"));
    EXPECT_FALSE(sheet.contains("64A70B", Qt::CaseInsensitive));
    const QString themed = themedStyleSheet(sheet);
    EXPECT_FALSE(themed.contains("@accent"));
    EXPECT_TRUE(themed.contains("rgba(100, 167, 11, 20%)"));

    const QRegularExpression url(R"re(url\(\s*"?([^")\s]+)"?\s*\))re");
    int images = 0;
    for (auto it = url.globalMatch(themed); it.hasNext(); ++images) {
        const QString path = it.next().captured(1);
        EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
    }
    EXPECT_GE(images, 4);
    for (const char *icon : {"check", "check-square-solid", "nav-arrow-down", "nav-arrow-right"})
        EXPECT_TRUE(themed.contains(QString(":/icons/white/%1.svg").arg(icon))) << icon;
}

// Each white icon, as SVG where Qt reads it and as its PNG renderings everywhere, draws white.
TEST(Theme, whiteIconsAreDrawnAsSvgOrAsTheirPngRenderings)
{
    QStringList images;
    for (const char *icon : {"check", "check-square-solid", "circle-solid", "nav-arrow-down", "nav-arrow-right",
                             "nav-arrow-up"}) {
        images << QString(":/icons/white/%1.png").arg(icon) << QString(":/icons/white/%1@2x.png").arg(icon);
        if (QImageReader::supportedImageFormats().contains("svg"))
            images << QString(":/icons/white/%1.svg").arg(icon);
    }
    for (const QString &path : images) {
        QImageReader reader(path);
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull()) << path.toStdString() << ": " << reader.errorString().toStdString();
        bool white = false;
        for (int y = 0; y < image.height() && !white; ++y)
            for (int x = 0; x < image.width() && !white; ++x)
                white = image.pixelColor(x, y).alpha() > 128 && image.pixelColor(x, y).lightness() > 200;
        EXPECT_TRUE(white) << path.toStdString() << " draws no white pixel";
    }
}

// Without SVG, every icon of the sheet becomes its PNG rendering, and only the icons do.
TEST(Theme, sheetForAQtWithoutSvgNamesThePngRenderings)
{
    const QString themed = themedStyleSheet(resourceText(":/zel_style/zel_style_dark.qss"), false);
    EXPECT_FALSE(themed.contains(".svg"));
    const QRegularExpression url(R"re(url\(\s*"?([^")\s]+)"?\s*\))re");
    int images = 0;
    for (auto it = url.globalMatch(themed); it.hasNext(); ++images) {
        const QString path = it.next().captured(1);
        EXPECT_TRUE(path.endsWith(".png") && QFile::exists(path)) << path.toStdString();
    }
    EXPECT_GE(images, 4);
    EXPECT_EQ(themedStyleSheet("a { image: url(other.svg); }", false), "a { image: url(other.svg); }");
}

TEST(Theme, applicationIconIsOne256PixelImageWithAlpha)
{
    QFile ico(":res/zellogging.ico");
    ASSERT_TRUE(ico.open(QIODevice::ReadOnly));
    const QByteArray head = ico.read(22);
    ASSERT_EQ(head.size(), 22);
    EXPECT_EQ(head.left(6), QByteArray("\0\0\1\0\1\0", 6)); // reserved, icon type, one image
    EXPECT_EQ(head.at(6), 0);                               // width 256
    EXPECT_EQ(head.at(7), 0);                               // height 256
    EXPECT_EQ(head.at(12), 32);                             // bits per pixel
    ico.close();
    QImageReader reader(":res/zellogging.ico");
    const QImage image = reader.read();
    EXPECT_EQ(image.size(), QSize(256, 256));
    EXPECT_TRUE(image.hasAlphaChannel());
}
