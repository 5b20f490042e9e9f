#pragma once
// The mail to the support desk: a form for the user to fill in, with the support archive.

#include "mail.h"

#include <QString>

// The body: a form of 21 lines joined with CR LF, without a line end after the last.
QString supportMailBody();

// The mail to the support desk, with the file `attachment` attached (a path; empty for none).
MailMessage supportMail(const QString &attachment);

// The mail to the support desk after the archive was uploaded as `objectName`: no attachment,
// and the form names the object and the archive's SHA-256 below the interface line.
MailMessage uploadedSupportMail(const QString &objectName, const QString &sha256);
