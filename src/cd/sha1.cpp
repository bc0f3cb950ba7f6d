#include "cd/sha1.h"

#include <vector>

namespace tarvok {

namespace {

uint32_t RotateLeft(uint32_t pValue, int pBits)
{
    return (pValue << pBits) | (pValue >> (32 - pBits));
}

} // namespace

std::array<uint8_t, 20> Sha1(std::string_view pData)
{
    uint32_t h[5] = { 0x67452301U, 0xEFCDAB89U, 0x98BADCFEU, 0x10325476U, 0xC3D2E1F0U };
    // The message, a 1 bit, zeros up to 56 bytes mod 64, then the length in bits (big-endian).
    std::vector<uint8_t> message(pData.begin(), pData.end());
    const uint64_t bits = static_cast<uint64_t>(pData.size()) * 8;
    message.push_back(0x80);
    while (message.size() % 64 != 56)
        message.push_back(0);
    for (int i = 7; i >= 0; --i)
        message.push_back(static_cast<uint8_t>(bits >> (i * 8)));

    for (size_t block = 0; block < message.size(); block += 64) {
        uint32_t w[80];
        for (size_t i = 0; i < 16; ++i) {
            const uint8_t* p = &message[block + i * 4];
            w[i] = (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16)
                | (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
        }
        for (size_t i = 16; i < 80; ++i)
            w[i] = RotateLeft(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        uint32_t a = h[0];
        uint32_t b = h[1];
        uint32_t c = h[2];
        uint32_t d = h[3];
        uint32_t e = h[4];
        for (size_t i = 0; i < 80; ++i) {
            uint32_t f = 0;
            uint32_t k = 0;
            if (i < 20) {
                f = (b & c) | (~b & d);
                k = 0x5A827999U;
            } else if (i < 40) {
                f = b ^ c ^ d;
                k = 0x6ED9EBA1U;
            } else if (i < 60) {
                f = (b & c) | (b & d) | (c & d);
                k = 0x8F1BBCDCU;
            } else {
                f = b ^ c ^ d;
                k = 0xCA62C1D6U;
            }
            const uint32_t t = RotateLeft(a, 5) + f + e + k + w[i];
            e = d;
            d = c;
            c = RotateLeft(b, 30);
            b = a;
            a = t;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
    }
    std::array<uint8_t, 20> digest {};
    for (size_t i = 0; i < 5; ++i)
        for (size_t j = 0; j < 4; ++j)
            digest[i * 4 + j] = static_cast<uint8_t>(h[i] >> (24 - j * 8));
    return digest;
}

} // namespace tarvok
