// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>

// The parts of the sample file that differ by system, in posix/SampleFile.cpp
// and windows/SampleFile.cpp; localeCharacterSet() of SampleRecorder.h is there
// too.
namespace vigilon::samplefile {

// Converts UTF-8 text to a character set that is neither ASCII nor UTF-8;
// the text as it is when that cannot be done.
std::string convert(const std::string &utf8, const std::string &charset);

// Opens path for writing, creating it if need be (0644 on POSIX) but not
// truncating it, takes it for this program alone (others may read it, not
// write it) and empties it. Only a regular file is taken: a symbolic link,
// FIFO, device or directory is refused without waiting and without
// following the link. -1 when any of that fails, with the system's reason
// in error; nothing stays open then.
int openFile(const std::string &path, std::string &error);

// Writes at most size bytes as write() does: the count written, or -1 with
// errno set.
long long writeFile(int fd, const char *data, std::size_t size);

// Cuts the file back to size bytes; false when that fails.
bool truncateFile(int fd, long long size);

void closeFile(int fd);

} // namespace vigilon::samplefile
