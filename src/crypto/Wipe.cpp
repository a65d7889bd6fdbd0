#include "crypto/Wipe.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <random>

void OverwriteWithByte(TFlushedFileStream& Stream, uint8_t Value)
{
    try {
        Stream.Seek(0);
        const int64_t size = Stream.Size();
        // One byte per write: key files are a few hundred bytes and the
        // overwrite needs no buffer of its own.
        while (Stream.Position() < size)
            Stream.Write(&Value, 1);
    } catch (const std::exception& e) {
        throw EWipeError(ClassAndMessage(e, ": "));
    }
}

void WipeFile(const std::string& FileName)
{
    TFlushedFileStream stream(FileName);
    std::exception_ptr failure;
    try {
        std::random_device device;
        const auto clock = static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
        std::seed_seq seed{static_cast<uint32_t>(clock), static_cast<uint32_t>(clock >> 32), device()};
        std::mt19937 generator(seed);
        // 255 values: 0 to 254.
        std::uniform_int_distribution<int> distribution(0, 254);
        OverwriteWithByte(stream, static_cast<uint8_t>(distribution(generator)));
        stream.Flush();
    } catch (...) {
        failure = std::current_exception();
    }
    stream.Close();
    std::remove(FileName.c_str());
    if (failure)
        std::rethrow_exception(failure);
}

void ZeroBuffer(void* Buffer, int Count)
{
    if (Buffer && Count > 0)
        explicit_bzero(Buffer, static_cast<size_t>(Count));
}

// 64 KiB: far deeper than the conversions and the binding of a function go,
// far less than a thread's stack.
__attribute__((noinline)) void ScrubStack()
{
    unsigned char area[64 * 1024];
    explicit_bzero(area, sizeof area);
    asm volatile("" : : "r"(area) : "memory");
}
