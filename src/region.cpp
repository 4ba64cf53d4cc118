// region.cpp - map domains: the domain record and the decoding of domain and
// region texts.
//
// Only the record's initialisation is here so far. The decoder does not yet
// read any notation: every text is answered as a missing domain, so the
// resource conversion of "region", "plot_domain" and "grid_domain" leaves the
// record all missing. The templates, projection keywords, region file and
// built-in regions come with the stations-and-domains work.
#include "vyr.h"

namespace {

constexpr float kMissingF = static_cast<float>(VYR_MISSING);

}  // namespace

int DOM_init(Domain *domain) {
    if (domain == nullptr) return 0;
    domain->proj = VYR_MISSING;
    domain->plat = kMissingF;
    domain->plon = kMissingF;
    for (float &p : domain->param) p = kMissingF;
    domain->clat = kMissingF;
    domain->clon = kMissingF;
    domain->dx = kMissingF;
    domain->dy = kMissingF;
    domain->nx = VYR_MISSING;
    domain->ny = VYR_MISSING;
    domain->ellipse = 0;
    return 0;
}

// Not yet a decoder: see the note at the top of the file.
int DOM_decode(const char *str, Domain *domain) {
    (void)str;
    DOM_init(domain);
    return VYR_MISSING;
}
