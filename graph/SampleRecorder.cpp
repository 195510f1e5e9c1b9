// SPDX-License-Identifier: MIT
#include "graph/SampleRecorder.h"

#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "graph/SampleFile.h"
#include "graph/TimeFormat.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vigilon {

namespace {

std::string upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

bool keepsUtf8(const std::string &charset)
{
    const std::string cs = upper(charset);
    // The C locale's ASCII cannot hold the program's texts; UTF-8 is the
    // sensible reading of it.
    return cs.empty() || cs == "UTF-8" || cs == "UTF8" || cs == "ANSI_X3.4-1968" || cs == "ASCII" ||
           cs == "US-ASCII";
}

} // namespace

std::string toCharacterSet(const std::string &utf8, const std::string &charset)
{
    if (keepsUtf8(charset) || utf8.empty())
        return utf8;
    return samplefile::convert(utf8, charset);
}

SampleRecorder::~SampleRecorder()
{
    close();
}

bool SampleRecorder::open(const std::string &path, const std::string &targetHost, const std::string &sourceHost,
                          const std::vector<std::string> &seriesNames)
{
    close();
    // Opened without truncation first: a file another program holds must
    // not lose its content to a refused open.
    openError_.clear();
    const int fd = samplefile::openFile(path, openError_);
    if (fd < 0)
        return false;
    fd_ = fd;
    path_ = path;
    complete_ = 0;

    // The header is part of the file's format, the same in every language.
    constexpr Language fileLanguage = Language::Japanese;
    std::string sampling = loadString(sid::RecordHeaderSampling, fileLanguage);
    for (const std::string &name : seriesNames)
        sampling += ", " + name;
    if (!writeLine(formatText(loadString(sid::RecordHeaderTarget, fileLanguage), {targetHost})) ||
        !writeLine(formatText(loadString(sid::RecordHeaderSource, fileLanguage), {sourceHost})) || !writeLine(sampling)) {
        // The header did not fit: the file is no use for recording.
        openError_ = "the header could not be written";
        return false;
    }
    return true;
}

std::string SampleRecorder::recordLine(const ResponseSample &sample)
{
    std::string line = formatLocalTime("%Y-%m-%d %H:%M:%S", sample.time);
    for (std::uint32_t value : sample.values) {
        line += ',';
        line += std::to_string(static_cast<std::int32_t>(value));
    }
    return line;
}

void SampleRecorder::record(const ResponseSample &sample)
{
    if (fd_ < 0)
        return;
    writeLine(recordLine(sample));
}

bool SampleRecorder::writeLine(const std::string &utf8)
{
    const std::string bytes = toCharacterSet(utf8, localeCharacterSet()) + "\r\n";
    std::size_t done = 0;
    while (done < bytes.size()) {
        const long long n = samplefile::writeFile(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : ENOSPC;
            std::fprintf(stderr, "vigilon: writing the sample file %s failed (%s); recording stopped\n",
                         path_.c_str(), std::strerror(err));
            // The file ends with the last whole line, not half a record.
            if (done > 0)
                samplefile::truncateFile(fd_, complete_);
            close();
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    complete_ += static_cast<long long>(bytes.size());
    return true;
}

void SampleRecorder::close()
{
    if (fd_ >= 0) {
        samplefile::closeFile(fd_);
        fd_ = -1;
    }
}

} // namespace vigilon
