#include "base/PieceBuffer.h"

#include <cerrno>

PieceBuffer::PieceBuffer(std::size_t Capacity, Sink To) : bytes_(Capacity)
{
    Reset(std::move(To));
}

void PieceBuffer::Reset(Sink To)
{
    sink_ = std::move(To);
    error_ = 0;
    setp(bytes_.data(), bytes_.data() + bytes_.size());
}

PieceBuffer::int_type PieceBuffer::overflow(int_type Ch)
{
    if (Drain() != 0)
        return traits_type::eof();
    if (!traits_type::eq_int_type(Ch, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(Ch);
        pbump(1);
    }
    return traits_type::not_eof(Ch);
}

int PieceBuffer::sync()
{
    return Drain() == 0 ? 0 : -1;
}

int PieceBuffer::Drain()
{
    if (error_ == 0 && pptr() > pbase())
        error_ = sink_ ? sink_(pbase(), static_cast<std::size_t>(pptr() - pbase())) : EBADF;
    setp(bytes_.data(), bytes_.data() + bytes_.size());
    return error_;
}
