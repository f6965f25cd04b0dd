#pragma once

#include "sessions/Files.h"

#include <QString>

#include <cstddef>
#include <istream>
#include <ostream>
#include <string>

namespace sm {

// Writes and flushes. 0 when the stream took it all, otherwise the errno of the failed write
// (or EIO where the system gave none); a stream that failed once takes nothing more.
int WriteBytes(std::ostream& Stream, const char* Data, size_t Size);

// Reads up to Size bytes into Data; the count read, 0 at the end. -1 when reading failed, with
// the errno of the failed read in Error.
std::streamsize ReadBytes(std::istream& Stream, char* Data, std::streamsize Size, int& Error);

// Bytes for a stream, written in large pieces; nothing more once a write has failed.
class TBufferedOut {
public:
    explicit TBufferedOut(std::ostream& Out) : FOut(Out) {}
    std::string& Buffer() { return FBuffer; }
    void FlushWhenFull() {
        if (FBuffer.size() >= 1 << 20)
            Flush();
    }
    // False once a write has failed.
    bool Flush() {
        if (FWriteError == 0)
            FWriteError = WriteBytes(FOut, FBuffer.data(), FBuffer.size());
        FBuffer.clear();
        return FWriteError == 0;
    }
    int WriteError() const { return FWriteError; }

private:
    std::ostream& FOut;
    int FWriteError = 0;
    std::string FBuffer;
};

} // namespace sm
