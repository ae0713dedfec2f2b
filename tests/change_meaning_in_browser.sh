#!/bin/bash
# The change_meaning_test's report in headless Chromium and its change set through jq: the
# findings name each planted thing with its facts, grouped by what starts, what is trusted and
# what registers, each linking to its entries; the churn carries the noise mark; the change set
# parses line by line and holds the page's entries, counted as the page counts them, and a
# finding for each planted thing with the hashes sha256sum gives; the README's jq lines run on it.
#   change_meaning_in_browser.sh BASE   (BASE.html, BASE.jsonl and the planted files' copies,
#   made by change_meaning_test)
set -u
page=$1.html
changes=$1.jsonl
fail() { echo "FAIL: $*"; exit 1; }
[ -s "$page" ] && [ -s "$changes" ] || fail "no report or change set at $1 (made by change_meaning_test)"
browser=$(command -v chromium || command -v chromium-browser) || fail "chromium is not installed"
command -v jq >/dev/null || fail "jq is not installed"
sandbox=()
[ "$(id -u)" = 0 ] && sandbox=(--no-sandbox)

# The change set: every line an object; the first the run, then the items, then the findings.
jq -e -s 'length > 1 and (.[0].type == "run") and (.[1:] | map(.type) | . == sort_by(. != "item"))
          and (map(select(.type == "finding")) | length > 0)' "$changes" \
    >/dev/null || fail "the change set does not parse as a run, its items and its findings"

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
    doc.querySelectorAll('section.findings ul.findings').forEach(function (ul) {
        out.groups[ul.className.replace('findings', '').trim()] =
            Array.from(ul.children).map(function (li) { return li.innerText.replace(/\s+/g, ' ').trim(); });
    });
    out.deadLinks = Array.from(doc.querySelectorAll('ul.findings a[href^="#"]')).filter(
        function (a) { return !doc.getElementById(a.getAttribute('href').slice(1)); }).length;
    out.links = doc.querySelectorAll('ul.findings a[href^="#"]').length;
    // The entries of a finding are one click away: hidden until its list is opened.
    var first = doc.querySelector('li.finding details.entries');
    var shows = function () { return first.querySelector('ul a').checkVisibility() ? 1 : 0; };
    out.closedShows = first ? shows() : -1;
    if (first) first.querySelector('summary').click();
    out.openShows = first ? shows() : -1;
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

# Each planted thing is one finding in its group, with its facts; lone changes keep a line.
check_group() {
    local group=$1; shift
    for part in "$@"; do
        jq -e --arg g "$group" --arg p "$part" \
            '.groups[$g] // [] | any(ascii_downcase | contains($p | ascii_downcase))' \
            >/dev/null <<<"$seen" || fail "$group findings lack $part: $(look ".groups.$group")"
    done
}
tool='Runs C:\Tools\qvtool.exe: new in this change, 1 byte SHA-256'
check_group autostart 'Run entry added: QvTool command: C:\Tools\qvtool.exe' "$tool" \
    'Service added: QvSvc start: starts automatically type: own process account: LocalSystem program: C:\Svc\qvsvc.exe Runs C:\Svc\qvsvc.exe missing' \
    'Scheduled task added: \QvNightly command: C:\Tools\qvtool.exe /nightly "all" author: Qv & Co' \
    'Shortcut added: Quorvane agent file: cannot be read as a link' 'not signed' 'Startup folder of all users moved'
check_group security "Certificate added: $(cat "$1.thumbprint") store: Root subject: CN=Quorvane Meaning Root" \
    'Firewall rule added: QvTool-In action: Allow direction: In program: C:\Tools\qvtool.exe local ports: 8088' \
    'Antivirus cloud protection'
check_group registration 'Uninstall entry added: QvTool display name: Qv Tool version: 1.2' \
    'File type added: .qvt extension: .qvt program ID: Qv.Document opens with: "C:\Tools\qvtool.exe" "%1"' \
    'Shortcut added: Qv Tool target: C:\Tools\qvtool.exe arguments: /open' \
    'COM class added: {5156E1A0-0000-4E51-9A1E-0000000000C1} name: Qv Tool Extension DLL: C:\Tools\qvtool.exe threading: Both' \
    'Kind of link (protocol) with a default program of its own'
[ "$(look '.deadLinks')" = 0 ] && [ "$(look '.links')" -gt 0 ] || fail "findings link to no entry"
[ "$(look '.closedShows')" = 0 ] && [ "$(look '.openShows')" -gt 0 ] ||
    fail "a finding's entries are not one click away: $(look '.closedShows') $(look '.openShows')"
# One finding a planted thing, and the hashes of what they run as sha256sum gives them.
for kind in service run task uninstall filetype comclass certificate firewall; do
    [ "$(jq -s --arg k "$kind" '[.[] | select(.type == "finding" and .kind == $k and (.title | test("Qv|QUORVANE|Quorvane|5156E1A0|'"$(cat "$1.thumbprint")"'"; "i")))] | length' "$changes")" = 1 ] ||
        fail "not one $kind finding: $(jq -c --arg k "$kind" 'select(.type == "finding" and .kind == $k) | .title' "$changes")"
done
[ "$(jq -s '[.[] | select(.type == "finding" and .kind == "shortcut")] | length' "$changes")" = 2 ] ||
    fail "not two shortcut findings"
tool_hash=$(sha256sum <"$1.tool" | cut -d' ' -f1)
jq -e -s --arg h "$tool_hash" '[.[] | select(.type == "finding") | .files[] | select(.path == "C:\\Tools\\qvtool.exe")]
        | length >= 5 and all(.sha256 == $h and .new and .exists and .signature == "not signed")' \
    "$changes" >/dev/null || fail "qvtool.exe is not the same new, unsigned file of $tool_hash everywhere"
# The churn is marked, not hidden.
for part in 'qv-setup.tmp' 'QVTOOL.EXE-1A2B3C4D.pf' 'qv-readme.lnk'; do
    jq -e --arg p "$part" '.noise | any(contains($p))' >/dev/null <<<"$seen" ||
        fail "$part carries no noise mark"
done

# The change set holds the page's entries, counted per area as the page counts them.
items=$(jq -s 'map(select(.type == "item")) | length' "$changes")
[ "$items" = "$(look '.entries')" ] || fail "the change set holds $items items, the page $(look '.entries') entries"
for area in $(jq -r '.areas[].area' <(head -n 1 "$changes")); do
    for pair in added:Added removed:Removed noise:Likely\ noise; do
        key=${pair%%:*} column=${pair#*:}
        run=$(jq --arg a "$area" --arg k "$key" '.areas[] | select(.area == $a) | .[$k]' <(head -n 1 "$changes"))
        if [ "$key" = noise ]; then
            items=$(jq -s --arg a "$area" '[.[] | select(.type == "item" and .area == $a and .category == "noise")] | length' "$changes")
        else
            items=$(jq -s --arg a "$area" --arg k "$key" '[.[] | select(.type == "item" and .area == $a and .change == $k)] | length' "$changes")
        fi
        shown=$(jq --arg a "$area" --arg c "$column" '.rows[$a][$c]' <<<"$seen")
        [ "$run" = "$items" ] && [ "$items" = "$shown" ] ||
            fail "$area $key: run line $run, items $items, page $shown"
    done
done

# The README's lines. The planted task's hash in the list of added files is what sha256sum says
# of the same bytes.
task=$(sha256sum <"$1.task" | cut -d' ' -f1)
jq -r 'select(.item == "file" and .change == "added") | "\(.sha256 // .sha256Error)  \(.path)"' \
    "$changes" | grep -qiE "^$task  .*\\\\Tasks\\\\QvNightly\$" || fail "README's hash line"
jq -c 'select(.category == "autostart")' "$changes" | grep -q 'QvSvc' || fail "README's autostart line"
jq -r 'select(.type == "finding" and .category == "autostart") | .files[] | select(.signature == "not signed") | .path' \
    "$changes" | grep -qxF 'C:\Tools\qvtool.exe' || fail "README's unsigned autostart line"
jq -s 'map(select(.type == "item")) | group_by(.category) | map({category: .[0].category, count: length})' \
    "$changes" | jq -e 'any(.category == "noise" and .count >= 3)' >/dev/null || fail "README's count line"
echo "change_meaning_in_browser: 1 passed, 0 failed"
