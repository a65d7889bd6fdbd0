#include "kit/KeyFile.h"

#include "kit/KitError.h"

#include <algorithm>
#include <cstring>

namespace kit {

namespace {

class Writer {
public:
    void Put(const void* data, std::size_t size)
    {
        const auto* p = static_cast<const std::uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + size);
    }
    template <std::size_t N>
    void Put(const std::array<std::uint8_t, N>& a)
    {
        Put(a.data(), a.size());
    }
    void U8(std::uint8_t v) { bytes_.push_back(v); }
    void U16(std::uint16_t v)
    {
        U8(static_cast<std::uint8_t>(v));
        U8(static_cast<std::uint8_t>(v >> 8));
    }
    void U32(std::uint32_t v)
    {
        U16(static_cast<std::uint16_t>(v));
        U16(static_cast<std::uint16_t>(v >> 16));
    }
    Bytes& bytes() { return bytes_; }

private:
    Bytes bytes_;
};

// Bounds-checked reading: every getter reports false instead of running past
// the end, so a truncated file can never be read beyond its bytes.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Take(void* out, std::size_t n)
    {
        if (n > size_ - pos_)
            return false;
        if (n > 0)
            std::memcpy(out, data_ + pos_, n);
        pos_ += n;
        return true;
    }
    template <std::size_t N>
    bool Take(std::array<std::uint8_t, N>& a)
    {
        return Take(a.data(), a.size());
    }
    bool U8(std::uint8_t& v) { return Take(&v, 1); }
    bool U16(std::uint16_t& v)
    {
        std::uint8_t b[2];
        if (!Take(b, 2))
            return false;
        v = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
        return true;
    }
    bool U32(std::uint32_t& v)
    {
        std::uint8_t b[4];
        if (!Take(b, 4))
            return false;
        v = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8)
            | (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
        return true;
    }
    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return size_ - pos_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

void PutKdf(Writer& w, const KeyFile& f)
{
    w.U8(kKdfScrypt);
    w.U8(f.Kdf.Log2N);
    w.U32(f.Kdf.R);
    w.U32(f.Kdf.P);
    w.Put(f.Salt);
    w.Put(f.Nonce);
    w.U16(static_cast<std::uint16_t>(f.PrivateKeyCipher.size()));
}

bool IsAllZero(const std::uint8_t* p, std::size_t n)
{
    return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; });
}

} // namespace

Bytes SerializeKeyFile(const KeyFile& f)
{
    if (f.Notice.size() > HL_MAX_NOTICE_LENGTH || f.PrivateKeyCipher.empty()
        || f.PrivateKeyCipher.size() > kMaxPrivateKeyCipherSize)
        Fail(HL_E_INTERNAL);
    Writer w;
    w.Put(kKeyFileMagic);
    w.U16(kKeyFileVersion);
    w.U16(f.HasCertificate ? kFlagCertificate : 0);
    w.Put(f.Info);
    w.U16(static_cast<std::uint16_t>(f.Notice.size()));
    w.Put(f.Notice.data(), f.Notice.size());
    w.Put(f.PublicKey);
    if (f.HasCertificate) {
        w.Put(f.Certificate);
    } else {
        const std::array<std::uint8_t, HL_CERTIFICATE_SIZE> zeros{};
        w.Put(zeros);
    }
    PutKdf(w, f);
    w.Put(f.PrivateKeyCipher.data(), f.PrivateKeyCipher.size());
    w.Put(f.Tag);
    const Sha256Digest sum = Sha256(w.bytes().data(), w.bytes().size());
    w.Put(sum);
    return std::move(w.bytes());
}

Bytes AuthenticatedData(const KeyFile& f)
{
    Writer w;
    w.Put(kKeyFileMagic);
    w.U16(kKeyFileVersion);
    w.Put(f.Info);
    w.U16(static_cast<std::uint16_t>(f.Notice.size()));
    w.Put(f.Notice.data(), f.Notice.size());
    w.Put(f.PublicKey);
    PutKdf(w, f);
    return std::move(w.bytes());
}

std::int32_t ParseKeyFile(const std::uint8_t* data, std::size_t size, KeyFile& out)
{
    if (data == nullptr || size > kMaxKeyFileSize)
        return HL_E_FILE_FORMAT;
    Reader r(data, size);
    std::array<std::uint8_t, kKeyFileMagic.size()> magic{};
    if (!r.Take(magic) || magic != kKeyFileMagic)
        return HL_E_FILE_FORMAT;
    std::uint16_t version = 0;
    if (!r.U16(version))
        return HL_E_FILE_FORMAT;
    if (version != kKeyFileVersion)
        return HL_E_FILE_VERSION;

    KeyFile f;
    std::uint16_t flags = 0;
    if (!r.U16(flags) || (flags & ~kFlagCertificate) != 0)
        return HL_E_FILE_FORMAT;
    f.HasCertificate = (flags & kFlagCertificate) != 0;
    if (!r.Take(f.Info))
        return HL_E_FILE_FORMAT;
    std::uint16_t noticeLength = 0;
    if (!r.U16(noticeLength) || noticeLength > HL_MAX_NOTICE_LENGTH || noticeLength > r.remaining())
        return HL_E_FILE_FORMAT;
    f.Notice.resize(noticeLength);
    if (!r.Take(f.Notice.data(), noticeLength))
        return HL_E_FILE_FORMAT;
    if (!r.Take(f.PublicKey) || !r.Take(f.Certificate))
        return HL_E_FILE_FORMAT;
    // An empty slot is written as zeros; anything else there is damage.
    if (!f.HasCertificate && !IsAllZero(f.Certificate.data(), f.Certificate.size()))
        return HL_E_FILE_FORMAT;

    std::uint8_t kdfId = 0;
    std::uint16_t cipherLength = 0;
    if (!r.U8(kdfId) || kdfId != kKdfScrypt || !r.U8(f.Kdf.Log2N) || !r.U32(f.Kdf.R) || !r.U32(f.Kdf.P)
        || !r.Take(f.Salt) || !r.Take(f.Nonce) || !r.U16(cipherLength))
        return HL_E_FILE_FORMAT;
    if (!ScryptParamsAcceptable(f.Kdf) || cipherLength == 0 || cipherLength > kMaxPrivateKeyCipherSize
        || cipherLength > r.remaining())
        return HL_E_FILE_FORMAT;
    f.PrivateKeyCipher.resize(cipherLength);
    if (!r.Take(f.PrivateKeyCipher.data(), cipherLength) || !r.Take(f.Tag))
        return HL_E_FILE_FORMAT;

    const std::size_t covered = r.position();
    Sha256Digest stored{};
    if (!r.Take(stored) || r.remaining() != 0)
        return HL_E_FILE_FORMAT;
    try {
        if (Sha256(data, covered) != stored)
            return HL_E_FILE_FORMAT;
        if (!LoadPublicKey(f.PublicKey.data(), f.PublicKey.size()))
            return HL_E_FILE_FORMAT;
    } catch (const KitError& e) {
        return e.Code;
    }
    out = std::move(f);
    return HL_OK;
}

} // namespace kit
