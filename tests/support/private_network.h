#pragma once

// Link finds its peers by multicast on every interface that is up. Its tests
// run in a network namespace of their own (private_network.sh) where only the
// loopback interface is; this tells a test that it is not, before it lets
// Link send anything.

#include <string>

namespace qx375::test {

// The interfaces other than loopback that are up, by name, or empty when
// there are none (or none can be listed, which is reported as such).
std::string outside_interfaces();

} // namespace qx375::test
