#include "supportmail.h"

#include <QStringList>

namespace {

// The support desk's address, handed to the mail program as the recipient's name.
const char supportDesk[] = "support@zel.example.com";

QStringList bodyLines()
{
    return {
        QStringLiteral("Dear ZEL support,"),
        QString(),
        QStringLiteral("We've got a problem. Here is the description:"),
        QString(),
        QStringLiteral("PLEASE MAKE SURE TO FILL OUT THE FOLLOWING FIELDS CAREFULLY AND COMPLETELY. "
                       "MISSING INFORMATION CAUSES DELAYS AS ADDITIONAL MAILS TO IDENTIFY YOUR ERROR "
                       "ARE REQUIRED."),
        QString(),
        QStringLiteral("**********PLEASE fill in the following fields*****"),
        QStringLiteral("First name: "),
        QStringLiteral("Last name : "),
        QStringLiteral("Company/Institution: "),
        QStringLiteral("Telephone : "),
        QStringLiteral("Operating system : <W11, W10, etc.; Linux (Ubuntu, etc.)?>"),
        QStringLiteral("Camera type : <zel.sigma, zel.tau, zel.rho, etc.>"),
        QStringLiteral("Serial number : <See sticker on your camera>"),
        QStringLiteral("Interface : <USB, CLHS, USB3, GigE, etc."),
        QString(),
        QStringLiteral("**********PLEASE describe the error here**********"),
        QString(),
        QStringLiteral("Regards,"),
        QString(),
        QStringLiteral("*** Application generated email. ***"),
    };
}

} // namespace

QString supportMailBody()
{
    return bodyLines().join(QStringLiteral("\r\n"));
}

MailMessage supportMail(const QString &attachment)
{
    MailMessage mail;
    mail.subject = "ZEL we've got a problem";
    mail.body = supportMailBody().toStdString();
    mail.recipient = supportDesk;
    mail.attachmentPath = attachment.toUtf8().toStdString();
    return mail;
}

MailMessage uploadedSupportMail(const QString &objectName, const QString &sha256)
{
    QStringList lines = bodyLines();
    // After "Interface : ...", the 15th line.
    lines.insert(15, QStringLiteral("Support file : uploaded as ") + objectName);
    lines.insert(16, QStringLiteral("SHA-256 : ") + sha256);
    MailMessage mail = supportMail(QString());
    mail.body = lines.join(QStringLiteral("\r\n")).toStdString();
    return mail;
}
