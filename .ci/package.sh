#!/usr/bin/env bash
# What a user is handed, checked as a user gets it:
#   .ci/package.sh default   the manual page, the bash completion, `cmake --install`, and the
#                            Debian package (lintian, then the unpacked tool on the example)
#   .ci/package.sh windows   the Windows zip and the names in it
# Each takes the build tree of the configure preset of that name, whose tests have passed, and
# packs it with the package preset of that name, as the README tells a user to.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=$1 build=build/$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "package: $*" >&2
  exit 1
}
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[[ -n $version ]] || fail "no CPACK_PACKAGE_VERSION in $build/CPackConfig.cmake"

# The options a text lists: each line that starts with an option ("  -c, --check    make ...",
# "  -j, --jobs=N   ...", "       --json write ...") gives the options it starts with (-c and
# --check, -j and --jobs, --json), one per line without their arguments, sorted.
options_in() {
  grep -oE '^ *(-[a-z]|--[a-z][a-z-]*)(=[A-Z]+)?(, (-[a-z]|--[a-z][a-z-]*)(=[A-Z]+)?)*( |$)' |
    sed 's/^ *//; s/ *$//; s/, /\n/g' | sed 's/=.*//' | sort -u
}

check_manual() {
  local page=doc/notediag.1 tool=$build/notediag
  echo "--- the manual page renders without a warning"
  groff -t -man -ww -z "$page" 2>"$scratch/groff.err" || true
  LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" >"$scratch/page.txt" 2>"$scratch/man.err" ||
    fail "man could not render $page"
  if [[ -s $scratch/groff.err || -s $scratch/man.err ]]; then
    cat "$scratch/groff.err" "$scratch/man.err" >&2
    fail "$page renders with warnings"
  fi

  echo "--- the page's OPTIONS are those --help lists"
  "$tool" --help | options_in >"$scratch/help.options"
  sed -n '/^OPTIONS$/,/^[A-Z]/p' "$scratch/page.txt" | options_in >"$scratch/page.options"
  [[ -s $scratch/help.options ]] || fail "found no option in --help"
  if ! diff -u --label "notediag --help" --label "$page OPTIONS" "$scratch/help.options" \
    "$scratch/page.options"; then
    fail "the manual page and --help list different options"
  fi
  tr '\n' ' ' <"$scratch/help.options"
  echo

  echo "--- the page names the version the tool reports"
  local th
  th=$(sed -n 's/^\.TH .* "notediag \([^"]*\)".*$/\1/p' "$page")
  [[ $("$tool" --version) == "notediag $th" ]] ||
    fail ".TH says notediag $th, the tool says $("$tool" --version)"
}

check_completion() {
  echo "--- bash completion: options anywhere until --, file names, the values options take"
  : >"$scratch/a-file"
  # words (the last one being completed) -> what is offered
  local cases=(
    "--c|--check"
    "--che|--check"
    "-c --q|--quiet"
    "--esc|--escape="
    "--escape=al|--escape=always"
    "$scratch/a-f|$scratch/a-file"
    "-- -|"
    "-- --c|"
    "$scratch/a-file --qu|--quiet"
    "$scratch/a-file $scratch/a-f|$scratch/a-file"
    "--output=$scratch/a-f|--output=$scratch/a-file"
    "-w $scratch/a-f|$scratch/a-file"
    "--help $scratch/a-f|"
  )
  local entry words expected offered
  for entry in "${cases[@]}"; do
    words=${entry%%|*} expected=${entry#*|}
    offered=$(bash -c 'source completion/notediag.bash
      read -ra COMP_WORDS <<<"notediag $1"; [[ $1 == *" " ]] && COMP_WORDS+=("")
      COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _notediag; echo "${COMPREPLY[*]}"' - "$words")
    [[ $offered == "$expected" ]] ||
      fail "completing 'notediag $words' offers '$offered', not '$expected'"
  done
  echo "${#cases[@]} cases"
}

check_install() {
  echo "--- cmake --install puts the tool, its page, completion and documents in place, nothing else"
  local prefix=$scratch/prefix
  cmake --install "$build" --prefix "$prefix" >"$scratch/install.log"
  cat "$scratch/install.log"
  local expected=(bin/notediag share/man/man1/notediag.1
    share/bash-completion/completions/notediag share/doc/notediag/README.md
    share/doc/notediag/examples/hello.note share/doc/notediag/examples/make-hello-note.sh
    share/doc/notediag/examples/seal-note.sh)
  local path
  for path in "${expected[@]}"; do
    [[ -f $prefix/$path ]] || fail "cmake --install left no $path"
  done
  (cd "$prefix" && find . -type f | sed 's|^\./||' | sort) >"$scratch/installed"
  if grep -Ev '^(bin/notediag|share/man/man1/notediag\.1|share/bash-completion/completions/notediag|share/doc/notediag/(README\.md|examples/[^/]+\.(note|sh)))$' \
    "$scratch/installed"; then
    fail "cmake --install put the files above where they do not belong"
  fi
  MANPATH=$prefix/share/man man -w notediag | grep -qx "$prefix/share/man/man1/notediag.1" ||
    fail "man -w does not find the installed page"
  # The page names the example where this install put it, and the example's script runs as it is.
  grep -q "^notediag $prefix/share/doc/notediag/examples/hello.note" \
    "$prefix/share/man/man1/notediag.1" || fail "the installed page names another example path"
  [[ -x $prefix/share/doc/notediag/examples/make-hello-note.sh ]] ||
    fail "the installed example script has no run bit"
  # The installed example script is run by sh from where it was installed (it sources its
  # sibling), from a read-only directory as a package's is, and writes the note that is shipped.
  if command -v openssl >/dev/null; then
    local examples=$prefix/share/doc/notediag/examples
    chmod a-w "$examples"
    sh "$examples/make-hello-note.sh" "$scratch/made.note" >/dev/null
    chmod u+w "$examples"
    cmp "$examples/hello.note" "$scratch/made.note" ||
      fail "the installed example script writes another note"
  fi
}

check_deb() {
  echo "--- cpack --preset $preset (DEB)"
  cpack --preset "$preset" >"$scratch/cpack.log" 2>&1 || {
    cat "$scratch/cpack.log"
    fail "cpack --preset $preset failed"
  }
  local deb
  deb=$build/notediag_${version}_$(dpkg --print-architecture).deb
  [[ -f $deb ]] || fail "cpack made no $deb"
  dpkg-deb --info "$deb"
  dpkg-deb --contents "$deb"
  local depends
  depends=$(dpkg-deb --field "$deb" Depends)
  [[ $depends =~ ^libc6(\ \(\>=\ [^\)]*\))?$ ]] || fail "the package depends on '$depends', not libc6 alone"

  echo "--- lintian (warnings are listed, errors fail)"
  local status=0
  lintian --display-info --fail-on error "$deb" >"$scratch/lintian.txt" 2>&1 || status=$?
  # Its remark that it runs as root, which CI does, is no finding.
  grep -v '^running with root privileges' "$scratch/lintian.txt" || true
  ((status == 0)) || fail "lintian found errors in $deb (status $status)"

  echo "--- the unpacked tool on the example note"
  dpkg -x "$deb" "$scratch/root"
  file "$scratch/root/usr/bin/notediag" | grep -q ', stripped' || fail "the packaged tool is not stripped"
  "$scratch/root/usr/bin/notediag" "$scratch/root/usr/share/doc/notediag/examples/hello.note" \
    'correct horse' >"$scratch/hello.out" 2>"$scratch/hello.err"
  cmp tests/data/hello.transcript "$scratch/hello.out" ||
    fail "the packaged tool prints another transcript"
  echo "notediag: check hash matches: the password is right and the document is intact" |
    cmp - "$scratch/hello.err" || fail "the packaged tool gives another verdict"
  echo "transcript and verdict as expected: $(basename "$deb")"
}

check_zip() {
  echo "--- cpack --preset $preset (ZIP)"
  cpack --preset "$preset" >"$scratch/cpack.log" 2>&1 || {
    cat "$scratch/cpack.log"
    fail "cpack --preset $preset failed"
  }
  local name=notediag-$version-win64
  [[ -f $build/$name.zip ]] || fail "cpack made no $build/$name.zip"
  unzip -l "$build/$name.zip" | tee "$scratch/zip.list"
  local path
  for path in notediag.exe README.md examples/hello.note; do
    grep -Eq " $name/$path\$" "$scratch/zip.list" || fail "$name.zip holds no $name/$path"
  done
  if unzip -Z1 "$build/$name.zip" | grep -Ev "^$name/(notediag\.exe|README\.md|examples/([^/]+\.(note|sh))?)$|/$"; then
    fail "$name.zip holds the files above, which do not belong in it"
  fi
}

case $preset in
  default)
    check_manual
    check_completion
    check_install
    check_deb
    ;;
  windows) check_zip ;;
  *) fail "no checks for preset '$preset' (default or windows)" ;;
esac
echo "package: $preset checks passed"
