#pragma once

#include <QByteArrayView>

#include <cstdint>
#include <memory>

// A 128-bit digest of some bytes (XXH3-128): two different files get the
// same digest with a chance of about 2^-128, so equal digests stand for
// equal bytes.
struct ContentDigest {
    std::uint64_t low = 0;
    std::uint64_t high = 0;

    friend bool operator==(const ContentDigest &, const ContentDigest &) = default;
};

ContentDigest DigestOf(QByteArrayView bytes);

// DigestOf for bytes that come in blocks: the same digest as DigestOf of the
// blocks joined.
class ContentDigestBuilder {
public:
    ContentDigestBuilder();
    ~ContentDigestBuilder();
    ContentDigestBuilder(const ContentDigestBuilder &) = delete;
    ContentDigestBuilder &operator=(const ContentDigestBuilder &) = delete;

    void add(QByteArrayView bytes);
    ContentDigest result() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};
