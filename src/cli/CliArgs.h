#pragma once
// Numbers and ids on the command line, one way for every command:
//   numbers: decimal, or hexadecimal after "$" or "0x" (a leading "-" allowed);
//   ids and codes: hexadecimal, with or without "$" / "0x".
// The Add* functions bind such a value to a CLI11 option or positional; a
// value that does not parse or is out of range is a usage error (exit 2)
// whose message names the option and the range.
#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

bool ParseCliNumber(std::string_view text, long long& value);
bool ParseCliHex(std::string_view text, unsigned long long& value);

// "1,2,$10": numbers as above, each in min..max; false on a bad one or none.
bool ParseCliNumberList(const std::string& text, long long min, long long max,
                        std::vector<long long>& out);
// "800x600": a picture size, each side 16..8192.
bool ParseCliSize(const std::string& text, int& width, int& height);

// The usage messages of the two kinds of value.
std::string CliNumberError(const std::string& name, const std::string& text, long long min,
                           long long max);
std::string CliHexError(const std::string& what, const std::string& text, unsigned long long max);

namespace cli_detail {
template <class T>
struct Target {
    using type = T;
};
template <class T>
struct Target<std::optional<T>> {
    using type = T;
};
}  // namespace cli_detail

// `into` is an integer, or a std::optional of one that stays empty when the
// option is not given. NAME is "--opt" for an option and "WORD" for a positional.
template <class T>
CLI::Option* AddNumber(CLI::App* command, const std::string& name, T& into, const std::string& help,
                       long long min, long long max) {
    using Value = typename cli_detail::Target<T>::type;
    auto parse = [&into, name, min, max](const std::string& text) {
        long long v = 0;
        if (!ParseCliNumber(text, v) || v < min || v > max)
            throw CLI::ValidationError(CliNumberError(name, text, min, max));
        into = static_cast<Value>(v);
    };
    return command->add_option_function<std::string>(name, parse, help)->type_name("N");
}

// `what` names the value in messages ("module id") and is its help text.
template <class T>
CLI::Option* AddHex(CLI::App* command, const std::string& name, T& into, const std::string& what,
                    unsigned long long max) {
    using Value = typename cli_detail::Target<T>::type;
    auto parse = [&into, what, max](const std::string& text) {
        unsigned long long v = 0;
        if (!ParseCliHex(text, v) || v > max)
            throw CLI::ValidationError(CliHexError(what, text, max));
        into = static_cast<Value>(v);
    };
    return command->add_option_function<std::string>(name, parse, what + " (hex)")
        ->type_name("HEX");
}

}  // namespace qm
