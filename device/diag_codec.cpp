#include "device/diag_codec.h"

#include "device/crc16.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

wchar_t DiagErrorText[DIAG_TEXT_SIZE];
wchar_t DiagFrameLog[DIAG_TEXT_SIZE];

const wchar_t* const DIAG_TEXT_NO_END_FLAG = L"the Received Data is Wrong without End Flag(0x7e)";
const wchar_t* const DIAG_TEXT_WRONG_CRC = L"the Received Data is Wrong with Wrong CRC Checksum";

uint16_t DiagReplyU16(const DiagReplyRecord& reply, size_t offset)
{
    if (offset + 2 > DIAG_REPLY_RECORD_SIZE)
        return 0;
    return static_cast<uint16_t>(reply.bytes[offset] | reply.bytes[offset + 1] << 8);
}

uint32_t DiagReplyU32(const DiagReplyRecord& reply, size_t offset)
{
    if (offset + 4 > DIAG_REPLY_RECORD_SIZE)
        return 0;
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | reply.bytes[offset + i];
    return value;
}

namespace {

void SetErrorText(const wchar_t* text)
{
    std::wcsncpy(DiagErrorText, text ? text : L"", DIAG_TEXT_SIZE - 1);
    DiagErrorText[DIAG_TEXT_SIZE - 1] = L'\0';
}

// ---------------------------------------------------------------- builders

// Appends packet bytes read from the typed request. Any read outside the
// request or write past the scratch marks the packet as unbuildable.
class PacketWriter {
public:
    PacketWriter(const uint8_t* request, size_t requestSize, uint8_t* out, size_t room)
        : req_(request), reqSize_(requestSize), out_(out), room_(room)
    {
    }

    void Byte(uint8_t value)
    {
        if (len_ >= room_) {
            ok_ = false;
            return;
        }
        out_[len_++] = value;
    }
    void Literal(std::initializer_list<uint8_t> bytes)
    {
        for (uint8_t b : bytes)
            Byte(b);
    }
    uint8_t At(size_t index)
    {
        if (index >= reqSize_) {
            ok_ = false;
            return 0;
        }
        return req_[index];
    }
    uint16_t U16At(size_t index) { return static_cast<uint16_t>(At(index) | At(index + 1) << 8); }
    // Request bytes from..from+count-1 as they stand.
    void Run(size_t from, size_t count)
    {
        if (from > reqSize_ || count > reqSize_ - from) {
            ok_ = false;
            return;
        }
        for (size_t i = 0; i < count && ok_; ++i)
            Byte(req_[from + i]);
    }
    // Single request bytes in the order given.
    void Pick(std::initializer_list<size_t> indexes)
    {
        for (size_t i : indexes)
            Byte(At(i));
    }
    // A count byte at index, then that many bytes behind it.
    void Counted8(size_t index)
    {
        uint8_t n = At(index);
        Byte(n);
        Run(index + 1, n);
    }
    // A 16-bit count at index, then that many bytes behind it.
    void Counted16(size_t index)
    {
        uint16_t m = U16At(index);
        Run(index, 2);
        Run(index + 2, m);
    }
    // A zero-terminated text copied with its terminator; it must end inside the request.
    void Text(size_t from)
    {
        for (size_t i = from;; ++i) {
            uint8_t b = At(i);
            if (!ok_)
                return;
            Byte(b);
            if (b == 0)
                return;
        }
    }

    bool Ok() const { return ok_; }
    size_t Length() const { return len_; }

private:
    const uint8_t* req_;
    size_t reqSize_;
    uint8_t* out_;
    size_t room_;
    size_t len_ = 0;
    bool ok_ = true;
};

// ----------------------------------------------------------------- parsers

// Reads the received packet (CRC excluded) and writes the reply record. A
// field that was not received in full is absent: the record keeps its value.
// Counted copies take only what was received and what the record holds.
class ReplyParser {
public:
    ReplyParser(const uint8_t* packet, size_t length, uint8_t* record, size_t recordSize)
        : in_(packet), n_(length), rec_(record), recSize_(recordSize)
    {
    }

    bool Has(size_t count) const { return pos_ <= n_ && count <= n_ - pos_; }
    bool Peek8(size_t at, uint8_t* value) const
    {
        if (at >= n_)
            return false;
        *value = in_[at];
        return true;
    }
    bool PeekLe(size_t at, size_t width, uint32_t* value) const
    {
        if (at > n_ || width > n_ - at)
            return false;
        uint32_t v = 0;
        for (size_t i = width; i-- > 0;)
            v = v << 8 | in_[at + i];
        *value = v;
        return true;
    }
    void Seek(size_t pos) { pos_ = pos; }
    void WriteAt(size_t at) { w_ = at; }
    size_t Pos() const { return pos_; }

    // A scalar field of width bytes copied as it stands (little-endian).
    void Field(size_t width)
    {
        if (Has(width))
            Put(in_ + pos_, width);
        Advance(width);
    }
    // A scalar field sent most significant byte first, stored little-endian.
    void FieldBe(size_t width)
    {
        if (Has(width)) {
            uint8_t tmp[4];
            for (size_t i = 0; i < width && i < 4; ++i)
                tmp[i] = in_[pos_ + width - 1 - i];
            Put(tmp, std::min<size_t>(width, 4));
        } else {
            w_ += width;
        }
        Advance(width);
    }
    // A value computed by the parser, written in the record only.
    void Store(uint32_t value, size_t width)
    {
        uint8_t tmp[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
        Put(tmp, std::min<size_t>(width, 4));
    }
    void StoreText(const char* text, size_t width)
    {
        uint8_t tmp[256] = {};
        std::strncpy(reinterpret_cast<char*>(tmp), text, std::min<size_t>(width, sizeof tmp) - 1);
        Put(tmp, std::min<size_t>(width, sizeof tmp));
    }
    // count bytes; the part that was received is copied.
    void Bytes(size_t count)
    {
        size_t avail = pos_ < n_ ? std::min(count, n_ - pos_) : 0;
        if (avail)
            Put(in_ + pos_, avail);
        w_ += count - avail;
        Advance(count);
    }
    // count bytes and a terminator behind them, when any of them was received.
    void Text(size_t count)
    {
        bool any = pos_ < n_ && count > 0;
        Bytes(count);
        if (any) {
            uint8_t zero = 0;
            Put(&zero, 1);
        } else {
            w_ += 1;
        }
    }
    // A zero-terminated text as received (terminated in the record in every case).
    void ZeroText()
    {
        size_t start = pos_;
        while (pos_ < n_ && in_[pos_] != 0)
            ++pos_;
        size_t len = pos_ - start;
        if (start < n_)
            Put(in_ + start, len);
        uint8_t zero = 0;
        Put(&zero, 1);
        if (pos_ < n_)
            ++pos_;
        Touch();
    }
    // A byte of value 0 at the read position is passed over.
    void SkipZero()
    {
        if (pos_ < n_ && in_[pos_] == 0)
            Advance(1);
    }

    size_t ReadPosition() const { return consumed_; }
    // Counts the bytes before the read position as read.
    void Touch() { consumed_ = std::max(consumed_, std::min(pos_, n_)); }

private:
    void Advance(size_t count)
    {
        pos_ = count > SIZE_MAX - pos_ ? SIZE_MAX : pos_ + count;
        Touch();
    }
    void Put(const uint8_t* src, size_t count)
    {
        for (size_t i = 0; i < count; ++i, ++w_)
            if (w_ < recSize_)
                rec_[w_] = src[i];
    }

    const uint8_t* in_;
    size_t n_;
    uint8_t* rec_;
    size_t recSize_;
    size_t pos_ = 0;
    size_t w_ = 0;
    size_t consumed_ = 0;
};

// ----------------------------------------------------------------- layouts
//
// Every message is one row of a table below: how its request is laid out
// (read from the typed request) and where its reply's fields go in the reply
// record. The builder and the parser both read the row; a layout that depends
// on the message's content is a named function in the row instead of steps.

// Where the packet's bytes come from in the typed request.
enum class Req : uint8_t {
    End,
    Code,        // the command code (request byte 0)
    Run,         // request bytes a..a+b-1
    Pick,        // request byte a
    Counted8,    // the count byte at a, then that many bytes
    Counted16,   // the 16-bit count at a, then that many bytes
    RunCountAt,  // from a, as many bytes as the 16-bit count at b says
    Text,        // the zero-terminated text from a, terminator included
    Literal,     // the byte a
    Rest,        // request bytes from a up to the typed length
};

// Where the reply's fields go in the record.
enum class Rep : uint8_t {
    End,
    Field,       // a scalar of a bytes as it stands
    FieldBe,     // a scalar of a bytes sent most significant byte first
    FieldAt,     // read from reply byte a, a scalar of b bytes
    Bytes,       // a bytes
    Text,        // a bytes and a terminator
    ZeroText,    // a zero-terminated text
    SkipZero,    // a byte of value 0 is passed over
    Seek,        // read from reply byte a on
    WriteAt,     // write from record byte a on
    BytesCounted, // as many bytes as the little-endian count of b bytes at reply byte a says
    TextCounted,  // the same as a text
};

template <typename Op>
struct Step {
    Op op;
    uint16_t a = 0;
    uint16_t b = 0;
};
constexpr size_t kMaxSteps = 12;
using ReqSteps = std::array<Step<Req>, kMaxSteps>;
using RepSteps = std::array<Step<Rep>, kMaxSteps>;

using BuildFn = void (*)(PacketWriter&, size_t typedLength);
using ParseFn = bool (*)(ReplyParser&, uint16_t replyLength);

// One message of a table, found by its key (a code, an operation, a command).
struct Layout {
    uint16_t key;
    ReqSteps request;
    RepSteps reply;
    BuildFn build = nullptr; // in place of request, when set
    ParseFn parse = nullptr; // in place of reply, when set
};

template <size_t N>
const Layout* FindLayout(const Layout (&table)[N], uint32_t key)
{
    for (const Layout& layout : table)
        if (layout.key == key)
            return &layout;
    return nullptr;
}

void Build(PacketWriter& w, const ReqSteps& steps, size_t typedLength)
{
    for (const Step<Req>& s : steps) {
        switch (s.op) {
        case Req::End: return;
        case Req::Code: w.Byte(w.At(0)); break;
        case Req::Run: w.Run(s.a, s.b); break;
        case Req::Pick: w.Byte(w.At(s.a)); break;
        case Req::Counted8: w.Counted8(s.a); break;
        case Req::Counted16: w.Counted16(s.a); break;
        case Req::RunCountAt: w.Run(s.a, w.U16At(s.b)); break;
        case Req::Text: w.Text(s.a); break;
        case Req::Literal: w.Byte(static_cast<uint8_t>(s.a)); break;
        case Req::Rest:
            if (typedLength > s.a)
                w.Run(s.a, typedLength - s.a);
            break;
        }
    }
}

void Parse(ReplyParser& p, const RepSteps& steps)
{
    for (const Step<Rep>& s : steps) {
        uint32_t count = 0;
        switch (s.op) {
        case Rep::End: return;
        case Rep::Field: p.Field(s.a); break;
        case Rep::FieldBe: p.FieldBe(s.a); break;
        case Rep::FieldAt: p.Seek(s.a); p.Field(s.b); break;
        case Rep::Bytes: p.Bytes(s.a); break;
        case Rep::Text: p.Text(s.a); break;
        case Rep::ZeroText: p.ZeroText(); break;
        case Rep::SkipZero: p.SkipZero(); break;
        case Rep::Seek: p.Seek(s.a); break;
        case Rep::WriteAt: p.WriteAt(s.a); break;
        case Rep::BytesCounted: p.PeekLe(s.a, s.b, &count); p.Bytes(count); break;
        case Rep::TextCounted: p.PeekLe(s.a, s.b, &count); p.Text(count); break;
        }
    }
}

bool BuildRow(PacketWriter& w, const Layout* layout, size_t typedLength)
{
    if (!layout)
        return false;
    if (layout->build)
        layout->build(w, typedLength);
    else
        Build(w, layout->request, typedLength);
    return true;
}

bool ParseRow(ReplyParser& p, const Layout* layout, uint16_t replyLength)
{
    if (!layout)
        return true; // a reply of no known layout is good and leaves the record alone
    if (layout->parse)
        return layout->parse(p, replyLength);
    Parse(p, layout->reply);
    return true;
}

// Reply steps of the whole reply of size bytes, over the record from byte 0.
constexpr RepSteps Whole(uint16_t size) { return {{{Rep::Seek, 0}, {Rep::WriteAt, 0}, {Rep::Bytes, size}}}; }

// ---- legacy EFS (0x59): the operation in byte 1 picks the layout

void BuildLegacyEfsOpen(PacketWriter& w, size_t)
{
    w.Byte(w.At(4));
    if (w.At(4) == 0)
        w.Counted8(5);
}

void BuildLegacyEfsWrite(PacketWriter& w, size_t)
{
    w.Pick({4, 5});
    if (w.At(4) == 0) {
        w.Pick({8});
        w.Run(12, 4);
        w.Run(16, 2);
        w.Pick({18, 19});
        w.Counted8(20);
        w.Counted16(82);
    } else {
        w.Counted16(8);
    }
}

bool ParseLegacyEfsOpen(ReplyParser& p, uint16_t)
{
    uint8_t first = 0;
    bool have = p.Peek8(3, &first);
    p.Field(1);
    p.Field(1);
    if (!have)
        return true;
    if (first == 0)
        p.Field(4);
    uint32_t count = 0;
    p.PeekLe(p.Pos(), 2, &count);
    p.Field(2);
    p.Bytes(count);
    return true;
}

constexpr ReqSteps kLegacyEfsName = {{{Req::Counted8, 4}}};
constexpr RepSteps kLegacyEfsData = {{{Rep::Field, 2}, {Rep::Field, 2}, {Rep::BytesCounted, 5, 2}}};
constexpr RepSteps kLegacyEfsList = {{{Rep::Field, 4}, {Rep::Field, 2}, {Rep::Field, 1}, {Rep::Field, 1},
                                      {Rep::Field, 4}, {Rep::Field, 4}, {Rep::Field, 4}, {Rep::Field, 1},
                                      {Rep::Field, 1}, {Rep::TextCounted, 24, 1}}};

constexpr Layout kLegacyEfs[] = {
    {0, kLegacyEfsName, {}},
    {1, kLegacyEfsName, {}},
    {2, kLegacyEfsName, kLegacyEfsData},
    {3, kLegacyEfsName, kLegacyEfsData},
    {4, {}, {}, BuildLegacyEfsOpen, ParseLegacyEfsOpen},
    {5, {}, {{{Rep::Field, 1}}}, BuildLegacyEfsWrite},
    {6, kLegacyEfsName, {}},
    {7, kLegacyEfsName, {{{Rep::Field, 2}, {Rep::Field, 1}, {Rep::Field, 1}, {Rep::Field, 4}, {Rep::Field, 4}}}},
    {8, {{{Req::Run, 4, 2}, {Req::Pick, 6}, {Req::Pick, 7}, {Req::Run, 8, 4}, {Req::Counted8, 12}}}, {}},
    {9, {{{Req::Run, 4, 8}, {Req::Counted8, 12}}}, {}},
    {10, {{{Req::Run, 4, 4}, {Req::Counted8, 8}}}, kLegacyEfsList},
    {11, {{{Req::Run, 4, 4}, {Req::Counted8, 8}}}, kLegacyEfsList},
    {12, {}, {{{Rep::Field, 4}}}},
};

void BuildLegacyEfs(PacketWriter& w, size_t typedLength)
{
    w.Pick({0, 1});
    BuildRow(w, FindLayout(kLegacyEfs, w.At(1)), typedLength);
}

// 59, operation, status; a nonzero status rejects the answer.
bool ParseLegacyEfs(ReplyParser& p, uint16_t replyLength)
{
    uint8_t op = 0, status = 0;
    p.Peek8(1, &op);
    p.Field(1);
    if (!p.Peek8(2, &status)) {
        SetErrorText(DiagEfsStatusText(0xFFFF));
        return false;
    }
    p.Field(1);
    if (status != 0) {
        SetErrorText(DiagEfsStatusText(status));
        return false;
    }
    ParseRow(p, FindLayout(kLegacyEfs, op), replyLength);
    return true;
}

// ---- EFS2 (0x4B 0x13): the command in request byte 2, reply bytes 2-3

bool ParseEfs2Read(ReplyParser& p, uint16_t)
{
    // handle, offset, count, error, then count data bytes
    uint32_t count = 0;
    p.PeekLe(12, 4, &count);
    for (int i = 0; i < 4; ++i)
        p.Field(4);
    p.Bytes(count);
    return true;
}

bool ParseEfs2Item(ReplyParser& p, uint16_t)
{
    uint32_t first = 0, second = 1;
    p.PeekLe(4, 4, &first);
    bool haveSecond = p.PeekLe(8, 4, &second);
    p.Field(4);
    p.Field(4);
    p.Field(2);
    if (haveSecond && second == 0 && first > 0)
        p.Bytes(first);
    return true;
}

constexpr ReqSteps kEfs2Head = {{{Req::Run, 0, 4}}};
constexpr ReqSteps kEfs2Handle = {{{Req::Run, 0, 8}}};
constexpr ReqSteps kEfs2Path = {{{Req::Run, 0, 12}, {Req::Text, 12}}};
constexpr ReqSteps kEfs2ShortPath = {{{Req::Run, 0, 4}, {Req::Text, 4}}};
constexpr ReqSteps kEfs2HandlePath = {{{Req::Run, 0, 8}, {Req::Text, 8}}};
constexpr RepSteps kEfs2One = {{{Rep::Field, 4}}};
constexpr RepSteps kEfs2Two = {{{Rep::Field, 4}, {Rep::Field, 4}}};

constexpr Layout kEfs2[] = {
    {0, {{{Req::Run, 0, 44}}}, Whole(44)},
    {1, kEfs2Head, Whole(28)},
    {2, kEfs2Path, kEfs2Two},
    {3, kEfs2Handle, kEfs2One},
    {4, {{{Req::Run, 0, 16}}}, {}, nullptr, ParseEfs2Read},
    {5, {{{Req::Run, 0, 12}, {Req::Rest, 12}}}, {{{Rep::Field, 4}, {Rep::Field, 4}, {Rep::Field, 4}, {Rep::Field, 4}}}},
    {8, kEfs2HandlePath, kEfs2One},
    {9, kEfs2HandlePath, kEfs2One},
    {10, kEfs2ShortPath, kEfs2One},
    {11, kEfs2ShortPath, kEfs2Two},
    {12, {{{Req::Run, 0, 12}}}, {{{Rep::Bytes, 40}, {Rep::ZeroText}}}},
    {13, kEfs2Handle, kEfs2One},
    {15, kEfs2ShortPath, Whole(32)},
    {38, {}, {{{Rep::Field, 4}, {Rep::Field, 2}}}},
    {39, kEfs2Path, {}, nullptr, ParseEfs2Item},
};

// EFS2 replies are always good.
bool ParseEfs2(ReplyParser& p, uint16_t replyLength)
{
    uint32_t command = 0;
    p.Field(1);
    if (!p.PeekLe(2, 2, &command))
        return true;
    p.Field(2);
    ParseRow(p, FindLayout(kEfs2, command), replyLength);
    return true;
}

// ---- subsystem requests (0x4B): the subsystem in byte 1

constexpr uint8_t DIAG_SUBSYS_CD = 0xCD;

void BuildSubsystem(PacketWriter& w, size_t typedLength)
{
    if (w.At(1) == DIAG_SUBSYS_EFS2)
        BuildRow(w, FindLayout(kEfs2, w.At(2)), typedLength);
    else if (w.At(1) == DIAG_SUBSYS_CD)
        w.Run(0, 4);
    else
        w.Literal({0x4B, 0x04, 0x0E, 0x00});
}

bool ParseSubsystem(ReplyParser& p, uint16_t replyLength)
{
    uint8_t subsystem = 0;
    p.Peek8(1, &subsystem);
    if (subsystem == DIAG_SUBSYS_EFS2)
        return ParseEfs2(p, replyLength);
    if (subsystem == DIAG_SUBSYS_CD) {
        p.Field(1);
        p.Field(2);
        p.Field(1);
        return true;
    }
    uint8_t value = 0;
    if (p.Peek8(4, &value)) {
        p.Store(value, 2);
        p.Seek(5);
        p.Touch();
    }
    return true;
}

// ---- typed messages (protocol 0): the command code in byte 0

bool ParseVersion(ReplyParser& p, uint16_t replyLength)
{
    size_t texts;
    size_t widths[DIAG_VERSION_TEXT_COUNT];
    if (replyLength <= 130) {
        texts = 4;
        widths[0] = widths[1] = 22;
        widths[2] = widths[3] = 25;
    } else {
        texts = replyLength >= 291 ? 9 : replyLength >= 241 ? 8 : 4;
        std::fill(widths, widths + texts, size_t(30));
    }
    p.Seek(1);
    for (size_t k = 0; k < texts; ++k) {
        p.WriteAt(DiagVersionTextOffset(k));
        p.Text(widths[k]);
        if (widths[k] != 22)
            p.SkipZero();
    }
    p.WriteAt(DIAG_VERSION_DATE_OFFSET);
    p.Text(12);
    p.SkipZero();
    p.WriteAt(DIAG_VERSION_EXTRA_OFFSET);
    p.Text(9);
    p.SkipZero();
    return true;
}

bool ParseShortVersion(ReplyParser& p, uint16_t replyLength)
{
    p.WriteAt(0);
    p.Text(replyLength > 50 ? 30 : 22);
    p.WriteAt(DIAG_VERSION_TEXT_SLOT);
    p.Text(12);
    p.Text(9);
    return true;
}

constexpr ReqSteps kCodeAlone = {{{Req::Code}}};
constexpr ReqSteps kNvRequest = {{{Req::Code}, {Req::Run, 2, 2}, {Req::Run, 4, DIAG_NV_ITEM_SIZE},
                                  {Req::Run, DIAG_NV_REQUEST_STATUS_OFFSET, 2}}};
constexpr RepSteps kNvReply = {{{Rep::Field, 2}, {Rep::Bytes, DIAG_NV_ITEM_SIZE}, {Rep::Field, 2}}};

constexpr Layout kTyped[] = {
    {0x01, kCodeAlone, {{{Rep::Field, 4}}}},
    {0x0C, kCodeAlone,
     {{{Rep::Seek, 4}, {Rep::WriteAt, 0}, {Rep::Field, 4}, {Rep::FieldAt, 23, 2}, {Rep::FieldAt, 32, 2},
       {Rep::FieldAt, 34, 2}, {Rep::FieldAt, 36, 1}, {Rep::FieldAt, 37, 2}, {Rep::FieldAt, 39, 2},
       {Rep::FieldAt, 41, 2}}}},
    {DIAG_CMD_NV_READ, kNvRequest, kNvReply},
    {DIAG_CMD_NV_WRITE, kNvRequest, kNvReply},
    {0x9C, kNvRequest, kNvReply},
    {DIAG_CMD_CONTROL, {{{Req::Code}, {Req::Run, 2, 2}}}, {{{Rep::Field, 2}}}},
    {0x38, kCodeAlone, {}, nullptr, ParseShortVersion},
    {DIAG_CMD_VERSION, kCodeAlone, {}, nullptr, ParseVersion},
    {DIAG_CMD_DOWNLOAD, kCodeAlone, {}},
    {0x48, {{{Req::Run, 0, 126}}}, {{{Rep::Field, 1}, {Rep::Field, 2}}}},
    {0x49, {{{Req::Run, 0, 3}}},
     {{{Rep::Field, 1}, {Rep::Field, 2}, {Rep::Field, 1}, {Rep::Field, 1}, {Rep::Field, 2}, {Rep::Bytes, 120}}}},
    {DIAG_CMD_SUBSYSTEM, {}, {}, BuildSubsystem, ParseSubsystem},
    {DIAG_CMD_LEGACY_EFS, {}, {}, BuildLegacyEfs, ParseLegacyEfs},
    {0x5C, {{{Req::Literal, 0x5C}, {Req::Literal, 0x01}, {Req::Literal, 0x00}, {Req::Literal, 0xC2},
             {Req::Literal, 0x01}, {Req::Literal, 0x00}}}, {}},
    {0x7C, kCodeAlone, {{{Rep::Field, 2}, {Rep::Field, 1}, {Rep::Field, 4}, {Rep::Field, 4}, {Rep::Bytes, 256}}}},
    {0x89, {{{Req::Run, 0, 2}}}, {}},
    {0x8A, kCodeAlone, {}},
};

// ---- boot-loader messages (protocol 1): requests and replies by their own codes.
// Addresses and lengths go out most significant byte first.

bool ParseBootNak(ReplyParser& p, uint16_t)
{
    uint32_t raw = 0;
    if (p.PeekLe(1, 2, &raw)) {
        unsigned reason = (raw & 0xFF) << 8 | raw >> 8;
        const wchar_t* text = DiagBootNakText(reason);
        SetErrorText(text ? text : L"");
    } else {
        SetErrorText(L"");
    }
    p.FieldBe(2);
    return false;
}

bool ParseBootParameters(ReplyParser& p, uint16_t)
{
    static const uint32_t kFlashSizes[7] = {0, 0x80000, 0x100000, 0x100000, 0x200000, 0x400000, 0x800000};
    p.Field(1);
    p.Field(1);
    p.FieldBe(4);
    p.Field(1);
    uint8_t flash = 0;
    if (p.Peek8(8, &flash)) {
        if (flash > 6)
            flash = 0;
        p.Store(flash, 1);
        p.Store(kFlashSizes[flash], 4);
        p.Seek(9);
        p.Touch();
    } else {
        p.WriteAt(1 + 1 + 1 + 4 + 1 + 1 + 4);
    }
    p.Seek(9);
    uint8_t last = 0;
    if (p.Peek8(9, &last)) {
        p.Store(last > 34 ? 0 : last, 1);
        p.Seek(10);
        p.Touch();
    } else {
        p.WriteAt(1 + 1 + 1 + 4 + 1 + 1 + 4 + 1);
    }
    p.StoreText("Unknown", 64);
    p.StoreText("Unknown", 128);
    return true;
}

constexpr Layout kBootRequests[] = {
    {0x01, {{{Req::Code}, {Req::Pick, 3}, {Req::Pick, 2}, {Req::Pick, 1}, {Req::Pick, 6}, {Req::Pick, 5},
             {Req::RunCountAt, 9, 5}}}, {}},
    {0x0F, {{{Req::Code}, {Req::Pick, 4}, {Req::Pick, 3}, {Req::Pick, 2}, {Req::Pick, 1}, {Req::Pick, 6},
             {Req::Pick, 5}, {Req::RunCountAt, 9, 5}}}, {}},
    {0x04, {{{Req::Code}, {Req::Pick, 3}, {Req::Pick, 2}, {Req::Pick, 1}, {Req::Pick, 6}, {Req::Pick, 5},
             {Req::Pick, 4}}}, {}},
    {0x05, {{{Req::Code}, {Req::Pick, 2}, {Req::Pick, 1}, {Req::Pick, 4}, {Req::Pick, 3}}}, {}},
    {0x14, {{{Req::Code}, {Req::Pick, 2}, {Req::Pick, 1}, {Req::Pick, 4}, {Req::Pick, 3}}}, {}},
    {0x90, {{{Req::Code}, {Req::Pick, 2}, {Req::Pick, 1}, {Req::Pick, 4}, {Req::Pick, 3}}}, {}},
    {0x0B, {{{Req::Run, 0, 9}}}, {}},
    {0x10, {{{Req::Run, 0, 2}}}, {}},
    {0x11, {{{Req::Run, 0, 5}}}, {}},
    {0x06, kCodeAlone, {}},
    {0x07, kCodeAlone, {}},
    {0x0A, kCodeAlone, {}},
    {0x0C, kCodeAlone, {}},
    {0x0E, kCodeAlone, {}},
    {0x12, kCodeAlone, {}},
    {0x20, kCodeAlone, {}},
};
constexpr Layout kBootReplies[] = {
    {0x03, {}, {}, nullptr, ParseBootNak},
    {0x08, {}, {}, nullptr, ParseBootParameters},
    {0x0D, {}, {{{Rep::Field, 1}, {Rep::TextCounted, 1, 1}}}},
    {0x13, {}, {{{Rep::Field, 1}, {Rep::Field, 1}, {Rep::Field, 1}, {Rep::Field, 1}, {Rep::Field, 1}, {Rep::Field, 1}}}},
};

void BuildTyped(PacketWriter& w, size_t typedLength) { BuildRow(w, FindLayout(kTyped, w.At(0)), typedLength); }
void BuildBoot(PacketWriter& w) { BuildRow(w, FindLayout(kBootRequests, w.At(0)), 0); }

// The code in reply byte 0 picks the layout; fields are read from byte 1 on.
template <size_t N>
bool ParseByCode(ReplyParser& p, const Layout (&table)[N], uint16_t replyLength)
{
    uint8_t code = 0;
    p.Peek8(0, &code);
    p.Seek(1);
    p.WriteAt(1);
    return ParseRow(p, FindLayout(table, code), replyLength);
}

bool ParseStreaming(ReplyParser& p, DiagTransferState& t)
{
    uint8_t code = 0;
    p.Peek8(0, &code);
    switch (code) {
    case 2: {
        uint8_t length = 0;
        if (p.Peek8(43, &length)) {
            // only the received part of the text is kept
            size_t avail = 0;
            uint8_t b;
            while (avail < length && avail < DIAG_HELLO_TEXT_SIZE - 1 && p.Peek8(44 + avail, &b)) {
                t.helloText[avail] = static_cast<char>(b);
                ++avail;
            }
            t.helloText[avail] = '\0';
            t.helloLength = static_cast<uint32_t>(avail);
            p.Seek(44 + avail);
            p.Touch();
        }
        return true;
    }
    case 4: case 6: case 8: case 10: case 12: case 14: case 16: case 18: case 20: case 22: case 24:
    case 28: case 30: case 41: case 43:
        return true;
    case 26: {
        uint8_t status = 1;
        p.Peek8(2, &status);
        return status == 0;
    }
    case 13:
        p.Seek(1);
        p.WriteAt(1);
        p.Field(4);
        return false;
    default:
        return false;
    }
}

} // namespace

// ------------------------------------------------------------------ frames

namespace {

enum class FrameVerdict { Intact, NoEndFlag, WrongCrc };

// Un-escapes bytes (the frame from its first data byte on) into plain, without
// the end flag; trailing flags after the first count as one.
FrameVerdict UnescapeFrame(const uint8_t* bytes, size_t length, uint8_t* plain, size_t* count)
{
    while (length >= 2 && bytes[length - 2] == DIAG_FLAG)
        --length;
    size_t n = 0;
    bool lastEscaped = false;
    for (size_t i = 0; i < length; ++i) {
        uint8_t b = bytes[i];
        lastEscaped = false;
        if (b == DIAG_ESCAPE && i + 1 < length) {
            b = static_cast<uint8_t>(bytes[++i] ^ DIAG_ESCAPE_XOR);
            lastEscaped = true;
        }
        plain[n++] = b;
    }
    *count = 0;
    // an escaped 0x7E is data, not the end flag
    if (n == 0 || plain[n - 1] != DIAG_FLAG || lastEscaped)
        return FrameVerdict::NoEndFlag;
    *count = --n;
    if (n == 0 || Crc16X25Update(CRC16_X25_INITIAL, plain, n) != CRC16_X25_RESIDUE)
        return FrameVerdict::WrongCrc;
    return FrameVerdict::Intact;
}

} // namespace

bool DiagFrameIntact(const uint8_t* bytes, size_t length)
{
    uint8_t plain[DIAG_RECEIVE_BUFFER_SIZE + 1];
    size_t count = 0;
    return length <= DIAG_RECEIVE_BUFFER_SIZE && UnescapeFrame(bytes, length, plain, &count) == FrameVerdict::Intact;
}

bool FrameDiagPacket(const uint8_t* packet, size_t length, bool leadingFlag, uint8_t* out, size_t room,
                     size_t* frameLength)
{
    size_t n = 0;
    auto put = [&](uint8_t b) {
        if (n >= room)
            return false;
        out[n++] = b;
        return true;
    };
    auto putEscaped = [&](uint8_t b) {
        if (b == DIAG_FLAG || b == DIAG_ESCAPE)
            return put(DIAG_ESCAPE) && put(static_cast<uint8_t>(b ^ DIAG_ESCAPE_XOR));
        return put(b);
    };
    if (leadingFlag && !put(DIAG_FLAG))
        return false;
    for (size_t i = 0; i < length; ++i)
        if (!putEscaped(packet[i]))
            return false;
    uint16_t crc = Crc16X25(packet, length);
    if (!putEscaped(static_cast<uint8_t>(crc & 0xFF)) || !putEscaped(static_cast<uint8_t>(crc >> 8)) ||
        !put(DIAG_FLAG))
        return false;
    *frameLength = n;
    return true;
}

uint32_t BuildDiagFrame(DiagTransferState& t)
{
    uint8_t packet[DIAG_SEND_BUFFER_SIZE];
    size_t length = 0;
    bool ok = true;
    if (t.protocol == DIAG_PROTOCOL_TYPED || t.protocol == DIAG_PROTOCOL_BOOT) {
        PacketWriter w(reinterpret_cast<const uint8_t*>(&t.typedRequest), DIAG_TYPED_REQUEST_SIZE, packet,
                       sizeof packet);
        if (t.protocol == DIAG_PROTOCOL_TYPED)
            BuildTyped(w, std::min<size_t>(t.typedLength, DIAG_TYPED_REQUEST_SIZE));
        else
            BuildBoot(w);
        ok = w.Ok();
        length = w.Length();
    }
    if (ok && length == 0) {
        if (t.sendOverflow)
            ok = false;
        else {
            length = std::min<size_t>(t.sendLength, DIAG_SEND_BUFFER_SIZE);
            std::memcpy(packet, t.sendBuffer, length);
        }
    }
    size_t frameLength = 0;
    bool leading = t.protocol == DIAG_PROTOCOL_BOOT || t.protocol == DIAG_PROTOCOL_STREAMING;
    if (!ok || !FrameDiagPacket(packet, length, leading, t.sendBuffer, DIAG_SEND_BUFFER_SIZE, &frameLength)) {
        t.sendLength = 0;
        return 0;
    }
    t.sendLength = static_cast<uint32_t>(frameLength);
    return t.sendLength;
}

bool CheckDiagFrame(DiagTransferState& t)
{
    uint8_t* rx = t.receiveBuffer;
    size_t len = std::min<size_t>(t.receiveLength, DIAG_RECEIVE_BUFFER_SIZE);
    t.replyLength = static_cast<uint16_t>(len);

    size_t start = 0;
    if (t.protocol == DIAG_PROTOCOL_BOOT || t.protocol == DIAG_PROTOCOL_STREAMING) {
        if (len == 0 || rx[0] != DIAG_FLAG) {
            std::memmove(rx + 1, rx, len);
            rx[0] = DIAG_FLAG;
            ++len;
        }
        start = 1;
    }
    uint8_t plain[DIAG_RECEIVE_BUFFER_SIZE + 1];
    size_t count = 0;
    const FrameVerdict verdict = UnescapeFrame(rx + start, len - start, plain, &count);
    if (verdict == FrameVerdict::NoEndFlag) {
        SetErrorText(DIAG_TEXT_NO_END_FLAG);
        return false;
    }
    std::memcpy(rx, plain, count);
    t.receiveLength = static_cast<uint32_t>(count);
    if (verdict == FrameVerdict::WrongCrc) {
        SetErrorText(DIAG_TEXT_WRONG_CRC);
        return false;
    }
    if (t.protocol == DIAG_PROTOCOL_RAW)
        return true;
    if (t.protocol > DIAG_PROTOCOL_RAW || count <= 2)
        return false; // unknown protocol, or a CRC with no packet in front of it

    size_t packetLength = count - 2;
    t.reply.bytes[0] = rx[0];
    ReplyParser p(rx, packetLength, t.reply.bytes, DIAG_REPLY_RECORD_SIZE);
    bool good;
    if (t.protocol == DIAG_PROTOCOL_TYPED)
        good = ParseByCode(p, kTyped, t.replyLength);
    else if (t.protocol == DIAG_PROTOCOL_BOOT)
        good = ParseByCode(p, kBootReplies, t.replyLength);
    else
        good = ParseStreaming(p, t);
    t.receiveLength = static_cast<uint32_t>(p.ReadPosition());
    return good;
}

void DumpDiagFrame(const DiagTransferState& t, uint32_t count, bool written)
{
    const uint8_t* bytes = written ? t.sendBuffer : t.receiveBuffer;
    size_t room = written ? sizeof t.sendBuffer : sizeof t.receiveBuffer;
    char line[64];
    int n = std::snprintf(line, sizeof line, "%s: Len %u: ", written ? "W" : "R", static_cast<unsigned>(count));
    size_t shown = std::min<size_t>({count, 10, room});
    for (size_t i = 0; i < shown; ++i)
        n += std::snprintf(line + n, sizeof line - n, "%02X ", bytes[i]);
    std::snprintf(line + n, sizeof line - n, "\n");
    size_t lineLength = std::strlen(line);
    size_t logLength = std::wcslen(DiagFrameLog);
    if (logLength + lineLength >= DIAG_TEXT_SIZE)
        return;
    for (size_t i = 0; i <= lineLength; ++i)
        DiagFrameLog[logLength + i] = static_cast<unsigned char>(line[i]);
}

// ------------------------------------------------------------------- texts

const wchar_t* DiagEfsStatusText(unsigned status)
{
    static const wchar_t* const kTexts[] = {
        nullptr,
        L"Low-level operation failed!",
        L"Operation is queued or in progress!",
        L"File needs to be opened for this operation!",
        L"File needs to be closed for this operation!",
        L"File already exists!",
        L"File does not exist!",
        L"User directory already exists!",
        L"User directory does not exist!",
        L"User directory not empty for remove!",
        L"Client specified an unknown operation!",
        L"Client specified an invalid operation!",
        L"Client supplied a bad parameter value!",
        L"Client specified invalid file/directory name!",
        L"Client specified invalid file handle",
        L"Client specified an invalid SEEK position",
        L"Client supplied an invalid truncate position",
        L"Operation invalid for remote files!",
        L"Invalid confirmation code specified!",
        L"End of file reached!",
        L"More records exist to be processed!",
        L"Garbage Collection in progress!",
        L"Out of file system space!",
        L"File block is full!",
        L"Out of Master Directory space!",
        L"Out of File Block List free pool space!",
        L"Out of open-file table slots!",
        L"Invalid enumeration iterator control struct!",
        L"Enumeration operation completed!",
        L"Maximum number of remote links reached!",
        L"Removable media not inserted!",
        L"Media has been changed since opened!",
    };
    if (status >= 1 && status < std::size(kTexts))
        return kTexts[status];
    return L"Unknown reason!";
}

const wchar_t* DiagBootNakText(unsigned reason)
{
    static const wchar_t* const kTexts[] = {
        nullptr,
        L"invalid frame check sequence",
        L"destination address is invalid",
        L"operation length is invalid",
        L"packet was too short for this cmd",
        L"packet was too long for phone's buffer",
        L"packet command code was unknown",
        L"operation did not succeed",
        L"intelligent ID code was wrong",
        L"programming voltage out of spec",
        L"readback verify did not match",
        L"not permitted without unlock",
        L"invalid security code",
    };
    if (reason >= 1 && reason < std::size(kTexts))
        return kTexts[reason];
    return nullptr;
}
