// The random numbers behind Rnd in both programs.
#pragma once

#include <cstdint>
#include <random>

namespace velmora {

class UnitRandom {
public:
    explicit UnitRandom(std::uint32_t seed) : engine_(seed) {}
    void Seed(std::uint32_t seed) { engine_.seed(seed); }
    // [0, 1): 24 random bits are exactly representable, so never round up to 1.
    float Next() { return static_cast<float>(engine_() >> 8) / 16777216.0f; }

private:
    std::mt19937 engine_;
};

}  // namespace velmora
