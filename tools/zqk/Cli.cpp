#include "Cli.h"

const std::vector<OptionSpec> kConnectionOptions = {
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

const OptionSpec* FindSpec(const std::vector<OptionSpec>& specs, const std::string& strLong,
                           char chShort) {
    for (const OptionSpec& spec : specs) {
        if ((!strLong.empty() && spec.strLong == strLong) ||
            (chShort != 0 && spec.chShort == chShort))
            return &spec;
    }
    return nullptr;
}

} // namespace

std::vector<OptionSpec> WithConnectionOptions(std::vector<OptionSpec> specs) {
    specs.insert(specs.end(), kConnectionOptions.begin(), kConnectionOptions.end());
    return specs;
}

ParsedArgs ParseArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
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
        const OptionSpec* pSpec = nullptr;
        if (arg[1] == '-') {
            strName = arg.substr(2);
            size_t nEq = strName.find('=');
            if (nEq != std::string::npos) {
                strInlineValue = strName.substr(nEq + 1);
                strName.resize(nEq);
                bInline = true;
            }
            pSpec = FindSpec(specs, strName, 0);
        } else if (arg.size() == 2) {
            pSpec = FindSpec(specs, std::string(), arg[1]);
        }
        if (pSpec == nullptr)
            throw UsageError("unknown option " + arg);
        if (pSpec->arity == OptionArity::Switch) {
            if (bInline)
                throw UsageError("option --" + pSpec->strLong + " takes no value");
            parsed.switches.insert(pSpec->strLong);
            continue;
        }
        if (!bInline) {
            if (i + 1 >= args.size())
                throw UsageError("option " + arg + " needs a value");
            strInlineValue = args[++i];
        }
        if (parsed.values.count(pSpec->strLong))
            throw UsageError("option --" + pSpec->strLong + " given twice");
        parsed.values[pSpec->strLong] = strInlineValue;
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
