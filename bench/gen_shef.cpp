// gen_shef - writes a deterministic mixed SHEF corpus for benchmarking.
//
//   gen_shef MEGABYTES > file
//
// About 90% of the messages are .A lines of 4 to 6 elements with a DH code,
// 10% are .B blocks of 20 body lines of 5 values, with a few comment lines.
// The same size always gives the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Rng {
    uint64_t s = 0x9E3779B97F4A7C15ULL;
    uint32_t next() {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(s >> 33);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }
};

const char *const kCodes[] = {"HG", "PP",    "TX",  "TN",     "TA", "US", "UD", "XR", "PC",
                              "SD", "HGIRZ", "PPH", "TAIRZX", "QR", "XW", "EP", "TW", "PA"};
constexpr int kNumCodes = sizeof kCodes / sizeof kCodes[0];

std::string station(Rng &r) {
    std::string id;
    for (int i = 0; i < 5; ++i) id += static_cast<char>('A' + r.below(26));
    return id;
}

std::string value(Rng &r) {
    switch (r.below(10)) {
        case 0: return "M";
        case 1: return std::to_string(r.below(100));
        default: {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%d.%02d", r.below(1000), r.below(100));
            return buf;
        }
    }
}

}  // namespace

int main(int argc, char **argv) {
    const long long megabytes = argc > 1 ? std::atoll(argv[1]) : 100;
    const long long target = megabytes * 1000 * 1000;
    Rng r;
    long long written = 0;
    std::string out;
    while (written < target) {
        out.clear();
        const int kind = r.below(100);
        const int day = 1 + r.below(28);
        if (kind < 1) {
            out = ": generated benchmark data, section " + std::to_string(written) + "\n";
        } else if (kind < 91) {
            char head[64];
            std::snprintf(head, sizeof head, ".A %s 12%02d Z DH%02d", station(r).c_str(), day,
                          r.below(24));
            out = head;
            const int n = 4 + r.below(3);
            for (int i = 0; i < n; ++i) {
                out += "/";
                out += kCodes[r.below(kNumCodes)];
                out += ' ';
                out += value(r);
            }
            out += '\n';
        } else {
            char head[96];
            std::snprintf(head, sizeof head, ".B PDR 12%02d Z DH%02d/", day, r.below(24));
            out = head;
            for (int i = 0; i < 5; ++i) {
                out += kCodes[r.below(kNumCodes)];
                out += i < 4 ? "/" : "\n";
            }
            for (int line = 0; line < 20; ++line) {
                out += station(r);
                out += ' ';
                for (int i = 0; i < 5; ++i) {
                    out += value(r);
                    out += i < 4 ? "/" : "\n";
                }
            }
            out += ".END\n";
        }
        std::fwrite(out.data(), 1, out.size(), stdout);
        written += static_cast<long long>(out.size());
    }
    return 0;
}
