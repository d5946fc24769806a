#include "device/at_fields.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

namespace {

constexpr size_t kFieldSize = AT_FIELD_SIZE;
constexpr size_t kLineMax = kFieldSize - 1; // longest text the in-place helpers touch

void CopyCut(char* out, size_t outSize, const char* text, size_t length)
{
    if (length >= outSize)
        length = outSize - 1;
    std::memcpy(out, text, length);
    out[length] = '\0';
}

// Length of text within limit bytes; limit when no terminator is there.
size_t BoundedLength(const char* text, size_t limit)
{
    return text ? strnlen(text, limit) : 0;
}

// Length of a text the in-place helpers may rewrite: 1..1023, else 0.
size_t EditableLength(const char* text, size_t limit)
{
    const size_t length = BoundedLength(text, limit < kFieldSize ? limit : kFieldSize);
    return length >= 1 && length <= kLineMax && length < limit ? length : 0;
}

// text[length] is its terminator; the result is never longer.
void StripParentheses(char* text, size_t length)
{
    if (length == 0)
        return;
    size_t out = 0;
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (c == '(')
            continue;
        if (c == ')') {
            if (i + 1 < length && text[i + 1] == ',') {
                text[out++] = ';';
                ++i;
            }
            continue;
        }
        text[out++] = c;
    }
    text[out] = '\0';
}

// cutToInput: the result keeps the input's length (safe in any buffer);
// otherwise it may grow within limit - 1 characters.
void NormalizeLine(char* text, size_t limit, bool cutToInput)
{
    const size_t length = EditableLength(text, limit);
    if (length == 0)
        return;
    char out[AT_FIELD_SIZE];
    size_t n = 0;
    bool inQuotes = false;
    const size_t room = limit < kFieldSize ? limit - 1 : kLineMax;
    auto put = [&](char c) {
        if (n >= room)
            return false;
        out[n++] = c;
        return true;
    };
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        const char next = i + 1 < length ? text[i + 1] : '\0';
        bool fits = true;
        if (c == '"') {
            inQuotes = !inQuotes;
            if (next == '"')
                fits = put(static_cast<char>(AT_MARK_EMPTY));
        } else if (c == ',' && !inQuotes) {
            fits = put(' ');
            if (fits && (next == ',' || next == '\0'))
                fits = put(static_cast<char>(AT_MARK_EMPTY));
        } else if (c == ' ' && inQuotes) {
            fits = put(static_cast<char>(AT_MARK_BLANK));
        } else if (c == '\t' && inQuotes) {
            fits = put(static_cast<char>(AT_MARK_TAB));
        } else {
            fits = put(c);
        }
        if (!fits)
            return; // would not fit: keep the line as it came
    }
    if (cutToInput && n > length)
        n = length;
    std::memcpy(text, out, n);
    text[n] = '\0';
}

std::unique_ptr<AtFieldList> SplitIntoNewList(const char* text, size_t textSize)
{
    auto list = std::make_unique<AtFieldList>();
    SplitAtFields(text, textSize, list.get());
    return list;
}

// Marker texts of a normalised line back to what the device sent.
void RestoreMarkers(char* text)
{
    if (static_cast<unsigned char>(text[0]) == AT_MARK_EMPTY && text[1] == '\0') {
        text[0] = '\0';
        return;
    }
    for (char* c = text; *c; ++c) {
        if (static_cast<unsigned char>(*c) == AT_MARK_BLANK)
            *c = ' ';
        else if (static_cast<unsigned char>(*c) == AT_MARK_TAB)
            *c = '\t';
    }
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A quoted text, or an empty field (some modems leave the short name out);
// p then stands behind it.
bool ReadOperatorText(const char*& p, const char* end, const char** text, size_t* length)
{
    *text = p;
    *length = 0;
    if (p < end && *p == '"') {
        const char* close = static_cast<const char*>(std::memchr(p + 1, '"', static_cast<size_t>(end - p - 1)));
        if (!close)
            return false;
        *text = p + 1;
        *length = static_cast<size_t>(close - p - 1);
        p = close + 1;
        return true;
    }
    return p == end || *p == ',';
}

// One group of the operator scan, without its parentheses: status digit, the
// long and short names and the numeric code, and an access technology number,
// which older modems leave out (GSM then). Anything else (the closing ranges)
// is refused.
bool ReadOperatorGroup(const char* p, const char* end, OperatorEntry* entry)
{
    if (p >= end || !IsDigit(*p) || (p + 1 < end && *(p + 1) != ','))
        return false;
    const int status = *p++ - '0';
    const char* texts[3];
    size_t lengths[3];
    for (int i = 0; i < 3; ++i) {
        if (p >= end || *p != ',')
            return false;
        ++p;
        if (!ReadOperatorText(p, end, &texts[i], &lengths[i]))
            return false;
    }
    if (lengths[2] == 0)
        return false; // no numeric code: nothing to select
    int accessTechnology = 0;
    if (p < end && *p == ',') {
        ++p;
        if (p >= end || !IsDigit(*p))
            return false;
        for (; p < end && IsDigit(*p) && accessTechnology < 1000; ++p)
            accessTechnology = accessTechnology * 10 + (*p - '0');
    }
    if (p != end)
        return false;

    entry->status = status;
    CopyCut(entry->longName, sizeof entry->longName, texts[0], lengths[0]);
    CopyCut(entry->shortName, sizeof entry->shortName, texts[1], lengths[1]);
    CopyCut(entry->numeric, sizeof entry->numeric, texts[2], lengths[2]);
    entry->accessTechnology = accessTechnology;
    return true;
}

// The next parenthesis "which" at or after p outside double quotes; end when none.
const char* FindParenthesis(const char* p, const char* end, char which)
{
    bool inQuotes = false;
    for (; p < end; ++p) {
        if (*p == '"')
            inQuotes = !inQuotes;
        else if (!inQuotes && *p == which)
            return p;
    }
    return end;
}

} // namespace

int SplitAtFields(const char* text, size_t textSize, AtFieldList* list)
{
    if (!list)
        return 0;
    std::memset(list, 0, sizeof *list);
    const size_t length = BoundedLength(text, textSize);
    size_t start = 0;
    while (start < length) {
        size_t end = start;
        bool inQuotes = false;
        while (end < length && (text[end] != ';' || inQuotes)) {
            if (text[end] == '"')
                inQuotes = !inQuotes;
            ++end;
        }
        if (end == length)
            break;
        const size_t fieldLength = end - start;
        if (list->count >= AT_FIELD_COUNT_MAX || fieldLength >= AT_FIELD_SIZE)
            return list->count;
        CopyCut(list->fields[list->count++], AT_FIELD_SIZE, text + start, fieldLength);
        start = end + 1;
    }
    if (start < length && list->count < AT_FIELD_COUNT_MAX)
        CopyCut(list->fields[list->count++], AT_FIELD_SIZE, text + start, length - start);
    return list->count;
}

void NormalizeAtCsvLine(char* text)
{
    NormalizeLine(text, AT_FIELD_SIZE, true);
}

void NormalizeAtCsvLine(char* text, size_t textSize)
{
    NormalizeLine(text, textSize, false);
}

void StripAtParentheses(char* text)
{
    StripParentheses(text, EditableLength(text, AT_FIELD_SIZE));
}

int GetFirstAtField(const char* text, size_t textSize, char* out)
{
    if (!out)
        return 0;
    auto list = SplitIntoNewList(text, textSize);
    CopyCut(out, AT_FIELD_SIZE, list->fields[0], BoundedLength(list->fields[0], AT_FIELD_SIZE));
    return 0;
}

int ParsePdpContextList(const char* text, size_t textSize, PdpContextList* list)
{
    if (!list)
        return 0;
    std::memset(list, 0, sizeof *list);
    auto fields = SplitIntoNewList(text, textSize);
    const int used = fields->count < AT_LIST_ROWS ? fields->count : AT_LIST_ROWS;

    // A line that lacks values keeps those of the line before.
    int cid = 1;
    int numbers[4] = {0, 0, 0, 0};
    char type[AT_FIELD_SIZE] = "";
    char apn[AT_FIELD_SIZE] = "";
    char address[AT_FIELD_SIZE] = "";
    for (int i = 0; i < used; ++i) {
        char* field = fields->fields[i];
        NormalizeAtCsvLine(field, AT_FIELD_SIZE);
        std::sscanf(field, "%d %1023s %1023s %1023s %d %d %d %d", &cid, type, apn, address, &numbers[0], &numbers[1],
                    &numbers[2], &numbers[3]);
        char typeText[AT_FIELD_SIZE];
        char apnText[AT_FIELD_SIZE];
        char addressText[AT_FIELD_SIZE];
        std::memcpy(typeText, type, sizeof typeText);
        std::memcpy(apnText, apn, sizeof apnText);
        std::memcpy(addressText, address, sizeof addressText);
        RestoreMarkers(typeText);
        RestoreMarkers(apnText);
        RestoreMarkers(addressText);

        PdpContextEntry& row = list->entries[i];
        row.cid = cid;
        CopyCut(row.pdpType, sizeof row.pdpType, typeText, std::strlen(typeText));
        CopyCut(row.apn, sizeof row.apn, apnText, std::strlen(apnText));
        CopyCut(row.address, sizeof row.address, addressText, std::strlen(addressText));
        std::memcpy(row.numbers, numbers, sizeof row.numbers);
    }
    list->count = used;
    return 0;
}

int ParseOperatorList(char* text, size_t textSize, OperatorList* list)
{
    if (!list)
        return 0;
    std::memset(list, 0, sizeof *list);
    // Groups are read by their parentheses, wherever the lines of the reply
    // break and however many "+COPS: " heads they carry; the whole reply,
    // also beyond 1023 characters.
    const size_t length = BoundedLength(text, textSize);
    const char* end = text + length;
    for (const char* p = text; p < end && list->count < AT_LIST_ROWS;) {
        const char* open = FindParenthesis(p, end, '(');
        if (open == end)
            break;
        const char* close = FindParenthesis(open + 1, end, ')');
        if (close == end)
            break;
        std::string group(open + 1, close);
        // a stray ')' after the numeric code: (2,"A","B","310260"),2)
        const char* after = close + 1;
        if (close[-1] == '"' && after + 1 < end && *after == ',' && IsDigit(after[1])) {
            const char* digits = after + 1;
            while (digits < end && IsDigit(*digits))
                ++digits;
            if (digits < end && *digits == ')') {
                group.append(after, digits);
                close = digits;
            }
        }
        if (ReadOperatorGroup(group.data(), group.data() + group.size(), &list->entries[list->count]))
            ++list->count;
        else
            std::memset(&list->entries[list->count], 0, sizeof list->entries[list->count]);
        p = close + 1;
    }
    if (length < textSize)
        StripParentheses(text, length);
    return 0;
}

#if defined(SETWELL_USER_AUTH)
int ParseIdAuthList(const char* text, size_t textSize, IdAuthList* list)
{
    if (!list)
        return 0;
    std::memset(list, 0, sizeof *list);
    auto fields = SplitIntoNewList(text, textSize);
    list->count = fields->count < AT_LIST_ROWS ? fields->count : AT_LIST_ROWS;
    for (int i = 0; i < list->count; ++i) {
        const char* field = fields->fields[i];
        if (field[0] != '0' + AT_USER_AUTH_CID)
            continue;
        IdAuthEntry& row = list->entries[i];
        row.cid = AT_USER_AUTH_CID;
        const char* comma = std::strchr(field, ',');
        if (!comma || !IsDigit(comma[1]))
            continue;
        row.authType = static_cast<uint8_t>(comma[1] - '0');
        if (row.authType == AT_AUTH_NONE)
            continue;
        const char* name = std::strchr(comma + 1, ',');
        if (!name)
            continue; // no user name: it stays empty
        ++name;
        if (*name == '"')
            ++name;
        const char* end = std::strchr(name, '"');
        const size_t length = end ? static_cast<size_t>(end - name) : std::strlen(name);
        CopyCut(row.userName, sizeof row.userName, name, length);
    }
    return 0;
}
#endif

int FormatText(char* out, size_t outSize, const char* format, ...)
{
    if (!out || outSize == 0)
        return 1;
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(out, outSize, format, args);
    va_end(args);
    if (written < 0 || static_cast<size_t>(written) >= outSize) {
        out[0] = '\0';
        return 1;
    }
    return 0;
}

int FormatWideText(wchar_t* out, size_t room, const wchar_t* format, ...)
{
    if (!out || room == 0)
        return -1;
    va_list args;
    va_start(args, format);
    const int written = std::vswprintf(out, room, format, args);
    va_end(args);
    if (written < 0)
        out[room - 1] = L'\0';
    return written;
}
