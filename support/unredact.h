#pragma once
// The way back from redacted text to the originals, through the mapping that redaction left
// beside the archive: how the customer reads the support desk's answer.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class Unredactor {
public:
    // The mapping's reader, or null with `error` set where `mapping` is not one that redaction
    // wrote (its first line "# zel.logging: …", then "stand-in TAB original" lines and comments).
    static std::unique_ptr<Unredactor> fromMapping(const QByteArray &mapping, QString &error);
    ~Unredactor();

    // `text` with every stand-in of the mapping, in any notation, replaced by its original.
    QByteArray restored(const QByteArray &text);

private:
    struct Tables;
    explicit Unredactor(std::unique_ptr<Tables> tables);
    std::unique_ptr<Tables> tables;
};

// zel.logging --unredact MAPPING [FILE...]: each file in turn, or standard input where there is
// none, restored to standard output. Returns the exit code: 0; 1 where a file could not be read
// (the others are still written); 2 where the mapping is not one of ours, with nothing written.
int unredactFiles(const QString &mappingPath, const QStringList &files);
