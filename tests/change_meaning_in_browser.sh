#!/bin/bash
# The change_meaning_test's report in headless Chromium and its change set through jq: the
# highlights name what starts, what is trusted and what registers, each linking to its entry;
# the churn carries the noise mark; the change set parses line by line and holds the page's
# entries, counted as the page counts them; the README's jq lines run on it.
#   change_meaning_in_browser.sh BASE   (BASE.html and BASE.jsonl, made by change_meaning_test)
set -u
page=$1.html
changes=$1.jsonl
fail() { echo "FAIL: $*"; exit 1; }
[ -s "$page" ] && [ -s "$changes" ] || fail "no report or change set at $1 (made by change_meaning_test)"
browser=$(command -v chromium || command -v chromium-browser) || fail "chromium is not installed"
command -v jq >/dev/null || fail "jq is not installed"
sandbox=()
[ "$(id -u)" = 0 ] && sandbox=(--no-sandbox)

# The change set: every line an object; the first the run, the others items.
jq -e -s 'length > 1 and (.[0].type == "run") and (.[1:] | all(.type == "item"))' "$changes" \
    >/dev/null || fail "the change set does not parse as a run and its items"

# The page as the browser builds it, read by a script in a frame around it.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/harness.html" <<'HTML'
<!DOCTYPE html><html><body><iframe id="page"></iframe><pre id="result"></pre><script>
var frame = document.getElementById('page');
frame.addEventListener('load', function () {
    var doc = frame.contentDocument, out = {};
    var text = function (e) { return e.textContent.replace(/\s+/g, ' ').trim(); };
    out.entries = doc.querySelectorAll('ol.entries > li').length;
    out.noise = Array.from(doc.querySelectorAll('ol.entries > li.noise')).map(text);
    out.groups = {};
    doc.querySelectorAll('ul.highlights').forEach(function (ul) {
        out.groups[ul.className.replace('highlights', '').trim()] =
            Array.from(ul.children).map(text);
    });
    out.deadLinks = Array.from(doc.querySelectorAll('ul.highlights a[href^="#"]')).filter(
        function (a) { return !doc.getElementById(a.getAttribute('href').slice(1)); }).length;
    out.links = doc.querySelectorAll('ul.highlights a[href^="#"]').length;
    var counts = doc.getElementById('counts'), head = Array.from(counts.tHead.rows[0].cells).map(text);
    out.rows = {};
    Array.from(counts.tBodies[0].rows).forEach(function (row) {
        var cells = Array.from(row.cells).map(text), entry = {};
        head.forEach(function (h, i) { if (i) entry[h] = Number(cells[i] || 0); });
        out.rows[cells[0]] = entry;
    });
    document.getElementById('result').textContent = JSON.stringify(out);
});
frame.src = new URLSearchParams(location.search).get('page');
</script></body></html>
HTML
dom=$(timeout 120 "$browser" --headless --disable-gpu "${sandbox[@]}" --allow-file-access-from-files \
      --dump-dom "file://$work/harness.html?page=file://$(realpath "$page")" 2>/dev/null) ||
    fail "chromium could not load the report"
seen=$(sed -n 's/.*<pre id="result">\(.*\)<\/pre>.*/\1/p' <<<"$dom" |
       sed 's/&quot;/"/g; s/&lt;/</g; s/&gt;/>/g; s/&amp;/\&/g')
jq -e . >/dev/null 2>&1 <<<"$seen" || fail "the page was not read: $seen"
look() { jq -r "$1" <<<"$seen"; }

# Each planted change stands in its group of the highlights.
check_group() {
    local group=$1; shift
    for part in "$@"; do
        jq -e --arg g "$group" --arg p "$part" \
            '.groups[$g] // [] | any(ascii_downcase | contains($p | ascii_downcase))' \
            >/dev/null <<<"$seen" || fail "$group highlights lack $part: $(look ".groups.$group")"
    done
}
check_group autostart 'CurrentVersion\Run QvTool' 'Services\QvSvc' 'New service, starts automatically' 'Tasks\QvNightly'
check_group security 'ROOT\Certificates\0123456789ABCDEF' 'FirewallRules QvTool-In'
check_group registration 'Uninstall\QvTool' 'Uninstall entry: Qv Tool 1.2' 'Classes\.qvt' 'Qv.Document' 'Qv Tool.lnk'
[ "$(look '.deadLinks')" = 0 ] && [ "$(look '.links')" -gt 0 ] || fail "highlights link to no entry"
# The churn is marked, not hidden.
for part in 'qv-setup.tmp' 'QVTOOL.EXE-1A2B3C4D.pf' 'qv-readme.lnk'; do
    jq -e --arg p "$part" '.noise | any(contains($p))' >/dev/null <<<"$seen" ||
        fail "$part carries no noise mark"
done

# The change set holds the page's entries, counted per area as the page counts them.
[ "$(jq -s '.[1:] | length' "$changes")" = "$(look '.entries')" ] ||
    fail "the change set holds $(jq -s '.[1:] | length' "$changes") items, the page $(look '.entries') entries"
for area in $(jq -r '.areas[].area' <(head -n 1 "$changes")); do
    for pair in added:Added removed:Removed noise:Likely\ noise; do
        key=${pair%%:*} column=${pair#*:}
        run=$(jq --arg a "$area" --arg k "$key" '.areas[] | select(.area == $a) | .[$k]' <(head -n 1 "$changes"))
        if [ "$key" = noise ]; then
            items=$(jq -s --arg a "$area" '[.[1:][] | select(.area == $a and .category == "noise")] | length' "$changes")
        else
            items=$(jq -s --arg a "$area" --arg k "$key" '[.[1:][] | select(.area == $a and .change == $k)] | length' "$changes")
        fi
        shown=$(jq --arg a "$area" --arg c "$column" '.rows[$a][$c]' <<<"$seen")
        [ "$run" = "$items" ] && [ "$items" = "$shown" ] ||
            fail "$area $key: run line $run, items $items, page $shown"
    done
done

# The README's lines. The planted task's hash in the list of added files is what sha256sum says
# of the same bytes.
task=$(printf '<Task/>' | sha256sum | cut -d' ' -f1)
jq -r 'select(.item == "file" and .change == "added") | "\(.sha256 // .sha256Error)  \(.path)"' \
    "$changes" | grep -qiE "^$task  .*\\\\Tasks\\\\QvNightly\$" || fail "README's hash line"
jq -c 'select(.category == "autostart")' "$changes" | grep -q 'QvSvc' || fail "README's autostart line"
jq -s 'map(select(.type == "item")) | group_by(.category) | map({category: .[0].category, count: length})' \
    "$changes" | jq -e 'any(.category == "noise" and .count >= 3)' >/dev/null || fail "README's count line"
echo "change_meaning_in_browser: 1 passed, 0 failed"
