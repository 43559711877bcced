// The flicker state: every array of the state block its own exact-length block,
// coefficients and histories of every kind, the started flag 0 or 1; a signal run
// once in one call and once in blocks of random sizes (0 included), the second
// time in place or not. Stated results: both give the same outputs and the same
// state (NaNs match as NaNs); a count of 0 writes nothing, the flag included;
// coefficients and input are only read.
#include <memory>

#include "fuzz_input.h"
#include "zrcalc.h"

namespace {

constexpr std::size_t kLengths[] = {3, 3, 3, 3, 3, 3, 3, 3, 3, 12, 3, 3, 3, 3, 3, 2, 2, 2, 2};
constexpr std::size_t kArrays = std::size(kLengths);

struct State {
    std::vector<std::unique_ptr<zrfuzz::Array<double>>> arrays;
    PowerFlickerState block{};
    State(const std::vector<std::vector<double>>& values, int32_t started)
    {
        double** field = &block.stageInput;
        for (std::size_t a = 0; a < kArrays; ++a) {
            arrays.push_back(std::make_unique<zrfuzz::Array<double>>(kLengths[a]));
            std::copy(values[a].begin(), values[a].end(), arrays[a]->data());
            field[a] = arrays[a]->data();
        }
        block.started = started;
    }
    std::vector<unsigned char> bytes() const
    {
        std::vector<unsigned char> all;
        for (const auto& a : arrays) {
            const auto b = a->bytes();
            all.insert(all.end(), b.begin(), b.end());
        }
        return all;
    }
};

// Equal bits, or both NaN.
bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::Input in(data, size);
    std::vector<std::vector<double>> values(kArrays);
    for (std::size_t a = 0; a < kArrays; ++a)
        for (std::size_t i = 0; i < kLengths[a]; ++i)
            values[a].push_back(in.ConsumeBool() ? in.ConsumeFloatingPointInRange(-2.0, 2.0) : in.value<double>());
    const int32_t started = in.in(0, 1);
    const uint32_t count = in.in<uint32_t>(0, 400);
    zrfuzz::Array<float> input(in, count), whole(count), split(count);
    const auto inputBefore = input.bytes();

    State one(values, started), blocks(values, started);
    zrcalcPowerFlicker(&one.block, input.data(), whole.data(), count);
    ZRFUZZ_CHECK(input.bytes() == inputBefore);
    const bool inPlace = in.ConsumeBool();
    if (inPlace) std::copy(input.data(), input.data() + count, split.data());
    for (uint32_t done = 0;;) {
        const bool more = in.remaining_bytes() > 0;
        if (done == count && !(more && in.ConsumeBool())) break;
        const uint32_t n = more ? in.in<uint32_t>(0, count - done) : count - done;
        const auto before = blocks.bytes();
        const int32_t flag = blocks.block.started;
        zrcalcPowerFlicker(&blocks.block, (inPlace ? split.data() : input.data()) + done, split.data() + done, n);
        if (n == 0) ZRFUZZ_CHECK(blocks.bytes() == before && blocks.block.started == flag);
        done += n;
    }
    for (uint32_t i = 0; i < count; ++i) ZRFUZZ_CHECK(same(whole[i], split[i]));
    const auto a = one.bytes(), b = blocks.bytes();
    for (std::size_t i = 0; i < a.size(); i += 8) {
        double x, y;
        std::memcpy(&x, &a[i], 8), std::memcpy(&y, &b[i], 8);
        ZRFUZZ_CHECK(same(x, y));
    }
    ZRFUZZ_CHECK(one.block.started == blocks.block.started);
    for (std::size_t k = 6; k <= 10; ++k)
        ZRFUZZ_CHECK(std::equal(values[k].begin(), values[k].end(), one.arrays[k]->data(),
                                [](double x, double y) { return std::memcmp(&x, &y, 8) == 0; }));
    return 0;
}
