// Reads (never requests) the machine's real GPIO chips, where it has any: the structures and
// ioctl numbers the backend uses must be the kernel's.
#include <gtest/gtest.h>
#include <linux/gpio.h>

#include <cerrno>
#include <cstring>

#include "port/linux/GpioPort.h"

namespace velmo {
namespace {

TEST(GpioRealChip, ChipInfoAndLineInfoAnswerWithoutARequest) {
    const std::unique_ptr<GpioSystem> system = MakeLinuxGpioSystem();
    const std::vector<std::string> chips = system->ListChips();
    if (chips.empty()) GTEST_SKIP() << "no /dev/gpiochip* on this machine";
    int readable = 0;
    for (const std::string& path : chips) {
        SCOPED_TRACE(path);
        const int fd = system->Open(path);
        if (fd == -EACCES || fd == -EPERM) continue;
        ASSERT_GE(fd, 0) << std::strerror(-fd);
        ++readable;
        gpiochip_info chip{};
        ASSERT_EQ(system->Ioctl(fd, GPIO_GET_CHIPINFO_IOCTL, &chip), 0);
        EXPECT_EQ(path, "/dev/" + std::string(chip.name, strnlen(chip.name, sizeof chip.name)));
        EXPECT_GT(chip.lines, 0u);
        for (std::uint32_t offset = 0; offset < chip.lines && offset < 64; ++offset) {
            gpio_v2_line_info info;
            std::memset(&info, 0, sizeof info);
            info.offset = offset;
            ASSERT_EQ(system->Ioctl(fd, GPIO_V2_GET_LINEINFO_IOCTL, &info), 0) << offset;
            EXPECT_EQ(info.offset, offset);
            const bool input = info.flags & GPIO_V2_LINE_FLAG_INPUT;
            const bool output = info.flags & GPIO_V2_LINE_FLAG_OUTPUT;
            EXPECT_NE(input, output) << "exactly one direction, line " << offset;
        }
        gpio_v2_line_info beyond;
        std::memset(&beyond, 0, sizeof beyond);
        beyond.offset = chip.lines;
        EXPECT_EQ(system->Ioctl(fd, GPIO_V2_GET_LINEINFO_IOCTL, &beyond), -EINVAL);
        system->Close(fd);
    }
    if (readable == 0) GTEST_SKIP() << "no GPIO chip this user may open";
}

}  // namespace
}  // namespace velmo
