#include "report/report_page.h"

#include <cstdio>

namespace {

constexpr std::string_view kStyle =
    "body{font:14px/1.45 system-ui,'Segoe UI',sans-serif;margin:24px;color:#1b1b1b;"
    "background:#fff}"
    "h1{font-size:22px;margin:0 0 4px}.run{color:#555;margin:0 0 16px}"
    "table{border-collapse:collapse;margin:0 0 16px}"
    "th,td{border:1px solid #ccc;padding:4px 10px;text-align:left}"
    "td.n{text-align:right;font-variant-numeric:tabular-nums}"
    "thead th{background:#f0f0f0}tr.total th,tr.total td{font-weight:bold;background:#f7f7f7}"
    "details{margin:0 0 10px;border:1px solid #ddd;border-radius:4px}"
    "summary{cursor:pointer;padding:6px 10px;background:#f4f6f8;font-weight:600}"
    "ol{margin:0;padding:6px 10px 8px 44px;font-family:Consolas,'DejaVu Sans Mono',monospace;"
    "font-size:13px;overflow-wrap:anywhere}"
    ".kind{color:#666}.name{color:#0b4f8a}.size,.time{color:#666}"
    ".old{background:#fde8e8}.new{background:#e6f4e6}"
    ".ctl,.bad{color:#b00;background:#fff0d0;border-radius:2px}"
    "#filter{margin:0 0 12px;padding:4px 8px;width:24em}";

// Shows only the entries that hold the filter text; the page reads whole without it.
constexpr std::string_view kScript =
    "<script>(function(){var box=document.createElement('input');box.type='search';"
    "box.id='filter';box.placeholder='Filter entries';"
    "var first=document.querySelector('details');if(!first)return;"
    "first.parentNode.insertBefore(box,first);"
    "box.addEventListener('input',function(){var t=box.value.toLowerCase();"
    "document.querySelectorAll('li').forEach(function(li){"
    "li.hidden=t!==''&&li.textContent.toLowerCase().indexOf(t)<0;});});})();</script>";

// Length of the UTF-8 sequence that starts text at i, or 0 when the bytes there are not one.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
    } else {
        return 0;
    }
    if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    }
    return length;
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

}  // namespace

void AppendEscaped(std::string& html, std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
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
        const std::size_t length = Utf8Length(text, i);
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

void ReportPage::Emit() {
    if (ok_ && !piece_.empty()) ok_ = sink_(piece_);
    piece_.clear();
}

void ReportPage::Head(std::string_view runTime, std::string_view computer,
                      const std::vector<ReportArea>& areas) {
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
    piece_ += "</tbody>\r\n</table>\r\n<table class=\"counts\" id=\"counts\">\r\n<thead><tr>"
              "<th>Area</th><th>Added</th><th>Modified or changed</th><th>Removed</th>"
              "<th>New folders</th></tr></thead>\r\n<tbody>\r\n";
    ReportArea total;
    total.name = "Total";
    for (const ReportArea& area : areas) {
        piece_ += "<tr><th>";
        AppendEscaped(piece_, area.name);
        piece_ += "</th>";
        AppendCount(piece_, area.added);
        AppendCount(piece_, area.modified);
        AppendCount(piece_, area.removed);
        if (area.files) {
            AppendCount(piece_, area.newFolders);
        } else {
            piece_ += "<td></td>";
        }
        piece_ += "</tr>\r\n";
        total.added += area.added;
        total.modified += area.modified;
        total.removed += area.removed;
        total.newFolders += area.newFolders;
    }
    piece_ += "<tr class=\"total\"><th>Total</th>";
    AppendCount(piece_, total.added);
    AppendCount(piece_, total.modified);
    AppendCount(piece_, total.removed);
    AppendCount(piece_, total.newFolders);
    piece_ += "</tr>\r\n</tbody>\r\n</table>\r\n";
    for (const ReportArea& area : areas) {
        if (area.unreadable == 0) continue;
        piece_ += "<p class=\"note\">";
        AppendEscaped(piece_, area.name);
        piece_ += ": ";
        AppendNumber(piece_, area.unreadable);
        piece_ += area.files ? (area.unreadable == 1 ? " folder" : " folders")
                             : (area.unreadable == 1 ? " key" : " keys");
        piece_ += area.files ? " could not be listed" : " could not be read";
        piece_ += "; nothing below them is reported removed.</p>\r\n";
    }
    Emit();
}

void ReportPage::BeginSection(std::string_view title, unsigned long count) {
    piece_ += "<details open><summary>";
    AppendEscaped(piece_, title);
    piece_ += " (";
    AppendNumber(piece_, count);
    piece_ += ")</summary>\r\n<ol>\r\n";
    Emit();
}

void ReportPage::EndSection() {
    piece_ += "</ol>\r\n</details>\r\n";
    Emit();
}

void ReportPage::AddedFile(std::string_view path, std::uint64_t size) {
    piece_ += "<li>";
    AppendSpan(piece_, "path", path);
    AppendSize(piece_, size);
    piece_ += "</li>\r\n";
    Emit();
}

void ReportPage::ModifiedFile(std::string_view path, std::uint64_t oldSize, std::uint64_t newSize,
                              std::string_view changeTime) {
    piece_ += "<li>";
    AppendSpan(piece_, "path", path);
    piece_ += " <span class=\"size\">";
    AppendNumber(piece_, oldSize);
    piece_ += " \xE2\x86\x92 ";  // an arrow
    AppendNumber(piece_, newSize);
    piece_ += " bytes</span> <span class=\"time\">changed ";
    AppendEscaped(piece_, changeTime);
    piece_ += "</span></li>\r\n";
    Emit();
}

void ReportPage::RemovedFile(std::string_view path, std::uint64_t size) { AddedFile(path, size); }

void ReportPage::Folder(std::string_view path) {
    piece_ += "<li>";
    AppendSpan(piece_, "path", path);
    piece_ += "</li>\r\n";
    Emit();
}

void ReportPage::Key(std::string_view path) {
    piece_ += "<li><span class=\"kind\">key</span> ";
    AppendSpan(piece_, "path", path);
    piece_ += "</li>\r\n";
    Emit();
}

void ReportPage::ValueStart(std::string_view keyPath, std::string_view name) {
    piece_ += "<li><span class=\"kind\">value</span> ";
    AppendSpan(piece_, "path", keyPath);
    piece_ += " ";
    AppendSpan(piece_, "name", name.empty() ? std::string_view("(Default)") : name);
    piece_ += " = ";
}

void ReportPage::Value(std::string_view keyPath, std::string_view name, std::string_view text) {
    ValueStart(keyPath, name);
    AppendSpan(piece_, "text", text);
    piece_ += "</li>\r\n";
    Emit();
}

void ReportPage::ChangedValue(std::string_view keyPath, std::string_view name,
                              std::string_view oldText, std::string_view newText) {
    ValueStart(keyPath, name);
    AppendSpan(piece_, "old", oldText);
    piece_ += " \xE2\x86\x92 ";
    AppendSpan(piece_, "new", newText);
    piece_ += "</li>\r\n";
    Emit();
}

void ReportPage::RemovedEntry(std::string_view line) {
    piece_ += "<li>";
    AppendSpan(piece_, "line", line);
    piece_ += "</li>\r\n";
    Emit();
}

void ReportPage::RemovedKey(std::string_view path) { Key(path); }

void ReportPage::RemovedValue(std::string_view keyPath, std::string_view name,
                              std::string_view text) {
    Value(keyPath, name, text);
}

void ReportPage::Tail() {
    piece_ += kScript;
    piece_ += "\r\n</body>\r\n</html>\r\n";
    Emit();
}
