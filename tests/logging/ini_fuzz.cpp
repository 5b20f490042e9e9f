// libFuzzer target of the INI update. For any file, the update either leaves it alone, or
// writes a file that still holds every section, key, value and comment line of the original
// (the three LOGGING keys aside). A file it wrote is updated again, not left alone, and settles
// after that second update (which may still move a leading comment into the file's leading
// comment, as the library reads it). Any other outcome, or a sanitizer report, stops the run
// with the input saved.

#include "inisettings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string trim(const std::string &text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string lower(std::string text)
{
    for (char &c : text)
        c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    return text;
}

// What a file says, one sorted entry per fact: each section once, each key with its value under
// its section, each comment line, each header remark, and each line that is none of these.
std::vector<std::string> facts(std::string text)
{
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);
    for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;)
        text.erase(at, 1);
    std::replace(text.begin(), text.end(), '\r', '\n');

    std::vector<std::string> result;
    std::vector<std::string> sections;
    std::string section;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        line = trim(line);
        const std::size_t close = line.find(']');
        const std::size_t equals = line.find('=');
        if (line.empty()) {
            continue;
        } else if (line[0] == ';' || line[0] == '#') {
            result.push_back("comment " + line);
        } else if (line[0] == '[' && close != std::string::npos) {
            section = lower(trim(line.substr(1, close - 1)));
            sections.push_back("section " + section);
            if (!trim(line.substr(close + 1)).empty())
                result.push_back("remark " + section + " " + trim(line.substr(close + 1)));
        } else if (line[0] != '[' && equals != std::string::npos) {
            const std::string key = lower(trim(line.substr(0, equals)));
            if (section != "logging" || (key != "logname" && key != "logpath" && key != "logging"))
                result.push_back("key " + section + "\n" + key + "=" + trim(line.substr(equals + 1)));
        } else {
            result.push_back("line " + line);
        }
    }
    // Two headers of one section become one.
    std::sort(sections.begin(), sections.end());
    sections.erase(std::unique(sections.begin(), sections.end()), sections.end());
    result.insert(result.end(), sections.begin(), sections.end());
    std::sort(result.begin(), result.end());
    return result;
}

std::optional<QByteArray> update(const QByteArray &text)
{
    return updatedIni(text, "kv4_usb.log", "/var/zel/", "0x0000FFFF");
}

void fail(const char *what, const std::string &fact)
{
    std::fprintf(stderr, "%s: %s\n", what, fact.c_str());
    std::abort();
}

void checkKeeps(const QByteArray &before, const QByteArray &after)
{
    const std::vector<std::string> said = facts(before.toStdString());
    const std::vector<std::string> kept = facts(after.toStdString());
    std::vector<std::string> lost;
    std::set_difference(said.begin(), said.end(), kept.begin(), kept.end(), std::back_inserter(lost));
    if (!lost.empty())
        fail("lost", lost.front());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray original(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<QByteArray> updated = update(original);
    if (!updated)
        return 0;
    checkKeeps(original, *updated);
    const std::optional<QByteArray> again = update(*updated);
    if (!again)
        fail("a written file is refused", updated->toStdString());
    checkKeeps(*updated, *again);
    if (update(*again) != again)
        fail("the file does not settle", again->toStdString());
    return 0;
}
