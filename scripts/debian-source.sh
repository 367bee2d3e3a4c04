# Sourced by the Windows build scripts: Debian source packages, fetched with an apt configuration
# of their own under $source_home (the machine's Debian archives as deb-src entries, with their
# own index and cache, so the system's apt setup stays as it is) and unpacked into
# $source_home/src with their patches applied. Messages start with $source_user. With
# $next_release set (a Debian release's name), a source that the machine's archive no longer
# serves is taken from that release.

# private_apt TOOL ARGUMENT...: apt-get or apt-cache with the private configuration. With
# apt_suite set (a Debian release's name), the index of that release's main sources alone, in a
# folder of its own.
private_apt() {
  local apt=$source_home/apt${apt_suite:+-$apt_suite}
  if [[ ! -f $apt/sources.list ]]; then
    mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial"
    local list
    if [[ -n ${apt_suite:-} ]]; then
      printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: %s\n' \
        "$apt_suite" /usr/share/keyrings/debian-archive-keyring.gpg >"$apt/sources.list.d/next.sources"
    else
      for list in /etc/apt/sources.list.d/*.sources; do
        [[ -f $list ]] && sed 's/^Types:.*/Types: deb-src/' "$list" >"$apt/sources.list.d/$(basename "$list")"
      done
      if [[ -f /etc/apt/sources.list ]]; then
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$apt/sources.list"
      fi
    fi
    touch "$apt/sources.list"
  fi
  local tool=$1
  shift
  "$tool" -q -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts="$apt/sources.list.d" \
    -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o APT::Sandbox::User=root "$@"
}

# source_versions PACKAGE: the versions of a Debian source package that the private index
# lists, newest first.
source_versions() {
  local apt=$source_home/apt${apt_suite:+-$apt_suite}
  if [[ ! -f $apt/updated ]]; then
    echo "$source_user: reading the Debian source index${apt_suite:+ of $apt_suite}" >&2
    private_apt apt-get update >/dev/null
    touch "$apt/updated"
  fi
  private_apt apt-cache showsrc --only-source "$1" | sed -n 's/^Version: //p' | sort -rV
}

# fetch_source PACKAGE [VERSION]: unpacks VERSION of a Debian source package, or else the newest
# version that the archive serves (an archive may list a version whose files it no longer
# holds), its patches applied, and prints the version and the folder.
fetch_source() {
  local package=$1 wanted=${2:-} version
  mkdir -p "$source_home/src/download"
  for version in $(source_versions "$package"); do
    [[ -n $wanted && $version != "$wanted" ]] && continue
    local folder=$source_home/src/$package-$version
    if [[ ! -d $folder ]]; then
      (cd "$source_home/src/download" &&
        private_apt apt-get source --download-only "$package=$version" >/dev/null 2>&1) || continue
      # Its warnings about Debian's patches are Debian's; a failure to unpack stops the build.
      if ! dpkg-source --no-check -x "$source_home/src/download/${package}_${version#*:}.dsc" \
        "$folder" >/dev/null 2>&1; then
        echo "$source_user: cannot unpack the source of $package $version" >&2
        exit 1
      fi
    fi
    echo "$version $folder"
    return
  done
  if [[ -z $wanted && -n ${next_release:-} && -z ${apt_suite:-} ]]; then
    # Debian 12's archive no longer serves every source it lists (libgeotiff's): the next
    # release's source of the same library is taken then.
    apt_suite=$next_release fetch_source "$package"
    return
  fi
  echo "$source_user: the archive serves no source of $package ${wanted}" >&2
  exit 1
}
