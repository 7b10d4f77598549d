#pragma once

#include "work_look.h"

#include <QByteArrayView>

#include <cstdint>
#include <memory>
#include <optional>

// A 128-bit digest of some bytes (XXH3-128): two different files get the
// same digest with a chance of about 2^-128, so equal digests stand for
// equal bytes.
struct ContentDigest {
    std::uint64_t low = 0;
    std::uint64_t high = 0;

    friend bool operator==(const ContentDigest &, const ContentDigest &) = default;
};

// The digest of `bytes`, taken a few megabytes at a time, telling `look` of
// each block as it begins: nothing once it answers true.
std::optional<ContentDigest> DigestOf(QByteArrayView bytes, const WorkLook &look);

// The digest of bytes that come in blocks, as if they came joined.
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
