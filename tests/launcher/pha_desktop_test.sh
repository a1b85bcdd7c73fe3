#!/usr/bin/env bash
# pha-desktop PATH: in a scratch home, for each documents folder the desktop
# may or may not have, the folder made and the folder pha runs in; a second
# start changes nothing. The stand-in pha first on PATH records where it ran
# and with what arguments.
set -euo pipefail
launcher=$1
command -v xdg-user-dir >/dev/null || { echo "needs xdg-user-dir (package xdg-user-dirs)"; exit 1; }
scratch=$(realpath "$(mktemp -d)")
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/bin"
cat >"$scratch/bin/pha" <<EOF_PHA
#!/bin/sh
echo "ran in \$(pwd -P) with \$# arguments: \$*" >"$scratch/ran"
EOF_PHA
chmod +x "$scratch/bin/pha"
export HOME=$scratch/home PATH=$scratch/bin:$PATH
unset XDG_CONFIG_HOME
failed=0
fail() { echo "FAILED: $case, $start start: $*"; failed=1; }

# case | XDG_DOCUMENTS_DIR below $HOME | made before (folder/ or file) | pha runs in | stderr lines
while IFS='|' read -r case documents made folder errors; do
  rm -rf "$HOME" && mkdir "$HOME"
  if [ "$documents" != - ]; then
    mkdir "$HOME/.config"
    echo "XDG_DOCUMENTS_DIR=\"\$HOME/$documents\"" >"$HOME/.config/user-dirs.dirs"
  fi
  case $made in -) ;; */) mkdir "$HOME/$made" ;; *) touch "$HOME/$made" ;; esac
  for start in first second; do
    before=$(find "$HOME" -printf '%M %T@ %p\n' | sort)
    rm -f "$scratch/ran"
    "$launcher" 2>"$scratch/stderr" || fail "exit status $?"
    after=$(find "$HOME" -printf '%M %T@ %p\n' | sort)
    [ "$(cat "$scratch/ran")" = "ran in $HOME$folder with 0 arguments: " ] ||
      fail "pha $(cat "$scratch/ran"), not in $HOME$folder with none"
    [ "$(wc -l <"$scratch/stderr")" -eq "$errors" ] || fail "stderr: $(cat "$scratch/stderr")"
    [ "$errors" -ne 0 ] || [ -d "$HOME$folder/data" ] || fail "no folder $HOME$folder/data"
    [ "$start" = first ] || [ "$before" = "$after" ] || fail "it changed $HOME"
  done
done <<'EOF_CASES'
a documents folder|Docs|Docs/|/Docs/pha|0
no documents folder|-|-|/pha|0
a documents folder named but missing|Docs|-|/pha|0
a file named pha where the folder would be|-|pha||1
EOF_CASES
[ "$failed" -eq 0 ] && echo "pha-desktop: 4 cases passed"
