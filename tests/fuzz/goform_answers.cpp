// Replies of any shape through the goform answer handling: the result tests
// and the copy into the caller's room. The first byte picks the kind, the
// room and whether the exchange worked; the rest is what the server sent,
// not terminated when it fills the room.
#include "device/goform.h"
#include "device/goform_reply.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

const GoformReplyKind kKinds[] = {GoformReplyKind::Exchange, GoformReplyKind::Success, GoformReplyKind::OnOff,
                                  GoformReplyKind::Version};
const int kRooms[] = {GOFORM_REPLY_ROOM, GOFORM_VERSION_REPLY_ROOM, 1, 2, 3, 8, 16, 64};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const GoformReplyKind kind = kKinds[data[0] % 4];
    const int room = kRooms[(data[0] / 4) % 8];
    const int exchange = data[0] & 0x80 ? 1 : 0;

    // Exact-size buffers, so that any access past a room is reported.
    std::vector<char> reply(static_cast<size_t>(room), '\0');
    std::memcpy(reply.data(), data + 1, std::min(size - 1, reply.size()));
    std::vector<char> out(static_cast<size_t>(room), '\x55');
    int flag = 7;

    const int rc = EvaluateGoformReply(kind, exchange, reply.data(), room, out.data(), &flag);

    if (rc != 0 && rc != 1)
        __builtin_trap();
    if (exchange != 0) {
        // a failed exchange gives nothing back
        if (rc != 1 || flag != 7 || out[0] != '\x55')
            __builtin_trap();
        return 0;
    }
    // The copy is a terminated prefix of the reply within the room.
    const size_t n = strnlen(out.data(), out.size());
    if (n >= out.size() || std::memcmp(out.data(), reply.data(), n) != 0)
        __builtin_trap();
    if (flag != 7 && (kind != GoformReplyKind::OnOff || rc != 0 || (flag != 0 && flag != 1)))
        __builtin_trap();
    if (kind == GoformReplyKind::Version && (rc == 0) != (n > 0))
        __builtin_trap();

    EvaluateGoformReply(kind, exchange, reply.data(), room, nullptr, nullptr);
    return 0;
}
