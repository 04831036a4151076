#pragma once
// The host command that stands in for DnsFlushResolverCache, and running it
// with a time limit.

#include <cstdint>
#include <string>
#include <vector>

namespace zorel::platform::detail {

// The flush command as an argument vector (argv[0] a path), chosen by the
// host variable ZOREL_DNS_FLUSH as network.h describes; empty when the host
// has no flush.
std::vector<std::string> dnsFlushCommand();

// The first executable regular file called `name` in the folders of the
// host's PATH (/usr/bin:/bin when PATH is unset); empty when there is none.
std::string findOnHostPath(const std::string& name);

// Runs `argv` with /dev/null as its standard streams, in a process group of
// its own, and waits up to timeoutMs for it.
// RETURNS true when it exited with status 0 in time; false when it exited
// otherwise, could not be started, or ran out of time, in which case the
// whole process group is killed and the command collected before the
// return.
bool runWithTimeLimit(const std::vector<std::string>& argv, uint32_t timeoutMs);

}  // namespace zorel::platform::detail
