// The commands of the tool. Each takes the arguments after its name and returns the exit
// status; a wrong command line raises UsageError, which main turns into a one-line hint.
#pragma once

#include <string>
#include <vector>

#include "Cli.h"

typedef std::vector<std::string> Args;

ExitStatus RunSql(const Args& args);
ExitStatus RunTables(const Args& args);
ExitStatus RunDescribe(const Args& args);
ExitStatus RunCreate(const Args& args);
ExitStatus RunDrop(const Args& args);
ExitStatus RunPack(const Args& args);
ExitStatus RunUnpack(const Args& args);
ExitStatus RunArchive(const Args& args);
ExitStatus RunDemo(const Args& args);

// Writes a command's help text on standard output.
ExitStatus PrintHelp(const char* pszText);
