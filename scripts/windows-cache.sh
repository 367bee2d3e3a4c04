# Sourced by the Windows build scripts: the folder where what they build once per machine is kept,
# outside the clone, so that every clone on the machine finds it: ELEVARA_WINDOWS_CACHE, by
# default /var/cache/elevara, or ~/.cache/elevara for a user who cannot write there.
windows_cache() {
  local cache=${ELEVARA_WINDOWS_CACHE:-/var/cache/elevara}
  if ! mkdir -p "$cache" 2>/dev/null || [[ ! -w $cache ]]; then
    cache=${XDG_CACHE_HOME:-$HOME/.cache}/elevara
    mkdir -p "$cache"
  fi
  echo "$cache"
}
