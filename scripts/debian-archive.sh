#!/bin/sh
# The Debian archives this machine's apt uses, as apt itself lists them: a
# line each, "LABEL URI SUITE COMPONENT", e.g.
#   Debian http://deb.debian.org/debian/ bookworm main
#   Debian-Security http://deb.debian.org/debian-security/ bookworm-security main
# (Ubuntu's archives are labelled Ubuntu.) What the project fetches from
# Debian (SDL's source, roots of other releases, kernels and busybox for
# other processors) comes from these, through apt setups of its own that
# leave the machine's as it is.
set -eu
export LC_ALL=C

# shellcheck disable=SC2016
apt-get indextargets --format '$(LABEL) $(REPO_URI) $(RELEASE) $(COMPONENT)' 'Identifier: Packages' |
    awk '$1 ~ /^(Debian|Debian-Security|Ubuntu)$/ && !seen[$0]++'
