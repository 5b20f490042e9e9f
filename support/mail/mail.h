#pragma once
// Hands a prepared mail to the user's mail program, which shows it for the user to complete
// and send; nothing is sent from here. Qt-free, so that it builds without the dialog.

#include <cstdint>
#include <memory>
#include <string>

struct MailMessage {
    std::string subject;
    std::string body;           // lines separated by CR LF (handed to xdg-email with LF)
    std::string recipient;      // the address, handed over as the recipient's name
    std::string attachmentPath; // UTF-8 path of the one attachment; empty for none
};

// How a hand-off ended: the mail program took the message, the user discarded it there, or the
// mail program could not be started or refused it.
enum class MailOutcome { Taken, Cancelled, Failed };

class MailHandOff {
public:
    virtual ~MailHandOff() = default;

    // Opens the message in the mail program and returns once the mail program gives control
    // back, with how that ended. `window` is the native handle of the window that
    // owns the mail program's dialog (0 for none); systems without such a parent ignore it.
    virtual MailOutcome send(const MailMessage &message, std::uintptr_t window) = 0;
};

// The system's way to hand over a mail, or null when there is none (no MAPI32.DLL with
// MAPISendMail; no xdg-email on PATH). What it loads stays loaded until it is destroyed.
std::unique_ptr<MailHandOff> openMailHandOff();
