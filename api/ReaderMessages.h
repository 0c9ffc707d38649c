// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>
#include <deque>
#include <set>
#include <string>
#include <utility>

namespace kv {

// What one of the project's reader libraries keeps for the program to take
// through its optional entry points (ReaderApi.h): the causes of failed
// calls, each kind once per run (kv718st_take_problem), and the changes of
// the link to the reader (kv718st_take_link_event). A text taken stays valid
// until the next take. Not locked: the library's own lock guards it.
class ReaderMessages
{
public:
    // Untaken link events beyond this many drop the oldest, so that a program
    // that never takes them does not make the library grow.
    static constexpr std::size_t kMaxLinkEvents = 64;

    // Keeps `line` unless a cause of `kind` was kept before; true when kept.
    bool addProblem(const std::string &kind, std::string line)
    {
        if (!m_kinds.insert(kind).second)
            return false;
        m_problems.push_back(std::move(line));
        return true;
    }

    void addLinkEvent(bool up, std::string line)
    {
        if (m_linkEvents.size() == kMaxLinkEvents)
            m_linkEvents.pop_front();
        m_linkEvents.emplace_back(up, std::move(line));
    }

    const char *takeProblem()
    {
        if (m_problems.empty())
            return nullptr;
        m_taken = std::move(m_problems.front());
        m_problems.pop_front();
        return m_taken.c_str();
    }

    const char *takeLinkEvent(bool &up)
    {
        if (m_linkEvents.empty())
            return nullptr;
        up = m_linkEvents.front().first;
        m_taken = std::move(m_linkEvents.front().second);
        m_linkEvents.pop_front();
        return m_taken.c_str();
    }

private:
    std::set<std::string> m_kinds;
    std::deque<std::string> m_problems;
    std::deque<std::pair<bool, std::string>> m_linkEvents;
    std::string m_taken;
};

} // namespace kv
