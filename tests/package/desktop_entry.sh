#!/usr/bin/env bash
# The menu entry as desktops read it: desktop-file-validate finds nothing to report, and its name
# and comment are there in English, Simplified and Traditional Chinese.
set -euo pipefail
entry=$1
command -v desktop-file-validate >/dev/null || { echo "skipped: desktop-file-validate is not installed (tools/setup.sh installs it)"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }
report=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $report"
[[ -z $report ]] || fail "desktop-file-validate: $report"
for key in Name 'Name[zh_CN]' 'Name[zh_TW]' Comment 'Comment[zh_CN]' 'Comment[zh_TW]'; do
  awk -F= -v key="$key" '$1 == key && $2 != "" { found = 1 } END { exit !found }' "$entry" || fail "no $key in the entry"
done
echo "passed: $(sed -n 's/^Name\[zh_CN\]=//p' "$entry") / $(sed -n 's/^Name\[zh_TW\]=//p' "$entry") / $(sed -n 's/^Name=//p' "$entry")"
