// commands.cpp - the table of commands: what each takes and what its help
// says. mhkbmp --help, mhkbmp help COMMAND and COMMAND --help print from it;
// the manual page says the same, and a test holds the two together.
#include "tools/commands.h"

#include <stdio.h>
#include <string.h>

namespace {

const Command kCommands[] = {
    {"list", "ARCHIVE", 0, 1, 1, RunList, "one line per picture: ID, index, size and name",
     "Prints one line per bitmap resource, in the archive's table order: ID, file-table INDEX, SIZE in bytes (- when "
     "its file-table entry cannot be used) and the line the viewer shows (the name, or [ID]), separated by tabs. On "
     "a terminal, control bytes in names show as \\xHH and a backslash as \\\\. ARCHIVE - reads standard input.",
     false, "0 1 2 3 4 6", "mhkbmp list demo/demo.mhk"},
    {"info", "ARCHIVE", 0, 1, 1, RunInfo, "what the archive holds beside its pictures",
     "Prints the file's size, then one line per type entry of the directory (its tag and the counts of its "
     "resource and name tables, - for a table that does not lie inside the file), then the file table's count. "
     "Exit 0 for every valid archive, with or without pictures. ARCHIVE - reads standard input.",
     false, "0 1 2 3 6", "mhkbmp info demo/demo.mhk"},
    {"export", "ARCHIVE INDEX OUT.bmp|OUT.png|-", kTakesPng, 3, 3, RunExport,
     "one picture as a bitmap or PNG file",
     "Decodes file-table entry INDEX (0 to 65535) and writes it to OUT: byte for byte the file the viewer's Save "
     "Image As writes, or, when OUT ends in .png or --png is given, a PNG file of the same palette and pixels. OUT - "
     "is standard output. The picture is decoded before OUT is created, so an unreadable one leaves an existing OUT "
     "as it was. ARCHIVE - reads standard input.",
     true, "0 1 2 3 4 5 6", "mhkbmp export demo/demo.mhk 1 sunset.png"},
    {"export-all", "ARCHIVE DIR", kTakesPng | kTakesQuiet, 2, 2, RunExportAll, "every picture into a folder",
     "Writes every listed picture into the existing folder DIR as NNNN_TEXT.bmp (.png with --png), NNNN its "
     "position in the list and TEXT its list text made safe for a file name, with one progress line each on "
     "stderr and a summary on stdout. Every name is checked before the first file is written. Exit 5 when some "
     "pictures could not be read. ARCHIVE - reads standard input.",
     true, "0 1 2 3 4 5 6", "mhkbmp export-all --png demo/demo.mhk work/"},
    {"gallery", "ARCHIVE DIR", kTakesQuiet, 2, 2, RunGallery, "every picture as PNG, and pages to browse them",
     "Does what export-all --png does, then writes index.html, page-2.html and so on: pages of at most 1,000 "
     "cards, each with a picture, its name, ID, index, size and kind, that any browser opens from the disk, "
     "offline. ARCHIVE - reads standard input.",
     true, "0 1 2 3 4 5 6", "mhkbmp gallery demo/demo.mhk gallery/"},
    {"pack", "OUT.mhk IMAGE.bmp|IMAGE.png...", kTakesPrice, 2, -1, RunPack, "a new archive of bitmap and PNG files",
     "Writes an archive with one tBMP resource per IMAGE, in the order given, IDs and file-table indexes from 1, "
     "each named after its file. IMAGE is an uncompressed 8-bit bitmap or indexed PNG of 1 to 1024 pixels each "
     "way, or a 24-bit bitmap or RGB PNG of 608 x 392. Every input is read and encoded before anything is "
     "written. Exit 7 for an IMAGE that pack does not accept, 8 for inputs that do not fit in one archive.",
     true, "0 1 2 6 7 8", "mhkbmp pack pictures.mhk sunset.bmp gem.png"},
    {"replace", "ARCHIVE OUT.mhk INDEX IMAGE [INDEX IMAGE]...", kTakesPrice, 4, -1, RunReplace,
     "new pictures in place of old ones, every other byte kept",
     "Puts each IMAGE (any file pack accepts, encoded as pack encodes it) in place of the picture at file-table "
     "index INDEX, keeping every other byte of the archive. OUT may be ARCHIVE itself; the archive is locked "
     "against other runs while it is read and written. Exit 7 for an IMAGE pack would refuse or an INDEX that is "
     "not a listed picture, 8 for an archive that would pass 4 GiB.",
     true, "0 1 2 3 4 6 7 8", "mhkbmp replace demo/demo.mhk edited.mhk 2 hills.png"},
    {"import-all", "ARCHIVE DIR OUT.mhk", kTakesPng | kTakesPrice | kTakesQuiet, 3, 3, RunImportAll,
     "the inverse of export-all: edited pictures back into an archive",
     "For each listed picture, reads the file export-all would have written into DIR when it is there, and puts "
     "it back as replace does unless it holds the same palette and pixels; one progress line per picture "
     "(replaced, unchanged, missing, or why it is refused), then a summary. A refused file refuses the whole run, "
     "after every file has been looked at (exit 7, or 2 when it could not be read).",
     true, "0 1 2 3 4 6 7 8", "mhkbmp import-all --png demo/demo.mhk work/ edited.mhk"},
};

const char* const kExitTexts[] = {
    "success",
    "a usage error",
    "\"The file cannot be opened.\"",
    "\"This file is not a valid Velder Mohawk archive.\"",
    "\"This archive does not contain any images.\"",
    "\"The image cannot be read.\"",
    "\"The file cannot be written.\"",
    "an IMAGE that pack does not accept, or a refused replacement",
    "too much for one archive",
};

struct OptionHelp {
    unsigned flag;
    const char* text;
};

const OptionHelp kOptionTexts[] = {
    {kTakesPng, "  --png        PNG files instead of bitmap files"},
    {kTakesPrice, "  --price=N    the price of decoding time against size, in 1/256 byte per ns\n"
                  "               (0 to 65536, default 128; 0 packs smallest)"},
    {kTakesQuiet, "  -q, --quiet  no progress lines (failures still print)"},
    {0, "  -h, --help   this help"},
    {0, "  --           the end of the options"},
};

// "[--png] [--price=N] [-q] " for the options the command takes.
std::string OptionsSynopsis(const Command& command)
{
    std::string text;
    if (command.options & kTakesPng)
        text += "[--png] ";
    if (command.options & kTakesPrice)
        text += "[--price=N] ";
    if (command.options & kTakesQuiet)
        text += "[-q] ";
    return text;
}

}  // namespace

const Command* FindCommand(const char* name)
{
    for (const Command& command : kCommands) {
        if (strcmp(name, command.name) == 0)
            return &command;
    }
    return nullptr;
}

void PrintUsage(FILE* stream)
{
    fputs("usage:\n", stream);
    for (const Command& command : kCommands)
        fprintf(stream, "  mhkbmp %s %s%s\n", command.name, OptionsSynopsis(command).c_str(), command.operands);
    fputs("  mhkbmp help COMMAND | COMMAND --help\n  mhkbmp --help | --version\n\ncommands:\n", stream);
    for (const Command& command : kCommands)
        fprintf(stream, "  %-11s %s\n", command.name, command.summary);
}

void PrintHelp(const Command& command, FILE* stream)
{
    fprintf(stream, "usage: mhkbmp %s %s%s\n\n", command.name, OptionsSynopsis(command).c_str(), command.operands);
    // The description, folded at 78 columns.
    const char* text = command.description;
    while (*text != '\0') {
        size_t line = strlen(text);
        if (line > 78) {
            line = 78;
            while (line > 0 && text[line] != ' ')
                --line;
        }
        fprintf(stream, "%.*s\n", int(line), text);
        text += line;
        while (*text == ' ')
            ++text;
    }
    fputs("\noptions:\n", stream);
    for (const OptionHelp& option : kOptionTexts) {
        if (option.flag == 0 || (command.options & option.flag))
            fprintf(stream, "%s\n", option.text);
    }
    fputs("\nexit codes:\n", stream);
    for (const char* code = command.exits; *code != '\0'; ++code) {
        if (*code >= '0' && *code <= '8')
            fprintf(stream, "  %c  %s\n", *code, kExitTexts[*code - '0']);
    }
    if (command.writes)
        fputs("\nEvery file is written safely: see WRITING in mhkbmp(1).\n", stream);
    fprintf(stream, "\nexample:\n  %s\n", command.example);
}
