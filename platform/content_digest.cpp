#include "content_digest.h"

#include <xxhash.h>

#include <algorithm>
#include <new>

std::optional<ContentDigest> DigestOf(QByteArrayView bytes, const WorkLook &look)
{
    constexpr qsizetype kBlock = qsizetype(1) << 22; // a few milliseconds of hashing
    ContentDigestBuilder digest;
    for (qsizetype at = 0; at < bytes.size(); at += kBlock) {
        const QByteArrayView block = bytes.sliced(at, std::min(kBlock, bytes.size() - at));
        if (look && look(block.size()))
            return std::nullopt;
        digest.add(block);
    }
    return digest.result();
}

struct ContentDigestBuilder::State {
    XXH3_state_t *xxh = XXH3_createState();
    ~State() { XXH3_freeState(xxh); }
};

ContentDigestBuilder::ContentDigestBuilder() : m_state(std::make_unique<State>())
{
    if (!m_state->xxh)
        throw std::bad_alloc();
    XXH3_128bits_reset(m_state->xxh);
}

ContentDigestBuilder::~ContentDigestBuilder() = default;

void ContentDigestBuilder::add(QByteArrayView bytes)
{
    XXH3_128bits_update(m_state->xxh, bytes.data(), size_t(bytes.size()));
}

ContentDigest ContentDigestBuilder::result() const
{
    const XXH128_hash_t hash = XXH3_128bits_digest(m_state->xxh);
    return {hash.low64, hash.high64};
}
