// Receive rate of ComPort::GetChar: the peer (`zbench peer`) answers a
// request byte 'S' and a 4-byte count with that many bytes as fast as the
// line takes them; every byte is checked against the peer's pattern.
#include "devicelink/comport.h"
#include "tools/bench/bench.h"

int BenchRxRate(const std::vector<std::string> &args)
{
    const std::string port = Option(args, "--port", "");
    const unsigned long bytes = std::stoul(Option(args, "--bytes", "65536"));
    if (port.empty()) {
        std::fprintf(stderr, "zbench rxrate: --port P [--bytes N]\n");
        return 2;
    }
    ComPort com;
    if (com.Init(port.c_str(), 10) != 0 || com.Open() != 0) {
        std::fprintf(stderr, "zbench rxrate: cannot open %s\n", port.c_str());
        return 1;
    }
    const unsigned char request[5] = {'S', (unsigned char)(bytes >> 24), (unsigned char)(bytes >> 16),
                                      (unsigned char)(bytes >> 8), (unsigned char)bytes};
    double cpu0 = CpuSeconds(), t0 = WallSeconds();
    com.PutArray(request, 5);
    unsigned long got = 0, wrong = 0;
    unsigned char c;
    while (got < bytes && com.GetChar(&c) == 0) {
        wrong += c != (unsigned char)(got & 0xFF);
        got++;
    }
    double elapsed = WallSeconds() - t0, cpu = CpuSeconds() - cpu0;
    com.UnInit();
    PrintResult("rxrate", {{"bytes", std::to_string(got)}, {"wrong", std::to_string(wrong)},
                           {"elapsed", Fixed(elapsed, 3)}, {"rate", Fixed(got / elapsed, 0)},
                           {"cpuPct", Fixed(100 * cpu / elapsed, 1)}});
    return got == bytes && wrong == 0 ? 0 : 1;
}
