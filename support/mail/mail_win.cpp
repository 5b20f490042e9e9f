#include "mapimail.h"

#include <cstdio>

MapiMail::MapiMail(const MailMessage &mail)
    : subject(mail.subject), recipientName(mail.recipient), body{}, path{}, recipient{}, attachment{},
      message{}
{
    std::snprintf(body, sizeof body, "%s", mail.body.c_str());

    // Only the name is given; the mail program resolves it to an address.
    recipient.ulRecipClass = MAPI_TO;
    recipient.lpszName = recipientName.data();

    message.lpszSubject = subject.data();
    message.lpszNoteText = body;
    message.nRecipCount = 1;
    message.lpRecips = &recipient;

    // A path cut at the buffer's end would name another file, and the mail program would
    // refuse the whole message; such a mail goes out without the attachment instead.
    if (mail.attachmentPath.empty() || mail.attachmentPath.size() >= sizeof path)
        return;
    std::snprintf(path, sizeof path, "%s", mail.attachmentPath.c_str());
    char *name = path;
    for (char *at = path; *at; ++at) {
        if (*at == '/' || *at == '\\')
            name = at + 1;
    }
    attachment.lpszPathName = path;
    attachment.lpszFileName = name;
    message.nFileCount = 1;
    message.lpFiles = &attachment;
}

ULONG sendMapiMail(LPMAPISENDMAIL sendMail, const MailMessage &mail, ULONG_PTR window)
{
    MapiMail prepared(mail);
    return sendMail(0, window, &prepared.message, MAPI_LOGON_UI | MAPI_DIALOG, 0);
}

namespace {

class SimpleMapi : public MailHandOff {
public:
    SimpleMapi(HMODULE library, LPMAPISENDMAIL sendMail) : library(library), sendMail(sendMail) {}
    SimpleMapi(const SimpleMapi &) = delete;
    SimpleMapi &operator=(const SimpleMapi &) = delete;
    ~SimpleMapi() override { FreeLibrary(library); }

    MailOutcome send(const MailMessage &mail, std::uintptr_t window) override
    {
        switch (sendMapiMail(sendMail, mail, window)) {
        case SUCCESS_SUCCESS:
            return MailOutcome::Taken;
        case MAPI_E_USER_ABORT:
            return MailOutcome::Cancelled;
        default: // no mail program set up (MAPI_E_LOGIN_FAILURE, MAPI_E_NOT_SUPPORTED), or its failure
            return MailOutcome::Failed;
        }
    }

private:
    HMODULE library;
    LPMAPISENDMAIL sendMail;
};

} // namespace

std::unique_ptr<MailHandOff> openSimpleMapi(const wchar_t *library, DWORD search)
{
    HMODULE module = LoadLibraryExW(library, nullptr, search);
    if (!module)
        return nullptr;
    // Through a plain function pointer type, which converts to any other without a warning.
    auto sendMail = reinterpret_cast<LPMAPISENDMAIL>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "MAPISendMail")));
    if (!sendMail) {
        FreeLibrary(module);
        return nullptr;
    }
    return std::make_unique<SimpleMapi>(module, sendMail);
}

std::unique_ptr<MailHandOff> openMailHandOff()
{
    // From the system folder alone: the program's folder and the current one may be folders that
    // others can write.
    return openSimpleMapi(L"MAPI32.DLL", LOAD_LIBRARY_SEARCH_SYSTEM32);
}
