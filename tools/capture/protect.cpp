// The files this run must never overwrite: the program itself, the
// libraries it has loaded, and those it names (ffmpeg and ffprobe).
#include "tools/capture/publish.h"

#include <link.h>
#include <sys/stat.h>
#include <utility>
#include <vector>

static std::vector<std::pair<dev_t, ino_t>> protectedFiles;

void ProtectFile(const std::string& path)
{
    struct stat st;
    if (!path.empty() && stat(path.c_str(), &st) == 0)
        protectedFiles.push_back({st.st_dev, st.st_ino});
}

static int ProtectLoaded(struct dl_phdr_info* info, size_t, void*)
{
    if (info->dlpi_name && info->dlpi_name[0])
        ProtectFile(info->dlpi_name);
    return 0;
}

bool IsProtected(const struct stat& st)
{
    static bool listed;
    if (!listed) {
        listed = true;
        ProtectFile("/proc/self/exe");
        dl_iterate_phdr(ProtectLoaded, nullptr);
    }
    for (const std::pair<dev_t, ino_t>& file : protectedFiles)
        if (file.first == st.st_dev && file.second == st.st_ino)
            return true;
    return false;
}
