#include "batch/sha256.h"

#include <cstdio>
#include <fstream>

namespace tarmix {

namespace {

constexpr std::array<uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

uint32_t Rotate(uint32_t x, int n) { return x >> n | x << (32 - n); }

}  // namespace

Sha256::Sha256()
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
             0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {}

void Sha256::Compress(const uint8_t* block) {
    std::array<uint32_t, 64> w;
    for (int i = 0; i < 16; ++i)
        w[i] = uint32_t(block[4 * i]) << 24 | uint32_t(block[4 * i + 1]) << 16 |
               uint32_t(block[4 * i + 2]) << 8 | block[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
        const uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    auto [a, b, c, d, e, f, g, h] = state_;
    for (int i = 0; i < 64; ++i) {
        const uint32_t t1 = h + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) +
                            ((e & f) ^ (~e & g)) + kRound[i] + w[i];
        const uint32_t t2 =
            (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    const std::array<uint32_t, 8> add{a, b, c, d, e, f, g, h};
    for (int i = 0; i < 8; ++i) state_[i] += add[i];
}

void Sha256::Update(std::span<const uint8_t> bytes) {
    length_ += bytes.size();
    for (uint8_t byte : bytes) {
        buffer_[buffered_++] = byte;
        if (buffered_ == buffer_.size()) {
            Compress(buffer_.data());
            buffered_ = 0;
        }
    }
}

std::string Sha256::HexDigest() {
    const uint64_t bits = length_ * 8;
    const uint8_t one = 0x80, zero = 0;
    Update({&one, 1});
    while (buffered_ != 56) Update({&zero, 1});
    for (int i = 7; i >= 0; --i) {
        const uint8_t byte = uint8_t(bits >> (8 * i));
        Update({&byte, 1});
    }
    std::string hex;
    char digits[12];
    for (uint32_t word : state_) {
        std::snprintf(digits, sizeof digits, "%08x", word);
        hex += digits;
    }
    return hex;
}

std::string Sha256Hex(std::span<const uint8_t> bytes) {
    Sha256 hash;
    hash.Update(bytes);
    return hash.HexDigest();
}

std::optional<std::string> Sha256OfFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    Sha256 hash;
    std::array<char, 65536> chunk;
    while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
        hash.Update({reinterpret_cast<const uint8_t*>(chunk.data()), size_t(in.gcount())});
        if (!in) break;
    }
    if (in.bad()) return std::nullopt;
    return hash.HexDigest();
}

}  // namespace tarmix
