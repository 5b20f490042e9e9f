#include "mapi_double.h"

namespace {

std::vector<RecordedMail> calls;
ULONG answer = SUCCESS_SUCCESS;

Text textOf(const char *text)
{
    return text ? Text(text) : std::nullopt;
}

} // namespace

extern "C" {

__declspec(dllexport) ULONG WINAPI MAPISendMail(LHANDLE session, ULONG_PTR window, lpMapiMessage message,
                                                FLAGS flags, ULONG reserved)
{
    RecordedMail mail;
    mail.session = session;
    mail.window = window;
    mail.flags = flags;
    mail.reserved = reserved;
    if (message) {
        mail.messageReserved = message->ulReserved;
        mail.subject = textOf(message->lpszSubject);
        mail.noteText = textOf(message->lpszNoteText);
        mail.messageType = textOf(message->lpszMessageType);
        mail.dateReceived = textOf(message->lpszDateReceived);
        mail.conversationId = textOf(message->lpszConversationID);
        mail.messageFlags = message->flFlags;
        mail.hasOriginator = message->lpOriginator != nullptr;
        mail.recipientCount = message->nRecipCount;
        for (ULONG i = 0; message->lpRecips && i < message->nRecipCount; ++i) {
            const MapiRecipDesc &recipient = message->lpRecips[i];
            mail.recipients.push_back({recipient.ulReserved, recipient.ulRecipClass, textOf(recipient.lpszName),
                                       textOf(recipient.lpszAddress), recipient.ulEIDSize,
                                       recipient.lpEntryID != nullptr});
        }
        mail.fileCount = message->nFileCount;
        for (ULONG i = 0; message->lpFiles && i < message->nFileCount; ++i) {
            const MapiFileDesc &file = message->lpFiles[i];
            mail.files.push_back({file.ulReserved, file.flFlags, file.nPosition, textOf(file.lpszPathName),
                                  textOf(file.lpszFileName), file.lpFileType != nullptr});
        }
    }
    calls.push_back(mail);
    return answer;
}

__declspec(dllexport) const std::vector<RecordedMail> *recordedMails()
{
    return &calls;
}

__declspec(dllexport) void answerWith(ULONG result)
{
    answer = result;
}

} // extern "C"
