#pragma once

#include "sessions/Files.h"

#include <QString>

#include <cstddef>
#include <istream>
#include <ostream>

namespace sm {

// Writes and flushes. 0 when the stream took it all, otherwise the errno of the failed write
// (or EIO where the system gave none); a stream that failed once takes nothing more.
int WriteBytes(std::ostream& Stream, const char* Data, size_t Size);

// Reads up to Size bytes into Data; the count read, 0 at the end. -1 when reading failed, with
// the errno of the failed read in Error.
std::streamsize ReadBytes(std::istream& Stream, char* Data, std::streamsize Size, int& Error);

} // namespace sm
