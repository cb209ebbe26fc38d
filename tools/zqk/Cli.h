// Command-line plumbing shared by every command: exit statuses, usage errors, option parsing
// and the help texts.
#pragma once

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

// What the process tells its caller.
enum class ExitStatus : int {
    Ok = 0,     // the command did what was asked
    Failed = 1, // a database or file error
    Usage = 2,  // the command line was wrong
};

// A wrong command line: main prints it as one line with a hint and exits with Usage.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whether an option is a switch or takes the next argument as its value.
enum class OptionArity { Switch, Value };

struct OptionDef {
    std::string strLong; // without the dashes
    char chShort;        // 0 for none
    OptionArity arity;
};

// The options every command that talks to a database takes.
extern const std::vector<OptionDef> kConnectionOptions;

struct ParsedArgs {
    std::map<std::string, std::string> values; // by long name
    std::set<std::string> switches;            // by long name
    std::vector<std::string> positionals;

    bool Has(const std::string& strLong) const {
        return switches.count(strLong) != 0 || values.count(strLong) != 0;
    }
    std::string Value(const std::string& strLong) const {
        auto it = values.find(strLong);
        return it == values.end() ? std::string() : it->second;
    }
};

// Options may stand anywhere among the positionals; "--" ends them. "-h"/"--help" is always
// known and reported as the switch "help" (the positional count is not checked then).
ParsedArgs ParseArgs(const std::vector<std::string>& args, const std::vector<OptionDef>& options,
                     size_t nMinPositionals, size_t nMaxPositionals);

// Both lists in one.
std::vector<OptionDef> WithConnectionOptions(std::vector<OptionDef> options);

// The help text shared by the commands that connect.
extern const char* const kConnectionHelp;
