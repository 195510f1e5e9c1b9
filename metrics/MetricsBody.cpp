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
    std::string out(deflateBound(&stream, static_cast<uLong>(text.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    // The bound holds the whole stream: one call finishes it.
    const bool done = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    out.resize(done ? static_cast<std::size_t>(stream.total_out) : 0);
    deflateEnd(&stream);
    return out;
}

} // namespace vigilon::metrics
