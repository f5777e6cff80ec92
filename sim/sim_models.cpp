#include "sim/sim_models.h"

namespace tarmix::sim {

namespace {

constexpr uint32_t k1M = 0x100000;
const std::array<int, 3> kDrives{1024, 64, 256};

std::vector<ModelSpec> makeModels() {
    std::vector<ModelSpec> m;
    auto add = [&](std::string keyword, int code, std::string text, size_t sizeAt, std::string size,
                   std::vector<MemoryArea> flash, MemoryArea ram, bool parallel) {
        ModelSpec spec;
        spec.keyword = std::move(keyword);
        spec.code = code;
        spec.modelText = std::move(text);
        spec.sizePosition = sizeAt;
        spec.sizeField = std::move(size);
        spec.flashBanks = std::move(flash);
        spec.ram = ram;
        spec.parallelPort = parallel;
        spec.driveSizesKb = kDrives;
        m.push_back(std::move(spec));
    };
    const MemoryArea highFlash{0x100000, 2 * k1M};  // boot sectors, then the application
    const MemoryArea lowFlash{0, 2 * k1M};
    add("alder", 1, "ALDER   ", 39, "200000", {highFlash}, {0x800000, k1M}, true);
    add("alder ext", 12, "ALDER EXT", 40, "200000", {highFlash}, {0x800000, k1M}, true);
    add("birch", 2, "BIRCH", 39, "200000 100000 7372800",
        {{0x14000000, 2 * k1M}, {0x18000000, k1M}}, {0x0C000000, 8 * k1M}, false);
    add("alder177 ext", 14, "ALDER177 EXT", 43, "200000", {lowFlash}, {0x0C000000, k1M}, false);
    add("alder177", 3, "ALDER177", 39, "200000", {lowFlash}, {0x0C000000, k1M}, false);
    add("kestrel", 4, "KSB     ", 39, "200000", {highFlash}, {0x800000, k1M}, true);
    add("core510", 5, "CORE510 ", 39, "200000", {lowFlash}, {0x800000, 4 * k1M}, false);
    add("heron", 6, "HERON   ", 39, "200000", {highFlash}, {0x800000, k1M}, true);
    add("qrt", 7, "QRT     ", 39, "200000", {lowFlash}, {0x800000, k1M}, false);
    add("small-alder ext", 13, "SMALL-ALDER EXT", 46, "200000", {lowFlash}, {0x800000, k1M}, false);
    add("small-alder", 9, "SMALL-ALDER", 42, "200000", {lowFlash}, {0x800000, k1M}, false);
    add("core540", 8, "CORE540 ", 39, "200000", {lowFlash}, {0x800000, 0x40000}, false);
    add("dispenser", 10, "DISPENSER", 48, "200000", {lowFlash}, {0x800000, k1M}, false);
    add("dmx610", 11, "DMX610   ", 39, "200000", {lowFlash}, {0x0C100000, 0x700001}, false);
    add("vantix", 17, "VANTIX   ", 39, "2000000", {{0x00000000, 32 * k1M}},
        {0x80000000, 32 * k1M + 1}, false);
    add("vantix+", 18, "VANTIX+  ", 39, "2000000", {{0x00000000, 32 * k1M}},
        {0x80000000, 32 * k1M + 1}, false);
    add("fgh720", 15, "FGH720  ", 39, "200000", {lowFlash}, {0x800000, 0x40000}, false);
    add("t_pq7xx", 16, "T-PQ7", 38, "e000", {{0, 0xE000}}, {0, 0x1001}, false);
    m.back().sectorSize = 0x1000;
    m.back().firmware = 20;
    m.back().driveSizesKb = {0, 0, 0};
    return m;
}

}  // namespace

const std::vector<ModelSpec>& allModels() {
    static const std::vector<ModelSpec> models = makeModels();
    return models;
}

const ModelSpec* findModel(const std::string& keyword) {
    for (const ModelSpec& model : allModels())
        if (model.keyword == keyword) return &model;
    return nullptr;
}

}  // namespace tarmix::sim
