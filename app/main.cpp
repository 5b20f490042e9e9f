#include "commandline.h"
#include "console.h"
#include "dialog.h"
#include "plainfile.h"
#include "startup.h"
#include "theme.h"
#include "translations.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QImageReader>
#include <QStyleFactory>

int main(int argc, char **argv)
{
    hardenProcess();
    failWritesPastSizeLimit();
    QCoreApplication::setApplicationName(QStringLiteral("zel.logging"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZEL_VERSION));
    // With options the work is done without a window, and without a display.
    if (wantsCommandLine(argc, argv)) {
        attachParentConsole();
        const QCoreApplication app(argc, argv);
        const Translations translations(QLocale::system());
        return runCommandLine(QCoreApplication::arguments());
    }

    QApplication app(argc, argv);
    const Translations translations(QLocale::system());
    if (QStyle *style = QStyleFactory::create(QStringLiteral("fusion")))
        QApplication::setStyle(style);

    QFile sheetFile(QStringLiteral(":/zel_style/zel_style_dark.qss"));
    QString sheet;
    if (sheetFile.open(QIODevice::ReadOnly)) {
        sheet = QString::fromUtf8(sheetFile.readAll());
        sheetFile.close();
    }
    app.setStyleSheet(themedStyleSheet(sheet, QImageReader::supportedImageFormats().contains("svg")));
    QCoreApplication::processEvents(QEventLoop::AllEvents);

    Dialog dialog;
    dialog.setWindowIcon(QIcon(QStringLiteral(":res/zellogging.ico")));
    dialog.show();
    return app.exec();
}
