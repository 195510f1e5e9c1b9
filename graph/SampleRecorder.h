// SPDX-License-Identifier: MIT
#pragma once

#include "graph/ResponseGraphModel.h"

#include <string>
#include <vector>

namespace vigilon {

// The file in which a graph window records its samples: a header of three
// lines, then one line per sample, each ended by CR LF and handed to the
// system as soon as it is made, so that a crash loses at most the line
// being written. Text goes out in the locale's character set.
class SampleRecorder {
public:
    SampleRecorder() = default;
    ~SampleRecorder();
    SampleRecorder(const SampleRecorder &) = delete;
    SampleRecorder &operator=(const SampleRecorder &) = delete;

    // Creates the file or empties an existing regular one (never through a
    // symbolic link), takes it for this program alone and writes the header.
    // False when it cannot be opened (nothing stays open then);
    // openError() says why.
    bool open(const std::string &path, const std::string &targetHost, const std::string &sourceHost,
              const std::vector<std::string> &seriesNames);
    // The system's reason why the last open() failed.
    const std::string &openError() const { return openError_; }
    // Writes the record line of a sample. A failed write closes the file and
    // says so once on standard error; the caller's recording simply ends.
    void record(const ResponseSample &sample);
    void close();
    bool isOpen() const { return fd_ >= 0; }

    // The record line of a sample, without its line end, in UTF-8. The time
    // is local, as "2007-03-14 09:05:07" (ISO 8601 with a space for the T,
    // which spreadsheets read as a date and time).
    static std::string recordLine(const ResponseSample &sample);

private:
    bool writeLine(const std::string &utf8);

    int fd_ = -1;
    // Bytes of the lines written whole; a line cut short by a write error
    // is taken back to here.
    long long complete_ = 0;
    std::string path_;
    std::string openError_;
};

// Converts UTF-8 program text to the given character set; text that cannot
// be converted, and an ASCII or UTF-8 set, leave it as it is.
std::string toCharacterSet(const std::string &utf8, const std::string &charset);
// The locale's character set as the C library names it.
std::string localeCharacterSet();

} // namespace vigilon
