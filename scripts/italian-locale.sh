#!/usr/bin/env bash
# Generates the it_IT.UTF-8 locale into a private folder (use it with LOCPATH=FOLDER
# LANG=it_IT.UTF-8), for the language tests and the Italian screenshots. When it cannot
# be generated it says why and still ends with 0: those who use it then see no Italian
# system locale and skip or fall back.
# Usage: scripts/italian-locale.sh FOLDER
set -uo pipefail
folder=${1:?usage: $0 FOLDER}
[ -f "$folder/it_IT.UTF-8/LC_CTYPE" ] && exit 0
mkdir -p "$folder"
if ! command -v localedef >/dev/null; then
  echo "italian-locale: localedef missing (package locales): no Italian locale" >&2
  exit 0
fi
if ! output=$(localedef -i it_IT -f UTF-8 "$folder/it_IT.UTF-8" 2>&1); then
  echo "italian-locale: localedef failed (it may need root): $output" >&2
fi
exit 0
