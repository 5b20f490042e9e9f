#include "mail.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// The first regular, executable file of that name in the folders of PATH, or empty.
std::string findOnPath(const std::string &name)
{
    const char *variable = std::getenv("PATH");
    const std::string folders = variable ? variable : "";
    std::string::size_type start = 0;
    while (!folders.empty() && start <= folders.size()) {
        std::string::size_type end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        // An empty entry stands for the current folder.
        const std::string folder = end > start ? folders.substr(start, end - start) : ".";
        const std::string candidate = folder + "/" + name;
        struct stat status;
        if (stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

// The body's lines end with CR LF, as Simple MAPI wants them; a mail program started through
// xdg-email would show each CR as a line end of its own, so here lines end with LF alone.
std::string withLfLineEnds(const std::string &text)
{
    std::string result;
    result.reserve(text.size());
    for (std::string::size_type at = 0; at < text.size(); ++at) {
        if (text[at] != '\r' || at + 1 == text.size() || text[at + 1] != '\n')
            result += text[at];
    }
    return result;
}

// xdg-email opens the desktop's mail program with a new, filled-in message.
class XdgEmail : public MailHandOff {
public:
    explicit XdgEmail(std::string program) : program(std::move(program)) {}

    // xdg-email has no exit code for a discarded message: any failure is one to report.
    MailOutcome send(const MailMessage &message, std::uintptr_t) override
    {
        std::vector<std::string> arguments{program, "--subject", message.subject, "--body",
                                           withLfLineEnds(message.body)};
        if (!message.attachmentPath.empty()) {
            arguments.push_back("--attach");
            arguments.push_back(message.attachmentPath);
        }
        arguments.push_back(message.recipient);
        std::vector<char *> argv;
        for (std::string &argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);

        // Started directly, never through a shell, so no text of the message is interpreted.
        pid_t child = 0;
        if (posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
            return MailOutcome::Failed;
        int status = 0;
        while (waitpid(child, &status, 0) < 0) {
            if (errno != EINTR)
                return MailOutcome::Failed;
        }
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? MailOutcome::Taken : MailOutcome::Failed;
    }

private:
    std::string program;
};

} // namespace

std::unique_ptr<MailHandOff> openMailHandOff()
{
    std::string program = findOnPath("xdg-email");
    if (program.empty())
        return nullptr;
    return std::make_unique<XdgEmail>(std::move(program));
}
