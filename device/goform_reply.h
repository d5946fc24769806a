#pragma once
// Internal to the goform requests: what a finished exchange gives the caller.
// Kept apart from the port library so that the reply handling can be driven
// without a web server.

// How a request's result is decided once the exchange is over.
enum class GoformReplyKind {
    Exchange, // the exchange alone
    Success,  // the reply contains "success"
    OnOff,    // "on" (tested first) sets *flag = 1, "off" sets it to 0
    Version,  // a non-empty reply
    NotFailure, // any answer that does not say "failure"
};

// The reply is the text of the first room - 1 bytes of reply (it need not be
// terminated within them). When the exchange worked (exchange == 0), copies
// it, cut and terminated, into replyOut (room bytes; null skips the copy).
// Returns 0 for success, 1 for failure; a failed exchange is a failure.
int EvaluateGoformReply(GoformReplyKind kind, int exchange, const char* reply, int room, char* replyOut,
                        int* flag);
