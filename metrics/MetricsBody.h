// SPDX-License-Identifier: MIT
#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace vigilon::metrics {

// The text as one gzip stream (RFC 1952), compressed for speed: the
// metrics' lines repeat their labels, which even the fastest level takes
// to about a twentieth. Empty when this build has no compression or it
// failed.
std::string gzipCompress(std::string_view text);

// One rendering of the metrics, kept while scrapes send it: the text, and
// the same gzip-compressed, made once on the first scrape that asks for it.
class MetricsBody {
public:
    explicit MetricsBody(std::string text)
        : text_(std::move(text))
    {
    }
    MetricsBody(const MetricsBody &) = delete;
    MetricsBody &operator=(const MetricsBody &) = delete;

    const std::string &text() const { return text_; }
    // Any thread; the first call compresses, the others wait for it. Empty
    // when it cannot be had: then the text is sent as it is.
    const std::string &gzip() const
    {
        std::call_once(compressed_, [this] { gzip_ = gzipCompress(text_); });
        return gzip_;
    }

private:
    std::string text_;
    mutable std::once_flag compressed_;
    mutable std::string gzip_;
};

} // namespace vigilon::metrics
