#include "history/positions.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "history/sqlite_handle.h"
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
    std::unordered_map<std::int64_t, std::size_t> runIndex;
    for (std::size_t index = 0; index < table.runs.size(); ++index) {
        runIndex.emplace(table.runs[index].id, index);
    }
    // A keyword's lists repeat their addresses and engine sites from run to
    // run: each is read into domains, or matched, once per query.
    std::unordered_map<std::int64_t, std::vector<std::string>> domainsOfUrl;
    std::unordered_map<std::int64_t, bool> siteMatches;
    // The texts are read once per address and site, not joined to every row.
    Statement rows(db,
                   "SELECT run_id, position, url_id, site_id FROM row JOIN run ON run.id = run_id"
                   " WHERE run.keyword_id = (SELECT id FROM keyword WHERE text = ?1)");
    Statement urlText(db, "SELECT text FROM url WHERE id = ?1");
    Statement siteText(db, "SELECT text FROM site WHERE id = ?1");
    const auto textOf = [](Statement& statement, std::int64_t id) {
        statement.bind(1, id);
        std::string text = statement.step() ? statement.text(0) : std::string();
        statement.reset();
        return text;
    };
    rows.bind(1, query.keyword);
    while (rows.step()) {
        const auto run = runIndex.find(rows.integer(0));
        if (run == runIndex.end()) {
            continue;
        }
        if (!engine.empty()) {
            auto [site, fresh] = siteMatches.try_emplace(rows.integer(3), false);
            if (fresh) {
                site->second =
                    Lowered(textOf(siteText, rows.integer(3))).find(engine) != std::string::npos;
            }
            if (!site->second) {
                continue;
            }
        }
        auto [domains, fresh] = domainsOfUrl.try_emplace(rows.integer(2));
        if (fresh) {
            const std::string host = HostOf(textOf(urlText, rows.integer(2)));
            if (!host.empty()) {
                domains->second = DomainsOf(host, wanted);
            }
        }
        const std::int64_t position = rows.integer(1);
        for (const std::string& domain : domains->second) {
            DomainPositions& line = byDomain[domain];
            line.domain = domain;
            line.perRun.resize(table.runs.size());
            auto& slot = line.perRun[run->second];
            if (!slot || position < *slot) {
                slot = position;
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
