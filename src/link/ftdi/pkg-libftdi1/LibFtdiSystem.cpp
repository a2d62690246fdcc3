// The one file that knows libftdi (and the libusb beneath it); built only where pkg-config
// finds libftdi1.
#include <ftdi.h>
#include <libusb.h>

#include <chrono>

#include "link/ftdi/FtdiSystem.h"

namespace velmo {

namespace {

// A reply that has not come after this long will not come: the longest transfer the link
// sends takes a few tens of milliseconds.
constexpr auto kReadTimeout = std::chrono::seconds(2);

// The chip as libftdi tells it from the device's release number.
FtdiChip ChipOf(const libusb_device_descriptor& descriptor) {
    switch (descriptor.bcdDevice) {
        case 0x200:
            return descriptor.iSerialNumber == 0 ? FtdiChip::Bm : FtdiChip::Am;
        case 0x400:
            return FtdiChip::Bm;
        case 0x500:
            return FtdiChip::Ft2232C;
        case 0x600:
            return FtdiChip::Ft232R;
        case 0x700:
            return FtdiChip::Ft2232H;
        case 0x800:
            return FtdiChip::Ft4232H;
        case 0x900:
            return FtdiChip::Ft232H;
        case 0x1000:
            return FtdiChip::Ft230X;
        default:
            return FtdiChip::Unknown;
    }
}

std::string StringOf(libusb_device_handle* handle, std::uint8_t index) {
    if (index == 0) return {};
    unsigned char text[256] = {};
    const int length = libusb_get_string_descriptor_ascii(handle, index, text, sizeof text);
    return length > 0
               ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length))
               : std::string();
}

class LibFtdiSystem : public FtdiSystem {
  public:
    ~LibFtdiSystem() override {
        Close();
        if (m_context) ftdi_free(m_context);
    }

    bool List(std::vector<FtdiDevice>& devices) override {
        if (!Context()) return false;
        ftdi_device_list* list = nullptr;
        // Vendor and product 0: FTDI's own ids, 0x6001, 0x6010, 0x6011, 0x6014 and 0x6015.
        if (ftdi_usb_find_all(m_context, &list, 0, 0) < 0) return LibraryFailed();
        for (ftdi_device_list* node = list; node; node = node->next) {
            libusb_device_descriptor descriptor{};
            if (libusb_get_device_descriptor(node->dev, &descriptor) < 0) continue;
            FtdiDevice device;
            device.bus = libusb_get_bus_number(node->dev);
            device.address = libusb_get_device_address(node->dev);
            device.vendor = descriptor.idVendor;
            device.product = descriptor.idProduct;
            device.chip = ChipOf(descriptor);
            libusb_device_handle* handle = nullptr;
            const int opened = libusb_open(node->dev, &handle);
            device.accessible = opened != LIBUSB_ERROR_ACCESS;
            if (opened == 0) {
                device.manufacturer = StringOf(handle, descriptor.iManufacturer);
                device.description = StringOf(handle, descriptor.iProduct);
                device.serial = StringOf(handle, descriptor.iSerialNumber);
                libusb_close(handle);
            }
            devices.push_back(std::move(device));
        }
        ftdi_list_free(&list);
        return true;
    }

    int Open(const FtdiDevice& wanted, unsigned channel) override {
        if (!Context()) return -1;
        ftdi_device_list* list = nullptr;
        if (ftdi_usb_find_all(m_context, &list, 0, 0) < 0) {
            LibraryFailed();
            return -1;
        }
        libusb_device* found = nullptr;
        for (ftdi_device_list* node = list; node && !found; node = node->next) {
            if (libusb_get_bus_number(node->dev) == wanted.bus &&
                libusb_get_device_address(node->dev) == wanted.address) {
                found = node->dev;
            }
        }
        int result = -1;
        m_error = "das Gerät ist nicht mehr am Bus";
        libusb_device_handle* probe = nullptr;
        if (found && libusb_open(found, &probe) == LIBUSB_ERROR_ACCESS) {
            result = kNoAccess;
        } else if (found) {
            if (probe) libusb_close(probe);
            ftdi_set_interface(m_context, static_cast<ftdi_interface>(INTERFACE_A + channel));
            // The kernel's serial driver gives the adapter up while the link runs and takes
            // it back when it is closed.
            m_context->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
            result = ftdi_usb_open_dev(m_context, found);
            if (result < 0) {
                LibraryFailed();
            } else {
                m_open = true;
            }
        }
        ftdi_list_free(&list);
        return result;
    }

    int Purge() override { return Checked(ftdi_tcioflush(m_context)); }
    int SetLatencyTimer(std::uint8_t milliseconds) override {
        return Checked(ftdi_set_latency_timer(m_context, milliseconds));
    }
    int SetBitMode(std::uint8_t outputs, FtdiBitMode mode) override {
        const unsigned char modes[] = {BITMODE_RESET, BITMODE_SYNCBB, BITMODE_MPSSE};
        return Checked(ftdi_set_bitmode(m_context, outputs, modes[static_cast<int>(mode)]));
    }
    int SetBaudRate(int baud) override { return Checked(ftdi_set_baudrate(m_context, baud)); }

    int Write(const std::uint8_t* data, std::size_t size) override {
        return Checked(ftdi_write_data(m_context, data, static_cast<int>(size)));
    }

    int Read(std::uint8_t* data, std::size_t size) override {
        std::size_t done = 0;
        auto deadline = std::chrono::steady_clock::now() + kReadTimeout;
        while (done < size) {
            const int got = ftdi_read_data(m_context, data + done, static_cast<int>(size - done));
            if (got < 0) return Checked(got);
            if (got > 0) {
                done += static_cast<std::size_t>(got);
                deadline = std::chrono::steady_clock::now() + kReadTimeout;
            } else if (std::chrono::steady_clock::now() > deadline) {
                m_error = "keine Antwort innerhalb von 2 s";
                return -1;
            }
        }
        return static_cast<int>(done);
    }

    void Close() override {
        if (m_open) ftdi_usb_close(m_context);
        m_open = false;
    }

    std::string ErrorText() override { return m_error; }

  private:
    bool Context() {
        if (m_context) return true;
        m_context = ftdi_new();
        if (!m_context) m_error = "libusb lässt sich nicht starten";
        return m_context != nullptr;
    }

    bool LibraryFailed() {
        m_error = ftdi_get_error_string(m_context);
        return false;
    }

    int Checked(int result) {
        if (result < 0) LibraryFailed();
        return result;
    }

    ftdi_context* m_context = nullptr;
    bool m_open = false;
    std::string m_error;
};

}  // namespace

std::unique_ptr<FtdiSystem> MakeUsbFtdiSystem() {
    return std::make_unique<LibFtdiSystem>();
}

}  // namespace velmo
