// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace vigilon::metrics {

// Hands a text to its sink piece by piece, in order: the pieces together are
// the whole text. It may be called again, and gives the same text each time.
using PieceSink = std::function<void(std::string_view)>;
using PieceWriter = std::function<void(const PieceSink &)>;

// The text as one gzip stream (RFC 1952), compressed for speed: the
// metrics' lines repeat their labels, which even the fastest level takes
// to about a twentieth. Empty when this build has no compression or it
// failed.
std::string gzipCompress(std::string_view text);
// The same of a text written in pieces, which is compressed as it comes and
// never held whole. sizeHint: about what the result takes, to start with.
std::string gzipCompress(const PieceWriter &writer, std::size_t sizeHint = 0);

// One rendering of the metrics, kept while scrapes send it: the text and
// the same gzip-compressed, each made on the first scrape that asks for it
// and kept. Made from a writer, the compressed form comes straight from its
// pieces: a scraper that asks for gzip, as Prometheus does, never has the
// whole text made.
class MetricsBody {
public:
    explicit MetricsBody(std::string text)
        : text_(std::move(text))
        , textMade_(true)
    {
    }
    // The hints: about what the text and its compressed form take, so that
    // room for them is made once.
    explicit MetricsBody(PieceWriter writer, std::size_t textSizeHint = 0, std::size_t gzipSizeHint = 0)
        : writer_(std::move(writer))
        , textSizeHint_(textSizeHint)
        , gzipSizeHint_(gzipSizeHint)
    {
    }
    MetricsBody(const MetricsBody &) = delete;
    MetricsBody &operator=(const MetricsBody &) = delete;

    // Any thread; the first call makes it, the others wait for it and share
    // it. gzip() is empty when it cannot be had: then the text is sent as it
    // is.
    const std::string &text() const;
    const std::string &gzip() const;

private:
    const PieceWriter writer_;
    const std::size_t textSizeHint_ = 0;
    const std::size_t gzipSizeHint_ = 0;
    mutable std::mutex mutex_;
    mutable std::string text_;
    mutable std::string gzip_;
    mutable bool textMade_ = false;
    mutable bool gzipMade_ = false;
};

} // namespace vigilon::metrics
