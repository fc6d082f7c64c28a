#!/usr/bin/env bash
# Times reports with --age, --largest 10 and --allocated against plain ones
# on the typical and huge trees, warm, in rotating order, and sets the
# extra peak memory against what the options may take: --age at most 256
# bytes per directory with pages, --largest N at most N times (48 bytes and
# the path's length) per directory with pages. See bench/README.md for the
# columns.
set -euo pipefail

source "$(dirname "$0")/common.sh"

usage() {
    cat >&2 <<EOF
usage: $0 [--rounds N] [--build DIR] [--seed N] [--scale F]
$(environment_usage)
