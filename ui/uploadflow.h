#pragma once
// The dialog's side of an upload to the support desk, in pieces that Support Mail calls for an
// archive above the mail limit where the site settings give an UploadUrl.

#include "upload.h"

#include <QString>

#include <cstdio>
#include <optional>

class QWidget;
struct SiteSettings;

// Asks for the support desk's case in a small input box, which takes only what a case may be;
// empty is allowed. Nothing when the user cancels.
std::optional<QString> askCaseId(QWidget *parent);

// Uploads the open `archive` behind a modal progress window whose Cancel stops it, and returns
// the outcome.
UploadResult uploadWithProgress(QWidget *parent, QFile &archive, const UploadOptions &options);

struct Uploaded {
    QString objectName;
    QString sha256;
};

// The whole upload of the open archive at `archivePath` to the site's UploadUrl (with its
// CaFile): the case question, the progress, and on failure a warning that names where the
// archive stays. Nothing unless the server confirmed it.
std::optional<Uploaded> uploadFromDialog(QWidget *parent, std::FILE *archive, const QString &archivePath,
                                         const SiteSettings &site, bool redacted);
