#!/usr/bin/env bash
# Brings po/en/*.po up to date with the code: every text marked with Tr, TrArgs or N_ gets an
# entry (new and changed ones with an empty English text to fill in).
#   scripts/update-catalogue.sh            # all parts
#   scripts/update-catalogue.sh app gui    # only those parts
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A PARTS=(
  [core]="src/base src/core src/edit src/render src/decode src/fx src/engine src/cd src/platform src/cli"
  [app]="src/app"
  [gui]="src/gui"
)
parts=("$@")
[ ${#parts[@]} -gt 0 ] || parts=(core app gui)

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for part in "${parts[@]}"; do
  [ -n "${PARTS[$part]:-}" ] || { echo "unknown part: $part (core, app or gui)" >&2; exit 2; }
  # shellcheck disable=SC2086
  find ${PARTS[$part]} \( -name '*.cpp' -o -name '*.h' \) | LC_ALL=C sort >"$tmp/files"
  xgettext --language=C++ --from-code=UTF-8 --keyword=Tr --keyword=TrArgs --keyword=QTr --keyword=N_ \
    --no-wrap --add-location=file --force-po --package-name=tarvok2 -o "$tmp/$part.pot" -f "$tmp/files"
  sed -i 's/charset=CHARSET/charset=UTF-8/' "$tmp/$part.pot"
  target="po/en/$part.po"
  if [ -f "$target" ]; then
    msgmerge --quiet --update --no-wrap --no-fuzzy-matching --backup=none "$target" "$tmp/$part.pot"
  else
    sed 's/^"Language: \\n"/"Language: en\\n"/' "$tmp/$part.pot" >"$target"
  fi
  echo "$target: $(msgattrib --untranslated --no-obsolete "$target" | grep -c '^msgid ' || true) entries to translate"
done
