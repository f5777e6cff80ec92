// SHA-256 of files and byte strings, for the backup's manifest.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace tarmix {

class Sha256 {
  public:
    Sha256();
    void Update(std::span<const uint8_t> bytes);
    // The digest as 64 lower-case hexadecimal digits. The object is spent afterwards.
    std::string HexDigest();

  private:
    void Compress(const uint8_t* block);

    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> buffer_{};
    size_t buffered_ = 0;
    uint64_t length_ = 0;
};

std::string Sha256Hex(std::span<const uint8_t> bytes);
// nullopt when the file cannot be read.
std::optional<std::string> Sha256OfFile(const std::filesystem::path& path);

}  // namespace tarmix
