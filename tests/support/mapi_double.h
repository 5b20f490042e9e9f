#pragma once
// A stand-in for MAPI32.DLL. Its MAPISendMail keeps a copy of everything it is handed and
// returns what the test asks for. It is built as MAPI32.DLL beside the test program, where
// the default search looks first, and the test loads it by its path.

#include <windows.h>

#include <mapi.h>

#include <optional>
#include <string>
#include <vector>

// A string field; empty for a null pointer.
using Text = std::optional<std::string>;

struct RecordedRecipient {
    ULONG reserved = 0;
    ULONG recipClass = 0;
    Text name, address;
    ULONG entryIdSize = 0;
    bool hasEntryId = false;
};

struct RecordedFile {
    ULONG reserved = 0;
    ULONG flags = 0;
    ULONG position = 0;
    Text pathName, fileName;
    bool hasFileType = false;
};

// One call of MAPISendMail: its arguments and the message as it was when the call came.
struct RecordedMail {
    LHANDLE session = 0;
    ULONG_PTR window = 0;
    FLAGS flags = 0;
    ULONG reserved = 0;

    ULONG messageReserved = 0;
    Text subject, noteText, messageType, dateReceived, conversationId;
    FLAGS messageFlags = 0;
    bool hasOriginator = false;
    ULONG recipientCount = 0;
    std::vector<RecordedRecipient> recipients; // read when the pointer is set
    ULONG fileCount = 0;
    std::vector<RecordedFile> files;           // read when the pointer is set
};

// The stand-in's other exports: the calls since it was loaded, and the result of later calls.
using RecordedMailsFunction = const std::vector<RecordedMail> *(*)();
using AnswerWithFunction = void (*)(ULONG result);
