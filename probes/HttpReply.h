// SPDX-License-Identifier: MIT
#pragma once

#include "base/FailureReason.h"
#include "base/HttpStatusRule.h"

#include <string_view>

namespace vigilon {

// What the first bytes of a reply to the HTTP check say under an entry's
// rule.
struct HttpReplyVerdict {
    enum Outcome {
        Alive,
        Failed,
        // The bytes so far cannot tell yet: read on.
        NeedMore,
    };
    Outcome outcome = NeedMore;
    // Failed: why.
    FailureReason reason;
    // The status the verdict rests on; -1 when none was read.
    int status = -1;
};

// Judges a reply from its first bytes (everything read so far, from the
// first byte on). ended: nothing more will be read, because the server
// closed the connection or the reader has read all it takes.
//
// Under "any" every reply is alive, HTTP or not; no byte at all is
// "closed before a reply". Under any other rule the reply must begin with a
// status line ("HTTP/1.1 503 Service Unavailable"), whose code the rule
// judges; interim replies (1xx but 101) are passed over to the reply after
// them. A reply that is not HTTP fails as "not an HTTP reply": the rule asks
// for a status that such a reply does not have.
HttpReplyVerdict judgeHttpReply(std::string_view bytes, const HttpStatusRule &rule, bool ended);

} // namespace vigilon
