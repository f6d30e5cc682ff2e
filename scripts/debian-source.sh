# Sourced, not run: fetch_debian_source PACKAGE PATTERN SOURCE_DIR APT_DIR
# Unpacks Debian's source package PACKAGE into SOURCE_DIR unless a directory matching PATTERN is there
# already. The machine's apt configuration is left alone: the archives it is set up with are read as
# deb-src entries of a list of our own under APT_DIR.
fetch_debian_source() {
  local pkg=$1 pattern=$2 src apt
  src=$(realpath -m "$3")
  apt=$(realpath -m "$4")
  if compgen -G "$src/$pattern" >/dev/null; then return; fi
  mkdir -p "$src" "$apt/sources" "$apt/lists/partial"
  rm -f "$apt/sources/"*
  : >"$apt/none.list"
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed 's/^Types:.*/Types: deb-src/' "$f" >>"$apt/sources/src.sources"
    echo >>"$apt/sources/src.sources"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && sed -n 's/^deb \(.*\)/deb-src \1/p' "$f" >>"$apt/sources/src.list"
  done
  local opts=(-o "Dir::Etc::SourceList=$apt/none.list" -o "Dir::Etc::SourceParts=$apt/sources"
              -o "Dir::State::Lists=$apt/lists")
  # Fresh lists for each fetch (only when a source is missing): old versions leave the archive.
  apt-get "${opts[@]}" update -qq
  (cd "$src" && apt-get "${opts[@]}" source -qq "$pkg" >/dev/null)
}
