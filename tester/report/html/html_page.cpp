#include "tester/report/html/html_page.h"

#include "tester/report/html/html_text.h"

namespace kmr {

namespace {

const char* const kStyle = R"(
:root { --ink: #1f2933; --muted: #62707d; --line: #dfe3e8; --panel: #f6f8fa;
        --gain: #17803d; --loss: #c62828; --accent: #1d5fd1; }
* { box-sizing: border-box; }
body { margin: 0; background: #fff; color: var(--ink);
       font: 14px/1.45 "Liberation Sans", "Helvetica Neue", Arial, sans-serif; }
.page { max-width: 1180px; margin: 0 auto; padding: 28px 28px 48px; }
header.report { border-bottom: 2px solid var(--ink); padding-bottom: 14px; margin-bottom: 18px; }
header.report h1 { font-size: 24px; margin: 0 0 2px; letter-spacing: -0.01em; }
header.report .subtitle { color: var(--muted); margin: 0 0 12px; }
dl.meta { display: grid; grid-template-columns: max-content 1fr; gap: 3px 18px; margin: 0; }
dl.meta dt { color: var(--muted); }
dl.meta dd { margin: 0; overflow-wrap: anywhere; }
pre.command { background: var(--panel); border: 1px solid var(--line); border-radius: 6px;
              padding: 8px 10px; margin: 10px 0 0; white-space: pre-wrap; overflow-wrap: anywhere;
              font: 12px/1.4 "Liberation Mono", Menlo, Consolas, monospace; }
pre.command span { white-space: nowrap; }
.figures { display: grid; grid-template-columns: repeat(auto-fit, minmax(240px, 1fr)); gap: 10px;
           margin: 0 0 8px; }
.figure { border: 1px solid var(--line); border-radius: 8px; padding: 10px 12px; background: #fff; }
.figure .label { color: var(--muted); font-size: 12px; text-transform: uppercase;
                 letter-spacing: 0.04em; }
.figure .value { font-size: 20px; font-weight: bold; font-variant-numeric: tabular-nums;
                 white-space: nowrap; }
.figure .note { color: var(--muted); font-size: 12px; }
section { margin-top: 26px; }
section h2 { font-size: 17px; margin: 0 0 8px; padding-bottom: 4px;
             border-bottom: 1px solid var(--line); }
.chart { width: 100%; height: auto; display: block; }
.chart text { font: 11px "Liberation Sans", Arial, sans-serif; fill: var(--muted); }
.chart .title { font-size: 12px; font-weight: bold; fill: var(--ink); }
.chart .grid { stroke: #eceff2; stroke-width: 1; }
.chart .axis { stroke: #b8c0c8; stroke-width: 1; }
.columns { display: grid; grid-template-columns: repeat(auto-fit, minmax(300px, 1fr)); gap: 18px; }
.columns h3 { font-size: 13px; margin: 0 0 4px; color: var(--muted); text-transform: uppercase;
              letter-spacing: 0.04em; }
table { border-collapse: collapse; width: 100%; font-variant-numeric: tabular-nums; }
th, td { padding: 3px 8px; border-bottom: 1px solid var(--line); text-align: left;
         vertical-align: top; }
thead th { background: var(--panel); font-weight: bold; position: sticky; top: 0; }
table.named th { font-weight: normal; color: var(--ink); width: 58%; }
table.trades { font-size: 12.5px; }
table.trades tbody tr:nth-child(even) { background: #fafbfc; }
.num { text-align: right; white-space: nowrap; }
.gain { color: var(--gain); }
.loss { color: var(--loss); }
.empty { color: var(--muted); font-style: italic; padding: 10px 0; }
.note { color: var(--muted); font-size: 12px; margin: 6px 0 0; }
@media print { .page { padding: 0; } thead th { position: static; } section { break-inside: avoid; }
               table.trades { break-inside: auto; } }
)";

}  // namespace

std::string HtmlPage(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
         "style-src 'unsafe-inline'; img-src data:\">\n<title>" +
         HtmlEscape(title) + "</title>\n<style>" + kStyle +
         "</style>\n</head>\n<body>\n<div class=\"page\">\n" + body + "</div>\n</body>\n</html>\n";
}

std::string HtmlSection(const std::string& heading, const std::string& content,
                        const std::string& id) {
  const std::string idAttribute = id.empty() ? "" : " id=\"" + HtmlEscape(id) + "\"";
  return "<section" + idAttribute + ">\n<h2>" + HtmlEscape(heading) + "</h2>\n" + content +
         "</section>\n";
}

std::string RenderKeyFigures(const std::vector<KeyFigure>& figures) {
  std::string html = "<div class=\"figures\">\n";
  for (const KeyFigure& f : figures) {
    html += "<div class=\"figure\"><div class=\"label\">" + HtmlEscape(f.label) +
            "</div><div class=\"value" + (f.cssClass.empty() ? "" : " " + f.cssClass) + "\">" +
            HtmlEscape(f.value) + "</div>";
    if (!f.note.empty()) html += "<div class=\"note\">" + HtmlEscape(f.note) + "</div>";
    html += "</div>\n";
  }
  return html + "</div>\n";
}

}  // namespace kmr
