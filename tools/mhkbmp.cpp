// mhkbmp.cpp - command-line companion of the viewer: lists, exports, packs
// and puts back the bitmap resources of Mohawk archives.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/texts.h"
#include "tools/commands.h"
#include "tools/files.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// The usage on stderr, then the noted reason.
int Usage()
{
    PrintUsage(stderr);
    return Fail(kExitUsage);
}

int Usage(const std::string& what, const std::string& reason)
{
    UsageError(what, reason);
    return Usage();
}

std::string Operands(int count)
{
    return std::to_string(count) + (count == 1 ? " operand" : " operands");
}

// argv as UTF-8, its arguments after the program's name.
int Run(int argc, char** argv)
{
    InstallInterruptHandlers();
    if (argc < 2)
        return Usage("command", "none given");
    const char* first = argv[1];
    if (strcmp(first, "--help") == 0 || strcmp(first, "-h") == 0 || (strcmp(first, "help") == 0 && argc == 2)) {
        PrintUsage(stdout);
        return FlushStandardOutput();
    }
    if (strcmp(first, "--version") == 0) {
        printf("mhkbmp %s\n", PRODUCT_VERSION);
        return FlushStandardOutput();
    }
    if (strcmp(first, "help") == 0) {
        const Command* command = FindCommand(argv[2]);
        if (command == nullptr || argc > 3)
            return Usage(argv[2], "not a command");
        PrintHelp(*command, stdout);
        return FlushStandardOutput();
    }
    const Command* command = FindCommand(first);
    if (command == nullptr)
        return Usage(first, "not a command");
    g_command = command->name;
    Options options;
    bool help = false;
    const int taken = TakeOptions(argc - 2, argv + 2, command->options, &options, &help);
    if (taken < 0)
        return Usage();
    if (help) {
        PrintHelp(*command, stdout);
        return FlushStandardOutput();
    }
    const int count = argc - 2 - taken;
    if (count < command->least || (command->most >= 0 && count > command->most))
        return Usage(Operands(count), std::string("it takes ") + command->operands);
    const int result = command->run(options, count, argv + 2 + taken);
    return result == kExitUsage ? Usage() : result;
}

}  // namespace

#ifdef _WIN32
// Wide arguments, so that any name Windows can hold reaches the commands,
// as UTF-8.
int wmain(int argc, wchar_t** wargv)
{
    // Lines end in \n on every platform, and names are written byte for byte.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(Utf8(wargv[i]));
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    return Run(argc, argv.data());
}
#else
int main(int argc, char** argv)
{
    return Run(argc, argv);
}
#endif
