// SPDX-License-Identifier: MIT
#include "metrics/StatusPage.h"

#include "base/StringTable.h"
#include "metrics/EntriesApi.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vigilon::metrics {

Language pageLanguage(std::string_view acceptLanguage, Language fallback)
{
    double best = 0;
    std::optional<Language> chosen;
    while (!acceptLanguage.empty()) {
        const std::size_t comma = acceptLanguage.find(',');
        std::string_view item = acceptLanguage.substr(0, comma);
        acceptLanguage = comma == std::string_view::npos ? std::string_view() : acceptLanguage.substr(comma + 1);
        const std::size_t semicolon = item.find(';');
        std::string_view tag = item.substr(0, semicolon);
        while (!tag.empty() && (tag.front() == ' ' || tag.front() == '\t'))
            tag.remove_prefix(1);
        while (!tag.empty() && (tag.back() == ' ' || tag.back() == '\t'))
            tag.remove_suffix(1);
        double weight = 1;
        if (semicolon != std::string_view::npos) {
            const std::string parameters(item.substr(semicolon + 1));
            const std::size_t q = parameters.find("q=");
            if (q != std::string::npos)
                weight = std::strtod(parameters.c_str() + q + 2, nullptr);
        }
        const std::string_view primary = tag.substr(0, tag.find('-'));
        const auto is = [primary](const char *code) {
            return primary.size() == 2 && (primary[0] | 0x20) == code[0] && (primary[1] | 0x20) == code[1];
        };
        std::optional<Language> language;
        if (is("ja"))
            language = Language::Japanese;
        else if (is("en"))
            language = Language::English;
        if (language && weight > best) {
            best = weight;
            chosen = language;
        }
    }
    return chosen.value_or(fallback);
}

namespace {

// The numbered places %1 and %2 of a text.
std::string places(std::string text, const std::string &first, const std::string &second = {})
{
    for (std::size_t at = 0; (at = text.find('%', at)) != std::string::npos;) {
        if (at + 1 < text.size() && (text[at + 1] == '1' || text[at + 1] == '2')) {
            const std::string &with = text[at + 1] == '1' ? first : second;
            text.replace(at, 2, with);
            at += with.size();
        } else {
            ++at;
        }
    }
    return text;
}

// The formats below are the script's too (its fmt functions): the page
// reads the same before and after its first update.
std::string percentText(const std::optional<double> &share)
{
    if (!share || *share < 0)
        return "\u2014";
    const double shown = std::floor(*share * 10000) / 100;
    char text[32];
    std::snprintf(text, sizeof text, shown >= 100 ? "100 %%" : "%.2f %%", shown);
    return text;
}

std::string millisText(const std::optional<double> &ms)
{
    if (!ms)
        return "\u2014";
    char text[32];
    std::snprintf(text, sizeof text, *ms < 10 ? "%.2f ms" : *ms < 100 ? "%.1f ms" : "%.0f ms", *ms);
    return text;
}

const char *dayClass(double share)
{
    if (share < 0)
        return "bn";
    return share >= 0.999 ? "b0" : share >= 0.99 ? "b1" : share >= 0.95 ? "b2" : "b3";
}

// The bar of daily uptimes: one element whose background has a band per
// run of days of one colour, so that thousands of entries stay light to
// send and to draw.
std::string barStyle(const std::vector<double> &days)
{
    if (days.empty())
        return {};
    std::string style = "background:linear-gradient(to right";
    const double n = static_cast<double>(days.size());
    char band[96];
    for (std::size_t i = 0; i < days.size();) {
        const char *colour = dayClass(days[i]);
        std::size_t end = i + 1;
        while (end < days.size() && std::string_view(dayClass(days[end])) == colour)
            ++end;
        std::snprintf(band, sizeof band, ",var(--%s) %.2f%% %.2f%%", colour, double(i) * 100 / n,
                      double(end) * 100 / n);
        style += band;
        i = end;
    }
    return style + ")";
}

const char *kStyle = R"CSS(
:root{--bg:#f4f6f8;--fg:#1c2126;--card:#fff;--mute:#5c6773;--line:#dce1e6;--ok:#1e8e4e;--warn:#b26b00;
--bad:#cf3a3a;--idle:#7d8792;--quiet:#5b6fb5;--b0:#2aa84a;--b1:#9cc43a;--b2:#e3a008;--b3:#d94141;--bn:#d6dbe0;color-scheme:light dark}
@media (prefers-color-scheme:dark){:root{--bg:#121519;--fg:#e3e7eb;--card:#1c2127;--mute:#9aa6b2;--line:#2f363e;
--ok:#2f9e5f;--warn:#c98a1b;--bad:#e05252;--idle:#6b7580;--quiet:#7f8fd0;--bn:#39414a}}
*{box-sizing:border-box}
body{margin:0;background:var(--bg);color:var(--fg);
font:15px/1.45 system-ui,-apple-system,"Segoe UI","Noto Sans","Noto Sans CJK JP","Hiragino Sans",Meiryo,sans-serif}
header,main{max-width:980px;margin:0 auto;padding:14px 16px}
main{padding-top:0}
h1{font-size:19px;margin:0 0 10px}
#overall{margin:0;padding:10px 14px;border-radius:8px;font-weight:600;color:#fff;background:var(--ok)}
#overall.bad{background:var(--bad)}
#overall.none{background:var(--idle)}
.note{margin:6px 2px 0;font-size:13px;color:var(--mute)}
#offline{color:var(--bad)}
ul{list-style:none;margin:0;padding:0;display:grid;gap:10px}
li.e{background:var(--card);border:1px solid var(--line);border-left:6px solid var(--idle);border-radius:8px;
padding:10px 14px;min-width:0;content-visibility:auto;contain-intrinsic-size:auto 150px}
li.st-ok{border-left-color:var(--ok)}
li.st-warning{border-left-color:var(--warn)}
li.st-failed{border-left-color:var(--bad)}
li.st-quiet{border-left-color:var(--quiet)}
.top{display:flex;align-items:center;gap:10px}
.name{flex:1;font-weight:600;font-size:16px;overflow-wrap:anywhere;min-width:0}
.state{flex:none;font-size:13px;font-weight:600;padding:1px 10px;border-radius:10px;color:#fff;background:var(--idle)}
.st-ok .state{background:var(--ok)}
.st-warning .state{background:var(--warn)}
.st-failed .state{background:var(--bad)}
.st-quiet .state{background:var(--quiet)}
.where{color:var(--mute);font-size:13px;overflow-wrap:anywhere}
.reason{margin-top:4px;color:var(--bad);font-size:14px;overflow-wrap:anywhere}
.reason:empty{display:none}
dl{display:flex;flex-wrap:wrap;gap:4px 22px;margin:8px 0}
dl div{min-width:84px}
dt{font-size:12px;color:var(--mute)}
dd{margin:0;font-variant-numeric:tabular-nums}
.bar{height:20px;border-radius:4px;background:var(--bn)}
[hidden]{display:none!important}
@media (max-width:600px){header,main{padding-left:10px;padding-right:10px}dl{gap:4px 14px}dl div{min-width:70px}}
)CSS";

// Updates the entries in place from the API: each element is found by its
// entry's id, its texts set as text, and only what changed is touched.
const char *kScript = R"JS(
(function () {
  'use strict';
  var T = JSON.parse(document.getElementById('texts').textContent);
  var list = document.getElementById('entries');
  var overall = document.getElementById('overall');
  var byId = new Map();
  Array.prototype.forEach.call(list.children, function (li) { byId.set(li.getAttribute('data-id'), li); });
  function part(li, name) { return li.querySelector('.' + name); }
  function set(el, text) { if (el.textContent !== text) el.textContent = text; }
  function pct(v) {
    if (v === null || v === undefined) return '\u2014';
    var shown = Math.floor(v * 100) / 100;
    return shown >= 100 ? '100 %' : shown.toFixed(2) + ' %';
  }
  function ms(v) {
    if (v === null || v === undefined) return '\u2014';
    return v.toFixed(v < 10 ? 2 : v < 100 ? 1 : 0) + ' ms';
  }
  function dayClass(v) {
    if (v === null || v === undefined) return 'bn';
    return v >= 99.9 ? 'b0' : v >= 99 ? 'b1' : v >= 95 ? 'b2' : 'b3';
  }
  function bar(days) {
    if (!days || !days.length) return '';
    var n = days.length, bands = [];
    for (var i = 0; i < n;) {
      var c = dayClass(days[i]), end = i + 1;
      while (end < n && dayClass(days[end]) === c) end++;
      bands.push('var(--' + c + ') ' + (i * 100 / n).toFixed(2) + '% ' + (end * 100 / n).toFixed(2) + '%');
      i = end;
    }
    return 'linear-gradient(to right,' + bands.join(',') + ')';
  }
  function certText(days) {
    if (days === null || days === undefined) return '\u2014';
    return days >= 0 ? T.certLeft.replace('%1', String(days)) : T.certExpired.replace('%1', String(-days));
  }
  function place(li, e) {
    var state = e.quiet ? 'quiet' : e.state;
    var cls = 'e st-' + state;
    if (li.className !== cls) li.className = cls;
    set(part(li, 'name'), e.name);
    set(part(li, 'state'), T.states[state] || state);
    set(part(li, 'where'), (e.host.indexOf(':') >= 0 ? '[' + e.host + ']' : e.host) + ':' + e.port + ' \u00b7 ' +
      e.kind.toUpperCase());
    set(part(li, 'reason'), e.reason === null ? '' : e.reason);
    set(part(li, 'resp'), ms(e.last_response_ms));
    set(part(li, 'u24'), pct(e.uptime_24h));
    set(part(li, 'u7'), pct(e.uptime_7d));
    set(part(li, 'u30'), pct(e.uptime_30d));
    var cert = part(li, 'cert');
    if (cert) set(cert, certText(e.cert_days_left));
    var background = bar(e.daily_uptime);
    var b = part(li, 'bar');
    if (b.getAttribute('data-bar') !== background) {
      b.setAttribute('data-bar', background);
      b.style.background = background;
    }
  }
  function apply(doc) {
    var seen = new Set(), failing = 0, previous = null;
    doc.entries.forEach(function (e) {
      var li = byId.get(e.id);
      if (!li) {
        li = document.getElementById('template').content.firstElementChild.cloneNode(true);
        li.setAttribute('data-id', e.id);
        if (e.kind !== 'https' && e.kind !== 'tls') part(li, 'certbox').remove();
        byId.set(e.id, li);
      }
      place(li, e);
      var wanted = previous ? previous.nextElementSibling : list.firstElementChild;
      if (li !== wanted) list.insertBefore(li, wanted);
      previous = li;
      seen.add(e.id);
      if (e.state === 'failed' && !e.quiet) failing++;
    });
    byId.forEach(function (li, id) {
      if (!seen.has(id)) { li.remove(); byId.delete(id); }
    });
    var n = doc.entries.length;
    var text = n === 0 ? T.none : failing === 0 ? T.all : T.some.replace('%1', String(failing)).replace('%2', String(n));
    var cls = n === 0 ? 'none' : failing === 0 ? '' : 'bad';
    set(overall, text);
    if (overall.className !== cls) overall.className = cls;
    document.getElementById('stopped').hidden = doc.monitoring;
    document.getElementById('offline').hidden = true;
    updated();
  }
  function updated() {
    set(document.getElementById('updated'), T.updated.replace('%1', new Date().toLocaleTimeString(T.lang)));
  }
  // The browser asks again with the document's ETag; an answer of the same
  // tag is the same document and is not read again.
  var lastTag = null;
  function poll() {
    fetch('api/v1/entries', { cache: 'no-cache' })
      .then(function (r) {
        if (!r.ok) throw new Error(String(r.status));
        var tag = r.headers.get('ETag');
        if (tag && tag === lastTag) return null;
        return r.json().then(function (doc) { lastTag = tag; return doc; });
      })
      .then(function (doc) { if (doc) apply(doc); else { document.getElementById('offline').hidden = true; updated(); } },
            function () { document.getElementById('offline').hidden = false; })
      .then(function () { setTimeout(poll, T.every); });
  }
  updated();
  setTimeout(poll, T.every);
})();
)JS";

// JSON inside a script element: no "<" that could end it.
std::string scriptJson(const nlohmann::ordered_json &value)
{
    const std::string text = value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    std::string out;
    out.reserve(text.size() + 16);
    for (const char c : text) {
        if (c == '<')
            out += "\\u003c";
        else
            out += c;
    }
    return out;
}

void entryHtml(std::string &out, const EntryView &e, Language language)
{
    const auto text = [language](unsigned id) { return xmlText(loadString(id, language)); };
    const unsigned stateText = e.quiet               ? sid::StatusStateQuiet
                               : e.status == Ok      ? sid::StatusStateOk
                               : e.status == Warning ? sid::StatusStateWarning
                               : e.status == Failed  ? sid::StatusStateFailed
                                                     : sid::StatusStateNotChecked;
    const bool tls = std::string_view(e.kind) == "https" || std::string_view(e.kind) == "tls";
    std::string kind = e.kind;
    for (char &c : kind)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    const std::string host = e.host.find(':') != std::string::npos ? "[" + e.host + "]" : e.host;
    std::string cert = "\u2014";
    if (e.certDaysLeft)
        cert = *e.certDaysLeft >= 0
                   ? places(loadString(sid::StatusCertDaysLeft, language), std::to_string(*e.certDaysLeft))
                   : places(loadString(sid::StatusCertExpired, language), std::to_string(-*e.certDaysLeft));
    const UptimeFigures *f = e.figures ? &*e.figures : nullptr;
    const auto share = [f](double UptimeFigures::*which) {
        return f ? std::optional<double>(f->*which) : std::nullopt;
    };
    out += "<li class=\"e st-";
    out += e.quiet ? "quiet" : stateName(e.status);
    out += "\" data-id=\"" + xmlText(e.id) + "\"><div class=\"top\"><span class=\"name\">" + xmlText(e.name) +
           "</span><span class=\"state\">" + text(stateText) + "</span></div><div class=\"where\">" + xmlText(host) + ":" + std::to_string(e.port) + " \u00b7 " + kind +
           "</div><div class=\"reason\">" + xmlText(e.reason) + "</div><dl><div><dt>" +
           text(sid::StatusResponse) + "</dt><dd class=\"resp\">" + millisText(e.lastResponseMs) +
           "</dd></div><div><dt>" + text(sid::StatusUptimeDay) + "</dt><dd class=\"u24\">" +
           percentText(share(&UptimeFigures::day)) + "</dd></div><div><dt>" + text(sid::StatusUptimeWeek) +
           "</dt><dd class=\"u7\">" + percentText(share(&UptimeFigures::week)) + "</dd></div><div><dt>" +
           text(sid::StatusUptimeMonth) + "</dt><dd class=\"u30\">" + percentText(share(&UptimeFigures::month)) +
           "</dd></div>";
    // An entry's kind is part of its id: one without a certificate never
    // gains one.
    if (tls)
        out += "<div class=\"certbox\"><dt>" + text(sid::StatusCertificate) + "</dt><dd class=\"cert\">" +
               xmlText(cert) + "</dd></div>";
    out += "</dl><div class=\"bar\"";
    if (f && !f->days.empty()) {
        const std::string style = barStyle(f->days);
        out += " style=\"" + style + "\"";
    }
    out += "></div></li>";
}

} // namespace

std::string statusPage(const EntriesView &entries, Language language)
{
    const auto text = [language](unsigned id) { return loadString(id, language); };
    const char *lang = language == Language::Japanese ? "ja" : "en";
    std::size_t failing = 0;
    for (const EntryView &e : entries.entries)
        failing += e.status == Failed && !e.quiet ? 1 : 0;
    const std::size_t n = entries.entries.size();
    const std::string overall = n == 0         ? text(sid::StatusNoEntries)
                                : failing == 0 ? text(sid::StatusAllAnswer)
                                               : places(text(sid::StatusSomeFailing), std::to_string(failing),
                                                        std::to_string(n));
    nlohmann::ordered_json texts = nlohmann::ordered_json::object();
    texts["lang"] = lang;
    texts["every"] = kPagePollMillis;
    texts["states"] = {{"ok", text(sid::StatusStateOk)},
                       {"warning", text(sid::StatusStateWarning)},
                       {"failed", text(sid::StatusStateFailed)},
                       {"not_checked", text(sid::StatusStateNotChecked)},
                       {"quiet", text(sid::StatusStateQuiet)}};
    texts["all"] = text(sid::StatusAllAnswer);
    texts["some"] = text(sid::StatusSomeFailing);
    texts["none"] = text(sid::StatusNoEntries);
    texts["updated"] = text(sid::StatusUpdated);
    texts["certLeft"] = text(sid::StatusCertDaysLeft);
    texts["certExpired"] = text(sid::StatusCertExpired);

    std::string out;
    out.reserve(4096 + n * 1800);
    out += "<!DOCTYPE html>\n<html lang=\"";
    out += lang;
    out += "\"><head><meta charset=\"utf-8\"><meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">"
           "<meta name=\"color-scheme\" content=\"light dark\"><link rel=\"icon\" href=\"data:,\"><title>";
    out += xmlText(text(sid::StatusPageTitle));
    out += "</title><style>";
    out += kStyle;
    out += "</style></head>\n<body><header><h1>" + xmlText(text(sid::StatusPageTitle)) + "</h1><p id=\"overall\"" +
           (n == 0 ? " class=\"none\"" : failing ? " class=\"bad\"" : "") + ">" + xmlText(overall) +
           "</p><p class=\"note\">" + xmlText(text(sid::StatusLastDays)) + "</p><p class=\"note\" id=\"stopped\"" + (entries.monitoring ? " hidden" : "") + ">" +
           xmlText(text(sid::StatusPageStopped)) + "</p><p class=\"note\" id=\"offline\" hidden>" +
           xmlText(text(sid::StatusUnreachable)) + "</p><p class=\"note\" id=\"updated\"></p></header>\n<main><ul "
           "id=\"entries\">";
    for (const EntryView &e : entries.entries)
        entryHtml(out, e, language);
    out += "</ul></main>\n<template id=\"template\">";
    EntryView blank;
    blank.kind = "https";
    entryHtml(out, blank, language);
    out += "</template>\n<script type=\"application/json\" id=\"texts\">" + scriptJson(texts) + "</script>\n<script>";
    out += kScript;
    out += "</script></body></html>\n";
    return out;
}

} // namespace vigilon::metrics
