#include "history/positions.h"

#include <algorithm>
#include <map>

#include "history/url_domain.h"

namespace history {
namespace {

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return text;
}

// The domains a row's host counts for.
std::vector<std::string> DomainsOf(const std::string& host,
                                   const std::vector<std::string>& wanted) {
    if (wanted.empty()) {
        return {SiteOf(host)};
    }
    std::vector<std::string> matches;
    for (const std::string& domain : wanted) {
        if (InDomain(host, domain)) {
            matches.push_back(domain);
        }
    }
    return matches;
}

void Summarise(DomainPositions& line) {
    for (const auto& position : line.perRun) {
        if (position && (!line.best || *position < *line.best)) {
            line.best = position;
        }
    }
    const std::size_t runs = line.perRun.size();
    if (runs > 0) {
        line.last = line.perRun[runs - 1];
    }
    if (runs > 1 && line.last && line.perRun[runs - 2]) {
        line.change = *line.perRun[runs - 2] - *line.last;
    }
}

}  // namespace

PositionTable Positions(sqlite3* db, const PositionQuery& query) {
    PositionTable table;
    table.runs = ListRuns(db, query.keyword);
    std::vector<std::string> wanted;
    for (const std::string& domain : query.domains) {
        wanted.push_back(Lowered(domain));
    }
    const std::string engine = Lowered(query.engine);
    std::map<std::string, DomainPositions> byDomain;
    for (const std::string& domain : wanted) {
        byDomain[domain].domain = domain;
    }
    for (std::size_t index = 0; index < table.runs.size(); ++index) {
        for (const RunRow& row : RowsOf(db, table.runs[index].id)) {
            if (!engine.empty() && Lowered(row.engineSite).find(engine) == std::string::npos) {
                continue;
            }
            const std::string host = HostOf(row.url);
            if (host.empty()) {
                continue;
            }
            for (const std::string& domain : DomainsOf(host, wanted)) {
                DomainPositions& line = byDomain[domain];
                line.domain = domain;
                line.perRun.resize(table.runs.size());
                auto& slot = line.perRun[index];
                if (!slot || row.position < *slot) {
                    slot = row.position;
                }
            }
        }
    }
    for (auto& [domain, line] : byDomain) {
        line.perRun.resize(table.runs.size());
        Summarise(line);
        table.domains.push_back(std::move(line));
    }
    if (wanted.empty()) {
        std::stable_sort(
            table.domains.begin(), table.domains.end(),
            [](const DomainPositions& a, const DomainPositions& b) { return a.best < b.best; });
    } else {
        // In the order asked for.
        std::vector<DomainPositions> ordered;
        for (const std::string& domain : wanted) {
            const auto at =
                std::find_if(table.domains.begin(), table.domains.end(),
                             [&](const DomainPositions& d) { return d.domain == domain; });
            if (at != table.domains.end()) {
                ordered.push_back(std::move(*at));
                table.domains.erase(at);
            }
        }
        table.domains = std::move(ordered);
    }
    return table;
}

}  // namespace history
