#include "support/private_network.h"

#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <set>

namespace qx375::test {

std::string outside_interfaces() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return std::string("(cannot list the interfaces: ") + std::strerror(errno) + ")";
    }
    std::set<std::string> names;
    for (const ifaddrs* at = list; at != nullptr; at = at->ifa_next) {
        if ((at->ifa_flags & IFF_UP) != 0 && (at->ifa_flags & IFF_LOOPBACK) == 0) {
            names.insert(at->ifa_name);
        }
    }
    freeifaddrs(list);
    std::string joined;
    for (const auto& name : names) {
        joined += (joined.empty() ? "" : " ") + name;
    }
    return joined;
}

} // namespace qx375::test
