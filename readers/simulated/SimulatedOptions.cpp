// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "SimulatedOptions.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <ranges>
#include <string>

namespace kv::sim {

namespace {

// One key of the option variable. A new option is one more row in kKeys
// below: a parser that stores a valid value, and a text of the value in force.
struct OptionKey
{
    std::string_view name;
    std::string_view expected; // what a valid value looks like
    bool (*apply)(std::string_view value, SimulatedOptions &options);
    std::string (*current)(const SimulatedOptions &options);
};

// A whole number made of digits only, within T.
template<typename T>
std::optional<T> wholeNumber(std::string_view text)
{
    T value{};
    const char *const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || text.front() == '-' || error != std::errc{} || stop != end)
        return std::nullopt;
    return value;
}

bool applyPositive(std::string_view value, std::int32_t &target)
{
    const auto number = wholeNumber<std::int32_t>(value);
    if (!number || *number <= 0)
        return false;
    target = *number;
    return true;
}

bool applyCard(std::string_view value, SimulatedOptions &options)
{
    if (value == "none") {
        options.card.reset();
        return true;
    }
    CardId id{};
    if (value.size() != 2 * id.size())
        return false;
    for (std::size_t i = 0; i < id.size(); ++i) {
        const std::string_view pair = value.substr(2 * i, 2);
        const auto [stop, error] = std::from_chars(pair.data(), pair.data() + pair.size(), id[i], 16);
        if (error != std::errc{} || stop != pair.data() + pair.size())
            return false;
    }
    options.card = id;
    return true;
}

std::string cardText(const SimulatedOptions &options)
{
    if (!options.card)
        return "none";
    static constexpr std::string_view kDigits = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t byte : *options.card) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

bool applyLatency(std::string_view value, SimulatedOptions &options)
{
    if (value != "on" && value != "off")
        return false;
    options.latency = value == "on";
    return true;
}

// A share from 0 to 1 in decimal notation ("0.05", "1", "5e-2").
bool applyRate(std::string_view value, double &target)
{
    double rate = 0.0;
    const char *const end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, rate);
    if (value.empty() || error != std::errc{} || stop != end || !(rate >= 0.0 && rate <= 1.0))
        return false;
    target = rate;
    return true;
}

// The shortest text that reads back as `rate`.
std::string rateText(double rate)
{
    std::array<char, 32> text{};
    const auto [stop, error] = std::to_chars(text.data(), text.data() + text.size(), rate);
    return error == std::errc{} ? std::string(text.data(), stop) : std::string("?");
}

bool applySeed(std::string_view value, SimulatedOptions &options)
{
    const auto number = wholeNumber<std::uint32_t>(value);
    if (!number)
        return false;
    options.seed = *number;
    return true;
}

bool applyCallNumber(std::string_view value, std::uint64_t &target)
{
    const auto number = wholeNumber<std::uint64_t>(value);
    if (!number)
        return false;
    target = *number;
    return true;
}

constexpr std::array kKeys{
    OptionKey{"card", "10 hexadecimal digits or none", applyCard, cardText},
    OptionKey{"port", "a positive whole number",
              [](std::string_view value, SimulatedOptions &options) { return applyPositive(value, options.port); },
              [](const SimulatedOptions &options) { return std::to_string(options.port); }},
    OptionKey{"baud", "a positive whole number",
              [](std::string_view value, SimulatedOptions &options) { return applyPositive(value, options.baud); },
              [](const SimulatedOptions &options) { return std::to_string(options.baud); }},
    OptionKey{"latency", "on or off", applyLatency,
              [](const SimulatedOptions &options) { return std::string(options.latency ? "on" : "off"); }},
    OptionKey{"fail", "a share from 0 to 1",
              [](std::string_view value, SimulatedOptions &options) { return applyRate(value, options.failRate); },
              [](const SimulatedOptions &options) { return rateText(options.failRate); }},
    OptionKey{"misread", "a share from 0 to 1",
              [](std::string_view value, SimulatedOptions &options) { return applyRate(value, options.misreadRate); },
              [](const SimulatedOptions &options) { return rateText(options.misreadRate); }},
    OptionKey{"faults_from", "a positive whole number",
              [](std::string_view value, SimulatedOptions &options) { return applyPositive(value, options.faultsFrom); },
              [](const SimulatedOptions &options) { return std::to_string(options.faultsFrom); }},
    OptionKey{"seed", "a whole number from 0 to 4294967295", applySeed,
              [](const SimulatedOptions &options) { return std::to_string(options.seed); }},
    OptionKey{"crash_at", "a call number, 0 for never",
              [](std::string_view value, SimulatedOptions &options) { return applyCallNumber(value, options.crashAt); },
              [](const SimulatedOptions &options) { return std::to_string(options.crashAt); }},
    OptionKey{"hang_at", "a call number, 0 for never",
              [](std::string_view value, SimulatedOptions &options) { return applyCallNumber(value, options.hangAt); },
              [](const SimulatedOptions &options) { return std::to_string(options.hangAt); }},
};

std::string_view trimmed(std::string_view text)
{
    constexpr std::string_view kBlanks = " \t";
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

void report(std::ostream &diagnostics, std::string_view item, std::string_view why)
{
    std::string line = "simulated reader: option '";
    line.append(item).append("' ignored: ").append(why).append("\n");
    diagnostics << line << std::flush;
}

void applyItem(std::string_view item, SimulatedOptions &options, std::ostream &diagnostics)
{
    const auto equals = item.find('=');
    if (equals == std::string_view::npos) {
        report(diagnostics, item, "expected key=value; nothing changed");
        return;
    }
    const std::string_view name = trimmed(item.substr(0, equals));
    const std::string_view value = trimmed(item.substr(equals + 1));
    const auto key = std::ranges::find(kKeys, name, &OptionKey::name);
    if (key == kKeys.end()) {
        std::string why = "unknown key (known:";
        for (const OptionKey &known : kKeys)
            why.append(" ").append(known.name);
        report(diagnostics, item, why.append("); nothing changed"));
        return;
    }
    if (!key->apply(value, options)) {
        std::string why = "expected ";
        why.append(key->expected).append("; keeping ").append(key->name).append("=").append(key->current(options));
        report(diagnostics, item, why);
    }
}

} // namespace

SimulatedOptions parseOptions(std::string_view text, std::ostream &diagnostics)
{
    SimulatedOptions options;
    for (const auto part : text | std::views::split(',')) {
        const std::string_view item = trimmed(std::string_view(part.begin(), part.end()));
        if (!item.empty())
            applyItem(item, options, diagnostics);
    }
    return options;
}

SimulatedOptions optionsFromEnvironment(std::ostream &diagnostics)
{
    const char *const text = std::getenv(kOptionsVariable);
    return parseOptions(text ? text : "", diagnostics);
}

} // namespace kv::sim
