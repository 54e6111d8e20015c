// A page's next-page form read as a browser submits it: which controls count,
// with which values, encoded as application/x-www-form-urlencoded.
#pragma once

#include <libxml/tree.h>

#include <cstddef>
#include <optional>
#include <string>

#include "search/profiles/engine_profile.h"

namespace search {

// A next-page form has a dozen hidden fields (DuckDuckGo's has ten); a form
// with more controls than this is no pagination form, and walking and
// encoding it for every page would be the page's markup working against us.
inline constexpr std::size_t kMaxFormControls = 200;
// DuckDuckGo's next-page body is a few hundred bytes. A body past this is not
// sent: the engine would not need it, and it goes into every request key the
// pass remembers.
inline constexpr std::size_t kMaxFormBodyBytes = 16 * 1024;

// The form that `selected` is or lies in (its nearest <form> ancestor), as a
// browser submits it without pressing any of its buttons: the action as
// written (trimmed), the method (POST only for "post" in any case), and the
// url-encoded name=value pairs of its successful controls in tree order:
// <input> but for the submit, image, button, reset and file types, a checkbox
// or radio button only when checked (value "on" when it has none); every
// selected <option> of a <select> (a single-choice select without one gives
// its first option that is not disabled); a <textarea>'s text. Controls that
// are disabled, also through a disabled <fieldset>, or have no name are left
// out; line breaks in names and values are sent as CR LF, a hidden control
// named "_charset_" as "UTF-8". Nothing when nothing is selected or no form
// holds it. When the form has more than kMaxFormControls controls or its body
// would be longer than kMaxFormBodyBytes, the form is given with `fault` set
// and no body.
std::optional<ProfileForm> ReadForm(const xmlNode* selected);

}  // namespace search
