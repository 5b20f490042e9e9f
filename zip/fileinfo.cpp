#include "fileinfo.h"

#include <ctime>

namespace zip {

int64_t unixTime(CalendarTime local)
{
    if (local.year < 1970) {
        local.year = 1970;
        local.month = 1;
        local.day = 1;
    } else if (local.year >= 2038) {
        local.year = 2037;
        local.month = 12;
        local.day = 31;
    }
    std::tm fields{};
    fields.tm_year = local.year - 1900;
    fields.tm_mon = local.month - 1;
    fields.tm_mday = local.day;
    fields.tm_hour = local.hour;
    fields.tm_min = local.minute;
    fields.tm_sec = local.second;
    fields.tm_isdst = 0;
    std::tm nextDay = fields;
    const std::time_t seconds = std::mktime(&fields);
    if (seconds != -1)
        return seconds;
    // The Windows C library refuses moments before 1970-01-01 00:00 UTC, which the first hours
    // of 1970-01-01 are in zones east of UTC: count them back from the next day.
    ++nextDay.tm_mday;
    const std::time_t later = std::mktime(&nextDay);
    return later == -1 ? -1 : static_cast<int64_t>(later) - 86400;
}

uint32_t dosDateTime(CalendarTime local)
{
    if (local.year < 1980) {
        local.year = 1980;
        local.month = 1;
        local.day = 1;
    } else if (local.year > 2107) {
        local.year = 2107;
        local.month = 12;
        local.day = 31;
    }
    const uint32_t date = static_cast<uint32_t>(((local.year - 1980) << 9) | (local.month << 5) | local.day);
    const uint32_t time = static_cast<uint32_t>((local.hour << 11) | (local.minute << 5) | (local.second / 2));
    return date << 16 | time;
}

namespace {

bool readLe32(std::FILE *stream, uint64_t offset, uint32_t &value)
{
    uint8_t bytes[4];
    if (!seekFile(stream, offset) || std::fread(bytes, 1, 4, stream) != 4)
        return false;
    value = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    return true;
}

bool hasExecutableHeader(std::FILE *stream, uint64_t size)
{
    constexpr uint32_t mz = 'M' | 'Z' << 8;
    uint32_t start = 0;
    uint32_t headerOffset = 0;
    if (!readLe32(stream, 0, start) || (start & 0xFFFF) != mz || !readLe32(stream, 0x3C, headerOffset)
        || uint64_t{headerOffset} + 52 >= size)
        return false;
    uint32_t signature = 0;
    if (!readLe32(stream, headerOffset, signature))
        return false;
    return signature == mz || signature == ('N' | 'E' << 8) || signature == ('L' | 'E' << 8)
        || signature == ('P' | 'E' << 8);
}

} // namespace

bool looksExecutable(std::FILE *stream, uint64_t size)
{
    const bool executable = size > 40 && hasExecutableHeader(stream, size);
    std::rewind(stream);
    return executable;
}

} // namespace zip
