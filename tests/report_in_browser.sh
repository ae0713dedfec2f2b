#!/bin/bash
# Loads two reports in headless Chromium and reads what it builds:
# - one that the registry steps made from hostile names: the names must have added no element
#   and no script, and the counts must show;
# - a large one with marks (made by report_page_test): the filter box and the noise box must
#   show exactly the entries they should, and a section without entries must be one line.
#   report_in_browser.sh HOSTILE.html SAMPLE.html
set -u
report=$1
sample=$2
fail() { echo "FAIL: $*"; exit 1; }
[ -s "$report" ] || fail "no report at $report (made by step_registry_test)"
[ -s "$sample" ] || fail "no report at $sample (made by report_page_test)"
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
# A bidirectional control shows as a mark and is never in the page as it is (U+202E would turn
# the name into "invoice_exe.pdf").
grep -qF 'invoice_<span class="ctl">RLO</span>fdp.exe' <<<"$dom" || fail "no RLO mark in invoice_fdp.exe"
! LC_ALL=C grep -q $'\xe2\x80\xae' <<<"$dom" || fail "the page holds U+202E as it is"
# The counts: a row for the files and for the root, and the totals.
grep -q '<table class="counts"' <<<"$dom" || fail "no table of counts"
grep -qE '<tr><th>Files</th><td class="n">2</td><td class="n">0</td>' <<<"$dom" ||
    fail "the files row does not show 2 added"
grep -qE '<tr><th>HKEY_CURRENT_USER</th><td class="n">[0-9]+</td><td class="n">[1-9]' <<<"$dom" ||
    fail "the HKEY_CURRENT_USER row does not show the changed value"
grep -qE '<tr class="total"><th>Total</th>' <<<"$dom" || fail "no totals"

# The large page, in a frame of a page that works it as a person would and writes down, for
# each step, whether every entry the browser shows (checkVisibility) is one it should show.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/harness.html" <<'EOF'
<!DOCTYPE html><html><body><iframe id="page" style="width:1200px;height:800px"></iframe>
<pre id="result"></pre><script>
var frame = document.getElementById('page'), out = [];
frame.addEventListener('load', function () {
    try { work(frame.contentDocument); } catch (e) { out.push('FAIL: ' + e); }
    document.getElementById('result').textContent = out.join('\n') + '\nDONE';
});
frame.src = new URLSearchParams(location.search).get('page');
function work(doc) {
    var box = doc.getElementById('filter'), quiet = doc.getElementById('noise');
    var items = Array.from(doc.querySelectorAll('ol li'));
    var texts = items.map(function (li) { return li.textContent.toLowerCase(); });
    var noise = texts.map(function (text) { return text.endsWith(' likely noise'); });
    function step(what, term, hideNoise, expected) {
        box.value = term;
        box.dispatchEvent(new Event('input'));
        if (quiet.checked !== hideNoise) quiet.click();
        var shown = 0, wrong = 0;
        for (var i = 0; i < items.length; ++i) {
            var want = !(hideNoise && noise[i]) && texts[i].indexOf(term.toLowerCase()) >= 0;
            shown += want;
            wrong += items[i].checkVisibility() !== want;
        }
        var count = term === '' && !hideNoise ? '' : shown.toLocaleString('en') + ' of ' +
                    items.length.toLocaleString('en') + ' entries shown';
        var off = wrong || doc.getElementById('shown').textContent !== count ||
                  (expected !== undefined && shown !== expected);
        out.push((off ? 'FAIL: ' : 'ok: ') +
                 what + ': ' + shown + ' shown, ' + wrong + ' wrongly shown or hidden');
    }
    step('at first', '', false);
    step('noise hidden', '', true);
    step('noise hidden, filtered', 'FILE_1', true);
    step('only noise matches, hidden', 'tmp_', true);
    step('noise shown again, filtered', 'tmp_0', false);
    step('by a content hash', 'BA7816BF8F01', false, 1);
    step('cleared', '', false);
    var empty = Array.from(doc.querySelectorAll('details')).filter(function (d) {
        return / \(0\)$/.test(d.firstElementChild.textContent); });
    var tall = empty.filter(function (d) {
        return d.clientHeight > d.firstElementChild.clientHeight + 4; });
    out.push((empty.length && !tall.length ? 'ok: ' : 'FAIL: ') + empty.length +
             ' sections without entries, ' + tall.length + ' taller than a line');
}
</script></body></html>
EOF
result=$(timeout 120 "$browser" --headless --disable-gpu "${sandbox[@]}" --allow-file-access-from-files \
         --window-size=1280,1000 --dump-dom \
         "file://$work/harness.html?page=file://$(realpath "$sample")" 2>/dev/null) ||
    fail "chromium could not load the large report"
result=$(sed -n '/<pre id="result">/,/DONE/p' <<<"$result" | sed 's/<pre id="result">//')
grep -q DONE <<<"$result" || fail "the large report was not worked through: $result"
grep -q '^FAIL' <<<"$result" && fail "the large report: $(grep '^FAIL' <<<"$result")"
echo "$result" | grep '^ok'
echo "report_in_browser: 2 passed, 0 failed"
