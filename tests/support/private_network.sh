#!/bin/bash
# Runs a command in a network of its own: a new network namespace with only
# the loopback interface, up and carrying multicast, so that Link peers in the
# test find each other there and nowhere else. Exits 77, which ctest counts
# as skipped, where this machine does not allow a new namespace.
#
#   private_network.sh COMMAND [ARGS...]
set -euo pipefail

if [[ $# -eq 0 ]]; then
    echo "usage: $0 COMMAND [ARGS...]" >&2
    exit 2
fi
for tool in unshare ip; do
    if ! command -v "$tool" >/dev/null; then
        echo "private_network: no $tool here; skipped" >&2
        exit 77
    fi
done
if ! unshare --net true 2>/dev/null; then
    echo "private_network: no new network namespace allowed here; skipped" >&2
    exit 77
fi

# A fresh namespace has its loopback down, and Link then finds no address to
# announce itself from. Up is all it takes: Link names the interface of each
# multicast socket, so the kernel sends on lo without a multicast route or
# lo's MULTICAST flag.
exec unshare --net bash -c '
set -euo pipefail
ip link set lo up
exec "$@"' private_network "$@"
