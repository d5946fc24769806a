#pragma once
// Splitting and normalising AT reply texts, the three list parsers and the
// formatting of parameter texts. Every read of reply text is bounded by the
// size the caller gives (the reply buffer).
#include <cstddef>
#include <cstdint>

enum {
    AT_FIELD_COUNT_MAX = 100,
    AT_FIELD_SIZE = 1024,
    AT_LIST_ROWS = 16,
};

// Markers written by NormalizeAtCsvLine.
enum : unsigned char {
    AT_MARK_EMPTY = 0xFD, // empty field or empty quoted text
    AT_MARK_BLANK = 0xFE, // blank inside quotes
    AT_MARK_TAB = 0xFC,   // tab inside quotes
};

struct AtFieldList {
    int32_t count;
    char fields[AT_FIELD_COUNT_MAX][AT_FIELD_SIZE];
};

struct PdpContextEntry {
    int32_t cid;
    char pdpType[10];
    char apn[101];
    char address[33];
    int32_t numbers[4];
};
struct PdpContextList {
    int32_t count;
    PdpContextEntry entries[AT_LIST_ROWS];
};

// Access technology of an operator in the "+COPS" replies and selection.
enum AtAccessTechnology : int32_t {
    AT_ACT_GSM = 0,
    AT_ACT_WCDMA = 2,
    AT_ACT_LTE = 7,
};

// Authentication type of the user authentication ("$QCPDPP").
enum AtAuthType : uint8_t {
    AT_AUTH_NONE = 0,
    AT_AUTH_PAP = 1,
    AT_AUTH_CHAP = 2,
};

// The data context that carries the user authentication.
enum { AT_USER_AUTH_CID = 9 };

struct OperatorEntry {
    int32_t status; // 0 unavailable, 1 available, 2 current
    char longName[64];
    char shortName[32];
    char numeric[12];
    int32_t accessTechnology; // AtAccessTechnology
};
struct OperatorList {
    int32_t count;
    OperatorEntry entries[AT_LIST_ROWS];
};

struct IdAuthEntry {
    int32_t cid;
    uint8_t authType; // AtAuthType
    char userName[67];
};
struct IdAuthList {
    int32_t count;
    IdAuthEntry entries[AT_LIST_ROWS];
};

// Splits at ";" outside double quotes into a zero-filled list; reads at most
// textSize bytes. Returns the field count.
int SplitAtFields(const char* text, size_t textSize, AtFieldList* list);

// In place; texts of 1 to 1023 characters (a longer or unterminated one within
// 1024 bytes stays unchanged).
void NormalizeAtCsvLine(char* text);
void StripAtParentheses(char* text);
// The same where the caller's buffer has room for the markers of empty fields:
// the text may grow up to textSize - 1 (at most 1023) characters instead of
// being cut to its old length; a text that would not fit stays unchanged.
void NormalizeAtCsvLine(char* text, size_t textSize);

// out: at least AT_FIELD_SIZE bytes. Returns 0.
int GetFirstAtField(const char* text, size_t textSize, char* out);

int ParsePdpContextList(const char* text, size_t textSize, PdpContextList* list);
// Strips the parentheses of text in place.
int ParseOperatorList(char* text, size_t textSize, OperatorList* list);
#if defined(SETWELL_USER_AUTH)
int ParseIdAuthList(const char* text, size_t textSize, IdAuthList* list);
#endif

// Reply text arrays (e.g. the text of an AT response record) with their size.
template <size_t N> int SplitAtFields(const char (&text)[N], AtFieldList* list) { return SplitAtFields(text, N, list); }
template <size_t N> int GetFirstAtField(const char (&text)[N], char* out) { return GetFirstAtField(text, N, out); }
template <size_t N> int ParsePdpContextList(const char (&text)[N], PdpContextList* list) { return ParsePdpContextList(text, N, list); }
template <size_t N> int ParseOperatorList(char (&text)[N], OperatorList* list) { return ParseOperatorList(text, N, list); }
#if defined(SETWELL_USER_AUTH)
template <size_t N> int ParseIdAuthList(const char (&text)[N], IdAuthList* list) { return ParseIdAuthList(text, N, list); }
#endif

// Formats into out (outSize bytes). 0 when it fitted; 1 when it did not or
// the format failed, and out is then empty.
int FormatText(char* out, size_t outSize, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Bounded wide formatting: the character count, or -1 when it did not fit
// (out then holds the cut text).
int FormatWideText(wchar_t* out, size_t room, const wchar_t* format, ...);
