# Shared by the slow-client test and benchmark (sourced): a cache folder
# ready for the attacks, and the port a started cache host reports.

md5_of() { printf '%s' "$1" | md5sum | cut -d' ' -f1; }

# fill_cache DIR: the probe's small resource and the 1 MiB body the slow
# readers ask for, both already cached so that no CDN is involved.
fill_cache() {
  mkdir -p "$1"
  head -c 1048576 /dev/urandom > "$1/$(md5_of /wz_cdn/big.bin)"
  head -c 3000 /dev/urandom > "$1/$(md5_of /wz_cdn/probe.png)"
}

# wait_listening OUTPUT: the port from a host's "listening PORT" line.
wait_listening() {
  for _ in $(seq 400); do grep -q '^listening\|^failed' "$1" && break; sleep 0.05; done
  tr -d '\r' < "$1" | sed -n 's/^listening //p'
}
