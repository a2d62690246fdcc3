// The fake GPIO chip refuses what the kernel refuses; otherwise the backend's tests would
// pass on calls a real chip rejects.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "support/linux/FakeGpioChip.h"

namespace velmo {
namespace {

using testing::FakeGpio;

gpio_v2_line_request Request(std::initializer_list<std::uint32_t> offsets, std::uint64_t flags) {
    gpio_v2_line_request request;
    std::memset(&request, 0, sizeof request);
    for (std::uint32_t offset : offsets) request.offsets[request.num_lines++] = offset;
    request.config.flags = flags;
    return request;
}

TEST(FakeGpioChip, KeepsTheKernelsRules) {
    FakeGpio gpio;
    gpio.AddChip("gpiochip0", "pinctrl-bcm2711", 8).lines[7].kernelHeld = true;
    const int chip = gpio.Open("/dev/gpiochip0");
    ASSERT_GE(chip, 0);
    EXPECT_EQ(gpio.Open("/dev/gpiochip1"), -ENOENT);

    const struct {
        const char* name;
        gpio_v2_line_request request;
        int result;
    } requests[] = {
        {"no lines", Request({}, GPIO_V2_LINE_FLAG_INPUT), -EINVAL},
        {"offset beyond the chip", Request({1, 8}, GPIO_V2_LINE_FLAG_INPUT), -EINVAL},
        {"input and output", Request({1}, GPIO_V2_LINE_FLAG_INPUT | GPIO_V2_LINE_FLAG_OUTPUT),
         -EINVAL},
        {"bias without direction", Request({1}, GPIO_V2_LINE_FLAG_BIAS_PULL_UP), -EINVAL},
        {"held by the kernel", Request({1, 7}, GPIO_V2_LINE_FLAG_INPUT), -EBUSY},
        {"one line twice", Request({2, 2}, GPIO_V2_LINE_FLAG_INPUT), -EBUSY},
    };
    for (auto c : requests) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(gpio.Ioctl(chip, GPIO_V2_GET_LINE_IOCTL, &c.request), c.result);
        EXPECT_FALSE(gpio.chips[0].lines[1].requested) << "a refused request takes nothing";
        EXPECT_FALSE(gpio.chips[0].lines[2].requested);
    }

    // Lines 3 (output, active low) and 4 (input).
    gpio_v2_line_request request = Request({3, 4}, GPIO_V2_LINE_FLAG_INPUT);
    request.config.num_attrs = 1;
    request.config.attrs[0].attr.id = GPIO_V2_LINE_ATTR_ID_FLAGS;
    request.config.attrs[0].attr.flags = GPIO_V2_LINE_FLAG_OUTPUT | GPIO_V2_LINE_FLAG_ACTIVE_LOW;
    request.config.attrs[0].mask = 0b01;
    ASSERT_EQ(gpio.Ioctl(chip, GPIO_V2_GET_LINE_IOCTL, &request), 0);
    const int lines = request.fd;
    EXPECT_TRUE(gpio.PinLevel(0, 3)) << "inactive active-low output: high";
    gpio_v2_line_request again = Request({3}, GPIO_V2_LINE_FLAG_INPUT);
    EXPECT_EQ(gpio.Ioctl(chip, GPIO_V2_GET_LINE_IOCTL, &again), -EBUSY);

    const struct {
        const char* name;
        unsigned long ioctl;
        std::uint64_t bits, mask;
        int result;
        bool onChip = false;  // sent to the chip's descriptor instead of the request's
    } values[] = {
        {"set the output by index", GPIO_V2_LINE_SET_VALUES_IOCTL, 0b01, 0b01, 0},
        {"set the input", GPIO_V2_LINE_SET_VALUES_IOCTL, 0b10, 0b10, -EPERM},
        {"empty mask", GPIO_V2_LINE_SET_VALUES_IOCTL, 0, 0, -EINVAL},
        {"beyond the request", GPIO_V2_LINE_SET_VALUES_IOCTL, 0b100, 0b101, -EINVAL},
        {"get both", GPIO_V2_LINE_GET_VALUES_IOCTL, 0, 0b11, 0},
        {"values on the chip's descriptor", GPIO_V2_LINE_GET_VALUES_IOCTL, 0, 0b11, -EINVAL, true},
    };
    for (const auto& c : values) {
        SCOPED_TRACE(c.name);
        gpio_v2_line_values v{};
        v.bits = c.bits;
        v.mask = c.mask;
        EXPECT_EQ(gpio.Ioctl(c.onChip ? chip : lines, c.ioctl, &v), c.result);
    }
    EXPECT_FALSE(gpio.PinLevel(0, 3)) << "active: low";
    gpio.Close(lines);
    EXPECT_FALSE(gpio.chips[0].lines[3].requested);
    gpio.Close(chip);
    EXPECT_EQ(gpio.OpenDescriptors(), 0u);
}

}  // namespace
}  // namespace velmo
