#include "report/report_page.h"

#include <cstdio>

#include "report/unread_notes.h"
#include "text/utf8.h"

namespace {

// Entries of a section go in lists of this many, each laid out only when near the screen
// (content-visibility), so a page of 200,000 entries loads in seconds; its estimated height
// until then is its number of lines (--n), which the filter script keeps up to date.
constexpr unsigned long kListLength = 200;

constexpr std::string_view kStyle =
    "body{font:14px/1.45 system-ui,'Segoe UI',sans-serif;margin:24px;color:#1b1b1b;"
    "background:#fff}"
    "h1{font-size:22px;margin:0 0 4px}.run{color:#555;margin:0 0 16px}"
    "h2{font-size:17px;margin:22px 0 8px}h3{font-size:15px;margin:12px 0 4px}"
    "table{border-collapse:collapse;margin:0 0 16px}"
    "th,td{border:1px solid #ccc;padding:4px 10px;text-align:left}"
    "td.n{text-align:right;font-variant-numeric:tabular-nums}"
    "thead th{background:#f0f0f0}tr.total th,tr.total td{font-weight:bold;background:#f7f7f7}"
    "p.unreadable{margin:-8px 0 16px;color:#7a4b00}"
    "details{margin:0 0 10px;border:1px solid #ddd;border-radius:4px}"
    "summary{cursor:pointer;padding:6px 10px;background:#f4f6f8;font-weight:600}"
    "summary:only-child{list-style:none;cursor:default;font-weight:normal;color:#555}"
    "ol.entries{margin:0;padding:0 10px 0 4.6em;font-family:Consolas,'DejaVu Sans Mono',"
    "monospace;font-size:13px;overflow-wrap:anywhere;content-visibility:auto;"
    "contain-intrinsic-block-size:calc(var(--n,200)*1.45em)}"
    "ol.entries:first-of-type{padding-top:6px}ol.entries:last-child{padding-bottom:8px}"
    ".filtered ol.entries{list-style-type:none}li:target{background:#fff6bf}"
    ".kind{color:#666}.name{color:#0b4f8a}.size,.time,.hash{color:#666}.hash.unread{color:#7a4b00}"
    ".old{background:#fde8e8}.new{background:#e6f4e6}"
    ".ctl,.bad{color:#b00;background:#fff0d0;border-radius:2px}"
    ".mark{font:11px system-ui,'Segoe UI',sans-serif;margin-left:8px;padding:0 5px;"
    "border:1px solid #d5dce3;border-radius:8px;color:#4a5866;white-space:nowrap}"
    "li.noise>span{color:#8a8a8a}li.noise>.mark{border-color:#e2e2e2}"
    "ul.findings{margin:0 0 8px;padding-left:22px}ul.findings>li{margin:0 0 6px}"
    ".change,.title{font-weight:600}.meaning,.facts{color:#333}.also{color:#555;font-size:13px}"
    ".fact{margin-right:12px}.fact>b{font-weight:normal;color:#666}"
    ".runs{font-size:13px}.sig.unsigned,.sig.invalid,.runs .missing{color:#b00;font-weight:600}"
    "details.entries>summary{color:#0b4f8a;cursor:pointer;font-size:13px}"
    "details.entries ul{margin:2px 0;padding-left:18px;font-size:13px}"
    ".findings .path,.findings .name,.findings .old,.findings .new,.findings .text,"
    ".findings .fact>span,.findings .hash{"
    "font-family:Consolas,'DejaVu Sans Mono',monospace;font-size:13px;overflow-wrap:anywhere}"
    "#tools{margin:0 0 12px}#filter{padding:4px 8px;width:24em;margin-right:16px}"
    "#tools label{margin-right:16px}#shown{color:#555}";

// Shows only the entries that hold the filter text, and without the likely noise when its box
// is ticked; the page reads whole without it. The entries' texts are read once, at the first
// use, a list at a time: the line ends between its entries are its only ones, since an entry
// shows every control character as a picture. A list left without entries is hidden whole, and
// the entries of a hidden list keep their flags until it shows again: a keystroke writes only
// the flags that change in lists that show, and lists off the screen are not laid out.
constexpr std::string_view kScript =
    "<script>(function(){var at=document.getElementById('entries');if(!at)return;"
    "var bar=document.createElement('div');bar.id='tools';"
    "var box=document.createElement('input');box.type='search';box.id='filter';"
    "box.placeholder='Filter entries';bar.appendChild(box);var quiet=null;"
    "if(document.querySelector('ol.entries>li.noise')){"
    "var label=document.createElement('label');quiet=document.createElement('input');"
    "quiet.type='checkbox';quiet.id='noise';label.appendChild(quiet);"
    "label.appendChild(document.createTextNode(' Hide likely noise'));bar.appendChild(label);}"
    "var status=document.createElement('span');status.id='shown';bar.appendChild(status);"
    "at.parentNode.insertBefore(bar,at.nextSibling);"
    "var lists,items=null,texts=[],noise=[],first=[0],shown,counts=[];"
    "function gather(){lists=document.querySelectorAll('ol.entries');items=[];"
    "for(var l=0;l<lists.length;++l){"
    "var lines=lists[l].textContent.toLowerCase().split('\\n'),k=1,"
    "whole=lines.length===lists[l].children.length+2;"
    "for(var li=lists[l].firstElementChild;li;li=li.nextElementSibling,++k){items.push(li);"
    "texts.push(whole?lines[k]:li.textContent.toLowerCase());"
    "noise.push(li.className==='noise');}"
    "first.push(items.length);counts.push(-1);}"
    "shown=new Uint8Array(items.length).fill(1);}"
    "function apply(){if(!items)gather();"
    "var t=box.value.toLowerCase(),q=quiet!==null&&quiet.checked,total=0,"
    "want=new Uint8Array(items.length);"
    "for(var l=0;l<lists.length;++l){var n=0,i;"
    "for(i=first[l];i<first[l+1];++i){"
    "if(!(q&&noise[i])&&(t===''||texts[i].indexOf(t)>=0)){want[i]=1;++n;}}"
    "if(n!==0){for(i=first[l];i<first[l+1];++i){"
    "if(want[i]!==shown[i]){shown[i]=want[i];items[i].hidden=!want[i];}}}"
    "if(n!==counts[l]){counts[l]=n;lists[l].hidden=n===0;lists[l].style.setProperty('--n',n);}"
    "total+=n;}"
    "var all=t===''&&!q;document.body.classList.toggle('filtered',!all);"
    "status.textContent=all?'':total.toLocaleString('en')+' of '+"
    "items.length.toLocaleString('en')+' entries shown';}"
    "box.addEventListener('input',apply);if(quiet)quiet.addEventListener('change',apply);"
    "})();</script>";

// The highlight groups, in the order the page shows them.
struct HighlightGroup {
    ChangeCategory category;
    std::string_view heading;
};
constexpr HighlightGroup kHighlightGroups[] = {
    {ChangeCategory::Autostart, "Autostart: starts programs"},
    {ChangeCategory::Security, "Security: changes what is trusted"},
    {ChangeCategory::Registration, "Registration: registers programs"},
};

// What the head says of the places of an area that a step could not read, folders or keys.
constexpr struct {
    unsigned long ReportArea::*count;
    CountNouns folders, keys;
} kUnreadableNotes[] = {
    {&ReportArea::unreadable,
     {"folder could not be listed; nothing below it is reported removed.",
      "folders could not be listed; nothing below them is reported removed."},
     {"key could not be read; nothing below it is reported removed.",
      "keys could not be read; nothing below them is reported removed."}},
    {&ReportArea::unreadAtBaseline, kUnlistedAtBaselineNouns, kUnreadAtBaselineNouns},
};
constexpr std::string_view kTypesUnknown =
    ": the baseline was taken by an earlier build, which kept no record of its lines, so a "
    "value changed in type only does not show.";
constexpr std::string_view kNewFoldersByTime =
    ": the baseline was taken by an earlier build, which kept no list of folders, so a new "
    "folder is one created after it.";

// Printable ASCII that HTML takes as it is.
bool IsPlainAscii(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte < 0x7F && c != '&' && c != '<' && c != '>' && c != '"' &&
           c != '\'';
}

void AppendNumber(std::string& html, std::uint64_t value) { html += std::to_string(value); }

void AppendCount(std::string& html, unsigned long value) {
    html += "<td class=\"n\">";
    AppendNumber(html, value);
    html += "</td>";
}

void AppendSpan(std::string& html, const char* cls, std::string_view text) {
    html += "<span class=\"";
    html += cls;
    html += "\">";
    AppendEscaped(html, text);
    html += "</span>";
}

void AppendSize(std::string& html, std::uint64_t size) {
    html += " <span class=\"size\">";
    AppendNumber(html, size);
    html += size == 1 ? " byte</span>" : " bytes</span>";
}

void AppendHash(std::string& html, const ContentHash& hash) {
    if (!hash.sha256.empty()) {
        html += " <span class=\"hash\">SHA-256 ";
        AppendEscaped(html, hash.sha256);
        html += "</span>";
    } else if (!hash.error.empty()) {
        html += " <span class=\"hash unread\">no SHA-256: ";
        AppendEscaped(html, hash.error);
        html += "</span>";
    }
}

void AppendCountsTable(std::string& html, const std::vector<ReportArea>& areas) {
    html += "<table class=\"counts\" id=\"counts\">\r\n<thead><tr>"
            "<th>Area</th><th>Added</th><th>Modified or changed</th><th>Removed</th>"
            "<th>New folders</th><th>Likely noise</th></tr></thead>\r\n<tbody>\r\n";
    ReportArea total;
    for (const ReportArea& area : areas) {
        html += "<tr><th>";
        AppendEscaped(html, area.name);
        html += "</th>";
        AppendCount(html, area.added);
        AppendCount(html, area.modified);
        AppendCount(html, area.removed);
        if (area.files) {
            AppendCount(html, area.newFolders);
        } else {
            html += "<td></td>";
        }
        AppendCount(html, area.noise);
        html += "</tr>\r\n";
        total.added += area.added;
        total.modified += area.modified;
        total.removed += area.removed;
        total.newFolders += area.newFolders;
        total.noise += area.noise;
    }
    html += "<tr class=\"total\"><th>Total</th>";
    AppendCount(html, total.added);
    AppendCount(html, total.modified);
    AppendCount(html, total.removed);
    AppendCount(html, total.newFolders);
    AppendCount(html, total.noise);
    html += "</tr>\r\n</tbody>\r\n</table>\r\n";

    bool any = false;
    auto note = [&](const ReportArea& area) {
        html += any ? " " : "<p class=\"unreadable\">";
        any = true;
        AppendEscaped(html, area.name);
    };
    for (const ReportArea& area : areas) {
        for (const auto& row : kUnreadableNotes) {
            const unsigned long count = area.*row.count;
            if (count == 0) continue;
            note(area);
            html += ": ";
            AppendNumber(html, count);
            const CountNouns& nouns = area.files ? row.folders : row.keys;
            html += ' ';
            html += count == 1 ? nouns.one : nouns.many;
        }
        if (area.files ? area.newFoldersByTime : area.typesUnknown) {
            note(area);
            html += area.files ? kNewFoldersByTime : kTypesUnknown;
        }
    }
    if (any) html += "</p>\r\n";
}

// A value's key path and name, as the entries show them.
void AppendValuePlace(std::string& html, std::string_view keyPath, std::string_view name) {
    AppendSpan(html, "path", keyPath);
    html += " ";
    AppendSpan(html, "name", name.empty() ? std::string_view("(Default)") : name);
}

// What happened and where: "added" and a path, or a value's key path and name.
void AppendChangeAt(std::string& html, std::string_view change, std::string_view place,
                    std::string_view name, bool value) {
    html += "<span class=\"change\">";
    AppendEscaped(html, change);
    html += "</span> ";
    if (value) {
        AppendValuePlace(html, place, name);
    } else {
        AppendSpan(html, "path", place);
    }
}

void AppendHighlight(std::string& html, const ReportHighlight& item) {
    html += "<li class=\"line\">";
    AppendChangeAt(html, item.change, item.place, item.name, item.value);
    if (item.change == "changed") {
        html += ": ";
        AppendSpan(html, "old", item.oldText);
        html += " \xE2\x86\x92 ";  // an arrow
        AppendSpan(html, "new", item.newText);
    } else if (!item.newText.empty() || !item.oldText.empty()) {
        html += " = ";
        AppendSpan(html, "text", item.newText.empty() ? item.oldText : item.newText);
    }
    if (!item.anchor.empty()) {
        html += " <a href=\"#";
        AppendEscaped(html, item.anchor);
        html += "\">in the list</a>";
    }
    if (!item.meaning.empty()) {
        html += "<div class=\"meaning\">";
        AppendEscaped(html, item.meaning);
        html += "</div>";
    }
    if (!item.alsoAt.empty()) {
        html += "<div class=\"also\">Also at ";
        for (std::size_t i = 0; i < item.alsoAt.size(); ++i) {
            if (i != 0) html += ", ";
            AppendSpan(html, "path", item.alsoAt[i]);
        }
        html += "</div>";
    }
    html += "</li>\r\n";
}

// A fact's name as people read it: "displayName" as "display name".
void AppendFactName(std::string& html, std::string_view name) {
    constexpr std::pair<std::string_view, std::string_view> kWords[] = {
        {"serviceDll", "service DLL"}, {"progId", "program ID"}, {"dll", "DLL"},
        {"open", "opens with"},        {"uninstall", "uninstall command"}};
    for (const auto& [fact, words] : kWords) {
        if (fact == name) {
            html += words;
            return;
        }
    }
    for (const char c : name) {
        if (c >= 'A' && c <= 'Z') {
            html += ' ';
            html += static_cast<char>(c - 'A' + 'a');
        } else {
            html += c;
        }
    }
}

// A file a finding runs or loads: where it is, whether it is new, its size, hash and signature.
void AppendFindingFile(std::string& html, const FindingFile& file) {
    html += "<div class=\"runs\">Runs ";
    AppendSpan(html, "path", file.path);
    if (!file.exists) {
        html += " <span class=\"missing\">missing</span></div>";
        return;
    }
    html += file.isNew ? ": new in this change," : ": already there,";
    AppendSize(html, file.size);
    AppendHash(html, {file.sha256, file.why});
    if (file.signature == "valid") {
        html += ", <span class=\"sig valid\">signed by ";
        AppendEscaped(html, file.signer);
        html += "</span>";
    } else if (file.signature == "not valid") {
        html += ", <span class=\"sig invalid\">signed";
        if (!file.signer.empty()) html += " by ";
        AppendEscaped(html, file.signer);
        html += " but not valid";
        if (!file.why.empty()) html += ": ";
        AppendEscaped(html, file.why);
        html += "</span>";
    } else if (file.signature == "not signed") {
        html += ", <span class=\"sig unsigned\">not signed</span>";
    }
    html += "</div>";
}

// A finding: its title and facts on one line, what it runs, and its entries one click away.
void AppendFinding(std::string& html, const Finding& finding) {
    html += "<li class=\"finding\" data-kind=\"";
    AppendEscaped(html, finding.kind);
    html += "\">";
    AppendSpan(html, "title", finding.title);
    if (!finding.facts.empty()) html += "<div class=\"facts\">";
    for (const auto& [name, text] : finding.facts) {
        if (&text != &finding.facts.front().second) html += ' ';
        html += "<span class=\"fact\"><b>";
        AppendFactName(html, name);
        html += ":</b> ";
        AppendSpan(html, "text", text);
        html += "</span>";
    }
    if (!finding.facts.empty()) html += "</div>";
    for (const FindingFile& file : finding.files) AppendFindingFile(html, file);
    html += "<details class=\"entries\"><summary>";
    AppendNumber(html, finding.entries.size());
    html += finding.entries.size() == 1 ? " entry" : " entries";
    html += "</summary><ul>";
    for (const FindingEntry& entry : finding.entries) {
        html += "<li><a href=\"#";
        AppendEscaped(html, entry.anchor);
        html += "\">";
        AppendChangeAt(html, entry.change, entry.path, entry.name, entry.value);
        html += "</a></li>";
    }
    html += "</ul></details></li>\r\n";
}

// The findings, and the changes no finding takes in, grouped by category.
void AppendFindings(std::string& html, const std::vector<Finding>& findings,
                    const std::vector<ReportHighlight>& highlights) {
    html += "<section class=\"findings\">\r\n<h2>Findings</h2>\r\n";
    bool any = false;
    for (const HighlightGroup& group : kHighlightGroups) {
        unsigned long count = 0;
        for (const Finding& finding : findings) count += finding.category == group.category;
        for (const ReportHighlight& item : highlights) count += item.category == group.category;
        if (count == 0) continue;
        any = true;
        html += "<h3>";
        html += group.heading;
        html += " (";
        AppendNumber(html, count);
        html += ")</h3>\r\n<ul class=\"findings ";
        html += CategoryName(group.category);
        html += "\">\r\n";
        for (const Finding& finding : findings) {
            if (finding.category == group.category) AppendFinding(html, finding);
        }
        for (const ReportHighlight& item : highlights) {
            if (item.category == group.category) AppendHighlight(html, item);
        }
        html += "</ul>\r\n";
    }
    if (!any) {
        html += "<p class=\"none\">No change starts a program, changes what is trusted or "
                "registers a program.</p>\r\n";
    }
    html += "</section>\r\n";
}

// Why Quorvane_Undo.reg cannot give some values back, one sentence or none.
void AppendNotRestored(std::string& html, const ReportFiles& files) {
    const struct {
        unsigned long count;
        std::string_view why;
    } reasons[] = {
        {files.notRestoredTypeUnknown, "whose type the baseline, taken by an earlier version, "
                                       "does not record"},
        {files.notRestoredDataNotExact, "whose data the baseline's text cannot give back "
                                        "exactly"},
    };
    bool any = false;
    for (const auto& reason : reasons) {
        if (reason.count == 0) continue;
        html += any ? " and " : " It cannot restore ";
        any = true;
        AppendNumber(html, reason.count);
        html += reason.count == 1 ? " value " : " values ";
        html += reason.why;
    }
    if (any) html += ".";
}

void AppendFiles(std::string& html, const ReportFiles& files) {
    if (files.changeSet.empty() && files.redoReg.empty() && files.undoReg.empty() &&
        files.undoCmd.empty()) {
        return;
    }
    html += "<section class=\"files\">\r\n<h2>Written beside this report</h2>\r\n";
    // Starts the file's paragraph when it was written.
    const auto written = [&](const std::string& name, std::string_view does) {
        if (name.empty()) return false;
        html += "<p><code>";
        AppendEscaped(html, name);
        html += "</code>";
        html += does;
        return true;
    };
    if (written(files.changeSet, " holds every change for scripts: one JSON object a line.")) {
        html += "</p>\r\n";
    }
    if (written(files.redoReg, " carries the registry change to another machine.")) {
        html += "</p>\r\n";
    }
    if (written(files.undoReg, " takes the registry change back.")) {
        AppendNotRestored(html, files);
        html += "</p>\r\n";
    }
    if (written(files.undoCmd, " deletes the added files and new folders, then imports ")) {
        AppendEscaped(html, files.undoReg.empty() ? "Quorvane_Undo.reg" : files.undoReg);
        html += ".</p>\r\n";
    }
    html += "<p>Read them before you use them: Quorvane never runs them.</p>\r\n</section>\r\n";
}

// The bidirectional controls, by their UTF-8 bytes. Written as they are, they would reorder what
// follows them ("invoice_" U+202E "fdp.exe" shows as "invoice_exe.pdf"), so the page shows each
// as a mark with its short name.
struct BidiControl {
    std::string_view utf8, name;
};
constexpr BidiControl kBidiControls[] = {
    {"\xD8\x9C", "ALM"},     {"\xE2\x80\x8E", "LRM"}, {"\xE2\x80\x8F", "RLM"},
    {"\xE2\x80\xAA", "LRE"}, {"\xE2\x80\xAB", "RLE"}, {"\xE2\x80\xAC", "PDF"},
    {"\xE2\x80\xAD", "LRO"}, {"\xE2\x80\xAE", "RLO"}, {"\xE2\x81\xA6", "LRI"},
    {"\xE2\x81\xA7", "RLI"}, {"\xE2\x81\xA8", "FSI"}, {"\xE2\x81\xA9", "PDI"},
};

// The bidirectional control that text starts with, or null.
const BidiControl* BidiControlAt(std::string_view text) {
    for (const BidiControl& control : kBidiControls) {
        if (text.starts_with(control.utf8)) return &control;
    }
    return nullptr;
}

}  // namespace

void AppendEscaped(std::string& html, std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        // Most of a path or text is printable ASCII that needs no escape: copied as a run.
        std::size_t run = i;
        while (run < text.size() && IsPlainAscii(text[run])) ++run;
        html.append(text.data() + i, run - i);
        if (run == text.size()) break;
        i = run;
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
            case '&': html += "&amp;"; ++i; continue;
            case '<': html += "&lt;"; ++i; continue;
            case '>': html += "&gt;"; ++i; continue;
            case '"': html += "&quot;"; ++i; continue;
            case '\'': html += "&#39;"; ++i; continue;
            default: break;
        }
        if (c < 0x20 || c == 0x7F) {
            // U+2400 and on are the control pictures; U+2421 stands for DEL.
            const unsigned picture = c == 0x7F ? 0x2421 : 0x2400 + c;
            char utf8[4] = {static_cast<char>(0xE0 | (picture >> 12)),
                            static_cast<char>(0x80 | ((picture >> 6) & 0x3F)),
                            static_cast<char>(0x80 | (picture & 0x3F)), 0};
            html += "<span class=\"ctl\">";
            html += utf8;
            html += "</span>";
            ++i;
            continue;
        }
        if (const BidiControl* control = BidiControlAt(text.substr(i))) {
            html += "<span class=\"ctl\">";
            html += control->name;
            html += "</span>";
            i += control->utf8.size();
            continue;
        }
        const std::size_t length = DecodeUtf8(text, i).length;
        if (length == 0) {
            char hex[48];
            std::snprintf(hex, sizeof hex, "<span class=\"bad\">\\x%02X</span>", c);
            html += hex;
            ++i;
            continue;
        }
        html.append(text.substr(i, length));
        i += length;
    }
}

void ReportPage::Head(std::string_view runTime, std::string_view computer,
                      const std::vector<ReportArea>& areas,
                      const std::vector<ReportHighlight>& highlights, const ReportFiles& files,
                      const std::vector<Finding>& findings) {
    piece_ +=
        "<!DOCTYPE html>\r\n<html lang=\"en\">\r\n<head>\r\n<meta charset=\"utf-8\">\r\n"
        "<meta name=\"viewport\" content=\"width=device-width\">\r\n"
        "<title>Quorvane report</title>\r\n<style>";
    piece_ += kStyle;
    piece_ += "</style>\r\n</head>\r\n<body>\r\n<h1>Quorvane report</h1>\r\n<p class=\"run\">Run ";
    AppendEscaped(piece_, runTime);
    piece_ += " on ";
    AppendEscaped(piece_, computer);
    piece_ += "</p>\r\n<table class=\"areas\">\r\n<thead><tr><th>Area</th><th>Compared</th>"
              "<th>Baseline taken</th></tr></thead>\r\n<tbody>\r\n";
    for (const ReportArea& area : areas) {
        piece_ += "<tr><th>";
        AppendEscaped(piece_, area.name);
        piece_ += "</th><td>";
        AppendEscaped(piece_, area.places);
        piece_ += "</td><td>";
        AppendEscaped(piece_, area.baselineTime);
        piece_ += "</td></tr>\r\n";
    }
    piece_ += "</tbody>\r\n</table>\r\n";
    AppendCountsTable(piece_, areas);
    AppendFindings(piece_, findings, highlights);
    AppendFiles(piece_, files);
    // The sections follow; the filter script puts its box under this heading.
    piece_ += "<h2 id=\"entries\">Every change</h2>\r\n";
    Emit();
}

void ReportPage::BeginSection(std::string_view title, unsigned long count) {
    sectionCount_ = count;
    sectionItems_ = 0;
    piece_ += "<details open><summary>";
    AppendEscaped(piece_, title);
    piece_ += " (";
    AppendNumber(piece_, count);
    piece_ += ")</summary>\r\n";
    Emit();
}

void ReportPage::EndSection() {
    if (sectionItems_ != 0) piece_ += "</ol>\r\n";
    piece_ += "</details>\r\n";
    Emit();
}

void ReportPage::BeginItem(const ItemMark& mark) {
    if (sectionItems_ % kListLength == 0) {
        if (sectionItems_ != 0) piece_ += "</ol>\r\n";
        piece_ += "<ol class=\"entries\"";
        if (sectionItems_ != 0) {
            piece_ += " start=\"";
            AppendNumber(piece_, sectionItems_ + 1);
            piece_ += "\"";
        }
        // The last list of a section is shorter: its estimated height says so.
        if (sectionCount_ > sectionItems_ && sectionCount_ - sectionItems_ < kListLength) {
            piece_ += " style=\"--n:";
            AppendNumber(piece_, sectionCount_ - sectionItems_);
            piece_ += "\"";
        }
        piece_ += ">\r\n";
    }
    ++sectionItems_;
    const std::string_view category = CategoryName(mark.category);
    if (category.empty() && mark.anchor.empty()) {
        piece_ += "<li>";
        return;
    }
    piece_ += "<li";
    if (!category.empty()) {
        piece_ += " class=\"";
        piece_ += category;
        piece_ += "\"";
    }
    if (!mark.anchor.empty()) {
        piece_ += " id=\"";
        AppendEscaped(piece_, mark.anchor);
        piece_ += "\"";
    }
    piece_ += ">";
}

void ReportPage::EndItem(const ItemMark& mark) {
    if (mark.category == ChangeCategory::Noise) {
        piece_ += " <span class=\"mark\">likely noise</span>";
    } else if (mark.category != ChangeCategory::None) {
        piece_ += " <span class=\"mark\">";
        piece_ += CategoryName(mark.category);
        piece_ += "</span>";
    }
    piece_ += "</li>\r\n";
    Emit();
}

void ReportPage::AddedFile(std::string_view path, std::uint64_t size, const ItemMark& mark,
                           const ContentHash& hash) {
    BeginItem(mark);
    AppendSpan(piece_, "path", path);
    AppendSize(piece_, size);
    AppendHash(piece_, hash);
    EndItem(mark);
}

void ReportPage::ModifiedFile(std::string_view path, std::uint64_t oldSize, std::uint64_t newSize,
                              std::string_view changeTime, const ItemMark& mark,
                              const ContentHash& hash) {
    BeginItem(mark);
    AppendSpan(piece_, "path", path);
    piece_ += " <span class=\"size\">";
    AppendNumber(piece_, oldSize);
    piece_ += " \xE2\x86\x92 ";
    AppendNumber(piece_, newSize);
    piece_ += " bytes</span> <span class=\"time\">changed ";
    AppendEscaped(piece_, changeTime);
    piece_ += "</span>";
    AppendHash(piece_, hash);
    EndItem(mark);
}

void ReportPage::RemovedFile(std::string_view path, std::uint64_t size, const ItemMark& mark) {
    AddedFile(path, size, mark);
}

void ReportPage::Folder(std::string_view path, const ItemMark& mark) {
    BeginItem(mark);
    AppendSpan(piece_, "path", path);
    EndItem(mark);
}

void ReportPage::Key(std::string_view path, const ItemMark& mark) {
    BeginItem(mark);
    piece_ += "<span class=\"kind\">key</span> ";
    AppendSpan(piece_, "path", path);
    EndItem(mark);
}

void ReportPage::RemovedKey(std::string_view path, const ItemMark& mark) { Key(path, mark); }

void ReportPage::ValueStart(std::string_view keyPath, std::string_view name,
                            const ItemMark& mark) {
    BeginItem(mark);
    piece_ += "<span class=\"kind\">value</span> ";
    AppendValuePlace(piece_, keyPath, name);
    piece_ += " = ";
}

void ReportPage::Value(std::string_view keyPath, std::string_view name, std::string_view text,
                       const ItemMark& mark) {
    ValueStart(keyPath, name, mark);
    AppendSpan(piece_, "text", text);
    EndItem(mark);
}

void ReportPage::RemovedValue(std::string_view keyPath, std::string_view name,
                              std::string_view text, const ItemMark& mark) {
    Value(keyPath, name, text, mark);
}

void ReportPage::ChangedValue(std::string_view keyPath, std::string_view name,
                              std::string_view oldText, std::string_view newText,
                              const ItemMark& mark) {
    ValueStart(keyPath, name, mark);
    AppendSpan(piece_, "old", oldText);
    piece_ += " \xE2\x86\x92 ";
    AppendSpan(piece_, "new", newText);
    EndItem(mark);
}

void ReportPage::RenamedPath(std::string_view oldPath, std::string_view newPath,
                             const ItemMark& mark) {
    BeginItem(mark);
    AppendSpan(piece_, "old", oldPath);
    piece_ += " \xE2\x86\x92 ";
    AppendSpan(piece_, "path", newPath);
    EndItem(mark);
}

void ReportPage::RenamedValue(std::string_view keyPath, std::string_view oldName,
                              std::string_view newName, const ItemMark& mark) {
    BeginItem(mark);
    piece_ += "<span class=\"kind\">value</span> ";
    AppendSpan(piece_, "path", keyPath);
    piece_ += " ";
    AppendSpan(piece_, "old", oldName.empty() ? std::string_view("(Default)") : oldName);
    piece_ += " \xE2\x86\x92 ";
    AppendSpan(piece_, "name", newName.empty() ? std::string_view("(Default)") : newName);
    EndItem(mark);
}

void ReportPage::RetypedValue(std::string_view keyPath, std::string_view name,
                              std::string_view text, std::string_view oldType,
                              std::string_view newType, const ItemMark& mark) {
    ValueStart(keyPath, name, mark);
    AppendSpan(piece_, "text", text);
    piece_ += " <span class=\"type\">";
    AppendEscaped(piece_, oldType);
    piece_ += " \xE2\x86\x92 ";
    AppendEscaped(piece_, newType);
    piece_ += "</span>";
    EndItem(mark);
}

void ReportPage::RemovedEntry(std::string_view line, const ItemMark& mark) {
    BeginItem(mark);
    AppendSpan(piece_, "line", line);
    EndItem(mark);
}

void ReportPage::Tail() {
    piece_ += kScript;
    piece_ += "\r\n</body>\r\n</html>\r\n";
    Emit();
}
