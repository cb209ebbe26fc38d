#include "Cli.h"

const std::vector<OptionDef> kConnectionOptions = {
    {"connect", 'c', OptionArity::Value},
    {"dsn", 'd', OptionArity::Value},
    {"user", 'u', OptionArity::Value},
    {"trace", 0, OptionArity::Switch},
};

const char* const kConnectionHelp =
    "Connection (first that applies):\n"
    "  -c, --connect STRING   a connection string, e.g. \"Provider=SQLite; Data Source=a.db\"\n"
    "  -d, --dsn NAME -u, --user NAME\n"
    "                         an ODBC data source; the password comes from ZQK_PASSWORD or is\n"
    "                         asked on the terminal\n"
    "  ZQK_CONNECT            a connection string in the environment\n"
    "  (default)              the embedded database zqk.db in the current folder\n"
    "  --trace                print every statement sent to the database on standard error\n";

namespace {

const OptionDef* FindOption(const std::vector<OptionDef>& options, const std::string& strLong,
                            char chShort) {
    for (const OptionDef& option : options) {
        if ((!strLong.empty() && option.strLong == strLong) ||
            (chShort != 0 && option.chShort == chShort))
            return &option;
    }
    return nullptr;
}

} // namespace

std::vector<OptionDef> WithConnectionOptions(std::vector<OptionDef> options) {
    options.insert(options.end(), kConnectionOptions.begin(), kConnectionOptions.end());
    return options;
}

ParsedArgs ParseArgs(const std::vector<std::string>& args, const std::vector<OptionDef>& options,
                     size_t nMinPositionals, size_t nMaxPositionals) {
    ParsedArgs parsed;
    bool bOptionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (bOptionsEnded || arg.size() < 2 || arg[0] != '-') {
            parsed.positionals.push_back(arg);
            continue;
        }
        if (arg == "--") {
            bOptionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            parsed.switches.insert("help");
            continue;
        }
        std::string strName, strInlineValue;
        bool bInline = false;
        const OptionDef* pOption = nullptr;
        if (arg[1] == '-') {
            strName = arg.substr(2);
            size_t nEq = strName.find('=');
            if (nEq != std::string::npos) {
                strInlineValue = strName.substr(nEq + 1);
                strName.resize(nEq);
                bInline = true;
            }
            pOption = FindOption(options, strName, 0);
        } else if (arg.size() == 2) {
            pOption = FindOption(options, std::string(), arg[1]);
        }
        if (pOption == nullptr)
            throw UsageError("unknown option " + arg);
        if (pOption->arity == OptionArity::Switch) {
            if (bInline)
                throw UsageError("option --" + pOption->strLong + " takes no value");
            parsed.switches.insert(pOption->strLong);
            continue;
        }
        if (!bInline) {
            if (i + 1 >= args.size())
                throw UsageError("option " + arg + " needs a value");
            strInlineValue = args[++i];
        }
        if (parsed.values.count(pOption->strLong))
            throw UsageError("option --" + pOption->strLong + " given twice");
        parsed.values[pOption->strLong] = strInlineValue;
    }
    if (parsed.switches.count("help"))
        return parsed;
    if (parsed.positionals.size() < nMinPositionals)
        throw UsageError("missing arguments");
    if (parsed.positionals.size() > nMaxPositionals)
        throw UsageError("too many arguments (unexpected '" + parsed.positionals[nMaxPositionals] +
                         "')");
    return parsed;
}
