#pragma once

#include <QByteArrayView>

#include <cstdint>

// A 128-bit digest of some bytes (XXH3-128): two different files get the
// same digest with a chance of about 2^-128, so equal digests stand for
// equal bytes.
struct ContentDigest {
    std::uint64_t low = 0;
    std::uint64_t high = 0;

    friend bool operator==(const ContentDigest &, const ContentDigest &) = default;
};

ContentDigest DigestOf(QByteArrayView bytes);
