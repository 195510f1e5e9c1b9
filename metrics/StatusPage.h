// SPDX-License-Identifier: MIT
#pragma once

#include "base/Language.h"

#include <string>
#include <string_view>

namespace vigilon::metrics {

struct EntriesView;

// The language a request's Accept-Language header prefers among Japanese
// and English (the highest weight, the first of equal ones); fallback when
// it names neither.
Language pageLanguage(std::string_view acceptLanguage, Language fallback);

// The status page: one self-contained HTML document (its styles and script
// inline, nothing fetched from elsewhere) showing every entry as the API
// does, with an overall line on top. Its script asks the API for the
// entries every few seconds and updates the page in place. Whatever the
// entries hold goes in as text: escaped here, and set as text by the script.
std::string statusPage(const EntriesView &entries, Language language);

// How often the page asks for the entries, in milliseconds: as often as
// the shortest interval, for a change to show within one. An unchanged
// document is answered 304 and not read again.
constexpr int kPagePollMillis = 1000;

} // namespace vigilon::metrics
