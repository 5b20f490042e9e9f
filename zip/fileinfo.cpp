#include "fileinfo.h"

namespace zip {

namespace {

// Days from 1970-01-01 to a date of the Gregorian calendar (counted back from 1 March, so
// that the leap day falls at the end of a year).
int64_t daysSinceEpoch(int year, int month, int day)
{
    const int64_t shiftedYear = year - (month <= 2);
    const int64_t era = (shiftedYear >= 0 ? shiftedYear : shiftedYear - 399) / 400;
    const int64_t yearOfEra = shiftedYear - era * 400;
    const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

} // namespace

int64_t unixTime(CalendarTime local, int64_t offset)
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
    return daysSinceEpoch(local.year, local.month, local.day) * 86400 + local.hour * 3600 + local.minute * 60
        + local.second - offset;
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
    return size > 40 && hasExecutableHeader(stream, size);
}

} // namespace zip
