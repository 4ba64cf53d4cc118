// Fuzzes the pattern scanner the way the decoder drives it: tries and
// commits until the cursor is exhausted.
//
// Input: byte 0 is the mode (bit 0 traces on, bit 1 a text of exact size
// without terminator whose length may run past embedded NULs, bits 2-4 the
// starting offset); bytes 1-8 pick the destinations in order (each modulo
// 11: ten pool entries, 10 ends the list); the rest is the pattern, a NUL,
// then the text.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "vyr.h"
#include "vyr_int.h"

namespace {

constexpr std::size_t kHeader = 9;
constexpr std::size_t kMaxDests = kHeader - 1;
constexpr char kGuard = 'G';

template <std::size_t N>
struct Guarded {
    char buf[N];
    char guard[16];
    void reset() {
        std::memset(buf, 'x', N);
        std::memset(guard, kGuard, sizeof guard);
    }
    bool intact() const {
        for (char c : guard)
            if (c != kGuard) return false;
        return true;
    }
};

struct Pool {
    Guarded<81> big[3];
    Guarded<8> small[2];
    Guarded<81> bare;  // passed as char*: the scanner assumes 81 bytes
    int ints[2];
    float floats[2];

    void reset() {
        for (auto &g : big) g.reset();
        for (auto &g : small) g.reset();
        bare.reset();
        ints[0] = ints[1] = 0;
        floats[0] = floats[1] = 0;
    }
    bool intact() const {
        for (const auto &g : big)
            if (!g.intact()) return false;
        for (const auto &g : small)
            if (!g.intact()) return false;
        return bare.intact();
    }
    vyr::scan::Dest pick(int k) {
        switch (k) {
            case 0:
            case 1:
            case 2: return vyr::scan::dest(big[k].buf);
            case 3:
            case 4: return vyr::scan::dest(small[k - 3].buf);
            case 5: return vyr::scan::dest(static_cast<char *>(bare.buf));
            case 6:
            case 7: return vyr::scan::dest(&ints[k - 6]);
            default: return vyr::scan::dest(&floats[k - 8]);
        }
    }
};

void require(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "scanp invariant broken: %s\n", what);
        std::abort();
    }
}

FILE *sink() {
    static FILE *f = std::fopen("/dev/null", "w");
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < kHeader) return 0;
    const uint8_t mode = data[0];
    static Pool pool;
    pool.reset();
    std::vector<vyr::scan::Dest> dests;
    for (std::size_t i = 1; i <= kMaxDests && data[i] % 11 != 10; ++i)
        dests.push_back(pool.pick(data[i] % 11));

    const auto *rest = reinterpret_cast<const char *>(data + kHeader);
    const std::size_t rest_size = size - kHeader;
    const auto *nul = static_cast<const char *>(std::memchr(rest, 0, rest_size));
    const std::string pat(rest, nul ? static_cast<std::size_t>(nul - rest) : rest_size);
    const char *text_start = nul ? nul + 1 : rest + rest_size;
    const std::size_t text_size = static_cast<std::size_t>(rest + rest_size - text_start);

    // The text lives in a buffer of exactly its size, so that any read past
    // its end is caught.
    const bool raw = (mode & 2) != 0;
    auto text = std::make_unique<char[]>(text_size + (raw ? 0 : 1));
    std::memcpy(text.get(), text_start, text_size);
    parse_param p{};
    if (raw) {
        p.ptr = text.get();
        p.length = static_cast<int>(text_size);
    } else {
        text[text_size] = '\0';
        scanp_set(&p, text.get());
    }
    p.off = std::min((mode >> 2) & 7, p.length);

    vyr::set_message_streams(sink(), sink());
    MESS_set_str((mode & 1) ? "+debugd" : "-debugd");

    const int ndest = static_cast<int>(dests.size());
    const vyr::scan::Pattern parsed(pat.c_str());
    for (int tries = 0; tries < 8; ++tries) {
        const int before = p.off;
        // The parsed pattern must scan exactly as its text does.
        parse_param q = p;
        const int rq = scanp_args(&q, parsed, dests.data(), ndest);
        const int r = scanp_args(&p, pat.c_str(), dests.data(), ndest);
        require(rq == r && q.len == p.len && q.assigned == p.assigned && q.done == p.done,
                "parsed pattern scans like its text");
        require(pool.intact(), "write past a destination");
        if (r == -1) {
            require(p.len == 0 && p.matched == 0 && p.assigned == 0 && p.done == 0,
                    "fields of a -1 call");
            require(pat.empty() || before >= p.length, "-1 with text left");
            break;
        }
        require(r == p.matched && r >= 0, "result is matched");
        require(p.len >= 0 && p.len <= p.length - before, "len within the rest");
        require(p.assigned >= 0 && p.assigned <= p.matched && p.assigned <= ndest, "assigned");
        require(p.done == 0 || p.done == 1, "done");
        require(!pat.empty(), "empty pattern scanned");
        scanp_inc(&p);
        require(p.off == before + p.len, "commit");
        require(scanp_str(&p) == p.ptr + p.off, "rest");
        if (p.len == 0) break;
    }
    return 0;
}
