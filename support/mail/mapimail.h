#pragma once
// The Simple MAPI form of a mail, apart from loading the library, so that a test can fill the
// structures and send them to a stand-in for MAPISendMail. Windows only.

#include "mail.h"

#include <windows.h>

#include <mapi.h>

// The three structures that MAPISendMail takes, in their single-byte form, filled for one
// message, with the texts they point to. They point into the object itself, so it is neither
// copied nor moved.
struct MapiMail {
    explicit MapiMail(const MailMessage &mail);
    MapiMail(const MapiMail &) = delete;
    MapiMail &operator=(const MapiMail &) = delete;

    std::string subject;
    std::string recipientName;
    char body[4000];  // the body, cut to 3999 bytes
    char path[1000];  // the attachment's path
    MapiRecipDesc recipient;
    MapiFileDesc attachment;
    MapiMessage message;
};

// Sends `mail` through `sendMail` (MAPISendMail, or a stand-in) with no existing logon, the
// window as parent, and the flags that let the mail program log on and show the message for
// editing. Returns what `sendMail` returns.
ULONG sendMapiMail(LPMAPISENDMAIL sendMail, const MailMessage &mail, ULONG_PTR window);

// The hand-off through the Simple MAPI library `library`, loaded as LoadLibraryExW loads it with
// the `search` flags; null when it cannot be loaded or lacks MAPISendMail. openMailHandOff uses
// the system's MAPI32.DLL; a test loads its stand-in by its path.
std::unique_ptr<MailHandOff> openSimpleMapi(const wchar_t *library, DWORD search);
