#!/usr/bin/env bash
# pha-desktop PATH: in a scratch home (with a space in its name), for each
# documents folder the desktop may or may not have, the folder made and the
# folder pha runs in; a second start changes nothing. It runs as an ordinary
# account, for whom read-only folders are read-only (as root it starts
# itself again as nobody), and without xdg-user-dir on its PATH. The
# stand-in pha first on PATH records where it ran and with what arguments.
set -euo pipefail
launcher=$1
if [ "$(id -u)" -eq 0 ]; then
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  cp "$0" "$scratch/test.sh"
  cp "$launcher" "$scratch/pha-desktop"
  chown -R 65534:65534 "$scratch"
  setpriv --reuid=65534 --regid=65534 --clear-groups -- bash "$scratch/test.sh" "$scratch/pha-desktop"
  exit
fi
scratch=$(realpath "$(mktemp -d)")
trap 'chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT
mkdir "$scratch/bin"
cat >"$scratch/bin/pha" <<EOF_PHA
#!/bin/sh
echo "ran in \$(pwd -P) with \$# arguments: \$*" >"$scratch/ran"
EOF_PHA
chmod +x "$scratch/bin/pha"
ln -s "$(command -v mkdir)" "$scratch/bin/mkdir"
failed=0
fail() { echo "FAILED: $case, $start start: $*"; failed=1; }

# case | XDG_DOCUMENTS_DIR below $HOME (- none) | made before: folder/, read-only
# folder/-w, or file | pha runs in, below $HOME | lines on stderr
while IFS='|' read -r case documents made folder errors; do
  HOME="$scratch/a home"
  [ ! -e "$HOME" ] || { chmod -R u+w "$HOME"; rm -rf "$HOME"; }
  mkdir "$HOME"
  if [ "$documents" != - ]; then
    mkdir "$HOME/.config"
    echo "XDG_DOCUMENTS_DIR=\"\$HOME/$documents\"" >"$HOME/.config/user-dirs.dirs"
  fi
  for item in $made; do
    case $item in
      -) ;;
      */-w) mkdir "$HOME/${item%/-w}" && chmod a-w "$HOME/${item%/-w}" ;;
      */) mkdir "$HOME/$item" ;;
      *) touch "$HOME/$item" ;;
    esac
  done
  for start in first second; do
    before=$(find "$HOME" -printf '%M %T@ %p\n' | sort)
    rm -f "$scratch/ran"
    env -i HOME="$HOME" PATH="$scratch/bin" /bin/sh "$launcher" 2>"$scratch/stderr" ||
      fail "exit status $?"
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
the home folder named as the documents folder||-|/pha|0
a read-only documents folder|Docs|Docs/-w|/pha|0
a read-only folder pha in the documents folder|Docs|Docs/ Docs/pha/-w|/pha|0
files named pha where both folders would be|Docs|Docs/ Docs/pha pha||1
EOF_CASES
[ "$failed" -eq 0 ] && echo "pha-desktop: 7 cases passed"
