// SPDX-License-Identifier: MIT
#include "metrics/MetricsBody.h"

#include <zlib.h>

#include <limits>

namespace vigilon::metrics {

std::string gzipCompress(std::string_view text)
{
    // Far beyond any page of metrics; such a text goes out as it is.
    if (text.size() > std::numeric_limits<uInt>::max() / 2)
        return {};
    z_stream stream{};
    // 15 bits of window, and 16 more for the gzip wrapper instead of zlib's.
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    // The output grows as it comes, from a sixteenth of the text (what the
    // metrics usually take): no room is cleared or kept beyond it.
    std::string out;
    std::size_t used = 0;
    int result = Z_OK;
    while (result == Z_OK) {
        if (used == out.size())
            out.resize(used == 0 ? text.size() / 16 + 64 : used * 2);
        stream.next_out = reinterpret_cast<Bytef *>(out.data() + used);
        stream.avail_out = static_cast<uInt>(out.size() - used);
        result = deflate(&stream, Z_FINISH);
        used = out.size() - stream.avail_out;
    }
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        return {};
    out.resize(used);
    out.shrink_to_fit();
    return out;
}

} // namespace vigilon::metrics
