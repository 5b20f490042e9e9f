#pragma once

#include <QLocale>
#include <QTranslator>

// The dialog's German texts, and Qt's own German texts for the standard buttons of the message
// boxes, installed for as long as this object lives when `locale` asks for German. Any other
// language keeps the English texts as they are written.
class Translations {
public:
    explicit Translations(const QLocale &locale);
    Translations(const Translations &) = delete;
    Translations &operator=(const Translations &) = delete;

private:
    // A translator takes itself out of the application when it is destroyed.
    QTranslator own;
    QTranslator qt;
};
