// A made-up /sys and /dev for tests of what zflash reads there: USB serial
// adapters with their ids, drivers and latency timers, the tty entries under
// them, and the /dev/serial/by-id links that udev would make.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <fcntl.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "devicelink/ports/port_roots.h"

struct FakeAdapter {
    std::string vid = "0403", pid = "6001", serial = "A10KX";
    std::string driver = "ftdi_sio";
    std::string product = "FT232R USB UART";
    int timerMs = 16;  // its latency timer; 0: the driver has none
};

class FakeSystem {
public:
    FakeSystem() : top(NewTop())
    {
        std::filesystem::remove_all(top);
        std::filesystem::create_directories(top / "sys" / "class" / "tty");
        std::filesystem::create_directories(top / "dev" / "serial" / "by-id");
    }
    ~FakeSystem()
    {
        for (int fd : sealed)
            close(fd);
        std::error_code ec;
        std::filesystem::remove_all(top, ec);
    }
    FakeSystem(const FakeSystem &) = delete;
    FakeSystem &operator=(const FakeSystem &) = delete;

    PortRoots Roots() const { return {Sys().string(), Dev().string()}; }
    std::filesystem::path Sys() const { return top / "sys"; }
    std::filesystem::path Dev() const { return top / "dev"; }
    std::filesystem::path DevicePath(const std::string &tty) const { return Dev() / tty; }
    std::filesystem::path TimerFile(const std::string &tty) const
    {
        return Sys() / "class" / "tty" / tty / "device" / "latency_timer";
    }

    // An adapter on USB port `usbPort` (1-1, 1-2, ...) with tty `tty`; its
    // device node in dev/ links to `node` (e.g. a simulator's pty) when
    // given, else is an empty file.
    void AddAdapter(const std::string &tty, const std::string &usbPort, const FakeAdapter &a,
                    const std::string &node = std::string())
    {
        const std::filesystem::path usb = Sys() / "devices" / "usb1" / usbPort;
        Write(usb / "idVendor", a.vid);
        Write(usb / "idProduct", a.pid);
        Write(usb / "product", a.product);
        if (!a.serial.empty())
            Write(usb / "serial", a.serial);
        const std::filesystem::path port = usb / (usbPort + ":1.0") / tty;
        std::filesystem::create_directories(port);
        std::filesystem::create_directories(Sys() / "bus" / "usb-serial" / "drivers" / a.driver);
        std::filesystem::create_symlink(Sys() / "bus" / "usb-serial" / "drivers" / a.driver, port / "driver");
        if (a.timerMs > 0)
            Write(port / "latency_timer", std::to_string(a.timerMs));
        AddTtyEntry(tty, port);
        if (node.empty())
            Write(DevicePath(tty), "");
        else
            std::filesystem::create_symlink(node, DevicePath(tty));
    }

    // class/tty/<tty>/device -> `device`.
    void AddTtyEntry(const std::string &tty, const std::filesystem::path &device)
    {
        std::filesystem::create_directories(Sys() / "class" / "tty" / tty);
        std::filesystem::create_symlink(device, Sys() / "class" / "tty" / tty / "device");
    }

    // dev/serial/by-id/<name> -> ../../<tty>, as udev makes it.
    std::filesystem::path AddById(const std::string &name, const std::string &tty)
    {
        std::filesystem::path link = Dev() / "serial" / "by-id" / name;
        std::filesystem::create_symlink(std::filesystem::path("..") / ".." / tty, link);
        return link;
    }

    std::string ReadTimer(const std::string &tty) const
    {
        std::ifstream in(TimerFile(tty));
        std::string text;
        std::getline(in, text);
        return text;
    }

    // The timer becomes a file that anyone may read and no one, not even
    // root, may write: a sealed memory file, reached through /proc.
    void MakeTimerReadOnly(const std::string &tty)
    {
        const std::string text = ReadTimer(tty) + "\n";
        const int fd = memfd_create("latency_timer", MFD_ALLOW_SEALING);
        if (fd < 0 || write(fd, text.data(), text.size()) != ssize_t(text.size()) ||
            fcntl(fd, F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0)
            throw std::runtime_error("cannot make a sealed memory file");
        sealed.push_back(fd);
        std::filesystem::remove(TimerFile(tty));
        std::filesystem::create_symlink("/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(fd),
                                        TimerFile(tty));
    }

    static void Write(const std::filesystem::path &file, const std::string &text)
    {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << text << (text.empty() ? "" : "\n");
    }

private:
    static std::filesystem::path NewTop()
    {
        static int count = 0;
        return std::filesystem::temp_directory_path() /
               ("zf_fake_system_" + std::to_string(getpid()) + "_" + std::to_string(++count));
    }

    std::filesystem::path top;
    std::vector<int> sealed;
};
