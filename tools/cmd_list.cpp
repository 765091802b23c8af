// cmd_list.cpp - mhkbmp list ARCHIVE: one line per bitmap resource,
// ID<TAB>INDEX<TAB>SIZE<TAB>TEXT, in the archive's table order.
#include <stdio.h>

#include "tools/commands.h"

namespace {

// A name as a terminal shows it harmlessly: control bytes as \xHH and the
// backslash doubled, so that no name can move the cursor or rewrite the
// screen. Scripts reading a pipe get the bytes as they are.
void AppendForTerminal(std::string* out, const std::string& text)
{
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            *out += escaped;
        } else {
            if (c == '\\')
                *out += '\\';
            *out += c;
        }
    }
}

}  // namespace

int RunList(const Options&, int, char** operands)
{
    ArchiveFile archive;
    std::vector<ListedImage> images;
    ExitCode opened = OpenAndList(operands[0], &archive, &images);
    if (opened != kExitOk)
        return opened;

    const bool terminal = IsTerminal(stdout);
    std::string out;
    for (const ListedImage& image : images) {
        char prefix[48];
        const uint8_t* data;
        uint32_t size;
        if (GetResourceData(archive.view().base, image.index, &data, &size))
            snprintf(prefix, sizeof prefix, "%u\t%u\t%lu\t", image.id, image.index,
                     static_cast<unsigned long>(size));
        else
            snprintf(prefix, sizeof prefix, "%u\t%u\t-\t", image.id, image.index);
        out += prefix;
        if (terminal)
            AppendForTerminal(&out, image.text);
        else
            out += image.text;
        out += '\n';
    }
    archive.Close();
    fwrite(out.data(), 1, out.size(), stdout);
    return FlushStandardOutput();
}
