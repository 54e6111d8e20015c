// zorvane-harvest --list-engines.
#pragma once

#include <vector>

#include "search/profiles/engine_profile.h"

namespace harvest {

// Writes every pass and profile a site line can select, a line each: its
// name, the text that selects it and where it came from; the built-in passes
// first, as the site box shows them.
void ListEngines(const std::vector<search::ProfileDefinition>& profiles);

}  // namespace harvest
