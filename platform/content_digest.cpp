#include "content_digest.h"

#include <xxhash.h>

ContentDigest DigestOf(QByteArrayView bytes)
{
    const XXH128_hash_t hash = XXH3_128bits(bytes.data(), size_t(bytes.size()));
    return {hash.low64, hash.high64};
}
