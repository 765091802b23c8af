// cmd_list.cpp - mhkbmp list ARCHIVE: one line per bitmap resource,
// ID<TAB>INDEX<TAB>SIZE<TAB>TEXT, in the archive's table order.
#include <stdio.h>

#include "tools/mhkbmp.h"

int RunList(int argc, char** argv)
{
    if (argc != 2)
        return kExitUsage;
    ArchiveView view;
    std::vector<ListedImage> images;
    ExitCode opened = OpenAndList(argv[1], &view, &images);
    if (opened != kExitOk)
        return Fail(opened);

    std::string out;
    for (const ListedImage& image : images) {
        char prefix[48];
        const uint8_t* data;
        uint32_t size;
        if (GetResourceData(view.base, image.index, &data, &size))
            snprintf(prefix, sizeof prefix, "%u\t%u\t%lu\t", image.id, image.index,
                     static_cast<unsigned long>(size));
        else
            snprintf(prefix, sizeof prefix, "%u\t%u\t-\t", image.id, image.index);
        out += prefix;
        out += image.text;
        out += '\n';
    }
    ReleaseArchive(&view);
    fwrite(out.data(), 1, out.size(), stdout);
    return fflush(stdout) == 0 ? kExitOk : Fail(kExitCannotWrite);
}
