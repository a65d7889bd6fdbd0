#pragma once
// An output buffer that hands its bytes on in large pieces, to whatever
// takes them (a file being restored, an archive volume): a standard file
// buffer passes every write above a kilobyte straight through, one system
// call each. The first failure sticks: later bytes are dropped and the
// stream that writes through the buffer fails.
#include <cstddef>
#include <functional>
#include <streambuf>
#include <vector>

class PieceBuffer : public std::streambuf {
public:
    // Takes one piece; returns 0 or an errno value.
    using Sink = std::function<int(const char* Data, std::size_t Size)>;

    explicit PieceBuffer(std::size_t Capacity, Sink To = {});
    // Starts over with another sink (none: every piece fails), forgetting a
    // failure and any bytes not yet handed on.
    void Reset(Sink To);
    // The sink's first failure, or 0.
    int Error() const { return error_; }

protected:
    int_type overflow(int_type Ch) override;
    int sync() override;

private:
    int Drain();

    Sink sink_;
    std::vector<char> bytes_;
    int error_ = 0;
};
