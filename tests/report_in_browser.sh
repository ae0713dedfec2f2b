#!/bin/bash
# Loads a report that the registry steps made from hostile names in headless Chromium and reads
# the DOM it builds: the names must have added no element and no script, and the counts must show.
#   report_in_browser.sh REPORT.html
set -u
report=$1
fail() { echo "FAIL: $*"; exit 1; }
[ -s "$report" ] || fail "no report at $report (made by step_registry_test)"
browser=$(command -v chromium || command -v chromium-browser) || fail "chromium is not installed"
sandbox=()
[ "$(id -u)" = 0 ] && sandbox=(--no-sandbox)
dom=$(timeout 60 "$browser" --headless --disable-gpu "${sandbox[@]}" --dump-dom \
      "file://$(realpath "$report")" 2>/dev/null) || fail "chromium could not load the report"

count() { grep -o "$1" <<<"$dom" | wc -l; }
# The page's own: one script, which adds one input (the filter box).
[ "$(count '<script')" = 1 ] || fail "scripts in the DOM: $(count '<script') (1 expected)"
[ "$(count '<input')" = 1 ] || fail "the filter box is missing"
for tag in '<img' '<iframe' '<b>' '<i>'; do
    [ "$(count "$tag")" = 0 ] || fail "the data added an element: $tag"
done
# The hostile texts are there, as text.
for text in '&lt;script&gt;alert(1)&lt;/script&gt;' '&lt;img src=x onerror=alert(4)&gt;' \
            '&lt;b&gt;bold&lt;/b&gt;' '&lt;iframe src="javascript:alert(5)"&gt;' \
            "setup &amp; 'tools'\\new &amp;amp; 'copy'.txt" \
            'Gone"&gt;&lt;script&gt;alert(2)&lt;/script&gt;'; do
    grep -qF -- "$text" <<<"$dom" || fail "missing as text: $text"
done
# The counts: a row for the files and for the root, and the totals.
grep -q '<table class="counts"' <<<"$dom" || fail "no table of counts"
grep -qE '<tr><th>Files</th><td class="n">1</td><td class="n">0</td>' <<<"$dom" ||
    fail "the files row does not show 1 added"
grep -qE '<tr><th>HKEY_CURRENT_USER</th><td class="n">[0-9]+</td><td class="n">[1-9]' <<<"$dom" ||
    fail "the HKEY_CURRENT_USER row does not show the changed value"
grep -qE '<tr class="total"><th>Total</th>' <<<"$dom" || fail "no totals"
echo "report_in_browser: 1 passed, 0 failed"
