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
    // Request bytes from..from+count-1, the last one first.
    void RunBe(size_t from, size_t count)
    {
        for (size_t i = count; i-- > 0;)
            Byte(At(from + i));
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

// Where the typed request's parts stand (see DiagTypedRequest).
constexpr uint16_t kReqCode = offsetof(DiagTypedRequest, code);
constexpr uint16_t kReqSub = offsetof(DiagTypedRequest, sub);
constexpr uint16_t kReqWord = offsetof(DiagTypedRequest, word);
constexpr uint16_t kReqData = offsetof(DiagTypedRequest, data);

// Reply bytes every table reads: the code, then the sub byte (subsystem or
// EFS operation).
constexpr uint16_t kReplyCode = 0;
constexpr size_t kReplySub = 1;

// Where the packet's bytes come from in the typed request.
enum class Req : uint8_t {
    End,
    Code,        // the command code (request byte 0)
    Run,         // request bytes a..a+b-1
    RunBe,       // request bytes a..a+b-1, the last one first
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
// The transfer state gives the reply length as received and takes the
// streaming hello text.
using ParseFn = bool (*)(ReplyParser&, DiagTransferState&);

enum class Verdict : bool { Good, Rejected };

// One message of a table, found by its key (a code, an operation, a command).
struct Layout {
    uint16_t key;
    ReqSteps request;
    RepSteps reply;
    BuildFn build = nullptr; // in place of request, when set
    ParseFn parse = nullptr; // in place of reply and verdict, when set
    Verdict verdict = Verdict::Good;
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
        case Req::Code: w.Byte(w.At(kReqCode)); break;
        case Req::Run: w.Run(s.a, s.b); break;
        case Req::RunBe: w.RunBe(s.a, s.b); break;
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

// A reply of no known layout leaves the record alone; its verdict is the table's.
bool ParseRow(ReplyParser& p, const Layout* layout, DiagTransferState& t, Verdict unlisted = Verdict::Good)
{
    if (!layout)
        return unlisted == Verdict::Good;
    if (layout->parse)
        return layout->parse(p, t);
    Parse(p, layout->reply);
    return layout->verdict == Verdict::Good;
}

// Reply steps of the whole reply of size bytes, over the record from its code on.
constexpr RepSteps Whole(uint16_t size)
{
    return {{{Rep::Seek, kReplyCode}, {Rep::WriteAt, kReplyCode}, {Rep::Bytes, size}}};
}

// ---- legacy EFS (DIAG_CMD_LEGACY_EFS): the operation in byte 1 picks the layout

enum LegacyEfsOperation : uint8_t {
    EFS_MAKE_DIRECTORY = 0,
    EFS_REMOVE_DIRECTORY = 1,
    EFS_LIST_DIRECTORIES = 2,
    EFS_LIST_FILES = 3,
    EFS_READ_FILE = 4,
    EFS_WRITE_FILE = 5,
    EFS_REMOVE_FILE = 6,
    EFS_GET_ATTRIBUTES = 7,
    EFS_SET_ATTRIBUTES = 8,
    EFS_REMOTE_LINK = 9,
    EFS_NEXT_DIRECTORY = 10,
    EFS_NEXT_FILE = 11,
    EFS_SPACE_AVAILABLE = 12,
};

// Request bytes. Most operations send a counted name from the data on.
constexpr uint16_t kEfsName = kReqData;
// Read and write name their block first; block 0 carries the name (and, to
// write, the file's fields).
constexpr uint16_t kEfsBlock = 4;
constexpr uint16_t kEfsReadName = 5;
constexpr uint16_t kEfsMoreBlocks = 5;
constexpr uint16_t kEfsWriteMode = 8;
constexpr uint16_t kEfsWriteSize = 12;       // 32 bits
constexpr uint16_t kEfsWriteAttributes = 16; // 16 bits
constexpr uint16_t kEfsWriteFlags = 18;      // two bytes
constexpr uint16_t kEfsWriteName = 20;
constexpr uint16_t kEfsFirstBlockData = 82; // 16-bit count and the data
constexpr uint16_t kEfsBlockData = 8;       // the same in later blocks
constexpr uint16_t kEfsAttributes = 4;      // 16 bits, two bytes, a 32-bit date, the name
constexpr uint16_t kEfsAttributeFlags = 6;
constexpr uint16_t kEfsCreationDate = 8;
constexpr uint16_t kEfsAttributesName = 12;
constexpr uint16_t kEfsLink = 4;            // two 32-bit values, the name
constexpr uint16_t kEfsLinkName = 12;
constexpr uint16_t kEfsSequence = 4;        // 32 bits, the name
constexpr uint16_t kEfsSequenceName = 8;
// Reply bytes: the status behind the operation, the block behind the status,
// the count of a listing, the length of an entry's name.
constexpr size_t kEfsStatus = 2;
constexpr unsigned kEfsNoStatus = 0xFFFF; // a reply that ends before its status
constexpr size_t kEfsReplyBlock = 3;
constexpr uint16_t kEfsListCount = 5;
constexpr uint16_t kEfsEntryNameLength = 24;

void BuildLegacyEfsRead(PacketWriter& w, size_t)
{
    w.Byte(w.At(kEfsBlock));
    if (w.At(kEfsBlock) == 0)
        w.Counted8(kEfsReadName);
}

void BuildLegacyEfsWrite(PacketWriter& w, size_t)
{
    w.Pick({kEfsBlock, kEfsMoreBlocks});
    if (w.At(kEfsBlock) == 0) {
        w.Pick({kEfsWriteMode});
        w.Run(kEfsWriteSize, 4);
        w.Run(kEfsWriteAttributes, 2);
        w.Run(kEfsWriteFlags, 2);
        w.Counted8(kEfsWriteName);
        w.Counted16(kEfsFirstBlockData);
    } else {
        w.Counted16(kEfsBlockData);
    }
}

// Block and more-flag, then block 0 the file's size, then a counted run of data.
bool ParseLegacyEfsRead(ReplyParser& p, DiagTransferState&)
{
    uint8_t block = 0;
    bool have = p.Peek8(kEfsReplyBlock, &block);
    p.Field(1);
    p.Field(1);
    if (!have)
        return true;
    if (block == 0)
        p.Field(4);
    uint32_t count = 0;
    p.PeekLe(p.Pos(), 2, &count);
    p.Field(2);
    p.Bytes(count);
    return true;
}

constexpr ReqSteps kLegacyEfsName = {{{Req::Counted8, kEfsName}}};
// two 16-bit values, the second the count of the bytes behind them
constexpr RepSteps kLegacyEfsData = {{{Rep::Field, 2}, {Rep::Field, 2}, {Rep::BytesCounted, kEfsListCount, 2}}};
constexpr ReqSteps kLegacyEfsNext = {{{Req::Run, kEfsSequence, 4}, {Req::Counted8, kEfsSequenceName}}};
// the entry's fields, then its counted name
constexpr RepSteps kLegacyEfsEntry = {{{Rep::Field, 4}, {Rep::Field, 2}, {Rep::Field, 1}, {Rep::Field, 1},
                                       {Rep::Field, 4}, {Rep::Field, 4}, {Rep::Field, 4}, {Rep::Field, 1},
                                       {Rep::Field, 1}, {Rep::TextCounted, kEfsEntryNameLength, 1}}};

constexpr Layout kLegacyEfs[] = {
    {EFS_MAKE_DIRECTORY, kLegacyEfsName, {}},
    {EFS_REMOVE_DIRECTORY, kLegacyEfsName, {}},
    {EFS_LIST_DIRECTORIES, kLegacyEfsName, kLegacyEfsData},
    {EFS_LIST_FILES, kLegacyEfsName, kLegacyEfsData},
    {EFS_READ_FILE, {}, {}, BuildLegacyEfsRead, ParseLegacyEfsRead},
    {EFS_WRITE_FILE, {}, {{{Rep::Field, 1}}}, BuildLegacyEfsWrite},
    {EFS_REMOVE_FILE, kLegacyEfsName, {}},
    {EFS_GET_ATTRIBUTES, kLegacyEfsName,
     {{{Rep::Field, 2}, {Rep::Field, 1}, {Rep::Field, 1}, {Rep::Field, 4}, {Rep::Field, 4}}}},
    {EFS_SET_ATTRIBUTES,
     {{{Req::Run, kEfsAttributes, 2}, {Req::Run, kEfsAttributeFlags, 2},
       {Req::Run, kEfsCreationDate, 4}, {Req::Counted8, kEfsAttributesName}}},
     {}},
    {EFS_REMOTE_LINK, {{{Req::Run, kEfsLink, 8}, {Req::Counted8, kEfsLinkName}}}, {}},
    {EFS_NEXT_DIRECTORY, kLegacyEfsNext, kLegacyEfsEntry},
    {EFS_NEXT_FILE, kLegacyEfsNext, kLegacyEfsEntry},
    {EFS_SPACE_AVAILABLE, {}, {{{Rep::Field, 4}}}},
};

void BuildLegacyEfs(PacketWriter& w, size_t typedLength)
{
    w.Pick({kReqCode, kReqSub});
    BuildRow(w, FindLayout(kLegacyEfs, w.At(kReqSub)), typedLength);
}

// code, operation, status; a nonzero status rejects the answer.
bool ParseLegacyEfs(ReplyParser& p, DiagTransferState& t)
{
    uint8_t op = 0, status = 0;
    p.Peek8(kReplySub, &op);
    p.Field(1);
    if (!p.Peek8(kEfsStatus, &status)) {
        SetErrorText(DiagEfsStatusText(kEfsNoStatus));
        return false;
    }
    p.Field(1);
    if (status != 0) {
        SetErrorText(DiagEfsStatusText(status));
        return false;
    }
    ParseRow(p, FindLayout(kLegacyEfs, op), t);
    return true;
}

// ---- EFS2 (DIAG_SUBSYS_EFS2): the command in request byte 2, reply bytes 2-3

enum Efs2Command : uint16_t {
    EFS2_HELLO = 0,
    EFS2_QUERY = 1,
    EFS2_OPEN = 2,
    EFS2_CLOSE = 3,
    EFS2_READ = 4,
    EFS2_WRITE = 5,
    EFS2_UNLINK = 8,
    EFS2_MAKE_DIRECTORY = 9,
    EFS2_REMOVE_DIRECTORY = 10,
    EFS2_OPEN_DIRECTORY = 11,
    EFS2_READ_DIRECTORY = 12,
    EFS2_CLOSE_DIRECTORY = 13,
    EFS2_STAT = 15,
    EFS2_PUT = 38,
    EFS2_GET = 39,
};

// Requests send their leading bytes as they stand: the header (code,
// subsystem, command) and the command's 32-bit values.
constexpr uint16_t kEfs2Header = 4;
constexpr uint16_t kEfs2ValueSize = 4;
constexpr uint16_t kEfs2WriteData = kEfs2Header + 2 * kEfs2ValueSize; // behind handle and offset
// Reply: the command behind code and subsystem; the read reply's count
// behind handle and offset; the get reply's length and error.
constexpr size_t kEfs2Command = 2;
constexpr size_t kEfs2ReadCount = 12;
constexpr size_t kEfs2GetLength = 4;
constexpr size_t kEfs2GetError = 8;

bool ParseEfs2Read(ReplyParser& p, DiagTransferState&)
{
    // handle, offset, count, error, then count data bytes
    uint32_t count = 0;
    p.PeekLe(kEfs2ReadCount, 4, &count);
    for (int i = 0; i < 4; ++i)
        p.Field(4);
    p.Bytes(count);
    return true;
}

bool ParseEfs2Get(ReplyParser& p, DiagTransferState&)
{
    uint32_t length = 0, error = 1;
    p.PeekLe(kEfs2GetLength, 4, &length);
    bool haveError = p.PeekLe(kEfs2GetError, 4, &error);
    p.Field(4);
    p.Field(4);
    p.Field(2);
    if (haveError && error == 0 && length > 0)
        p.Bytes(length);
    return true;
}

// The header and n values as they stand, then (when given) the path behind them.
constexpr ReqSteps Efs2Values(uint16_t n) { return {{{Req::Run, 0, uint16_t(kEfs2Header + n * kEfs2ValueSize)}}}; }
constexpr ReqSteps Efs2ValuesAndPath(uint16_t n)
{
    const uint16_t at = kEfs2Header + n * kEfs2ValueSize;
    return {{{Req::Run, 0, at}, {Req::Text, at}}};
}
constexpr RepSteps kEfs2One = {{{Rep::Field, 4}}};
constexpr RepSteps kEfs2Two = {{{Rep::Field, 4}, {Rep::Field, 4}}};

constexpr Layout kEfs2[] = {
    {EFS2_HELLO, {{{Req::Run, 0, 44}}}, Whole(44)},
    {EFS2_QUERY, Efs2Values(0), Whole(28)},
    {EFS2_OPEN, Efs2ValuesAndPath(2), kEfs2Two},
    {EFS2_CLOSE, Efs2Values(1), kEfs2One},
    {EFS2_READ, Efs2Values(3), {}, nullptr, ParseEfs2Read},
    {EFS2_WRITE, {{{Req::Run, 0, kEfs2WriteData}, {Req::Rest, kEfs2WriteData}}},
     {{{Rep::Field, 4}, {Rep::Field, 4}, {Rep::Field, 4}, {Rep::Field, 4}}}},
    {EFS2_UNLINK, Efs2ValuesAndPath(1), kEfs2One},
    {EFS2_MAKE_DIRECTORY, Efs2ValuesAndPath(1), kEfs2One},
    {EFS2_REMOVE_DIRECTORY, Efs2ValuesAndPath(0), kEfs2One},
    {EFS2_OPEN_DIRECTORY, Efs2ValuesAndPath(0), kEfs2Two},
    {EFS2_READ_DIRECTORY, Efs2Values(2), {{{Rep::Bytes, 40}, {Rep::ZeroText}}}},
    {EFS2_CLOSE_DIRECTORY, Efs2Values(1), kEfs2One},
    {EFS2_STAT, Efs2ValuesAndPath(0), Whole(32)},
    {EFS2_PUT, {}, {{{Rep::Field, 4}, {Rep::Field, 2}}}},
    {EFS2_GET, Efs2ValuesAndPath(2), {}, nullptr, ParseEfs2Get},
};

// EFS2 replies are always good.
bool ParseEfs2(ReplyParser& p, DiagTransferState& t)
{
    uint32_t command = 0;
    p.Field(1);
    if (!p.PeekLe(kEfs2Command, 2, &command))
        return true;
    p.Field(2);
    ParseRow(p, FindLayout(kEfs2, command), t);
    return true;
}

// ---- subsystem requests (DIAG_CMD_SUBSYSTEM): the subsystem in byte 1

// Any other subsystem is sent as the fixed request of this one.
constexpr uint8_t DIAG_SUBSYS_FALLBACK = 0x04;
constexpr uint16_t DIAG_SUBSYS_FALLBACK_COMMAND = 0x000E;
// The value read from the reply of any other subsystem.
constexpr size_t kSubsystemValue = 4;

void BuildSubsystem(PacketWriter& w, size_t typedLength)
{
    if (w.At(kReqSub) == DIAG_SUBSYS_EFS2)
        BuildRow(w, FindLayout(kEfs2, w.At(kReqWord)), typedLength);
    else if (w.At(kReqSub) == DIAG_SUBSYS_CD)
        w.Run(0, kReqData);
    else
        w.Literal({DIAG_CMD_SUBSYSTEM, DIAG_SUBSYS_FALLBACK, uint8_t(DIAG_SUBSYS_FALLBACK_COMMAND & 0xFF),
                   uint8_t(DIAG_SUBSYS_FALLBACK_COMMAND >> 8)});
}

bool ParseSubsystem(ReplyParser& p, DiagTransferState& t)
{
    uint8_t subsystem = 0;
    p.Peek8(kReplySub, &subsystem);
    if (subsystem == DIAG_SUBSYS_EFS2)
        return ParseEfs2(p, t);
    if (subsystem == DIAG_SUBSYS_CD) {
        p.Field(1);
        p.Field(2);
        p.Field(1);
        return true;
    }
    uint8_t value = 0;
    if (p.Peek8(kSubsystemValue, &value)) {
        p.Store(value, 2);
        p.Seek(kSubsystemValue + 1);
        p.Touch();
    }
    return true;
}

// ---- typed messages (protocol 0): the command code in byte 0

// The version reply's layouts: the first whose least reply length (as
// received) is reached. A text of 22 bytes is not followed by a zero byte.
struct VersionLayout {
    uint16_t leastLength;
    uint8_t texts;
    uint8_t widths[DIAG_VERSION_TEXT_COUNT];
};
constexpr VersionLayout kVersionLayouts[] = {
    {291, 9, {30, 30, 30, 30, 30, 30, 30, 30, 30}},
    {241, 8, {30, 30, 30, 30, 30, 30, 30, 30}},
    {131, 4, {30, 30, 30, 30}},
    {0, 4, {22, 22, 25, 25}},
};
constexpr size_t kVersionUnpaddedWidth = 22;
constexpr size_t kVersionDateSize = 12;
constexpr size_t kVersionExtraSize = 9;

bool ParseVersion(ReplyParser& p, DiagTransferState& t)
{
    const VersionLayout* layout = std::begin(kVersionLayouts);
    while (t.replyLength < layout->leastLength)
        ++layout;
    p.Seek(DIAG_REPLY_FIRST_FIELD);
    for (size_t k = 0; k < layout->texts; ++k) {
        p.WriteAt(DiagVersionTextOffset(k));
        p.Text(layout->widths[k]);
        if (layout->widths[k] != kVersionUnpaddedWidth)
            p.SkipZero();
    }
    p.WriteAt(DIAG_VERSION_DATE_OFFSET);
    p.Text(kVersionDateSize);
    p.SkipZero();
    p.WriteAt(DIAG_VERSION_EXTRA_OFFSET);
    p.Text(kVersionExtraSize);
    p.SkipZero();
    return true;
}

// The first text is written over the code.
bool ParseShortVersion(ReplyParser& p, DiagTransferState& t)
{
    p.WriteAt(kReplyCode);
    p.Text(t.replyLength > 50 ? 30 : kVersionUnpaddedWidth);
    p.WriteAt(DIAG_VERSION_TEXT_SLOT);
    p.Text(kVersionDateSize);
    p.Text(kVersionExtraSize);
    return true;
}

constexpr ReqSteps kCodeAlone = {{{Req::Code}}};
// The port-rate request is fixed: 01, then this rate as a 32-bit value.
constexpr uint32_t kPortRate = 115200;
constexpr uint16_t PortRateByte(int k) { return (kPortRate >> 8 * k) & 0xFF; }
constexpr ReqSteps kNvRequest = {{{Req::Code}, {Req::Run, kReqWord, 2}, {Req::Run, kReqData, DIAG_NV_ITEM_SIZE},
                                  {Req::Run, DIAG_NV_REQUEST_STATUS_OFFSET, 2}}};
constexpr RepSteps kNvReply = {{{Rep::Field, 2}, {Rep::Bytes, DIAG_NV_ITEM_SIZE}, {Rep::Field, 2}}};

constexpr Layout kTyped[] = {
    {DIAG_CMD_SERIAL_NUMBER, kCodeAlone, {{{Rep::Field, 4}}}},
    // the 32-bit value of bytes 4-7 over the code, then single fields
    {DIAG_CMD_STATUS, kCodeAlone,
     {{{Rep::Seek, 4}, {Rep::WriteAt, kReplyCode}, {Rep::Field, 4}, {Rep::FieldAt, 23, 2}, {Rep::FieldAt, 32, 2},
       {Rep::FieldAt, 34, 2}, {Rep::FieldAt, 36, 1}, {Rep::FieldAt, 37, 2}, {Rep::FieldAt, 39, 2},
       {Rep::FieldAt, 41, 2}}}},
    {DIAG_CMD_NV_READ, kNvRequest, kNvReply},
    {DIAG_CMD_NV_WRITE, kNvRequest, kNvReply},
    {DIAG_CMD_NV_X9C, kNvRequest, kNvReply},
    {DIAG_CMD_CONTROL, {{{Req::Code}, {Req::Run, kReqWord, 2}}}, {{{Rep::Field, 2}}}},
    {DIAG_CMD_SHORT_VERSION, kCodeAlone, {}, nullptr, ParseShortVersion},
    {DIAG_CMD_VERSION, kCodeAlone, {}, nullptr, ParseVersion},
    {DIAG_CMD_DOWNLOAD, kCodeAlone, {}},
    {DIAG_CMD_ROAMING_LIST_WRITE, {{{Req::Run, 0, 126}}}, {{{Rep::Field, 1}, {Rep::Field, 2}}}},
    {DIAG_CMD_ROAMING_LIST_READ, {{{Req::Code}, {Req::Pick, kReqSub}, {Req::Pick, kReqWord}}},
     {{{Rep::Field, 1}, {Rep::Field, 2}, {Rep::Field, 1}, {Rep::Field, 1}, {Rep::Field, 2}, {Rep::Bytes, 120}}}},
    {DIAG_CMD_SUBSYSTEM, {}, {}, BuildSubsystem, ParseSubsystem},
    {DIAG_CMD_LEGACY_EFS, {}, {}, BuildLegacyEfs, ParseLegacyEfs},
    {DIAG_CMD_PORT_RATE, {{{Req::Code}, {Req::Literal, 0x01}, {Req::Literal, PortRateByte(0)},
                           {Req::Literal, PortRateByte(1)}, {Req::Literal, PortRateByte(2)},
                           {Req::Literal, PortRateByte(3)}}}, {}},
    {DIAG_CMD_BUILD_ID, kCodeAlone,
     {{{Rep::Field, 2}, {Rep::Field, 1}, {Rep::Field, 4}, {Rep::Field, 4}, {Rep::Bytes, 256}}}},
    {DIAG_CMD_X89, {{{Req::Code}, {Req::Pick, kReqSub}}}, {}},
    {DIAG_CMD_X8A, kCodeAlone, {}},
};

// ---- boot-loader messages (protocol 1): requests and replies by their own codes.
// Addresses and lengths go out most significant byte first. A code whose
// meaning this layer does not need is named by its number.

enum BootCode : uint8_t {
    BOOT_WRITE = 0x01,
    BOOT_NAK = 0x03,
    BOOT_ERASE = 0x04,
    BOOT_GO = 0x05,
    BOOT_NO_OPERATION = 0x06,
    BOOT_PARAMETER_REQUEST = 0x07,
    BOOT_PARAMETERS = 0x08,
    BOOT_RESET = 0x0A,
    BOOT_UNLOCK = 0x0B,
    BOOT_VERSION_REQUEST = 0x0C,
    BOOT_VERSION = 0x0D,
    BOOT_POWER_DOWN = 0x0E,
    BOOT_WRITE_32 = 0x0F,
    BOOT_X10 = 0x10,
    BOOT_X11 = 0x11,
    BOOT_X12 = 0x12,
    BOOT_X13 = 0x13,
    BOOT_X14 = 0x14,
    BOOT_X20 = 0x20,
    BOOT_X90 = 0x90,
};

// Request bytes of the boot-loader requests.
constexpr uint16_t kBootAddress = 1;       // 24 or 32 bits
constexpr uint16_t kBootEraseLength = 4;   // 24 bits
constexpr uint16_t kBootWriteLength = 5;   // 16 bits, the count of the data
constexpr uint16_t kBootWriteData = 9;
constexpr uint16_t kBootSegment = 1;       // two 16-bit values
constexpr uint16_t kBootOffset = 3;
constexpr uint16_t kBootBody = 1;          // what the other requests send behind the code

// Reply bytes: the NAK's reason, the parameters' flash-size code and device type.
constexpr size_t kBootNakReason = 1;
constexpr size_t kBootFlashCode = 8;
constexpr size_t kBootDeviceType = 9;
constexpr uint8_t kBootLastDeviceType = 34; // a higher one is stored as 0

// The parameters reply in the record: the reply's fields to the flash-size
// code, the flash size that code stands for, the device type and two names.
struct BootParametersRecord {
    uint8_t code;
    uint8_t version;
    uint8_t minimumVersion;
    uint8_t maximumBlock[4];
    uint8_t model;
    uint8_t flashCode;
    uint8_t flashSize[4];
    uint8_t deviceType;
    char name[64];
    char secondName[128];
};
static_assert(sizeof(BootParametersRecord) <= DIAG_REPLY_RECORD_SIZE);

bool ParseBootNak(ReplyParser& p, DiagTransferState&)
{
    uint32_t raw = 0;
    if (p.PeekLe(kBootNakReason, 2, &raw)) {
        unsigned reason = (raw & 0xFF) << 8 | raw >> 8;
        const wchar_t* text = DiagBootNakText(reason);
        SetErrorText(text ? text : L"");
    } else {
        SetErrorText(L"");
    }
    p.FieldBe(2);
    return false;
}

bool ParseBootParameters(ReplyParser& p, DiagTransferState&)
{
    // by flash-size code; an unknown code is stored as 0
    static const uint32_t kFlashSizes[] = {0, 0x80000, 0x100000, 0x100000, 0x200000, 0x400000, 0x800000};
    p.Field(1);
    p.Field(1);
    p.FieldBe(4);
    p.Field(1);
    uint8_t flash = 0;
    if (p.Peek8(kBootFlashCode, &flash)) {
        if (flash >= std::size(kFlashSizes))
            flash = 0;
        p.Store(flash, 1);
        p.Store(kFlashSizes[flash], 4);
        p.Seek(kBootFlashCode + 1);
        p.Touch();
    } else {
        p.WriteAt(offsetof(BootParametersRecord, deviceType));
    }
    p.Seek(kBootDeviceType);
    uint8_t type = 0;
    if (p.Peek8(kBootDeviceType, &type)) {
        p.Store(type > kBootLastDeviceType ? 0 : type, 1);
        p.Seek(kBootDeviceType + 1);
        p.Touch();
    } else {
        p.WriteAt(offsetof(BootParametersRecord, name));
    }
    p.StoreText("Unknown", sizeof BootParametersRecord::name);
    p.StoreText("Unknown", sizeof BootParametersRecord::secondName);
    return true;
}

// code, address, a 16-bit count n and n bytes of data
constexpr ReqSteps BootWrite(uint16_t addressBytes)
{
    return {{{Req::Code}, {Req::RunBe, kBootAddress, addressBytes}, {Req::RunBe, kBootWriteLength, 2},
             {Req::RunCountAt, kBootWriteData, kBootWriteLength}}};
}
// code, segment and offset
constexpr ReqSteps kBootJump = {{{Req::Code}, {Req::RunBe, kBootSegment, 2}, {Req::RunBe, kBootOffset, 2}}};

constexpr Layout kBootRequests[] = {
    {BOOT_WRITE, BootWrite(3), {}},
    {BOOT_WRITE_32, BootWrite(4), {}},
    {BOOT_ERASE, {{{Req::Code}, {Req::RunBe, kBootAddress, 3}, {Req::RunBe, kBootEraseLength, 3}}}, {}},
    {BOOT_GO, kBootJump, {}},
    {BOOT_X14, kBootJump, {}},
    {BOOT_X90, kBootJump, {}},
    {BOOT_UNLOCK, {{{Req::Code}, {Req::Run, kBootBody, 8}}}, {}},
    {BOOT_X10, {{{Req::Code}, {Req::Pick, kBootBody}}}, {}},
    {BOOT_X11, {{{Req::Code}, {Req::Run, kBootBody, 4}}}, {}},
    {BOOT_NO_OPERATION, kCodeAlone, {}},
    {BOOT_PARAMETER_REQUEST, kCodeAlone, {}},
    {BOOT_RESET, kCodeAlone, {}},
    {BOOT_VERSION_REQUEST, kCodeAlone, {}},
    {BOOT_POWER_DOWN, kCodeAlone, {}},
    {BOOT_X12, kCodeAlone, {}},
    {BOOT_X20, kCodeAlone, {}},
};
constexpr Layout kBootReplies[] = {
    {BOOT_NAK, {}, {}, nullptr, ParseBootNak},
    {BOOT_PARAMETERS, {}, {}, nullptr, ParseBootParameters},
    {BOOT_VERSION, {}, {{{Rep::Field, 1}, {Rep::TextCounted, 1, 1}}}},
    {BOOT_X13, {}, {{{Rep::Field, 1}, {Rep::Field, 1}, {Rep::Field, 1}, {Rep::Field, 1}, {Rep::Field, 1}, {Rep::Field, 1}}}},
};

// ---- streaming download (protocol 2): replies by their code; an unlisted
// code is rejected. The packet is the laid-down payload.

enum StreamingReply : uint8_t {
    STREAM_HELLO = 0x02,
    STREAM_READ_DATA = 0x04,
    STREAM_WROTE = 0x06,
    STREAM_BLOCK_WRITTEN = 0x08,
    STREAM_NO_OPERATION = 0x0A,
    STREAM_RESET = 0x0C,
    STREAM_ERROR = 0x0D,
    STREAM_LOG = 0x0E,
    STREAM_UNLOCKED = 0x10,
    STREAM_POWERING_DOWN = 0x12,
    STREAM_OPENED = 0x14,
    STREAM_CLOSED = 0x16,
    STREAM_SECURITY_MODE = 0x18,
    STREAM_PARTITION_TABLE = 0x1A,
    STREAM_OPENED_IMAGE = 0x1C,
    STREAM_ERASED = 0x1E,
    STREAM_X29 = 0x29,
    STREAM_X2B = 0x2B,
};

// Reply bytes: the hello's text length and text, the partition table's status.
constexpr size_t kHelloTextLength = 43;
constexpr size_t kHelloText = 44;
constexpr size_t kPartitionStatus = 2;

// Only the received part of the text is kept.
bool ParseStreamingHello(ReplyParser& p, DiagTransferState& t)
{
    uint8_t length = 0;
    if (p.Peek8(kHelloTextLength, &length)) {
        size_t avail = 0;
        uint8_t b;
        while (avail < length && avail < DIAG_HELLO_TEXT_SIZE - 1 && p.Peek8(kHelloText + avail, &b)) {
            t.helloText[avail] = static_cast<char>(b);
            ++avail;
        }
        t.helloText[avail] = '\0';
        t.helloLength = static_cast<uint32_t>(avail);
        p.Seek(kHelloText + avail);
        p.Touch();
    }
    return true;
}

bool ParsePartitionTable(ReplyParser& p, DiagTransferState&)
{
    uint8_t status = 1;
    p.Peek8(kPartitionStatus, &status);
    return status == 0;
}

constexpr Layout kStreamingReplies[] = {
    {STREAM_HELLO, {}, {}, nullptr, ParseStreamingHello},
    {STREAM_READ_DATA, {}, {}},
    {STREAM_WROTE, {}, {}},
    {STREAM_BLOCK_WRITTEN, {}, {}},
    {STREAM_NO_OPERATION, {}, {}},
    {STREAM_RESET, {}, {}},
    {STREAM_LOG, {}, {}},
    {STREAM_UNLOCKED, {}, {}},
    {STREAM_POWERING_DOWN, {}, {}},
    {STREAM_OPENED, {}, {}},
    {STREAM_CLOSED, {}, {}},
    {STREAM_SECURITY_MODE, {}, {}},
    {STREAM_OPENED_IMAGE, {}, {}},
    {STREAM_ERASED, {}, {}},
    {STREAM_X29, {}, {}},
    {STREAM_X2B, {}, {}},
    {STREAM_PARTITION_TABLE, {}, {}, nullptr, ParsePartitionTable},
    {STREAM_ERROR, {}, {{{Rep::Field, 4}}}, nullptr, nullptr, Verdict::Rejected}, // the 32-bit error code
};

void BuildTyped(PacketWriter& w, size_t typedLength)
{
    BuildRow(w, FindLayout(kTyped, w.At(kReqCode)), typedLength);
}
void BuildBoot(PacketWriter& w) { BuildRow(w, FindLayout(kBootRequests, w.At(kReqCode)), 0); }

// The code in reply byte 0 picks the layout; fields are read from byte 1 on.
template <size_t N>
bool ParseByCode(ReplyParser& p, const Layout (&table)[N], DiagTransferState& t, Verdict unlisted)
{
    uint8_t code = 0;
    p.Peek8(kReplyCode, &code);
    p.Seek(DIAG_REPLY_FIRST_FIELD);
    p.WriteAt(DIAG_REPLY_FIRST_FIELD);
    return ParseRow(p, FindLayout(table, code), t, unlisted);
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
        good = ParseByCode(p, kTyped, t, Verdict::Good);
    else if (t.protocol == DIAG_PROTOCOL_BOOT)
        good = ParseByCode(p, kBootReplies, t, Verdict::Good);
    else
        good = ParseByCode(p, kStreamingReplies, t, Verdict::Rejected);
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
